#include "session/SelectionRules.h"

#include <algorithm>
#include <array>

SessionSelection SelectionRules::defaultSelection() const
{
    if (m_state.isCreatingNewItem())
        return SessionSelection::input();
    for (TaskSection section : allTaskSections)
        if (const auto id = m_filter.firstVisibleID(m_state, section))
            return SessionSelection::task(*id);
    return SessionSelection::none();
}

SessionSelection SelectionRules::resolved(const std::optional<SessionSelection>& candidate) const
{
    if (candidate && isSelectable(*candidate))
        return *candidate;
    return defaultSelection();
}

bool SelectionRules::isSelectable(const SessionSelection& selection) const
{
    switch (selection.kind()) {
    case SessionSelection::Kind::none:
        return false;
    case SessionSelection::Kind::input:
        return m_state.isCreatingNewItem();
    case SessionSelection::Kind::task:
        break;
    }
    const QUuid id = *selection.taskID();
    const SessionItem* found = m_state.item(id);
    const std::optional<TaskSection> section = m_state.sectionOf(id);
    if (!found || !section)
        return false;
    const OptionalCompletionShell& shell = m_state.completionShell();
    if (shell && shell->itemID == id && shell->section == *section)
        return false;
    return m_filter.matches(*found);
}

namespace {

constexpr int inputPart = 1;

TaskSection sectionOfPart(int part)
{
    return part == 0 ? TaskSection::working : part == 2 ? TaskSection::inbox : TaskSection::completed;
}

int partOf(TaskSection section)
{
    return section == TaskSection::working ? 0 : section == TaskSection::inbox ? 2 : 3;
}

} // namespace

// The rules walk the session's lists from the selection outwards and look at the rows they pass,
// instead of deriving every row: a command costs the rows it looks at, not the length of the list.

qsizetype SelectionRules::partSize(int part) const
{
    if (part == inputPart)
        return m_state.isCreatingNewItem() ? 1 : 0;
    return m_state.itemIDs(sectionOfPart(part)).size();
}

bool SelectionRules::isTargetAt(Place place, std::optional<TaskSection> section) const
{
    if (place.part == inputPart)
        return !section && m_state.isCreatingNewItem();
    const TaskSection own = sectionOfPart(place.part);
    if (section && *section != own)
        return false;
    const QUuid& id = m_state.itemIDs(own).at(place.index);
    const OptionalCompletionShell& shell = m_state.completionShell();
    if (shell && shell->itemID == id && shell->section == own)
        return false;
    if (m_filter.foldedQuery().isEmpty())
        return m_state.item(id) != nullptr;
    // A row without an item has no text, so it never matches.
    return m_filter.matchingRows(m_state, own).contains(place.index);
}

SessionSelection SelectionRules::targetAt(Place place) const
{
    if (place.part == inputPart)
        return SessionSelection::input();
    return SessionSelection::task(m_state.itemIDs(sectionOfPart(place.part)).at(place.index));
}

std::optional<SelectionRules::Place> SelectionRules::nextTarget(
    Place from, int direction, std::optional<TaskSection> section) const
{
    int part = from.part;
    qsizetype index = from.index + direction;
    while (part >= 0 && part <= 3) {
        const bool partCounts = !section || (part != inputPart && sectionOfPart(part) == *section);
        const qsizetype size = partSize(part);
        if (partCounts) {
            for (; index >= 0 && index < size; index += direction)
                if (isTargetAt({part, index}, section))
                    return Place {part, index};
        }
        part += direction;
        if (part >= 0 && part <= 3)
            index = direction > 0 ? 0 : partSize(part) - 1;
    }
    return std::nullopt;
}

std::optional<SelectionRules::Place> SelectionRules::placeOf(const QUuid& id) const
{
    const std::optional<std::pair<TaskSection, qsizetype>> found = m_state.placeOf(id);
    if (!found)
        return std::nullopt;
    const Place place {partOf(found->first), found->second};
    return isTargetAt(place) ? std::optional<Place>(place) : std::nullopt;
}

std::optional<SessionSelection> SelectionRules::movedBy(int offset) const
{
    std::optional<Place> current;
    if (m_state.selection().kind() == SessionSelection::Kind::input)
        current = m_state.isCreatingNewItem() ? std::optional<Place>(Place {inputPart, 0}) : std::nullopt;
    else if (const std::optional<QUuid> id = m_state.selectedTaskID())
        current = placeOf(*id);
    if (!current) {
        // Not a selectable row: count from the first one.
        current = nextTarget({0, -1}, 1);
        if (!current)
            return std::nullopt;
    }
    const int direction = offset < 0 ? -1 : 1;
    for (int step = 0; step != offset; step += direction) {
        const std::optional<Place> next = nextTarget(*current, direction);
        if (!next)
            break;
        current = next;
    }
    return targetAt(*current);
}

// The removed row's place is taken by the next selectable row, or by the previous one when it was
// the last.
SessionSelection SelectionRules::afterRemoving(const QUuid& id) const
{
    const std::optional<Place> place = placeOf(id);
    if (!place || place->part == inputPart)
        return defaultSelection();
    if (const std::optional<Place> next = nextTarget(*place, 1))
        return targetAt(*next);
    if (const std::optional<Place> previous = nextTarget(*place, -1))
        return targetAt(*previous);
    return SessionSelection::none();
}

SessionSelection SelectionRules::afterLeavingSection(const QUuid& id, TaskSection section) const
{
    const std::optional<Place> place = placeOf(id);
    if (!place || sectionOfPart(place->part) != section || place->part == inputPart)
        return defaultSelection();
    if (const std::optional<Place> next = nextTarget(*place, 1, section))
        return targetAt(*next);
    if (const std::optional<Place> previous = nextTarget(*place, -1, section))
        return targetAt(*previous);
    return fallback(section);
}
SessionSelection SelectionRules::fallback(TaskSection section) const
{
    if (m_state.isCreatingNewItem())
        return SessionSelection::input();
    std::array<TaskSection, 2> order {TaskSection::inbox, TaskSection::completed};
    if (section == TaskSection::inbox)
        order = {TaskSection::working, TaskSection::completed};
    else if (section == TaskSection::completed)
        order = {TaskSection::working, TaskSection::inbox};
    for (TaskSection other : order)
        if (const auto id = m_filter.firstVisibleID(m_state, other))
            return SessionSelection::task(*id);
    return SessionSelection::none();
}
