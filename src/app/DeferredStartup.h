#pragma once

#include <QObject>

#include <functional>
#include <vector>

class Scheduler;

// Work a launch puts off until its first window is on screen: registering the global shortcut,
// writing the settings, and the like are not needed to draw the first frame, and doing them before
// it keeps the list from showing. Jobs run in the order they were given, on the event loop's turn
// after the first paint, when the application is about to quit, or on release().
class DeferredStartup : public QObject {
    Q_OBJECT

public:
    explicit DeferredStartup(Scheduler* scheduler, QObject* parent = nullptr);
    ~DeferredStartup() override;

    // Runs job after the first frame, or at once when that has passed.
    void defer(std::function<void()> job);
    // Watches for the first paint of a window; when none comes within fallbackSeconds (nothing is
    // shown, or the window system never exposes it), the jobs run then.
    void releaseAfterFirstFrame(double fallbackSeconds);
    // Runs every waiting job; later ones run at once.
    void release();
    bool isReleased() const { return m_released; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void stopWatching();

    Scheduler* m_scheduler;
    std::vector<std::function<void()>> m_jobs;
    bool m_released = false;
    bool m_watching = false;
};
