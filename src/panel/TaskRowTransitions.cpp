#include "panel/TaskRowTransitions.h"

#include "panel/CompletionCollapseModifier.h"

#include <QEasingCurve>
#include <QPointer>
#include <QVariantAnimation>

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

bool isTaskOrShell(const RenderedRow& row)
{
    return row.kind == RenderedRow::Kind::task || row.kind == RenderedRow::Kind::completionShell;
}

} // namespace

TaskRowTransitions::TaskRowTransitions(Scheduler* scheduler, QObject* parent)
    : QObject(parent), m_scheduler(scheduler)
{ }

// --- Collapse and growth ---

double TaskRowTransitions::collapseProgress(const QString& rowID) const
{
    auto found = m_collapses.constFind(rowID);
    return found == m_collapses.constEnd() ? 1 : collapseProgress(found->row);
}

double TaskRowTransitions::collapseProgress(const RenderedRow& row) const
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

QList<RenderedRow> TaskRowTransitions::collapsingRows() const
{
    QList<RenderedRow> rows;
    for (const Collapse& collapse : m_collapses)
        rows.append(collapse.row);
    return rows;
}

bool TaskRowTransitions::mergesRows(const CompletionShellState* shell, bool animated) const
{
    const bool shellGone = m_liveShell
        && !(shell && shell->itemID == m_liveShell->itemID && shell->section == m_liveShell->section);
    return animated && (!m_collapses.isEmpty() || shellGone);
}

void TaskRowTransitions::noteShownShell(const RenderedRow* shellRow, bool animated)
{
    if (!animated)
        m_collapses.clear();
    m_liveShell = animated && shellRow ? std::optional<RenderedRow>(*shellRow) : std::nullopt;
}

QList<RenderedRow> TaskRowTransitions::withCollapseTransitions(const QList<RenderedRow>& previous,
    const QList<RenderedRow>& next, const CompletionShellState* shell, const std::optional<QUuid>& landing,
    bool animated)
{
    if (!animated) {
        m_collapses.clear();
        m_liveShell = std::nullopt;
        return next;
    }
    const double now = m_scheduler->now();
    const bool shellGone = m_liveShell
        && !(shell && shell->itemID == m_liveShell->itemID && shell->section == m_liveShell->section);

    // A shell that leaves the list lands its task: the shell collapses away where it was and the
    // task grows in at its new place. The shell itself appears without a transition, in the place
    // of its task.
    if (shellGone) {
        const QString shellID = m_liveShell->id();
        std::optional<QUuid> anchor;
        for (qsizetype i = 0; i < previous.size(); ++i) {
            if (previous[i].kind == RenderedRow::Kind::completionShell
                && previous[i].itemID == m_liveShell->itemID) {
                if (i > 0 && previous[i - 1].section == m_liveShell->section
                    && isTaskOrShell(previous[i - 1]))
                    anchor = previous[i - 1].itemID;
                break;
            }
        }
        m_collapses.insert(shellID, Collapse {now, false, *m_liveShell, anchor});
        if (landing) {
            for (const RenderedRow& row : next) {
                if (row.kind == RenderedRow::Kind::task && row.itemID == *landing) {
                    m_collapses.insert(row.id(), Collapse {now, true, row, std::nullopt});
                    break;
                }
            }
        }
        scheduleFrame();
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
            if (it->anchorItemID && row.itemID == *it->anchorItemID && isTaskOrShell(row))
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

// --- Slides ---

void TaskRowTransitions::animateRowChange(const std::function<void()>& change, double duration)
{
    m_pendingMotionDuration = duration;
    change();
    m_pendingMotionDuration = std::nullopt;
}

void TaskRowTransitions::startMotions(
    const QHash<QString, double>& before, const QHash<QString, double>& after)
{
    const double now = m_scheduler->now();
    const double duration = m_pendingMotionDuration.value_or(reorderDuration);
    // Closer than this, a row is where it was.
    constexpr double stillDistance = 0.5;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        auto found = before.constFind(it.key());
        if (found == before.constEnd() || std::abs(*found - it.value()) < stillDistance)
            continue;
        m_motions.insert(it.key(), Motion {now, duration, *found - it.value()});
    }
    if (!m_motions.isEmpty())
        scheduleFrame();
}

double TaskRowTransitions::motionOffset(const QString& rowID) const
{
    auto found = m_motions.constFind(rowID);
    if (found == m_motions.constEnd())
        return 0;
    return found->offset
        * (1 - springProgress(m_scheduler->now() - found->start, found->duration, reorderFrequency));
}

void TaskRowTransitions::scheduleFrame()
{
    if (m_frameScheduled)
        return;
    m_frameScheduled = true;
    QPointer<TaskRowTransitions> self(this);
    m_scheduler->schedule(frameInterval, this, [self] {
        if (self)
            self->runFrame();
    });
}

void TaskRowTransitions::runFrame()
{
    m_frameScheduled = false;
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
    Q_EMIT frame(removedGhost);
    if (isRunning())
        scheduleFrame();
}

// --- The raised row ---

void TaskRowTransitions::setRaised(const std::optional<QUuid>& id, bool animated)
{
    if (id) {
        if (m_raisedTaskID != id)
            m_raiseProgress = 0;
        m_raisedTaskID = id;
    }
    m_raiseTarget = id.has_value();
    if (!m_raiseAnimation) {
        m_raiseAnimation = new QVariantAnimation(this);
        m_raiseAnimation->setDuration(raiseDurationMs);
        // The standard ease-out curve.
        QEasingCurve easeOut(QEasingCurve::BezierSpline);
        easeOut.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
        m_raiseAnimation->setEasingCurve(easeOut);
        connect(m_raiseAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            m_raiseProgress = value.toDouble();
            Q_EMIT raiseChanged();
        });
        connect(m_raiseAnimation, &QVariantAnimation::finished, this, [this] {
            if (m_raiseProgress <= 0 && !m_raiseTarget)
                m_raisedTaskID = std::nullopt;
        });
    }
    m_raiseAnimation->stop();
    const double target = m_raiseTarget ? 1 : 0;
    if (!animated) {
        m_raiseProgress = target;
        if (!m_raiseTarget)
            m_raisedTaskID = std::nullopt;
        return;
    }
    m_raiseAnimation->setStartValue(m_raiseProgress);
    m_raiseAnimation->setEndValue(target);
    m_raiseAnimation->start();
}

double TaskRowTransitions::raiseProgress(const QUuid& id) const
{
    return m_raisedTaskID == id ? m_raiseProgress : 0;
}
