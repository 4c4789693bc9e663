#pragma once

#include <QtGlobal>

#include <algorithm>

// How one list became another: the items between an unchanged start and an unchanged end were
// replaced. Costs one pass over the unchanged ends, and one over the replaced stretch when it may
// be a move; nothing when both are the same storage.
struct ListChange {
    qsizetype prefix = 0;
    qsizetype removed = 0;
    qsizetype inserted = 0;
    // When set, the change is one item moving from one end of the replaced stretch to the other:
    // +1 from its first place to its last, -1 from its last to its first.
    int move = 0;

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
        while (change.prefix < shorter && same(before[change.prefix], after[change.prefix]))
            ++change.prefix;
        qsizetype suffix = 0;
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
                for (qsizetype i = 0; i < run - 1; ++i)
                    if (!same(x[i], y[i]))
                        return false;
                return true;
            };
            if (same(old[0], now[run - 1]) && sameRun(old + 1, now))
                change.move = 1;
            else if (same(old[run - 1], now[0]) && sameRun(old, now + 1))
                change.move = -1;
        }
        return change;
    }
};
