#pragma once

#include "panel/ApplicationEventMonitor.h"

#include <QPoint>

#include <functional>

// Reports a right-button press inside its view before the context menu opens, so the list can
// record which row the menu belongs to. The list paints its rows itself, so one monitor covers
// the whole list and reports the point; the list maps it to a row. Never consumes an event.
class TaskRowContextTargetMonitor : public ApplicationEventMonitor {
    Q_OBJECT

public:
    using ApplicationEventMonitor::ApplicationEventMonitor;

    // Called with the press position in the view's coordinates.
    std::function<void(QPoint)> onContextMenuPress;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
