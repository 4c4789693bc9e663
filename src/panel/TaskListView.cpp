#include "panel/TaskListView.h"

#include "panel/GrowingTextView.h"
#include "panel/PanelStyle.h"
#include "panel/TaskListAccessibility.h"
#include "panel/TaskRowContextTargetMonitor.h"
#include "panel/TaskTextLayout.h"
#include "panel/TaskTextLayoutCache.h"
#include "platform/Scheduler.h"
#include "session/SessionController.h"

#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QVariantAnimation>

#include <QPaintEvent>

#include <algorithm>
#include <cmath>

TaskListView::TaskListView(SessionController* session, Scheduler* scheduler, QWidget* parent)
    : QAbstractScrollArea(parent),
      m_session(session),
      m_scheduler(scheduler ? scheduler : Scheduler::system()),
      m_cache(&TaskTextLayoutCache::shared()),
      m_layout(m_cache),
      m_transitions(new TaskRowTransitions(m_scheduler, this))
{
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    viewport()->setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    TaskListAccessibility::installFactory();
    // A wheel notch scrolls about one collapsed row.
    verticalScrollBar()->setSingleStep(24);
    m_lastRevealRevision = session->selectionRevealRevision();

    connect(m_transitions, &TaskRowTransitions::frame, this, &TaskListView::onTransitionFrame);
    connect(m_transitions, &TaskRowTransitions::raiseChanged, viewport(), qOverload<>(&QWidget::update));

    m_contextMonitor = new TaskRowContextTargetMonitor(viewport(), this);
    m_contextMonitor->onContextMenuPress = [this](QPoint point) {
        if (const auto id = taskAt(point))
            noteContextMenuPress(*id);
    };

    // Field signals of one session operation arrive together, followed by changed(); the list
    // notes which fields moved and reacts once, in changed().
    struct Pending {
        bool rows = false, selection = false, inlineEdit = false, reveal = false, draft = false;
    };
    auto pending = std::make_shared<Pending>();
    const auto markRows = [pending] { pending->rows = true; };
    connect(session, &SessionController::itemsByIDChanged, this, markRows);
    connect(session, &SessionController::workingItemIDsChanged, this, markRows);
    connect(session, &SessionController::inboxItemIDsChanged, this, markRows);
    connect(session, &SessionController::completedItemIDsChanged, this, markRows);
    connect(session, &SessionController::completionShellChanged, this, markRows);
    connect(session, &SessionController::isCreatingNewItemChanged, this, markRows);
    connect(session, &SessionController::filterQueryChanged, this, markRows);
    connect(session, &SessionController::inputDraftChanged, this, [pending] { pending->draft = true; });
    connect(session, &SessionController::selectionChanged, this, [pending] { pending->selection = true; });
    connect(
        session, &SessionController::inlineEditStateChanged, this, [pending] { pending->inlineEdit = true; });
    connect(session, &SessionController::selectionRevealRevisionChanged, this,
        [pending] { pending->reveal = true; });
    connect(session, &SessionController::changed, this, [this, pending] {
        const Pending p = *pending;
        *pending = Pending();
        m_layout.setEditedTaskID(m_session->inlineEditState()
                ? std::optional<QUuid>(m_session->inlineEditState()->itemID)
                : std::nullopt);
        if (p.rows)
            rebuildRows();
        else if (p.selection || p.inlineEdit || p.draft)
            relayout();
        const bool inputOpens = m_session->isCreatingNewItem() && !m_inputEditor;
        syncEditors();
        const std::optional<QUuid> editedID = m_session->inlineEditState()
            ? std::optional<QUuid>(m_session->inlineEditState()->itemID)
            : std::nullopt;
        if (p.selection) {
            onSelectionChanged();
        } else if (editedID != m_inlineEditedID) {
            onInlineEditChanged();
        }
        m_inlineEditedID = editedID;
        if (p.reveal)
            onRevealRevisionChanged();
        if (m_accessibility || TaskListAccessibility::isListening())
            accessibility()->noteChange(p.rows);
        // The input row opens to be typed into, so it comes into sight.
        if (inputOpens && m_session->selection().isInput())
            revealSelection(true);
        viewport()->update();
    });

    m_inlineEditedID = session->inlineEditState() ? std::optional<QUuid>(session->inlineEditState()->itemID)
                                                  : std::nullopt;
    m_layout.setEditedTaskID(m_inlineEditedID);
    rebuildRows();
    syncEditors();
}

TaskListView::~TaskListView() = default;

