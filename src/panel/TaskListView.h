#pragma once

#include "panel/ContextMenuItem.h"
#include "panel/LinkHoverOverlay.h"
#include "panel/LinkLayoutKey.h"
#include "panel/PanelFocus.h"
#include "panel/SelectionPresentationState.h"
#include "panel/TaskRowDropDelegate.h"
#include "platform/Scheduler.h"
#include "session/RenderedRow.h"

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
// derives. Rows are painted by the view itself and only those in sight are painted; their heights
// are known without layout (one line collapsed; the expanded or edited row measured through the
// layout cache), so a list of ten thousand tasks opens and scrolls as fast as a short one. The
// only child widgets are the two text editors, placed over their rows while those exist.
class TaskListView : public QAbstractScrollArea {
    Q_OBJECT

public:
    // One laid-out block of the list, in content coordinates.
    struct Block {
        enum class Kind { header, input, task, completionShell, spacer };
        Kind kind = Kind::spacer;
        TaskSection section = TaskSection::working;
        qsizetype row = -1; // index into rows() for task, shell and spacer blocks
        double top = 0;
        double height = 0;
        // Below 1 while the row collapses away or grows in; height is already scaled by it.
        double progress = 1;
    };

    static constexpr double horizontalPadding = 12;
    static constexpr double verticalPadding = 16;
    static constexpr double rowPadding = 12;
    static constexpr double cornerRadius = 10;
    static constexpr double revealBottomPadding = 16;
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
    bool isWindowActive() const { return m_windowActive; }
    void setDocumentColor(const QColor& color);
    // The input row accepts typing only while the document may be saved.
    void setInputEditable(bool editable);
    void setAnimationsEnabled(bool enabled) { m_animationsEnabled = enabled; }
    // A press in the list takes the focus from the search field.
    std::function<void()> resignSearchFieldFocus;

    // --- Presentation state ---
    std::optional<PanelFocus> panelFocus() const { return m_panelFocus; }
    std::optional<QUuid> expandedSelectionTaskID() const { return m_expandedSelectionTaskID; }
    std::optional<QUuid> contextMenuTargetItemID() const { return m_contextMenuTargetItemID; }
    const QHash<QUuid, SelectionPresentationState>& selectionPresentationStates() const
    {
        return m_selectionPresentationStates;
    }
    double scrollContentWidth() const { return m_scrollContentWidth; }
    double inputEditorHeight() const { return m_inputEditorHeight; }
    // Until this monotonic time, arrow-key moves count as one burst (set by the key handler).
    double keyboardNavigationBurstUntil() const { return m_keyboardNavigationBurstUntil; }
    void setKeyboardNavigationBurstUntil(double time) { m_keyboardNavigationBurstUntil = time; }
    double lastKeyboardNavigationTimestamp() const { return m_lastKeyboardNavigationTimestamp; }
    void setLastKeyboardNavigationTimestamp(double time) { m_lastKeyboardNavigationTimestamp = time; }
    // The task being dragged, raised and filled (drag and drop sets it).
    std::optional<QUuid> draggedTaskID() const { return m_draggedTaskID; }
    void setDraggedTaskID(const std::optional<QUuid>& id);

    // --- Layout, for the key handler, drag and drop and tests ---
    // The session's rows, plus those still collapsing away.
    const QList<RenderedRow>& rows() const { return m_rows; }
    const std::vector<Block>& blocks() const { return m_blocks; }
    double contentHeight() const { return m_contentHeight; }
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
    // How far a row is raised for its drag: 0 at rest, 1 fully raised.
    double raiseProgress(const QUuid& id) const;
    // The drop target of the task row under a viewport point, and the point's height inside it.
    std::optional<TaskRowDropDelegate> dropDelegateAt(QPoint viewportPoint, double* yInRow = nullptr);
    // A dragged row held this close to the top or bottom edge scrolls the list, at up to
    // autoScrollSpeed points a second right at the edge.
    static constexpr double autoScrollMargin = 40;
    static constexpr double autoScrollSpeed = 1200;

    // --- Transitions (TaskListViewTransitions.cpp) ---
    static constexpr double collapseDuration = 0.35;
    static constexpr double reorderDuration = 0.25;
    // Progress of the collapse transition of a row (1 when it has none).
    double collapseProgress(const QString& rowID) const;
    double collapseProgress(const RenderedRow& row) const;
    bool hasRunningTransitions() const { return !m_collapses.isEmpty() || !m_motions.isEmpty(); }
    // Runs change so that each row in sight slides from its old place to its new one.
    void animateRowChange(const std::function<void()>& change, double duration = reorderDuration);

    // The selection colour: the document colour while the window is active, else unemphasised.
    QColor selectionColor() const;
    // The fill of a row in text editing (the edited task, the selected input row).
    QColor editingFill() const;

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
    // Geometry of the text of a task row.
    struct TextGeometry {
        double textX = 0;
        double textWidth = 0;
    };

