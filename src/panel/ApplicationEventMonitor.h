#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

// An application-wide event filter on behalf of one view: subclasses see every event before normal
// dispatch and decide from the view which ones concern them.
class ApplicationEventMonitor : public QObject {
    Q_OBJECT

public:
    explicit ApplicationEventMonitor(QWidget* view, QObject* parent = nullptr);
    ~ApplicationEventMonitor() override;

    // Watches on behalf of view (a view of nullptr detaches). Attaching to the same view again does
    // nothing.
    void attach(QWidget* view);
    void detach();

protected:
    QWidget* view() const { return m_view; }

private:
    QPointer<QWidget> m_view;
    bool m_installed = false;
};
