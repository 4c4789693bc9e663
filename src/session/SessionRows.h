#pragma once

#include "session/CompletionShellState.h"
#include "session/RenderedRow.h"
#include "session/RowSplice.h"
#include "session/SessionFilter.h"
#include "session/SessionState.h"

#include <QList>
#include <QUuid>

#include <array>
#include <optional>
#include <vector>

// The rows the panel draws, derived from the session's state and filter: each section's visible
// tasks (a completion shell in place of its leaving task), a spacer for an empty section, the
// separators and the new-item input row at the top of the inbox part.
//
// A reader that keeps its own copy of the rows asks for what changed since it last looked
// (update), and gets splices that cost what changed: rows are first derived as small keys (kind,
// section, id, place in the list) without text, and only the rows that differ from those the
// reader saw are built.
class SessionRows {
public:
    // Height of the row that stands for an empty (or wholly filtered) section, in points.
    static constexpr double emptySectionSpacerHeight = 12;

    // What a reader saw when it last brought its rows up to date: the keys of its rows and the
    // containers they came from (held, so that sharing tells they are unchanged).
    class Seen {
    public:
        Seen() = default;
        // The number of rows the reader holds.
        qsizetype rowCount() const;

    private:
        friend class SessionRows;
        struct Key {
            QUuid id; // task and shell rows
            qint32 index = 0; // place in the section's list; structural rows sort around the tasks
            RenderedRow::Kind kind = RenderedRow::Kind::spacer;
            bool sameRow(const Key& other) const { return kind == other.kind && id == other.id; }
        };
        // Each section's part of the rows: its tasks and spacer, with the working part ending in its
        // separator, the inbox part starting with the input row and ending in its separator.
        std::array<std::vector<Key>, 3> parts;
        // A whole part (unfiltered, without a shell) holds every task of its list in order: its keys
        // follow from ids and creating, so they are not kept (a long list's part would be the
        // largest thing here, and moving it the costliest part of a change at the top).
        std::array<bool, 3> whole {};
        std::array<QList<QUuid>, 3> ids;
        SessionItemMap items;
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

private:
    using Key = Seen::Key;

    // The keys of one section's part of the rows.
    std::vector<Key> partKeys(TaskSection section, const QString& folded) const;
    // The keys of a whole part of the list ids.
    static std::vector<Key> wholeKeys(TaskSection section, const QList<QUuid>& ids, bool input);
    // The places in a section's list whose tasks pass the filter: the filter's one step.
    std::vector<qint32> visibleIndices(TaskSection section) const;
    RenderedRow row(TaskSection section, const Key& key) const;

    const SessionState& m_state;
    const SessionFilter& m_filter;
    mutable Seen m_renderedSeen;
    mutable QList<RenderedRow> m_rendered;
};
