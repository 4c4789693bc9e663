#pragma once

#include "session/FoldRules.h"
#include "session/SessionItem.h"

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
class TaskTextMatcher {
public:
    // `foldedQuery` as FoldRules::fold makes it under `rules`.
    TaskTextMatcher(const FoldRules& rules, const QString& foldedQuery);

    bool matches(const SessionItem& item) const;

private:
    enum class Answer { found, absent, unsure };
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
    bool m_turkic = false;
    bool m_hasLineFeed = false; // a hit may span the title, the line feed and the note
    bool m_asciiCanHold = true; // some folded ASCII text may hold the query
    mutable bool m_firstKnown = false; // m_holdsFirst is made
    mutable std::array<bool, FoldRules::unitFoldEnd> m_holdsFirst {}; // units folding to the first unit
    mutable QString m_scratch; // a folded text, kept for its buffer
};
