// Dragging task rows: the drag source, the raised look of the dragged row, the drop targets and the
// scrolling near the edges.
#include "panel/TaskListView.h"
#include "session/SessionController.h"

#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>

#include <algorithm>
#include <cmath>

namespace {

constexpr double autoScrollFrame = 1.0 / 60;

} // namespace

void TaskListView::setDraggedTaskID(const std::optional<QUuid>& id)
{
    if (m_draggedTaskID == id)
        return;
    m_draggedTaskID = id;
    if (!id)
        stopAutoScroll();
    m_transitions->setRaised(id, animated());
    viewport()->update();
}

bool TaskListView::startTaskDrag(const QUuid& id)
{
    const std::optional<TaskSection> section = m_session->sectionOf(id);
    if (!section || !m_session->canReorderItem(id, *section))
        return false;
    setDraggedTaskID(id);
    auto* mime = new QMimeData;
    mime->setText(canonicalUuidText(id));
    QPointer<QDrag> drag = new QDrag(this);
    drag->setMimeData(mime);
    // Only the raised row in the list shows the drag.
    QPixmap image(1, 1);
    image.fill(Qt::transparent);
    drag->setPixmap(image);
    drag->setHotSpot(QPoint(0, 0));
    if (runDrag)
        runDrag(drag);
    else
        drag->exec(Qt::MoveAction, Qt::MoveAction);
    if (drag)
        drag->deleteLater();
    // A drop outside the list, or a cancelled drag, leaves no row raised.
    setDraggedTaskID(std::nullopt);
    return true;
}

void TaskListView::mouseReleaseEvent(QMouseEvent* event)
{
    // A press on a task row taps it when released without having become a drag.
    if (event->button() == Qt::LeftButton && m_pressedTaskID) {
        const QUuid id = *m_pressedTaskID;
        m_pressedTaskID = std::nullopt;
        // Released over another row or outside the list: no tap.
        if (taskAt(event->position().toPoint()) == id)
            tap(id, false);
        event->accept();
        return;
    }
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void TaskListView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_pressedTaskID && (event->buttons() & Qt::LeftButton)
        && (event->position().toPoint() - m_pressPosition).manhattanLength()
            >= QApplication::startDragDistance()) {
        const QUuid id = *m_pressedTaskID;
        m_pressedTaskID = std::nullopt;
        startTaskDrag(id);
        event->accept();
        return;
    }
    QAbstractScrollArea::mouseMoveEvent(event);
}

std::optional<TaskRowDropDelegate> TaskListView::dropDelegateAt(QPoint viewportPoint, double* yInRow)
{
    const QPointF point(viewportPoint.x(), viewportPoint.y() + scrollOffset());
    const std::optional<Block> block = m_layout.blockAt(point.y());
    if (!block || block->kind != Block::Kind::task || !blockRect(*block).contains(point))
        return std::nullopt;
    if (yInRow)
        *yInRow = point.y() - block->top;
    const RenderedRow& row = m_layout.rows()[block->row];
    QPointer<TaskListView> self(this);
    TaskRowDropDelegate delegate(row.itemID, row.section, block->height,
        {[self] { return self ? self->draggedTaskID() : std::nullopt; },
            [self](const std::optional<QUuid>& id) {
                if (self)
                    self->setDraggedTaskID(id);
            }},
        m_session);
    delegate.animateMove = [self](const std::function<void()>& move) {
        if (self)
            self->animateRowChange(move, TaskRowTransitions::reorderDuration);
    };
    return delegate;
}

bool TaskListView::dragOver(QDropEvent* event)
{
    double y = 0;
    std::optional<TaskRowDropDelegate> delegate = dropDelegateAt(event->position().toPoint(), &y);
    if (!delegate || !event->mimeData()->hasText() || !delegate->validateDrop())
        return false;
    delegate->dropUpdated(y);
    return true;
}

void TaskListView::dragEnterEvent(QDragEnterEvent* event)
{
    // The list takes plain text only, and acts on it only while one of its own rows is dragged.
    if (!event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
    dragOver(event);
}

void TaskListView::dragMoveEvent(QDragMoveEvent* event)
{
    updateAutoScroll(event->position().toPoint());
    if (dragOver(event)) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TaskListView::dragLeaveEvent(QDragLeaveEvent* event)
{
    stopAutoScroll();
    QAbstractScrollArea::dragLeaveEvent(event);
}

void TaskListView::dropEvent(QDropEvent* event)
{
    stopAutoScroll();
    std::optional<TaskRowDropDelegate> delegate = dropDelegateAt(event->position().toPoint());
    if (delegate && event->mimeData()->hasText() && delegate->performDrop()) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

// --- Scrolling near the edges ---

double TaskListView::autoScrollVelocity() const
{
    // Linear in the depth into the margin; a short list keeps room in the middle to let go.
    const double height = viewport()->height();
    const double margin = std::min(autoScrollMargin, height / 4);
    const double y = std::clamp(double(m_autoScrollPoint.y()), 0.0, height);
    if (margin <= 0)
        return 0;
    if (y < margin)
        return -autoScrollSpeed * (margin - y) / margin;
    if (y > height - margin)
        return autoScrollSpeed * (y - (height - margin)) / margin;
    return 0;
}

void TaskListView::updateAutoScroll(QPoint viewportPoint)
{
    m_autoScrollPoint = viewportPoint;
    if (!m_draggedTaskID || autoScrollVelocity() == 0) {
        stopAutoScroll();
        return;
    }
    if (m_autoScrollJob.isPending())
        return;
    m_autoScrollTime = m_scheduler->now();
    m_autoScrollRemainder = 0;
    m_autoScrollJob = m_scheduler->schedule(autoScrollFrame, this, [this] { autoScrollStep(); });
}

void TaskListView::stopAutoScroll()
{
    m_autoScrollJob.cancel();
    m_autoScrollJob = ScheduledJob();
}

void TaskListView::autoScrollStep()
{
    const double now = m_scheduler->now();
    const double velocity = autoScrollVelocity();
    if (!m_draggedTaskID || velocity == 0)
        return;
    // The scroll bar moves in whole points; the fraction left over is carried to the next frame.
    m_autoScrollRemainder += velocity * (now - m_autoScrollTime);
    m_autoScrollTime = now;
    const double step = std::trunc(m_autoScrollRemainder);
    m_autoScrollRemainder -= step;
    const double before = scrollOffset();
    setScrollOffset(before + step);
    if (scrollOffset() != before) {
        // Other rows now lie under the pointer: the live reorder follows them.
        double y = 0;
        if (std::optional<TaskRowDropDelegate> delegate = dropDelegateAt(m_autoScrollPoint, &y);
            delegate && delegate->validateDrop())
            delegate->dropUpdated(y);
    }
    m_autoScrollJob = m_scheduler->schedule(autoScrollFrame, this, [this] { autoScrollStep(); });
}
