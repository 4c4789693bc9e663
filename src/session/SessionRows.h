#pragma once

#include "session/CompletionShellState.h"
#include "session/FilterMatches.h"
#include "session/RenderedRow.h"
#include "session/RowSplice.h"
#include "session/SessionFilter.h"
#include "session/SessionState.h"

#include <QList>
#include <QUuid>

#include <array>
#include <atomic>
#include <memory>
#include <optional>

// The rows the panel draws, derived from the session's state and filter: each section's visible
// tasks (a completion shell in place of its leaving task), a spacer for an empty section, the
// separators and the new-item input row at the top of the inbox part.
//
// A reader that keeps its own copy of the rows asks for what changed since it last looked
// (update), and gets splices that cost what changed: what a reader saw of a section is its list
// and which of its tasks the filter showed (one bit each), so a keystroke compares bits, a command
// compares the lists where it changed them, and only the rows that differ are built. A task whose
// text changed has its row replaced, so a reader learns of it from the splices. A row is made
// without reading its task (RenderedRow), and when a search changes most of what a section shows,
// the section's rows are made afresh in one splice rather than one splice per row that stays.
class SessionRows {
public:
    // Height of the row that stands for an empty (or wholly filtered) section, in points.
    static constexpr double emptySectionSpacerHeight = 12;

    // What a reader saw when it last brought its rows up to date: each section's list and the
    // tasks of it shown, and the containers they came from (held, so that sharing tells they are
    // unchanged).
    class Seen {
    public:
        Seen() = default;
        // The number of rows the reader holds.
        qsizetype rowCount() const;
        // The tasks the rows were derived from: where the reader's task rows find their text
        // (RenderedRow::text). Held, so they stay as the rows saw them until the next update.
        const SessionItemMap& items() const { return m_items; }

    private:
        friend class SessionRows;
        std::array<ItemIDList, 3> ids;
        // The tasks of each list that were shown, by index: all of them when unset (no filter).
        std::array<std::optional<FilterMatches>, 3> shown;
        std::array<qsizetype, 3> shownCounts {};
        SessionItemMap m_items;
        std::optional<CompletionShellState> shell;
        QString draft;
        bool creating = false;
        QString foldedQuery;
        bool valid = false;
    };

    SessionRows(const SessionState& state, const SessionFilter& filter) : m_state(state), m_filter(filter) { }

    // Every row, top to bottom: a list kept up to date by splices, so that it too costs what
    // changed since it was last asked for.
    QList<RenderedRow> rendered() const;
    // The splices that turn the rows seen last into the current ones, in order; brings seen up to
    // date. The first update of a Seen inserts every row.
    QList<RowSplice> update(Seen& seen) const;

    // Every row of the given lists with nothing filtered, no input row and no completion shell: what
    // an update makes of a list just loaded. Reads nothing else, so any thread may make them. Once
    // stop is set, from any thread, it gives up within a few thousand rows and returns none.
    static QList<RenderedRow> unfilteredRows(const ItemIDList& working, const ItemIDList& inbox,
        const ItemIDList& completed, const std::atomic<bool>* stop = nullptr);
    // Rows made ahead (unfilteredRows) for the lists the state holds now: an update that makes every
    // row of them (a list loaded or reloaded, shown unfiltered, or its search cleared) hands these
    // over instead, shared, not copied. They are kept until the lists are replaced (see m_unfiltered).
    // The outline made with them (if any) goes with them in their splice.
    void offerRows(const QList<RenderedRow>& rows, const std::array<ItemIDList, 3>& ids,
        std::shared_ptr<const RowOutline> outline = nullptr);

private:
    struct UnfilteredRows {
        QList<RenderedRow> rows;
        std::array<ItemIDList, 3> ids;
        std::shared_ptr<const RowOutline> outline;
    };
    // The unfiltered rows kept, when they are every row the state's lists now make with nothing
    // filtered, no input row and no shell.
    std::optional<UnfilteredRows> keptUnfilteredRows(bool filtering, bool creating, bool shell) const;
    // Whether the kept unfiltered rows are those of the lists the state holds now.
    bool keptRowsFit() const;
    // The rows of a search cleared that brings most rows back, as one list to replace every row a
    // reader held, so that it takes them whole as it takes a list just loaded: the kept ones, with
    // `changes` to splice into them when the lists changed a little since they were made, else made
    // afresh and kept. None when few rows come back: those are spliced in.
    std::optional<UnfilteredRows> rowsOfClearedSearch(qsizetype shownBefore, QList<RowSplice>& changes) const;
    // The splices that bring the kept rows up to date with the lists, when they are few.
    std::optional<QList<RowSplice>> changesSinceKept() const;

    const SessionState& m_state;
    const SessionFilter& m_filter;
    mutable Seen m_renderedSeen;
    mutable QList<RenderedRow> m_rendered;
    // Every row of the lists with nothing filtered, kept once made (or offered with a load): the
    // rows a reader took whole, shared with it, so they cost nothing more than the reader's own.
    // Clearing a search gives them back at once, followed by the splices of the lists' changes since
    // when there are few; made afresh when there are many. Let go of when the lists are replaced.
    mutable std::optional<UnfilteredRows> m_unfiltered;
};
