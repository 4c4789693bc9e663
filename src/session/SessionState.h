#pragma once

#include "session/CompletionShellState.h"
#include "session/InlineEditState.h"
#include "session/ItemIDList.h"
#include "session/ListChange.h"
#include "session/SessionItem.h"
#include "session/SessionItemMap.h"
#include "session/SessionSelection.h"
#include "session/SessionSnapshot.h"
#include "session/TaskAnimationState.h"
#include "session/TaskSection.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <array>
#include <functional>
#include <optional>
#include <utility>

using TaskAnimationMap = QHash<QUuid, TaskAnimationState>;
using OptionalCompletionShell = std::optional<CompletionShellState>;
using OptionalUuid = std::optional<QUuid>;
using OptionalInlineEditState = std::optional<InlineEditState>;

// The session's published fields and the bookkeeping of their notifications. Every assignment
// records which field changed; the changes of one operation are handed to `deliver` together when
// its outermost Scope ends, so observers never see a half-applied command.
class SessionState {
public:
    // Published fields, as bits of the set of fields assigned during the current operation.
    enum Field : quint32 {
        ItemsByIDField = 1u << 0,
        WorkingItemIDsField = 1u << 1,
        InboxItemIDsField = 1u << 2,
        CompletedItemIDsField = 1u << 3,
        TaskAnimationsField = 1u << 4,
        CompletionShellField = 1u << 5,
        CompletionTransitionItemIDField = 1u << 6,
        SelectionRevealRevisionField = 1u << 7,
        InputDraftField = 1u << 8,
        IsCreatingNewItemField = 1u << 9,
        SelectionField = 1u << 10,
        InlineEditStateField = 1u << 11,
        EditingBlockedField = 1u << 12,
        FilterQueryField = 1u << 13,
    };

    // Groups the notifications of one operation.
    class Scope {
    public:
        explicit Scope(SessionState& state) : m_state(state) { ++m_state.m_scopeDepth; }
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        SessionState& m_state;
    };

    // Receives the fields assigned during an operation and how many committed changes it made.
    std::function<void(quint32 fields, int commits)> deliver;

    // --- Reading ---
    const SessionItemMap& items() const { return m_itemsByID; }
    const ItemIDList& itemIDs(TaskSection section) const { return m_itemIDs[size_t(section)]; }
    const TaskAnimationMap& taskAnimations() const { return m_taskAnimations; }
    const OptionalCompletionShell& completionShell() const { return m_completionShell; }
    const OptionalUuid& completionTransitionItemID() const { return m_completionTransitionItemID; }
    int selectionRevealRevision() const { return m_selectionRevealRevision; }
    const QString& inputDraft() const { return m_inputDraft; }
    bool isCreatingNewItem() const { return m_isCreatingNewItem; }
    const SessionSelection& selection() const { return m_selection; }
    const OptionalInlineEditState& inlineEditState() const { return m_inlineEditState; }
    bool editingBlocked() const { return m_editingBlocked; }
    const std::optional<SessionSelection>& selectionBeforeCreatingNewItem() const
    {
        return m_selectionBeforeCreatingNewItem;
    }

    const SessionItem* item(const QUuid& id) const { return m_itemsByID.pointerTo(id); }
    std::optional<TaskSection> sectionOf(const QUuid& id) const;
    // The section a task is listed in and its place there.
    std::optional<std::pair<TaskSection, qsizetype>> placeOf(const QUuid& id) const;
    bool isTransitionInProgress() const;
    bool isItemInTransition(const QUuid& id) const;
    bool isTextEditingActive() const { return m_isCreatingNewItem || m_inlineEditState.has_value(); }
    std::optional<QUuid> selectedTaskID() const { return m_selection.taskID(); }
    // The selected id when it has a section, with that section.
    std::optional<std::pair<QUuid, TaskSection>> selectedTaskWithSection() const;
    bool isSelectedItemAnimating() const;

