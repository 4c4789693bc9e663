#include "app/FileDropFilter.h"
#include "ShellTestSupport.h"
#include "app/VeskAppDelegate.h"
#include "panel/TaskListView.h"
#include "panel/VeskPanelRootView.h"
#include "session/SessionController.h"

#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QToolBar>
#include <QWindow>

class FileDropFilterTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A drag delivered through the panel's window as the window system delivers it: to the widget
    // under the pointer that accepts drops. Files from the file manager carry their addresses both
    // as URLs and as text.
    void filesOpenWhereverTheyAreDroppedAndOtherDragsGoOn_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("payload");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("working");
        const QStringList unchanged {"One", "Two"};
        QTest::newRow("files on the list") << "list"
                                           << "files" << true << "" << unchanged;
        QTest::newRow("files on the search field") << "search"
                                                   << "files" << true << "" << unchanged;
        QTest::newRow("files on the toolbar") << "toolbar"
                                              << "files" << true << "" << unchanged;
        QTest::newRow("files on the input row") << "input"
                                                << "files" << true << "" << unchanged;
        QTest::newRow("text on the search field") << "search"
                                                  << "text" << false << "Two" << unchanged;
        QTest::newRow("a row dragged over the list") << "list"
                                                     << "row" << false << "" << QStringList {"Two", "One"};
    }
    void filesOpenWhereverTheyAreDroppedAndOtherDragsGoOn()
    {
        QFETCH(QString, target);
        QFETCH(QString, payload);
        QFETCH(bool, opens);
        QFETCH(QString, search);
        QFETCH(QStringList, working);
        ShellFixture shell;
        VeskAppDelegate delegate;
        FileDropFilter drops;
        QObject::connect(
            &drops, &FileDropFilter::filesDropped, &delegate, &VeskAppDelegate::handleOpenRequest);
        AppController& app = shell.launch(false);
        QObject::connect(&app, &AppController::windowNeedsMenuBar, &drops, &FileDropFilter::watch);
        app.startShell();
        const QString path = shell.writeTaskFile("list.vesk", "One\nTwo\n---\n---\n");
        const QString dropped = shell.writeTaskFile("dropped.vesk");
        app.openDocumentAtURL(ShellFixture::url(path));
        shell.settle();
        VeskPanelController* panel = shell.contextFor(path).panelController;
        SessionController* session = panel->rootView()->sessionController();
        TaskListView* list = panel->rootView()->listView();
        if (target == "input") {
            session->beginCreatingNewItem(QString());
            shell.settle();
        }

        auto mime = new QMimeData;
        QWidget* widget = target == "search" ? static_cast<QWidget*>(panel->searchField())
            : target == "toolbar"            ? panel->panel()->findChild<QToolBar*>()
            : target == "input"              ? list->inputEditor()
                                             : list->viewport();
        QPoint at = widget->rect().center();
        if (payload == "files") {
            mime->setUrls({ShellFixture::url(dropped)});
            mime->setText(ShellFixture::url(dropped).toString());
        } else if (payload == "text") {
            mime->setText("Two");
        } else {
            const QUuid one = session->itemIDs(TaskSection::working).at(0);
            const QUuid two = session->itemIDs(TaskSection::working).at(1);
            list->setDraggedTaskID(one);
            mime->setText(canonicalUuidText(one));
            const QRectF row = list->rowRect(QStringLiteral("task-working-") + canonicalUuidText(two));
            at = QPointF(row.center().x(), row.top() + row.height() * 0.75 - list->scrollOffset()).toPoint();
        }
        QWidget* host = widget->window();
        const QPoint inWindow = widget->mapTo(host, at);
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        QDragEnterEvent enter(inWindow, actions, mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(host->windowHandle(), &enter);
        QDragMoveEvent move(inWindow, actions, mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(host->windowHandle(), &move);
        QDropEvent drop(inWindow, actions, mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(host->windowHandle(), &drop);
        shell.settle();
        delete mime;

        // The dragged row lands under the pointer, and a drop on the dragged row itself is refused.
        QCOMPARE(drop.isAccepted(), payload != "row");
        VeskPanelController* opened = shell.contextFor(dropped).panelController;
        QCOMPARE(bool(opened), opens);
        QVERIFY(!opened || opened->panel()->window() == host); // a tab of the same window
        QCOMPARE(panel->searchField()->text(), search);
        QCOMPARE(session->filterQuery(), search);
        QStringList titles;
        for (const QUuid& id : session->itemIDs(TaskSection::working))
            titles << session->itemsByID().value(id).title;
        QCOMPARE(titles, working);
        QCOMPARE(session->inputDraft(), QString());
    }
};

QTEST_MAIN(FileDropFilterTest)
#include "FileDropFilterTest.moc"
