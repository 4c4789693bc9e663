#pragma once

#include "session/FoldRules.h"
#include "session/SessionItem.h"
#include "session/TextSummary.h"

#include <QString>

#include <array>

// Whether a task's searched text, folded, contains a folded query, without keeping the folded
// text: what a search asks of tasks whose texts have not been folded ahead. Most tasks are
// answered without folding them: a hit made of ASCII units, with an ASCII unit after it, is a hit
// in the folded text wherever it lies, so a text is compared unit by unit as each unit folds (only
// the capital letters change) and read only up to its first such hit; a text with no hit that is
// all ASCII holds none. Of the rest, a task whose units all fold one at a time (FoldRules::
// unitFoldEnd, the Latin letters) is first looked over for a unit whose folded form holds the
// query's first unit, and without one holds no hit; else it is folded from the table of units. Any
// other task is folded on the spot, its whole text at once, as the folded texts hold it.
//
// A task's TextSummary settles most tasks without their text (bySummary): when every unit of the
// task folds one at a time, the task holds none of the query when it holds no unit whose folded form
// holds one of the query's units, and holds a one-unit query when it holds a unit of a group every
// unit of which folds to a text holding it.
class TaskTextMatcher {
public:
    // `foldedQuery` as FoldRules::fold makes it under `rules`.
    TaskTextMatcher(const FoldRules& rules, const QString& foldedQuery);

    bool matches(const SessionItem& item) const;

    enum class Answer { found, absent, unsure };
    // What the summary of a task's text tells: whether it matches, or unsure when only its text can.
    Answer bySummary(quint64 summary) const
    {
        if (foundBySummary(summary))
            return Answer::found;
        return unsureBySummary(summary) ? Answer::unsure : Answer::absent;
    }
    // The same as two answers computed without branching, for loops over many summaries.
    bool foundBySummary(quint64 summary) const
    {
        return !(summary & TextSummary::beyondTable) & holdsNeeded(summary) & bool(summary & m_sure);
    }
    bool unsureBySummary(quint64 summary) const
    {
        return bool(summary & TextSummary::beyondTable) | (holdsNeeded(summary) & !(summary & m_sure));
    }
    // The same for `count` (at most 64) summaries, as bits (the first summary the lowest): those
    // found and those unsure. The bits tested are held in registers across the summaries.
    void bySummaries(const quint64* summaries, qsizetype count, quint64& found, quint64& unsure) const
    {
        const quint64 n0 = m_needed[0], n1 = m_needed[1], n2 = m_needed[2], n3 = m_needed[3];
        const quint64 sure = m_sure;
        quint64 foundBits = 0;
        quint64 unsureBits = 0;
        for (qsizetype k = 0; k < count; ++k) {
            const quint64 summary = summaries[k];
            const quint64 holds = quint64((summary & n0) != 0) & quint64((summary & n1) != 0)
                & quint64((summary & n2) != 0) & quint64((summary & n3) != 0);
            const quint64 beyond = summary >> TextSummary::beyondTableBit;
            const quint64 settles = quint64((summary & sure) != 0);
            foundBits |= (holds & settles & (beyond ^ 1)) << k;
            unsureBits |= (beyond | (holds & (settles ^ 1))) << k;
        }
        found = foundBits;
        unsure = unsureBits;
    }

private:
    bool holdsNeeded(quint64 summary) const
    {
        return bool(summary & m_needed[0]) & bool(summary & m_needed[1]) & bool(summary & m_needed[2])
            & bool(summary & m_needed[3]);
    }
    // Whether the text, folded, contains the query (which holds no line feed): found when it holds
    // a hit of ASCII units followed by an ASCII unit or its end, absent when it holds none and is
    // ASCII, unsure otherwise.
    Answer findAscii(QStringView text) const;
    enum class Units { withoutFirst, withFirst, beyondTable };
    // Whether every unit of the text folds one at a time, and whether one of them folds to a text
    // holding the query's first unit.
    Units lookOver(QStringView text) const;

    const FoldRules& m_rules;
    QString m_query;
    // Summary bits a task must hold one of, for some of the query's units (every bit for the rest),
    // and those that settle a one-unit query.
    std::array<quint64, 4> m_needed;
    quint64 m_sure = 0;
    bool m_turkic = false;
    bool m_hasLineFeed = false; // a hit may span the title, the line feed and the note
    bool m_asciiCanHold = true; // some folded ASCII text may hold the query
    mutable bool m_firstKnown = false; // m_holdsFirst is made
    mutable std::array<bool, FoldRules::unitFoldEnd> m_holdsFirst {}; // units folding to the first unit
    mutable QString m_scratch; // a folded text, kept for its buffer
};
