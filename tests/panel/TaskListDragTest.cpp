#include "PanelFixture.h"
#include "document/DocumentFormat.h"
#include "panel/CompletionCollapseModifier.h"

#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>

class TaskListDragTest : public QObject {
    Q_OBJECT

    // A bare list view over T1..T4, two inbox tasks and one done, with a drag of text over it.
    struct Fixture : ListFixture {
        QMimeData text;

        explicit Fixture(bool animated = false, const VeskDocument& document = Fixture::document(),
            QSize size = {420, 640})
            : ListFixture(document, size, animated)
        { }
        static VeskDocument document()
        {
            return parseDocument("T1\nT2\nT3\nT4\n---\nInbox one\nInbox two\n---\nDone");
        }
        QUuid task(const QString& title) const { return taskNamed(session, title); }
        QString rowID(const QString& title) const { return rowIDOf(session, task(title)); }
        QRectF rect(const QString& title) const { return view.rowRect(rowID(title)); }
        // A viewport point in the row of title, dy below its top.
        QPoint at(const QString& title, double dy) const
        {
            return QPointF(rect(title).center().x(), rect(title).top() + dy - view.scrollOffset()).toPoint();
        }
        QString order() const { return titlesOf(session, TaskSection::working).join(' '); }
        template <typename Event>
        bool send(QPoint point)
        {
            Event event(point, Qt::MoveAction, &text, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(view.viewport(), &event);
            return event.isAccepted();
        }
        bool enter(const QString& dragged, QPoint point = QPoint(20, 2))
        {
            text.setText(dragged);
            return send<QDragEnterEvent>(point);
        }
        bool dragTo(QPoint point) { return send<QDragMoveEvent>(point); }
        bool dropAt(QPoint point) { return send<QDropEvent>(point); }
    };

private Q_SLOTS:
    void aDraggedRowOffersItsIdAndReordersLive()
    {
        Fixture f;
        const SessionSelection selection = SessionSelection::task(f.task("T3"));
        f.session.setSelection(selection);
        const QUuid t1 = f.task("T1");
        QStringList seen;
        f.view.runDrag = [&](QDrag* drag) {
            // The task's id as plain text, and an invisible image: only the raised row shows.
            seen << drag->mimeData()->formats().join(' ');
            [&] {
                QCOMPARE(QUuid::fromString(drag->mimeData()->text()), t1);
                QCOMPARE(drag->pixmap().toImage().pixelColor(0, 0).alpha(), 0);
                QCOMPARE(drag->pixmap().size(), QSize(1, 1));
                QCOMPARE(f.view.transitions().raiseProgress(t1), 1.0);
                QVERIFY(f.enter(drag->mimeData()->text(), f.at("T1", 5)));
            }();
            const double h = f.rect("T2").height();
            // Live moves over row halves; rows of other sections neither move the task nor take it.
            for (const auto& [title, dy] :
                std::initializer_list<std::pair<const char*, double>> {{"T2", 0.25}, {"T2", 0.75},
                    {"T3", 0.75}, {"Inbox one", 0.75}, {"Done", 0.25}, {"T2", 0.25}})
                seen << QString("%1:%2").arg(f.dragTo(f.at(title, h * dy))).arg(f.order());
            seen << QString("drop:%1").arg(f.dropAt(f.at("T3", h * 0.5)));
            seen << QString("raised:%1").arg(f.view.draggedTaskID().has_value());
            return Qt::MoveAction;
        };
        QTest::mousePress(f.view.viewport(), Qt::LeftButton, {}, f.at("T1", 10));
        QTest::mouseMove(f.view.viewport(), f.at("T1", 30));
        QTest::mouseRelease(f.view.viewport(), Qt::LeftButton, {}, f.at("T1", 30));
        QCOMPARE(seen,
            QStringList({"text/plain", "1:T1 T2 T3 T4", "1:T2 T1 T3 T4", "1:T2 T3 T1 T4", "0:T2 T3 T1 T4",
                "0:T2 T3 T1 T4", "1:T1 T2 T3 T4", "drop:1", "raised:0"}));
        QCOMPARE(f.session.undoStack().size(), 3); // each live move is one change
        QCOMPARE(f.session.selection(), selection);
        QCOMPARE(f.view.transitions().raiseProgress(t1), 0.0);

        // A plain click still selects, on release, and starts no drag.
        QTest::mouseClick(f.view.viewport(), Qt::LeftButton, {}, f.at("T4", 10));
        QCOMPARE(f.session.selection(), SessionSelection::task(f.task("T4")));
        QCOMPARE(seen.size(), 9);
    }