    // Rebuilds the rows from the session, then lays out.
    void rebuildRows();
    // Recomputes block positions and heights (cheap: no text layout for collapsed rows).
    void relayout();
    void updateScrollRange();
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
    void adjustScroll(const QRectF& rowRect, double bottomPadding, bool animated);

    double textWidth() const;
    TextGeometry textGeometry() const;
    double collapsedTextHeight(TaskSection section) const;
    double expandedTextHeight(const RenderedRow& row);
    double editorEstimate(const RenderedRow& row);
    double taskTextBlockHeight(const RenderedRow& row);
    bool isExpandedRow(const QUuid& id) const;
    const Block* blockAtContentY(double y) const;
    const Block* blockForRowID(const QString& rowID) const;
    QString blockID(const Block& block) const;
    QRectF blockRect(const Block& block) const;
    std::optional<LinkLayoutKey> linkKeyFor(const Block& block, QRectF* textRect);
    // The link area under a viewport point, once its row's link areas are known, and its task.
    std::optional<LinkHoverOverlay::Region> linkRegionAt(QPoint viewportPoint, QUuid* itemID = nullptr);

    void paintHeader(QPainter& painter, const Block& block, const QRectF& rect);
    void paintTaskRow(QPainter& painter, const Block& block, const QRectF& rect);
    void paintInputRow(QPainter& painter, const QRectF& rect);
    void paintMarker(
        QPainter& painter, TaskSection section, QPointF origin, const QColor& color, double lineSpacing);

    // Drag and drop, transitions.
    void setRaiseTarget(bool raised);
    bool dragOver(QDropEvent* event);
    // Scrolling while a dragged row is held near an edge, paced by the scheduler.
    void updateAutoScroll(QPoint viewportPoint);
    void stopAutoScroll();
    void autoScrollStep();
    double autoScrollVelocity() const;
    // Merges rows that are still collapsing away into next and starts the transitions of a change.
    QList<RenderedRow> withCollapseTransitions(const QList<RenderedRow>& next);
    // Positions of the rows in sight, before a change that slides them.
    QHash<QString, double> visibleRowTops() const;
    void startMotions(const QHash<QString, double>& before);
    void scheduleTransitionFrame();
    void transitionFrame();
    // The vertical offset a sliding row is drawn at.
    double motionOffset(const QString& rowID) const;
    void paintRaisedShadow(QPainter& painter, const QRectF& rect, double raise);
    // Paints a task or shell row with its slide, collapse and raise.
    void paintTransitionedRow(QPainter& painter, const Block& block, const QRectF& rect);

    QColor primaryTextColor() const;
    QColor secondaryTextColor() const;
    QColor selectedTextColor() const;

    SessionController* m_session;
    Scheduler* m_scheduler;
    TaskTextLayoutCache* m_cache;
    TaskRowContextTargetMonitor* m_contextMonitor;

    QList<RenderedRow> m_rows;
    std::vector<Block> m_blocks;
    double m_contentHeight = 0;

    bool m_windowActive = false;
    QColor m_documentColor;
    bool m_inputEditable = true;
    bool m_animationsEnabled = true;

    std::optional<PanelFocus> m_panelFocus;
    double m_scrollContentWidth = 0;
    QHash<QUuid, SelectionPresentationState> m_selectionPresentationStates;
    std::optional<QUuid> m_expandedSelectionTaskID;
    double m_keyboardNavigationBurstUntil = 0;
    double m_lastKeyboardNavigationTimestamp = 0;
    std::optional<QUuid> m_contextMenuTargetItemID;
    double m_inputEditorHeight = 28;
    QHash<QUuid, double> m_editEditorHeights;
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
    std::optional<QUuid> m_raisedTaskID;
    double m_raiseProgress = 0;
    QVariantAnimation* m_raiseAnimation = nullptr;
    struct Collapse {
        double start = 0;
        bool inserting = false;
        // The row; a removed one keeps being drawn until it has collapsed.
        RenderedRow row;
        // It is drawn below the row it followed, or first in its section.
        std::optional<QUuid> anchorItemID;
    };
    std::optional<RenderedRow> m_liveShell;
    QHash<QString, Collapse> m_collapses;
    struct Motion {
        double start = 0;
        double duration = 0;
        double offset = 0;
    };
    QHash<QString, Motion> m_motions;
    std::optional<double> m_pendingMotionDuration;
    bool m_transitionFrameScheduled = false;
    bool m_pressWasDoubleClick = false;
    ScheduledJob m_autoScrollJob;
    QPoint m_autoScrollPoint;
    double m_autoScrollTime = 0;
    double m_autoScrollRemainder = 0;
};
