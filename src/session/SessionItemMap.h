#pragma once

#include "session/ItemIDList.h"
#include "session/SessionItem.h"

class ItemIdGenerator;

#include <QList>
#include <QSharedData>
#include <QUuid>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <functional>
#include <iterator>
#include <vector>

// The session's tasks by id: a value type like QHash, built as a two-level tree of small sorted
// leaves that are each shared copy-on-write. The undo history keeps a copy of the map per command;
// changing one task then copies only the path to its leaf (two tables of 64 handles and a leaf of
// about size/4096 tasks, or of a few in a shorter list), not the map. Iteration order is
// unspecified.
//
// A node holds the leaves 64 apart (leaf n is in node n % 64): a short list loaded at once lies in
// a few leaves spread evenly over the 4096 (orderedIDs), so that its ids' leaves still spread like
// random ids' do, and those leaves fill a node or a few instead of allocating all 64.
class SessionItemMap {
public:
    static constexpr int levelBits = 6;
    static constexpr std::size_t fanOut = std::size_t(1) << levelBits;
    // The fewest tasks orderedIDs puts in a leaf while it has leaves to spare (twice that at most).
    // More would allocate fewer leaves a load, but each edit's undo step keeps a copy of its leaf.
    static constexpr qsizetype loadedLeafTasks = 4;

private:
    using Leaf = QList<SessionItem>; // sorted by id
    struct Node : QSharedData {
        std::array<Leaf, fanOut> leaves;
    };
    struct Root : QSharedData {
        std::array<QSharedDataPointer<Node>, fanOut> nodes;
        qsizetype size = 0;
    };

public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using difference_type = std::ptrdiff_t;
        using value_type = SessionItem;
        using pointer = const SessionItem*;
        using reference = const SessionItem&;

        const_iterator() = default;
        const QUuid& key() const { return value().id; }
        const SessionItem& value() const { return leaf().at(m_position); }
        const SessionItem& operator*() const { return value(); }
        const SessionItem* operator->() const { return &value(); }
        const_iterator& operator++();
        const_iterator operator++(int)
        {
            const_iterator old = *this;
            ++*this;
            return old;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b)
        {
            return a.m_leaf == b.m_leaf && a.m_position == b.m_position;
        }

    private:
        friend class SessionItemMap;
        const_iterator(const Root* root, std::size_t leaf, qsizetype position)
            : m_root(root), m_leaf(leaf), m_position(position)
        { }
        const Leaf& leaf() const { return m_root->nodes[nodeOf(m_leaf)]->leaves[placeOf(m_leaf)]; }
        // Moves to the first item at or after the current position, or to the end.
        void skipExhaustedLeaves();

        const Root* m_root = nullptr;
        std::size_t m_leaf = fanOut * fanOut; // the end
        qsizetype m_position = 0;
    };
    using ConstIterator = const_iterator;

    SessionItemMap() = default;
    // The map of the given items, whose ids must all differ: the same map as inserting them one by
    // one, built leaf by leaf (loading a list builds its whole map at once).
    explicit SessionItemMap(QList<SessionItem> items);
    // The same for `count` items made one at a time by `itemAt(i)`, whose id is `idAt(i)`: each item
    // is made straight into its leaf, with no list of every item held beside the map. Once stop is
    // set, from any thread, it gives up within a few thousand items and the map stays empty.
    SessionItemMap(qsizetype count, const std::function<QUuid(qsizetype)>& idAt,
        const std::function<SessionItem(qsizetype)>& itemAt, const std::atomic<bool>* stop = nullptr);

    // New random ids for a list of `total` tasks that the map keeps in the list's order (here those
    // from `from` on): a list loaded with them lies in the leaves as it lies in the list, so that
    // reading the list in order reads memory in order. Within a leaf they are spread evenly, as
    // random ids would be. A list of fewer than loadedLeafTasks * 4096 tasks takes a power of two of
    // leaves, evenly spaced, of loadedLeafTasks tasks or more each: a load then allocates a leaf per
    // few dozen tasks, not one per task.
    static QList<QUuid> orderedIDs(qsizetype from, qsizetype count, qsizetype total, ItemIdGenerator& random);

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
    // The item for key, default-constructed (with that id) and inserted when missing. Its id must
    // not be changed through the reference.
    SessionItem& operator[](const QUuid& key);
    void clear() { d.reset(); }
    // Kept for the QHash-like interface; the tree grows as it goes.
    void reserve(qsizetype) { }

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

    friend bool operator==(const SessionItemMap& a, const SessionItemMap& b);

    // The item for key, or null; valid until the map is next changed.
    const SessionItem* pointerTo(const QUuid& key) const;
    // pointerTo for each of keys, in their order. The keys are sorted by leaf first, so each leaf is
    // searched while it is in the cache: saving a long list reads every task, and a search per key
    // from the root spends most of that time waiting for memory.
    std::vector<const SessionItem*> pointersTo(const QList<QUuid>& keys) const;
    std::vector<const SessionItem*> pointersTo(const ItemIDList& keys) const;

    // Calls visit(key, mine, theirs) for each key whose item differs between this map and other
    // (null where a map lacks it), in no set order, until visit answers false. Costs what differs:
    // the parts both maps still share are skipped unread.
    void forEachDifference(const SessionItemMap& other,
        const std::function<bool(const QUuid&, const SessionItem*, const SessionItem*)>& visit) const;

    // The leaf holding key: fixed for a key, independent of the process's hash seed. Session ids
    // are random, but folding all 128 bits and mixing keeps any other ids spread too (orderedIDs
    // runs the mixing backwards to choose an id's leaf).
    static constexpr quint64 leafMultiplier = 0x9E3779B97F4A7C15ull;
    static std::size_t leafIndex(const QUuid& key)
    {
        quint64 tail;
        std::memcpy(&tail, key.data4, sizeof tail);
        const quint64 folded = (quint64(key.data1) << 32 | quint64(key.data2) << 16 | key.data3) ^ tail;
        return std::size_t((folded * leafMultiplier) >> (64 - 2 * levelBits));
    }

private:
    // Where leaf number `leaf` is: its node, and its place in the node.
    static std::size_t nodeOf(std::size_t leaf) { return leaf & (fanOut - 1); }
    static std::size_t placeOf(std::size_t leaf) { return leaf >> levelBits; }
    // The leaf for key, with the path to it (not yet the leaf) detached from other copies.
    Leaf& leafForChange(const QUuid& key);
    template <typename Keys>
    std::vector<const SessionItem*> pointersToKeys(const Keys& keys) const;
    // Where key is or would be in its sorted leaf.
    static qsizetype lowerBound(const Leaf& leaf, const QUuid& key);

    // Null while empty, so that empty maps allocate nothing.
    QSharedDataPointer<Root> d;
};
