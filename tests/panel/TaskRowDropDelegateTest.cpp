#include "TaskRowDropDelegate.h"
#include "ManualScheduler.h"
#include "SessionController.h"

#include <QTest>

namespace {

VeskDocument fourWorkingTasks()
{
    VeskDocument document;
    for (const char* title : {"T1", "T2", "T3", "T4"})
        document.workingItems << VeskTask {title, std::nullopt};
    document.inboxItems << VeskTask {"I1", std::nullopt};
    return document;
}

} // namespace

class TaskRowDropDelegateTest : public QObject {
    Q_OBJECT

    struct Drag {
        ManualScheduler scheduler;
        SessionController session {&scheduler};
        std::optional<QUuid> draggedTaskID;
        int commits = 0;

        explicit Drag(const VeskDocument& document = fourWorkingTasks())
        {
            session.loadDocument(document);
            session.onCommittedChange = [this] { ++commits; };
        }
        QUuid task(const QString& title) const
        {
            for (const SessionItem& item : session.itemsByID())
                if (item.title == title)
                    return item.id;
            return {};
        }
        // The delegate of the row of title, 40 points high.
        TaskRowDropDelegate row(const QString& title)
        {
            const QUuid id = task(title);
            return TaskRowDropDelegate(id, *session.sectionOf(id), 40,
                {[this] { return draggedTaskID; },
                    [this](const std::optional<QUuid>& value) { draggedTaskID = value; }},
                &session);
        }
        QStringList order(TaskSection section = TaskSection::working) const
        {
            QStringList titles;
            for (const QUuid& id : session.itemIDs(section))
                titles << session.itemsByID().value(id).title;
            return titles;
        }
    };

private Q_SLOTS:
    void liveReorderFollowsThePointer_data()
    {
        QTest::addColumn<QString>("dragged");
        QTest::addColumn<QString>("over");
        QTest::addColumn<double>("y");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("T1 over the upper half of T3") << "T1"
                                                      << "T3" << 10.0 << QStringList {"T2", "T1", "T3", "T4"};
        QTest::newRow("T1 over the lower half of T3") << "T1"
                                                      << "T3" << 30.0 << QStringList {"T2", "T3", "T1", "T4"};
        QTest::newRow("T4 over the upper half of T2") << "T4"
                                                      << "T2" << 5.0 << QStringList {"T1", "T4", "T2", "T3"};
        QTest::newRow("T1 over the lower half of T2") << "T1"
                                                      << "T2" << 21.0 << QStringList {"T2", "T1", "T3", "T4"};
        QTest::newRow("middle of a row is the upper half")
            << "T1"
            << "T2" << 20.0 << QStringList {"T1", "T2", "T3", "T4"};
    }
    void liveReorderFollowsThePointer()
    {
        QFETCH(QString, dragged);
        QFETCH(QString, over);
        QFETCH(double, y);
        QFETCH(QStringList, order);
        Drag drag;
        const SessionSelection selection = SessionSelection::task(drag.task("T3"));
        drag.session.setSelection(selection);
        drag.draggedTaskID = drag.task(dragged);
        TaskRowDropDelegate row = drag.row(over);
        QVERIFY(row.validateDrop());
        row.dropEntered(y);
        row.dropUpdated(y); // staying over the same half records nothing more
        QCOMPARE(drag.order(), order);
        const int moves = order == QStringList({"T1", "T2", "T3", "T4"}) ? 0 : 1;
        QCOMPARE(drag.session.undoStack().size(), moves);
        QCOMPARE(drag.commits, moves);
        QCOMPARE(drag.session.selection(), selection);

        QVERIFY(row.performDrop());
        QCOMPARE(drag.draggedTaskID, std::nullopt);
        QCOMPARE(drag.order(), order);
    }

    void refusedTargets()
    {
        Drag drag;
        drag.draggedTaskID = drag.task("T1");
        // A row of another section neither moves the task nor takes the drop.
        TaskRowDropDelegate inbox = drag.row("I1");
        QVERIFY(!inbox.validateDrop());
        inbox.dropUpdated(35);
        QCOMPARE(drag.order(), QStringList({"T1", "T2", "T3", "T4"}));
        QVERIFY(!inbox.performDrop());
        QCOMPARE(drag.draggedTaskID, std::nullopt);

        // The dragged row itself.
        drag.draggedTaskID = drag.task("T1");
        TaskRowDropDelegate self = drag.row("T1");
        self.dropUpdated(35);
        QVERIFY(!self.performDrop());
        QCOMPARE(drag.draggedTaskID, std::nullopt);

        // Nothing dragged (text from another program), or editing blocked.
        TaskRowDropDelegate t3 = drag.row("T3");
        QVERIFY(!t3.validateDrop());
        t3.dropUpdated(35);
        drag.draggedTaskID = drag.task("T1");
        drag.session.setEditingBlocked(true);
        QVERIFY(!t3.validateDrop());
        t3.dropUpdated(35);
        QCOMPARE(drag.order(), QStringList({"T1", "T2", "T3", "T4"}));
        QVERIFY(!t3.performDrop());
        QVERIFY(drag.session.undoStack().isEmpty());
        QCOMPARE(drag.commits, 0);
    }

    void indicesCountHiddenTasks()
    {
        VeskDocument document;
        for (const char* title : {"apple", "hidden", "apricot", "other"})
            document.workingItems << VeskTask {title, std::nullopt};
        Drag drag(document);
        drag.session.setFilterQuery("ap");
        drag.draggedTaskID = drag.task("apricot");
        // Above "apple" in the full list, past the hidden task.
        drag.row("apple").dropUpdated(5);
        QCOMPARE(drag.order(), QStringList({"apricot", "apple", "hidden", "other"}));
        // Below "apple": index 1 of the full list, before the hidden task.
        drag.row("apple").dropUpdated(35);
        QCOMPARE(drag.order(), QStringList({"apple", "apricot", "hidden", "other"}));
    }
};

QTEST_MAIN(TaskRowDropDelegateTest)
#include "TaskRowDropDelegateTest.moc"
