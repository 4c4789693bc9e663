#include "session/SessionController.h"

#include "document/VeskTask.h"

#include <algorithm>

// --- Helpers ---

std::optional<QUuid> SessionController::selectedTaskID() const
{
    return m_selection.taskID();
}

std::optional<std::pair<QUuid, TaskSection>> SessionController::selectedTaskWithSection() const
{
    const std::optional<QUuid> id = selectedTaskID();
    if (!id)
        return std::nullopt;
    const std::optional<TaskSection> section = sectionOf(*id);
    if (!section)
        return std::nullopt;
    return std::pair {*id, *section};
}

bool SessionController::isSelectedItemAnimating() const
{
    const std::optional<QUuid> id = selectedTaskID();
    return id && m_taskAnimations.contains(*id);
}

// --- Selection rules ---

namespace {

// The rules below work on full rows and on the text-free rows the commands use alike.

template <typename Row>
QList<SessionSelection> targetsOf(const QList<Row>& rows)
{
    QList<SessionSelection> targets;
    targets.reserve(rows.size());
    for (const Row& row : rows) {
        if (row.kind == RenderedRow::Kind::task)
            targets.append(SessionSelection::task(row.itemID));
        else if (row.kind == RenderedRow::Kind::input)
            targets.append(SessionSelection::input());
    }
    return targets;
}

// The removed row's place is taken by the next selectable row, or by the previous one when it was
// the last. The place is counted in selectable targets: counting separators and spacers too would
// skip the next task whenever such rows precede the removed one.
template <typename Row>
SessionSelection afterRemoving(const SessionController& session, const QUuid& id, const QList<Row>& rows)
{
    qsizetype place = -1;
    QList<SessionSelection> targets;
    targets.reserve(rows.size());
    for (const Row& row : rows) {
        if (place < 0 && row.kind == RenderedRow::Kind::task && row.itemID == id) {
            place = targets.size();
            continue;
        }
        if (row.kind == RenderedRow::Kind::task)
            targets.append(SessionSelection::task(row.itemID));
        else if (row.kind == RenderedRow::Kind::input)
            targets.append(SessionSelection::input());
    }
    if (place < 0)
        return session.defaultSelection();
    if (targets.isEmpty())
        return session.isCreatingNewItem() ? SessionSelection::input() : SessionSelection::none();
    return targets.at(std::min(place, targets.size() - 1));
}

template <typename Row>
SessionSelection afterLeavingSection(
    const SessionController& session, const QUuid& id, TaskSection section, const QList<Row>& rows)
{
    QList<QUuid> sectionIDs;
    qsizetype index = -1;
    for (const Row& row : rows) {
        if (row.kind != RenderedRow::Kind::task || row.section != section)
            continue;
        if (index < 0 && row.itemID == id)
            index = sectionIDs.size();
        else
            sectionIDs.append(row.itemID);
    }
    if (index < 0)
        return session.defaultSelection();
    if (sectionIDs.isEmpty())
        return session.fallbackSelection(section);
    return SessionSelection::task(sectionIDs.at(std::min(index, sectionIDs.size() - 1)));
}

} // namespace

QList<SessionSelection> SessionController::selectableTargets(const QList<RenderedRow>& rows)
{
    return targetsOf(rows);
}

SessionSelection SessionController::resolvedSelection(const std::optional<SessionSelection>& candidate) const
{
    if (candidate && isSelectableTarget(*candidate))
        return *candidate;
    return defaultSelection();
}

SessionSelection SessionController::selectionAfterRemoving(
    const QUuid& id, const QList<RenderedRow>& rows) const
{
    return afterRemoving(*this, id, rows);
}

SessionSelection SessionController::selectionAfterLeavingSection(
    const QUuid& id, TaskSection section, const QList<RenderedRow>& rows) const
{
    return afterLeavingSection(*this, id, section, rows);
}

SessionSelection SessionController::nextSelectionLeaving(const QUuid& id, TaskSection section) const
{
    return afterLeavingSection(*this, id, section, rowStops());
}

SessionSelection SessionController::fallbackSelection(TaskSection section) const
{
    if (m_isCreatingNewItem)
        return SessionSelection::input();
    std::array<TaskSection, 2> order {TaskSection::inbox, TaskSection::completed};
    if (section == TaskSection::inbox)
        order = {TaskSection::working, TaskSection::completed};
    else if (section == TaskSection::completed)
        order = {TaskSection::working, TaskSection::inbox};
    for (TaskSection other : order)
        if (const auto id = firstVisibleID(other))
            return SessionSelection::task(*id);
    return SessionSelection::none();
}

// --- New item ---

void SessionController::beginCreatingNewItem(const QString& initialDraft)
{
    // Also while a task lands: a refused N would turn the title typed after it into list commands.
    if (m_editingBlocked)
        return;
    ChangeScope scope(this);
    if (!m_isCreatingNewItem)
        m_selectionBeforeCreatingNewItem = m_selection;
    assignIsCreatingNewItem(true);
    assignInputDraft(initialDraft);
    assignSelection(SessionSelection::input());
    assignInlineEditState(std::nullopt);
}

