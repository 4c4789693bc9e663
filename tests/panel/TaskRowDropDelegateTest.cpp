#include "panel/TaskRowDropDelegate.h"
#include "PanelFixture.h"
#include "document/DocumentFormat.h"

class TaskRowDropDelegateTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The dragged task (empty: text from another program) over a 40-point row at y; the filter
    // hides tasks not matching it, so indices must count the hidden ones.
    void dropsFollowThePointer_data()
    {
        QTest::addColumn<QString>("dragged");
        QTest::addColumn<QString>("over");
        QTest::addColumn<double>("y");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<bool>("blocked");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("order");
        const auto row = [](const char* name, const char* dragged, const char* over, double y, bool accepted,
                             const char* order, const char* filter = "", bool blocked = false) {
            QTest::newRow(name) << QString(dragged) << QString(over) << y << QString(filter) << blocked
                                << accepted << QString(order);
        };
        row("upper half of a later row", "a1", "a3", 10, true, "b2 a1 a3 b4");
        row("lower half of a later row", "a1", "a3", 30, true, "b2 a3 a1 b4");
        row("upper half of an earlier row", "b4", "b2", 5, true, "a1 b4 b2 a3");
        row("just below the middle", "a1", "b2", 21, true, "b2 a1 a3 b4");
        row("the middle is the upper half", "a1", "b2", 20, true, "a1 b2 a3 b4");
        row("another section", "a1", "i1", 35, false, "a1 b2 a3 b4");
        row("itself", "a1", "a1", 35, false, "a1 b2 a3 b4");
        row("nothing dragged", "", "a3", 35, false, "a1 b2 a3 b4");
        row("editing blocked", "a1", "a3", 35, false, "a1 b2 a3 b4", "", true);
        row("above a match, past a hidden task", "a3", "a1", 5, true, "a3 a1 b2 b4", "a");
        row("below a match, before a hidden task", "a3", "a1", 35, true, "a1 a3 b2 b4", "a");
    }
    void dropsFollowThePointer()
    {
        QFETCH(QString, dragged);
        QFETCH(QString, over);
        QFETCH(double, y);
        QFETCH(QString, filter);
        QFETCH(bool, blocked);
        QFETCH(bool, accepted);
        QFETCH(QString, order);
        ManualScheduler scheduler;
        SessionController session(&scheduler);
        session.loadDocument(parseDocument("a1\nb2\na3\nb4\n---\ni1\n---"));
        int commits = 0;
        session.onCommittedChange = [&] { ++commits; };
        session.setSelection(SessionSelection::task(taskNamed(session, "a3")));
        if (!filter.isEmpty())
            session.setFilterQuery(filter); // "a" keeps b2 and b4 out of sight
        session.setEditingBlocked(blocked);
        const SessionSelection selection = session.selection();

        std::optional<QUuid> draggedID;
        if (!dragged.isEmpty())
            draggedID = taskNamed(session, dragged);
        const QUuid target = taskNamed(session, over);
        TaskRowDropDelegate row(target, *session.sectionOf(target), 40,
            {[&] { return draggedID; }, [&](const std::optional<QUuid>& value) { draggedID = value; }},
            &session);
        QCOMPARE(row.validateDrop(), accepted || over == dragged);
        row.dropEntered(y);
        row.dropUpdated(y); // staying over the same half records nothing more
        QCOMPARE(titlesOf(session, TaskSection::working).join(' '), order);
        const int moves = order == "a1 b2 a3 b4" ? 0 : 1;
        QCOMPARE(session.undoStack().size(), moves);
        QCOMPARE(commits, moves);
        QCOMPARE(session.selection(), selection);

        QCOMPARE(row.performDrop(), accepted);
        QCOMPARE(draggedID, std::nullopt); // whatever the answer, the drag is over
        QCOMPARE(titlesOf(session, TaskSection::working).join(' '), order);
    }
};

QTEST_MAIN(TaskRowDropDelegateTest)
#include "TaskRowDropDelegateTest.moc"
