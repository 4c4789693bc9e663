#pragma once

#include "session/RenderedRow.h"
#include "session/SessionFilter.h"
#include "session/SessionState.h"

#include <QList>
#include <QUuid>

#include <array>

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
    // Each id's item in one section's list, in list order.
    const QList<const SessionItem*>& itemsInOrder(TaskSection section) const;

    const SessionState& m_state;
    const SessionFilter& m_filter;
    // The items of each section in list order, valid while the list and the item map are the very
    // containers they were built from (the copies keep those alive): deriving the rows again after
    // a change that left them alone looks nothing up.
    struct SectionItems {
        QList<QUuid> ids;
        SessionItemMap items;
        QList<const SessionItem*> found;
        bool valid = false;
    };
    mutable std::array<SectionItems, 3> m_sectionItems;
};
