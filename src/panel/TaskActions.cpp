#include "panel/TaskActions.h"

#include "session/SessionController.h"

#include <iterator>

namespace {

struct Description {
    const char* menuText;
    QKeyCombination key;
};

// In the order of TaskAction.
constexpr Description descriptions[] = {
    {"&New Item", Qt::Key_N},
    {"&Undo", Qt::CTRL | Qt::Key_Z},
    {"&Redo", Qt::CTRL | Qt::SHIFT | Qt::Key_Z},
    {"Cu&t", Qt::CTRL | Qt::Key_X},
    {"&Copy", Qt::CTRL | Qt::Key_C},
    {"&Paste", Qt::CTRL | Qt::Key_V},
    {"Move to &Next", Qt::Key_T},
    {"Move to Pend&ing", Qt::Key_T},
    {"Move to &Done", Qt::Key_Space},
    {"&Move Item Up", Qt::CTRL | Qt::Key_K},
    {"Move Item Do&wn", Qt::CTRL | Qt::Key_J},
    {"Open &Link", Qt::SHIFT | Qt::Key_L},
    {"Edit", Qt::Key_Return},
    {"Delete", Qt::Key_Delete},
};
static_assert(std::size(descriptions) == std::size_t(TaskAction::remove) + 1);

const Description& describe(TaskAction action)
{
    return descriptions[std::size_t(action)];
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
    return QKeySequence(describe(action).key);
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
