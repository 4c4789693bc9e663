#pragma once

#include "session/SessionSnapshot.h"

#include <QList>

#include <optional>

// The undo and redo stacks of a session, oldest step first. Unbounded; emptied only by loading.
class UndoHistory {
public:
    using Stack = QList<SessionSnapshot>;

    // Records the state before a committing command and forgets what could be redone.
    void record(const SessionSnapshot& before);
    // The state to go back to, with `current` kept for redoing; nothing when there is no step.
    std::optional<SessionSnapshot> undo(const SessionSnapshot& current);
    // The state to go forward to, with `current` kept for undoing; nothing when there is no step.
    std::optional<SessionSnapshot> redo(const SessionSnapshot& current);
    void clear();

    const Stack& undoStack() const { return m_undo; }
    const Stack& redoStack() const { return m_redo; }

private:
    static std::optional<SessionSnapshot> swap(Stack& from, Stack& to, const SessionSnapshot& current);

    Stack m_undo;
    Stack m_redo;
};
