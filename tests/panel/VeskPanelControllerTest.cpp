#include "panel/VeskPanelController.h"
#include "PanelFixture.h"
#include "panel/PanelStatusLine.h"
#include "panel/PanelWelcomeView.h"
#include "platform/SettingsStore.h"

#include <QCursor>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>

class VeskPanelControllerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    ManualScheduler& m_scheduler = testClock();
    int m_counter = 0;

    struct Document {
        ScriptedDialogPresenter dialogs;
        VeskDocumentController controller {&dialogs, &testClock()};
        VeskPanelController panel {&controller, &testClock()};
        SessionController* session() { return controller.sessionController(); }
    };

    QUrl file(const QString& name, const QByteArray& text)
    {
        return QUrl::fromLocalFile(writeFile(m_dir.filePath(name), text));
    }

private Q_SLOTS:
    void init()
    {
        m_settings
            = std::make_unique<SettingsStore>(m_dir.filePath(QString("settings-%1.ini").arg(++m_counter)));
        SettingsStore::setShared(m_settings.get());
    }
    void cleanup()
    {
        SettingsStore::setShared(nullptr);
        m_settings.reset();
    }

    void withoutAFileThePanelWelcomes()
    {
        Document d;
        d.panel.showPanel();
        QCOMPARE(d.panel.host()->windowTitle(), QStringLiteral("Vesk"));
        QVERIFY(!d.panel.toolbar()->isVisible());
        QVERIFY(d.panel.rootView()->isShowingWelcome());
        // "New File" and "Open..." reach the document controller's panels.
        PanelWelcomeView* welcome = d.panel.rootView()->welcomeView();
        QCOMPARE(welcome->newFileButton()->text() + welcome->openFileButton()->text(), "New FileOpen...");
        welcome->openFileButton()->click();
        welcome->newFileButton()->click();
        QCOMPARE(d.dialogs.openRequests.size(), 1);
        QCOMPARE(d.dialogs.saveRequests.size(), 1);
    }

    void aFileNamesTheWindowAndTheStatusLineReportsIt()
    {
        Document d;
        d.panel.showPanel();
        const QUrl url = file("Groceries.vesk", "Milk\n---\nEggs\nBread\n---\n");
        QVERIFY(!d.controller.openDocument(url));
        m_scheduler.runDueJobs();
        QCOMPARE(d.panel.host()->windowTitle(), QStringLiteral("Groceries"));
        QCOMPARE(d.panel.host()->tabBar()->tabToolTip(0), url.toLocalFile());
        QVERIFY(d.panel.toolbar()->isVisible());
        QVERIFY(!d.panel.rootView()->isShowingWelcome());
        PanelStatusLine* status = d.panel.rootView()->statusLine();
        QCOMPARE(status->shownCount(), QStringLiteral("1 next"));
        QCOMPARE(status->shownStatus(), d.controller.appStatus());
        QVERIFY(status->shownStatus().contains("Groceries.vesk"));

        d.session()->setSelection(SessionSelection::task(d.session()->inboxItemIDs().first()));
        d.session()->moveSelectedItemToNext();
        m_scheduler.advance(2);
        QCOMPARE(status->shownCount(), QStringLiteral("2 next"));

        QCOMPARE(PanelStatusLine::statusText("Saved Groceries.vesk", SyncState::unwritable),
            QStringLiteral("File is read-only \u2014 click to resolve"));
        QCOMPARE(PanelStatusLine::statusText("Saved Groceries.vesk", SyncState::externallyModifiedReloadable),
            QStringLiteral("Saved Groceries.vesk"));
    }

    void theFirstWindowHasTheDefaultSizeLaterOnesTheSavedFrame()
    {
        QRect saved;
        {
            Document d;
            d.panel.showPanel();
            QVERIFY(!d.panel.didRestoreSavedFrame());
            const QWidget* content = d.panel.rootView();
            QCOMPARE(content->size(),
                QSize(VeskPanelController::contentWidth, VeskPanelController::contentHeight));
            QCOMPARE(content->minimumSize(), content->size());
            d.panel.host()->setGeometry(QRect(40, 50, 700, 800));
            saved = d.panel.host()->geometry();
            d.panel.closePanel();
            QVERIFY(!d.panel.panel());
        }
        Document again;
        again.panel.showPanel();
        QVERIFY(again.panel.didRestoreSavedFrame());
        QCOMPARE(again.panel.host()->size(), saved.size());
        QVERIFY(again.panel.rootView()->minimumWidth() < VeskPanelController::contentWidth);
    }

    void panelsOpenInsideTheSmallScreenUnderThePointer()
    {
        const QRect laptop = QGuiApplication::screenAt(QPoint(1290, 10))->availableGeometry();
        QCursor::setPos(laptop.center());
        {
            Document d;
            d.panel.showPanel();
            QVERIFY2(laptop.contains(d.panel.host()->frameGeometry()),
                qPrintable(QDebug::toString(d.panel.host()->frameGeometry())));
            QVERIFY(d.panel.rootView()->height() < VeskPanelController::contentHeight);
            // A frame saved larger than the screen and partly beside it.
            d.panel.host()->setGeometry(laptop.right() - 100, laptop.top() + 100, 800, 900);
            d.panel.closePanel();
        }
        Document again;
        again.panel.showPanel();
        QVERIFY(again.panel.didRestoreSavedFrame());
        QVERIFY(laptop.contains(again.panel.host()->frameGeometry()));
        QCursor::setPos(10, 10);
    }

    void theSearchFieldFiltersAndItsKeysDriveTheList()
    {
        Document d;
        QVERIFY(!d.controller.openDocument(file("List.vesk", "Alpha\nBeta\nGamma\n---\n---\n")));
        d.panel.showPanel();
        QLineEdit* field = d.panel.searchField();
        QCOMPARE(field->placeholderText(), QStringLiteral("Search"));

        QApplication::setActiveWindow(d.panel.host());
        d.panel.focusSearchField();
        m_scheduler.runDueJobs();
        QVERIFY(d.panel.isSearchFieldFocused());
        QTest::keyClicks(field, "am");
        QCOMPARE(d.session()->filterQuery(), QStringLiteral("am")); // Gamma only
        d.session()->setFilterQuery("a");
        QCOMPARE(field->text(), QStringLiteral("am")); // a focused field is never overwritten
        QTest::keyClick(field, Qt::Key_Backspace);
        QCOMPARE(field->text(), QStringLiteral("a"));

        // Up and Down move the list's selection while the field keeps the focus.
        const ItemIDList ids = d.session()->workingItemIDs();
        d.session()->setSelection(SessionSelection::task(ids.at(0)));
        QTest::keyClick(field, Qt::Key_Down);
        QCOMPARE(d.session()->selection(), SessionSelection::task(ids.at(1)));
        QTest::keyClick(field, Qt::Key_Up);
        QCOMPARE(d.session()->selection(), SessionSelection::task(ids.at(0)));
        QVERIFY(d.panel.isSearchFieldFocused());

        QTest::keyClick(field, Qt::Key_Escape);
        QCOMPARE(d.session()->filterQuery(), QString());
        QCOMPARE(field->text(), QString());
        m_scheduler.runDueJobs();
        QVERIFY(!d.panel.isSearchFieldFocused());
        QVERIFY(d.panel.rootView()->listView()->hasFocus());

        // Changes made elsewhere show while the field is not focused.
        d.session()->setFilterQuery("Beta");
        QCOMPARE(field->text(), QStringLiteral("Beta"));

        // A hidden panel can still be activated for a moment, by a focus event that the window
        // system sent before it heard of the hiding; the field does not take the focus then, so
        // keys reach the list when the panel is shown again.
        d.panel.host()->hide();
        QApplication::setActiveWindow(nullptr);
        QApplication::setActiveWindow(d.panel.host());
        QVERIFY(d.panel.host()->focusWidget() != field);
        QApplication::setActiveWindow(nullptr);
        d.panel.showPanel();
        QApplication::setActiveWindow(d.panel.host());
        QVERIFY(d.panel.rootView()->listView()->hasFocus());
    }

    void closingOnlyAsks()
    {
        Document d;
        d.panel.showPanel();
        int asked = 0;
        d.panel.onCloseRequested = [&] { ++asked; };
        d.panel.host()->close();
        QCOMPARE(asked, 1);
        QVERIFY(d.panel.host()->isVisible());
        QVERIFY(!d.panel.windowShouldClose());
        QCOMPARE(asked, 2);
    }

    void tabsAreInsertedClampedReorderedAndClosed()
    {
        Document a, b, c;
        a.panel.showPanel();
        int orderChanges = 0;
        a.panel.onTabOrderChanged = [&] { ++orderChanges; };
        a.panel.insertTab(&a.panel, 0); // own window: nothing
        a.panel.insertTab(&b.panel, 0); // b has no window yet: nothing
        QCOMPARE(a.panel.tabbedPanelWindows().size(), 1);
        QVERIFY(!a.panel.host()->tabBar()->isVisible());
        QCOMPARE(orderChanges, 0);

        b.panel.showPanel();
        c.panel.showPanel();
        PanelTabHost* bHost = b.panel.host();
        a.panel.insertTab(&b.panel, -3);
        QCOMPARE(orderChanges, 1);
        a.panel.insertTab(&c.panel, 99);
        QCOMPARE(a.panel.tabbedPanelWindows(),
            QList<QWidget*>({b.panel.panel(), a.panel.panel(), c.panel.panel()}));
        QCOMPARE(b.panel.host(), a.panel.host());
        QVERIFY(a.panel.host()->tabBar()->isVisible());
        QVERIFY(!bHost || (bHost->count() == 0 && !bHost->isVisible())); // an emptied window goes away

        a.panel.applyTabOrder({&c.panel, &b.panel, &a.panel});
        QCOMPARE(a.panel.tabbedPanelWindows(),
            QList<QWidget*>({c.panel.panel(), b.panel.panel(), a.panel.panel()}));

        // A drag by the user reorders the tabs and is reported on the next turn.
        m_scheduler.runDueJobs();
        orderChanges = 0;
        a.panel.host()->tabBar()->moveTab(0, 2);
        QCOMPARE(a.panel.tabbedPanelWindows(),
            QList<QWidget*>({b.panel.panel(), a.panel.panel(), c.panel.panel()}));
        QCOMPARE(orderChanges, 0);
        m_scheduler.runDueJobs();
        QCOMPARE(orderChanges, 1);

        // Closing one tab leaves the others in the window.
        b.panel.closePanel();
        QCOMPARE(a.panel.tabbedPanelWindows(), QList<QWidget*>({a.panel.panel(), c.panel.panel()}));
        c.panel.closePanel();
        QVERIFY(!a.panel.host()->tabBar()->isVisible());
    }
};

QTEST_MAIN(VeskPanelControllerTest)
#include "VeskPanelControllerTest.moc"
