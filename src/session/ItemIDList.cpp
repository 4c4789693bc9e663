#include "session/ItemIDList.h"

#include "session/SessionItemMap.h"

#include <cstring>

namespace {

bool sameIDs(const QUuid* a, const QUuid* b, qsizetype count)
{
    return std::memcmp(a, b, sizeof(QUuid) * size_t(count)) == 0;
}

// How many of count ids at a and b are equal: whole blocks compared as memory first.
qsizetype equalRun(const QUuid* a, const QUuid* b, qsizetype count)
{
    constexpr qsizetype block = 32;
    qsizetype n = 0;
    while (n + block <= count && sameIDs(a + n, b + n, block))
        n += block;
    while (n < count && sameIDs(a + n, b + n, 1))
        ++n;
    return n;
}

// The same, backwards from just before a and b.
qsizetype equalRunBack(const QUuid* aEnd, const QUuid* bEnd, qsizetype count)
{
    constexpr qsizetype block = 32;
    qsizetype n = 0;
    while (n + block <= count && sameIDs(aEnd - n - block, bEnd - n - block, block))
        n += block;
    while (n < count && sameIDs(aEnd - n - 1, bEnd - n - 1, 1))
        ++n;
    return n;
}

} // namespace

ItemIDList::const_iterator& ItemIDList::const_iterator::operator+=(difference_type n)
{
    const QUuid* target = m_at + n;
    const bool lastChunk = m_chunk + 1 == qsizetype(m_table ? m_table->chunks.size() : 1);
    if (target >= m_chunkBegin && (target < m_chunkEnd || (lastChunk && target == m_chunkEnd))) {
        m_at = target;
        return *this;
    }
    const qsizetype to = index() + n;
    const auto after = std::upper_bound(m_table->starts.cbegin(), m_table->starts.cend(), to);
    const qsizetype chunk = std::max<qsizetype>(0, qsizetype(after - m_table->starts.cbegin()) - 1);
    enterChunk(chunk, to - m_table->starts[size_t(chunk)]);
    return *this;
}

ItemIDList::ItemIDList(const QList<QUuid>& ids)
{
    if (ids.isEmpty())
        return;
    d = new Table;
    for (qsizetype from = 0; from < ids.size(); from += chunkSize) {
        const qsizetype count = std::min(chunkSize, ids.size() - from);
        d->chunks.emplace_back(ids.cbegin() + from, ids.cbegin() + from + count);
        d->starts.push_back(from);
        d->regions.push_back(regionsOf(d->chunks.back()));
    }
    d->size = ids.size();
}

quint64 ItemIDList::regionOf(const QUuid& id)
{
    constexpr int leafBits = 2 * SessionItemMap::levelBits;
    return quint64(1) << (SessionItemMap::leafIndex(id) >> (leafBits - 6));
}

quint64 ItemIDList::regionsOf(const Chunk& ids)
{
    quint64 regions = 0;
    for (const QUuid& id : ids)
        regions |= regionOf(id);
    return regions;
}

qsizetype ItemIDList::searchChunk(qsizetype index) const
{
    const auto after = std::upper_bound(d->starts.cbegin(), d->starts.cend(), index);
    return std::max<qsizetype>(0, qsizetype(after - d->starts.cbegin()) - 1);
}

ItemIDList::const_iterator ItemIDList::iteratorAt(qsizetype index) const
{
    if (!d)
        return const_iterator();
    const qsizetype chunk = chunkOf(index);
    return const_iterator(d.constData(), chunk, index - d->starts[size_t(chunk)]);
}

qsizetype ItemIDList::indexOf(const QUuid& id, qsizetype from) const
{
    if (from < 0)
        from = std::max<qsizetype>(0, from + size());
    if (from >= size())
        return -1;
    const quint64 region = regionOf(id);
    for (qsizetype chunk = chunkOf(from); chunk < qsizetype(d->chunks.size()); ++chunk) {
        if (!(d->regions[size_t(chunk)] & region))
            continue;
        const Chunk& ids = d->chunks[size_t(chunk)];
        const qsizetype start = d->starts[size_t(chunk)];
        const QUuid* begin = ids.constData();
        const QUuid* end = begin + ids.size();
        for (const QUuid* it = begin + std::max<qsizetype>(0, from - start); it != end; ++it)
            if (sameIDs(it, &id, 1))
                return start + (it - begin);
    }
    return -1;
}

