#include "platform/QtScheduler.h"

#include <QTimer>

#include <cmath>

QtScheduler::QtScheduler()
{
    m_clock.start();
}

double QtScheduler::now() const
{
    return double(m_clock.nsecsElapsed()) / 1e9;
}

ScheduledJob QtScheduler::schedule(double delaySeconds, QObject* context, std::function<void()> job)
{
    auto state = std::make_shared<ScheduledJob::State>();
    const int ms = delaySeconds <= 0 ? 0 : int(std::lround(delaySeconds * 1000.0));
    // The context guards the job: Qt drops a single-shot whose context object is gone.
    QTimer::singleShot(ms, Qt::PreciseTimer, context, [state, job = std::move(job)] {
        if (state->cancelled || state->finished)
            return;
        state->finished = true;
        job();
    });
    return ScheduledJob(state);
}
