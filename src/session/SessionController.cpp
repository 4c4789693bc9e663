#include "session/SessionController.h"

#include "session/ItemIdGenerator.h"

#include <utility>

SessionController::SessionController(Scheduler* scheduler, QObject* parent)
    : QObject(parent), m_scheduler(scheduler)
{ }

SessionController::~SessionController()
{
    // A job still waiting must not outlive the session's wish to run it; the scheduler also drops
    // jobs whose context (this object) is gone.
    cancelPendingTodayToggle();
    if (m_pendingLanding)
        m_pendingLanding->job.cancel();
}

// --- Notification ---

SessionController::ChangeScope::ChangeScope(SessionController* session) : m_session(session)
{
    ++m_session->m_scopeDepth;
}

SessionController::ChangeScope::~ChangeScope()
{
    if (--m_session->m_scopeDepth == 0)
        m_session->deliverNotifications();
}

void SessionController::markAssigned(quint32 fields)
{
    // Always inside a ChangeScope: every public entry point opens one.
    m_assignedFields |= fields;
}

void SessionController::deliverNotifications()
{
    // Observers may start new operations from their slots; those deliver their own notifications.
    const quint32 fields = std::exchange(m_assignedFields, 0);
    int commits = std::exchange(m_pendingCommits, 0);
    if (fields & ItemsByIDField)
        emit itemsByIDChanged();
    if (fields & WorkingItemIDsField)
        emit workingItemIDsChanged();
    if (fields & InboxItemIDsField)
        emit inboxItemIDsChanged();
    if (fields & CompletedItemIDsField)
        emit completedItemIDsChanged();
    if (fields & TaskAnimationsField)
        emit taskAnimationsChanged();
    if (fields & CompletionShellField)
        emit completionShellChanged();
    if (fields & CompletionTransitionItemIDField)
        emit completionTransitionItemIDChanged();
    if (fields & SelectionRevealRevisionField)
        emit selectionRevealRevisionChanged();
    if (fields & InputDraftField)
        emit inputDraftChanged();
    if (fields & IsCreatingNewItemField)
        emit isCreatingNewItemChanged();
    if (fields & SelectionField)
        emit selectionChanged();
    if (fields & InlineEditStateField)
        emit inlineEditStateChanged();
    if (fields & EditingBlockedField)
        emit editingBlockedChanged();
    if (fields & FilterQueryField)
        emit filterQueryChanged();
    if (fields)
        emit changed();
    for (; commits > 0; --commits)
        if (onCommittedChange)
            onCommittedChange();
}

SessionItemMap& SessionController::itemsByIDForChange()
{
    markAssigned(ItemsByIDField);
    return m_itemsByID;
}

QList<QUuid>& SessionController::itemIDsForChange(TaskSection section)
{
    switch (section) {
    case TaskSection::working:
        markAssigned(WorkingItemIDsField);
        return m_workingItemIDs;
    case TaskSection::inbox:
        markAssigned(InboxItemIDsField);
        return m_inboxItemIDs;
    case TaskSection::completed:
        break;
    }
    markAssigned(CompletedItemIDsField);
    return m_completedItemIDs;
}

void SessionController::assignItemsByID(const SessionItemMap& items)
{
    m_itemsByID = items;
    markAssigned(ItemsByIDField);
}

void SessionController::assignItemIDs(TaskSection section, const QList<QUuid>& ids)
{
    itemIDsForChange(section) = ids;
}

void SessionController::assignTaskAnimations(const TaskAnimationMap& animations)
{
    m_taskAnimations = animations;
    markAssigned(TaskAnimationsField);
}

void SessionController::setTaskAnimation(const QUuid& id, TaskAnimationState state)
{
    m_taskAnimations.insert(id, state);
    markAssigned(TaskAnimationsField);
}

void SessionController::removeTaskAnimation(const QUuid& id)
{
    m_taskAnimations.remove(id);
    markAssigned(TaskAnimationsField);
}

void SessionController::assignCompletionShell(const OptionalCompletionShell& shell)
{
    m_completionShell = shell;
    markAssigned(CompletionShellField);
}

void SessionController::assignCompletionTransitionItemID(const OptionalUuid& id)
{
    m_completionTransitionItemID = id;
    markAssigned(CompletionTransitionItemIDField);
}

