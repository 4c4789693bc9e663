#include "session/UndoHistory.h"

void UndoHistory::record(const SessionSnapshot& before)
{
    m_undo.append(before);
    m_redo.clear();
}

std::optional<SessionSnapshot> UndoHistory::undo(const SessionSnapshot& current)
{
    return swap(m_undo, m_redo, current);
}

std::optional<SessionSnapshot> UndoHistory::redo(const SessionSnapshot& current)
{
    return swap(m_redo, m_undo, current);
}

std::optional<SessionSnapshot> UndoHistory::swap(Stack& from, Stack& to, const SessionSnapshot& current)
{
    if (from.isEmpty())
        return std::nullopt;
    std::optional<SessionSnapshot> step = from.takeLast();
    to.append(current);
    return step;
}

void UndoHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
}
