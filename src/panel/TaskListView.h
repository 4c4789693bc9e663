#pragma once

#include "panel/ContextMenuItem.h"
#include "panel/LinkHoverOverlay.h"
#include "panel/LinkLayoutKey.h"
#include "panel/PanelFocus.h"
#include "panel/TaskRowDropDelegate.h"
#include "panel/TaskRowLayout.h"
#include "panel/TaskRowPainter.h"
#include "panel/TaskRowTransitions.h"
#include "platform/Scheduler.h"
#include "session/RenderedRow.h"
#include "session/SessionRows.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QHash>
#include <QPointer>
#include <QUuid>

#include <functional>
#include <optional>
#include <vector>

#include "panel/GrowingTextView.h"
class QDrag;
class QMenu;
class QVariantAnimation;
class SessionController;
class TaskListAccessibility;
class TaskRowContextTargetMonitor;
class TaskTextLayoutCache;

// The task list of a panel: three section headers, the input row, and the rows the session
// derives. A thin widget over three parts: the row layout says where each row lies (heights known
// without layout: one line collapsed; the expanded or edited row measured through the layout
// cache), the row painter draws the rows in sight, and the row transitions run the collapses,
// slides and the raised drag. The view routes the session's changes, pointer and drag events to
// them and presents the selection (focus, delayed expansion, reveal). The only child widgets are
// the two text editors, placed over their rows while those exist.
class TaskListView : public QAbstractScrollArea {
    Q_OBJECT

public:
    using Block = TaskRowLayout::Block;
    static constexpr double expansionDelay = 0.14;
    static constexpr double burstExpansionDelay = 0.28;

    explicit TaskListView(
        SessionController* session, Scheduler* scheduler = nullptr, QWidget* parent = nullptr);
    ~TaskListView() override;

    SessionController* session() const { return m_session; }
    // The heading of a section ("Next", "Pending", "Complete").
    static QString sectionTitle(TaskSection section);
    // What assistive technologies read of the list, made when one first asks for it.
    TaskListAccessibility* accessibility();

    // --- Presentation inputs, set by the root view ---
    void setWindowActive(bool active);
    void setDocumentColor(const QColor& color);
    // The input row accepts typing only while the document may be saved.
    void setInputEditable(bool editable);
    void setAnimationsEnabled(bool enabled) { m_animationsEnabled = enabled; }
    // A press in the list takes the focus from the search field.
    std::function<void()> resignSearchFieldFocus;

    // --- Presentation state ---
    std::optional<PanelFocus> panelFocus() const { return m_panelFocus; }
    std::optional<QUuid> expandedSelectionTaskID() const { return m_layout.expandedTaskID(); }
    std::optional<QUuid> contextMenuTargetItemID() const { return m_contextMenuTargetItemID; }
    // Until this monotonic time, arrow-key moves count as one burst (set by the key handler).
    double keyboardNavigationBurstUntil() const { return m_keyboardNavigationBurstUntil; }
    void setKeyboardNavigationBurstUntil(double time) { m_keyboardNavigationBurstUntil = time; }
    double lastKeyboardNavigationTimestamp() const { return m_lastKeyboardNavigationTimestamp; }
    void setLastKeyboardNavigationTimestamp(double time) { m_lastKeyboardNavigationTimestamp = time; }
    // The task being dragged, raised and filled (drag and drop sets it).
    std::optional<QUuid> draggedTaskID() const { return m_draggedTaskID; }
    void setDraggedTaskID(const std::optional<QUuid>& id);

    // --- Layout, for the key handler, drag and drop, accessibility and tests ---
    const TaskRowLayout& layout() const { return m_layout; }
    // Where the rows and tasks of a list that was replaced are handed to be freed (TaskRowLayout).
    void setRelease(TaskRowLayout::Release release) { m_layout.setRelease(std::move(release)); }
    const TaskRowTransitions& transitions() const { return *m_transitions; }
    // The rectangle of the row with this identifier ("task-…", "input", "section-header-…"), in
    // content coordinates; empty when it is not in the list.
    QRectF rowRect(const QString& rowID) const;
    // The identifier of the row under a point of the viewport, or an empty string.
    QString rowIDAt(QPoint viewportPoint) const;
    // The task row under a point of the viewport.
    std::optional<QUuid> taskAt(QPoint viewportPoint) const;
    double scrollOffset() const;
    void setScrollOffset(double offset);
    GrowingTextView* inputEditor() const { return m_inputEditor; }
    GrowingTextView* inlineEditor() const { return m_inlineEditor; }
    // How many rows the last paint drew.
    int lastPaintedRowCount() const { return m_lastPaintedRowCount; }

    // --- Actions ---
    // A click on a task row; a double click also opens its inline editor.
    void tap(const QUuid& id, bool doubleClick);
    // A click on the input row.
    void tapInput();
    // The context menu of a task row, as the list offers it.
    QList<ContextMenuItem> contextMenuItems(const QUuid& id);
    // A press that opens a context menu on a row; outlines it while it is not the selection.
    void noteContextMenuPress(const QUuid& id);
    void clearContextMenuTarget();
    // Scrolls so the selected row is visible (without animation).
    void scrollSelectionIntoView();

