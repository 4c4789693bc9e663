#pragma once

#include "platform/Scheduler.h"

#include <QElapsedTimer>

// Runs delayed jobs on the Qt event loop of the calling (main) thread.
class QtScheduler : public Scheduler {
public:
    QtScheduler();

    double now() const override;
    ScheduledJob schedule(double delaySeconds, QObject* context, std::function<void()> job) override;

private:
    QElapsedTimer m_clock;
};
