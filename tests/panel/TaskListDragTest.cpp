#include "CompletionCollapseModifier.h"
#include "ManualScheduler.h"
#include "SessionController.h"
#include "TaskListView.h"
#include "TaskTextLayoutCache.h"

#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QTest>

namespace {

VeskDocument sampleDocument()
{
    VeskDocument document;
    for (const char* title : {"T1", "T2", "T3", "T4"})
        document.workingItems << VeskTask {title, std::nullopt};
    document.inboxItems = {VeskTask {"Inbox one", std::nullopt}, VeskTask {"Inbox two", std::nullopt}};
    document.completedItems = {VeskTask {"Done", std::nullopt}};
    return document;
}

} // namespace

class TaskListDragTest : public QObject {
    Q_OBJECT

    // One clock for the whole run: the shared layout cache keeps its pending work across tests.
    static ManualScheduler& clock()
    {
        static ManualScheduler scheduler;
        return scheduler;
    }

    struct Fixture {
        ManualScheduler& scheduler = clock();
        SessionController session {&scheduler};
        TaskListView view {&session, &scheduler};
        QMimeData text;

        explicit Fixture(bool animated = false)
        {
            TaskTextLayoutCache::shared().setScheduler(&scheduler);
            session.loadDocument(sampleDocument());
            view.setAnimationsEnabled(animated);
            view.setWindowActive(true);
            view.resize(420, 640);
            view.show();
            scheduler.runDueJobs();
        }
        QUuid task(const QString& title) const
        {
            for (const SessionItem& item : session.itemsByID())
                if (item.title == title)
                    return item.id;
            return {};
        }
        QString rowID(const QString& title) const
        {
            const QUuid id = task(title);
            return QStringLiteral("task-") + taskSectionRawValue(*session.sectionOf(id)) + "-"
                + canonicalUuidText(id);
        }
        // A viewport point inside the row of title, dy points below its top.
        QPoint at(const QString& title, double dy) const
        {
            const QRectF rect = view.rowRect(rowID(title));
            return QPointF(rect.center().x(), rect.top() + dy - view.scrollOffset()).toPoint();
        }
        double rowHeight(const QString& title) const { return view.rowRect(rowID(title)).height(); }
        QStringList order(TaskSection section = TaskSection::working) const
        {
            QStringList titles;
            for (const QUuid& id : session.itemIDs(section))
                titles << session.itemsByID().value(id).title;
            return titles;
        }
        // The drag of text enters the list (as it does before any move or drop reaches it).
        bool enter(const QString& dragged, QPoint point = QPoint(20, 2))
        {
            text.setText(dragged);
            QDragEnterEvent event(point, Qt::MoveAction, &text, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(view.viewport(), &event);
            return event.isAccepted();
        }
        // Moves the drag over a point of the list; answers whether the list would take the drop.
        bool dragTo(QPoint point)
        {
            QDragMoveEvent move(point, Qt::MoveAction, &text, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(view.viewport(), &move);
            return move.isAccepted();
        }
        bool dropAt(QPoint point)
        {
            QDropEvent drop(point, Qt::MoveAction, &text, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(view.viewport(), &drop);
            return drop.isAccepted();
        }
    };

private Q_SLOTS:
    void aDraggedRowOffersItsIdAndReordersLive()
    {
        Fixture f;
        const SessionSelection selection = SessionSelection::task(f.task("T3"));
        f.session.setSelection(selection);
        const QUuid t1 = f.task("T1");
        int drags = 0;
        QStringList seen;
        const auto duringDrag = [&](QDrag* drag) {
            ++drags;
            // The task's id as plain text, and an invisible image: only the raised row shows.
            QVERIFY(f.enter(drag->mimeData()->text()));
            QCOMPARE(drag->mimeData()->formats(), QStringList({"text/plain"}));
            QCOMPARE(QUuid::fromString(drag->mimeData()->text()), t1);
            QCOMPARE(drag->pixmap().size(), QSize(1, 1));
            QCOMPARE(drag->pixmap().toImage().pixelColor(0, 0).alpha(), 0);
            QCOMPARE(f.view.draggedTaskID(), t1);
            QCOMPARE(f.view.raiseProgress(t1), 1.0);

            QDragEnterEvent enter(f.at("T1", 5), Qt::MoveAction, &f.text, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(f.view.viewport(), &enter);
            QVERIFY(enter.isAccepted());
            const double h = f.rowHeight("T2");
            // Over the upper half of the next row: already in place, nothing recorded.
            f.dragTo(f.at("T2", h * 0.25));
            seen << f.order().join(' ');
            QVERIFY(f.session.undoStack().isEmpty());
            // Lower half: below it.
            QVERIFY(f.dragTo(f.at("T2", h * 0.75)));
            seen << f.order().join(' ');
            // Further down, over the lower half of T3.
            QVERIFY(f.dragTo(f.at("T3", h * 0.75)));
            seen << f.order().join(' ');
            // A row of another section neither moves the task nor takes it.
            QVERIFY(!f.dragTo(f.at("Inbox one", h * 0.75)));
            QVERIFY(!f.dragTo(f.at("Done", h * 0.25)));
            seen << f.order().join(' ');
            // Back up over the upper half of T2.
            QVERIFY(f.dragTo(f.at("T2", h * 0.25)));
            seen << f.order().join(' ');
            QCOMPARE(f.session.selection(), selection);
            QVERIFY(f.dropAt(f.at("T3", h * 0.5)));
            QCOMPARE(f.view.draggedTaskID(), std::nullopt);
        };
        f.view.runDrag = [&](QDrag* drag) {
            duringDrag(drag);
            return Qt::MoveAction;
        };
        QTest::mousePress(f.view.viewport(), Qt::LeftButton, {}, f.at("T1", 10));
        QTest::mouseMove(f.view.viewport(), f.at("T1", 30));
        QTest::mouseRelease(f.view.viewport(), Qt::LeftButton, {}, f.at("T1", 30));
        QCOMPARE(drags, 1);
        QCOMPARE(
            seen, QStringList({"T1 T2 T3 T4", "T2 T1 T3 T4", "T2 T3 T1 T4", "T2 T3 T1 T4", "T1 T2 T3 T4"}));
        QCOMPARE(f.session.undoStack().size(), 3); // each live move is one change
        QCOMPARE(f.session.selection(), selection);
        QCOMPARE(f.view.raiseProgress(t1), 0.0);

        // A plain click still selects, on release.
        QTest::mouseClick(f.view.viewport(), Qt::LeftButton, {}, f.at("T4", 10));
        QCOMPARE(f.session.selection(), SessionSelection::task(f.task("T4")));
        QCOMPARE(drags, 1);
    }

    void dropsOutsideARowOrOnItselfLeaveNothingRaised()
    {
        Fixture f;
        const QUuid t2 = f.task("T2");
        bool clearedByDrop = false;
        // Dropped on the dragged row itself: refused, and the row comes down.
        f.view.runDrag = [&](QDrag* drag) {
            f.enter(drag->mimeData()->text());
            f.dragTo(f.at("T2", 5));
            const bool accepted = f.dropAt(f.at("T2", 5));
            clearedByDrop = !f.view.draggedTaskID();
            return accepted ? Qt::MoveAction : Qt::IgnoreAction;
        };
        QVERIFY(f.view.startTaskDrag(t2));
        QVERIFY(clearedByDrop);
        QCOMPARE(f.view.draggedTaskID(), std::nullopt);
        QCOMPARE(f.view.raiseProgress(t2), 0.0);

        // Let go over a section header, or cancelled with Escape: nothing performs the drop.
        bool raisedDuringDrag = false;
        f.view.runDrag = [&](QDrag*) {
            raisedDuringDrag = f.view.draggedTaskID() == t2;
            f.enter(canonicalUuidText(t2));
            f.dropAt(QPoint(20, 2));
            raisedDuringDrag = raisedDuringDrag && f.view.draggedTaskID() == t2;
            return Qt::IgnoreAction;
        };
        QVERIFY(f.view.startTaskDrag(t2));
        QVERIFY(raisedDuringDrag);
        QCOMPARE(f.view.draggedTaskID(), std::nullopt);
        QCOMPARE(f.view.raiseProgress(t2), 0.0);
        QCOMPARE(f.order(), QStringList({"T1", "T2", "T3", "T4"}));

        // Text dragged in from another program is refused by every row.
        QVERIFY(f.enter("T2"));
        QVERIFY(!f.dragTo(f.at("T3", 30)));
        QVERIFY(!f.dropAt(f.at("T3", 30)));
        QCOMPARE(f.order(), QStringList({"T1", "T2", "T3", "T4"}));
    }

    void tasksThatMayNotMoveOfferNoDrag()
    {
        Fixture f;
        int drags = 0;
        f.view.runDrag = [&](QDrag*) {
            ++drags;
            return Qt::IgnoreAction;
        };
        f.session.setEditingBlocked(true);
        QVERIFY(!f.view.startTaskDrag(f.task("T1")));
        f.session.setEditingBlocked(false);
        f.session.beginEditingItem(f.task("T4"));
        QTest::mousePress(f.view.viewport(), Qt::LeftButton, {}, f.at("T1", 10));
        QTest::mouseMove(f.view.viewport(), f.at("T1", 40));
        QTest::mouseRelease(f.view.viewport(), Qt::LeftButton, {}, f.at("T1", 40));
        QCOMPARE(drags, 0);
        QCOMPARE(f.view.draggedTaskID(), std::nullopt);
    }

    void liveMovesSlideIntoPlace()
    {
        Fixture f(true);
        const QRectF t2Before = f.view.rowRect(f.rowID("T2"));
        f.view.runDrag = [&](QDrag* drag) {
            f.enter(drag->mimeData()->text());
            f.dragTo(f.at("T2", f.rowHeight("T2") - 2));
            return Qt::IgnoreAction;
        };
        f.view.startTaskDrag(f.task("T1"));
        QCOMPARE(f.order(), QStringList({"T2", "T1", "T3", "T4"}));
        // The layout is final at once; the rows are drawn sliding from their old places.
        QVERIFY(f.view.rowRect(f.rowID("T2")).top() < t2Before.top());
        QVERIFY(f.view.hasRunningTransitions());
        f.scheduler.advance(TaskListView::reorderDuration + 0.05);
        QVERIFY(!f.view.hasRunningTransitions());
    }

    void theCollapseModifierSqueezesTowardTheTopEdge()
    {
        const QRectF row(10, 20, 100, 40);
        const auto paint = [&](double progress) {
            QImage image(120, 80, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            painter.save();
            CompletionCollapseModifier {progress}.apply(painter, row);
            painter.fillRect(row, Qt::black);
            painter.restore();
            return image;
        };
        const auto coveredRows = [](const QImage& image) {
            int rows = 0;
            for (int y = 0; y < image.height(); ++y)
                rows += qAlpha(image.pixel(60, y)) > 0 ? 1 : 0;
            return rows;
        };
        // Practically invisible and without height at the start of the transition.
        const QImage gone = paint(CompletionCollapseModifier::removedProgress);
        QVERIFY(coveredRows(gone) <= 1);
        QVERIFY(qAlpha(gone.pixel(60, 20)) <= 1);
        QCOMPARE(CompletionCollapseModifier {CompletionCollapseModifier::removedProgress}.height(40), 0.04);
        // Half way: the top half of the row's box, at half opacity.
        const QImage half = paint(0.5);
        QCOMPARE(coveredRows(half), 20);
        QVERIFY(qAlpha(half.pixel(60, 20)) > 0);
        QCOMPARE(qAlpha(half.pixel(60, 40)), 0);
        QVERIFY(std::abs(qAlpha(half.pixel(60, 25)) - 128) <= 2);
        const QImage whole = paint(1);
        QCOMPARE(coveredRows(whole), 40);
        QCOMPARE(qAlpha(whole.pixel(60, 59)), 255);
    }

    void completedRowsCollapseAwayAndGrowIntoTheirSection()
    {
        Fixture f(true);
        const QUuid t2 = f.task("T2");
        const double full = f.rowHeight("T1");
        f.session.setSelection(SessionSelection::task(t2));
        f.session.toggleSelectedItemCompletion();
        const double t3Top = f.view.rowRect(f.rowID("T3")).top();
        // The shell takes the task's place without a transition...
        const QString shellID = "completion-shell-working-" + canonicalUuidText(t2);
        double shellHeightAtStart = 0;
        double shellProgressAtStart = 0;
        connect(&f.session, &SessionController::changed, &f.view, [&] {
            if (f.session.completionShell() && shellHeightAtStart == 0) {
                shellHeightAtStart = f.view.rowRect(shellID).height();
                shellProgressAtStart = f.view.collapseProgress(shellID);
            }
        });
        f.scheduler.advance(SessionController::completionPreviewDelay);
        QCOMPARE(shellHeightAtStart, full);
        QCOMPARE(shellProgressAtStart, 1.0);
        QCOMPARE(f.session.completionShell(), std::nullopt);
        QCOMPARE(f.session.itemIDs(TaskSection::completed).first(), t2);
        const QString landedID = f.rowID("T2");
        QCOMPARE(f.view.collapseProgress(shellID), 1.0);
        QCOMPARE(f.view.collapseProgress(landedID), CompletionCollapseModifier::removedProgress);
        QVERIFY(f.view.rowRect(landedID).height() < 0.1);
        QCOMPARE(f.view.rowRect(f.rowID("T3")).top(), t3Top);

        double shellHeight = full;
        double landedHeight = 0;
        double t3 = t3Top;
        for (int step = 0; step < 5; ++step) {
            f.scheduler.advance(0.05);
            const QRectF shell = f.view.rowRect(shellID);
            const QRectF landed = f.view.rowRect(landedID);
            QVERIFY(shell.height() < shellHeight && landed.height() > landedHeight);
            QVERIFY(f.view.rowRect(f.rowID("T3")).top() < t3);
            shellHeight = shell.height();
            landedHeight = landed.height();
            t3 = f.view.rowRect(f.rowID("T3")).top();
        }
        f.scheduler.advance(TaskListView::collapseDuration);
        QVERIFY(!f.view.hasRunningTransitions());
        QVERIFY(f.view.rowRect(shellID).isEmpty());
        QCOMPARE(f.view.rowRect(landedID).height(), full);
        QCOMPARE(f.view.rowRect(f.rowID("T3")).top(), t3Top - full);
        QCOMPARE(f.view.rows(), f.session.renderedRows());

        // A move to the inbox collapses the same way; other rows never do.
        const QUuid t1 = f.task("T1");
        f.session.setSelection(SessionSelection::task(t1));
        f.session.moveSelectedItemToPending();
        f.scheduler.advance(0.1);
        const double leaving = f.view.collapseProgress("completion-shell-working-" + canonicalUuidText(t1));
        const double arriving = f.view.collapseProgress(f.rowID("T1"));
        QVERIFY(leaving > 0.01 && leaving < 0.9);
        QVERIFY(arriving > 0.1 && arriving < 0.99);
        QCOMPARE(f.session.itemIDs(TaskSection::inbox).first(), t1);
        QCOMPARE(f.view.collapseProgress(f.rowID("Inbox one")), 1.0);
        f.session.setSelection(SessionSelection::task(f.task("T4")));
        f.session.deleteSelectedItem();
        f.scheduler.advance(1);
        QCOMPARE(f.view.rows(), f.session.renderedRows());
    }
};

QTEST_MAIN(TaskListDragTest)
#include "TaskListDragTest.moc"
