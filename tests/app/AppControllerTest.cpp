#include "FakeHotKeyBackend.h"
#include "ShellTestSupport.h"
#include "app/DeferredIconStyle.h"
#include "app/DeferredStartup.h"
#include "app/VeskAppDelegate.h"
#include "panel/PanelTabHost.h"
#include "panel/WindowState.h"
#include "session/SessionController.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/HotKeyCenter.h"
#include "windows/KeyboardControlsPanelController.h"
#include "windows/WelcomeWindowController.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QSettings>
#include <QStyleFactory>
#include <QStyleOption>
#include <QVariantMap>

#include <unistd.h>
#include <xcb/xcb.h>

namespace {
const int spaceKey = 49;
const int ctrlAlt = Shortcut::control | Shortcut::option;
} // namespace

class AppControllerTest : public QObject {
    Q_OBJECT

    FakeHotKeyBackend* m_backend = nullptr;

    static QList<VeskDocumentController*> tabDocuments(ShellFixture& shell, VeskPanelController* panel)
    {
        QList<VeskDocumentController*> documents;
        for (const QWidget* window : panel->tabbedPanelWindows()) {
            for (const DocumentContext& context : shell.controller->orderedContexts()) {
                if (context.panelController->panel() == window)
                    documents.append(context.documentController);
            }
        }
        return documents;
    }
    static QStringList tabPaths(ShellFixture& shell, VeskPanelController* panel)
    {
        QStringList paths;
        for (VeskDocumentController* document : tabDocuments(shell, panel))
            paths.append(document->selectedFileURL().toLocalFile());
        return paths;
    }
    // Opens new task files of these names one after another; they become tabs of one window.
    static QStringList openFiles(ShellFixture& shell, std::initializer_list<const char*> names)
    {
        QStringList paths;
        for (const char* name : names) {
            paths.append(shell.writeTaskFile(QString::fromLatin1(name)));
            if (!shell.controller->openDocumentAtURL(shell.url(paths.last())))
                return {};
            shell.settle();
        }
        return paths;
    }
    static QByteArray readAll(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static bool isShown(VeskPanelController* panel)
    {
        return panel->panel() && panel->panel()->window()->isVisible();
    }
    // Gives window the keyboard focus at the X server at once, as the window manager does.
    static void giveInputFocus(QWidget* window)
    {
        xcb_connection_t* connection
            = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
        xcb_set_input_focus(
            connection, XCB_INPUT_FOCUS_PARENT, xcb_window_t(window->winId()), XCB_CURRENT_TIME);
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }

private Q_SLOTS:
    void initTestCase()
    {
        auto backend = std::make_unique<FakeHotKeyBackend>();
        m_backend = backend.get();
        HotKeyCenter::useBackend(std::move(backend));
    }

    void openingAnOpenFileBringsItForwardWithoutASecondPanel()
    {
        ShellFixture shell;
        AppController& app = shell.launch();
        const QStringList paths = openFiles(shell, {"a.vesk", "b.vesk"});
        QCOMPARE(paths.size(), 2);
        const QString a = paths[0], b = paths[1];
        QCOMPARE(shell.recentPaths(), QStringList({b, a}));
        QTRY_COMPARE(shell.activePath(), b);

        QVERIFY(app.openDocumentAtURL(QUrl::fromLocalFile(shell.dir.path() + QStringLiteral("/./a.vesk"))));
        shell.settle();
        QCOMPARE(app.documentContexts().size(), 2);
        QTRY_COMPARE(shell.activePath(), a);
        QCOMPARE(shell.recentPaths(), QStringList({a, b}));
        QVERIFY(isShown(shell.contextFor(a).panelController));
        QVERIFY(shell.dialogs.alerts.isEmpty());

        // The same file under another name, through a symbolic or a hard link, is the same document.
        const QString symbolic = shell.dir.filePath(QStringLiteral("symbolic.vesk"));
        const QString hard = shell.dir.filePath(QStringLiteral("hard.vesk"));
        QVERIFY(QFile::link(b, symbolic));
        QCOMPARE(::link(QFile::encodeName(a).constData(), QFile::encodeName(hard).constData()), 0);
        QVERIFY(app.openDocumentAtURL(shell.url(symbolic)));
        QTRY_COMPARE(shell.activePath(), b);
        QVERIFY(app.openDocumentAtURL(shell.url(hard)));
        QTRY_COMPARE(shell.activePath(), a);
        QCOMPARE(app.documentContexts().size(), 2);
    }

    void aFileThatIsNoTaskFileGivesOneAlertAndLeavesNoPanel()
    {
        ShellFixture shell;
        AppController& app = shell.launch();
        const QString notes
            = shell.writeTaskFile(QStringLiteral("notes.txt"), QStringLiteral("just\nsome lines\n"));
        const QString missing = shell.dir.filePath(QStringLiteral("gone.vesk"));
        QVERIFY(!app.openDocumentAtURL(shell.url(notes)));
        QVERIFY(!app.openDocumentAtURL(shell.url(missing)));
        QCOMPARE(app.documentContexts().size(), 0);
        QCOMPARE(app.documentContextOrder().size(), 0);
        QCOMPARE(shell.dialogs.alerts.size(), 2);
        QCOMPARE(shell.dialogs.alerts[0].message, QStringLiteral("Vesk hit a file problem"));
        QCOMPARE(shell.dialogs.alerts[0].informativeText,
            QStringLiteral("The backing file changed and Vesk can no longer read it as a Vesk document."));
        QVERIFY(!shell.dialogs.alerts[1].informativeText.isEmpty());
        QVERIFY(shell.recentPaths().isEmpty());
        QVERIFY(!shell.settings->contains(AppController::openDocumentsKey()));
    }

    void aPlainTextFileTheUserChoosesIsImportedOnlyWhenAccepted()
    {
        ShellFixture shell;
        AppController& app = shell.launch();
        VeskAppDelegate delegate;
        const QByteArray plain("first\n\n  second  \n");
        const QString picked = shell.writeTaskFile(QStringLiteral("picked.txt"), QString::fromUtf8(plain));
        const QString dropped = shell.writeTaskFile(QStringLiteral("dropped.txt"), QString::fromUtf8(plain));
        const QString recent = shell.writeTaskFile(QStringLiteral("recent.txt"), QString::fromUtf8(plain));
        const QString notImported = QStringLiteral("The selected file was not imported into Vesk.");

        // Import: the lines become Pending tasks and the file takes the task form at once.
        shell.dialogs.filesToOpen = {picked};
        shell.dialogs.alertAnswers = {0};
        app.chooseFileToOpen();
        shell.settle();
        QCOMPARE(shell.dialogs.alerts.size(), 1);
        QCOMPARE(shell.dialogs.alerts[0].message, QStringLiteral("Import as Vesk file?"));
        QCOMPARE(shell.dialogs.alerts[0].informativeText,
            QStringLiteral("Vesk will treat the existing non-empty lines as inbox items and normalize the "
                           "file when it saves."));
        QCOMPARE(shell.dialogs.alerts[0].buttons,
            QStringList({QStringLiteral("Import"), QStringLiteral("Cancel")}));
        QCOMPARE(shell.contextFor(picked).documentController->sessionController()->inboxItemIDs().size(), 2);
        QCOMPARE(readAll(picked), QByteArray("\n---\nfirst\nsecond\n---\n"));

        // Cancel, from a drop or a second launch: the file stays as it was and nothing opens.
        shell.dialogs.alertAnswers = {1};
        QVERIFY(!delegate.handleOpenRequest({shell.url(dropped)}));
        QCOMPARE(shell.dialogs.alerts.size(), 3);
        QCOMPARE(shell.dialogs.alerts[1].message, QStringLiteral("Import as Vesk file?"));
        QCOMPARE(shell.dialogs.alerts[2].informativeText, notImported);
        QCOMPARE(readAll(dropped), plain);
        QCOMPARE(app.documentContexts().size(), 1);

        // A recent file was a task file: it is refused without asking.
        QVERIFY(!app.openDocumentAtURL(shell.url(recent), true));
        QCOMPARE(shell.dialogs.alerts.size(), 4);
        QCOMPARE(shell.dialogs.alerts[3].message, QStringLiteral("Vesk hit a file problem"));
        QCOMPARE(readAll(recent), plain);
    }

    // A list opened in a running Vesk is read on a thread of its own: until it is ready the windows
    // stay as they are and usable, the pointer shows that Vesk is busy, and the list then comes as
    // the last tab of the latest window.
    void aListOpenedWhileVeskRunsComesWhenItIsReady()
    {
        ShellFixture shell;
        AppController& app = shell.launch();
        const QStringList paths = openFiles(shell, {"a.vesk"});
        const QString a = paths.value(0);
        const QString b = shell.writeTaskFile(QStringLiteral("b.vesk"));
        SessionController* sessionA = shell.contextFor(a).documentController->sessionController();

        shell.dialogs.filesToOpen = {b};
        app.chooseFileToOpen();
        QVERIFY(app.isOpeningDocuments());
        QCOMPARE(app.documentContexts().size(), 1);
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
        // The same file asked for again meanwhile (a recent file, a second double-click) is that opening.
        app.addRecentFile(shell.url(b));
        app.openRecentFile(app.recentFiles().first());
        app.openDocumentInBackground(QUrl::fromLocalFile(shell.dir.path() + QStringLiteral("/./b.vesk")));
        // Nothing may take the file being read for a new list.
        shell.dialogs.filesToSave = {b};
        app.newDocumentFile();
        QCOMPARE(shell.dialogs.alerts.size(), 1);
        QCOMPARE(shell.dialogs.alerts[0].informativeText, VeskDocumentController::fileIsOpenMessage());
        // The list in front takes keys and is saved meanwhile.
        sessionA->beginCreatingNewItem(QStringLiteral("Meanwhile"));
        sessionA->commitNewItem();
        shell.contextFor(a).documentController->waitForWrites();
        QVERIFY(readAll(a).contains("Meanwhile"));

        shell.settle();
        QVERIFY(!app.isOpeningDocuments());
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(app.documentContexts().size(), 2);
        QCOMPARE(tabPaths(shell, shell.contextFor(a).panelController), QStringList({a, b}));
        QTRY_COMPARE(shell.activePath(), b);
        QCOMPARE(shell.recentPaths().constFirst(), b);
        QCOMPARE(readAll(b), QByteArray("Write the report\n---\nCall Ana\n---\n"));
        QCOMPARE(shell.storedList(AppController::openDocumentsKey()), QStringList({a, b}));
    }

    // A panel's welcome view opens a file as File > Open does: on the writer's thread, with the busy
    // pointer; the same file asked for meanwhile is that opening, and quitting meanwhile drops it.
    void aPanelsWelcomeViewOpensAFileInTheBackground()
    {
        ShellFixture shell;
        AppController& app = shell.launch();
        const QString b = shell.writeTaskFile(QStringLiteral("b.vesk"));
        VeskDocumentController* document = app.makeDocumentContext().documentController;
        shell.dialogs.filesToOpen = {b};
        document->chooseAndOpenFile();
        QVERIFY(document->isOpening());
        QVERIFY(!document->hasSelectedFile());
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
        // File > Open and a launch asking for it meanwhile: one document, the panel's.
        shell.dialogs.filesToOpen = {b};
        app.chooseFileToOpen();
        QVERIFY(!app.isOpeningDocuments());
        QVERIFY(app.openDocumentAtURL(shell.url(b)));
        QCOMPARE(app.documentContexts().size(), 1);
        QCOMPARE(document->selectedFileURL(), shell.url(b));
        QCOMPARE(document->appStatus(), QStringLiteral("Loaded b.vesk"));
        QVERIFY(!QGuiApplication::overrideCursor());

        // Quitting while another welcome view's file is read: the quit does not wait to load it.
        const QString c = shell.writeTaskFile(QStringLiteral("c.vesk"));
        VeskDocumentController* other = app.makeDocumentContext().documentController;
        shell.dialogs.filesToOpen = {c};
        other->chooseAndOpenFile();
        int exits = 0;
        app.exitApplication = [&exits] { ++exits; };
        app.quit();
        QCOMPARE(exits, 1);
        QVERIFY(!other->isOpening());
        shell.settle();
        QVERIFY(!other->hasSelectedFile());
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(shell.dialogs.alerts.isEmpty());
        QCOMPARE(readAll(b), QByteArray("Write the report\n---\nCall Ana\n---\n"));
    }

    // Someone who goes on working in the list in front while another is read keeps it: the new list
    // waits as a tab behind instead of taking the keys still being typed.
    void aListReadWhileTheUserWorksWaitsBehind()
    {
        ShellFixture shell;
        AppController& app = shell.launch();
        const QString a = openFiles(shell, {"a.vesk"}).value(0);
        const QString b = shell.writeTaskFile(QStringLiteral("b.vesk"));
        const DocumentContext front = shell.contextFor(a);
        QTRY_COMPARE(shell.activePath(), a);

        app.openDocumentInBackground(shell.url(b));
        QTest::keyClick(front.panelController->panel(), Qt::Key_J);
        shell.settle();
        QCOMPARE(tabPaths(shell, front.panelController), QStringList({a, b}));
        QCOMPARE(shell.activePath(), a);
        QVERIFY(front.panelController->panel()->isVisible());
        QVERIFY(!shell.contextFor(b).panelController->panel()->isVisible());
        QCOMPARE(shell.recentPaths().constFirst(), b);
        QCOMPARE(readAll(b), QByteArray("Write the report\n---\nCall Ana\n---\n"));
    }

    // Failures of a list opened while Vesk runs say what opening it at launch says, and leave nothing
    // behind; quitting while a list is read drops it without a word.
    void aListOpenedWhileVeskRunsFailsOrIsDroppedCleanly()
    {
        ShellFixture shell;
        AppController& app = shell.launch();
        const QStringList paths = openFiles(shell, {"a.vesk"});
        const QString notes = shell.writeTaskFile(QStringLiteral("notes.vesk"), QStringLiteral("one\n"));
        const QString gone = shell.dir.filePath(QStringLiteral("gone.vesk"));
        for (const QString& path : {notes, gone}) {
            QVERIFY(!app.openDocumentAtURL(shell.url(path)));
            app.openDocumentInBackground(shell.url(path));
            shell.settle();
        }
        QCOMPARE(shell.dialogs.alerts.size(), 4);
        QCOMPARE(shell.dialogs.alerts[1].informativeText, shell.dialogs.alerts[0].informativeText);
        QCOMPARE(shell.dialogs.alerts[3].informativeText, shell.dialogs.alerts[2].informativeText);
        QCOMPARE(shell.dialogs.alerts[1].message, QStringLiteral("Vesk hit a file problem"));
        QCOMPARE(app.documentContexts().size(), 1);
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(readAll(notes), QByteArray("one\n"));

        const QString b = shell.writeTaskFile(QStringLiteral("b.vesk"));
        int exits = 0;
        app.exitApplication = [&exits] { ++exits; };
        app.openDocumentInBackground(shell.url(b));
        app.quit();
        QCOMPARE(exits, 1);
        QVERIFY(!app.isOpeningDocuments());
        shell.settle();
        QCOMPARE(app.documentContexts().size(), 1);
        QCOMPARE(shell.dialogs.alerts.size(), 4);
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(shell.storedList(AppController::openDocumentsKey()), QStringList {paths.value(0)});
    }

    void recentFilesKeepTenNewestWithoutDuplicates()
    {
        ShellFixture shell;
        AppController& app = shell.launch();
        QStringList paths;
        for (int i = 0; i < 12; ++i) {
            paths.append(shell.writeTaskFile(QStringLiteral("list%1.vesk").arg(i)));
            app.addRecentFile(shell.url(paths.last()));
        }
        app.addRecentFile(shell.url(paths[5]));
        QStringList expected {paths[5], paths[11], paths[10], paths[9], paths[8], paths[7], paths[6],
            paths[4], paths[3], paths[2]};
        QCOMPARE(shell.recentPaths(), expected);
        QCOMPARE(shell.storedList(AppController::recentDocumentsKey()), expected);

        // A list with one file twice, a file that is gone and one that is not a path is mended and
        // written back.
        shell.settings->setValue(AppController::recentDocumentsKey(),
            QStringList {paths[0], paths[1], paths[0], shell.dir.filePath(QStringLiteral("gone.vesk")),
                QStringLiteral("relative.vesk")});
        shell.launch(false);
        QCOMPARE(shell.recentPaths(), QStringList({paths[0], paths[1]}));
        QCOMPARE(shell.storedList(AppController::recentDocumentsKey()), QStringList({paths[0], paths[1]}));

        // A list of one survives the settings file's plain-text form.
        shell.controller->clearRecentFiles();
        QVERIFY(!shell.settings->contains(AppController::recentDocumentsKey()));
        shell.controller->addRecentFile(shell.url(paths[3]));
        shell.settings->sync();
        shell.settings = std::make_unique<SettingsStore>(shell.settings->fileName());
        SettingsStore::setShared(shell.settings.get());
        shell.launch(false);
        QCOMPARE(shell.recentPaths(), QStringList {paths[3]});

        // Anything but a list of texts counts as no list at all.
        shell.settings->setValue(AppController::recentDocumentsKey(), QVariantList {paths[1], 7});
        shell.launch(false);
        QVERIFY(shell.recentPaths().isEmpty());
    }

    void aRecentFileThatIsGoneIsRemovedWithAMessage()
    {
        ShellFixture shell;
        AppController& app = shell.launch();
        const QString a = shell.writeTaskFile(QStringLiteral("a.vesk"));
        const QString b = shell.writeTaskFile(QStringLiteral("b.vesk"));
        app.addRecentFile(shell.url(a));
        app.addRecentFile(shell.url(b));
        QVERIFY(QFile::remove(b));
        app.openRecentFile(app.recentFiles().first());
        QCOMPARE(shell.recentPaths(), QStringList {a});
        QCOMPARE(shell.dialogs.alerts.size(), 1);
        QCOMPARE(shell.dialogs.alerts[0].informativeText,
            QStringLiteral("That recent file is no longer available."));
        QCOMPARE(app.documentContexts().size(), 0);

        app.openRecentFile(app.recentFiles().first());
        QTRY_COMPARE(shell.activePath(), a);
    }

    void newDocumentsBecomeTabsOfOneWindowAndComeBackInOrderWithTheSameOneActive()
    {
        ShellFixture shell;
        AppController& app = shell.launch();
        const QStringList paths = openFiles(shell, {"a.vesk", "b.vesk", "c.vesk"});
        QCOMPARE(paths.size(), 3);
        const auto expectOneWindowOfTabs = [&] {
            VeskPanelController* first = shell.contextFor(paths[0]).panelController;
            QCOMPARE(tabPaths(shell, first), paths);
            for (const QString& path : paths)
                QCOMPARE(shell.contextFor(path).panelController->panel()->window(), first->panel()->window());
            // The welcome window of the launch gave way to the first document.
            QVERIFY(!shell.controller->welcomeWindowController()->isVisible());
            QCOMPARE(shell.storedList(AppController::openDocumentsKey()), paths);
        };
        expectOneWindowOfTabs();
        QTRY_COMPARE(shell.activePath(), paths[2]);
        // The middle tab is the one in use when Vesk quits.
        QVERIFY(app.openDocumentAtURL(shell.url(paths[1])));
        shell.settle();
        QTRY_COMPARE(shell.activePath(), paths[1]);

        AppController& relaunched = shell.launch();
        QCOMPARE(relaunched.documentContexts().size(), 3);
        expectOneWindowOfTabs();
        for (const QString& path : paths)
            QVERIFY(
                !shell.contextFor(path).documentController->sessionController()->workingItemIDs().isEmpty());
        QTRY_COMPARE(shell.activePath(), paths[1]);
        QVERIFY(!relaunched.isRestoringOpenDocuments());
    }

    void restoringSkipsWhatIsGoneAndShowsTheWelcomeWindowWhenNothingIsLeft()
    {
        ShellFixture shell;
        const QString a = shell.writeTaskFile(QStringLiteral("a.vesk"));
        const QString notes
            = shell.writeTaskFile(QStringLiteral("notes.txt"), QStringLiteral("a plain\nnote\n"));
        // A list stored twice, once through a link, comes back once.
        const QString link = shell.dir.filePath(QStringLiteral("link.vesk"));
        QVERIFY(QFile::link(a, link));
        shell.settings->setValue(AppController::openDocumentsKey(),
            QStringList {shell.dir.filePath(QStringLiteral("gone.vesk")), a, notes, link, a});
        AppController& app = shell.launch();
        QCOMPARE(app.documentContexts().size(), 1);
        QTRY_COMPARE(shell.activePath(), a);
        QCOMPARE(shell.storedList(AppController::openDocumentsKey()), QStringList {a});
        QVERIFY(shell.dialogs.alerts.isEmpty());

        QVERIFY(QFile::remove(a));
        AppController& empty = shell.launch();
        QCOMPARE(empty.documentContexts().size(), 0);
        QVERIFY(!shell.settings->contains(AppController::openDocumentsKey()));
        QVERIFY(empty.welcomeWindowController()->isVisible());
        QCOMPARE(empty.activeDocumentController(), nullptr);
        QVERIFY(shell.dialogs.alerts.isEmpty());
    }

    void theGlobalShortcutHidesAndShowsEveryPanel()
    {
        ShellFixture shell;
        shell.launch();
        const QStringList paths = openFiles(shell, {"a.vesk", "b.vesk"});
        QCOMPARE(paths.size(), 2);
        const QString a = paths[0], b = paths[1];
        VeskPanelController* panelA = shell.contextFor(a).panelController;
        VeskPanelController* panelB = shell.contextFor(b).panelController;
        // Key by the X server's focus, which Qt's record of the active window can run ahead of.
        QTRY_VERIFY(panelB->isPanelKey());

        SessionController* sessionA = shell.contextFor(a).documentController->sessionController();
        SessionController* sessionB = shell.contextFor(b).documentController->sessionController();
        sessionA->beginCreatingNewItem(QStringLiteral("half a thought"));
        sessionB->beginEditingSelectedItem();
        QVERIFY(sessionA->isCreatingNewItem());
        QVERIFY(sessionB->inlineEditState().has_value());

        // The action runs when the shortcut is let go, not when it is pressed.
        QVERIFY(m_backend->press(spaceKey, ctrlAlt, true));
        QVERIFY(isShown(panelB));
        QVERIFY(m_backend->press(spaceKey, ctrlAlt, false));
        shell.settle();
        QVERIFY(!isShown(panelA));
        QVERIFY(!isShown(panelB));
        QVERIFY(!panelA->windowState()->isActive());
        QVERIFY(!panelB->windowState()->isActive());
        QVERIFY(!sessionA->isCreatingNewItem());
        QVERIFY(sessionA->inputDraft().isEmpty());
        QVERIFY(!sessionB->inlineEditState().has_value());
        // The window system takes the focus away from the hidden window.
        QTRY_VERIFY(!QGuiApplication::focusWindow());

        m_backend->press(spaceKey, ctrlAlt, true);
        m_backend->press(spaceKey, ctrlAlt, false);
        shell.settle();
        QVERIFY(isShown(panelB));
        QTRY_VERIFY(panelB->isPanelKey());
        QTRY_COMPARE(shell.activePath(), b);

        // A completion still running when the panels hide lands and is written.
        sessionB->setSelection(SessionSelection::task(sessionB->workingItemIDs().first()));
        sessionB->toggleSelectedItemCompletion();
        m_backend->press(spaceKey, ctrlAlt, true);
        m_backend->press(spaceKey, ctrlAlt, false);
        shell.settle();
        QVERIFY(!isShown(panelB));
        QCOMPARE(readAll(b), QByteArray("\n---\nCall Ana\n---\nWrite the report"));
    }

    // Keys go through the window system's path (shortcut override, then the press to whatever has
    // the focus by then), as a person's keys do.
    void theTabKeysSwitchTabsOnceAndQuestionMarkTogglesTheKeyboardControls()
    {
        ShellFixture shell;
        AppController& app = shell.launch();
        const QStringList paths = openFiles(shell, {"a.vesk", "b.vesk", "c.vesk"});
        QCOMPARE(paths.size(), 3);
        const QString a = paths[0], b = paths[1], c = paths[2];
        PanelTabHost* host = shell.contextFor(c).panelController->host();
        QVERIFY(QTest::qWaitForWindowActive(host));
        const auto current = [&] {
            for (const QString& path : {a, b, c}) {
                if (host->currentPage() == shell.contextFor(path).panelController->panel())
                    return path;
            }
            return QString();
        };
        const auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
            QTest::keyClick(host->windowHandle(), key, modifiers);
            shell.settle();
        };
        QCOMPARE(current(), c);
        press(Qt::Key_H);
        QCOMPARE(current(), b);
        press(Qt::Key_H);
        QCOMPARE(current(), a);
        press(Qt::Key_H);
        QCOMPARE(current(), c);
        press(Qt::Key_L);
        QCOMPARE(current(), a);
        QTRY_COMPARE(shell.activePath(), a);

        QVERIFY(!app.keyboardControlsPanelController()->isVisible());
        press(Qt::Key_Question, Qt::ShiftModifier);
        QVERIFY(app.keyboardControlsPanelController()->isVisible());
        press(Qt::Key_Question, Qt::ShiftModifier);
        QVERIFY(!app.keyboardControlsPanelController()->isVisible());
        QCOMPARE(current(), a);
    }

