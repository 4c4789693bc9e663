#include "TaskListView.h"
#include "GrowingTextView.h"
#include "ManualScheduler.h"
#include "Pasteboard.h"
#include "SessionController.h"
#include "TaskTextLayoutCache.h"

#include <QApplication>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

namespace {

class MemoryPasteboard : public Pasteboard {
public:
    QString text;
    QString readString() const override { return text; }
    void writeString(const QString& value) override { text = value; }
};

VeskDocument sampleDocument()
{
    VeskDocument document;
    document.workingItems = {VeskTask {"Write the report", QString("Two pages\nwith a summary")},
        VeskTask {"Call the plumber", std::nullopt}};
    document.inboxItems = {VeskTask {"Read [the plan](https://example.com/plan) soon", std::nullopt}};
    document.completedItems = {VeskTask {"Buy milk", std::nullopt}};
    return document;
}

VeskDocument bigDocument(int count)
{
    VeskDocument document;
    for (int i = 0; i < count; ++i)
        document.inboxItems << VeskTask {QStringLiteral("Task number %1").arg(i), std::nullopt};
    document.completedItems << VeskTask {QStringLiteral("The last one"), std::nullopt};
    return document;
}

} // namespace

class TaskListViewTest : public QObject {
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
        std::shared_ptr<MemoryPasteboard> pasteboard = std::make_shared<MemoryPasteboard>();
        TaskListView* view = nullptr;

        explicit Fixture(const VeskDocument& document = sampleDocument(), QSize size = QSize(490, 610))
        {
            TaskTextLayoutCache::shared().setScheduler(&scheduler);
            session.setPasteboard(pasteboard);
            session.loadDocument(document);
            view = new TaskListView(&session, &scheduler);
            view->setAnimationsEnabled(false);
            view->setWindowActive(true);
            view->resize(size);
            view->show();
            scheduler.runDueJobs();
        }
        ~Fixture() { delete view; }
        QUuid id(TaskSection section, int index) const { return session.itemIDs(section).at(index); }
        QString rowID(TaskSection section, int index) const
        {
            return QStringLiteral("task-") + taskSectionRawValue(section) + "-"
                + canonicalUuidText(id(section, index));
        }
        QPoint centre(const QString& rowID) const
        {
            return view->rowRect(rowID).center().toPoint() - QPoint(0, int(view->scrollOffset()));
        }
    };

