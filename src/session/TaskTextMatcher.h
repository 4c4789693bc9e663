#pragma once

#include "session/FoldRules.h"
#include "session/SessionItem.h"

#include <QString>

// Whether a task's searched text, folded, contains a folded query, without keeping the folded
// text: what a search asks of tasks whose texts have not been folded ahead. A task whose title and
// note are ASCII, or that has a hit before its first other unit, is compared unit by unit as each
// unit folds (only the capital letters change), so nothing is copied and a text is read only up to
// its first hit; any other task is folded on the spot, its whole text at once, as the folded texts
// hold it.
class TaskTextMatcher {
public:
    // `foldedQuery` as FoldRules::fold makes it under `rules`.
    TaskTextMatcher(const FoldRules& rules, const QString& foldedQuery);

    bool matches(const SessionItem& item) const;

private:
    enum class Answer { found, absent, notAscii };
    // Whether the text, folded, contains the query (which holds no line feed): found or absent
    // when the units up to the first hit, or all of them, are ASCII; notAscii when that takes
    // folding the text as a whole.
    Answer findAscii(QStringView text) const;

    const FoldRules& m_rules;
    QString m_query;
    bool m_turkic = false;
    bool m_hasLineFeed = false; // a hit may span the title, the line feed and the note
    bool m_asciiCanHold = true; // some folded ASCII text may hold the query
    mutable QString m_scratch; // a folded text, kept for its buffer
};
