#include "session/SessionState.h"

#include <algorithm>
#include <utility>

SessionState::Scope::~Scope()
{
    if (--m_state.m_scopeDepth == 0)
        m_state.deliverNow();
}

void SessionState::deliverNow()
{
    // Observers may start new operations from their slots; those deliver their own notifications.
    const quint32 fields = std::exchange(m_assignedFields, 0);
    const int commits = std::exchange(m_pendingCommits, 0);
    if (deliver && (fields || commits))
        deliver(fields, commits);
}

std::optional<TaskSection> SessionState::sectionOf(const QUuid& id) const
{
    const std::optional<std::pair<TaskSection, qsizetype>> place = placeOf(id);
    return place ? std::optional<TaskSection>(place->first) : std::nullopt;
}

std::optional<std::pair<TaskSection, qsizetype>> SessionState::placeOf(const QUuid& id) const
{
    constexpr qsizetype nearby = 64;
    const ItemIDList& near = itemIDs(m_lastFound.section);
    // Outwards from the last place: the task asked about is usually on it or beside it.
    for (qsizetype step = 0; step <= 2 * nearby; ++step) {
        const qsizetype i = m_lastFound.index + (step % 2 ? (step + 1) / 2 : -(step / 2));
        if (i >= 0 && i < near.size() && near.at(i) == id) {
            m_lastFound = {id, m_lastFound.section, i};
            return std::pair {m_lastFound.section, i};
        }
    }
    for (TaskSection section : allTaskSections) {
        const qsizetype index = itemIDs(section).indexOf(id);
        if (index >= 0) {
            m_lastFound = {id, section, index};
            return std::pair {section, index};
        }
    }
    return std::nullopt;
}

bool SessionState::isTransitionInProgress() const
{
    return !m_taskAnimations.isEmpty() || m_completionShell.has_value()
        || m_completionTransitionItemID.has_value();
}

bool SessionState::isItemInTransition(const QUuid& id) const
{
    return m_taskAnimations.contains(id) || (m_completionShell && m_completionShell->itemID == id)
        || m_completionTransitionItemID == id;
}

std::optional<std::pair<QUuid, TaskSection>> SessionState::selectedTaskWithSection() const
{
    const std::optional<QUuid> id = selectedTaskID();
    if (!id)
        return std::nullopt;
    const std::optional<TaskSection> section = sectionOf(*id);
    if (!section)
        return std::nullopt;
    return std::pair {*id, *section};
}

bool SessionState::isSelectedItemAnimating() const
{
    const std::optional<QUuid> id = selectedTaskID();
    return id && m_taskAnimations.contains(*id);
}

SessionItemMap& SessionState::itemsForChange()
{
    markAssigned(ItemsByIDField);
    return m_itemsByID;
}

ItemIDList& SessionState::itemIDsForChange(TaskSection section)
{
    static constexpr std::array<Field, 3> fields {
        WorkingItemIDsField, InboxItemIDsField, CompletedItemIDsField};
    markAssigned(fields[size_t(section)]);
    m_knownChanges[size_t(section)].reset();
    return m_itemIDs[size_t(section)];
}

template <typename Edit>
void SessionState::changeItemIDs(TaskSection section, const ListChange& change, Edit edit)
{
    ItemIDList& ids = itemIDsForChange(section);
    // A list no one else holds changes in place, and no reader can hold it to ask. A held one gets
    // a table of its own from the edit (sharing the chunks it did not touch), and its holders keep
    // the old table alive, which is what identifies it:
    // the list's storage changes only through these functions, which replace the known change.
    if (ids.isDetached()) {
        edit(ids);
        return;
    }
    const ItemIDList before = ids;
    edit(ids);
    m_knownChanges[size_t(section)] = KnownListChange::between(before, ids, change);
}

void SessionState::insertItemID(TaskSection section, qsizetype index, const QUuid& id)
{
    changeItemIDs(section, ListChange::insertion(index, 1), [&](ItemIDList& ids) { ids.insert(index, id); });
}