    void withoutDocumentsTheShortcutShowsAndHidesTheWelcomeWindow()
    {
        ShellFixture shell;
        AppController& app = shell.launch();
        WelcomeWindowController* welcome = app.welcomeWindowController();
        QVERIFY(welcome->isVisible());
        app.togglePanels();
        QVERIFY(!welcome->isVisible());
        app.togglePanels();
        QVERIFY(welcome->isVisible());

        // A launch without files brings the welcome window back rather than hiding it.
        app.comeForward();
        QVERIFY(welcome->isVisible());
        welcome->hide();
        app.comeForward();
        QVERIFY(welcome->isVisible());
    }

    void closingTheActiveDocumentActivatesTheFirstRemainingOne()
    {
        ShellFixture shell;
        AppController& app = shell.launch();
        const QStringList paths = openFiles(shell, {"a.vesk", "b.vesk", "c.vesk"});
        QCOMPARE(paths.size(), 3);
        const QUuid idC = shell.contextFor(paths[2]).documentController->id();
        QPointer<VeskPanelController> panelC = shell.contextFor(paths[2]).panelController;
        // The window is key before it closes, as when a person closes it; on a busy machine the
        // activation can otherwise arrive after the close and make the neighbouring tab active.
        // Key by the X server's focus: Qt counts the window active while the focus is still on its
        // way back from the welcome window that went.
        QTRY_VERIFY(panelC->isPanelKey());
        // The panel asks; the controller closes.
        panelC->onCloseRequested();
        shell.settle();
        QVERIFY(!app.documentContexts().contains(idC));
        QVERIFY(!app.documentContextOrder().contains(idC));
        QVERIFY(panelC.isNull() || !panelC->panel());
        QTRY_COMPARE(shell.activePath(), paths[0]);
        QCOMPARE(shell.storedList(AppController::openDocumentsKey()), paths.mid(0, 2));

        // Closing another document keeps the active one.
        app.closeDocument(shell.contextFor(paths[1]).documentController->id());
        QTRY_COMPARE(shell.activePath(), paths[0]);
        app.closeDocument(shell.contextFor(paths[0]).documentController->id());
        shell.settle();
        QCOMPARE(app.activeDocumentController(), nullptr);
        QVERIFY(!shell.settings->contains(AppController::openDocumentsKey()));
        // Closing the last document does not bring the welcome window back.
        QVERIFY(!app.welcomeWindowController()->isVisible());
    }