TaskListAccessibility* TaskListView::accessibility()
{
    if (!m_accessibility)
        m_accessibility = new TaskListAccessibility(this);
    return m_accessibility;
}

// --- Presentation inputs ---

void TaskListView::setWindowActive(bool active)
{
    if (m_windowActive == active)
        return;
    m_windowActive = active;
    syncEditors();
    viewport()->update();
}

void TaskListView::setDocumentColor(const QColor& color)
{
    if (m_documentColor == color)
        return;
    m_documentColor = color;
    syncEditors();
    viewport()->update();
}

void TaskListView::setInputEditable(bool editable)
{
    if (m_inputEditable == editable)
        return;
    m_inputEditable = editable;
    syncEditors();
}

TaskRowColors TaskListView::colors() const
{
    return TaskRowColors {palette(), m_windowActive, m_documentColor};
}

// --- Layout ---

void TaskListView::rebuildRows()
{
    std::optional<QHash<QString, double>> before;
    if (m_transitions->pendingMotionDuration() && animated())
        before = visibleRowTops(true);
    const auto& shell = m_session->completionShell();
    const CompletionShellState* shellState = shell ? &*shell : nullptr;
    const QList<RowSplice> splices = m_session->updateRows(m_seenRows);
    // The new rows read their text from the tasks they were made from, kept until the next update.
    m_layout.setItems(m_seenRows.items());
    if (m_transitions->mergesRows(shellState, animated())) {
        // Rows collapsing away are spliced in and out around the session's splices.
        m_transitions->spliceWithCollapses(m_layout, splices, shellState, animated(),
            [this](const QList<RowSplice>& splices) { spliceRows(splices); });
    } else {
        spliceRows(splices);
        const qsizetype shellRow
            = shell ? m_layout.rowIndex(shell->itemID, RenderedRow::Kind::completionShell) : -1;
        m_transitions->noteShownShell(shellRow >= 0 ? &m_layout.rows()[shellRow] : nullptr, animated());
    }
    relayout();
    if (before)
        m_transitions->startMotions(*before, visibleRowTops(false));
}

void TaskListView::spliceRows(const QList<RowSplice>& splices)
{
    // The accessibility tree reads the rows that leave before they go: pass by pass, when the
    // rows of a list taken whole are followed by the changes since.
    for (const QList<RowSplice>& pass : rowSplicePasses(splices)) {
        if (m_accessibility)
            m_accessibility->noteSplices(m_layout.rows(), pass);
        m_layout.applySplices(pass);
    }
}

void TaskListView::relayout()
{
    if (m_transitions->hasCollapses())
        m_layout.relayout([this](const RenderedRow& row) { return m_transitions->collapseProgress(row); },
            m_transitions->collapsingRows());
    else
        m_layout.relayout();
    updateScrollRange();
    placeEditors();
    viewport()->update();
}

void TaskListView::updateScrollRange()
{
    const int viewportHeight = viewport()->height();
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(viewportHeight);
    bar->setRange(0, std::max(0, int(std::ceil(m_layout.contentHeight())) - viewportHeight));
}

double TaskListView::scrollOffset() const
{
    return verticalScrollBar()->value();
}

void TaskListView::setScrollOffset(double offset)
{
    verticalScrollBar()->setValue(int(std::lround(offset)));
}

QRectF TaskListView::blockRect(const Block& block) const
{
    return TaskRowLayout::blockRect(block, viewport()->width());
}

QRectF TaskListView::rowRect(const QString& rowID) const
{
    const std::optional<Block> block = m_layout.blockForRowID(rowID);
    return block ? blockRect(*block) : QRectF();
}

QString TaskListView::rowIDAt(QPoint viewportPoint) const
{
    const QPointF point(viewportPoint.x(), viewportPoint.y() + scrollOffset());
    const std::optional<Block> block = m_layout.blockAt(point.y());
    if (!block || !blockRect(*block).contains(point))
        return {};
    return m_layout.blockID(*block);
}

std::optional<QUuid> TaskListView::taskAt(QPoint viewportPoint) const
{
    const QPointF point(viewportPoint.x(), viewportPoint.y() + scrollOffset());
    const std::optional<Block> block = m_layout.blockAt(point.y());
    if (!block || block->kind != Block::Kind::task || !blockRect(*block).contains(point))
        return std::nullopt;
    return m_layout.rows()[block->row].itemID;
}

void TaskListView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    const bool widthChanged = m_layout.scrollContentWidth() != viewport()->width();
    m_layout.setScrollContentWidth(viewport()->width());
    if (widthChanged)
        retargetExpansion();
    relayout();
}

