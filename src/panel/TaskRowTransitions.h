#pragma once

#include "panel/TaskRowLayout.h"
#include "platform/Scheduler.h"
#include "session/CompletionShellState.h"
#include "session/RenderedRow.h"
#include "session/RowSplice.h"

#include <QHash>
#include <QObject>
#include <QUuid>

#include <functional>
#include <optional>
#include <vector>

class QVariantAnimation;

// The transitions of the task list's rows: rows that collapse away from their section or grow into
// their new one, rows that slide to a new place, and the raised look of a dragged row. Time comes
// from the scheduler, which also paces the frames, so the transitions can be stepped through.
class TaskRowTransitions : public QObject {
    Q_OBJECT

public:
    static constexpr double collapseDuration = 0.35;
    static constexpr double reorderDuration = 0.25;
    static constexpr int raiseDurationMs = 160;

    explicit TaskRowTransitions(Scheduler* scheduler, QObject* parent = nullptr);

    // --- Collapse and growth ---
    // Brings the rows of layout up to date while rows collapse away or a shell leaves, every step a
    // splice handed to splice (which applies it to the layout): the rows collapsing away are taken
    // out, the session's splices go in, the transitions of a completion shell that left start (shell
    // is the session's current one), and the rows still collapsing are put back below the row they
    // followed. Rows are found through the layout's index, so this costs what changed. Without
    // animations every transition is dropped.
    using Splice = std::function<void(const QList<RowSplice>&)>;
    void spliceWithCollapses(const TaskRowLayout& layout, const QList<RowSplice>& splices,
        const CompletionShellState* shell, bool animated, const Splice& splice);
    bool hasCollapses() const { return !m_collapses.isEmpty(); }
    // The rows collapsing away or growing in.
    QList<RenderedRow> collapsingRows() const;
    // Whether the next rows must go through spliceWithCollapses: rows collapsing away are in the
    // list, a collapse runs, or the shell shown last leaves. Otherwise the list splices the session's rows in
    // and says which shell row it shows (noteShownShell).
    bool mergesRows(const CompletionShellState* shell, bool animated) const;
    void noteShownShell(const RenderedRow* shellRow, bool animated);
    // Progress of the collapse transition of a row (1 when it has none).
    double collapseProgress(const QString& rowID) const;
    double collapseProgress(const RenderedRow& row) const;

    // --- Slides ---
    // Runs change so that the rows in sight slide from their old places to their new ones.
    void animateRowChange(const std::function<void()>& change, double duration = reorderDuration);
    // The duration of the slide animateRowChange is running, if it is.
    std::optional<double> pendingMotionDuration() const { return m_pendingMotionDuration; }
    // Starts a slide for each row whose top moved from before to after.
    void startMotions(const QHash<QString, double>& before, const QHash<QString, double>& after);
    bool hasMotions() const { return !m_motions.isEmpty(); }
    // The vertical offset a sliding row is drawn at.
    double motionOffset(const QString& rowID) const;

    bool isRunning() const { return !m_collapses.isEmpty() || !m_motions.isEmpty(); }

    // --- The raised row of a drag ---
    // Raises the row of id (lowering any other), or lowers the raised row when id is none.
    void setRaised(const std::optional<QUuid>& id, bool animated);
    // How far a row is raised: 0 at rest, 1 fully raised.
    double raiseProgress(const QUuid& id) const;
    std::optional<QUuid> raisedTaskID() const { return m_raisedTaskID; }

Q_SIGNALS:
    // A frame of the collapses and slides; rowsRemoved when a collapsed row left the list.
    void frame(bool rowsRemoved);
    void raiseChanged();

private:
    void scheduleFrame();
    void runFrame();

    struct Collapse {
        double start = 0;
        bool inserting = false;
        // The row; a removed one keeps being drawn until it has collapsed.
        RenderedRow row;
        // It is drawn below the row it followed, or first in its section.
        std::optional<QUuid> anchorItemID;
    };
    struct Motion {
        double start = 0;
        double duration = 0;
        double offset = 0;
    };

    // The row of a task or shell in the layout's rows, in a section, or -1.
    qsizetype findRow(
        const TaskRowLayout& layout, const QUuid& id, RenderedRow::Kind kind, TaskSection section) const;
    // Where a row collapsing away goes back in the rows, or -1 when it does not.
    qsizetype ghostPlace(const TaskRowLayout& layout, const Collapse& collapse) const;

    Scheduler* m_scheduler;
    std::optional<RenderedRow> m_liveShell;
    // The task of the shell shown, once a shell of the same task collapsing away elsewhere went into
    // the rows after it: the layout's index keeps one shell row per task, so it may not find this
    // one any more, and the rows go through spliceWithCollapses, which looks for it by section.
    std::optional<QUuid> m_shadowedShell;
    // The rows collapsing away that are in the layout's rows, and where (kept exactly: nothing else
    // changes the rows between one spliceWithCollapses and the next).
    struct PlacedGhost {
        QString id;
        qsizetype row = 0;
    };
    std::vector<PlacedGhost> m_placedGhosts;
    QHash<QString, Collapse> m_collapses;
    QHash<QString, Motion> m_motions;
    std::optional<double> m_pendingMotionDuration;
    bool m_frameScheduled = false;
    std::optional<QUuid> m_raisedTaskID;
    bool m_raiseTarget = false;
    double m_raiseProgress = 0;
    QVariantAnimation* m_raiseAnimation = nullptr;
};
