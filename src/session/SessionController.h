#pragma once

#include "document/VeskDocument.h"
#include "platform/Pasteboard.h"
#include "platform/Scheduler.h"
#include "platform/UrlOpener.h"
#include "session/IdleFolding.h"
#include "session/ParsedTaskText.h"
#include "session/RenderedRow.h"
#include "session/SelectionRules.h"
#include "session/SessionFilter.h"
#include "session/SessionRows.h"
#include "session/SessionState.h"
#include "session/SessionTransitions.h"
#include "session/UndoHistory.h"

#include <QHash>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QUuid>

#include <array>
#include <functional>
#include <memory>
#include <optional>

struct CommittedSnapshot;
struct LoadedContent;

// Everything the panel shows and edits for one open document: the tasks in their three sections,
// the selection, the new-item draft, the inline editor, the running transitions, the filter and
// the undo history. Main thread only. A front over its parts: the published state (SessionState),
// the filter (SessionFilter), the undo history (UndoHistory), the delayed transitions
// (SessionTransitions), the rows (SessionRows) and the selection rules (SelectionRules).
//
// Observation: every assignment to a published field emits that field's signal, followed by one
// coarse changed() per operation. The signals of one operation are delivered together when it
// ends, so observers never see a half-applied command; onCommittedChange runs after them.
//
// Commands never fail and never report: one whose preconditions do not hold does nothing at all.
class SessionController : public QObject {
    Q_OBJECT
    Q_PROPERTY(SessionItemMap itemsByID READ itemsByID NOTIFY itemsByIDChanged)
    Q_PROPERTY(ItemIDList workingItemIDs READ workingItemIDs NOTIFY workingItemIDsChanged)
    Q_PROPERTY(ItemIDList inboxItemIDs READ inboxItemIDs NOTIFY inboxItemIDsChanged)
    Q_PROPERTY(TaskAnimationMap taskAnimations READ taskAnimations NOTIFY taskAnimationsChanged)
    Q_PROPERTY(OptionalCompletionShell completionShell READ completionShell NOTIFY completionShellChanged)
    Q_PROPERTY(OptionalUuid completionTransitionItemID READ completionTransitionItemID NOTIFY
            completionTransitionItemIDChanged)
    Q_PROPERTY(int selectionRevealRevision READ selectionRevealRevision NOTIFY selectionRevealRevisionChanged)
    Q_PROPERTY(QString inputDraft READ inputDraft WRITE setInputDraft NOTIFY inputDraftChanged)
    Q_PROPERTY(bool isCreatingNewItem READ isCreatingNewItem NOTIFY isCreatingNewItemChanged)
    Q_PROPERTY(SessionSelection selection READ selection WRITE setSelection NOTIFY selectionChanged)
    Q_PROPERTY(OptionalInlineEditState inlineEditState READ inlineEditState NOTIFY inlineEditStateChanged)
    Q_PROPERTY(bool editingBlocked READ editingBlocked WRITE setEditingBlocked NOTIFY editingBlockedChanged)
    Q_PROPERTY(QString filterQuery READ filterQuery WRITE setFilterQuery NOTIFY filterQueryChanged)

public:
    // Delays of the transitions, in seconds.
    static constexpr double completionPreviewDelay = SessionTransitions::completionPreviewDelay;
    static constexpr double todayToggleDelay = SessionTransitions::todayToggleDelay;
    static constexpr double shellClearingDelay = SessionTransitions::shellClearingDelay;

    explicit SessionController(Scheduler* scheduler = Scheduler::system(), QObject* parent = nullptr);
    ~SessionController() override;

    // Called after each change the document file must receive. Set by the document controller.
    std::function<void()> onCommittedChange;