void SessionState::removeItemIDAt(TaskSection section, qsizetype index)
{
    changeItemIDs(section, ListChange::removal(index, 1), [&](ItemIDList& ids) { ids.remove(index); });
}

void SessionState::moveItemID(TaskSection section, qsizetype from, qsizetype to)
{
    if (from == to)
        return;
    changeItemIDs(section, ListChange::movement(from, to), [&](ItemIDList& ids) { ids.move(from, to); });
}

void SessionState::setTaskAnimation(const QUuid& id, TaskAnimationState state)
{
    m_taskAnimations.insert(id, state);
    markAssigned(TaskAnimationsField);
}

void SessionState::removeTaskAnimation(const QUuid& id)
{
    m_taskAnimations.remove(id);
    markAssigned(TaskAnimationsField);
}

void SessionState::assignCompletionShell(const OptionalCompletionShell& shell)
{
    m_completionShell = shell;
    markAssigned(CompletionShellField);
}

void SessionState::assignCompletionTransitionItemID(const OptionalUuid& id)
{
    m_completionTransitionItemID = id;
    markAssigned(CompletionTransitionItemIDField);
}

void SessionState::clearTransitions()
{
    m_taskAnimations.clear();
    markAssigned(TaskAnimationsField);
    assignCompletionShell(std::nullopt);
    assignCompletionTransitionItemID(std::nullopt);
}

void SessionState::assignInputDraft(const QString& draft)
{
    m_inputDraft = draft;
    markAssigned(InputDraftField);
}

void SessionState::assignIsCreatingNewItem(bool creating)
{
    m_isCreatingNewItem = creating;
    markAssigned(IsCreatingNewItemField);
}

void SessionState::assignSelection(const SessionSelection& selection)
{
    m_selection = selection;
    markAssigned(SelectionField);
}

void SessionState::assignInlineEditState(const OptionalInlineEditState& state)
{
    m_inlineEditState = state;
    markAssigned(InlineEditStateField);
}

void SessionState::assignEditingBlocked(bool blocked)
{
    m_editingBlocked = blocked;
    markAssigned(EditingBlockedField);
}

void SessionState::reveal()
{
    ++m_selectionRevealRevision;
    markAssigned(SelectionRevealRevisionField);
}

SessionSnapshot SessionState::snapshot() const
{
    return SessionSnapshot {m_itemsByID, itemIDs(TaskSection::working), itemIDs(TaskSection::inbox),
        itemIDs(TaskSection::completed), m_inputDraft, m_isCreatingNewItem, m_selection, m_inlineEditState};
}

void SessionState::replaceContent(const SessionItemMap& items, const ItemIDList& working,
    const ItemIDList& inbox, const ItemIDList& completed)
{
    itemsForChange() = items;
    itemIDsForChange(TaskSection::working) = working;
    itemIDsForChange(TaskSection::inbox) = inbox;
    itemIDsForChange(TaskSection::completed) = completed;
}

void SessionState::restore(
    const SessionSnapshot& snapshot, const std::array<std::optional<ListChange>, 3>& changes)
{
    const std::array<ItemIDList, 3> before = m_itemIDs;
    replaceContent(
        snapshot.itemsByID, snapshot.workingItemIDs, snapshot.inboxItemIDs, snapshot.completedItemIDs);
    for (std::size_t section = 0; section < 3; ++section) {
        if (changes[section] && !before[section].isSharedWith(m_itemIDs[section]))
            m_knownChanges[section]
                = KnownListChange::between(before[section], m_itemIDs[section], *changes[section]);
    }
    clearTransitions();
    assignInputDraft(snapshot.inputDraft);
    assignIsCreatingNewItem(snapshot.isCreatingNewItem);
    assignSelection(snapshot.selection);
    assignInlineEditState(snapshot.inlineEditState);
    m_selectionBeforeCreatingNewItem.reset();
}
