#pragma once

#include "platform/ManualScheduler.h"
#include "session/SessionController.h"

#include <QSignalSpy>
#include <QStringList>
#include <QTest>

#include <memory>

// A session on a manual clock, loaded from task titles, that counts committed-change callbacks and
// change notifications.
struct SessionHarness {
    ManualScheduler scheduler;
    std::unique_ptr<SessionController> owned = std::make_unique<SessionController>(&scheduler);
    SessionController& session = *owned;
    int commits = 0;
    int notifications = 0;

    SessionHarness()
    {
        session.onCommittedChange = [this] { ++commits; };
        QObject::connect(&session, &SessionController::changed, [this] { ++notifications; });
    }

    static QList<VeskTask> tasks(const QStringList& titles)
    {
        QList<VeskTask> result;
        for (const QString& title : titles) {
            // "Title|note" gives a task with a note.
            const qsizetype bar = title.indexOf(QLatin1Char('|'));
            if (bar < 0)
                result.append(VeskTask {title, std::nullopt});
            else
                result.append(VeskTask {title.left(bar), title.mid(bar + 1)});
        }
        return result;
    }

    void load(const QStringList& working, const QStringList& inbox = {}, const QStringList& completed = {})
    {
        session.loadDocument(VeskDocument {tasks(working), tasks(inbox), tasks(completed)});
    }

    // loadLists("W1 W2 | I1 | C1|note"): the working, inbox and completed titles, a note after "|".
    void loadLists(const char* lists)
    {
        QList<QStringList> sections = {{}, {}, {}};
        const QStringList parts = QString(lists).split(" |");
        for (qsizetype i = 0; i < parts.size(); ++i)
            sections[i] = parts[i].split(' ', Qt::SkipEmptyParts);
        load(sections[0], sections[1], sections[2]);
    }

    // The section lists in the form loadLists() takes.
    QString lists() const
    {
        QStringList sections;
        for (TaskSection section : allTaskSections)
            sections << titles(section).join(' ');
        return sections.join(" | ").simplified(); // e.g. "| I1 I2 |"
    }

    // The rows in short: a task by its title, "~title" for a completion shell, "|" for a separator,
    // "_" for a spacer and ">" for the input row.
    QString rowsText() const
    {
        QStringList rows;
        for (const RenderedRow& row : session.renderedRows())
            switch (row.kind) {
            case RenderedRow::Kind::task:
                rows << row.text(session.itemsByID()).title;
                break;
            case RenderedRow::Kind::completionShell:
                rows << "~" + row.text(session.itemsByID()).title;
                break;
            case RenderedRow::Kind::separator:
                rows << "|";
                break;
            case RenderedRow::Kind::spacer:
                rows << "_";
                break;
            case RenderedRow::Kind::input:
                rows << ">";
                break;
            }
        return rows.join(' ');
    }

    // The id of the only task with this title.
    QUuid id(const QString& title) const
    {
        QUuid found;
        for (const SessionItem& item : session.itemsByID())
            if (item.title == title) {
                if (!found.isNull())
                    qFatal("two tasks titled %s", qPrintable(title));
                found = item.id;
            }
        if (found.isNull())
            qFatal("no task titled %s", qPrintable(title));
        return found;
    }

    QStringList titles(TaskSection section) const
    {
        QStringList result;
        for (const QUuid& id : session.itemIDs(section))
            result.append(session.itemsByID().value(id).title);
        return result;
    }

    // The undoable part of the session as its observers see it.
    SessionSnapshot snapshot() const
    {
        return SessionSnapshot {session.itemsByID(), session.itemIDs(TaskSection::working),
            session.itemIDs(TaskSection::inbox), session.itemIDs(TaskSection::completed),
            session.inputDraft(), session.isCreatingNewItem(), session.selection(),
            session.inlineEditState()};
    }

    // The selectable rows: task rows and the input row, top to bottom.
    QList<SessionSelection> targets() const
    {
        QList<SessionSelection> result;
        for (const RenderedRow& row : session.renderedRows())
            if (row.kind == RenderedRow::Kind::task)
                result.append(SessionSelection::task(row.itemID));
            else if (row.kind == RenderedRow::Kind::input)
                result.append(SessionSelection::input());
        return result;
    }

