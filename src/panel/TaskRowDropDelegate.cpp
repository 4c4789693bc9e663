#include "panel/TaskRowDropDelegate.h"

#include "session/SessionController.h"

TaskRowDropDelegate::TaskRowDropDelegate(const QUuid& targetID, TaskSection targetSection, double rowHeight,
    DraggedTaskBinding draggedTaskID, SessionController* session)
    : m_targetID(targetID),
      m_targetSection(targetSection),
      m_rowHeight(rowHeight),
      m_draggedTaskID(std::move(draggedTaskID)),
      m_session(session)
{ }

int TaskRowDropDelegate::destination(int target, int dragged, bool after)
{
    const int slot = target + (after ? 1 : 0);
    return slot - (dragged < slot ? 1 : 0);
}

bool TaskRowDropDelegate::validateDrop() const
{
    const std::optional<QUuid> dragged = m_draggedTaskID.get ? m_draggedTaskID.get() : std::nullopt;
    return dragged && m_session && m_session->canReorderItem(*dragged, m_targetSection);
}

void TaskRowDropDelegate::dropEntered(double y)
{
    reorder(y);
}

void TaskRowDropDelegate::dropUpdated(double y)
{
    reorder(y);
}

void TaskRowDropDelegate::reorder(double y)
{
    const std::optional<QUuid> dragged = m_draggedTaskID.get ? m_draggedTaskID.get() : std::nullopt;
    if (!dragged || *dragged == m_targetID || !m_session)
        return;
    if (!m_session->canReorderItem(*dragged, m_targetSection))
        return;
    const ItemIDList& ids = m_session->itemIDs(m_targetSection);
    const int target = int(ids.indexOf(m_targetID));
    const int from = int(ids.indexOf(*dragged));
    if (target < 0 || from < 0)
        return;
    const int to = destination(target, from, y > m_rowHeight * 0.5);
    // moveItem does nothing when the task is already there, so staying over one half of a row
    // records nothing.
    if (to == from)
        return;
    QPointer<SessionController> session = m_session;
    const QUuid id = *dragged;
    const TaskSection section = m_targetSection;
    const auto move = [session, id, section, to] {
        if (session)
            session->moveItem(id, section, to, true);
    };
    if (animateMove)
        animateMove(move);
    else
        move();
}

bool TaskRowDropDelegate::performDrop()
{
    const std::optional<QUuid> dragged = m_draggedTaskID.get ? m_draggedTaskID.get() : std::nullopt;
    const bool accepted = dragged && *dragged != m_targetID && m_session
        && m_session->canReorderItem(*dragged, m_targetSection);
    if (m_draggedTaskID.set)
        m_draggedTaskID.set(std::nullopt);
    return accepted;
}
