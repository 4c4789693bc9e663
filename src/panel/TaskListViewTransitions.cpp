// Transitions of the task list: rows that collapse away from their section or grow into their new
// one, rows that slide to a new place, and the raised look of a dragged row. Time comes from the
// scheduler, which also paces the frames, so the transitions can be stepped through.
#include "panel/CompletionCollapseModifier.h"
#include "panel/PanelStyle.h"
#include "panel/TaskListView.h"
#include "platform/Scheduler.h"
#include "session/SessionController.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

constexpr double frameInterval = 1.0 / 60;
// The landing of a completed or moved task: a stiff, nearly critically damped spring.
const double landingFrequency = std::sqrt(320.0);
// The interactive spring of a live reorder (a response of 0.22 s).
constexpr double reorderFrequency = 2 * M_PI / 0.22;

// A critically damped spring from 0 to 1, scaled so that it ends exactly at duration.
double springProgress(double elapsed, double duration, double frequency)
{
    if (elapsed <= 0)
        return 0;
    if (elapsed >= duration)
        return 1;
    const auto position
        = [frequency](double t) { return 1 - (1 + frequency * t) * std::exp(-frequency * t); };
    return position(elapsed) / position(duration);
}

} // namespace

void TaskListView::animateRowChange(const std::function<void()>& change, double duration)
{
    m_pendingMotionDuration = duration;
    change();
    m_pendingMotionDuration = std::nullopt;
}

double TaskListView::collapseProgress(const QString& rowID) const
{
    auto found = m_collapses.constFind(rowID);
    return found == m_collapses.constEnd() ? 1 : collapseProgress(found->row);
}

double TaskListView::collapseProgress(const RenderedRow& row) const
{
    // Compared field by field: the list asks this for every row while a transition runs.
    for (const Collapse& collapse : m_collapses) {
        if (collapse.row.itemID != row.itemID || collapse.row.kind != row.kind
            || collapse.row.section != row.section)
            continue;
        const double eased
            = springProgress(m_scheduler->now() - collapse.start, collapseDuration, landingFrequency);
        const double span = 1 - CompletionCollapseModifier::removedProgress;
        return collapse.inserting ? CompletionCollapseModifier::removedProgress + span * eased
                                  : 1 - span * eased;
    }
    return 1;
}

QList<RenderedRow> TaskListView::withCollapseTransitions(const QList<RenderedRow>& next)
{
    if (!m_animationsEnabled || !isVisible()) {
        m_collapses.clear();
        m_liveShell = std::nullopt;
        return next;
    }
    const double now = m_scheduler->now();
    const auto& shell = m_session->completionShell();
    const bool shellGone = m_liveShell
        && !(shell && shell->itemID == m_liveShell->itemID && shell->section == m_liveShell->section);

    // A shell that leaves the list lands its task: the shell collapses away where it was and the
    // task grows in at its new place. The shell itself appears without a transition, in the place
    // of its task.
    if (shellGone) {
        const QString shellID = m_liveShell->id();
        std::optional<QUuid> anchor;
        for (qsizetype i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i].kind == RenderedRow::Kind::completionShell
                && m_rows[i].itemID == m_liveShell->itemID) {
                if (i > 0 && m_rows[i - 1].section == m_liveShell->section
                    && (m_rows[i - 1].kind == RenderedRow::Kind::task
                        || m_rows[i - 1].kind == RenderedRow::Kind::completionShell))
                    anchor = m_rows[i - 1].itemID;
                break;
            }
        }
        m_collapses.insert(shellID, Collapse {now, false, *m_liveShell, anchor});
        if (const auto& landing = m_session->completionTransitionItemID()) {
            for (const RenderedRow& row : next) {
                if (row.kind == RenderedRow::Kind::task && row.itemID == *landing) {
                    m_collapses.insert(row.id(), Collapse {now, true, row, std::nullopt});
                    break;
                }
            }
        }
        scheduleTransitionFrame();
    }
    m_liveShell = std::nullopt;
    if (shell) {
        for (const RenderedRow& row : next) {
            if (row.kind == RenderedRow::Kind::completionShell) {
                m_liveShell = row;
                break;
            }
        }
    }
    if (m_collapses.isEmpty())
        return next;

    QList<RenderedRow> merged = next;
    for (auto it = m_collapses.cbegin(); it != m_collapses.cend(); ++it) {
        if (it->inserting)
            continue;
        const RenderedRow& ghost = it->row;
        qsizetype at = -1;
        for (qsizetype i = 0; i < merged.size(); ++i) {
            const RenderedRow& row = merged[i];
            if (row.kind == RenderedRow::Kind::input || row.section != ghost.section)
                continue;
            if (row.kind == ghost.kind && row.itemID == ghost.itemID) {
                at = -2; // it is back (the list was reloaded with the same ids)
                break;
            }
            if (at == -1 && !it->anchorItemID)
                at = i;
            if (it->anchorItemID && row.itemID == *it->anchorItemID
                && (row.kind == RenderedRow::Kind::task || row.kind == RenderedRow::Kind::completionShell))
                at = i + 1;
        }
        if (at == -1) {
            // Its anchor is gone: first in its section.
            for (qsizetype i = 0; i < merged.size(); ++i) {
                if (merged[i].kind != RenderedRow::Kind::input && merged[i].section == ghost.section) {
                    at = i;
                    break;
                }
            }
        }
        if (at >= 0)
            merged.insert(at, ghost);
    }
    return merged;
}

