#include "session/SessionController.h"

#include "session/CommittedSnapshot.h"
#include "session/LoadedContent.h"
#include "session/SessionRows.h"

#include <array>
#include <utility>

SessionController::SessionController(Scheduler* scheduler, QObject* parent)
    : QObject(parent),
      m_idleFolding(m_state, m_filter, scheduler, this),
      m_transitions(m_state, m_history, m_filter, scheduler, this)
{
    m_state.deliver = [this](quint32 fields, int commits) { deliver(fields, commits); };
}

SessionController::~SessionController()
{
    m_state.deliver = nullptr;
}

// --- Notification ---

void SessionController::deliver(quint32 fields, int commits)
{
    if (fields & SessionState::ItemsByIDField)
        emit itemsByIDChanged();
    if (fields & SessionState::WorkingItemIDsField)
        emit workingItemIDsChanged();
    if (fields & SessionState::InboxItemIDsField)
        emit inboxItemIDsChanged();
    if (fields & SessionState::CompletedItemIDsField)
        emit completedItemIDsChanged();
    if (fields & SessionState::TaskAnimationsField)
        emit taskAnimationsChanged();
    if (fields & SessionState::CompletionShellField)
        emit completionShellChanged();
    if (fields & SessionState::CompletionTransitionItemIDField)
        emit completionTransitionItemIDChanged();
    if (fields & SessionState::SelectionRevealRevisionField)
        emit selectionRevealRevisionChanged();
    if (fields & SessionState::InputDraftField)
        emit inputDraftChanged();
    if (fields & SessionState::IsCreatingNewItemField)
        emit isCreatingNewItemChanged();
    if (fields & SessionState::SelectionField)
        emit selectionChanged();
    if (fields & SessionState::InlineEditStateField)
        emit inlineEditStateChanged();
    if (fields & SessionState::EditingBlockedField)
        emit editingBlockedChanged();
    if (fields & SessionState::FilterQueryField)
        emit filterQueryChanged();
    if (fields)
        emit changed();
    if (fields
        & (SessionState::ItemsByIDField | SessionState::WorkingItemIDsField | SessionState::InboxItemIDsField
            | SessionState::CompletedItemIDsField))
        m_idleFolding.changed(commits > 0);
    for (; commits > 0; --commits)
        if (onCommittedChange)
            onCommittedChange();
}

void SessionController::setInputDraft(const QString& draft)
{
    SessionState::Scope scope(m_state);
    m_state.assignInputDraft(draft);
}

void SessionController::setSelection(const SessionSelection& selection)
{
    SessionState::Scope scope(m_state);
    m_state.assignSelection(selection);
}

void SessionController::setEditingBlocked(bool blocked)
{
    SessionState::Scope scope(m_state);
    m_state.assignEditingBlocked(blocked);
}

void SessionController::setFilterQuery(const QString& text)
{
    SessionState::Scope scope(m_state);
    const bool differs = m_filter.setQuery(text);
    m_state.markAssigned(SessionState::FilterQueryField);
    if (differs) {
        m_state.assignSelection(rules().resolved(m_state.selection()));
        m_state.reveal();
    }
}

QList<RenderedRow> SessionController::renderedRows() const
{
    return m_rows.rendered();
}

// --- Loading and exporting ---

void SessionController::loadDocument(const VeskDocument& document)
{
    loadContent(LoadedContent::of(document));
}

namespace {

// What a load replaced.
struct ReplacedContent {
    SessionItemMap items;
    std::array<ItemIDList, 3> ids;
    UndoHistory history;
    std::shared_ptr<const void> foldedTexts;
};

} // namespace

std::shared_ptr<const void> SessionController::loadContent(const LoadedContent& content)
{
    auto replaced = std::make_shared<ReplacedContent>(ReplacedContent {m_state.items(),
        {itemIDs(TaskSection::working), itemIDs(TaskSection::inbox), itemIDs(TaskSection::completed)},
        std::exchange(m_history, UndoHistory()), {}});
    SessionState::Scope scope(m_state);
    m_transitions.cancelPendingTodayToggle();
    m_state.replaceContent(content.items, content.working, content.inbox, content.completed);
    if (!content.rows.isEmpty())
        m_rows.offerRows(content.rows, {content.working, content.inbox, content.completed}, content.outline);
    replaced->foldedTexts = m_filter.forgetTexts();
    m_filter.takeSummaries(m_state, content.summaries);

    m_state.assignInputDraft(QString());
    m_state.assignIsCreatingNewItem(false);
    m_state.assignSelection(rules().defaultSelection());
    m_state.assignInlineEditState(std::nullopt);
    m_state.clearTransitions();

    m_state.setSelectionBeforeCreatingNewItem(std::nullopt);
    return replaced;
}

VeskDocument SessionController::committedDocument() const
{
    return CommittedSnapshot::of(*this).document();
}

VeskDocument SessionController::documentIncludingEdits() const
{
    VeskDocument document = committedDocument();

    if (const OptionalInlineEditState& edit = m_state.inlineEditState()) {
        const std::optional<ParsedTaskText> parsed = parseTaskText(edit->draftText);
        const std::optional<TaskSection> section = sectionOf(edit->itemID);
        if (parsed && section) {
            // Count only listed ids that have an item, as the export does, so the index matches
            // the exported list.
            qsizetype index = 0;
            bool found = false;
            for (const QUuid& id : itemIDs(*section)) {
                if (id == edit->itemID) {
                    found = true;
                    break;
                }
                if (m_state.items().contains(id))
                    ++index;
            }
            QList<VeskTask>& tasks = *section == TaskSection::working ? document.workingItems
                : *section == TaskSection::inbox                      ? document.inboxItems
                                                                      : document.completedItems;
            if (found && index < tasks.size())
                tasks[index] = VeskTask {parsed->title, parsed->note};
        }
    }

    if (m_state.isCreatingNewItem())
        if (const std::optional<ParsedTaskText> parsed = parseTaskText(m_state.inputDraft()))
            document.inboxItems.prepend(VeskTask {parsed->title, parsed->note});

    return document;
}

// --- Undo ---

void SessionController::undo()
{
    undoOrRedo(true);
}

void SessionController::redo()
{
    undoOrRedo(false);
}

void SessionController::undoOrRedo(bool isUndo)
{
    if (m_state.editingBlocked())
        return;
    SessionState::Scope scope(m_state);
    m_transitions.cancelPendingTodayToggle();
    if (m_state.isTransitionInProgress())
        return;
    const SessionSnapshot current = m_state.snapshot();
    const UndoHistory::KnownChanges& known = m_state.knownChanges();
    const std::optional<SessionSnapshot> step
        = isUndo ? m_history.undo(current, known) : m_history.redo(current, known);
    if (!step)
        return;
    m_state.restore(*step, m_history.restoredChanges());
    m_state.commit();
}

void SessionController::resetTransientState()
{
    SessionState::Scope scope(m_state);
    m_transitions.cancelPendingTodayToggle();
    m_state.assignIsCreatingNewItem(false);
    m_state.assignInlineEditState(std::nullopt);
    m_state.clearTransitions();
    m_state.assignSelection(rules().defaultSelection());
    m_state.assignInputDraft(QString());
    m_state.setSelectionBeforeCreatingNewItem(std::nullopt);
}

void SessionController::finishPendingTransitions()
{
    m_transitions.finishPending();
}
