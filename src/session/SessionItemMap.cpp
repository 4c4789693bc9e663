#include "session/SessionItemMap.h"

#include "session/ItemIdGenerator.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t leafCount = SessionItemMap::fanOut * SessionItemMap::fanOut;

} // namespace

void SessionItemMap::const_iterator::skipExhaustedLeaves()
{
    while (m_leaf < leafCount) {
        const auto& node = m_root->nodes[nodeOf(m_leaf)];
        if (node && m_position < node->leaves[placeOf(m_leaf)].size())
            return;
        ++m_leaf;
        m_position = 0;
    }
    *this = const_iterator();
}

SessionItemMap::const_iterator& SessionItemMap::const_iterator::operator++()
{
    ++m_position;
    skipExhaustedLeaves();
    return *this;
}

SessionItemMap::const_iterator SessionItemMap::begin() const
{
    if (isEmpty())
        return end();
    const_iterator it(d.constData(), 0, 0);
    it.skipExhaustedLeaves();
    return it;
}

namespace {

// Any strict order serves the sorted leaves; QUuid's own operator< checks the variant first, which
// made it the most expensive part of a lookup.
bool byteLess(const QUuid& a, const QUuid& b)
{
    quint64 x[2];
    quint64 y[2];
    std::memcpy(x, &a, sizeof x);
    std::memcpy(y, &b, sizeof y);
    return x[0] != y[0] ? x[0] < y[0] : x[1] < y[1];
}

// The same id: the bytes compared at once.
bool sameKey(const QUuid& a, const QUuid& b)
{
    return std::memcmp(&a, &b, sizeof(QUuid)) == 0;
}

} // namespace

namespace {

// Where a random id should lie in a sorted run of `size` ids: the leading bits of the order
// byteLess compares by say how far into the run. The very first four are the version, the same in
// every random id, so the 32 bits after them are read.
qsizetype expectedPlace(const QUuid& key, qsizetype size)
{
    quint64 order;
    std::memcpy(&order, &key, sizeof order);
    return qsizetype((order << 4 >> 32) * quint64(size) >> 32);
}

// The lower bound of key among the sorted items, searched outward from `hint` in growing steps:
// for random ids a step or two from where they should be, and never more than a binary search's
// steps twice over however the ids fall.
qsizetype lowerBoundNear(const SessionItem* items, qsizetype size, const QUuid& key, qsizetype hint)
{
    qsizetype low = 0; // items before low are less than key
    qsizetype high = size; // items from high on are not
    if (hint < size && byteLess(items[hint].id, key)) {
        low = hint + 1;
        for (qsizetype step = 1;; step *= 2) {
            const qsizetype probe = low + step - 1;
            if (probe >= size)
                break;
            if (!byteLess(items[probe].id, key)) {
                high = probe;
                break;
            }
            low = probe + 1;
        }
    } else {
        high = std::min(hint, size);
        for (qsizetype step = 1;; step *= 2) {
            const qsizetype probe = high - step;
            if (probe < 0)
                break;
            if (byteLess(items[probe].id, key)) {
                low = probe + 1;
                break;
            }
            high = probe;
        }
    }
    return std::lower_bound(items + low, items + high, key, [](const SessionItem& item, const QUuid& id) {
        return byteLess(item.id, id);
    }) - items;
}

} // namespace

qsizetype SessionItemMap::lowerBound(const Leaf& leaf, const QUuid& key)
{
    return std::lower_bound(leaf.cbegin(), leaf.cend(), key, [](const SessionItem& item, const QUuid& id) {
        return byteLess(item.id, id);
    }) - leaf.cbegin();
}

const SessionItem* SessionItemMap::pointerTo(const QUuid& key) const
{
    if (!d)
        return nullptr;
    const std::size_t index = leafIndex(key);
    const auto& node = d->nodes[nodeOf(index)];
    if (!node)
        return nullptr;
    const Leaf& leaf = node->leaves[placeOf(index)];
    const qsizetype at = lowerBound(leaf, key);
    return at < leaf.size() && leaf.at(at).id == key ? &leaf.at(at) : nullptr;
}

