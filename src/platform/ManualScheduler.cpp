#include "platform/ManualScheduler.h"

#include <algorithm>
#include <limits>

ScheduledJob ManualScheduler::schedule(double delaySeconds, QObject* context, std::function<void()> job)
{
    auto state = std::make_shared<ScheduledJob::State>();
    m_entries.push_back(Entry {m_now + std::max(0.0, delaySeconds), m_sequence++, context != nullptr,
        QPointer<QObject>(context), state, std::move(job)});
    return ScheduledJob(state);
}

bool ManualScheduler::isLive(const Entry& entry) const
{
    return !entry.state->cancelled && !entry.state->finished && (!entry.hasContext || entry.context);
}

void ManualScheduler::advance(double seconds)
{
    const double target = m_now + std::max(0.0, seconds);
    for (;;) {
        // Drop what can no longer run, then pick the earliest due job.
        std::erase_if(m_entries, [this](const Entry& e) { return !isLive(e); });
        auto next = std::min_element(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) {
            return a.due < b.due || (a.due == b.due && a.sequence < b.sequence);
        });
        if (next == m_entries.end() || next->due > target)
            break;
        Entry entry = std::move(*next);
        m_entries.erase(next);
        m_now = std::max(m_now, entry.due);
        entry.state->finished = true;
        entry.job();
    }
    m_now = target;
}

int ManualScheduler::pendingCount() const
{
    return int(
        std::count_if(m_entries.begin(), m_entries.end(), [this](const Entry& e) { return isLive(e); }));
}

double ManualScheduler::nextDueTime() const
{
    double due = std::numeric_limits<double>::max();
    for (const Entry& e : m_entries)
        if (isLive(e))
            due = std::min(due, e.due);
    return due == std::numeric_limits<double>::max() ? -1 : due;
}
