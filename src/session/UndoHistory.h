#pragma once

#include "session/ItemIDList.h"
#include "session/ListChange.h"
#include "session/SessionSnapshot.h"

#include <QList>
#include <QUuid>

#include <array>
#include <optional>

// The undo and redo stacks of a session, oldest step first. Unbounded; emptied only by loading.
//
// A step restores exactly the state it was taken from, but keeps only what a command changed: the
// item map shares all but the changed path of its tree with the live map, and each section list is
// kept as how it differs from the list of the step above it on its stack (the top step's from the
// lists last recorded or restored, which the history holds): one id for a new or deleted task,
// none for a move, whatever the length of the list.
class UndoHistory {
public:
    // How a step's list is made from the list it is kept against: `change` replaces a stretch of
    // that list with `ids` (none for a move, which takes its ids from the stretch itself).
    struct ListDelta {
        ListChange change;
        QList<QUuid> ids;

        bool isNone() const { return change.removed == 0 && change.inserted == 0; }
    };
    struct Step {
        SessionItemMap itemsByID;
        std::array<ListDelta, 3> sections;
        QString inputDraft;
        bool isCreatingNewItem = false;
        SessionSelection selection;
        std::optional<InlineEditState> inlineEditState;
    };
    using Stack = QList<Step>;

    // How the given state's lists last changed, where known (SessionState::knownChanges): saves
    // comparing them with the lists seen before.
    using KnownChanges = std::array<std::optional<KnownListChange>, 3>;

    // Records the state before a committing command and forgets what could be redone.
    void record(const SessionSnapshot& before, const KnownChanges& known = {});
    // The state to go back to, with `current` kept for redoing; nothing when there is no step.
    std::optional<SessionSnapshot> undo(const SessionSnapshot& current, const KnownChanges& known = {});
    // The state to go forward to, with `current` kept for undoing; nothing when there is no step.
    std::optional<SessionSnapshot> redo(const SessionSnapshot& current, const KnownChanges& known = {});
    // How each list of the state the last undo or redo returned differs from the one it was given,
    // for SessionState::restore.
    const std::array<std::optional<ListChange>, 3>& restoredChanges() const { return m_restoredChanges; }
    void clear();

    const Stack& undoStack() const { return m_undo; }
    const Stack& redoStack() const { return m_redo; }

private:
    using Lists = std::array<ItemIDList, 3>;
    std::optional<SessionSnapshot> swap(Stack& from, std::optional<Lists>& fromTop, Stack& to,
        std::optional<Lists>& toTop, const SessionSnapshot& current, const KnownChanges& known);
    // Keeps the top steps against `lists` instead of the lists last seen.
    void rebase(const Lists& lists, const KnownChanges& known);

    Stack m_undo;
    Stack m_redo;
    // The lists the top step of each stack is kept against: those last recorded or restored. While
    // the live lists have not changed since, these are the very same lists and cost nothing.
    Lists m_base;
    // The whole lists of each stack's top step when at hand (the state an undo or redo just left),
    // so that going back and forth a step takes them as they were rather than making them again.
    std::optional<Lists> m_undoTop;
    std::optional<Lists> m_redoTop;
    std::array<std::optional<ListChange>, 3> m_restoredChanges;
};
