#pragma once

#include "session/RenderedRow.h"
#include "session/SessionFilter.h"
#include "session/SessionState.h"

#include <QList>
#include <QUuid>

// The rows the panel draws, derived from the session's state and filter: each section's visible
// tasks (a completion shell in place of its leaving task), a spacer for an empty section, the
// separators and the new-item input row at the top of the inbox part.
class SessionRows {
public:
    // Height of the row that stands for an empty (or wholly filtered) section, in points.
    static constexpr double emptySectionSpacerHeight = 12;

    SessionRows(const SessionState& state, const SessionFilter& filter) : m_state(state), m_filter(filter) { }

    QList<RenderedRow> rendered() const;

private:
    // Calls visit(kind, section, id, item, shell) for each row in display order; item is set for task
    // rows, shell for completion-shell rows.
    template <typename Visit>
    void walk(Visit&& visit) const;

    const SessionState& m_state;
    const SessionFilter& m_filter;
};