    void newFilesAreCreatedFromTheTemplateInTheirOwnWindow()
    {
        ShellFixture shell;
        AppController& app = shell.launch();
        const QString a = shell.writeTaskFile(QStringLiteral("a.vesk"));
        QVERIFY(app.openDocumentAtURL(shell.url(a)));
        const QString created = shell.dir.filePath(QStringLiteral("fresh.vesk"));
        shell.dialogs.filesToSave = {created};
        app.newDocumentFile();
        shell.settle();
        QCOMPARE(shell.dialogs.saveRequests.size(), 1);
        QCOMPARE(shell.dialogs.saveRequests[0].proposedName, QStringLiteral("Vesk.vesk"));
        QVERIFY(QFileInfo::exists(created));
        QTRY_COMPARE(shell.activePath(), created);
        QCOMPARE(shell.recentPaths().first(), created);
        QVERIFY(shell.contextFor(created).panelController->panel()->window()
            != shell.contextFor(a).panelController->panel()->window());

        // Qt may report a window's activation only after the focus has left it again, and a window
        // may have the focus already when it is shown: the window that has the focus in the end
        // holds the active document.
        VeskPanelController* createdPanel = shell.contextFor(created).panelController;
        PanelTabHost* hostA = shell.contextFor(a).panelController->host();
        QTRY_VERIFY(createdPanel->isPanelKey());
        for (const bool shownAgain : {false, true}) {
            giveInputFocus(hostA);
            QEvent activation(QEvent::ActivationChange);
            QCoreApplication::sendEvent(hostA, &activation);
            QCOMPARE(shell.activePath(), a);
            giveInputFocus(createdPanel->host());
            if (shownAgain) {
                createdPanel->showPanel();
                QCOMPARE(shell.activePath(), created);
            }
            QTRY_COMPARE(shell.activePath(), created);
        }

        // Cancelling makes nothing; a place that cannot be written gives one alert and no panel.
        app.newDocumentFile();
        shell.dialogs.filesToSave = {shell.dir.filePath(QStringLiteral("no/such/folder/x.vesk"))};
        app.newDocumentFile();
        QCOMPARE(app.documentContexts().size(), 2);
        QCOMPARE(shell.dialogs.alerts.size(), 1);

        // Creating or saving over an open list is refused: its text stays and it remains one document.
        const QByteArray text = readAll(a);
        shell.dialogs.filesToSave = {a};
        app.newDocumentFile();
        shell.dialogs.filesToSave = {a};
        shell.contextFor(created).documentController->saveToNewFile();
        QCOMPARE(app.documentContexts().size(), 2);
        QCOMPARE(shell.dialogs.alerts.size(), 3);
        QCOMPARE(shell.dialogs.alerts[1].informativeText, VeskDocumentController::fileIsOpenMessage());
        QCOMPARE(shell.dialogs.alerts[2].informativeText, VeskDocumentController::fileIsOpenMessage());
        QCOMPARE(readAll(a), text);
        QCOMPARE(shell.contextFor(created).documentController->selectedFileURL(), shell.url(created));

        shell.dialogs.filesToOpen = {a};
        app.chooseFileToOpen();
        QCOMPARE(app.documentContexts().size(), 2);
        QTRY_COMPARE(shell.activePath(), a);

        app.showInFileManager();
        QCOMPARE(shell.revealer->revealed, QStringList {a});
    }

