#include "session/SelectionRules.h"

#include "session/SessionRows.h"

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

SessionSelection targetOf(const SessionRows::Stop& row)
{
    return row.kind == RenderedRow::Kind::input ? SessionSelection::input()
                                                : SessionSelection::task(row.itemID);
}

bool isTarget(const SessionRows::Stop& row)
{
    return row.kind == RenderedRow::Kind::task || row.kind == RenderedRow::Kind::input;
}

} // namespace

std::optional<SessionSelection> SelectionRules::movedBy(int offset) const
{
    QList<SessionSelection> targets;
    for (const SessionRows::Stop& row : SessionRows(m_state, m_filter).stops())
        if (isTarget(row))
            targets.append(targetOf(row));
    if (targets.isEmpty())
        return std::nullopt;
    const qsizetype current = std::max<qsizetype>(0, targets.indexOf(m_state.selection()));
    return targets.at(std::clamp<qsizetype>(current + offset, 0, targets.size() - 1));
}

// The removed row's place is taken by the next selectable row, or by the previous one when it was
// the last. The place is counted in selectable targets: counting separators and spacers too would
// skip the next task whenever such rows precede the removed one.
SessionSelection SelectionRules::afterRemoving(const QUuid& id) const
{
    qsizetype place = -1;
    QList<SessionSelection> targets;
    for (const SessionRows::Stop& row : SessionRows(m_state, m_filter).stops()) {
        if (place < 0 && row.kind == RenderedRow::Kind::task && row.itemID == id) {
            place = targets.size();
            continue;
        }
        if (isTarget(row))
            targets.append(targetOf(row));
    }
    if (place < 0)
        return defaultSelection();
    if (targets.isEmpty())
        return m_state.isCreatingNewItem() ? SessionSelection::input() : SessionSelection::none();
    return targets.at(std::min(place, targets.size() - 1));
}

SessionSelection SelectionRules::afterLeavingSection(const QUuid& id, TaskSection section) const
{
    QList<QUuid> sectionIDs;
    qsizetype index = -1;
    for (const SessionRows::Stop& row : SessionRows(m_state, m_filter).stops()) {
        if (row.kind != RenderedRow::Kind::task || row.section != section)
            continue;
        if (index < 0 && row.itemID == id)
            index = sectionIDs.size();
        else
            sectionIDs.append(row.itemID);
    }
    if (index < 0)
        return defaultSelection();
    if (sectionIDs.isEmpty())
        return fallback(section);
    return SessionSelection::task(sectionIDs.at(std::min(index, sectionIDs.size() - 1)));
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
