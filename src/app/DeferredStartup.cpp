#include "app/DeferredStartup.h"

#include "platform/Scheduler.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <utility>

DeferredStartup::DeferredStartup(Scheduler* scheduler, QObject* parent)
    : QObject(parent), m_scheduler(scheduler)
{
    // What was put off is still done when the launch ends before its first frame.
    if (QCoreApplication* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &DeferredStartup::release);
}

DeferredStartup::~DeferredStartup()
{
    stopWatching();
}

void DeferredStartup::defer(std::function<void()> job)
{
    if (m_released)
        job();
    else
        m_jobs.push_back(std::move(job));
}

void DeferredStartup::releaseAfterFirstFrame(double fallbackSeconds)
{
    if (m_released || m_watching)
        return;
    m_watching = true;
    QCoreApplication::instance()->installEventFilter(this);
    m_scheduler->schedule(fallbackSeconds, this, [this] { release(); });
}

void DeferredStartup::release()
{
    stopWatching();
    if (m_released)
        return;
    m_released = true;
    // A job may defer another one, which then runs at once.
    const std::vector<std::function<void()>> jobs = std::exchange(m_jobs, {});
    for (const std::function<void()>& job : jobs)
        job();
}

bool DeferredStartup::eventFilter(QObject* watched, QEvent* event)
{
    // The frame is handed to the window system once every widget of it is painted; the jobs run two
    // turns of the event loop later, behind what the rest of the frame's painting queued.
    if (event->type() == QEvent::Paint && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->window()->isVisible()) {
        stopWatching();
        m_scheduler->schedule(0, this, [this] { m_scheduler->schedule(0, this, [this] { release(); }); });
    }
    return QObject::eventFilter(watched, event);
}

void DeferredStartup::stopWatching()
{
    if (!m_watching)
        return;
    m_watching = false;
    if (QCoreApplication* application = QCoreApplication::instance())
        application->removeEventFilter(this);
}
