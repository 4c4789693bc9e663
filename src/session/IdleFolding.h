#pragma once

#include "platform/Scheduler.h"

#include <QtGlobal>

class QObject;
class SessionFilter;
class SessionState;

// Folds the tasks' searched texts for the filter before the user searches: once the session's
// tasks have not changed for a moment (so that a list's first frame and a burst of commands go
// first), a slice of rows at a time on the main thread, with a short pause between slices so that
// input and painting come in between. After a change it brings the folded texts up to date, which
// costs what changed. A keystroke that comes first does what is left itself.
class IdleFolding {
public:
    // Quiet time after the last change before folding starts, and the pause between slices, in
    // seconds.
    static constexpr double quietDelay = 0.3;
    static constexpr double slicePause = 0.001;
    // Texts folded per slice: well under a millisecond of work.
    static constexpr qsizetype sliceRows = 4096;

    // Jobs are scheduled with `context` as their context object, so they are dropped once it is gone.
    IdleFolding(
        const SessionState& state, const SessionFilter& filter, Scheduler* scheduler, QObject* context);
    ~IdleFolding();
    IdleFolding(const IdleFolding&) = delete;
    IdleFolding& operator=(const IdleFolding&) = delete;

    // The session's tasks or lists changed (a list was opened, a command ran).
    void changed();

private:
    void schedule(double delaySeconds);
    void run();

    const SessionState& m_state;
    const SessionFilter& m_filter;
    Scheduler* m_scheduler;
    QObject* m_context;
    double m_lastChange = 0;
    ScheduledJob m_job;
};