    // The titles of a section's task rows, as the filter lets them through.
    QStringList visibleTitles(TaskSection section) const
    {
        QStringList result;
        for (const RenderedRow& row : session.renderedRows())
            if (row.kind == RenderedRow::Kind::task && row.section == section)
                result.append(row.text(session.itemsByID()).title);
        return result;
    }

    void select(const QString& title) { session.setSelection(named(title)); }
    SessionSelection task(const QString& title) const { return SessionSelection::task(id(title)); }
    // "none", "input", "stale" (a task that does not exist) or a task title.
    SessionSelection named(const QString& name) const
    {
        if (name == "none")
            return SessionSelection::none();
        if (name == "input")
            return SessionSelection::input();
        return name == "stale" ? SessionSelection::task(QUuid::createUuid()) : task(name);
    }
};

// Everything a caller can observe of a session: its fields, the depth of its undo history, its
// waiting jobs and the callback counts.
struct ObservedState {
    SessionSnapshot snapshot;
    TaskAnimationMap taskAnimations;
    OptionalCompletionShell completionShell;
    OptionalUuid completionTransitionItemID;
    int selectionRevealRevision = 0;
    bool editingBlocked = false;
    QString filterQuery;
    qsizetype undoCount = 0;
    qsizetype redoCount = 0;
    int pendingJobs = 0;
    int commits = 0;
    int notifications = 0;

    friend bool operator==(const ObservedState&, const ObservedState&) = default;
};

inline ObservedState observe(const SessionHarness& h)
{
    const SessionController& s = h.session;
    ObservedState state;
    state.snapshot = h.snapshot();
    state.taskAnimations = s.taskAnimations();
    state.completionShell = s.completionShell();
    state.completionTransitionItemID = s.completionTransitionItemID();
    state.selectionRevealRevision = s.selectionRevealRevision();
    state.editingBlocked = s.editingBlocked();
    state.filterQuery = s.filterQuery();
    state.undoCount = s.undoStack().size();
    state.redoCount = s.redoStack().size();
    state.pendingJobs = h.scheduler.pendingCount();
    state.commits = h.commits;
    state.notifications = h.notifications;
    return state;
}

inline QString describe(const ObservedState& s)
{
    return QStringLiteral("items=%1 selection=%2 draft='%3' creating=%4 editing=%5 animations=%6 shell=%7 "
                          "transition=%8 reveal=%9 undo=%10 redo=%11 commits=%12 notifications=%13")
        .arg(s.snapshot.itemsByID.size())
        .arg(s.snapshot.selection.description(), s.snapshot.inputDraft)
        .arg(s.snapshot.isCreatingNewItem)
        .arg(s.snapshot.inlineEditState.has_value())
        .arg(s.taskAnimations.size())
        .arg(s.completionShell.has_value())
        .arg(s.completionTransitionItemID.has_value())
        .arg(s.selectionRevealRevision)
        .arg(s.undoCount)
        .arg(s.redoCount)
        .arg(s.commits)
        .arg(s.notifications);
}

// Asserts that nothing observable changed since `before`: no content, selection, draft, editor,
// transition, reveal, undo step, scheduled job, callback or notification.
#define VERIFY_UNCHANGED(harness, before, what)                                                              \
    do {                                                                                                     \
        const ObservedState after_ = observe(harness);                                                       \
        QVERIFY2(after_ == (before),                                                                         \
            qPrintable(QStringLiteral("%1\nbefore: %2\nafter:  %3")                                          \
                           .arg(QString(what), describe(before), describe(after_))));                        \
    } while (false)

// Runs `action` and asserts that it changed nothing observable.
#define VERIFY_REFUSED(harness, what, action)                                                                \
    do {                                                                                                     \
        const ObservedState before_ = observe(harness);                                                      \
        action;                                                                                              \
        VERIFY_UNCHANGED(harness, before_, what);                                                            \
    } while (false)

namespace QTest {
template <>
inline char* toString(const SessionSelection& selection)
{
    return qstrdup(qPrintable(selection.description()));
}
} // namespace QTest
