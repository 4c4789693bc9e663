#include "panel/TaskSectionAccessible.h"

#include "panel/TaskItemAccessible.h"
#include "panel/TaskListAccessibility.h"
#include "panel/TaskListView.h"

#include <QWidget>

TaskSectionAccessible::TaskSectionAccessible(TaskListAccessibility* owner, TaskSection section)
    : m_owner(owner), m_section(section)
{ }

bool TaskSectionAccessible::isValid() const
{
    return m_owner && m_owner->view();
}

QWindow* TaskSectionAccessible::window() const
{
    return isValid() ? m_owner->view()->window()->windowHandle() : nullptr;
}

QAccessibleInterface* TaskSectionAccessible::childAt(int x, int y) const
{
    for (int i = 0, count = childCount(); i < count; ++i) {
        QAccessibleInterface* item = child(i);
        if (item && item->rect().contains(x, y))
            return item;
    }
    return nullptr;
}

QAccessibleInterface* TaskSectionAccessible::parent() const
{
    return isValid() ? QAccessible::queryAccessibleInterface(m_owner->view()) : nullptr;
}

QAccessibleInterface* TaskSectionAccessible::child(int index) const
{
    return isValid() ? m_owner->itemInterface(m_section, index) : nullptr;
}

int TaskSectionAccessible::childCount() const
{
    return isValid() ? int(m_owner->taskCount(m_section)) : 0;
}

int TaskSectionAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* item = dynamic_cast<const TaskItemAccessible*>(child);
    if (!isValid() || !item)
        return -1;
    const QUuid id = item->taskID();
    const RenderedRow* row = m_owner->row(id);
    return row && row->section == m_section ? int(m_owner->indexInSection(id)) : -1;
}

QString TaskSectionAccessible::text(QAccessible::Text type) const
{
    return type == QAccessible::Name ? TaskListView::sectionTitle(m_section) : QString();
}

QRect TaskSectionAccessible::rect() const
{
    if (!isValid())
        return {};
    const TaskListView* view = m_owner->view();
    const QRectF header = view->rowRect(QStringLiteral("section-header-") + taskSectionRawValue(m_section));
    const QPoint topLeft = view->viewport()->mapToGlobal(
        QPointF(header.left(), header.top() - view->scrollOffset()).toPoint());
    return QRect(topLeft, header.size().toSize());
}

QAccessible::State TaskSectionAccessible::state() const
{
    QAccessible::State state;
    state.invisible = !isValid() || !m_owner->view()->isVisible();
    return state;
}