    void theFileDialogsStartInTheActiveDocumentsFolderOrTheLastOneUsed()
    {
        ShellFixture shell;
        AppController& app = shell.launch();
        const QString lists = shell.dir.filePath(QStringLiteral("lists"));
        const QString old = shell.dir.filePath(QStringLiteral("lists/old"));
        QVERIFY(QDir().mkpath(old));
        const QString a = shell.writeTaskFile(QStringLiteral("lists/a.vesk"));
        const QString b = shell.writeTaskFile(QStringLiteral("lists/old/b.vesk"));
        QVERIFY(app.openDocumentAtURL(shell.url(b)));
        QVERIFY(app.openDocumentAtURL(shell.url(a)));
        QTRY_COMPARE(shell.activePath(), a);
        VeskDocumentController* document = shell.contextFor(a).documentController;

        app.chooseFileToOpen();
        app.newDocumentFile();
        document->chooseAndOpenFile();
        document->chooseAndCreateFile();
        document->saveToNewFile();
        QCOMPARE(shell.dialogs.openFolders, QStringList({lists, lists}));
        QCOMPARE(shell.dialogs.saveRequests.size(), 3);
        for (const auto& request : std::as_const(shell.dialogs.saveRequests))
            QCOMPARE(request.startFolder, lists);

        // With nothing open the panels start where the user chose a file last.
        shell.dialogs.filesToOpen = {b};
        app.chooseFileToOpen();
        QTRY_COMPARE(shell.activePath(), b);
        for (const DocumentContext& context : app.orderedContexts())
            app.closeDocument(context.documentController->id());
        app.newDocumentFile();
        QCOMPARE(shell.dialogs.saveRequests.last().startFolder, old);
    }

