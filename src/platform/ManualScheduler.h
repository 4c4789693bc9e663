#pragma once

#include "platform/Scheduler.h"

#include <QPointer>

#include <vector>

// A scheduler whose clock only moves when told to. Tests use it to step through timed behaviour
// (previews, delayed moves, deferred layout) without waiting.
class ManualScheduler : public Scheduler {
public:
    double now() const override { return m_now; }
    ScheduledJob schedule(double delaySeconds, QObject* context, std::function<void()> job) override;

    // Moves the clock forward, running every job that falls due on the way in time order (jobs
    // with equal times in the order they were scheduled), including jobs those jobs schedule.
    void advance(double seconds);
    // Runs the jobs due now, i.e. those posted for the next turn of the event loop.
    void runDueJobs() { advance(0); }

    // Jobs scheduled, not yet run, not cancelled and whose context is alive.
    int pendingCount() const;
    // Time at which the next pending job falls due, or a negative value when there is none.
    double nextDueTime() const;

private:
    struct Entry {
        double due;
        quint64 sequence;
        bool hasContext;
        QPointer<QObject> context;
        std::shared_ptr<ScheduledJob::State> state;
        std::function<void()> job;
    };
    bool isLive(const Entry& entry) const;

    double m_now = 0;
    quint64 m_sequence = 0;
    std::vector<Entry> m_entries;
};
