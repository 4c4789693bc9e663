#include "session/SessionItemMap.h"

void SessionItemMap::const_iterator::skipExhaustedBuckets()
{
    while (m_bucket < bucketCount && m_it == (*m_buckets)[m_bucket].cend()) {
        if (++m_bucket < bucketCount)
            m_it = (*m_buckets)[m_bucket].cbegin();
    }
    if (m_bucket == bucketCount)
        *this = const_iterator();
}

SessionItemMap::const_iterator& SessionItemMap::const_iterator::operator++()
{
    ++m_it;
    skipExhaustedBuckets();
    return *this;
}

SessionItemMap::const_iterator SessionItemMap::begin() const
{
    if (isEmpty())
        return end();
    const_iterator it(&d->buckets, 0, d->buckets[0].cbegin());
    it.skipExhaustedBuckets();
    return it;
}

SessionItemMap::const_iterator SessionItemMap::constFind(const QUuid& key) const
{
    if (isEmpty())
        return end();
    const std::size_t index = bucketIndex(key);
    const Bucket& bucket = d->buckets[index];
    const Bucket::const_iterator it = bucket.constFind(key);
    return it == bucket.cend() ? end() : const_iterator(&d->buckets, index, it);
}

SessionItem SessionItemMap::value(const QUuid& key, const SessionItem& defaultValue) const
{
    const const_iterator it = constFind(key);
    return it == end() ? defaultValue : it.value();
}

QList<QUuid> SessionItemMap::keys() const
{
    QList<QUuid> result;
    result.reserve(size());
    for (auto it = begin(); it != end(); ++it)
        result.append(it.key());
    return result;
}

QList<SessionItem> SessionItemMap::values() const
{
    return QList<SessionItem>(begin(), end());
}

SessionItemMap::Bucket& SessionItemMap::bucketForChange(const QUuid& key)
{
    if (!d)
        d = new Data;
    // Detaching the map copies only the bucket handles; the bucket itself copies its items when it
    // is changed while another copy of the map still holds it.
    return d->buckets[bucketIndex(key)];
}

void SessionItemMap::insert(const QUuid& key, const SessionItem& item)
{
    Bucket& bucket = bucketForChange(key);
    const qsizetype before = bucket.size();
    bucket.insert(key, item);
    d.data()->size += bucket.size() - before;
}

bool SessionItemMap::remove(const QUuid& key)
{
    if (!contains(key))
        return false;
    bucketForChange(key).remove(key);
    --d->size;
    return true;
}

SessionItem& SessionItemMap::operator[](const QUuid& key)
{
    Bucket& bucket = bucketForChange(key);
    const qsizetype before = bucket.size();
    SessionItem& item = bucket[key];
    d->size += bucket.size() - before;
    return item;
}

void SessionItemMap::reserve(qsizetype count)
{
    // Random ids spread evenly; the margin covers the usual unevenness between buckets. Small maps
    // grow as they go rather than allocating every bucket up front.
    const qsizetype perBucket = count / qsizetype(bucketCount);
    if (perBucket < 8)
        return;
    if (!d)
        d = new Data;
    for (Bucket& bucket : d->buckets)
        bucket.reserve(perBucket + perBucket / 4 + 4);
}

std::size_t SessionItemMap::sharedBucketCount(const SessionItemMap& other) const
{
    if (!d || !other.d)
        return 0;
    std::size_t shared = 0;
    for (std::size_t i = 0; i < bucketCount; ++i)
        shared += d->buckets[i].isSharedWith(other.d->buckets[i]) ? 1 : 0;
    return shared;
}

bool operator==(const SessionItemMap& a, const SessionItemMap& b)
{
    if (a.isSharedWith(b))
        return true;
    if (a.size() != b.size())
        return false;
    if (a.isEmpty())
        return true;
    // A key always lands in the same bucket, so equal maps have equal buckets.
    for (std::size_t i = 0; i < SessionItemMap::bucketCount; ++i) {
        const SessionItemMap::Bucket& x = a.d->buckets[i];
        const SessionItemMap::Bucket& y = b.d->buckets[i];
        if (!x.isSharedWith(y) && x != y)
            return false;
    }
    return true;
}
