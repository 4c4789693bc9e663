#include "panel/TaskActions.h"

#include "session/SessionController.h"

namespace {

struct Description {
    const char* menuText;
    QKeySequence key;
};

Description describe(TaskAction action)
{
    switch (action) {
    case TaskAction::newItem:
        return {"&New Item", QKeySequence(Qt::Key_N)};
    case TaskAction::undo:
        return {"&Undo", QKeySequence(Qt::CTRL | Qt::Key_Z)};
    case TaskAction::redo:
        return {"&Redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)};
    case TaskAction::cut:
        return {"Cu&t", QKeySequence(Qt::CTRL | Qt::Key_X)};
    case TaskAction::copy:
        return {"&Copy", QKeySequence(Qt::CTRL | Qt::Key_C)};
    case TaskAction::paste:
        return {"&Paste", QKeySequence(Qt::CTRL | Qt::Key_V)};
    case TaskAction::moveToNext:
        return {"Move to &Next", QKeySequence(Qt::Key_T)};
    case TaskAction::moveToPending:
        return {"Move to Pend&ing", QKeySequence(Qt::Key_T)};
    case TaskAction::moveToDone:
        return {"Move to &Done", QKeySequence(Qt::Key_Space)};
    case TaskAction::moveUp:
        return {"&Move Item Up", QKeySequence(Qt::CTRL | Qt::Key_K)};
    case TaskAction::moveDown:
        return {"Move Item Do&wn", QKeySequence(Qt::CTRL | Qt::Key_J)};
    case TaskAction::openLink:
        return {"Open &Link", QKeySequence(Qt::SHIFT | Qt::Key_L)};
    case TaskAction::edit:
        return {"Edit", QKeySequence(Qt::Key_Return)};
    case TaskAction::remove:
        return {"Delete", QKeySequence(Qt::Key_Delete)};
    }
    return {"", QKeySequence()};
}

} // namespace

TaskActions::TaskActions(SessionController* session) : QObject(session), m_session(session) { }

TaskActions* TaskActions::of(SessionController* session)
{
    if (!session)
        return nullptr;
    if (auto* actions = session->findChild<TaskActions*>(QString(), Qt::FindDirectChildrenOnly))
        return actions;
    return new TaskActions(session);
}

QString TaskActions::title(TaskAction action)
{
    return menuText(action).remove(QLatin1Char('&'));
}

QString TaskActions::menuText(TaskAction action)
{
    return QString::fromUtf8(describe(action).menuText);
}

QKeySequence TaskActions::key(TaskAction action)
{
    return describe(action).key;
}

std::array<TaskAction, 2> TaskActions::moves(TaskSection section)
{
    switch (section) {
    case TaskSection::working:
        return {TaskAction::moveToPending, TaskAction::moveToDone};
    case TaskSection::inbox:
        return {TaskAction::moveToNext, TaskAction::moveToDone};
    case TaskSection::completed:
        break;
    }
    return {TaskAction::moveToNext, TaskAction::moveToPending};
}

std::optional<TaskSection> TaskActions::selectedSection() const
{
    const std::optional<QUuid> selected = m_session->selection().taskID();
    return selected ? m_session->sectionOf(*selected) : std::nullopt;
}

std::optional<TaskAction> TaskActions::moveOnT() const
{
    const std::optional<TaskSection> section = selectedSection();
    return section ? std::optional(moves(*section)[0]) : std::nullopt;
}

TaskAction TaskActions::moveOnSpace() const
{
    const std::optional<TaskSection> section = selectedSection();
    return section ? moves(*section)[1] : TaskAction::moveToDone;
}

bool TaskActions::isEnabled(TaskAction action) const
{
    const SessionController& s = *m_session;
    const bool free = !s.editingBlocked() && !s.isTransitionInProgress();
    switch (action) {
    case TaskAction::newItem:
        return free;
    case TaskAction::undo:
        return free && !s.undoStack().isEmpty();
    case TaskAction::redo:
        return free && !s.redoStack().isEmpty();
    case TaskAction::cut:
    case TaskAction::edit:
    case TaskAction::remove:
        return s.canDeleteSelectedItem();
    case TaskAction::copy:
        return s.canCopySelectedItem();
    case TaskAction::paste:
        return s.canPasteItem();
    case TaskAction::moveToNext:
        return s.canMoveSelectedItemToNext();
    case TaskAction::moveToPending:
        return s.canMoveSelectedItemToPending();
    case TaskAction::moveToDone:
        return s.canCompleteSelectedItem();
    case TaskAction::moveUp:
        return s.canMoveSelectedItem(-1);
    case TaskAction::moveDown:
        return s.canMoveSelectedItem(1);
    case TaskAction::openLink:
        return s.canOpenLinkInSelectedItem();
    }
    return false;
}

bool TaskActions::isVisible(TaskAction action) const
{
    if (action != TaskAction::moveToNext && action != TaskAction::moveToPending)
        return true;
    return moveOnT() == action && (action == TaskAction::moveToPending || isEnabled(action));
}

void TaskActions::run(TaskAction action)
{
    SessionController& s = *m_session;
    switch (action) {
    case TaskAction::newItem:
        s.beginCreatingNewItem(QString());
        break;
    case TaskAction::undo:
        s.undo();
        break;
    case TaskAction::redo:
        s.redo();
        break;
    case TaskAction::cut:
        if (s.canDeleteSelectedItem()) {
            s.copySelectedItem();
            s.deleteSelectedItem();
        }
        break;
    case TaskAction::copy:
        s.copySelectedItem();
        break;
    case TaskAction::paste:
        s.pasteItem();
        break;
    case TaskAction::moveToNext:
        s.moveSelectedItemToNext();
        break;
    case TaskAction::moveToPending:
        s.moveSelectedItemToPending();
        break;
    case TaskAction::moveToDone:
        // The row form on the selected row: completes it when that may run.
        if (const std::optional<QUuid> selected = s.selection().taskID())
            s.completeItem(*selected);
        break;
    case TaskAction::moveUp:
    case TaskAction::moveDown:
        // The session's move records a step even where nothing moves, and does not ask about a
        // blocked file itself.
        if (!s.editingBlocked())
            s.moveSelectedItem(action == TaskAction::moveUp ? -1 : 1);
        break;
    case TaskAction::openLink:
        s.openFirstLinkInSelectedItem();
        break;
    case TaskAction::edit:
        s.beginEditingSelectedItem();
        break;
    case TaskAction::remove:
        s.deleteSelectedItem();
        break;
    }
}

bool TaskActions::isEnabled(TaskAction action, const QUuid& id) const
{
    const SessionController& s = *m_session;
    switch (action) {
    case TaskAction::cut:
    case TaskAction::edit:
    case TaskAction::remove:
        return s.canDeleteItem(id);
    case TaskAction::copy:
        return s.canCopyItem(id);
    case TaskAction::paste:
        return s.canPasteItem();
    case TaskAction::moveToNext:
        return s.canMoveItemToNext(id);
    case TaskAction::moveToPending:
        return s.canMoveItemToPending(id);
    case TaskAction::moveToDone:
        return s.canCompleteItem(id);
    case TaskAction::openLink:
        return s.canOpenLinkInItem(id);
    default:
        return false;
    }
}

void TaskActions::run(TaskAction action, const QUuid& id)
{
    SessionController& s = *m_session;
    switch (action) {
    case TaskAction::newItem:
    case TaskAction::undo:
    case TaskAction::redo:
    case TaskAction::moveUp:
    case TaskAction::moveDown:
        return;
    case TaskAction::moveToDone:
        s.completeItem(id);
        return;
    case TaskAction::paste:
        // The pasted task lands below the row and stays selected.
        s.setSelection(SessionSelection::task(id));
        s.pasteItem();
        return;
    case TaskAction::edit:
        s.beginEditingItem(id);
        return;
    default:
        s.performWithItemSelected(id, [this, action] { run(action); });
        return;
    }
}
