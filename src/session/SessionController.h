#pragma once

#include "document/VeskDocument.h"
#include "platform/Pasteboard.h"
#include "platform/Scheduler.h"
#include "platform/UrlOpener.h"
#include "session/CompletionShellState.h"
#include "session/InlineEditState.h"
#include "session/ParsedTaskText.h"
#include "session/PendingTodayToggleCommand.h"
#include "session/RenderedRow.h"
#include "session/SessionItem.h"
#include "session/SessionItemMap.h"
#include "session/SessionSelection.h"
#include "session/SessionSnapshot.h"
#include "session/TaskAnimationState.h"
#include "session/TaskSection.h"
#include "session/TodayMoveInsertion.h"

#include <QHash>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

using TaskAnimationMap = QHash<QUuid, TaskAnimationState>;
using OptionalCompletionShell = std::optional<CompletionShellState>;
using OptionalUuid = std::optional<QUuid>;
using OptionalInlineEditState = std::optional<InlineEditState>;

// Everything the panel shows and edits for one open document: the tasks in their three sections,
// the selection, the new-item draft, the inline editor, the running transitions, the filter and
// the undo history. Main thread only.
//
// Observation: every assignment to a published field emits that field's signal, followed by one
// coarse changed() per operation. The signals of one operation are delivered together when it
// ends, so observers never see a half-applied command; onCommittedChange runs after them.
//
// Commands never fail and never report: one whose preconditions do not hold does nothing at all.
class SessionController : public QObject {
    Q_OBJECT
    Q_PROPERTY(SessionItemMap itemsByID READ itemsByID NOTIFY itemsByIDChanged)
    Q_PROPERTY(QList<QUuid> workingItemIDs READ workingItemIDs NOTIFY workingItemIDsChanged)
    Q_PROPERTY(QList<QUuid> inboxItemIDs READ inboxItemIDs NOTIFY inboxItemIDsChanged)
    Q_PROPERTY(QList<QUuid> completedItemIDs READ completedItemIDs NOTIFY completedItemIDsChanged)
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
    static constexpr double completionPreviewDelay = 0.4;
    static constexpr double todayToggleDelay = 0.28;
    static constexpr double shellClearingDelay = 0.32;
    // Height of the row that stands for an empty (or wholly filtered) section, in points.
    static constexpr double emptySectionSpacerHeight = 12;

    explicit SessionController(Scheduler* scheduler = Scheduler::system(), QObject* parent = nullptr);
    ~SessionController() override;

    // Called after each change the document file must receive. Set by the document controller.
    std::function<void()> onCommittedChange;

    // --- Published fields ---
    const SessionItemMap& itemsByID() const { return m_itemsByID; }
    const QList<QUuid>& workingItemIDs() const { return m_workingItemIDs; }
    const QList<QUuid>& inboxItemIDs() const { return m_inboxItemIDs; }
    const QList<QUuid>& completedItemIDs() const { return m_completedItemIDs; }
    const TaskAnimationMap& taskAnimations() const { return m_taskAnimations; }
    const OptionalCompletionShell& completionShell() const { return m_completionShell; }
    const OptionalUuid& completionTransitionItemID() const { return m_completionTransitionItemID; }
    int selectionRevealRevision() const { return m_selectionRevealRevision; }
    const QString& inputDraft() const { return m_inputDraft; }
    // The input row writes its text here as the user types.
    void setInputDraft(const QString& draft);
    bool isCreatingNewItem() const { return m_isCreatingNewItem; }
    const SessionSelection& selection() const { return m_selection; }
    // Clicking a row selects it directly.
    void setSelection(const SessionSelection& selection);
    const OptionalInlineEditState& inlineEditState() const { return m_inlineEditState; }
    bool editingBlocked() const { return m_editingBlocked; }
    // Set by the document controller while the file may not be written.
    void setEditingBlocked(bool blocked);
    const QString& filterQuery() const { return m_filterQuery; }

    // --- Internal state, readable for inspection ---
    const QList<SessionSnapshot>& undoStack() const { return m_undoStack; }
    const QList<SessionSnapshot>& redoStack() const { return m_redoStack; }
    const std::optional<SessionSelection>& selectionBeforeCreatingNewItem() const
    {
        return m_selectionBeforeCreatingNewItem;
    }
    const std::optional<PendingTodayToggleCommand>& pendingTodayToggleCommand() const
    {
        return m_pendingTodayToggleCommand;
    }

