#pragma once

#include "platform/Scheduler.h"

#include <QtGlobal>

class QObject;
class SessionFilter;
class SessionState;

// Folds the tasks' searched texts for the filter before the user searches: once the session's
// tasks have not changed for a moment (so that a burst of commands goes first), a slice of rows at
// a time on the main thread, with a short pause between slices so that input and painting come in
// between. A list just opened has nothing folded, and a search typed before folding ends reads the
// texts not yet folded straight from their tasks, several times slower than the folded texts: so
// until its texts have been folded once, folding starts as soon as the list has had time for its
// first frame, and is done long before a person can open the search and type. After a change it
// brings the folded texts up to date, which costs what changed.
class IdleFolding {
public:
    // Quiet time after the last change before folding starts, and the pause between slices, in
    // seconds.
    static constexpr double quietDelay = 0.3;
    // The same until every text has been folded once or a command has been committed (a list
    // just opened).
    static constexpr double openingDelay = 0.05;
    static constexpr double slicePause = 0.001;
    // Texts folded per slice: well under a millisecond of work.
    static constexpr qsizetype sliceRows = 4096;

    // Jobs are scheduled with `context` as their context object, so they are dropped once it is gone.
    IdleFolding(
        const SessionState& state, const SessionFilter& filter, Scheduler* scheduler, QObject* context);
    ~IdleFolding();
    IdleFolding(const IdleFolding&) = delete;
    IdleFolding& operator=(const IdleFolding&) = delete;

    // The session's tasks or lists changed (a list was opened, a command ran); `committed` when a
    // command committed the change. After one, folding waits the whole quiet time even for a list
    // not yet folded: its save's work goes first.
    void changed(bool committed = false);

private:
    // The quiet time folding waits for now.
    double delay() const;
    void schedule(double delaySeconds);
    void run();

    const SessionState& m_state;
    const SessionFilter& m_filter;
    Scheduler* m_scheduler;
    QObject* m_context;
    double m_lastChange = 0;
    bool m_opening = true; // nothing folded or committed since the session began
    ScheduledJob m_job;
};
