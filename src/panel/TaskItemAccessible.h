#pragma once

#include "session/RenderedRow.h"
#include "session/TaskSection.h"

#include <QAccessibleInterface>
#include <QPointer>
#include <QUuid>

class TaskListAccessibility;

// A task row as a list item: its name is the title as shown (link labels, not markup), its
// description the note; it is selected with the session's selection, focused while the list holds
// the keyboard focus, and checked once completed. The links of its title are its children.
class TaskItemAccessible : public QAccessibleInterface {
public:
    TaskItemAccessible(TaskListAccessibility* owner, const QUuid& id, const RenderedRow& row);

    QUuid taskID() const { return m_id; }
    // The section the row was last seen in (kept for a row that has just left the list).
    TaskSection section() const { return m_section; }

    // What was last announced of the row, against what it shows now: each differing part is
    // updated and reported.
    struct Changes {
        bool name = false, description = false, checked = false, section = false;
    };
    Changes update(const RenderedRow& row);

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
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;

    // The title as shown, and whether a row counts as completed.
    static QString shownTitle(const RenderedRow::Text& text);
    static bool isChecked(const RenderedRow& row);

private:
    QPointer<TaskListAccessibility> m_owner;
    QUuid m_id;
    TaskSection m_section;
    QString m_name;
    QString m_description;
    bool m_checked = false;
};