    void dragsEndingElsewhereLeaveNothingRaised()
    {
        Fixture f;
        const QUuid t2 = f.task("T2");
        // Dropped on the dragged row itself, let go over a section header, or cancelled.
        for (QString target : {"T2", "header", "cancel"}) {
            bool raised = false;
            f.view.runDrag = [&](QDrag* drag) {
                raised = f.view.draggedTaskID() == t2;
                if (target == "cancel")
                    return Qt::IgnoreAction;
                f.enter(drag->mimeData()->text());
                const QPoint point = target == "T2" ? f.at("T2", 5) : QPoint(20, 2);
                f.dragTo(point);
                return f.dropAt(point) ? Qt::MoveAction : Qt::IgnoreAction;
            };
            QVERIFY(f.view.startTaskDrag(t2));
            QVERIFY2(raised, qPrintable(target));
            QCOMPARE(f.view.draggedTaskID(), std::nullopt);
            QCOMPARE(f.view.transitions().raiseProgress(t2), 0.0);
        }
        QCOMPARE(f.order(), "T1 T2 T3 T4");

        // Text dragged in from another program is refused by every row.
        QVERIFY(f.enter("T2"));
        QVERIFY(!f.dragTo(f.at("T3", 30)));
        QVERIFY(!f.dropAt(f.at("T3", 30)));
        QCOMPARE(f.order(), "T1 T2 T3 T4");
    }

    void tasksThatMayNotMoveOfferNoDrag()
    {
        Fixture f;
        int drags = 0;
        f.view.runDrag = [&](QDrag*) { return ++drags, Qt::IgnoreAction; };
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
        const double t2Before = f.rect("T2").top();
        f.view.runDrag = [&](QDrag* drag) {
            f.enter(drag->mimeData()->text());
            f.dragTo(f.at("T2", f.rect("T2").height() - 2));
            return Qt::IgnoreAction;
        };
        f.view.startTaskDrag(f.task("T1"));
        QCOMPARE(f.order(), "T2 T1 T3 T4");
        // The layout is final at once; the rows are drawn sliding from their old places.
        QVERIFY(f.rect("T2").top() < t2Before);
        QVERIFY(f.view.transitions().isRunning());
        f.scheduler.advance(TaskRowTransitions::reorderDuration + 0.05);
        QVERIFY(!f.view.transitions().isRunning());
    }

    void holdingARowNearAnEdgeScrollsTheList()
    {
        VeskDocument document;
        for (int i = 1; i <= 40; ++i)
            document.workingItems << VeskTask {QString("T%1").arg(i), std::nullopt};
        Fixture f(false, document, QSize(420, 300));
        const QUuid t1 = f.task("T1");
        // Each live move reveals the selection; that must not pull the list back to it.
        f.session.setSelection(SessionSelection::task(f.task("T2")));
        const int bottom = f.view.viewport()->height();
        // How far the list scrolls in a tenth of a second with the pointer held at y.
        const auto scrolled = [&](int y) {
            const double before = f.view.scrollOffset();
            f.dragTo(QPoint(100, y));
            f.scheduler.advance(0.1);
            return f.view.scrollOffset() - before;
        };
        QList<double> seen;
        f.view.runDrag = [&](QDrag* drag) {
            f.enter(drag->mimeData()->text(), f.at("T1", 10));
            seen << scrolled(bottom - 30) << scrolled(bottom - 3);
            // The dragged task keeps moving to the rows that scroll under the pointer.
            seen << (f.view.taskAt(QPoint(100, bottom - 3)) == t1)
                 << f.session.itemIDs(TaskSection::working).indexOf(t1);
            seen << scrolled(bottom / 2) << scrolled(3);
            scrolled(bottom - 3); // let go while the list scrolls
            return Qt::IgnoreAction;
        };
        f.view.startTaskDrag(t1);
        QCOMPARE(seen.size(), 6);
        QVERIFY(seen[0] > 0 && seen[1] > 2 * seen[0]);
        QCOMPARE(seen[2], 1.0);
        QVERIFY(seen[3] > 5);
        QCOMPARE(seen[4], 0.0);
        QVERIFY(seen[5] < -seen[0]);
        // The drag is over: nothing scrolls on.
        QVERIFY(f.view.scrollOffset() > 0);
        const double offset = f.view.scrollOffset();
        f.scheduler.advance(1);
        QCOMPARE(f.view.scrollOffset(), offset);
    }

