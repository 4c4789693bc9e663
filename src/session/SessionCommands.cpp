#include "session/SessionController.h"

#include "document/VeskTask.h"

#include <algorithm>

// --- New item ---

void SessionController::beginCreatingNewItem(const QString& initialDraft)
{
    // Also while a task lands: a refused N would turn the title typed after it into list commands.
    if (m_state.editingBlocked())
        return;
    SessionState::Scope scope(m_state);
    if (!m_state.isCreatingNewItem())
        m_state.setSelectionBeforeCreatingNewItem(m_state.selection());
    m_state.assignIsCreatingNewItem(true);
    m_state.assignInputDraft(initialDraft);
    m_state.assignSelection(SessionSelection::input());
    m_state.assignInlineEditState(std::nullopt);
}

void SessionController::commitNewItem()
{
    if (m_state.editingBlocked())
        return;
    const std::optional<ParsedTaskText> parsed = parseTaskText(m_state.inputDraft());
    if (!parsed)
        return;
    SessionState::Scope scope(m_state);
    recordUndoStep();
    const QUuid id = QUuid::createUuid();
    m_state.itemsForChange().insert(id, SessionItem {id, parsed->title, parsed->note});
    m_state.insertItemID(TaskSection::inbox, 0, id);
    m_state.assignIsCreatingNewItem(false);
    m_state.assignInputDraft(QString());
    m_state.assignSelection(SessionSelection::task(id));
    m_state.assignInlineEditState(std::nullopt);
    m_state.setSelectionBeforeCreatingNewItem(std::nullopt);
    m_state.commit();
}

void SessionController::cancelNewItem()
{
    if (m_state.editingBlocked() || !m_state.isCreatingNewItem())
        return;
    SessionState::Scope scope(m_state);
    m_state.assignIsCreatingNewItem(false);
    m_state.assignInputDraft(QString());
    m_state.assignSelection(rules().resolved(m_state.selectionBeforeCreatingNewItem()));
    m_state.setSelectionBeforeCreatingNewItem(std::nullopt);
}

// --- Inline editing ---

void SessionController::beginEditingSelectedItem()
{
    if (m_state.editingBlocked())
        return;
    const std::optional<QUuid> id = m_state.selectedTaskID();
    const SessionItem* found = id ? m_state.item(*id) : nullptr;
    if (!found || m_state.taskAnimations().contains(*id))
        return;
    SessionState::Scope scope(m_state);
    const QString text = editableText(*found);
    m_state.assignInlineEditState(InlineEditState {*id, text, text});
}

void SessionController::beginEditingItem(const QUuid& id)
{
    if (m_state.editingBlocked())
        return;
    SessionState::Scope scope(m_state);
    m_state.assignSelection(SessionSelection::task(id));
    beginEditingSelectedItem();
}

void SessionController::updateInlineEditDraft(const QString& text)
{
    if (m_state.editingBlocked() || !m_state.inlineEditState())
        return;
    SessionState::Scope scope(m_state);
    InlineEditState state = *m_state.inlineEditState();
    state.draftText = text;
    m_state.assignInlineEditState(state);
}

void SessionController::commitInlineEdit()
{
    if (m_state.editingBlocked() || !m_state.inlineEditState()
        || !m_state.item(m_state.inlineEditState()->itemID))
        return;
    SessionState::Scope scope(m_state);
    const QUuid id = m_state.inlineEditState()->itemID;
    const std::optional<ParsedTaskText> parsed = parseTaskText(m_state.inlineEditState()->draftText);
    // A cleared text ends the edit but never deletes the task; a canonically equivalent text (the
    // same letters, composed differently) is no change.
    if (!parsed || canonicallyEqual(parsed->normalizedText, m_state.inlineEditState()->originalText)) {
        m_state.assignInlineEditState(std::nullopt);
        return;
    }
    recordUndoStep();
    SessionItem& edited = m_state.itemsForChange()[id];
    edited.title = parsed->title;
    edited.note = parsed->note;
    m_state.assignInlineEditState(std::nullopt);
    m_state.assignSelection(SessionSelection::task(id));
    m_state.commit();
}

void SessionController::cancelInlineEdit()
{
    if (m_state.editingBlocked())
        return;
    SessionState::Scope scope(m_state);
    m_state.assignInlineEditState(std::nullopt);
}

// --- Deleting ---

void SessionController::deleteSelectedItem()
{
    if (m_state.editingBlocked())
        return;
    const std::optional<QUuid> id = m_state.selectedTaskID();
    if (!id || !m_state.item(*id) || m_state.taskAnimations().contains(*id))
        return;
    const SessionSelection next = rules().afterRemoving(*id);
    SessionState::Scope scope(m_state);
    recordUndoStep();
    if (const auto place = m_state.placeOf(*id))
        m_state.removeItemIDAt(place->first, place->second);
    m_state.itemsForChange().remove(*id);
    if (m_state.inlineEditState() && m_state.inlineEditState()->itemID == *id)
        m_state.assignInlineEditState(std::nullopt);
    m_state.assignSelection(next);
    m_state.reveal();
    m_state.commit();
}

// --- Moving the selection and tasks ---

void SessionController::moveSelection(int offset)
{
    const SelectionRules rules = this->rules();
    const std::optional<SessionSelection> next = rules.movedBy(offset);
    SessionState::Scope scope(m_state);
    if (!next) {
        m_state.assignSelection(rules.defaultSelection());
        return;
    }
    if (*next != m_state.selection()) {
        m_state.assignSelection(*next);
        m_state.reveal();
    }
}