QList<QUuid> ItemIDList::mid(qsizetype pos, qsizetype length) const
{
    pos = std::clamp<qsizetype>(pos, 0, size());
    const qsizetype count = length < 0 ? size() - pos : std::min(length, size() - pos);
    QList<QUuid> ids;
    if (count <= 0)
        return ids;
    ids.reserve(count);
    qsizetype chunk = chunkOf(pos);
    qsizetype offset = pos - d->starts[size_t(chunk)];
    while (ids.size() < count) {
        const Chunk& from = d->chunks[size_t(chunk++)];
        const qsizetype n = std::min(from.size() - offset, count - ids.size());
        ids.append(from.cbegin() + offset, from.cbegin() + offset + n);
        offset = 0;
    }
    return ids;
}

void ItemIDList::append(const QUuid& id)
{
    if (!d)
        d = new Table;
    Table& table = *d;
    // A full last chunk is followed by a new one, so a list built by appending has full chunks.
    if (table.chunks.empty() || table.chunks.back().size() >= chunkSize) {
        table.chunks.emplace_back().reserve(chunkSize);
        table.starts.push_back(table.size);
        table.regions.push_back(0);
    }
    table.chunks.back().append(id);
    table.regions.back() |= regionOf(id);
    ++table.size;
}

void ItemIDList::insert(qsizetype index, const QUuid& id)
{
    if (index == size()) {
        append(id);
        return;
    }
    const qsizetype chunk = chunkOf(index);
    Table& table = *d;
    table.chunks[size_t(chunk)].insert(index - table.starts[size_t(chunk)], id);
    table.regions[size_t(chunk)] |= regionOf(id);
    ++table.size;
    if (table.chunks[size_t(chunk)].size() > 2 * chunkSize)
        split(table, chunk);
    renumber(table, chunk);
}

void ItemIDList::remove(qsizetype index, qsizetype count)
{
    if (count <= 0)
        return;
    if (count == size()) {
        clear();
        return;
    }
    const qsizetype first = chunkOf(index);
    Table& table = *d;
    table.size -= count;
    qsizetype chunk = first;
    qsizetype offset = index - table.starts[size_t(chunk)];
    while (count > 0) {
        Chunk& ids = table.chunks[size_t(chunk)];
        const qsizetype n = std::min(count, ids.size() - offset);
        count -= n;
        if (n == ids.size()) {
            table.chunks.erase(table.chunks.begin() + chunk);
            table.regions.erase(table.regions.begin() + chunk);
        } else {
            ids.remove(offset, n);
            table.regions[size_t(chunk)] = regionsOf(ids);
            ++chunk;
        }
        offset = 0;
    }
    // The chunks left at the edges of the removal may be small now.
    joinIfSmall(table, std::min(first, qsizetype(table.chunks.size()) - 1));
    joinIfSmall(table, first - 1);
    renumber(table, std::max<qsizetype>(0, first - 1));
}

void ItemIDList::move(qsizetype from, qsizetype to)
{
    if (from == to)
        return;
    const qsizetype chunk = chunkOf(from);
    const qsizetype start = d->starts[size_t(chunk)];
    if (to >= start && to < start + d->chunks[size_t(chunk)].size()) {
        d->chunks[size_t(chunk)].move(from - start, to - start);
        return;
    }
    const QUuid id = at(from);
    remove(from);
    insert(to, id);
}

void ItemIDList::replace(qsizetype index, const QUuid& id)
{
    const qsizetype chunk = chunkOf(index);
    Table& table = *d;
    Chunk& ids = table.chunks[size_t(chunk)];
    ids.replace(index - table.starts[size_t(chunk)], id);
    table.regions[size_t(chunk)] = regionsOf(ids);
}

void ItemIDList::split(Table& table, qsizetype chunk)
{
    Chunk& whole = table.chunks[size_t(chunk)];
    const qsizetype half = whole.size() / 2;
    Chunk tail(whole.constData() + half, whole.constData() + whole.size());
    whole.resize(half);
    table.chunks.insert(table.chunks.begin() + chunk + 1, std::move(tail));
    table.starts.insert(table.starts.begin() + chunk + 1, 0);
    table.regions[size_t(chunk)] = regionsOf(table.chunks[size_t(chunk)]);
    table.regions.insert(table.regions.begin() + chunk + 1, regionsOf(table.chunks[size_t(chunk) + 1]));
}