std::vector<const SessionItem*> SessionItemMap::pointersTo(const QList<QUuid>& keys) const
{
    return pointersToKeys(keys);
}

std::vector<const SessionItem*> SessionItemMap::pointersTo(const ItemIDList& keys) const
{
    return pointersToKeys(keys);
}

template <typename Keys>
std::vector<const SessionItem*> SessionItemMap::pointersToKeys(const Keys& keys) const
{
    const qsizetype count = keys.size();
    std::vector<const SessionItem*> found(keys.size(), nullptr);
    if (!d || count == 0)
        return found;
    if (count < 256) { // a short list: the counts per leaf would cost more than they save
        std::size_t i = 0;
        for (const QUuid& key : keys)
            found[i++] = pointerTo(key);
        return found;
    }
    const auto leafAt = [this](std::size_t slot) -> const Leaf* {
        const auto& node = d->nodes[nodeOf(slot)];
        return node ? &node->leaves[placeOf(slot)] : nullptr;
    };

    // A list loaded at once lies in the leaves as it lies in the list (orderedIDs), and mostly
    // stays so: each key is looked for first just after the one before, which reads memory in
    // order; one found elsewhere is looked up, and the walk goes on from there. Once a good share
    // of the keys needed looking up (a shuffled list, or a few of its rows), the rest are sorted
    // by leaf, whose look-ups overlap their reads from memory.
    auto key = keys.begin();
    qsizetype walked = 0; // the keys answered by the walk
    {
        std::size_t slot = 0;
        const Leaf* leaf = nullptr;
        qsizetype place = 0;
        qsizetype lookups = 0;
        for (; walked < count && lookups * 4 <= walked + 64; ++walked, ++key) {
            const bool inLeaf = leaf && place + 1 < leaf->size();
            const SessionItem* next = nullptr;
            if (inLeaf) {
                next = leaf->constData() + place + 1;
            } else if (slot + 1 < leafCount) {
                const Leaf* following = leafAt(slot + 1);
                if (following && !following->isEmpty())
                    next = following->constData();
            }
            if (next && sameKey(next->id, *key)) {
                found[std::size_t(walked)] = next;
                if (inLeaf) {
                    ++place;
                } else {
                    leaf = leafAt(++slot);
                    place = 0;
                }
                continue;
            }
            ++lookups;
            const std::size_t at = leafIndex(*key);
            const Leaf* home = leafAt(at);
            if (!home)
                continue;
            const qsizetype position
                = lowerBoundNear(home->constData(), home->size(), *key, expectedPlace(*key, home->size()));
            if (position < home->size() && sameKey(home->at(position).id, *key)) {
                found[std::size_t(walked)] = &home->at(position);
                slot = at;
                leaf = home;
                place = position;
            }
        }
    }
    if (walked == count)
        return found;

    // A counting sort of the keys left by leaf, each with its place in keys.
    struct Key {
        QUuid id;
        qsizetype at;
    };
    const qsizetype left = count - walked;
    std::vector<quint16> leafOf(static_cast<std::size_t>(left), 0);
    std::vector<qsizetype> start(leafCount + 1, 0);
    {
        auto k = key;
        for (std::size_t i = 0; i < std::size_t(left); ++i, ++k) {
            leafOf[i] = quint16(leafIndex(*k));
            ++start[leafOf[i] + 1];
        }
    }
    for (std::size_t leaf = 0; leaf < leafCount; ++leaf)
        start[leaf + 1] += start[leaf];
    std::vector<Key> byLeaf(static_cast<std::size_t>(left));
    {
        std::vector<qsizetype> next(start.begin(), start.end() - 1);
        auto k = key;
        for (qsizetype i = 0; i < left; ++i, ++k)
            byLeaf[next[leafOf[i]]++] = Key {*k, walked + i};
    }
    // The leaves holding keys. At a long list's scale each is a read from memory, and so is each
    // step of a search in it: the leaves some places ahead are fetched early, so that those reads
    // overlap instead of coming one after the other.
    std::vector<quint16> filled;
    for (std::size_t slot = 0; slot < leafCount; ++slot)
        if (start[slot] != start[slot + 1] && d->nodes[nodeOf(slot)])
            filled.push_back(quint16(slot));
    constexpr std::size_t listAhead = 8;
    constexpr std::size_t itemsAhead = 4;
    for (std::size_t n = 0; n < filled.size(); ++n) {
        if (n + listAhead < filled.size())
            __builtin_prefetch(leafAt(filled[n + listAhead]));
        if (n + itemsAhead < filled.size()) {
            const std::size_t slot = filled[n + itemsAhead];
            const Leaf& leaf = *leafAt(slot);
            if (!leaf.isEmpty()) {
                // Where each key should be, the search's start.
                const SessionItem* items = leaf.constData();
                for (qsizetype k = start[slot]; k < start[slot + 1]; ++k)
                    __builtin_prefetch(items + expectedPlace(byLeaf[k].id, leaf.size()));
            }
        }
        const std::size_t slot = filled[n];
        const Leaf& leaf = *leafAt(slot);
        for (qsizetype k = start[slot]; k < start[slot + 1]; ++k) {
            const QUuid& id = byLeaf[k].id;
            const qsizetype at
                = lowerBoundNear(leaf.constData(), leaf.size(), id, expectedPlace(id, leaf.size()));
            if (at < leaf.size() && leaf.at(at).id == id)
                found[byLeaf[k].at] = &leaf.at(at);
        }
    }
    return found;
}

