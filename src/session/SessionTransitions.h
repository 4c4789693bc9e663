#pragma once

#include "platform/Scheduler.h"
#include "session/PendingTodayToggleCommand.h"
#include "session/SessionFilter.h"
#include "session/SessionState.h"
#include "session/TodayMoveInsertion.h"
#include "session/UndoHistory.h"

#include <QObject>
#include <QUuid>

#include <functional>
#include <optional>

// The delayed steps of completing a task and of moving it between the working list and the inbox:
// the completion preview, the completion shell that stands in the task's place, the landing in the
// new section and the clearing of the shell, and the short wait before a single move to Next.
class SessionTransitions {
public:
    // Delays, in seconds.
    static constexpr double completionPreviewDelay = 0.4;
    static constexpr double todayToggleDelay = 0.28;
    static constexpr double shellClearingDelay = 0.32;

    // Jobs are scheduled with `context` as their context object, so they are dropped once it is gone.
    SessionTransitions(SessionState& state, UndoHistory& history, const SessionFilter& filter,
        Scheduler* scheduler, QObject* context);
    ~SessionTransitions();
    SessionTransitions(const SessionTransitions&) = delete;
    SessionTransitions& operator=(const SessionTransitions&) = delete;

    // Shows the task as completed for a moment, then lands it at the top of the completed list.
    void startCompletionPreview(const QUuid& id, TaskSection section);
    // Moves a working task to the top of the inbox at once. Moves an inbox task to the end of the
    // working list after a short wait; a second press on the same task within it moves it to the top
    // at once.
    void toggleToday(const QUuid& id, TaskSection section);
    // Records the move and lands the task in its new section on the next turn.
    void performTodayMove(const QUuid& id, TaskSection sectionLeft, TodayMoveInsertion insertion);
    void cancelPendingTodayToggle();
    // Lands every running completion and the waiting move to Next at once, as committed changes.
    void finishPending();

private:
    void scheduleTodayToggle(const QUuid& id);
    void showShellAndScheduleLanding(
        const QUuid& id, TaskSection section, bool isCompleted, std::function<void()> landing);
    // Clears the shell of the task landing now and takes the task out of its section; false when
    // the task no longer exists.
    bool liftLandingItem(const QUuid& id);
    void landCompletion(const QUuid& id);
    void landTodayMove(const QUuid& id, TaskSection sectionLeft, TodayMoveInsertion insertion);
    void runPendingLanding();

    SessionState& m_state;
    UndoHistory& m_history;
    const SessionFilter& m_filter;
    Scheduler* m_scheduler;
    QObject* m_context;

    std::optional<PendingTodayToggleCommand> m_pendingTodayToggle;

    // The landing step posted by the last shell step that has not run yet.
    struct PendingLanding {
        QUuid itemID;
        ScheduledJob job;
        std::function<void()> land;
    };
    std::optional<PendingLanding> m_pendingLanding;
};
