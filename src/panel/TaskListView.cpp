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

#include <algorithm>
#include <cmath>

namespace {

QFont headerFont()
{
    QFont font = PanelStyle::font(PanelStyle::TextStyle::caption2);
    font.setBold(true);
    return font;
}

} // namespace

TaskListView::TaskListView(SessionController* session, Scheduler* scheduler, QWidget* parent)
    : QAbstractScrollArea(parent),
      m_session(session),
      m_scheduler(scheduler ? scheduler : Scheduler::system()),
      m_cache(&TaskTextLayoutCache::shared())
{
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    viewport()->setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    TaskListAccessibility::installFactory();
    verticalScrollBar()->setSingleStep(24);
    m_lastRevealRevision = session->selectionRevealRevision();

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

QColor TaskListView::selectionColor() const
{
    if (!m_windowActive)
        return PanelStyle::unemphasizedSelectionColor(palette());
    return m_documentColor.isValid() ? m_documentColor : PanelStyle::defaultDocumentColor(palette());
}

QColor TaskListView::editingFill() const
{
    return PanelStyle::editingFill(selectionColor(), palette().color(QPalette::Window), selectedTextColor());
}

QColor TaskListView::primaryTextColor() const
{
    return PanelStyle::labelColor(palette());
}

QColor TaskListView::secondaryTextColor() const
{
    return PanelStyle::secondaryLabelColor(palette());
}

QColor TaskListView::selectedTextColor() const
{
    return m_windowActive ? PanelStyle::alternateSelectedTextColor(palette())
                          : PanelStyle::labelColor(palette());
}

// --- Layout ---

double TaskListView::textWidth() const
{
    if (m_scrollContentWidth - 24 <= 0)
        return 320;
    return std::max(m_scrollContentWidth - 24 - 24 - 8 - 10, 120.0);
}

TaskListView::TextGeometry TaskListView::textGeometry() const
{
    // Padding, the 8-point marker and the 10-point gap; the text block sits 2 points further in.
    return TextGeometry {horizontalPadding + rowPadding + 8 + 10 - 2, textWidth()};
}

double TaskListView::collapsedTextHeight(TaskSection section) const
{
    const QFontMetricsF metrics(PanelStyle::titleFont(section == TaskSection::working));
    return std::max(metrics.ascent() + metrics.descent() + metrics.leading(),
        PanelStyle::titleFont(section == TaskSection::working).pointSizeF());
}

double TaskListView::expandedTextHeight(const RenderedRow& row)
{
    const double width = textWidth();
    double height
        = m_cache->textHeight(row.title, PanelStyle::titleFont(row.section == TaskSection::working), width);
    if (row.note && !row.note->isEmpty())
        height += 4 + m_cache->textHeight(*row.note, PanelStyle::noteFont(), width);
    return height;
}

double TaskListView::editorEstimate(const RenderedRow& row)
{
    const QFont font = PanelStyle::titleFont(row.section == TaskSection::working);
    const QString joined = editableText(row.title, row.note);
    const double line = QFontMetricsF(font).lineSpacing();
    if (m_scrollContentWidth - 24 <= 0)
        return line * std::max<qsizetype>(1, joined.count(QLatin1Char('\n')) + 1);
    return std::max(m_cache->textHeight(joined, font, textWidth()), line);
}

bool TaskListView::isExpandedRow(const QUuid& id) const
{
    if (m_expandedSelectionTaskID == id)
        return true;
    auto found = m_selectionPresentationStates.constFind(id);
    return found != m_selectionPresentationStates.constEnd() && found->visibleExpanded;
}

double TaskListView::taskTextBlockHeight(const RenderedRow& row)
{
    if (row.kind == RenderedRow::Kind::task && m_session->inlineEditState()
        && m_session->inlineEditState()->itemID == row.itemID) {
        auto measured = m_editEditorHeights.constFind(row.itemID);
        return measured != m_editEditorHeights.constEnd() ? *measured : editorEstimate(row);
    }
    auto state = m_selectionPresentationStates.constFind(row.itemID);
    if (state != m_selectionPresentationStates.constEnd() && state->animatedHeight)
        return *state->animatedHeight;
    if (row.kind == RenderedRow::Kind::task && isExpandedRow(row.itemID))
        return expandedTextHeight(row);
    return collapsedTextHeight(row.section);
}

void TaskListView::rebuildRows()
{
    std::optional<QHash<QString, double>> before;
    if (m_pendingMotionDuration && m_animationsEnabled && isVisible())
        before = visibleRowTops();
    m_rows = withCollapseTransitions(m_session->renderedRows());
    relayout();
    if (before)
        startMotions(*before);
}

void TaskListView::relayout()
{
    m_blocks.clear();
    m_blocks.reserve(size_t(m_rows.size()) + 4);
    const double headerLine = QFontMetricsF(headerFont()).lineSpacing();
    double y = verticalPadding;
    // Rows arrive section by section; collapsed rows of a section share one height.
    double collapsed[3] = {collapsedTextHeight(TaskSection::working), collapsedTextHeight(TaskSection::inbox),
        collapsedTextHeight(TaskSection::completed)};
    const bool creating = m_session->isCreatingNewItem();
    qsizetype index = 0;
    for (TaskSection section : allTaskSections) {
        Block header;
        header.kind = Block::Kind::header;
        header.section = section;
        header.top = y;
        header.height = (section == TaskSection::working ? 0 : 18) + headerLine + 10;
        m_blocks.push_back(header);
        y += header.height;
        if (section == TaskSection::inbox && creating) {
            Block input;
            input.kind = Block::Kind::input;
            input.section = section;
            input.top = y;
            input.height = 2 * rowPadding + m_inputEditorHeight;
            m_blocks.push_back(input);
            y += input.height;
        }
        for (; index < m_rows.size(); ++index) {
            const RenderedRow& row = m_rows[index];
            if (row.kind == RenderedRow::Kind::input)
                continue;
            if (row.kind == RenderedRow::Kind::separator) {
                if (row.section == section) {
                    ++index;
                    break;
                }
                continue;
            }
            if (row.section != section)
                break;
            Block block;
            block.section = section;
            block.row = index;
            block.top = y;
            if (row.kind == RenderedRow::Kind::spacer) {
                block.kind = Block::Kind::spacer;
                block.height = row.height;
            } else {
                block.kind
                    = row.kind == RenderedRow::Kind::task ? Block::Kind::task : Block::Kind::completionShell;
                const bool plain = !m_selectionPresentationStates.contains(row.itemID)
                    && m_expandedSelectionTaskID != row.itemID && m_inlineEditedID != row.itemID;
                block.height = 2 * rowPadding + (plain ? collapsed[int(section)] : taskTextBlockHeight(row));
                if (!m_collapses.isEmpty()) {
                    block.progress = collapseProgress(row);
                    block.height *= block.progress;
                }
            }
            m_blocks.push_back(block);
            y += block.height;
        }
    }
    m_contentHeight = y + verticalPadding;
    updateScrollRange();
    placeEditors();
    viewport()->update();
}

void TaskListView::updateScrollRange()
{
    const int viewportHeight = viewport()->height();
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(viewportHeight);
    bar->setRange(0, std::max(0, int(std::ceil(m_contentHeight)) - viewportHeight));
}

double TaskListView::scrollOffset() const
{
    return verticalScrollBar()->value();
}

void TaskListView::setScrollOffset(double offset)
{
    verticalScrollBar()->setValue(int(std::lround(offset)));
}

const TaskListView::Block* TaskListView::blockAtContentY(double y) const
{
    auto it = std::upper_bound(m_blocks.begin(), m_blocks.end(), y,
        [](double value, const Block& block) { return value < block.top; });
    if (it == m_blocks.begin())
        return nullptr;
    --it;
    return y < it->top + it->height ? &*it : nullptr;
}

QString TaskListView::blockID(const Block& block) const
{
    switch (block.kind) {
    case Block::Kind::header:
        return QStringLiteral("section-header-") + taskSectionRawValue(block.section);
    case Block::Kind::input:
        return QStringLiteral("input");
    default:
        return m_rows[block.row].id();
    }
}

const TaskListView::Block* TaskListView::blockForRowID(const QString& rowID) const
{
    if (rowID == QLatin1String("input")) {
        for (const Block& block : m_blocks) {
            if (block.kind == Block::Kind::input)
                return &block;
        }
        return nullptr;
    }
    for (const Block& block : m_blocks) {
        if (blockID(block) == rowID)
            return &block;
    }
    return nullptr;
}

QRectF TaskListView::blockRect(const Block& block) const
{
    return QRectF(horizontalPadding, block.top, std::max(0.0, viewport()->width() - 2 * horizontalPadding),
        block.height);
}

QRectF TaskListView::rowRect(const QString& rowID) const
{
    const Block* block = blockForRowID(rowID);
    return block ? blockRect(*block) : QRectF();
}

QString TaskListView::rowIDAt(QPoint viewportPoint) const
{
    const Block* block = blockAtContentY(viewportPoint.y() + scrollOffset());
    if (!block || !blockRect(*block).contains(QPointF(viewportPoint.x(), viewportPoint.y() + scrollOffset())))
        return {};
    return blockID(*block);
}

std::optional<QUuid> TaskListView::taskAt(QPoint viewportPoint) const
{
    const QPointF point(viewportPoint.x(), viewportPoint.y() + scrollOffset());
    const Block* block = blockAtContentY(point.y());
    if (!block || block->kind != Block::Kind::task || !blockRect(*block).contains(point))
        return std::nullopt;
    return m_rows[block->row].itemID;
}

void TaskListView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    const bool widthChanged = m_scrollContentWidth != viewport()->width();
    m_scrollContentWidth = viewport()->width();
    if (widthChanged)
        retargetExpansion();
    relayout();
}

void TaskListView::showEvent(QShowEvent* event)
{
    QAbstractScrollArea::showEvent(event);
    m_scrollContentWidth = viewport()->width();
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
        syncEditors();
        relayout();
    }
}
