#pragma once

#include "panel/ContextMenuItem.h"

#include <QList>
#include <QMenu>
#include <QUuid>

#include <functional>

class TaskActions;

// The context menu of a task row: the two moves its section offers, Open Link, Cut, Copy, Paste,
// Edit and Delete, each acting on that row, which need not be selected, through the session's task
// actions.
class TaskRowContextMenu : public QMenu {
    Q_OBJECT

public:
    TaskRowContextMenu(const QList<ContextMenuItem>& items, QWidget* parent = nullptr);

    // The entries for the row id, in order, dividers included; beforeAction runs first whenever one
    // is chosen. A task without a section gets no moves.
    static QList<ContextMenuItem> items(
        TaskActions* actions, const QUuid& id, const std::function<void()>& beforeAction = {});
};
