#include "panel/TaskItemAccessible.h"

#include "panel/TaskLinkAccessible.h"
#include "panel/TaskListAccessibility.h"
#include "panel/TaskListView.h"
#include "session/RenderedRow.h"
#include "session/SessionController.h"
#include "session/TaskDisplayText.h"

#include <QWidget>

TaskItemAccessible::TaskItemAccessible(TaskListAccessibility* owner, const QUuid& id, const RenderedRow& row)
    : m_owner(owner), m_id(id), m_section(row.section)
{
    update(row);
}

QString TaskItemAccessible::shownTitle(const RenderedRow::Text& text)
{
    return buildDisplayText(text.title).text;
}

bool TaskItemAccessible::isChecked(const RenderedRow& row)
{
    return row.isCompleted || row.section == TaskSection::completed;
}

TaskItemAccessible::Changes TaskItemAccessible::update(const RenderedRow& row)
{
    Changes changes;
    const RenderedRow::Text text = m_owner ? m_owner->text(row) : RenderedRow::Text();
    const QString name = shownTitle(text);
    const QString description = text.note.value_or(QString());
    changes.name = name != m_name;
    changes.description = description != m_description;
    changes.checked = isChecked(row) != m_checked;
    changes.section = row.section != m_section;
    m_name = name;
    m_description = description;
    m_checked = isChecked(row);
    m_section = row.section;
    return changes;
}

bool TaskItemAccessible::isValid() const
{
    return m_owner && m_owner->view() && m_owner->row(m_id);
}

QWindow* TaskItemAccessible::window() const
{
    return m_owner && m_owner->view() ? m_owner->view()->window()->windowHandle() : nullptr;
}

QAccessibleInterface* TaskItemAccessible::childAt(int x, int y) const
{
    for (int i = 0, count = childCount(); i < count; ++i) {
        QAccessibleInterface* link = child(i);
        if (link && link->rect().contains(x, y))
            return link;
    }
    return nullptr;
}

QAccessibleInterface* TaskItemAccessible::parent() const
{
    return m_owner ? m_owner->sectionInterface(m_section) : nullptr;
}

QAccessibleInterface* TaskItemAccessible::child(int index) const
{
    return isValid() && index >= 0 && index < childCount() ? m_owner->linkInterface(m_id, index) : nullptr;
}

int TaskItemAccessible::childCount() const
{
    const RenderedRow* row = m_owner ? m_owner->row(m_id) : nullptr;
    return row ? int(buildDisplayText(m_owner->text(*row).title).links.size()) : 0;
}

int TaskItemAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* link = dynamic_cast<const TaskLinkAccessible*>(child);
    return link && link->taskID() == m_id ? link->index() : -1;
}

QString TaskItemAccessible::text(QAccessible::Text type) const
{
    const RenderedRow* row = m_owner ? m_owner->row(m_id) : nullptr;
    if (!row)
        return type == QAccessible::Name ? m_name : QString();
    switch (type) {
    case QAccessible::Name:
        return shownTitle(m_owner->text(*row));
    case QAccessible::Description:
        return m_owner->text(*row).note.value_or(QString());
    default:
        return {};
    }
}

QRect TaskItemAccessible::rect() const
{
    const RenderedRow* row = m_owner ? m_owner->row(m_id) : nullptr;
    if (!row)
        return {};
    const TaskListView* view = m_owner->view();
    const QRectF content = view->rowRect(row->id());
    const QPoint topLeft = view->viewport()->mapToGlobal(
        QPointF(content.left(), content.top() - view->scrollOffset()).toPoint());
    return QRect(topLeft, content.size().toSize());
}

QAccessible::State TaskItemAccessible::state() const
{
    QAccessible::State state;
    const RenderedRow* row = m_owner ? m_owner->row(m_id) : nullptr;
    if (!row) {
        state.invalid = true;
        return state;
    }
    const TaskListView* view = m_owner->view();
    state.selectable = true;
    state.focusable = true;
    state.checkable = true;
    state.checked = isChecked(*row);
    state.selected = view->session()->selection() == SessionSelection::task(m_id);
    state.focused = state.selected && view->hasFocus();
    const QRectF content = view->rowRect(row->id());
    const double top = view->scrollOffset();
    state.offscreen = content.bottom() < top || content.top() > top + view->viewport()->height();
    state.invisible = !view->isVisible();
    return state;
}