SessionItemMap::const_iterator SessionItemMap::constFind(const QUuid& key) const
{
    const SessionItem* found = pointerTo(key);
    if (!found)
        return end();
    const std::size_t index = leafIndex(key);
    const Leaf& leaf = d->nodes[nodeOf(index)]->leaves[placeOf(index)];
    return const_iterator(d.constData(), index, found - leaf.constData());
}

SessionItem SessionItemMap::value(const QUuid& key, const SessionItem& defaultValue) const
{
    const SessionItem* found = pointerTo(key);
    return found ? *found : defaultValue;
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

SessionItemMap::SessionItemMap(QList<SessionItem> items)
    : SessionItemMap(
        items.size(), [&items](qsizetype i) { return items.at(i).id; },
        [&items](qsizetype i) { return std::move(items[i]); })
{ }

SessionItemMap::SessionItemMap(qsizetype count, const std::function<QUuid(qsizetype)>& idAt,
    const std::function<SessionItem(qsizetype)>& itemAt, const std::atomic<bool>* stop)
{
    constexpr qsizetype stopCheckInterval = 4096;
    const auto stopped = [stop](qsizetype i) {
        return stop && i % stopCheckInterval == 0 && stop->load(std::memory_order_relaxed);
    };
    if (count <= 0)
        return;
    // Counted by leaf first, so that every leaf is allocated once at its final size (inserting one
    // by one moves items within growing leaves); then each small leaf is sorted on its own. Items
    // are asked for in order: their sources are read straight through, where asking leaf by leaf
    // would read them at random and wait on memory for nearly every one. Only the leaves used are
    // visited after counting: a short list uses few of the 4096.
    std::vector<quint16> leafOf(static_cast<std::size_t>(count));
    std::vector<quint32> leafSize(leafCount, 0); // then, for a used leaf, its place in `used`
    std::vector<quint16> used;
    for (qsizetype i = 0; i < count; ++i) {
        if (stopped(i))
            return;
        const auto slot = quint16(leafIndex(idAt(i)));
        leafOf[std::size_t(i)] = slot;
        if (leafSize[slot]++ == 0)
            used.push_back(slot);
    }

    d = new Root;
    d->size = count;
    std::vector<Leaf*> leaves(used.size());
    for (std::size_t k = 0; k < used.size(); ++k) {
        const std::size_t slot = used[k];
        QSharedDataPointer<Node>& node = d->nodes[nodeOf(slot)];
        if (!node)
            node = new Node;
        leaves[k] = &node->leaves[placeOf(slot)];
        leaves[k]->reserve(leafSize[slot]);
        leafSize[slot] = quint32(k);
    }
    for (qsizetype i = 0; i < count; ++i) {
        if (stopped(i)) {
            d.reset();
            return;
        }
        leaves[leafSize[leafOf[std::size_t(i)]]]->append(itemAt(i));
    }
    for (Leaf* leaf : leaves)
        std::sort(leaf->begin(), leaf->end(),
            [](const SessionItem& a, const SessionItem& b) { return byteLess(a.id, b.id); });
}

QList<QUuid> SessionItemMap::orderedIDs(
    qsizetype from, qsizetype count, qsizetype total, ItemIdGenerator& random)
{
    // leafIndex mixes an id's bits and keeps the top of the product; the inverse of its odd
    // multiplier (modulo 2^64, by Newton's iteration) turns a chosen product back into those bits.
    constexpr quint64 inverse = [] {
        quint64 x = leafMultiplier;
        for (int i = 0; i < 6; ++i)
            x *= 2 - leafMultiplier * x;
        return x;
    }();
    static_assert(inverse * leafMultiplier == 1);
    constexpr int leafShift = 64 - 2 * levelBits;
    constexpr quint64 version = quint64(0x4) << 60;

    // The leaves the list takes, evenly spaced: the fewest power of two that leaves fewer than
    // twice loadedLeafTasks tasks to a leaf, as long as there are enough.
    const quint64 runs = std::min<quint64>(leafCount,
        std::bit_ceil(quint64(std::max<qsizetype>(1, (total + loadedLeafTasks - 1) / loadedLeafTasks))));
    const quint64 spacingOfRuns = leafCount / runs;

    QList<QUuid> ids;
    ids.reserve(count);
    // Made run by run, so that the divisions that place a run are done once for it, not per id.
    for (qsizetype i = from; i < from + count;) {
        // The run of ids that shares a leaf: an even share of the list.
        const quint64 run = quint64(i) * runs / quint64(total);
        const std::size_t slot = std::size_t(run * spacingOfRuns);
        const qsizetype first = qsizetype((run * quint64(total) + runs - 1) / runs);
        const qsizetype end = qsizetype(((run + 1) * quint64(total) + runs - 1) / runs);
        const quint64 spacing = (quint64(1) << 60) / quint64(end - first);
        for (const qsizetype runEnd = std::min(end, from + count); i < runEnd; ++i) {
            // The order byteLess compares by: the version, then this id's place in the run with a
            // random offset within its share (the high half of a random fraction of the spacing).
            const quint64 offset = quint64((unsigned __int128)(random.nextBits()) * spacing >> 64);
            const quint64 order = version | (quint64(i - first) * spacing + offset);
            const uint data1 = uint(order);
            const ushort data2 = ushort(order >> 32);
            const ushort data3 = ushort(order >> 48);
            const quint64 head = quint64(data1) << 32 | quint64(data2) << 16 | data3;
            // The tail makes the mixed bits name the leaf; its first byte carries the variant (0b10
            // in its top bits). The low byte of a product depends only on the low bytes of its
            // factors, which fixes the mixed bits' low byte.
            const quint64 bits = random.nextBits();
            const quint8 tailFirst = quint8(0x80 | (bits & 0x3F));
            const quint8 foldedLow = quint8(head) ^ tailFirst;
            const quint64 mixed = quint64(slot) << leafShift
                | (bits & ((quint64(1) << leafShift) - 1) & ~quint64(0xFF))
                | quint8(foldedLow * leafMultiplier);
            const quint64 tail = head ^ (mixed * inverse);
            uchar data4[8];
            std::memcpy(data4, &tail, sizeof data4);
            ids.append(QUuid(data1, data2, data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5],
                data4[6], data4[7]));
        }
    }
    return ids;
}