void SessionController::assignInputDraft(const QString& draft)
{
    m_inputDraft = draft;
    markAssigned(InputDraftField);
}

void SessionController::assignIsCreatingNewItem(bool creating)
{
    m_isCreatingNewItem = creating;
    markAssigned(IsCreatingNewItemField);
}

void SessionController::assignSelection(const SessionSelection& selection)
{
    m_selection = selection;
    markAssigned(SelectionField);
}

void SessionController::assignInlineEditState(const OptionalInlineEditState& state)
{
    m_inlineEditState = state;
    markAssigned(InlineEditStateField);
}

void SessionController::assignFilterQuery(const QString& query)
{
    m_filterQuery = query;
    markAssigned(FilterQueryField);
}

void SessionController::setInputDraft(const QString& draft)
{
    ChangeScope scope(this);
    assignInputDraft(draft);
}

void SessionController::setSelection(const SessionSelection& selection)
{
    ChangeScope scope(this);
    assignSelection(selection);
}

void SessionController::setEditingBlocked(bool blocked)
{
    ChangeScope scope(this);
    m_editingBlocked = blocked;
    markAssigned(EditingBlockedField);
}

void SessionController::reveal()
{
    ++m_selectionRevealRevision;
    markAssigned(SelectionRevealRevisionField);
}

void SessionController::commit()
{
    ++m_pendingCommits;
}

void SessionController::cancelPendingTodayToggle()
{
    if (m_pendingTodayToggleCommand)
        m_pendingTodayToggleCommand->task.cancel();
    m_pendingTodayToggleCommand.reset();
}

// --- Queries ---

const SessionItem* SessionController::item(const QUuid& id) const
{
    return m_itemsByID.pointerTo(id);
}

std::optional<TaskSection> SessionController::sectionOf(const QUuid& id) const
{
    for (TaskSection section : allTaskSections)
        if (itemIDs(section).contains(id))
            return section;
    return std::nullopt;
}

const QList<QUuid>& SessionController::itemIDs(TaskSection section) const
{
    switch (section) {
    case TaskSection::working:
        return m_workingItemIDs;
    case TaskSection::inbox:
        return m_inboxItemIDs;
    case TaskSection::completed:
        break;
    }
    return m_completedItemIDs;
}

bool SessionController::isTransitionInProgress() const
{
    return !m_taskAnimations.isEmpty() || m_completionShell.has_value()
        || m_completionTransitionItemID.has_value();
}

bool SessionController::isItemInTransition(const QUuid& id) const
{
    return m_taskAnimations.contains(id) || (m_completionShell && m_completionShell->itemID == id)
        || m_completionTransitionItemID == id;
}

bool SessionController::isTextEditingActive() const
{
    return m_isCreatingNewItem || m_inlineEditState.has_value();
}

SessionSelection SessionController::defaultSelection() const
{
    if (m_isCreatingNewItem)
        return SessionSelection::input();
    for (TaskSection section : allTaskSections)
        if (const auto id = firstVisibleID(section))
            return SessionSelection::task(*id);
    return SessionSelection::none();
}

// --- Loading and exporting ---

void SessionController::loadDocument(const VeskDocument& document)
{
    ChangeScope scope(this);
    cancelPendingTodayToggle();

    const qsizetype count
        = document.workingItems.size() + document.inboxItems.size() + document.completedItems.size();
    SessionItemMap items;
    items.reserve(count);
    ItemIdGenerator newIDs;
    const auto makeItems = [&](const QList<VeskTask>& tasks) {
        QList<QUuid> ids;
        ids.reserve(tasks.size());
        for (const VeskTask& task : tasks) {
            const QUuid id = newIDs.next();
            items.insert(id, SessionItem {id, task.title, task.note});
            ids.append(id);
        }
        return ids;
    };
    const QList<QUuid> working = makeItems(document.workingItems);
    const QList<QUuid> inbox = makeItems(document.inboxItems);
    const QList<QUuid> completed = makeItems(document.completedItems);

    assignItemsByID(items);
    assignItemIDs(TaskSection::working, working);
    assignItemIDs(TaskSection::inbox, inbox);
    assignItemIDs(TaskSection::completed, completed);

    assignInputDraft(QString());
    assignIsCreatingNewItem(false);
    assignSelection(defaultSelection());
    assignInlineEditState(std::nullopt);
    assignTaskAnimations({});
    assignCompletionShell(std::nullopt);
    assignCompletionTransitionItemID(std::nullopt);

    m_undoStack.clear();
    m_redoStack.clear();
    m_selectionBeforeCreatingNewItem.reset();
}