    void theCollapseModifierSqueezesTowardTheTopEdge()
    {
        const QRectF row(10, 20, 100, 40);
        // Alpha down the middle column of the row painted black at progress.
        const auto column = [&](double progress) {
            QImage image(120, 80, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            CompletionCollapseModifier {progress}.apply(painter, row);
            painter.fillRect(row, Qt::black);
            painter.end();
            QList<int> alpha;
            for (int y = 0; y < image.height(); ++y)
                alpha << qAlpha(image.pixel(60, y));
            return alpha;
        };
        const auto covered = [](const QList<int>& alpha) { return alpha.size() - alpha.count(0); };
        // Practically invisible and without height at the start of the transition.
        const QList<int> gone = column(CompletionCollapseModifier::removedProgress);
        QVERIFY(covered(gone) <= 1 && gone[20] <= 1);
        // Half way: the top half of the row's box, at half opacity.
        const QList<int> half = column(0.5);
        QCOMPARE(covered(half), 20);
        QVERIFY(half[20] > 0 && half[40] == 0 && std::abs(half[25] - 128) <= 2);
        QCOMPARE(covered(column(1)), 40);
        QCOMPARE(column(1)[59], 255);
    }

    void completedRowsCollapseAwayAndGrowIntoTheirSection()
    {
        Fixture f(true);
        const QUuid t2 = f.task("T2");
        const double full = f.rect("T1").height();
        const double t3Top = f.rect("T3").top();
        f.session.setSelection(SessionSelection::task(t2));
        f.session.toggleSelectedItemCompletion();
        // The shell takes the task's place without a transition...
        const QString shellID = "completion-shell-working-" + canonicalUuidText(t2);
        QList<double> shellAtStart;
        connect(&f.session, &SessionController::changed, &f.view, [&] {
            if (f.session.completionShell() && shellAtStart.isEmpty())
                shellAtStart
                    = {f.view.rowRect(shellID).height(), f.view.transitions().collapseProgress(shellID)};
        });
        f.scheduler.advance(SessionController::completionPreviewDelay);
        QCOMPARE(shellAtStart, QList<double>({full, 1.0}));
        QCOMPARE(f.session.itemIDs(TaskSection::completed).first(), t2);
        // ...then shrinks while the landed row grows from nothing and the rows below rise.
        const QString landedID = f.rowID("T2");
        QCOMPARE(
            f.view.transitions().collapseProgress(landedID), CompletionCollapseModifier::removedProgress);
        QCOMPARE(f.rect("T3").top(), t3Top);
        QList<double> previous {full, 0, t3Top};
        for (int step = 0; step < 5; ++step) {
            f.scheduler.advance(0.05);
            const QList<double> now {
                f.view.rowRect(shellID).height(), f.view.rowRect(landedID).height(), f.rect("T3").top()};
            QVERIFY(now[0] < previous[0] && now[1] > previous[1] && now[2] < previous[2]);
            previous = now;
        }
        f.scheduler.advance(TaskRowTransitions::collapseDuration);
        QVERIFY(!f.view.transitions().isRunning());
        QVERIFY(f.view.rowRect(shellID).isEmpty());
        QCOMPARE(f.view.rowRect(landedID).height(), full);
        QCOMPARE(f.rect("T3").top(), t3Top - full);
        QCOMPARE(f.view.layout().rows().toList(), f.session.renderedRows());

        // A move to the inbox collapses the same way; other rows never do.
        const QUuid t1 = f.task("T1");
        f.session.setSelection(SessionSelection::task(t1));
        f.session.moveSelectedItemToPending();
        f.scheduler.advance(0.1);
        const double leaving
            = f.view.transitions().collapseProgress("completion-shell-working-" + canonicalUuidText(t1));
        const double arriving = f.view.transitions().collapseProgress(f.rowID("T1"));
        QVERIFY(leaving > 0.01 && leaving < 0.9);
        QVERIFY(arriving > 0.1 && arriving < 0.99);
        QCOMPARE(f.view.transitions().collapseProgress(f.rowID("Inbox one")), 1.0);
        f.session.setSelection(SessionSelection::task(f.task("T4")));
        f.session.deleteSelectedItem();
        f.scheduler.advance(1);
        QCOMPARE(f.view.layout().rows().toList(), f.session.renderedRows());
    }
};

QTEST_MAIN(TaskListDragTest)
#include "TaskListDragTest.moc"
