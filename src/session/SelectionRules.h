#pragma once

#include "session/SessionFilter.h"
#include "session/SessionSelection.h"
#include "session/SessionState.h"

#include <QUuid>

#include <optional>

// Where the selection may be and where it goes when its task leaves: the selectable rows are the
// visible tasks and the input row, in the order the panel draws them.
class SelectionRules {
public:
    SelectionRules(const SessionState& state, const SessionFilter& filter) : m_state(state), m_filter(filter)
    { }

    // The input row while it is open, else the first visible task of the working list, the inbox or
    // the completed list, else none.
    SessionSelection defaultSelection() const;
    // The candidate when it is a selectable row, else the default selection.
    SessionSelection resolved(const std::optional<SessionSelection>& candidate) const;
    bool isSelectable(const SessionSelection& selection) const;
    // The selectable row `offset` rows away from the current selection (from the first row when the
    // selection is not one), clamped to the ends; nothing when no row is selectable.
    std::optional<SessionSelection> movedBy(int offset) const;
    // The selection once the task's row is gone: the next selectable row, else the previous one.
    SessionSelection afterRemoving(const QUuid& id) const;
    // The selection once the task leaves its section: the next visible task of the section, else the
    // previous one, else the fallback.
    SessionSelection afterLeavingSection(const QUuid& id, TaskSection section) const;
    // The input row while it is open, else the first visible task of the other sections in the order
    // the section's neighbours are reached, else none.
    SessionSelection fallback(TaskSection section) const;

private:
    const SessionState& m_state;
    const SessionFilter& m_filter;
};