void TaskListView::showEvent(QShowEvent* event)
{
    QAbstractScrollArea::showEvent(event);
    m_layout.setScrollContentWidth(viewport()->width());
    synchroniseFocusAndExpansion();
    relayout();
}

void TaskListView::scrollContentsBy(int, int)
{
    placeEditors();
    viewport()->update();
}

void TaskListView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange
        || event->type() == QEvent::ApplicationFontChange) {
        m_layout.invalidate();
        syncEditors();
        relayout();
    }
}

// --- Painting: only the blocks that intersect the exposed area are drawn ---

QString TaskListView::sectionTitle(TaskSection section)
{
    return taskSectionTitle(section);
}

TaskRowPainter::RowLook TaskListView::rowLook(const Block& block) const
{
    const RenderedRow& row = m_layout.rows()[block.row];
    TaskRowPainter::RowLook look;
    look.shell = block.kind == Block::Kind::completionShell;
    if (!look.shell) {
        look.selected = m_session->selection() == SessionSelection::task(row.itemID);
        look.editing = m_session->inlineEditState() && m_session->inlineEditState()->itemID == row.itemID;
        look.expanded = m_layout.isExpanded(row.itemID);
        look.contextMenuTarget = m_contextMenuTargetItemID == row.itemID;
        look.raise = m_transitions->raiseProgress(row.itemID);
    }
    // A task in its completion preview already looks done.
    look.struckThrough = row.section == TaskSection::completed || row.isCompleted
        || m_session->taskAnimations().contains(row.itemID);
    return look;
}

void TaskListView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    const double offset = scrollOffset();
    const QRectF exposed = QRectF(event->rect()).translated(0, offset);
    painter.translate(0, -offset);
    TaskRowPainter rows(painter, m_layout, colors(), *m_cache);
    rows.onLinkRegionsReady = [target = QPointer<QWidget>(viewport())] {
        if (target)
            target->update();
    };

    const std::optional<QUuid> raisedID = m_transitions->raisedTaskID();
    int painted = 0;
    std::optional<Block> raised;
    const auto paintRow = [&](const Block& block) {
        const double motion
            = m_transitions->hasMotions() ? m_transitions->motionOffset(m_layout.blockID(block)) : 0;
        rows.paintTransitionedRow(
            m_layout.rows()[block.row], rowLook(block), blockRect(block), block.progress, motion);
    };
    for (qsizetype i = std::max<qsizetype>(0, m_layout.blockIndexAt(exposed.top()));
         i < m_layout.blockCount(); ++i) {
        const Block block = m_layout.block(i);
        if (block.top >= exposed.bottom())
            break;
        if (block.top + block.height < exposed.top())
            continue;
        switch (block.kind) {
        case Block::Kind::header:
            rows.paintHeader(block.section, blockRect(block));
            break;
        case Block::Kind::input:
            rows.paintInputRow(
                m_session->selection().isInput(), m_session->inputDraft().isEmpty(), blockRect(block));
            ++painted;
            break;
        case Block::Kind::task:
        case Block::Kind::completionShell:
            // The raised row lies above its neighbours, so it is painted last.
            if (block.kind == Block::Kind::task && raisedID && m_layout.rows()[block.row].itemID == *raisedID)
                raised = block;
            else
                paintRow(block);
            ++painted;
            break;
        case Block::Kind::spacer:
            break;
        }
    }
    if (raised)
        paintRow(*raised);
    m_lastPaintedRowCount = painted;
}

// --- Transitions ---

void TaskListView::animateRowChange(const std::function<void()>& change, double duration)
{
    m_transitions->animateRowChange(change, duration);
}

QHash<QString, double> TaskListView::visibleRowTops(bool drawn) const
{
    // Only rows in sight and a screen around it slide; identifiers are made for those alone.
    QHash<QString, double> tops;
    const double top = scrollOffset() - viewport()->height();
    const double bottom = scrollOffset() + 2 * viewport()->height();
    for (qsizetype i = std::max<qsizetype>(0, m_layout.blockIndexAt(top)); i < m_layout.blockCount(); ++i) {
        const Block block = m_layout.block(i);
        if (block.top > bottom)
            break;
        if (block.top + block.height < top || block.kind != Block::Kind::task)
            continue;
        const QString id = m_layout.blockID(block);
        tops.insert(id, block.top + (drawn ? m_transitions->motionOffset(id) : 0));
    }
    return tops;
}

void TaskListView::onTransitionFrame(bool rowsRemoved)
{
    if (rowsRemoved)
        rebuildRows();
    else
        relayout();
    viewport()->update();
}
