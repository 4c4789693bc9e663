#include "session/SessionController.h"

// --- Per-row predicates ---

bool SessionController::canMoveItemBetweenSections(const QUuid& id, TaskSection target) const
{
    const std::optional<TaskSection> section = sectionOf(id);
    return section && *section != target && !m_state.editingBlocked() && !m_state.inlineEditState()
        && !m_state.isItemInTransition(id);
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
    return m_state.item(id) && !m_state.inlineEditState() && !m_state.isItemInTransition(id);
}

bool SessionController::canDeleteItem(const QUuid& id) const
{
    return !m_state.editingBlocked() && canCopyItem(id);
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
        if (!m_state.editingBlocked() && canCompleteSelectedItem())
            toggleSelectedItemCompletion();
    });
}

void SessionController::runWithItemSelected(const QUuid& id, const std::function<void()>& action)
{
    // A stale row (its task deleted meanwhile) would otherwise leave the selection on a task that
    // no longer exists.
    if (!m_state.item(id))
        return;
    SessionState::Scope scope(m_state);
    const SessionState::Marks before = m_state.marks();
    const SessionSelection previous = m_state.selection();
    m_state.assignSelection(SessionSelection::task(id));
    if (action)
        action();
    restoreSelection(previous, id);
    // A refused action leaves no trace: the borrowed selection, given back, is not a change.
    const SessionState::Marks now = m_state.marks();
    const quint32 assignedNow = now.fields & ~before.fields;
    if (m_state.selection() == previous && now.commits == before.commits
        && (assignedNow & ~SessionState::SelectionField) == 0)
        m_state.resetMarks(before);
}

void SessionController::restoreSelection(const SessionSelection& previous, const QUuid& id)
{
    SessionState::Scope scope(m_state);
    switch (previous.kind()) {
    case SessionSelection::Kind::none:
        m_state.assignSelection(SessionSelection::none());
        break;
    case SessionSelection::Kind::input:
        if (m_state.isCreatingNewItem())
            m_state.assignSelection(SessionSelection::input());
        break;
    case SessionSelection::Kind::task:
        if (*previous.taskID() != id && m_state.item(*previous.taskID()))
            m_state.assignSelection(previous);
        break;
    }
}
