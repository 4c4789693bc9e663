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
    // A place in the order of selectable rows: a section's list at an index, or the input row
    // (between the working list and the inbox).
    struct Place {
        int part; // 0 working, 1 input row, 2 inbox, 3 completed
        qsizetype index;
    };
    // Whether the row at the place is selectable: a visible task row (not a completion shell), or
    // the open input row. With `section` set, only task rows of that section count.
    bool isTargetAt(Place place, std::optional<TaskSection> section = std::nullopt) const;
    SessionSelection targetAt(Place place) const;
    // The first place strictly after (or before) `from` that is a target, looking only at the parts
    // of `section` when it is set.
    std::optional<Place> nextTarget(
        Place from, int direction, std::optional<TaskSection> section = std::nullopt) const;
    // Where the task's row is, when it has one that is a target.
    std::optional<Place> placeOf(const QUuid& id) const;
    qsizetype partSize(int part) const;

    const SessionState& m_state;
    const SessionFilter& m_filter;
};