    void theLegacyHotKeyMovesOverOnce()
    {
        ShellFixture shell;
        const QString slotKey = QStringLiteral("GlobalShortcuts_togglePanel");
        shell.settings->setValue(AppController::legacyHotKeyKey(),
            QVariantMap {{QStringLiteral("keyCode"), 49},
                {QStringLiteral("modifiers"),
                    QStringList {QStringLiteral("command"), QStringLiteral("shift")}}});
        shell.launch(false);
        QCOMPARE(GlobalShortcuts::getShortcut(GlobalShortcuts::Name(QStringLiteral("togglePanel"))),
            std::optional<Shortcut>(Shortcut(49, 768)));
        QVERIFY(!shell.settings->contains(AppController::legacyHotKeyKey()));
        // The default does not replace the moved shortcut.
        QCOMPARE(GlobalShortcuts::getShortcut(GlobalShortcuts::Name::togglePanel()),
            std::optional<Shortcut>(Shortcut(49, 768)));

        // Without a known modifier, or with a key code that is no number, nothing moves and the old
        // setting stays.
        shell.settings->remove(slotKey);
        const QString keyCode = QStringLiteral("keyCode"), modifiers = QStringLiteral("modifiers");
        for (const QVariantMap& refused :
            {QVariantMap {{keyCode, 49}, {modifiers, QStringList {QStringLiteral("hyper")}}},
                QVariantMap {
                    {keyCode, QStringLiteral("49")}, {modifiers, QStringList {QStringLiteral("control")}}}}) {
            shell.settings->setValue(AppController::legacyHotKeyKey(), refused);
            shell.launch(false);
            QVERIFY(shell.settings->contains(AppController::legacyHotKeyKey()));
            QVERIFY(!GlobalShortcuts::getShortcut(GlobalShortcuts::Name(QStringLiteral("togglePanel"))));
        }

        // A shortcut the user has already is never replaced.
        GlobalShortcuts::setShortcut(
            Shortcut(49, ctrlAlt), GlobalShortcuts::Name(QStringLiteral("togglePanel")));
        shell.settings->setValue(AppController::legacyHotKeyKey(),
            QVariantMap {{QStringLiteral("keyCode"), 12},
                {QStringLiteral("modifiers"), QStringList {QStringLiteral("command")}}});
        shell.launch(false);
        QCOMPARE(GlobalShortcuts::getShortcut(GlobalShortcuts::Name(QStringLiteral("togglePanel"))),
            std::optional<Shortcut>(Shortcut(49, ctrlAlt)));
        QVERIFY(shell.settings->contains(AppController::legacyHotKeyKey()));
    }

