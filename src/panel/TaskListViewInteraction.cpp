// The task list's pointer handling, link hovering and context menus.
#include "panel/GrowingTextView.h"
#include "panel/PanelStyle.h"
#include "panel/TaskActions.h"
#include "panel/TaskListAccessibility.h"
#include "panel/TaskListView.h"
#include "panel/TaskRowContextMenu.h"
#include "panel/TaskTextLayoutCache.h"
#include "platform/Scheduler.h"
#include "session/SessionController.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>
#include <QVariantAnimation>

#include <cmath>
#include <utility>

// --- Pointer ---

void TaskListView::tap(const QUuid& id, bool doubleClick)
{
    clearContextMenuTarget();
    if (resignSearchFieldFocus)
        resignSearchFieldFocus();
    if (m_session->inlineEditState() && m_session->inlineEditState()->itemID != id)
        m_session->cancelInlineEdit();
    m_session->setSelection(SessionSelection::task(id));
    if (doubleClick)
        m_session->beginEditingItem(id);
    if (!m_session->inlineEditState())
        setFocus(Qt::MouseFocusReason);
}

void TaskListView::tapInput()
{
    if (resignSearchFieldFocus)
        resignSearchFieldFocus();
    m_session->setSelection(SessionSelection::input());
}

void TaskListView::mousePressEvent(QMouseEvent* event)
{
    // Ctrl+click opens a link, as in editors; a plain click only selects its row.
    const bool ctrlClick = event->button() == Qt::LeftButton && event->modifiers() & Qt::ControlModifier;
    QUuid linkItemID;
    if (const auto link = ctrlClick ? linkRegionAt(event->position().toPoint(), &linkItemID) : std::nullopt) {
        m_session->openLinkInItem(linkItemID, link->tooltip);
        event->accept();
        return;
    }
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QString rowID = rowIDAt(event->position().toPoint());
    if (rowID == QLatin1String("input")) {
        tapInput();
    } else if (const auto id = taskAt(event->position().toPoint())) {
        // Tapped on release, so that dragging a row leaves the selection alone.
        m_pressedTaskID = *id;
        m_pressPosition = event->position().toPoint();
    } else {
        setFocus(Qt::MouseFocusReason);
    }
    event->accept();
}

void TaskListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The first press opened the link; the second neither opens it again nor edits the row.
    if (event->button() == Qt::LeftButton && event->modifiers() & Qt::ControlModifier
        && linkRegionAt(event->position().toPoint())) {
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton) {
        if (const auto id = taskAt(event->position().toPoint())) {
            tap(*id, true);
            event->accept();
            return;
        }
    }
    QAbstractScrollArea::mouseDoubleClickEvent(event);
}

std::optional<LinkLayoutKey> TaskListView::linkKeyFor(const Block& block, QRectF* textRect)
{
    if (block.kind != Block::Kind::task)
        return std::nullopt;
    const RenderedRow& row = m_layout.rows()[block.row];
    if (m_session->inlineEditState() && m_session->inlineEditState()->itemID == row.itemID)
        return std::nullopt;
    const TaskDisplayText display = m_cache->displayText(m_layout.text(row).title);
    if (display.links.isEmpty())
        return std::nullopt;
    const std::optional<int> lineLimit
        = m_layout.isExpanded(row.itemID) ? std::nullopt : std::optional<int>(1);
    if (textRect)
        *textRect = m_layout.textRect(block);
    return TaskTextLayoutCache::linkLayoutKey(display.text,
        PanelStyle::titleFont(row.section == TaskSection::working), m_layout.textWidth(), lineLimit);
}

std::optional<LinkHoverOverlay::Region> TaskListView::linkRegionAt(QPoint viewportPoint, QUuid* itemID)
{
    const QPointF content(viewportPoint.x(), viewportPoint.y() + scrollOffset());
    const std::optional<Block> block = m_layout.blockAt(content.y());
    QRectF textRect;
    const auto key = block ? linkKeyFor(*block, &textRect) : std::nullopt;
    const auto* regions = key ? m_cache->linkRegions(*key) : nullptr;
    if (!regions || !textRect.contains(content))
        return std::nullopt;
    LinkHoverOverlay overlay;
    overlay.setRegions(*regions);
    overlay.setOrigin(textRect.topLeft());
    const LinkHoverOverlay::Region* hit = overlay.regionAt(content);
    if (!hit)
        return std::nullopt;
    if (itemID)
        *itemID = m_layout.rows()[block->row].itemID;
    return *hit;
}

bool TaskListView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::ToolTip) {
        const QPoint point = event->type() == QEvent::ToolTip
            ? static_cast<QHelpEvent*>(event)->pos()
            : static_cast<QMouseEvent*>(event)->position().toPoint();
        const std::optional<LinkHoverOverlay::Region> hit = linkRegionAt(point);
        if (event->type() == QEvent::ToolTip) {
            if (hit)
                QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                    hit->tooltip + QStringLiteral("\nCtrl+click to open"), viewport());
            else
                QToolTip::hideText();
            return true;
        }
        viewport()->setCursor(hit ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// --- Context menus ---

void TaskListView::noteContextMenuPress(const QUuid& id)
{
    if (m_session->selection() == SessionSelection::task(id))
        return;
    if (m_contextMenuTargetItemID == id)
        return;
    m_contextMenuTargetItemID = id;
    Q_EMIT contextMenuTargetItemIDChanged();
    viewport()->update();
}

void TaskListView::clearContextMenuTarget()
{
    if (!m_contextMenuTargetItemID)
        return;
    m_contextMenuTargetItemID = std::nullopt;
    Q_EMIT contextMenuTargetItemIDChanged();
    viewport()->update();
}

QList<ContextMenuItem> TaskListView::contextMenuItems(const QUuid& id)
{
    QPointer<TaskListView> self(this);
    // Every action first drops the outline and takes the focus from the search field.
    return TaskRowContextMenu::items(TaskActions::of(m_session), id, [self] {
        if (!self)
            return;
        self->clearContextMenuTarget();
        if (self->resignSearchFieldFocus)
            self->resignSearchFieldFocus();
    });
}

void TaskListView::contextMenuEvent(QContextMenuEvent* event)
{
    QPoint point = event->pos();
    std::optional<QUuid> id = taskAt(point);
    // The Menu key opens the selected row's menu.
    if (event->reason() == QContextMenuEvent::Keyboard) {
        id = m_session->selection().taskID();
        const QRectF rect = id
            ? rowRect(QStringLiteral("task-")
                + taskSectionRawValue(m_session->sectionOf(*id).value_or(TaskSection::working))
                + QLatin1Char('-') + canonicalUuidText(*id))
            : QRectF();
        if (rect.isEmpty())
            return;
        point = QPoint(int(rect.left() + 40), int(rect.top() - scrollOffset() + rect.height() / 2));
    }
    if (!id)
        return;
    noteContextMenuPress(*id);
    TaskRowContextMenu menu(contextMenuItems(*id), this);
    connect(&menu, &QMenu::aboutToHide, this, [this] { clearContextMenuTarget(); });
    menu.exec(viewport()->mapToGlobal(point));
    clearContextMenuTarget();
}
