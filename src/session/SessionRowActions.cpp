#include "session/SessionController.h"

// --- Per-row predicates ---

bool SessionController::canMoveItemBetweenSections(const QUuid& id, TaskSection target) const
{
    const std::optional<TaskSection> section = sectionOf(id);
    return section && *section != target && !m_editingBlocked && !m_inlineEditState
        && !isItemInTransition(id);
}

bool SessionController::canMoveItemToNext(const QUuid& id) const
{
    return canMoveItemBetweenSections(id, TaskSection::working);
}

bool SessionController::canMoveItemToPending(const QUuid& id) const
{
    return canMoveItemBetweenSections(id, TaskSection::inbox);
}

bool SessionController::canCompleteItem(const QUuid& id) const
{
    return canMoveItemBetweenSections(id, TaskSection::completed);
}

bool SessionController::canCopyItem(const QUuid& id) const
{
    return item(id) && !m_inlineEditState && !isItemInTransition(id);
}

bool SessionController::canDeleteItem(const QUuid& id) const
{
    return !m_editingBlocked && canCopyItem(id);
}

bool SessionController::canOpenLinkInItem(const QUuid& id) const
{
    return canCopyItem(id) && firstLinkOfItem(id).has_value();
}

// --- Acting on a row that need not be selected ---

void SessionController::performWithItemSelected(const QUuid& id, const std::function<void()>& action)
{
    runWithItemSelected(id, action);
}

void SessionController::completeItem(const QUuid& id)
{
    runWithItemSelected(id, [this] {
        if (!m_editingBlocked && canCompleteSelectedItem())
            toggleSelectedItemCompletion();
    });
}

void SessionController::runWithItemSelected(const QUuid& id, const std::function<void()>& action)
{
    // A stale row (its task deleted meanwhile) would otherwise leave the selection on a task that
    // no longer exists.
    if (!item(id))
        return;
    ChangeScope scope(this);
    const quint32 assignedBefore = m_assignedFields;
    const int commitsBefore = m_pendingCommits;
    const SessionSelection previous = m_selection;
    assignSelection(SessionSelection::task(id));
    if (action)
        action();
    restoreSelection(previous, id);
    // A refused action leaves no trace: the borrowed selection, given back, is not a change.
    const quint32 assignedNow = m_assignedFields & ~assignedBefore;
    if (m_selection == previous && m_pendingCommits == commitsBefore && (assignedNow & ~SelectionField) == 0)
        m_assignedFields = assignedBefore;
}

void SessionController::restoreSelection(const SessionSelection& previous, const QUuid& id)
{
    ChangeScope scope(this);
    switch (previous.kind()) {
    case SessionSelection::Kind::none:
        assignSelection(SessionSelection::none());
        break;
    case SessionSelection::Kind::input:
        if (m_isCreatingNewItem)
            assignSelection(SessionSelection::input());
        break;
    case SessionSelection::Kind::task:
        if (*previous.taskID() != id && item(*previous.taskID()))
            assignSelection(previous);
        break;
    }
}
