#include "session/IdleFolding.h"

#include "session/SessionFilter.h"

IdleFolding::IdleFolding(
    const SessionState& state, const SessionFilter& filter, Scheduler* scheduler, QObject* context)
    : m_state(state), m_filter(filter), m_scheduler(scheduler), m_context(context)
{ }

IdleFolding::~IdleFolding()
{
    if (m_job.isPending())
        m_job.cancel();
}

void IdleFolding::changed(bool committed)
{
    m_lastChange = m_scheduler->now();
    if (committed)
        m_opening = false;
    // A job already waiting looks at the time of the last change when it runs: one timer serves a
    // whole burst of commands.
    if (!m_job.isPending())
        schedule(delay());
}

double IdleFolding::delay() const
{
    return m_opening ? openingDelay : quietDelay;
}

void IdleFolding::schedule(double delaySeconds)
{
    m_job = m_scheduler->schedule(delaySeconds, m_context, [this] { run(); });
}

void IdleFolding::run()
{
    // A timer may fire a little early (its delay is rounded to whole milliseconds).
    constexpr double early = 0.002;
    const double quiet = m_scheduler->now() - m_lastChange;
    const double wanted = delay();
    if (quiet < wanted - early) {
        schedule(wanted - quiet);
        return;
    }
    if (m_filter.prepare(m_state, sliceRows))
        m_opening = false;
    else
        schedule(slicePause);
}