QHash<QString, double> TaskListView::visibleRowTops() const
{
    QHash<QString, double> tops;
    const double top = scrollOffset() - viewport()->height();
    const double bottom = scrollOffset() + 2 * viewport()->height();
    for (const Block& block : m_blocks) {
        if (block.top + block.height < top || block.top > bottom || block.kind != Block::Kind::task)
            continue;
        const QString id = blockID(block);
        tops.insert(id, block.top + motionOffset(id));
    }
    return tops;
}

void TaskListView::startMotions(const QHash<QString, double>& before)
{
    const double now = m_scheduler->now();
    const double duration = m_pendingMotionDuration.value_or(reorderDuration);
    // Only rows in sight and a screen around it slide; identifiers are made for those alone.
    const double top = scrollOffset() - viewport()->height();
    const double bottom = scrollOffset() + 2 * viewport()->height();
    for (const Block& block : m_blocks) {
        if (block.top + block.height < top || block.top > bottom || block.kind != Block::Kind::task)
            continue;
        const QString id = blockID(block);
        auto found = before.constFind(id);
        if (found == before.constEnd() || std::abs(*found - block.top) < 0.5)
            continue;
        m_motions.insert(id, Motion {now, duration, *found - block.top});
    }
    if (!m_motions.isEmpty())
        scheduleTransitionFrame();
}

double TaskListView::motionOffset(const QString& rowID) const
{
    auto found = m_motions.constFind(rowID);
    if (found == m_motions.constEnd())
        return 0;
    return found->offset
        * (1 - springProgress(m_scheduler->now() - found->start, found->duration, reorderFrequency));
}

void TaskListView::scheduleTransitionFrame()
{
    if (m_transitionFrameScheduled)
        return;
    m_transitionFrameScheduled = true;
    QPointer<TaskListView> self(this);
    m_scheduler->schedule(frameInterval, this, [self] {
        if (self)
            self->transitionFrame();
    });
}

void TaskListView::transitionFrame()
{
    m_transitionFrameScheduled = false;
    const double now = m_scheduler->now();
    bool removedGhost = false;
    for (auto it = m_collapses.begin(); it != m_collapses.end();) {
        if (now - it->start >= collapseDuration) {
            removedGhost = removedGhost || !it->inserting;
            it = m_collapses.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = m_motions.begin(); it != m_motions.end();) {
        if (now - it->start >= it->duration)
            it = m_motions.erase(it);
        else
            ++it;
    }
    if (removedGhost)
        rebuildRows();
    else
        relayout();
    viewport()->update();
    if (hasRunningTransitions())
        scheduleTransitionFrame();
}

void TaskListView::paintRaisedShadow(QPainter& painter, const QRectF& rect, double raise)
{
    // A soft black shadow, 3 points down, spread over about 8 points: stacked rounded rectangles
    // whose opacities add up to 0.12 under the row.
    constexpr int layers = 8;
    painter.save();
    painter.setPen(Qt::NoPen);
    // Only around the row: its own fill is faint, and a shadow seen through it would grey it.
    QPainterPath outside;
    outside.addRect(rect.adjusted(-24, -24, 24, 24));
    QPainterPath row;
    row.addRoundedRect(rect, cornerRadius, cornerRadius);
    painter.setClipPath(outside.subtracted(row), Qt::IntersectClip);
    const QRectF shadow = rect.translated(0, 3 * raise);
    for (int i = layers; i >= 1; --i) {
        const double spread = i * raise;
        const double weight = 0.12 * raise / layers;
        painter.setBrush(QColor::fromRgbF(0, 0, 0, weight));
        painter.drawRoundedRect(shadow.adjusted(-spread + 2, -spread + 2, spread - 2, spread - 2),
            cornerRadius + spread, cornerRadius + spread);
    }
    painter.restore();
}

void TaskListView::paintTransitionedRow(QPainter& painter, const Block& block, const QRectF& rect)
{
    const RenderedRow& row = m_rows[block.row];
    const double raise = block.kind == Block::Kind::task ? raiseProgress(row.itemID) : 0;
    const double offset = m_motions.isEmpty() ? 0 : motionOffset(blockID(block));
    if (raise <= 0 && offset == 0 && block.progress >= 1) {
        paintTaskRow(painter, block, rect);
        return;
    }
    painter.save();
    QRectF full = rect.translated(0, offset);
    if (block.progress < 1) {
        full.setHeight(rect.height() / block.progress);
        CompletionCollapseModifier {block.progress}.apply(painter, full);
    }
    if (raise > 0) {
        const double scale = 1 + 0.018 * raise;
        painter.translate(full.center());
        painter.scale(scale, scale);
        painter.translate(-full.center());
        paintRaisedShadow(painter, full, raise);
    }
    paintTaskRow(painter, block, full);
    painter.restore();
}