    void openRequestsWaitForTheControllerAndOpenAsTabs()
    {
        ShellFixture shell;
        const QString a = shell.writeTaskFile(QStringLiteral("a.vesk"));
        const QString b = shell.writeTaskFile(QStringLiteral("b.vesk"));
        const QString notes = shell.writeTaskFile(QStringLiteral("notes.txt"), QStringLiteral("one\ntwo\n"));
        VeskAppDelegate delegate;
        QVERIFY(delegate.handleOpenRequest({shell.url(a), shell.url(notes), shell.url(b)}));
        QCOMPARE(delegate.pendingOpenURLs().size(), 3);

        AppController& app = shell.launch(false);
        app.startShell(true);
        QVERIFY(!app.welcomeWindowController()->isVisible());
        delegate.applicationDidFinishLaunching();
        shell.settle();
        QVERIFY(delegate.pendingOpenURLs().isEmpty());
        QCOMPARE(app.documentContexts().size(), 2);
        // The plain-text file was offered for import, which the closed alert declined.
        QCOMPARE(shell.dialogs.alerts.size(), 2);
        QCOMPARE(tabPaths(shell, shell.contextFor(a).panelController), QStringList({a, b}));
        QTRY_COMPARE(shell.activePath(), b);
        QVERIFY(!app.welcomeWindowController()->isVisible());

        // A second launch's request: the open file comes forward, the bad one alone fails.
        QVERIFY(delegate.handleOpenRequest({shell.url(a)}));
        QTRY_COMPARE(shell.activePath(), a);
        QCOMPARE(app.documentContexts().size(), 2);
        delegate.handleOpenRequest({shell.url(notes)});
        shell.settle();
        QCOMPARE(shell.dialogs.alerts.size(), 4);
        QCOMPARE(app.documentContexts().size(), 2);

        QCOMPARE(VeskAppDelegate::urlsForPaths({QStringLiteral("x.vesk"), QStringLiteral("/abs/y.vesk"),
                                                   QStringLiteral("file:///z%20z.vesk"), QString()},
                     QStringLiteral("/home/me")),
            QList<QUrl>({QUrl::fromLocalFile(QStringLiteral("/home/me/x.vesk")),
                QUrl::fromLocalFile(QStringLiteral("/abs/y.vesk")),
                QUrl::fromLocalFile(QStringLiteral("/z z.vesk"))}));
    }