    // --- Loading, exporting, undo (SessionController.cpp) ---
    // Replaces the content with fresh ids and forgets the undo history. Keeps the filter, the block
    // and the reveal counter; does not call onCommittedChange.
    void loadDocument(const VeskDocument& document);
    // The tasks as committed: drafts and open editors are not included.
    VeskDocument committedDocument() const;
    // The committed tasks plus a parseable inline edit in place and a parseable new-item draft at
    // the top of the inbox.
    VeskDocument documentIncludingEdits() const;
    // Closes drafts and editors and stops running transitions (the panel was hidden).
    void resetTransientState();
    void undo();
    void redo();
    void pushUndoSnapshot();
    SessionSnapshot captureSnapshot() const;
    void restoreSnapshot(const SessionSnapshot& snapshot);

    std::optional<TaskSection> sectionOf(const QUuid& id) const;
    const QList<QUuid>& itemIDs(TaskSection section) const;
    bool isTransitionInProgress() const;
    bool isItemInTransition(const QUuid& id) const;
    bool isTextEditingActive() const;
    SessionSelection defaultSelection() const;

    // --- Rows and filter (SessionRows.cpp) ---
    QList<RenderedRow> renderedRows() const;
    QList<QUuid> visibleItemIDs(TaskSection section) const;
    bool matchesFilter(const QUuid& id) const;
    void setFilterQuery(const QString& text);

    // --- Commands (SessionCommands.cpp) ---
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

    // Selection rules shared by the commands.
    static QList<SessionSelection> selectableTargets(const QList<RenderedRow>& rows);
    SessionSelection resolvedSelection(const std::optional<SessionSelection>& candidate) const;
    SessionSelection selectionAfterRemoving(const QUuid& id, const QList<RenderedRow>& rows) const;
    SessionSelection selectionAfterLeavingSection(
        const QUuid& id, TaskSection section, const QList<RenderedRow>& rows) const;
    SessionSelection fallbackSelection(TaskSection section) const;

    // --- Delayed transitions (SessionTransitions.cpp) ---
    void startCompletionPreview(const QUuid& id, TaskSection section);
    void scheduleTodayToggle(const QUuid& id, TaskSection section);
    void performTodayMove(const QUuid& id, TaskSection sectionLeft, TodayMoveInsertion insertion);
    // Lands every running completion and the waiting move to Next at once, as committed changes,
    // so that nothing the user asked for is lost when the document closes or the application quits.
    void finishPendingTransitions();

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
    void restoreSelection(const SessionSelection& previous, const QUuid& id);
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
    // Published fields, as bits of the set of fields assigned during the current operation.
    enum Field : quint32 {
        ItemsByIDField = 1u << 0,
        WorkingItemIDsField = 1u << 1,
        InboxItemIDsField = 1u << 2,
        CompletedItemIDsField = 1u << 3,
        TaskAnimationsField = 1u << 4,
        CompletionShellField = 1u << 5,
        CompletionTransitionItemIDField = 1u << 6,
        SelectionRevealRevisionField = 1u << 7,
        InputDraftField = 1u << 8,
        IsCreatingNewItemField = 1u << 9,
        SelectionField = 1u << 10,
        InlineEditStateField = 1u << 11,
        EditingBlockedField = 1u << 12,
        FilterQueryField = 1u << 13,
    };

    // Groups the notifications of one operation: signals and committed-change calls are delivered
    // when the outermost scope ends.
    class ChangeScope {
    public:
        explicit ChangeScope(SessionController* session);
        ~ChangeScope();
        ChangeScope(const ChangeScope&) = delete;
        ChangeScope& operator=(const ChangeScope&) = delete;

    private:
        SessionController* m_session;
    };
    friend class ChangeScope;

    void markAssigned(quint32 fields);
    void deliverNotifications();

    // Assignments; each one notifies.
    SessionItemMap& itemsByIDForChange();
    QList<QUuid>& itemIDsForChange(TaskSection section);
    void assignItemsByID(const SessionItemMap& items);
    void assignItemIDs(TaskSection section, const QList<QUuid>& ids);
    void assignTaskAnimations(const TaskAnimationMap& animations);
    void setTaskAnimation(const QUuid& id, TaskAnimationState state);
    void removeTaskAnimation(const QUuid& id);
    void assignCompletionShell(const OptionalCompletionShell& shell);
    void assignCompletionTransitionItemID(const OptionalUuid& id);
    void assignInputDraft(const QString& draft);
    void assignIsCreatingNewItem(bool creating);
    void assignSelection(const SessionSelection& selection);
    void assignInlineEditState(const OptionalInlineEditState& state);
    void assignFilterQuery(const QString& query);

    // Increments selectionRevealRevision.
    void reveal();
    // Calls onCommittedChange when the current operation ends.
    void commit();
    void cancelPendingTodayToggle();
    void undoOrRedo(QList<SessionSnapshot>& source, QList<SessionSnapshot>& destination);