void SessionController::commitNewItem()
{
    if (m_editingBlocked)
        return;
    const std::optional<ParsedTaskText> parsed = parseTaskText(m_inputDraft);
    if (!parsed)
        return;
    ChangeScope scope(this);
    pushUndoSnapshot();
    const QUuid id = QUuid::createUuid();
    itemsByIDForChange().insert(id, SessionItem {id, parsed->title, parsed->note});
    itemIDsForChange(TaskSection::inbox).prepend(id);
    assignIsCreatingNewItem(false);
    assignInputDraft(QString());
    assignSelection(SessionSelection::task(id));
    assignInlineEditState(std::nullopt);
    m_selectionBeforeCreatingNewItem.reset();
    commit();
}

void SessionController::cancelNewItem()
{
    if (m_editingBlocked || !m_isCreatingNewItem)
        return;
    ChangeScope scope(this);
    assignIsCreatingNewItem(false);
    assignInputDraft(QString());
    assignSelection(resolvedSelection(m_selectionBeforeCreatingNewItem));
    m_selectionBeforeCreatingNewItem.reset();
}

// --- Inline editing ---

void SessionController::beginEditingSelectedItem()
{
    if (m_editingBlocked)
        return;
    const std::optional<QUuid> id = selectedTaskID();
    const SessionItem* found = id ? item(*id) : nullptr;
    if (!found || m_taskAnimations.contains(*id))
        return;
    ChangeScope scope(this);
    const QString text = editableText(*found);
    assignInlineEditState(InlineEditState {*id, text, text});
}

void SessionController::beginEditingItem(const QUuid& id)
{
    if (m_editingBlocked)
        return;
    ChangeScope scope(this);
    assignSelection(SessionSelection::task(id));
    beginEditingSelectedItem();
}

void SessionController::updateInlineEditDraft(const QString& text)
{
    if (m_editingBlocked || !m_inlineEditState)
        return;
    ChangeScope scope(this);
    InlineEditState state = *m_inlineEditState;
    state.draftText = text;
    assignInlineEditState(state);
}

void SessionController::commitInlineEdit()
{
    if (m_editingBlocked || !m_inlineEditState || !item(m_inlineEditState->itemID))
        return;
    ChangeScope scope(this);
    const QUuid id = m_inlineEditState->itemID;
    const std::optional<ParsedTaskText> parsed = parseTaskText(m_inlineEditState->draftText);
    // A cleared text ends the edit but never deletes the task; a canonically equivalent text (the
    // same letters, composed differently) is no change.
    if (!parsed || canonicallyEqual(parsed->normalizedText, m_inlineEditState->originalText)) {
        assignInlineEditState(std::nullopt);
        return;
    }
    pushUndoSnapshot();
    SessionItem& edited = itemsByIDForChange()[id];
    edited.title = parsed->title;
    edited.note = parsed->note;
    assignInlineEditState(std::nullopt);
    assignSelection(SessionSelection::task(id));
    commit();
}

void SessionController::cancelInlineEdit()
{
    if (m_editingBlocked)
        return;
    ChangeScope scope(this);
    assignInlineEditState(std::nullopt);
}

// --- Deleting ---

void SessionController::deleteSelectedItem()
{
    if (m_editingBlocked)
        return;
    const std::optional<QUuid> id = selectedTaskID();
    if (!id || !item(*id) || m_taskAnimations.contains(*id))
        return;
    const SessionSelection next = afterRemoving(*this, *id, rowStops());
    ChangeScope scope(this);
    pushUndoSnapshot();
    if (const std::optional<TaskSection> section = sectionOf(*id))
        itemIDsForChange(*section).removeOne(*id);
    itemsByIDForChange().remove(*id);
    if (m_inlineEditState && m_inlineEditState->itemID == *id)
        assignInlineEditState(std::nullopt);
    assignSelection(next);
    reveal();
    commit();
}

// --- Moving the selection and tasks ---

void SessionController::moveSelection(int offset)
{
    const QList<SessionSelection> targets = targetsOf(rowStops());
    ChangeScope scope(this);
    if (targets.isEmpty()) {
        assignSelection(defaultSelection());
        return;
    }
    const qsizetype current = std::max<qsizetype>(0, targets.indexOf(m_selection));
    const qsizetype next = std::clamp<qsizetype>(current + offset, 0, targets.size() - 1);
    if (targets.at(next) != m_selection) {
        assignSelection(targets.at(next));
        reveal();
    }
}

void SessionController::moveSelectedItem(int offset)
{
    // Records and commits even when the task is already at the end of its section; callers refuse
    // it while editing is blocked.
    const auto selected = selectedTaskWithSection();
    if (!selected)
        return;
    ChangeScope scope(this);
    pushUndoSnapshot();
    const qsizetype index = itemIDs(selected->second).indexOf(selected->first);
    const qsizetype target = index + offset;
    if (index >= 0 && target >= 0 && target < itemIDs(selected->second).size())
        itemIDsForChange(selected->second).swapItemsAt(index, target);
    reveal();
    commit();
}