private Q_SLOTS:
    void allThreeSectionsHaveHeadersEvenWhenEmpty()
    {
        Fixture f(VeskDocument {});
        const QRectF working = f.view->rowRect("section-header-working");
        const QRectF inbox = f.view->rowRect("section-header-inbox");
        const QRectF completed = f.view->rowRect("section-header-completed");
        QVERIFY(!working.isEmpty() && !inbox.isEmpty() && !completed.isEmpty());
        QCOMPARE(working.top(), TaskListView::verticalPadding);
        // Only the working header has no top padding; each empty section keeps a 12-point spacer.
        QCOMPARE(inbox.height() - working.height(), 18.0);
        QCOMPARE(completed.height(), inbox.height());
        QCOMPARE(inbox.top(), working.bottom() + 12);
        QVERIFY(f.view->rowRect("input").isEmpty());

        f.session.beginCreatingNewItem();
        const QRectF input = f.view->rowRect("input");
        QVERIFY(!input.isEmpty());
        QCOMPARE(input.top(), f.view->rowRect("section-header-inbox").bottom());
        QVERIFY(f.view->inputEditor());
        QVERIFY(f.view->inputEditor()->isVisible());
    }

    void rowsFollowTheSessionInOrder()
    {
        Fixture f;
        const QRectF first = f.view->rowRect(f.rowID(TaskSection::working, 0));
        const QRectF second = f.view->rowRect(f.rowID(TaskSection::working, 1));
        const QRectF inbox = f.view->rowRect(f.rowID(TaskSection::inbox, 0));
        const QRectF done = f.view->rowRect(f.rowID(TaskSection::completed, 0));
        QVERIFY(
            first.bottom() <= second.top() && second.bottom() < inbox.top() && inbox.bottom() < done.top());
        QCOMPARE(first.left(), TaskListView::horizontalPadding);
        QCOMPARE(first.width(), f.view->viewport()->width() - 2 * TaskListView::horizontalPadding);
        QCOMPARE(f.view->rowIDAt(f.centre(f.rowID(TaskSection::inbox, 0))), f.rowID(TaskSection::inbox, 0));

        f.session.setFilterQuery("plumber");
        QVERIFY(f.view->rowRect(f.rowID(TaskSection::working, 0)).isEmpty());
        QVERIFY(!f.view->rowRect(f.rowID(TaskSection::working, 1)).isEmpty());
    }

    void tapSelectsAndDoubleClickEdits()
    {
        Fixture f;
        int resigned = 0;
        f.view->resignSearchFieldFocus = [&] { ++resigned; };
        const QString row = f.rowID(TaskSection::working, 1);
        QTest::mouseClick(f.view->viewport(), Qt::LeftButton, {}, f.centre(row));
        QCOMPARE(f.session.selection(), SessionSelection::task(f.id(TaskSection::working, 1)));
        QCOMPARE(resigned, 1);
        QVERIFY(!f.session.inlineEditState());

        QTest::mouseDClick(f.view->viewport(), Qt::LeftButton, {}, f.centre(row));
        QVERIFY(f.session.inlineEditState());
        QCOMPARE(f.session.inlineEditState()->itemID, f.id(TaskSection::working, 1));
        f.scheduler.runDueJobs();
        QVERIFY(f.view->inlineEditor());
        QCOMPARE(f.view->inlineEditor()->text(), QStringLiteral("Call the plumber"));
        QCOMPARE(f.view->panelFocus(), PanelFocus::edit(f.id(TaskSection::working, 1)));
        QCOMPARE(f.view->expandedSelectionTaskID(), f.id(TaskSection::working, 1));

        // Typing edits the draft; Return commits.
        f.view->inlineEditor()->selectAll();
        QTest::keyClicks(f.view->inlineEditor(), "Call the electrician");
        QCOMPARE(f.session.inlineEditState()->draftText, QStringLiteral("Call the electrician"));
        QTest::keyClick(f.view->inlineEditor(), Qt::Key_Return);
        QVERIFY(!f.session.inlineEditState());
        QCOMPARE(f.session.itemsByID().value(f.id(TaskSection::working, 1)).title,
            QStringLiteral("Call the electrician"));
        QApplication::processEvents(); // the closed editor is deleted later
        QVERIFY(!f.view->inlineEditor());

        // A click on another task while an editor is open cancels that editor.
        f.session.beginEditingItem(f.id(TaskSection::working, 0));
        QVERIFY(f.session.inlineEditState());
        QTest::mouseClick(
            f.view->viewport(), Qt::LeftButton, {}, f.centre(f.rowID(TaskSection::completed, 0)));
        QVERIFY(!f.session.inlineEditState());
        QCOMPARE(f.session.selection(), SessionSelection::task(f.id(TaskSection::completed, 0)));
    }

    void theSelectedRowExpandsAfterADelay()
    {
        Fixture f;
        const QUuid id = f.id(TaskSection::working, 0);
        const QString row = f.rowID(TaskSection::working, 0);
        const double collapsed = f.view->rowRect(row).height();
        f.session.setSelection(SessionSelection::task(id));
        QCOMPARE(f.view->expandedSelectionTaskID(), std::nullopt);
        f.scheduler.advance(0.13);
        QCOMPARE(f.view->expandedSelectionTaskID(), std::nullopt);
        f.scheduler.advance(0.02);
        QCOMPARE(f.view->expandedSelectionTaskID(), id);
        QVERIFY(f.view->rowRect(row).height() > collapsed + 10); // title and two note lines

        // In a keyboard burst the next row waits 0.28 s; the previous one collapses at once.
        f.view->setKeyboardNavigationBurstUntil(f.scheduler.now() + 1);
        const QUuid next = f.id(TaskSection::working, 1);
        f.session.setSelection(SessionSelection::task(next));
        QCOMPARE(f.view->rowRect(row).height(), collapsed);
        f.scheduler.advance(0.2);
        QCOMPARE(f.view->expandedSelectionTaskID(), std::nullopt);
        f.scheduler.advance(0.09);
        QCOMPARE(f.view->expandedSelectionTaskID(), next);

        // A stale schedule does not expand a row that is no longer selected.
        f.session.setSelection(SessionSelection::task(id));
        f.session.setSelection(SessionSelection::none());
        f.scheduler.advance(1);
        QCOMPARE(f.view->expandedSelectionTaskID(), std::nullopt);
    }

    void contextMenusOfferTheMovesOfTheirSection()
    {
        Fixture f;
        const auto titles = [&](TaskSection section) {
            QStringList list;
            for (const auto& item : f.view->contextMenuItems(f.id(section, 0)))
                list << (item.isDivider() ? "-" : item.title);
            return list;
        };
        const QStringList common {"-", "Open Link", "-", "Cut", "Copy", "Paste", "-", "Edit", "Delete"};
        QCOMPARE(titles(TaskSection::working), QStringList({"Move to Pending", "Move to Done"}) + common);
        QCOMPARE(titles(TaskSection::inbox), QStringList({"Move to Next", "Move to Done"}) + common);
        QCOMPARE(titles(TaskSection::completed), QStringList({"Move to Next", "Move to Pending"}) + common);

        const auto enabled = [&](TaskSection section, const QString& title) {
            for (const auto& item : f.view->contextMenuItems(f.id(section, 0)))
                if (item.title == title)
                    return item.enabled;
            return false;
        };
        QVERIFY(enabled(TaskSection::inbox, "Open Link"));
        QVERIFY(!enabled(TaskSection::working, "Open Link"));
        QVERIFY(!enabled(TaskSection::working, "Paste")); // empty pasteboard
        f.pasteboard->text = "From the clipboard";
        QVERIFY(enabled(TaskSection::working, "Paste"));
        QVERIFY(enabled(TaskSection::completed, "Delete"));

        // Actions run on the row under the pointer and give the selection back.
        const QUuid selected = f.id(TaskSection::working, 1);
        f.session.setSelection(SessionSelection::task(selected));
        const QUuid done = f.id(TaskSection::completed, 0);
        for (const auto& item : f.view->contextMenuItems(done))
            if (item.title == "Move to Pending")
                item.action();
        QCOMPARE(f.session.sectionOf(done), TaskSection::inbox);
        QCOMPARE(f.session.selection(), SessionSelection::task(selected));

        for (const auto& item : f.view->contextMenuItems(selected))
            if (item.title == "Copy")
                item.action();
        QCOMPARE(f.pasteboard->text, QStringLiteral("Call the plumber"));

        // Edit opens the inline editor, which disables the row commands.
        for (const auto& item : f.view->contextMenuItems(done))
            if (item.title == "Edit")
                item.action();
        QCOMPARE(f.session.inlineEditState()->itemID, done);
    }

    void aRightClickOutlinesAnUnselectedRowUntilTheSelectionChanges()
    {
        Fixture f;
        const QUuid selected = f.id(TaskSection::working, 0);
        f.session.setSelection(SessionSelection::task(selected));
        QTest::mousePress(
            f.view->viewport(), Qt::RightButton, {}, f.centre(f.rowID(TaskSection::working, 0)));
        QCOMPARE(f.view->contextMenuTargetItemID(), std::nullopt);
        QTest::mousePress(f.view->viewport(), Qt::RightButton, {}, f.centre(f.rowID(TaskSection::inbox, 0)));
        QCOMPARE(f.view->contextMenuTargetItemID(), f.id(TaskSection::inbox, 0));
        f.session.setSelection(SessionSelection::task(f.id(TaskSection::working, 1)));
        QCOMPARE(f.view->contextMenuTargetItemID(), std::nullopt);
    }

    void theSelectionIsRevealedWithRoomBelow()
    {
        Fixture f(bigDocument(200), QSize(400, 300));
        const QUuid id = f.id(TaskSection::inbox, 30);
        f.session.setSelection(SessionSelection::task(id));
        f.scheduler.runDueJobs();
        const QRectF row = f.view->rowRect(f.rowID(TaskSection::inbox, 30));
        QCOMPARE(f.view->scrollOffset(), std::round(row.bottom() + 16 - f.view->viewport()->height()));

        // A row already in view does not scroll.
        const double before = f.view->scrollOffset();
        f.session.setSelection(SessionSelection::task(f.id(TaskSection::inbox, 28)));
        f.scheduler.advance(0.5);
        QCOMPARE(f.view->scrollOffset(), before);

        // Going up reveals the row's top; the last row never scrolls past the content.
        f.session.setSelection(SessionSelection::task(f.id(TaskSection::inbox, 0)));
        f.scheduler.advance(0.5);
        QCOMPARE(f.view->scrollOffset(), std::round(f.view->rowRect(f.rowID(TaskSection::inbox, 0)).top()));
        f.session.setSelection(SessionSelection::task(f.id(TaskSection::completed, 0)));
        f.scheduler.advance(0.5);
        QCOMPARE(f.view->scrollOffset(), std::ceil(f.view->contentHeight()) - f.view->viewport()->height());
    }

    void onlyVisibleRowsArePainted()
    {
        Fixture f(bigDocument(10000), QSize(490, 610));
        QVERIFY(f.view->contentHeight() > 10000 * 40);
        f.view->viewport()->grab();
        QVERIFY(f.view->lastPaintedRowCount() > 5);
        QVERIFY(f.view->lastPaintedRowCount() < 20);
        f.view->setScrollOffset(200000);
        f.view->viewport()->grab();
        QVERIFY(f.view->lastPaintedRowCount() > 5 && f.view->lastPaintedRowCount() < 20);
        const QString id = f.view->rowIDAt(QPoint(100, 300));
        QVERIFY(id.startsWith("task-inbox-"));
    }

    void theInputRowTakesTypingOnlyWhileEditable()
    {
        Fixture f;
        f.session.beginCreatingNewItem();
        f.scheduler.runDueJobs();
        GrowingTextView* editor = f.view->inputEditor();
        QVERIFY(editor);
        editor->setFocus();
        QTest::keyClicks(editor, "New thing");
        QCOMPARE(f.session.inputDraft(), QStringLiteral("New thing"));
        f.view->setInputEditable(false);
        QTest::keyClicks(editor, "!");
        QCOMPARE(f.session.inputDraft(), QStringLiteral("New thing"));
        f.view->setInputEditable(true);
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(
            f.session.itemsByID().value(f.session.inboxItemIDs().first()).title, QStringLiteral("New thing"));
    }

    void linksShowTheirURLAndAPointingHand()
    {
        Fixture f;
        f.view->viewport()->grab(); // a shown row with a link asks for its link areas
        f.scheduler.advance(TaskTextLayoutCache::linkRegionsDelay);
        const QRectF row = f.view->rowRect(f.rowID(TaskSection::inbox, 0));
        const QFontMetricsF metrics(QApplication::font());
        Q_UNUSED(metrics);
        // "Read " then the label "the plan": probe along the row's text line.
        bool found = false;
        for (int x = int(row.left()) + 30; x < int(row.right()) && !found; x += 3) {
            const QPoint point(x, int(row.top() + TaskListView::rowPadding + 6 - f.view->scrollOffset()));
            QMouseEvent move(QEvent::MouseMove, point, f.view->viewport()->mapToGlobal(point), Qt::NoButton,
                Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(f.view->viewport(), &move);
            if (f.view->viewport()->cursor().shape() == Qt::PointingHandCursor) {
                found = true;
                QHelpEvent help(QEvent::ToolTip, point, f.view->viewport()->mapToGlobal(point));
                QApplication::sendEvent(f.view->viewport(), &help);
                QCOMPARE(QToolTip::text(), QStringLiteral("https://example.com/plan"));
            }
        }
        QVERIFY(found);
        const QPoint plain(int(row.left()) + 35, int(f.centre(f.rowID(TaskSection::working, 1)).y()));
        QMouseEvent move(QEvent::MouseMove, plain, f.view->viewport()->mapToGlobal(plain), Qt::NoButton,
            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(f.view->viewport(), &move);
        QCOMPARE(f.view->viewport()->cursor().shape(), Qt::ArrowCursor);
    }
};

QTEST_MAIN(TaskListViewTest)
#include "TaskListViewTest.moc"
