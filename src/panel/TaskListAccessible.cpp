#include "panel/TaskListAccessible.h"

#include "panel/GrowingTextView.h"
#include "panel/TaskListAccessibility.h"
#include "panel/TaskListView.h"
#include "panel/TaskSectionAccessible.h"
#include "session/SessionController.h"

namespace {

constexpr int sectionCount = 3;

} // namespace

TaskListAccessible::TaskListAccessible(TaskListView* view) : QAccessibleWidget(view, QAccessible::List) { }

TaskListView* TaskListAccessible::view() const
{
    return static_cast<TaskListView*>(widget());
}

QList<QWidget*> TaskListAccessible::openEditors() const
{
    QList<QWidget*> editors;
    for (QWidget* editor :
        {static_cast<QWidget*>(view()->inputEditor()), static_cast<QWidget*>(view()->inlineEditor())})
        if (editor && !editor->isHidden())
            editors << editor;
    return editors;
}

QAccessibleInterface* TaskListAccessible::childAt(int x, int y) const
{
    const QPoint point = view()->viewport()->mapFromGlobal(QPoint(x, y));
    if (const auto id = view()->taskAt(point))
        return view()->accessibility()->itemInterface(*id);
    for (QWidget* editor : openEditors())
        if (editor->geometry().contains(point))
            return QAccessible::queryAccessibleInterface(editor);
    return nullptr;
}

QAccessibleInterface* TaskListAccessible::child(int index) const
{
    if (index < 0)
        return nullptr;
    if (index < sectionCount)
        return view()->accessibility()->sectionInterface(allTaskSections[index]);
    const QList<QWidget*> editors = openEditors();
    return index - sectionCount < editors.size()
        ? QAccessible::queryAccessibleInterface(editors.at(index - sectionCount))
        : nullptr;
}

int TaskListAccessible::childCount() const
{
    return sectionCount + int(openEditors().size());
}

int TaskListAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (const auto* section = dynamic_cast<const TaskSectionAccessible*>(child))
        return int(section->section());
    const int editor = child ? int(openEditors().indexOf(child->object())) : -1;
    return editor < 0 ? -1 : sectionCount + editor;
}

QAccessibleInterface* TaskListAccessible::focusChild() const
{
    for (QWidget* editor : openEditors())
        if (editor->hasFocus())
            return QAccessible::queryAccessibleInterface(editor);
    const auto selected = view()->session()->selection().taskID();
    return selected && view()->hasFocus() ? view()->accessibility()->itemInterface(*selected) : nullptr;
}

QString TaskListAccessible::text(QAccessible::Text type) const
{
    if (type == QAccessible::Name && view()->accessibleName().isEmpty())
        return QStringLiteral("Tasks");
    return QAccessibleWidget::text(type);
}
