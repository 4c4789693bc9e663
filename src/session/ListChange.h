#pragma once

#include "session/ItemIDList.h"

#include <QtGlobal>

#include <algorithm>

// How one list became another: the items between an unchanged start and an unchanged end were
// replaced.
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

    static KnownListChange between(const ItemIDList& before, const ItemIDList& after, ListChange change)
    {
        return {before.storage(), before.size(), after.storage(), after.size(), change};
    }
    // Whether this is the change from `before` to `after`. Distinct storage on both sides, since a
    // list changed in place keeps its storage.
    bool leads(const ItemIDList& before, const ItemIDList& after) const
    {
        return this->before != this->after && before.storage() == this->before && before.size() == beforeSize
            && after.storage() == this->after && after.size() == afterSize;
    }
};
