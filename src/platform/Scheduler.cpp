#include "platform/Scheduler.h"

#include "platform/QtScheduler.h"

void ScheduledJob::cancel()
{
    if (m_state)
        m_state->cancelled = true;
}

bool ScheduledJob::isPending() const
{
    return m_state && !m_state->cancelled && !m_state->finished;
}

Scheduler::~Scheduler() = default;

Scheduler* Scheduler::system()
{
    static QtScheduler scheduler;
    return &scheduler;
}