    // --- Drag and drop (TaskListViewDrag.cpp) ---
    // Starts dragging a task row, raised in place, when the task may be reordered; answers whether
    // a drag ran. Whatever way the drag ends, the row comes down again.
    bool startTaskDrag(const QUuid& id);
    // Runs a prepared drag and answers its result; by default the platform's drag loop.
    std::function<Qt::DropAction(QDrag*)> runDrag;
    // The drop target of the task row under a viewport point, and the point's height inside it.
    std::optional<TaskRowDropDelegate> dropDelegateAt(QPoint viewportPoint, double* yInRow = nullptr);
    // A dragged row held this close to the top or bottom edge scrolls the list, at up to
    // autoScrollSpeed points a second right at the edge.
    static constexpr double autoScrollMargin = 40;
    static constexpr double autoScrollSpeed = 1200;
    // Runs change so that each row in sight slides from its old place to its new one.
    void animateRowChange(
        const std::function<void()>& change, double duration = TaskRowTransitions::reorderDuration);

Q_SIGNALS:
    void contextMenuTargetItemIDChanged();
    void expandedSelectionTaskIDChanged();
    void panelFocusChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    // Brings the rows up to date with the session by splices, then lays out.
    void rebuildRows();
    // Every change of the layout's rows goes through here.
    void spliceRows(const QList<RowSplice>& splices);
    // Recomputes block positions and heights (cheap: no text layout for collapsed rows).
    void relayout();
    void updateScrollRange();
    bool animated() const { return m_animationsEnabled && isVisible(); }
    TaskRowColors colors() const;
    QRectF blockRect(const Block& block) const;

    // Editors and the selection's presentation (TaskListViewSelection.cpp).
    void placeEditors();
    void syncEditors();
    // The open editor that should hold the keyboard focus, if any.
    GrowingTextView* editorWantingFocus() const;
    void onSelectionChanged();
    void onInlineEditChanged();
    void onRevealRevisionChanged();
    void synchroniseFocusAndExpansion();
    void applyExpansion(const std::optional<QUuid>& previous, const std::optional<QUuid>& next);
    void retargetExpansion();
    void revealSelection(bool animated);
    // The rectangle of the selected row, or an empty one.
    QRectF selectedRowRect() const;
    void adjustScroll(const QRectF& rowRect, double bottomPadding, bool animated);

    std::optional<LinkLayoutKey> linkKeyFor(const Block& block, QRectF* textRect);
    // The link area under a viewport point, once its row's link areas are known, and its task.
    std::optional<LinkHoverOverlay::Region> linkRegionAt(QPoint viewportPoint, QUuid* itemID = nullptr);

    // Painting and transitions.
    TaskRowPainter::RowLook rowLook(const Block& block) const;
    // Positions of the rows in sight (and a screen around them), for the slides of a change; drawn
    // includes where running slides draw them.
    QHash<QString, double> visibleRowTops(bool drawn) const;
    void onTransitionFrame(bool rowsRemoved);

    // Drag and drop (TaskListViewDrag.cpp).
    bool dragOver(QDropEvent* event);
    // Scrolling while a dragged row is held near an edge, paced by the scheduler.
    void updateAutoScroll(QPoint viewportPoint);
    void stopAutoScroll();
    void autoScrollStep();
    double autoScrollVelocity() const;

    SessionController* m_session;
    Scheduler* m_scheduler;
    TaskTextLayoutCache* m_cache;
    TaskRowContextTargetMonitor* m_contextMonitor;
    TaskRowLayout m_layout;
    TaskRowTransitions* m_transitions;
    // The session's rows as the layout last took them.
    SessionRows::Seen m_seenRows;

    bool m_windowActive = false;
    QColor m_documentColor;
    bool m_inputEditable = true;
    bool m_animationsEnabled = true;

    std::optional<PanelFocus> m_panelFocus;
    double m_keyboardNavigationBurstUntil = 0;
    double m_lastKeyboardNavigationTimestamp = 0;
    std::optional<QUuid> m_contextMenuTargetItemID;
    std::optional<QUuid> m_draggedTaskID;
    std::optional<QUuid> m_inlineEditedID;

    // The selection auto-scroll reporter of the selected row.
    int m_lastRevealRevision = 0;
    double m_lastRevealTimestamp = 0;
    int m_revealGeneration = 0;

    QPointer<TaskListAccessibility> m_accessibility;
    QPointer<GrowingTextView> m_inputEditor;
    QPointer<GrowingTextView> m_inlineEditor;
    QVariantAnimation* m_heightAnimation = nullptr;
    std::optional<QUuid> m_animatingID;
    QVariantAnimation* m_scrollAnimation = nullptr;
    int m_lastPaintedRowCount = 0;

    // The pressed task row, until a release taps it or a move starts dragging it.
    std::optional<QUuid> m_pressedTaskID;
    QPoint m_pressPosition;
    ScheduledJob m_autoScrollJob;
    QPoint m_autoScrollPoint;
    double m_autoScrollTime = 0;
    double m_autoScrollRemainder = 0;
};
