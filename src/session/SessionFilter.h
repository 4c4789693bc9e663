#pragma once

#include "session/FilterMatches.h"
#include "session/FoldRules.h"
#include "session/FoldedTexts.h"
#include "session/ItemIDList.h"
#include "session/SessionItem.h"
#include "session/SessionItemMap.h"
#include "session/TaskSection.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class SessionState;
struct CommittedSnapshot;
struct ListChange;

// The search filter: which tasks a query shows. A task matches when its title, or its title, a
// line feed and its note, contains the trimmed query, compared case-insensitively under the user's
// current locale.
//
// The folded texts of each section are kept between keystrokes and brought up to date task by task
// after a change, and each section's result is kept with the query it answers: a keystroke that
// extends the query looks only at the rows that matched before, and going back to an earlier query
// takes its kept result while nothing has changed since.
//
// Folding every text of a long list would be the largest part of a first keystroke, so it is done
// ahead of need, a slice at a time (prepare); a keystroke that comes before it is done matches the
// rows not yet folded from their tasks, folding none of them (TaskTextMatcher), and the results
// are the same either way. A list just loaded comes with a summary of each task's text
// (TextSummary), kept in list order until its section is folded: most of those rows are settled
// from it without looking their tasks up or reading their texts.
class SessionFilter {
public:
    const QString& query() const { return m_query; }
    // Whether the text differs from the query before.
    bool setQuery(const QString& text);
    // Whether a query is in force (it holds more than white space).
    bool isActive() const { return !foldedQuery().isEmpty(); }

    bool matches(const SessionItem& item) const;
    std::optional<QUuid> firstVisibleID(const SessionState& state, TaskSection section) const;

    // The trimmed query case-folded under the current locale, empty when nothing is filtered. Also
    // drops what was kept for another locale.
    const QString& foldedQuery() const;
    // The rows of the section's list that the query shows, by index in the list; only while a
    // query is in force. Valid until the session's lists, items or the query next change.
    const FilterMatches& matchingRows(const SessionState& state, TaskSection section) const;

    // Brings the folded texts up to date with the session's tasks, folding at most about `rows`
    // texts. Answers whether they are now up to date, so that a keystroke would fold nothing.
    bool prepare(const SessionState& state, qsizetype rows) const;
    // Lets go of the folded texts and of the tasks they were folded from, when the session's tasks
    // were replaced (a list opened or reloaded): the old list is freed with the load, not by the
    // first keystroke or slice of folding after it. Returns them, held there alone: a long list's
    // folded texts take milliseconds to free, which the caller may do on another thread.
    [[nodiscard]] std::shared_ptr<const void> forgetTexts();
    // Takes the summaries of the session's tasks (TextSummary), each section's in list order, made
    // with the list it has just loaded (LoadedContent): a search before folding ahead has finished
    // reads them instead of the tasks.
    void takeSummaries(const SessionState& state, const std::array<QList<quint64>, 3>& summaries);
    // Takes summaries made later, on another thread, of `from`, the session's content as a list
    // read here was loaded: for each section whose list and items the filter still keeps as they
    // were in `from` and whose texts are not all folded yet. The changes the session made since are
    // followed from there, as for summaries made with the list. Answers whether any were taken.
    bool takeLateSummaries(const CommittedSnapshot& from, const std::array<QList<quint64>, 3>& summaries);

private:
    struct KeptResult {
        QString query;
        FilterMatches rows;
    };
    // The texts of a section's first rows are folded; the rest are still to be folded from the
    // kept items (m_items), in list order.
    struct Section {
        ItemIDList ids; // the list `texts` follows, shared with the session's while unchanged
        FoldedTexts texts;
        // Each row's TextSummary while some rows are not folded; empty when not known.
        QList<quint64> summaries;
        bool isFolded() const { return texts.size() == ids.size(); }
        std::optional<KeptResult> current;
        std::vector<KeptResult> earlier; // most recent last; only while the texts are unchanged
    };
    // Brings the folded texts of every section up to date with the session.
    // Brings the kept lists and items up to date with the session; a section changed too much to
    // follow row by row is emptied, to be folded afresh.
    void update(const SessionState& state) const;
    void restart(const SessionState& state) const;
    void restartSection(const SessionState& state, TaskSection section) const;
    // Folds the next texts still to be folded, at most about `rows` of them (every one when
    // negative). Answers whether every section is folded.
    bool fold(qsizetype rows) const;
    // Brings a section's summaries along with a change of its list; ids is the list after it.
    void followChange(
        Section& section, const ListChange& change, const ItemIDList& ids, const SessionState& state) const;
    // Keeps the folded texts of the first `rows` rows only.
    void keepFolded(Section& section, qsizetype rows) const;
    // The rows of the section (of `candidates`, when given) whose text contains the query.
    FilterMatches search(const Section& section, const FilterMatches* candidates, const QString& query) const;
    QString foldedText(const SessionState& state, const QUuid& id) const;
    bool rowMatches(QStringView text, const Section& section) const;

    QString m_query;
    mutable QString m_foldedQuery;
    mutable QString m_foldedFrom; // the query m_foldedQuery was folded from
    mutable bool m_foldedValid = false;
    mutable FoldRules m_foldRules;
    mutable bool m_textsValid = false; // m_items and the sections' lists are kept
    mutable SessionItemMap m_items; // the items the texts are folded from
    mutable std::array<Section, 3> m_sections;
};
