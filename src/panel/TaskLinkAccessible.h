#pragma once

#include <QAccessibleInterface>
#include <QPointer>
#include <QUuid>

class TaskListAccessibility;

// A link in a task's title: named by its text as shown, with the address it opens as its value.
class TaskLinkAccessible : public QAccessibleInterface {
public:
    TaskLinkAccessible(TaskListAccessibility* owner, const QUuid& id, int index);

    QUuid taskID() const { return m_id; }
    int index() const { return m_index; }

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text type) const override;
    void setText(QAccessible::Text, const QString&) override { }
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Link; }
    QAccessible::State state() const override;

private:
    QPointer<TaskListAccessibility> m_owner;
    QUuid m_id;
    int m_index;
};