void SessionController::moveItem(const QUuid& id, TaskSection section, int targetIndex, bool keepSelection)
{
    if (m_editingBlocked || m_inlineEditState || isTransitionInProgress() || sectionOf(id) != section)
        return;
    const QList<QUuid>& ids = itemIDs(section);
    const qsizetype index = ids.indexOf(id);
    const qsizetype target = std::clamp<qsizetype>(targetIndex, 0, ids.size() - 1);
    if (target == index)
        return;
    ChangeScope scope(this);
    pushUndoSnapshot();
    itemIDsForChange(section).move(index, target);
    if (!keepSelection)
        assignSelection(SessionSelection::task(id));
    reveal();
    commit();
}

// --- Completing and moving between sections ---

void SessionController::toggleSelectedItemCompletion()
{
    if (m_editingBlocked || isSelectedItemAnimating())
        return;
    const auto selected = selectedTaskWithSection();
    if (!selected)
        return;
    const auto [id, section] = *selected;
    const SessionSelection next = nextSelectionLeaving(id, section);
    ChangeScope scope(this);
    pushUndoSnapshot();
    assignInlineEditState(std::nullopt);
    assignSelection(next);
    if (section != TaskSection::completed) {
        startCompletionPreview(id, section);
        return;
    }
    itemIDsForChange(TaskSection::completed).removeOne(id);
    itemIDsForChange(TaskSection::inbox).prepend(id);
    reveal();
    commit();
}

void SessionController::moveSelectedItemToNext()
{
    if (m_editingBlocked || !canMoveSelectedItemToNext())
        return;
    const auto [id, section] = *selectedTaskWithSection();
    if (section == TaskSection::completed) {
        ChangeScope scope(this);
        cancelPendingTodayToggle();
        performTodayMove(id, TaskSection::completed, TodayMoveInsertion::bottom);
    } else if (section == TaskSection::inbox) {
        toggleSelectedItemToday();
    }
}

void SessionController::moveSelectedItemToPending()
{
    if (m_editingBlocked)
        return;
    const auto selected = selectedTaskWithSection();
    if (!selected)
        return;
    if (selected->second == TaskSection::working)
        toggleSelectedItemToday();
    else if (selected->second == TaskSection::completed)
        toggleSelectedItemCompletion();
}

void SessionController::toggleSelectedItemToday()
{
    if (m_editingBlocked || isSelectedItemAnimating())
        return;
    const auto selected = selectedTaskWithSection();
    if (!selected || selected->second == TaskSection::completed)
        return;
    const auto [id, section] = *selected;
    ChangeScope scope(this);
    if (section == TaskSection::working) {
        cancelPendingTodayToggle();
        performTodayMove(id, TaskSection::working, TodayMoveInsertion::top);
    } else if (m_pendingTodayToggleCommand && m_pendingTodayToggleCommand->itemID == id) {
        // A second press within the wait: move it now, to the top.
        cancelPendingTodayToggle();
        performTodayMove(id, TaskSection::inbox, TodayMoveInsertion::top);
    } else {
        scheduleTodayToggle(id, TaskSection::inbox);
    }
}

// --- Predicates ---

namespace {

bool sectionAllows(TaskSection section, TaskSection excluded)
{
    return section != excluded;
}

} // namespace

bool SessionController::canMoveSelectedItemToNext() const
{
    const auto selected = selectedTaskWithSection();
    return selected && !m_editingBlocked && !m_inlineEditState && !isItemInTransition(selected->first)
        && sectionAllows(selected->second, TaskSection::working);
}

bool SessionController::canMoveSelectedItemToPending() const
{
    const auto selected = selectedTaskWithSection();
    return selected && !m_editingBlocked && !m_inlineEditState && !isItemInTransition(selected->first)
        && sectionAllows(selected->second, TaskSection::inbox);
}

bool SessionController::canCompleteSelectedItem() const
{
    const auto selected = selectedTaskWithSection();
    return selected && !m_editingBlocked && !m_inlineEditState && !isItemInTransition(selected->first)
        && sectionAllows(selected->second, TaskSection::completed);
}

bool SessionController::canDeleteSelectedItem() const
{
    const std::optional<QUuid> id = selectedTaskID();
    return id && item(*id) && !m_editingBlocked && !m_inlineEditState && !isItemInTransition(*id);
}

bool SessionController::canMoveSelectedItem(int offset) const
{
    const auto selected = selectedTaskWithSection();
    if (!selected || m_inlineEditState || isItemInTransition(selected->first))
        return false;
    const QList<QUuid>& ids = itemIDs(selected->second);
    const qsizetype target = ids.indexOf(selected->first) + offset;
    return target >= 0 && target < ids.size();
}

bool SessionController::canReorderItem(const QUuid& id, TaskSection section) const
{
    return !m_editingBlocked && !m_inlineEditState && !isTransitionInProgress() && sectionOf(id) == section;
}