SessionItemMap::Leaf& SessionItemMap::leafForChange(const QUuid& key)
{
    if (!d)
        d = new Root;
    // Detaching copies the 64 node handles, then the node's 64 leaf handles; the leaf itself copies
    // its items when it is changed while another copy of the map still holds it.
    const std::size_t index = leafIndex(key);
    QSharedDataPointer<Node>& node = d->nodes[nodeOf(index)];
    if (!node)
        node = new Node;
    return node->leaves[placeOf(index)];
}

void SessionItemMap::insert(const QUuid& key, const SessionItem& item)
{
    SessionItem& slot = (*this)[key];
    slot = item;
    slot.id = key; // the leaf is sorted by it
}

bool SessionItemMap::remove(const QUuid& key)
{
    if (!contains(key))
        return false;
    Leaf& leaf = leafForChange(key);
    leaf.removeAt(lowerBound(leaf, key));
    --d->size;
    return true;
}

SessionItem& SessionItemMap::operator[](const QUuid& key)
{
    Leaf& leaf = leafForChange(key);
    const qsizetype at = lowerBound(leaf, key);
    if (at == leaf.size() || leaf.at(at).id != key) {
        SessionItem item;
        item.id = key;
        leaf.insert(at, item);
        ++d->size;
    }
    return leaf[at];
}