VeskDocument SessionController::committedDocument() const
{
    const auto tasks = [this](const QList<QUuid>& ids) {
        QList<VeskTask> result;
        result.reserve(ids.size());
        for (const QUuid& id : ids)
            if (const SessionItem* it = item(id))
                result.append(VeskTask {it->title, it->note});
        return result;
    };
    return VeskDocument {tasks(m_workingItemIDs), tasks(m_inboxItemIDs), tasks(m_completedItemIDs)};
}

VeskDocument SessionController::documentIncludingEdits() const
{
    VeskDocument document = committedDocument();

    if (m_inlineEditState) {
        const std::optional<ParsedTaskText> parsed = parseTaskText(m_inlineEditState->draftText);
        const std::optional<TaskSection> section = sectionOf(m_inlineEditState->itemID);
        if (parsed && section) {
            // Count only listed ids that have an item, as the export does, so the index matches
            // the exported list.
            qsizetype index = 0;
            bool found = false;
            for (const QUuid& id : itemIDs(*section)) {
                if (id == m_inlineEditState->itemID) {
                    found = true;
                    break;
                }
                if (m_itemsByID.contains(id))
                    ++index;
            }
            QList<VeskTask>& tasks = *section == TaskSection::working ? document.workingItems
                : *section == TaskSection::inbox                      ? document.inboxItems
                                                                      : document.completedItems;
            if (found && index < tasks.size())
                tasks[index] = VeskTask {parsed->title, parsed->note};
        }
    }

    if (m_isCreatingNewItem)
        if (const std::optional<ParsedTaskText> parsed = parseTaskText(m_inputDraft))
            document.inboxItems.prepend(VeskTask {parsed->title, parsed->note});

    return document;
}

// --- Snapshots and undo ---

SessionSnapshot SessionController::captureSnapshot() const
{
    return SessionSnapshot {m_itemsByID, m_workingItemIDs, m_inboxItemIDs, m_completedItemIDs, m_inputDraft,
        m_isCreatingNewItem, m_selection, m_inlineEditState};
}

void SessionController::restoreSnapshot(const SessionSnapshot& snapshot)
{
    ChangeScope scope(this);
    cancelPendingTodayToggle();
    assignItemsByID(snapshot.itemsByID);
    assignItemIDs(TaskSection::working, snapshot.workingItemIDs);
    assignItemIDs(TaskSection::inbox, snapshot.inboxItemIDs);
    assignItemIDs(TaskSection::completed, snapshot.completedItemIDs);
    assignTaskAnimations({});
    assignCompletionShell(std::nullopt);
    assignCompletionTransitionItemID(std::nullopt);
    assignInputDraft(snapshot.inputDraft);
    assignIsCreatingNewItem(snapshot.isCreatingNewItem);
    assignSelection(snapshot.selection);
    assignInlineEditState(snapshot.inlineEditState);
    m_selectionBeforeCreatingNewItem.reset();
}

void SessionController::pushUndoSnapshot()
{
    m_undoStack.append(captureSnapshot());
    m_redoStack.clear();
}

void SessionController::undo()
{
    undoOrRedo(m_undoStack, m_redoStack);
}

void SessionController::redo()
{
    undoOrRedo(m_redoStack, m_undoStack);
}

void SessionController::undoOrRedo(QList<SessionSnapshot>& source, QList<SessionSnapshot>& destination)
{
    if (m_editingBlocked)
        return;
    ChangeScope scope(this);
    cancelPendingTodayToggle();
    if (isTransitionInProgress() || source.isEmpty())
        return;
    const SessionSnapshot snapshot = source.takeLast();
    destination.append(captureSnapshot());
    restoreSnapshot(snapshot);
    commit();
}

void SessionController::resetTransientState()
{
    ChangeScope scope(this);
    cancelPendingTodayToggle();
    assignIsCreatingNewItem(false);
    assignInlineEditState(std::nullopt);
    assignTaskAnimations({});
    assignCompletionShell(std::nullopt);
    assignCompletionTransitionItemID(std::nullopt);
    assignSelection(defaultSelection());
    assignInputDraft(QString());
    m_selectionBeforeCreatingNewItem.reset();
}
