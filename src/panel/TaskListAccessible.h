#pragma once

#include <QAccessibleWidget>

class TaskListView;

// The task list as a list of three section groups, followed by the editors that are open over it
// (the input row's and the inline editor).
class TaskListAccessible : public QAccessibleWidget {
public:
    explicit TaskListAccessible(TaskListView* view);

    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* focusChild() const override;
    QString text(QAccessible::Text type) const override;

private:
    TaskListView* view() const;
    QList<QWidget*> openEditors() const;
};