bool operator==(const SessionItemMap& a, const SessionItemMap& b)
{
    if (a.isSharedWith(b))
        return true;
    if (a.size() != b.size())
        return false;
    if (a.isEmpty())
        return true;
    // A key always lands in the same leaf, so equal maps have equal leaves.
    static const SessionItemMap::Leaf empty;
    for (std::size_t n = 0; n < SessionItemMap::fanOut; ++n) {
        const auto& x = a.d->nodes[n];
        const auto& y = b.d->nodes[n];
        if (x == y)
            continue;
        for (std::size_t l = 0; l < SessionItemMap::fanOut; ++l) {
            const SessionItemMap::Leaf& p = x ? x->leaves[l] : empty;
            const SessionItemMap::Leaf& q = y ? y->leaves[l] : empty;
            if (!p.isSharedWith(q) && p != q)
                return false;
        }
    }
    return true;
}

void SessionItemMap::forEachDifference(const SessionItemMap& other,
    const std::function<bool(const QUuid&, const SessionItem*, const SessionItem*)>& visit) const
{
    if (d == other.d)
        return;
    static const Leaf noLeaf;
    for (std::size_t n = 0; n < fanOut; ++n) {
        const Node* mine = d ? d->nodes[n].constData() : nullptr;
        const Node* theirs = other.d ? other.d->nodes[n].constData() : nullptr;
        if (mine == theirs)
            continue;
        for (std::size_t l = 0; l < fanOut; ++l) {
            const Leaf& a = mine ? mine->leaves[l] : noLeaf;
            const Leaf& b = theirs ? theirs->leaves[l] : noLeaf;
            if (a.isSharedWith(b))
                continue;
            // Both leaves are sorted: one merge finds what one has alone and what both hold apart.
            qsizetype i = 0;
            qsizetype j = 0;
            while (i < a.size() || j < b.size()) {
                bool go = true;
                if (j == b.size() || (i < a.size() && byteLess(a.at(i).id, b.at(j).id))) {
                    go = visit(a.at(i).id, &a.at(i), nullptr);
                    ++i;
                } else if (i == a.size() || byteLess(b.at(j).id, a.at(i).id)) {
                    go = visit(b.at(j).id, nullptr, &b.at(j));
                    ++j;
                } else {
                    if (!(a.at(i) == b.at(j)))
                        go = visit(a.at(i).id, &a.at(i), &b.at(j));
                    ++i;
                    ++j;
                }
                if (!go)
                    return;
            }
        }
    }
}
