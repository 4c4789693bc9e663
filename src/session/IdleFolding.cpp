#include "session/IdleFolding.h"

#include "session/SessionFilter.h"

#include <algorithm>

IdleFolding::IdleFolding(
    const SessionState& state, const SessionFilter& filter, Scheduler* scheduler, QObject* context)
    : m_state(state), m_filter(filter), m_scheduler(scheduler), m_context(context)
{ }

IdleFolding::~IdleFolding()
{
    if (m_job.isPending())
        m_job.cancel();
}

void IdleFolding::changed()
{
    m_lastChange = m_scheduler->now();
    // A job already waiting looks at the time of the last change when it runs: one timer serves a
    // whole burst of commands.
    if (!m_job.isPending())
        schedule(quietDelay);
}

void IdleFolding::schedule(double delaySeconds)
{
    m_job = m_scheduler->schedule(delaySeconds, m_context, [this] { run(); });
}

void IdleFolding::run()
{
    const double quiet = m_scheduler->now() - m_lastChange;
    if (quiet < quietDelay) {
        // Never less than a pause: a remainder lost in rounding must not run it again at once.
        schedule(std::max(quietDelay - quiet, slicePause));
        return;
    }
    if (!m_filter.prepare(m_state, sliceRows))
        schedule(slicePause);
}