    void aLaunchWhoseFilesAllFailShowsTheWelcomeWindow()
    {
        ShellFixture shell;
        VeskAppDelegate delegate;
        delegate.handleOpenRequest({shell.url(shell.dir.filePath(QStringLiteral("gone.vesk")))});
        AppController& app = shell.launch(false);
        app.startShell(true);
        QVERIFY(!app.welcomeWindowController()->window());
        delegate.applicationDidFinishLaunching();
        QCOMPARE(shell.dialogs.alerts.size(), 1);
        QVERIFY(app.welcomeWindowController()->isVisible());
    }

    void aBackgroundStartShowsNoWindowUntilTheShortcutAsks()
    {
        ShellFixture shell;
        const QString a = shell.writeTaskFile(QStringLiteral("a.vesk"));
        const QString b = shell.writeTaskFile(QStringLiteral("b.vesk"));
        for (const QStringList& stored : {QStringList {a, b}, QStringList()}) {
            shell.settings->setValue(AppController::openDocumentsKey(), stored);
            shell.launch(false).startShell(false, true);
            VeskAppDelegate().applicationDidFinishLaunching();
            shell.settle();
            for (const QWidget* window : QApplication::topLevelWidgets())
                QVERIFY2(!window->isVisible(), qPrintable(window->windowTitle()));
            QCOMPARE(shell.controller->documentContexts().size(), stored.size());
            m_backend->press(spaceKey, ctrlAlt, true);
            m_backend->press(spaceKey, ctrlAlt, false);
            shell.settle();
            if (stored.isEmpty()) {
                QVERIFY(shell.controller->welcomeWindowController()->isVisible());
                continue;
            }
            VeskPanelController* panelA = shell.contextFor(a).panelController;
            QVERIFY(isShown(panelA));
            QCOMPARE(tabPaths(shell, panelA), stored);
            QTRY_VERIFY(shell.contextFor(b).panelController->isPanelKey());
            QCOMPARE(shell.activePath(), b);
        }
    }