    // --- Published fields ---
    const SessionItemMap& itemsByID() const { return m_state.items(); }
    const ItemIDList& workingItemIDs() const { return m_state.itemIDs(TaskSection::working); }
    const ItemIDList& inboxItemIDs() const { return m_state.itemIDs(TaskSection::inbox); }
    const TaskAnimationMap& taskAnimations() const { return m_state.taskAnimations(); }
    const OptionalCompletionShell& completionShell() const { return m_state.completionShell(); }
    const OptionalUuid& completionTransitionItemID() const { return m_state.completionTransitionItemID(); }
    int selectionRevealRevision() const { return m_state.selectionRevealRevision(); }
    const QString& inputDraft() const { return m_state.inputDraft(); }
    // The input row writes its text here as the user types.
    void setInputDraft(const QString& draft);
    bool isCreatingNewItem() const { return m_state.isCreatingNewItem(); }
    const SessionSelection& selection() const { return m_state.selection(); }
    // Clicking a row selects it directly.
    void setSelection(const SessionSelection& selection);
    const OptionalInlineEditState& inlineEditState() const { return m_state.inlineEditState(); }
    bool editingBlocked() const { return m_state.editingBlocked(); }
    // Set by the document controller while the file may not be written.
    void setEditingBlocked(bool blocked);
    const QString& filterQuery() const { return m_filter.query(); }
    // Shows only the tasks that contain the text; a changed text moves the selection to a visible row.
    void setFilterQuery(const QString& text);
    // The undo and redo steps; only how many there are means anything outside the session.
    const UndoHistory::Stack& undoStack() const { return m_history.undoStack(); }
    const UndoHistory::Stack& redoStack() const { return m_history.redoStack(); }

    // --- Loading, exporting, undo (SessionController.cpp) ---
    // Replaces the content with fresh ids and forgets the undo history. Keeps the filter, the block
    // and the reveal counter; does not call onCommittedChange.
    void loadDocument(const VeskDocument& document);
    // loadDocument of content made ahead, perhaps on another thread: only the session's own fields
    // are set here. Returns what the session let go of, the tasks it showed and their undo history,
    // held there alone: freeing a long list takes as long as making it, so the caller may let it go
    // on another thread once the windows have let go of it too.
    std::shared_ptr<const void> loadContent(const LoadedContent& content);
    // Hands the search summaries (TextSummary) made after a list was loaded here, on another thread,
    // of `from`, its content then (SessionFilter::takeLateSummaries). False when they came too late.
    bool takeLateSummaries(const CommittedSnapshot& from, const std::array<QList<quint64>, 3>& summaries)
    {
        return m_filter.takeLateSummaries(from, summaries);
    }
    // The tasks as committed: drafts and open editors are not included.
    VeskDocument committedDocument() const;
    // The committed tasks plus a parseable inline edit in place and a parseable new-item draft at
    // the top of the inbox.
    VeskDocument documentIncludingEdits() const;
    // Closes drafts and editors and stops running transitions (the panel was hidden).
    void resetTransientState();
    void undo();
    void redo();
    // Lands every running completion and the waiting move to Next at once, as committed changes,
    // so that nothing the user asked for is lost when the document closes or the application quits.
    void finishPendingTransitions();

    std::optional<TaskSection> sectionOf(const QUuid& id) const { return m_state.sectionOf(id); }
    const ItemIDList& itemIDs(TaskSection section) const { return m_state.itemIDs(section); }
    bool isTransitionInProgress() const { return m_state.isTransitionInProgress(); }
    bool isTextEditingActive() const { return m_state.isTextEditingActive(); }
    // The rows the panel draws, top to bottom.
    QList<RenderedRow> renderedRows() const;
    // The splices that bring the rows a reader saw last (seen) up to date, costing what changed.
    QList<RowSplice> updateRows(SessionRows::Seen& seen) const { return m_rows.update(seen); }

    // --- Commands on the selected task and drafts (SessionCommands.cpp) ---
    void beginCreatingNewItem(const QString& initialDraft = QString());
    void commitNewItem();
    void cancelNewItem();
    void beginEditingSelectedItem();
    void beginEditingItem(const QUuid& id);
    void updateInlineEditDraft(const QString& text);
    void commitInlineEdit();
    void cancelInlineEdit();
    void deleteSelectedItem();
    void moveSelection(int offset);
    void moveSelectedItem(int offset);
    void moveItem(const QUuid& id, TaskSection section, int targetIndex, bool keepSelection);
    void toggleSelectedItemCompletion();
    void moveSelectedItemToNext();
    void moveSelectedItemToPending();
    void toggleSelectedItemToday();