    const SessionItem* item(const QUuid& id) const;
    std::optional<QUuid> selectedTaskID() const;
    // The selected id when it has a section, with that section.
    std::optional<std::pair<QUuid, TaskSection>> selectedTaskWithSection() const;
    bool isSelectedItemAnimating() const;
    // First id of the section that passes the filter.
    std::optional<QUuid> firstVisibleID(TaskSection section) const;
    // The trimmed filter query case-folded under the current locale, empty when nothing is filtered.
    // Also drops the folded texts kept for another locale.
    QString foldedFilterQuery() const;
    bool matchesFoldedQuery(const SessionItem& item, const QString& foldedQuery) const;
    // Whether the selection is one of selectableTargets(renderedRows()).
    bool isSelectableTarget(const SessionSelection& selection) const;

    // A row reduced to what the selection rules look at; the commands use these instead of full
    // rows so that they copy no texts.
    struct RowStop {
        RenderedRow::Kind kind;
        TaskSection section;
        QUuid itemID;
    };
    QList<RowStop> rowStops() const;
    // selectionAfterLeavingSection on the current rows.
    SessionSelection nextSelectionLeaving(const QUuid& id, TaskSection section) const;
    // Calls visit(kind, section, id, item, shell) for each row in display order; item is set for task
    // rows, shell for completion-shell rows.
    template <typename Visit>
    void walkRows(Visit&& visit) const;

    // Transition steps.
    void showShellAndScheduleLanding(
        const QUuid& id, TaskSection section, bool isCompleted, std::function<void()> landing);
    // Clears the shell of the task landing now and takes the task out of its section; false when
    // the task no longer exists.
    bool liftLandingItem(const QUuid& id);
    void landCompletion(const QUuid& id);
    void landTodayMove(const QUuid& id, TaskSection sectionLeft, TodayMoveInsertion insertion);
    void runPendingLanding();

    Scheduler* m_scheduler;

    SessionItemMap m_itemsByID;
    QList<QUuid> m_workingItemIDs;
    QList<QUuid> m_inboxItemIDs;
    QList<QUuid> m_completedItemIDs;
    TaskAnimationMap m_taskAnimations;
    OptionalCompletionShell m_completionShell;
    OptionalUuid m_completionTransitionItemID;
    int m_selectionRevealRevision = 0;
    QString m_inputDraft;
    bool m_isCreatingNewItem = false;
    SessionSelection m_selection;
    OptionalInlineEditState m_inlineEditState;
    bool m_editingBlocked = false;
    QString m_filterQuery;
    QList<SessionSnapshot> m_undoStack;
    QList<SessionSnapshot> m_redoStack;
    std::optional<SessionSelection> m_selectionBeforeCreatingNewItem;
    std::optional<PendingTodayToggleCommand> m_pendingTodayToggleCommand;

    // Pasteboard, links and row actions.
    std::shared_ptr<Pasteboard> m_pasteboard;
    std::shared_ptr<UrlOpener> m_urlOpener;
    std::optional<QUrl> firstLinkOfItem(const QUuid& id) const;
    // Whether the task may leave its section for target (the per-row predicates).
    bool canMoveItemBetweenSections(const QUuid& id, TaskSection target) const;
    // Selects id, runs action, restores the selection; notifies nothing when nothing changed.
    void runWithItemSelected(const QUuid& id, const std::function<void()>& action);

    // The landing step posted by the last shell step that has not run yet.
    struct PendingLanding {
        QUuid itemID;
        ScheduledJob job;
        std::function<void()> land;
    };
    std::optional<PendingLanding> m_pendingLanding;

    int m_scopeDepth = 0;
    quint32 m_assignedFields = 0;
    int m_pendingCommits = 0;

    // How the current locale folds case for searching.
    struct FoldRules {
        QLocale locale = QLocale::c();
        bool ownCaseRules = false; // lower-casing differs from the default mapping
        bool turkic = false; // capital I is dotless
        QString fold(QStringView text) const;
        void appendFoldedTask(QString& out, const SessionItem& item) const;
    };
    mutable FoldRules m_foldRules;
    // The folded texts of one section in list order, valid while the section's list and the item
    // map are the very containers they were built from (the copies keep those alive), so that a
    // keystroke in the search field runs only one substring search per task.
    struct SectionFolds {
        QList<QUuid> ids;
        SessionItemMap items;
        QString text; // the folded texts one after another
        QList<qsizetype> starts; // where each task's text starts, plus the end
        QList<const SessionItem*> found; // each id's item in `items`, which the session's map shares
        bool valid = false;
        bool matches(qsizetype index, const QString& foldedQuery) const;
    };
    mutable std::array<SectionFolds, 3> m_sectionFolds;
    const SectionFolds& sectionFolds(TaskSection section) const;
};
