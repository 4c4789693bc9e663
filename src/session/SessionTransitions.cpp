#include "session/SessionController.h"

// Delayed jobs use the session as their context object, so the scheduler drops them once the session
// is gone and capturing `this` is safe.

void SessionController::startCompletionPreview(const QUuid& id, TaskSection section)
{
    ChangeScope scope(this);
    setTaskAnimation(id, TaskAnimationState::completionPreview);
    m_scheduler->schedule(completionPreviewDelay, this, [this, id, section] {
        // Cut off by a load or a reset, or the item is gone: the task stays where it is.
        if (!m_taskAnimations.contains(id) || !item(id))
            return;
        ChangeScope scope(this);
        removeTaskAnimation(id);
        showShellAndScheduleLanding(id, section, true, [this, id] { landCompletion(id); });
    });
}

void SessionController::showShellAndScheduleLanding(
    const QUuid& id, TaskSection section, bool isCompleted, std::function<void()> landing)
{
    // Only one shell exists. An earlier transition whose landing has not run yet lands first,
    // instead of being overwritten and leaving its task behind.
    runPendingLanding();

    const SessionItem* moving = item(id);
    assignCompletionShell(CompletionShellState {id, section, moving->title, moving->note, isCompleted});
    assignCompletionTransitionItemID(id);

    const ScheduledJob job = m_scheduler->schedule(0, this, [this] { runPendingLanding(); });
    m_pendingLanding = PendingLanding {id, job, std::move(landing)};

    m_scheduler->schedule(shellClearingDelay, this, [this, id] {
        if (m_completionTransitionItemID != id)
            return;
        ChangeScope scope(this);
        assignCompletionShell(std::nullopt);
        assignCompletionTransitionItemID(std::nullopt);
    });
}

void SessionController::runPendingLanding()
{
    if (!m_pendingLanding)
        return;
    PendingLanding pending = std::move(*m_pendingLanding);
    m_pendingLanding.reset();
    pending.job.cancel();
    pending.land();
}

bool SessionController::liftLandingItem(const QUuid& id)
{
    assignCompletionShell(std::nullopt);
    if (!item(id)) // deleted while its shell was shown: nothing lands, no id without an item is listed
        return false;
    if (const std::optional<TaskSection> section = sectionOf(id))
        itemIDsForChange(*section).removeOne(id);
    return true;
}

void SessionController::landCompletion(const QUuid& id)
{
    if (m_completionTransitionItemID != id)
        return;
    ChangeScope scope(this);
    if (!liftLandingItem(id))
        return;
    itemIDsForChange(TaskSection::completed).prepend(id);
    reveal();
    commit();
}

void SessionController::landTodayMove(const QUuid& id, TaskSection sectionLeft, TodayMoveInsertion insertion)
{
    if (m_completionTransitionItemID != id)
        return;
    ChangeScope scope(this);
    if (!liftLandingItem(id))
        return;
    if (sectionLeft == TaskSection::working)
        itemIDsForChange(TaskSection::inbox).prepend(id);
    else if (insertion == TodayMoveInsertion::top)
        itemIDsForChange(TaskSection::working).prepend(id);
    else
        itemIDsForChange(TaskSection::working).append(id);
    reveal();
    commit();
}

void SessionController::performTodayMove(
    const QUuid& id, TaskSection sectionLeft, TodayMoveInsertion insertion)
{
    if (sectionOf(id) != sectionLeft || m_taskAnimations.contains(id))
        return;
    // A delayed move may find the user somewhere else: only a selection still on the task follows
    // it; another selection, the input row and an open editor are what the user is doing now.
    std::optional<SessionSelection> next;
    if (m_selection == SessionSelection::task(id))
        next = nextSelectionLeaving(id, sectionLeft);
    ChangeScope scope(this);
    pushUndoSnapshot();
    if (next) {
        assignInlineEditState(std::nullopt);
        assignSelection(*next);
    }
    if (!item(id))
        return;
    showShellAndScheduleLanding(id, sectionLeft, false,
        [this, id, sectionLeft, insertion] { landTodayMove(id, sectionLeft, insertion); });
}

void SessionController::scheduleTodayToggle(const QUuid& id, TaskSection section)
{
    cancelPendingTodayToggle();
    const ScheduledJob job = m_scheduler->schedule(todayToggleDelay, this, [this, id, section] {
        if (!m_pendingTodayToggleCommand || m_pendingTodayToggleCommand->itemID != id)
            return;
        m_pendingTodayToggleCommand.reset();
        // The user went on to edit the task: moving it would close the editor and drop the edit.
        if (m_inlineEditState && m_inlineEditState->itemID == id)
            return;
        performTodayMove(id, section, TodayMoveInsertion::bottom);
    });
    m_pendingTodayToggleCommand = PendingTodayToggleCommand {id, job};
}

void SessionController::finishPendingTransitions()
{
    ChangeScope scope(this);
    // Completions land first, in the order of their rows (the order they were asked for when the
    // selection walked down); a task also waiting to move to Next is then done and stays done.
    QList<std::pair<QUuid, TaskSection>> previews;
    for (TaskSection section : allTaskSections) {
        for (const QUuid& id : itemIDs(section)) {
            if (m_taskAnimations.contains(id))
                previews.append({id, section});
        }
    }
    for (const auto& [id, section] : std::as_const(previews)) {
        removeTaskAnimation(id);
        showShellAndScheduleLanding(id, section, true, [this, id = id] { landCompletion(id); });
    }
    if (m_pendingTodayToggleCommand) {
        const QUuid id = m_pendingTodayToggleCommand->itemID;
        cancelPendingTodayToggle();
        performTodayMove(id, TaskSection::inbox, TodayMoveInsertion::bottom);
    }
    runPendingLanding();
    assignTaskAnimations({});
    assignCompletionShell(std::nullopt);
    assignCompletionTransitionItemID(std::nullopt);
}
