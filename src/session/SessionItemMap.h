#pragma once

#include "session/SessionItem.h"

#include <QHash>
#include <QList>
#include <QSharedData>
#include <QUuid>

#include <array>
#include <cstddef>
#include <cstring>
#include <iterator>

// The session's tasks by id: a value type like QHash, but split into a fixed number of buckets that
// are each shared copy-on-write. The undo history keeps a copy of the map per command, and changing
// one task then copies only that task's bucket, not every task. Iteration order is unspecified.
class SessionItemMap {
    using Bucket = QHash<QUuid, SessionItem>;

public:
    static constexpr int bucketBits = 6;
    static constexpr std::size_t bucketCount = std::size_t(1) << bucketBits;

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using difference_type = std::ptrdiff_t;
        using value_type = SessionItem;
        using pointer = const SessionItem*;
        using reference = const SessionItem&;

        const_iterator() = default;
        const QUuid& key() const { return m_it.key(); }
        const SessionItem& value() const { return m_it.value(); }
        const SessionItem& operator*() const { return m_it.value(); }
        const SessionItem* operator->() const { return &m_it.value(); }
        const_iterator& operator++();
        const_iterator operator++(int)
        {
            const_iterator old = *this;
            ++*this;
            return old;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b)
        {
            return a.m_bucket == b.m_bucket && (a.m_bucket == bucketCount || a.m_it == b.m_it);
        }

    private:
        friend class SessionItemMap;
        const_iterator(
            const std::array<Bucket, bucketCount>* buckets, std::size_t bucket, Bucket::const_iterator it)
            : m_buckets(buckets), m_bucket(bucket), m_it(it)
        { }
        // Moves to the first item at or after the current position, or to the end.
        void skipExhaustedBuckets();

        const std::array<Bucket, bucketCount>* m_buckets = nullptr;
        std::size_t m_bucket = bucketCount;
        Bucket::const_iterator m_it;
    };
    using ConstIterator = const_iterator;

    SessionItemMap() = default;

    qsizetype size() const { return d ? d->size : 0; }
    qsizetype count() const { return size(); }
    bool isEmpty() const { return size() == 0; }
    bool contains(const QUuid& key) const { return pointerTo(key) != nullptr; }
    SessionItem value(const QUuid& key, const SessionItem& defaultValue = SessionItem()) const;
    QList<QUuid> keys() const;
    QList<SessionItem> values() const;

    // Inserts or replaces.
    void insert(const QUuid& key, const SessionItem& item);
    // Whether there was an item to remove. A missing key leaves the map, and its sharing, untouched.
    bool remove(const QUuid& key);
    // The item for key, default-constructed and inserted when missing.
    SessionItem& operator[](const QUuid& key);
    void clear() { d.reset(); }
    // Room for about `count` items in all.
    void reserve(qsizetype count);

    const_iterator begin() const;
    const_iterator end() const { return const_iterator(); }
    const_iterator cbegin() const { return begin(); }
    const_iterator cend() const { return end(); }
    const_iterator constBegin() const { return begin(); }
    const_iterator constEnd() const { return end(); }
    const_iterator find(const QUuid& key) const { return constFind(key); }
    const_iterator constFind(const QUuid& key) const;

    // Whether both are the very same map data (so equal without comparing).
    bool isSharedWith(const SessionItemMap& other) const { return d == other.d; }
    // How many buckets both hold in common; for tests and measurements.
    std::size_t sharedBucketCount(const SessionItemMap& other) const;

    friend bool operator==(const SessionItemMap& a, const SessionItemMap& b);

    // The item for key, or null; valid until the map is next changed.
    const SessionItem* pointerTo(const QUuid& key) const
    {
        if (!d)
            return nullptr;
        const Bucket& bucket = d->buckets[bucketIndex(key)];
        const Bucket::const_iterator it = bucket.constFind(key);
        return it == bucket.cend() ? nullptr : &it.value();
    }

    // The bucket holding key: fixed for a key, independent of the process's hash seed. Session ids
    // are random, but folding all 128 bits and mixing keeps any other ids spread too.
    static std::size_t bucketIndex(const QUuid& key)
    {
        quint64 tail;
        std::memcpy(&tail, key.data4, sizeof tail);
        const quint64 folded = (quint64(key.data1) << 32 | quint64(key.data2) << 16 | key.data3) ^ tail;
        return std::size_t((folded * 0x9E3779B97F4A7C15ull) >> (64 - bucketBits));
    }

private:
    struct Data : QSharedData {
        std::array<Bucket, bucketCount> buckets;
        qsizetype size = 0;
    };
    // The bucket for key, with the map (not yet the bucket) detached from other copies.
    Bucket& bucketForChange(const QUuid& key);

    // Null while empty, so that empty maps allocate nothing.
    QSharedDataPointer<Data> d;
};