void SessionController::moveSelectedItem(int offset)
{
    // Records and commits even when the task is already at the end of its section; callers refuse
    // it while editing is blocked.
    const auto selected = m_state.selectedTaskWithSection();
    if (!selected)
        return;
    SessionState::Scope scope(m_state);
    recordUndoStep();
    const qsizetype index = m_state.placeOf(selected->first)->second;
    const qsizetype target = index + offset;
    if (target >= 0 && target < itemIDs(selected->second).size())
        m_state.moveItemID(selected->second, index, target);
    m_state.reveal();
    m_state.commit();
}

void SessionController::moveItem(const QUuid& id, TaskSection section, int targetIndex, bool keepSelection)
{
    if (m_state.editingBlocked() || m_state.inlineEditState() || isTransitionInProgress()
        || sectionOf(id) != section)
        return;
    const ItemIDList& ids = itemIDs(section);
    const qsizetype index = ids.indexOf(id);
    const qsizetype target = std::clamp<qsizetype>(targetIndex, 0, ids.size() - 1);
    if (target == index)
        return;
    SessionState::Scope scope(m_state);
    recordUndoStep();
    m_state.moveItemID(section, index, target);
    if (!keepSelection)
        m_state.assignSelection(SessionSelection::task(id));
    m_state.reveal();
    m_state.commit();
}

// --- Completing and moving between sections ---

void SessionController::toggleSelectedItemCompletion()
{
    if (m_state.editingBlocked() || m_state.isSelectedItemAnimating())
        return;
    const auto selected = m_state.selectedTaskWithSection();
    if (!selected)
        return;
    const auto [id, section] = *selected;
    const SessionSelection next = rules().afterLeavingSection(id, section);
    SessionState::Scope scope(m_state);
    recordUndoStep();
    m_state.assignInlineEditState(std::nullopt);
    m_state.assignSelection(next);
    if (section != TaskSection::completed) {
        m_transitions.startCompletionPreview(id, section);
        return;
    }
    if (const auto place = m_state.placeOf(id))
        m_state.removeItemIDAt(place->first, place->second);
    m_state.insertItemID(TaskSection::inbox, 0, id);
    m_state.reveal();
    m_state.commit();
}

void SessionController::moveSelectedItemToNext()
{
    if (m_state.editingBlocked() || !canMoveSelectedItemToNext())
        return;
    const auto [id, section] = *m_state.selectedTaskWithSection();
    if (section == TaskSection::completed) {
        SessionState::Scope scope(m_state);
        m_transitions.cancelPendingTodayToggle();
        m_transitions.performTodayMove(id, TaskSection::completed, TodayMoveInsertion::bottom);
    } else if (section == TaskSection::inbox) {
        toggleSelectedItemToday();
    }
}

void SessionController::moveSelectedItemToPending()
{
    if (m_state.editingBlocked())
        return;
    const auto selected = m_state.selectedTaskWithSection();
    if (!selected)
        return;
    if (selected->second == TaskSection::working)
        toggleSelectedItemToday();
    else if (selected->second == TaskSection::completed)
        toggleSelectedItemCompletion();
}

void SessionController::toggleSelectedItemToday()
{
    if (m_state.editingBlocked() || m_state.isSelectedItemAnimating())
        return;
    const auto selected = m_state.selectedTaskWithSection();
    if (!selected || selected->second == TaskSection::completed)
        return;
    const auto [id, section] = *selected;
    SessionState::Scope scope(m_state);
    m_transitions.toggleToday(id, section);
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
    const auto selected = m_state.selectedTaskWithSection();
    return selected && !m_state.editingBlocked() && !m_state.inlineEditState()
        && !m_state.isItemInTransition(selected->first)
        && sectionAllows(selected->second, TaskSection::working);
}

bool SessionController::canMoveSelectedItemToPending() const
{
    const auto selected = m_state.selectedTaskWithSection();
    return selected && !m_state.editingBlocked() && !m_state.inlineEditState()
        && !m_state.isItemInTransition(selected->first)
        && sectionAllows(selected->second, TaskSection::inbox);
}

bool SessionController::canCompleteSelectedItem() const
{
    const auto selected = m_state.selectedTaskWithSection();
    return selected && !m_state.editingBlocked() && !m_state.inlineEditState()
        && !m_state.isItemInTransition(selected->first)
        && sectionAllows(selected->second, TaskSection::completed);
}

bool SessionController::canDeleteSelectedItem() const
{
    const std::optional<QUuid> id = m_state.selectedTaskID();
    return id && m_state.item(*id) && !m_state.editingBlocked() && !m_state.inlineEditState()
        && !m_state.isItemInTransition(*id);
}

bool SessionController::canMoveSelectedItem(int offset) const
{
    const auto selected = m_state.selectedTaskWithSection();
    if (!selected || m_state.inlineEditState() || m_state.isItemInTransition(selected->first))
        return false;
    const qsizetype target = m_state.placeOf(selected->first)->second + offset;
    return target >= 0 && target < itemIDs(selected->second).size();
}

bool SessionController::canReorderItem(const QUuid& id, TaskSection section) const
{
    return !m_state.editingBlocked() && !m_state.inlineEditState() && !isTransitionInProgress()
        && sectionOf(id) == section;
}
