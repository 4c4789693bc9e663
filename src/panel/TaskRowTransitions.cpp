#include "panel/TaskRowTransitions.h"

#include "panel/CompletionCollapseModifier.h"

#include <QEasingCurve>
#include <QPointer>
#include <QVariantAnimation>

#include <algorithm>
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
    return !m_placedGhosts.empty() || (animated && (!m_collapses.isEmpty() || shellGone || m_shadowedShell));
}

void TaskRowTransitions::noteShownShell(const RenderedRow* shellRow, bool animated)
{
    if (!animated)
        m_collapses.clear();
    m_liveShell = animated && shellRow ? std::optional<RenderedRow>(*shellRow) : std::nullopt;
}

qsizetype TaskRowTransitions::findRow(
    const TaskRowLayout& layout, const QUuid& id, RenderedRow::Kind kind, TaskSection section) const
{
    const TaskRowLayout::Rows& rows = layout.rows();
    const qsizetype found = layout.rowIndex(id, kind);
    if ((found < 0 && m_shadowedShell != id) || (found >= 0 && rows[found].section == section))
        return found;
    // The index keeps one row per task; a shell still collapsing away in another section may hide
    // this one, which is rare enough to look for.
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows[i].kind == kind && rows[i].itemID == id && rows[i].section == section)
            return i;
    }
    return -1;
}

qsizetype TaskRowTransitions::ghostPlace(const TaskRowLayout& layout, const Collapse& collapse) const
{
    const RenderedRow& ghost = collapse.row;
    // It is back (the list was reloaded with the same ids).
    if (findRow(layout, ghost.itemID, ghost.kind, ghost.section) >= 0)
        return -1;
    qsizetype at = -1;
    if (collapse.anchorItemID) {
        for (RenderedRow::Kind kind : {RenderedRow::Kind::task, RenderedRow::Kind::completionShell}) {
            const qsizetype anchor = findRow(layout, *collapse.anchorItemID, kind, ghost.section);
            if (anchor >= 0)
                at = std::max(at, anchor + 1);
        }
    }
    if (at >= 0)
        return at;
    // First in its section (its anchor is gone, or it had none). The rows run section by section,
    // the input row at the top of the inbox part.
    const TaskRowLayout::Rows& rows = layout.rows();
    const auto sectionOf = [](const RenderedRow& row) {
        return row.kind == RenderedRow::Kind::input ? TaskSection::inbox : row.section;
    };
    auto first = std::partition_point(rows.begin(), rows.end(),
        [&](const RenderedRow& row) { return int(sectionOf(row)) < int(ghost.section); });
    while (first != rows.end() && first->kind == RenderedRow::Kind::input)
        ++first;
    return first != rows.end() && first->section == ghost.section ? first - rows.begin() : -1;
}

void TaskRowTransitions::spliceWithCollapses(const TaskRowLayout& layout, const QList<RowSplice>& splices,
    const CompletionShellState* shell, bool animated, const Splice& splice)
{
    const TaskRowLayout::Rows& rows = layout.rows();
    const bool shellGone = animated && m_liveShell
        && !(shell && shell->itemID == m_liveShell->itemID && shell->section == m_liveShell->section);
    // The row the leaving shell followed, read before anything moves.
    std::optional<QUuid> anchor;
    if (shellGone) {
        const qsizetype at
            = findRow(layout, m_liveShell->itemID, RenderedRow::Kind::completionShell, m_liveShell->section);
        if (at > 0 && rows[at - 1].section == m_liveShell->section && isTaskOrShell(rows[at - 1]))
            anchor = rows[at - 1].itemID;
    }

    // The rows collapsing away leave, so that the rows are the session's again for its splices.
    if (!m_placedGhosts.empty()) {
        std::sort(m_placedGhosts.begin(), m_placedGhosts.end(),
            [](const PlacedGhost& a, const PlacedGhost& b) { return a.row < b.row; });
        QList<RowSplice> out;
        for (const PlacedGhost& placed : m_placedGhosts)
            out.append(RowSplice {placed.row - out.size(), 1, {}});
        m_placedGhosts.clear();
        splice(out);
    }
    splice(splices);

    if (!animated) {
        m_collapses.clear();
        m_liveShell = std::nullopt;
        m_shadowedShell = std::nullopt;
        return;
    }
    // A shell that leaves the list lands its task: the shell collapses away where it was and the
    // task grows in at its new place. The shell itself appears without a transition, in the place
    // of its task. The task is the shell's own, found in another section: the session may have
    // moved on to the next transition, or ended this one, in the same change.
    if (shellGone) {
        const double now = m_scheduler->now();
        m_collapses.insert(m_liveShell->id(), Collapse {now, false, *m_liveShell, anchor});
        if (const qsizetype at = layout.rowIndex(m_liveShell->itemID, RenderedRow::Kind::task);
            at >= 0 && rows[at].section != m_liveShell->section)
            m_collapses.insert(rows[at].id(), Collapse {now, true, rows[at], std::nullopt});
        scheduleFrame();
    }
    m_liveShell = std::nullopt;
    if (shell) {
        // Looked for in its section: a shell of the same task may still be collapsing elsewhere.
        if (const qsizetype at
            = findRow(layout, shell->itemID, RenderedRow::Kind::completionShell, shell->section);
            at >= 0)
            m_liveShell = rows[at];
    }
    if (!m_liveShell || m_liveShell->itemID != m_shadowedShell)
        m_shadowedShell = std::nullopt;

    for (auto it = m_collapses.cbegin(); it != m_collapses.cend(); ++it) {
        if (it->inserting)
            continue;
        const qsizetype at = ghostPlace(layout, *it);
        if (at < 0)
            continue;
        for (PlacedGhost& placed : m_placedGhosts) {
            if (placed.row >= at)
                ++placed.row;
        }
        m_placedGhosts.push_back(PlacedGhost {it.key(), at});
        splice({RowSplice {at, 0, {it->row}}});
        if (m_liveShell && it->row.itemID == m_liveShell->itemID)
            m_shadowedShell = it->row.itemID;
    }
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