    // A launch registers the global shortcut and writes its settings after its first frame.
    void whatALaunchPutsOffIsDoneOnceItsFirstFrameIsDrawn()
    {
        ShellFixture shell;
        const QString a = shell.writeTaskFile(QStringLiteral("a.vesk"));
        DeferredStartup startup(Scheduler::system());
        shell.launch(true, &startup);
        startup.releaseAfterFirstFrame(60);
        QVERIFY(shell.controller->openDocumentAtURL(shell.url(a)));
        VeskPanelController* panel = shell.contextFor(a).panelController;
        QVERIFY(isShown(panel));
        // Nothing is drawn before the event loop runs.
        m_backend->press(spaceKey, ctrlAlt, true);
        m_backend->press(spaceKey, ctrlAlt, false);
        QVERIFY(isShown(panel));

        QTRY_VERIFY(startup.isReleased());
        QSettings written(shell.settings->fileName(), QSettings::IniFormat);
        QCOMPARE(written.value(AppController::recentDocumentsKey()).toString(), a);
        QCOMPARE(written.value(AppController::openDocumentsKey()).toString(), a);
        QTRY_VERIFY(panel->isPanelKey());
        QVERIFY(m_backend->press(spaceKey, ctrlAlt, true));
        QVERIFY(m_backend->press(spaceKey, ctrlAlt, false));
        QVERIFY(!isShown(panel));
    }

    // The icon a toolbar shows when it overflows, read only when drawn, is the style's own.
    void theToolbarOverflowIconIsTheStylesOwn()
    {
        const QString key = QApplication::style()->name();
        const DeferredIconStyle deferred(key);
        const std::unique_ptr<QStyle> own(QStyleFactory::create(key));
        for (const auto icon :
            {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton}) {
            for (const auto direction : {Qt::LeftToRight, Qt::RightToLeft}) {
                QStyleOption option;
                option.direction = direction;
                const QImage expected = own->standardIcon(icon, &option).pixmap(16).toImage();
                QVERIFY(!expected.isNull());
                QCOMPARE(deferred.standardIcon(icon, &option).pixmap(16).toImage(), expected);
            }
        }
    }

    void launchingWithFilesRestoresFirstThenAddsTabs()
    {
        ShellFixture shell;
        const QString a = shell.writeTaskFile(QStringLiteral("a.vesk"));
        const QString b = shell.writeTaskFile(QStringLiteral("b.vesk"));
        shell.settings->setValue(AppController::openDocumentsKey(), QStringList {a});
        VeskAppDelegate delegate;
        delegate.handleOpenRequest({shell.url(b)});
        AppController& app = shell.launch();
        delegate.applicationDidFinishLaunching();
        shell.settle();
        QCOMPARE(tabPaths(shell, shell.contextFor(a).panelController), QStringList({a, b}));
        QTRY_COMPARE(shell.activePath(), b);
        QCOMPARE(app.documentContexts().size(), 2);
        QCOMPARE(shell.storedList(AppController::openDocumentsKey()), QStringList({a, b}));
    }
};

QTEST_MAIN(AppControllerTest)
#include "AppControllerTest.moc"
