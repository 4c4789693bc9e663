#pragma once

#include "session/ItemIDList.h"

#include <QList>
#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <functional>
#include <type_traits>

// How one list became another: the items between an unchanged start and an unchanged end were
// replaced. Costs one pass over the unchanged ends (compared as memory where equal bytes mean
// equal items), and one over the replaced stretch when it may be a move; nothing when both are the
// same storage.
struct ListChange {
    qsizetype prefix = 0;
    qsizetype removed = 0;
    qsizetype inserted = 0;
    // When set, the change is one item moving from one end of the replaced stretch to the other:
    // +1 from its first place to its last, -1 from its last to its first.
    int move = 0;

    // The change that inserts `count` items at `index`, removes them there, or moves one item.
    static ListChange insertion(qsizetype index, qsizetype count) { return {index, 0, count, 0}; }
    static ListChange removal(qsizetype index, qsizetype count) { return {index, count, 0, 0}; }
    static ListChange movement(qsizetype from, qsizetype to)
    {
        const qsizetype run = (from < to ? to - from : from - to) + 1;
        return {std::min(from, to), run, run, from < to ? 1 : -1};
    }

    // Compares before and after with same(a, b); a stretch is looked at for a move only when it is
    // longer than movesAbove items on both sides (a shorter one is cheaper replaced than examined).
    template <typename T, typename Same>
    static ListChange between(const T* before, qsizetype beforeSize, const T* after, qsizetype afterSize,
        Same same, qsizetype movesAbove)
    {
        ListChange change;
        if (before == after && beforeSize == afterSize) {
            // One list (shared storage): nothing changed, and nothing needs comparing.
            change.prefix = beforeSize;
            return change;
        }
        const qsizetype shorter = std::min(beforeSize, afterSize);
        constexpr bool asMemory
            = std::is_same_v<Same, std::equal_to<T>> && std::has_unique_object_representations_v<T>;
        if constexpr (asMemory)
            change.prefix = commonPrefix(before, after, shorter);
        while (change.prefix < shorter && same(before[change.prefix], after[change.prefix]))
            ++change.prefix;
        qsizetype suffix = 0;
        if constexpr (asMemory)
            suffix = commonSuffix(before + beforeSize, after + afterSize, shorter - change.prefix);
        while (suffix < shorter - change.prefix
            && same(before[beforeSize - 1 - suffix], after[afterSize - 1 - suffix]))
            ++suffix;
        change.removed = beforeSize - change.prefix - suffix;
        change.inserted = afterSize - change.prefix - suffix;
        const qsizetype run = change.removed;
        if (run > movesAbove && run == change.inserted) {
            const T* old = before + change.prefix;
            const T* now = after + change.prefix;
            const auto sameRun = [&](const T* x, const T* y) {
                if constexpr (asMemory) {
                    return std::memcmp(x, y, sizeof(T) * size_t(run - 1)) == 0;
                } else {
                    for (qsizetype i = 0; i < run - 1; ++i)
                        if (!same(x[i], y[i]))
                            return false;
                    return true;
                }
            };
            if (same(old[0], now[run - 1]) && sameRun(old + 1, now))
                change.move = 1;
            else if (same(old[run - 1], now[0]) && sameRun(old, now + 1))
                change.move = -1;
        }
        return change;
    }

    // Compares two id lists; a stretch is looked at for a move only when it is longer than
    // movesAbove ids on both sides (a shorter one is cheaper replaced than examined). Ids are
    // compared as memory chunk by chunk, and the chunks both lists still share are skipped unread,
    // so the cost is that of the chunks an edit made.
    static ListChange between(const ItemIDList& before, const ItemIDList& after, qsizetype movesAbove)
    {
        ListChange change;
        const qsizetype beforeSize = before.size();
        const qsizetype afterSize = after.size();
        if (before.isSharedWith(after)) {
            change.prefix = beforeSize;
            return change;
        }
        const qsizetype shorter = std::min(beforeSize, afterSize);
        change.prefix = ItemIDList::commonPrefix(before, 0, after, 0, shorter);
        const qsizetype suffix
            = ItemIDList::commonSuffix(before, beforeSize, after, afterSize, shorter - change.prefix);
        change.removed = beforeSize - change.prefix - suffix;
        change.inserted = afterSize - change.prefix - suffix;
        const qsizetype run = change.removed;
        if (run > movesAbove && run == change.inserted) {
            const qsizetype at = change.prefix;
            const qsizetype last = at + run - 1;
            const auto sameRun = [&](qsizetype x, qsizetype y) {
                return ItemIDList::commonPrefix(before, x, after, y, run - 1) == run - 1;
            };
            if (before.at(at) == after.at(last) && sameRun(at + 1, at))
                change.move = 1;
            else if (before.at(last) == after.at(at) && sameRun(at, at + 1))
                change.move = -1;
        }
        return change;
    }

private:
    // Items equal in their bytes are equal: whole blocks are compared as memory, which is several
    // times faster than item by item on long lists. Counts only whole equal blocks; the caller
    // finishes item by item.
    static constexpr qsizetype block = 64;
    template <typename T>
    static qsizetype commonPrefix(const T* a, const T* b, qsizetype count)
    {
        qsizetype n = 0;
        while (n + block <= count && std::memcmp(a + n, b + n, sizeof(T) * block) == 0)
            n += block;
        return n;
    }
    // The same from the ends, a and b pointing just past their last items.
    template <typename T>
    static qsizetype commonSuffix(const T* aEnd, const T* bEnd, qsizetype count)
    {
        qsizetype n = 0;
        while (n + block <= count && std::memcmp(aEnd - n - block, bEnd - n - block, sizeof(T) * block) == 0)
            n += block;
        return n;
    }
};

// A change whose maker knew where it made it, from one stored list to another. The two lists are
// known by their storage, which stays theirs while anyone holds them, so a reader that holds both
// learns the change without comparing them.
struct KnownListChange {
    const void* before = nullptr;
    qsizetype beforeSize = 0;
    const void* after = nullptr;
    qsizetype afterSize = 0;
    ListChange change;

    template <typename T>
    static KnownListChange between(const QList<T>& before, const QList<T>& after, ListChange change)
    {
        return {before.constData(), before.size(), after.constData(), after.size(), change};
    }
    // Whether this is the change from `before` to `after`. Distinct storage on both sides, since a
    // list changed in place keeps its storage.
    template <typename T>
    bool leads(const QList<T>& before, const QList<T>& after) const
    {
        return this->before != this->after && before.constData() == this->before
            && before.size() == beforeSize && after.constData() == this->after && after.size() == afterSize;
    }
};