    bool canMoveSelectedItemToNext() const;
    bool canMoveSelectedItemToPending() const;
    bool canCompleteSelectedItem() const;
    bool canDeleteSelectedItem() const;
    bool canMoveSelectedItem(int offset) const;
    bool canReorderItem(const QUuid& id, TaskSection section) const;

    // --- Pasteboard and links (SessionPasteboard.cpp) ---
    // The system's pasteboard and URL opening, set by the owner; without them copying, pasting and
    // opening links do nothing. The session keeps to QtCore, so the desktop backends are injected.
    void setPasteboard(std::shared_ptr<Pasteboard> pasteboard);
    void setUrlOpener(std::shared_ptr<UrlOpener> urlOpener);
    void copySelectedItem();
    // Below the selected task in its section, else at the top of the inbox.
    void pasteItem();
    void openFirstLinkInSelectedItem();
    // Opens the link of a task's title whose address is `address` (as its tooltip shows it), when
    // the title still holds it; the task need not be selected.
    void openLinkInItem(const QUuid& id, const QString& address);
    bool canCopySelectedItem() const;
    bool canPasteItem() const;
    bool canOpenLinkInSelectedItem() const;

    // --- Row actions (SessionRowActions.cpp) ---
    // A context menu acts on the row under the pointer, then gives the selection back. An id
    // without an item (a stale row) is ignored.
    void performWithItemSelected(const QUuid& id, const std::function<void()>& action);
    void completeItem(const QUuid& id);
    bool canMoveItemToNext(const QUuid& id) const;
    bool canMoveItemToPending(const QUuid& id) const;
    bool canCompleteItem(const QUuid& id) const;
    bool canCopyItem(const QUuid& id) const;
    bool canDeleteItem(const QUuid& id) const;
    bool canOpenLinkInItem(const QUuid& id) const;

signals:
    void itemsByIDChanged();
    void workingItemIDsChanged();
    void inboxItemIDsChanged();
    void completedItemIDsChanged();
    void taskAnimationsChanged();
    void completionShellChanged();
    void completionTransitionItemIDChanged();
    void selectionRevealRevisionChanged();
    void inputDraftChanged();
    void isCreatingNewItemChanged();
    void selectionChanged();
    void inlineEditStateChanged();
    void editingBlockedChanged();
    void filterQueryChanged();
    // The session's change notification: once after every operation that assigned a published field.
    void changed();

private:
    // Emits the signals of the fields an operation assigned, then reports its committed changes.
    void deliver(quint32 fields, int commits);
    SelectionRules rules() const { return SelectionRules(m_state, m_filter); }
    void recordUndoStep() { m_history.record(m_state.snapshot(), m_state.knownChanges()); }
    void undoOrRedo(bool isUndo);
    std::optional<QUrl> firstLinkOfItem(const QUuid& id) const;
    // Whether the task may leave its section for target (the per-row predicates).
    bool canMoveItemBetweenSections(const QUuid& id, TaskSection target) const;
    // Selects id, runs action, restores the selection; notifies nothing when nothing changed.
    void runWithItemSelected(const QUuid& id, const std::function<void()>& action);
    // Gives the selection back after a row action on `id`.
    void restoreSelection(const SessionSelection& previous, const QUuid& id);

    SessionState m_state;
    SessionFilter m_filter;
    SessionRows m_rows {m_state, m_filter};
    UndoHistory m_history;
    std::shared_ptr<Pasteboard> m_pasteboard;
    std::shared_ptr<UrlOpener> m_urlOpener;
    IdleFolding m_idleFolding;
    // Last, so that its jobs are cancelled before the state they touch goes.
    SessionTransitions m_transitions;
};
