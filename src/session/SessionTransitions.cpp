#include "session/SessionTransitions.h"

#include "session/SelectionRules.h"

// Delayed jobs use the context object (the session) as their context, so the scheduler drops them
// once the session is gone and capturing `this` (owned by the session) is safe.

SessionTransitions::SessionTransitions(SessionState& state, UndoHistory& history, const SessionFilter& filter,
    Scheduler* scheduler, QObject* context)
    : m_state(state), m_history(history), m_filter(filter), m_scheduler(scheduler), m_context(context)
{ }

SessionTransitions::~SessionTransitions()
{
    // A job still waiting must not outlive the session's wish to run it.
    cancelPendingTodayToggle();
    if (m_pendingLanding)
        m_pendingLanding->job.cancel();
}

void SessionTransitions::cancelPendingTodayToggle()
{
    if (m_pendingTodayToggle)
        m_pendingTodayToggle->task.cancel();
    m_pendingTodayToggle.reset();
}

void SessionTransitions::startCompletionPreview(const QUuid& id, TaskSection section)
{
    m_state.setTaskAnimation(id, TaskAnimationState::completionPreview);
    m_scheduler->schedule(completionPreviewDelay, m_context, [this, id, section] {
        // Cut off by a load or a reset, or the item is gone: the task stays where it is.
        if (!m_state.taskAnimations().contains(id) || !m_state.item(id))
            return;
        SessionState::Scope scope(m_state);
        m_state.removeTaskAnimation(id);
        showShellAndScheduleLanding(id, section, true, [this, id] { landCompletion(id); });
    });
}

void SessionTransitions::showShellAndScheduleLanding(
    const QUuid& id, TaskSection section, bool isCompleted, std::function<void()> landing)
{
    // Only one shell exists. An earlier transition whose landing has not run yet lands first,
    // instead of being overwritten and leaving its task behind.
    runPendingLanding();

    const SessionItem* moving = m_state.item(id);
    m_state.assignCompletionShell(
        CompletionShellState {id, section, moving->title, moving->note, isCompleted});
    m_state.assignCompletionTransitionItemID(id);

    const ScheduledJob job = m_scheduler->schedule(0, m_context, [this] { runPendingLanding(); });
    m_pendingLanding = PendingLanding {id, job, std::move(landing)};

    m_scheduler->schedule(shellClearingDelay, m_context, [this, id] {
        if (m_state.completionTransitionItemID() != id)
            return;
        SessionState::Scope scope(m_state);
        m_state.assignCompletionShell(std::nullopt);
        m_state.assignCompletionTransitionItemID(std::nullopt);
    });
}

void SessionTransitions::runPendingLanding()
{
    if (!m_pendingLanding)
        return;
    PendingLanding pending = std::move(*m_pendingLanding);
    m_pendingLanding.reset();
    pending.job.cancel();
    pending.land();
}

bool SessionTransitions::liftLandingItem(const QUuid& id)
{
    m_state.assignCompletionShell(std::nullopt);
    if (!m_state.item(
            id)) // deleted while its shell was shown: nothing lands, no id without an item is listed
        return false;
    if (const auto place = m_state.placeOf(id))
        m_state.removeItemIDAt(place->first, place->second);
    return true;
}

void SessionTransitions::landCompletion(const QUuid& id)
{
    if (m_state.completionTransitionItemID() != id)
        return;
    SessionState::Scope scope(m_state);
    if (!liftLandingItem(id))
        return;
    m_state.insertItemID(TaskSection::completed, 0, id);
    m_state.reveal();
    m_state.commit();
}

void SessionTransitions::landTodayMove(const QUuid& id, TaskSection sectionLeft, TodayMoveInsertion insertion)
{
    if (m_state.completionTransitionItemID() != id)
        return;
    SessionState::Scope scope(m_state);
    if (!liftLandingItem(id))
        return;
    if (sectionLeft == TaskSection::working)
        m_state.insertItemID(TaskSection::inbox, 0, id);
    else if (insertion == TodayMoveInsertion::top)
        m_state.insertItemID(TaskSection::working, 0, id);
    else
        m_state.insertItemID(TaskSection::working, m_state.itemIDs(TaskSection::working).size(), id);
    m_state.reveal();
    m_state.commit();
}

void SessionTransitions::performTodayMove(
    const QUuid& id, TaskSection sectionLeft, TodayMoveInsertion insertion)
{
    if (m_state.sectionOf(id) != sectionLeft || m_state.taskAnimations().contains(id))
        return;
    // A delayed move may find the user somewhere else: only a selection still on the task follows
    // it; another selection, the input row and an open editor are what the user is doing now.
    std::optional<SessionSelection> next;
    if (m_state.selection() == SessionSelection::task(id))
        next = SelectionRules(m_state, m_filter).afterLeavingSection(id, sectionLeft);
    SessionState::Scope scope(m_state);
    m_history.record(m_state.snapshot(), m_state.knownChanges());
    if (next) {
        m_state.assignInlineEditState(std::nullopt);
        m_state.assignSelection(*next);
    }
    if (!m_state.item(id))
        return;
    showShellAndScheduleLanding(id, sectionLeft, false,
        [this, id, sectionLeft, insertion] { landTodayMove(id, sectionLeft, insertion); });
}

void SessionTransitions::toggleToday(const QUuid& id, TaskSection section)
{
    if (section == TaskSection::working) {
        cancelPendingTodayToggle();
        performTodayMove(id, TaskSection::working, TodayMoveInsertion::top);
    } else if (m_pendingTodayToggle && m_pendingTodayToggle->itemID == id) {
        // A second press within the wait: move it now, to the top.
        cancelPendingTodayToggle();
        performTodayMove(id, TaskSection::inbox, TodayMoveInsertion::top);
    } else {
        scheduleTodayToggle(id);
    }
}

void SessionTransitions::scheduleTodayToggle(const QUuid& id)
{
    cancelPendingTodayToggle();
    const ScheduledJob job = m_scheduler->schedule(todayToggleDelay, m_context, [this, id] {
        if (!m_pendingTodayToggle || m_pendingTodayToggle->itemID != id)
            return;
        m_pendingTodayToggle.reset();
        // The user went on to edit the task: moving it would close the editor and drop the edit.
        if (m_state.inlineEditState() && m_state.inlineEditState()->itemID == id)
            return;
        performTodayMove(id, TaskSection::inbox, TodayMoveInsertion::bottom);
    });
    m_pendingTodayToggle = PendingTodayToggleCommand {id, job};
}

void SessionTransitions::finishPending()
{
    SessionState::Scope scope(m_state);
    // Completions land first, in the order of their rows (the order they were asked for when the
    // selection walked down); a task also waiting to move to Next is then done and stays done.
    QList<std::pair<QUuid, TaskSection>> previews;
    for (TaskSection section : allTaskSections) {
        for (const QUuid& id : m_state.itemIDs(section)) {
            if (m_state.taskAnimations().contains(id))
                previews.append({id, section});
        }
    }
    for (const auto& [id, section] : std::as_const(previews)) {
        m_state.removeTaskAnimation(id);
        showShellAndScheduleLanding(id, section, true, [this, id = id] { landCompletion(id); });
    }
    if (m_pendingTodayToggle) {
        const QUuid id = m_pendingTodayToggle->itemID;
        cancelPendingTodayToggle();
        performTodayMove(id, TaskSection::inbox, TodayMoveInsertion::bottom);
    }
    runPendingLanding();
    m_state.clearTransitions();
}
