#include "panel/TaskRowContextMenu.h"

#include "panel/TaskActions.h"
#include "session/SessionController.h"

#include <QPointer>

TaskRowContextMenu::TaskRowContextMenu(const QList<ContextMenuItem>& items, QWidget* parent) : QMenu(parent)
{
    for (const ContextMenuItem& item : items) {
        if (item.isDivider()) {
            addSeparator();
            continue;
        }
        QAction* action = addAction(item.title);
        action->setEnabled(item.enabled);
        connect(action, &QAction::triggered, this, item.action);
    }
}

QList<ContextMenuItem> TaskRowContextMenu::items(
    TaskActions* actions, const QUuid& id, const std::function<void()>& beforeAction)
{
    QList<std::optional<TaskAction>> layout;
    if (const std::optional<TaskSection> section = actions->session()->sectionOf(id)) {
        const auto moves = TaskActions::moves(*section);
        layout << moves[0] << moves[1] << std::nullopt;
    }
    layout << TaskAction::openLink << std::nullopt << TaskAction::cut << TaskAction::copy << TaskAction::paste
           << std::nullopt << TaskAction::edit << TaskAction::remove;

    QList<ContextMenuItem> items;
    QPointer<TaskActions> guarded(actions);
    for (const std::optional<TaskAction>& action : std::as_const(layout)) {
        if (!action) {
            items << ContextMenuItem {};
            continue;
        }
        items << ContextMenuItem {TaskActions::title(*action), actions->isEnabled(*action, id),
            [guarded, beforeAction, action = *action, id] {
                if (beforeAction)
                    beforeAction();
                if (guarded)
                    guarded->run(action, id);
            }};
    }
    return items;
}
