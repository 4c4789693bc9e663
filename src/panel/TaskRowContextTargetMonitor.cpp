#include "panel/TaskRowContextTargetMonitor.h"

#include <QApplication>
#include <QMouseEvent>

bool TaskRowContextTargetMonitor::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress || !onContextMenuPress || !view() || !view()->isVisible())
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != view()->window())
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::RightButton)
        return false;
    const QPoint point = view()->mapFromGlobal(mouse->globalPosition().toPoint());
    if (!view()->rect().contains(point))
        return false;
    // An ignored press is offered to each parent in turn; only the widget under the pointer (the
    // first receiver) counts, so each press is reported once.
    QWidget* under = view()->childAt(point);
    if (widget != (under ? under : view()))
        return false;
    onContextMenuPress(point);
    return false;
}
