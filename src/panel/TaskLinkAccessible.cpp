#include "panel/TaskLinkAccessible.h"

#include "panel/TaskListAccessibility.h"
#include "panel/TaskListView.h"
#include "session/RenderedRow.h"
#include "session/TaskDisplayText.h"

#include <QWidget>

TaskLinkAccessible::TaskLinkAccessible(TaskListAccessibility* owner, const QUuid& id, int index)
    : m_owner(owner), m_id(id), m_index(index)
{ }

bool TaskLinkAccessible::isValid() const
{
    const RenderedRow* row = m_owner ? m_owner->row(m_id) : nullptr;
    return row && m_index < buildDisplayText(m_owner->text(*row).title).links.size();
}

QWindow* TaskLinkAccessible::window() const
{
    return m_owner && m_owner->view() ? m_owner->view()->window()->windowHandle() : nullptr;
}

QAccessibleInterface* TaskLinkAccessible::parent() const
{
    return m_owner ? m_owner->itemInterface(m_id) : nullptr;
}

QString TaskLinkAccessible::text(QAccessible::Text type) const
{
    const RenderedRow* row = m_owner ? m_owner->row(m_id) : nullptr;
    if (!row)
        return {};
    const TaskDisplayText shown = buildDisplayText(m_owner->text(*row).title);
    if (m_index >= shown.links.size())
        return {};
    const LinkRange& link = shown.links.at(m_index);
    switch (type) {
    case QAccessible::Name:
        return shown.text.mid(link.start, link.length);
    case QAccessible::Value:
        return link.url.toString();
    default:
        return {};
    }
}

QRect TaskLinkAccessible::rect() const
{
    // Where a link lies inside its row is measured only when the row is drawn; its row stands for it.
    QAccessibleInterface* item = parent();
    return item ? item->rect() : QRect();
}

QAccessible::State TaskLinkAccessible::state() const
{
    QAccessible::State state;
    state.linked = true;
    state.invalid = !isValid();
    return state;
}
