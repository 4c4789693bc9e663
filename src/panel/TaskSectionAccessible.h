#pragma once

#include "session/TaskSection.h"

#include <QAccessibleInterface>
#include <QPointer>

class TaskListAccessibility;

// A section of the task list as a group named by its heading, holding its task items.
class TaskSectionAccessible : public QAccessibleInterface {
public:
    TaskSectionAccessible(TaskListAccessibility* owner, TaskSection section);

    TaskSection section() const { return m_section; }

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QString text(QAccessible::Text type) const override;
    void setText(QAccessible::Text, const QString&) override { }
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Grouping; }
    QAccessible::State state() const override;

private:
    QPointer<TaskListAccessibility> m_owner;
    TaskSection m_section;
};
