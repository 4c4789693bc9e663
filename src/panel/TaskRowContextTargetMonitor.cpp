#include "TaskRowContextTargetMonitor.h"

#include <QApplication>
#include <QMouseEvent>

TaskRowContextTargetMonitor::TaskRowContextTargetMonitor(QWidget* view, QObject* parent) : QObject(parent)
{
    attach(view);
}

TaskRowContextTargetMonitor::~TaskRowContextTargetMonitor()
{
    detach();
}

void TaskRowContextTargetMonitor::attach(QWidget* view)
{
    if (m_installed && view == m_view)
        return;
    detach();
    if (!view)
        return;
    m_view = view;
    qApp->installEventFilter(this);
    m_installed = true;
}

void TaskRowContextTargetMonitor::detach()
{
    if (m_installed && qApp)
        qApp->removeEventFilter(this);
    m_installed = false;
    m_view = nullptr;
}

bool TaskRowContextTargetMonitor::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress || !onContextMenuPress || !m_view || !m_view->isVisible())
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != m_view->window())
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::RightButton)
        return false;
    const QPoint point = m_view->mapFromGlobal(mouse->globalPosition().toPoint());
    if (!m_view->rect().contains(point))
        return false;
    // An ignored press is offered to each parent in turn; only the widget under the pointer (the
    // first receiver) counts, so each press is reported once.
    QWidget* under = m_view->childAt(point);
    if (widget != (under ? under : m_view.data()))
        return false;
    onContextMenuPress(point);
    return false;
}
