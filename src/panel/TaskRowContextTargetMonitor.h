#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <functional>

// Reports a right-button press inside its view before the context menu opens, so the list can
// record which row the menu belongs to. The list paints its rows itself, so one monitor covers
// the whole list and reports the point; the list maps it to a row. Never consumes an event.
class TaskRowContextTargetMonitor : public QObject {
    Q_OBJECT

public:
    explicit TaskRowContextTargetMonitor(QWidget* view, QObject* parent = nullptr);
    ~TaskRowContextTargetMonitor() override;

    void attach(QWidget* view);
    void detach();

    // Called with the press position in the view's coordinates.
    std::function<void(QPoint)> onContextMenuPress;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_view;
    bool m_installed = false;
};