void ItemIDList::joinIfSmall(Table& table, qsizetype chunk)
{
    if (table.chunks.size() < 2 || chunk < 0 || chunk >= qsizetype(table.chunks.size())
        || table.chunks[size_t(chunk)].size() >= chunkSize / 4)
        return;
    const qsizetype into = chunk + 1 < qsizetype(table.chunks.size()) ? chunk : chunk - 1;
    Chunk& joined = table.chunks[size_t(into)];
    joined.append(table.chunks[size_t(into) + 1]);
    table.chunks.erase(table.chunks.begin() + into + 1);
    table.regions[size_t(into)] |= table.regions[size_t(into) + 1];
    table.regions.erase(table.regions.begin() + into + 1);
    if (joined.size() > 2 * chunkSize)
        split(table, into);
}

void ItemIDList::renumber(Table& table, qsizetype fromChunk)
{
    table.starts.resize(table.chunks.size());
    for (size_t c = size_t(std::max<qsizetype>(0, fromChunk)); c < table.chunks.size(); ++c)
        table.starts[c] = c == 0 ? 0 : table.starts[c - 1] + table.chunks[c - 1].size();
}

qsizetype ItemIDList::commonPrefix(
    const ItemIDList& a, qsizetype aFrom, const ItemIDList& b, qsizetype bFrom, qsizetype count)
{
    if (count <= 0)
        return 0;
    const Table& x = *a.d;
    const Table& y = *b.d;
    qsizetype xc = a.chunkOf(aFrom);
    qsizetype yc = b.chunkOf(bFrom);
    qsizetype xo = aFrom - x.starts[size_t(xc)];
    qsizetype yo = bFrom - y.starts[size_t(yc)];
    qsizetype equal = 0;
    while (equal < count) {
        if (xo == x.chunks[size_t(xc)].size()) {
            ++xc;
            xo = 0;
        }
        if (yo == y.chunks[size_t(yc)].size()) {
            ++yc;
            yo = 0;
        }
        const Chunk& xs = x.chunks[size_t(xc)];
        const Chunk& ys = y.chunks[size_t(yc)];
        const qsizetype n = std::min({xs.size() - xo, ys.size() - yo, count - equal});
        // A chunk both lists share, from its start in both, is equal without reading it.
        const qsizetype same = xo == 0 && yo == 0 && xs.isSharedWith(ys)
            ? n
            : equalRun(xs.constData() + xo, ys.constData() + yo, n);
        equal += same;
        if (same < n)
            break;
        xo += n;
        yo += n;
    }
    return equal;
}

qsizetype ItemIDList::commonSuffix(
    const ItemIDList& a, qsizetype aEnd, const ItemIDList& b, qsizetype bEnd, qsizetype count)
{
    if (count <= 0)
        return 0;
    const Table& x = *a.d;
    const Table& y = *b.d;
    // The chunk and place just after the last id to compare; a place 0 is taken as the end of the
    // chunk before it.
    qsizetype xc = a.chunkOf(aEnd - 1);
    qsizetype yc = b.chunkOf(bEnd - 1);
    qsizetype xo = aEnd - x.starts[size_t(xc)];
    qsizetype yo = bEnd - y.starts[size_t(yc)];
    qsizetype equal = 0;
    while (equal < count) {
        if (xo == 0) {
            --xc;
            xo = x.chunks[size_t(xc)].size();
        }
        if (yo == 0) {
            --yc;
            yo = y.chunks[size_t(yc)].size();
        }
        const Chunk& xs = x.chunks[size_t(xc)];
        const Chunk& ys = y.chunks[size_t(yc)];
        const qsizetype n = std::min({xo, yo, count - equal});
        const qsizetype same = xo == xs.size() && yo == ys.size() && xs.isSharedWith(ys)
            ? n
            : equalRunBack(xs.constData() + xo, ys.constData() + yo, n);
        equal += same;
        if (same < n)
            break;
        xo -= n;
        yo -= n;
    }
    return equal;
}