    // The last change of the section's list when its maker said where it was (the edits below, or
    // a restore given its changes): readers holding the list before it skip comparing the two.
    const std::optional<KnownListChange>& knownChange(TaskSection section) const
    {
        return m_knownChanges[size_t(section)];
    }
    const std::array<std::optional<KnownListChange>, 3>& knownChanges() const { return m_knownChanges; }

    // --- Assigning; each one marks its field ---
    SessionItemMap& itemsForChange();
    // Any change to the section's list; readers compare the list to learn what it was.
    ItemIDList& itemIDsForChange(TaskSection section);
    // Changes whose place is known, told to readers through knownChange.
    void insertItemID(TaskSection section, qsizetype index, const QUuid& id);
    void removeItemIDAt(TaskSection section, qsizetype index);
    void moveItemID(TaskSection section, qsizetype from, qsizetype to);
    void setTaskAnimation(const QUuid& id, TaskAnimationState state);
    void removeTaskAnimation(const QUuid& id);
    void assignCompletionShell(const OptionalCompletionShell& shell);
    void assignCompletionTransitionItemID(const OptionalUuid& id);
    // Clears the animations, the shell and the transition id.
    void clearTransitions();
    void assignInputDraft(const QString& draft);
    void assignIsCreatingNewItem(bool creating);
    void assignSelection(const SessionSelection& selection);
    void assignInlineEditState(const OptionalInlineEditState& state);
    void assignEditingBlocked(bool blocked);
    void setSelectionBeforeCreatingNewItem(const std::optional<SessionSelection>& selection)
    {
        m_selectionBeforeCreatingNewItem = selection;
    }
    // Increments selectionRevealRevision.
    void reveal();
    // Records a committed change, reported when the operation ends.
    void commit() { ++m_pendingCommits; }
    void markAssigned(quint32 fields) { m_assignedFields |= fields; }

    // The undoable part, and putting it back (transitions stop; the selection is installed as stored).
    SessionSnapshot snapshot() const;
    // A restore may be told how each list changes (from the current one to the snapshot's).
    void restore(
        const SessionSnapshot& snapshot, const std::array<std::optional<ListChange>, 3>& changes = {});
    // Replaces the tasks and lists at once (loading).
    void replaceContent(const SessionItemMap& items, const ItemIDList& working, const ItemIDList& inbox,
        const ItemIDList& completed);

    // What the current operation has done so far, to undo the trace of a refused one.
    struct Marks {
        quint32 fields;
        int commits;
    };
    Marks marks() const { return {m_assignedFields, m_pendingCommits}; }
    void resetMarks(Marks marks)
    {
        m_assignedFields = marks.fields;
        m_pendingCommits = marks.commits;
    }

private:
    void deliverNow();
    template <typename Edit>
    void changeItemIDs(TaskSection section, const ListChange& change, Edit edit);

    SessionItemMap m_itemsByID;
    std::array<ItemIDList, 3> m_itemIDs;
    std::array<std::optional<KnownListChange>, 3> m_knownChanges;
    TaskAnimationMap m_taskAnimations;
    OptionalCompletionShell m_completionShell;
    OptionalUuid m_completionTransitionItemID;
    int m_selectionRevealRevision = 0;
    QString m_inputDraft;
    bool m_isCreatingNewItem = false;
    SessionSelection m_selection;
    OptionalInlineEditState m_inlineEditState;
    bool m_editingBlocked = false;
    std::optional<SessionSelection> m_selectionBeforeCreatingNewItem;
    // Where sectionOf last found a task: checked against the lists on use, and searched around
    // first, since the tasks asked about next (the selection's neighbours) are usually near it.
    struct FoundPlace {
        QUuid id;
        TaskSection section = TaskSection::working;
        qsizetype index = -1;
    };
    mutable FoundPlace m_lastFound;

    int m_scopeDepth = 0;
    quint32 m_assignedFields = 0;
    int m_pendingCommits = 0;
};
