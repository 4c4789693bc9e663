#pragma once

#include "session/ListChange.h"
#include "session/SessionSnapshot.h"

#include <QExplicitlySharedDataPointer>
#include <QHash>
#include <QList>
#include <QSharedData>
#include <QUuid>

#include <array>
#include <optional>

// The undo and redo stacks of a session, oldest step first. Unbounded; emptied only by loading.
//
// A step is a whole snapshot, so that undoing restores exactly what was recorded, but it costs about
// what the command changed: the item map shares all but the changed path of its tree with the live
// map, and each section list is kept as chunks shared with the step before. Chunks end after ids
// picked by their own bits, so inserting or removing an id changes only the chunk around it and the
// chunks after it stay the same.
class UndoHistory {
public:
    // A section list in shared pieces.
    struct Chunk : QSharedData {
        QList<QUuid> ids;
    };
    using ChunkList = QList<QExplicitlySharedDataPointer<const Chunk>>;
    struct Step {
        SessionItemMap itemsByID;
        std::array<ChunkList, 3> sections;
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
    // for SessionState::restore; found from the pieces the two have in common.
    const std::array<std::optional<ListChange>, 3>& restoredChanges() const { return m_restoredChanges; }
    void clear();

    const Stack& undoStack() const { return m_undo; }
    const Stack& redoStack() const { return m_redo; }

private:
    std::optional<SessionSnapshot> swap(
        Stack& from, Stack& to, const SessionSnapshot& current, const KnownChanges& known);
    Step stepOf(const SessionSnapshot& snapshot, const KnownChanges& known);
    SessionSnapshot snapshotOf(const Step& step);
    // The section's list in chunks, sharing every chunk it has in common with the last list seen;
    // costs about what differs from that list, apart from one comparison of the two as memory
    // unless the change from it is known.
    ChunkList chunked(
        std::size_t section, const QList<QUuid>& ids, const std::optional<KnownListChange>& known);
    // The section's list of a step: the last list seen itself when the step has the same chunks.
    QList<QUuid> restored(std::size_t section, const ChunkList& chunks);
    QList<QUuid> flattened(std::size_t section, const ChunkList& chunks);
    void remember(std::size_t section, const QList<QUuid>& ids, const ChunkList& chunks);

    Stack m_undo;
    Stack m_redo;

    // The last list of each section that was chunked or restored, with its chunks by first id (made
    // when first needed: a change at a known place rarely needs it).
    struct LastSection {
        QList<QUuid> ids;
        ChunkList chunks;
        QHash<QUuid, QExplicitlySharedDataPointer<const Chunk>> byFirstID;
        bool indexed = false;
    };
    std::array<LastSection, 3> m_last;
    // The list of each section seen before the last one while undoing and redoing, kept so that going
    // back and forth a step does not rebuild it: one list's worth of memory per section.
    std::array<LastSection, 3> m_previous;
    std::array<std::optional<ListChange>, 3> m_restoredChanges;
};
