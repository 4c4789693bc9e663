#include "app/MainMenu.h"
#include "ShellTestSupport.h"
#include "app/DeferredStartup.h"
#include "panel/PanelKeyHandler.h"
#include "panel/PanelStatusLine.h"
#include "panel/TaskListView.h"
#include "panel/VeskPanelRootView.h"
#include "session/SessionController.h"
#include "shortcuts/MenuShortcuts.h"
#include "windows/KeyboardControlsPanelController.h"
#include "windows/WelcomeWindowController.h"

#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QSet>

namespace {
const QString threeSections
    = QStringLiteral("First next\nSecond next\n---\nOnly pending\n---\nAlready done\n");

QStringList menuTitles(const QMenuBar* bar)
{
    QStringList titles;
    for (const QAction* action : bar->actions())
        titles.append(action->text());
    return titles;
}

QMenu* submenu(const QMenuBar* bar, const QString& title)
{
    for (QAction* action : bar->actions()) {
        if (action->text() == title)
            return action->menu();
    }
    return nullptr;
}

// A title as the menu shows it, without its mnemonic marker.
QString shown(const QAction* action)
{
    return MenuShortcuts::displayTitle(*action);
}

// The items of a menu as a person sees them: visible titles, "-" for a divider.
QStringList visibleItems(const QMenu* menu)
{
    QStringList items;
    for (const QAction* action : menu->actions()) {
        if (!action->isVisible())
            continue;
        items.append(action->isSeparator() ? QStringLiteral("-") : shown(action));
    }
    return items;
}

// Whether each window, as it was first shown, carried its menu bar: one added later shows a frame
// after the window and pushes the list down.
class MenuBarAtShowWatcher : public QObject {
public:
    QList<bool> carried;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show && widget && widget->isWindow()) {
            const QMenuBar* bar = MainMenu::menuBarOf(widget);
            carried.append(bar && !bar->isHidden());
        }
        return false;
    }
};

// The letter after a single '&', or a null character when the title has none.
QChar mnemonic(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&')) {
            if (text.at(i + 1) != QLatin1Char('&'))
                return text.at(i + 1).toLower();
            ++i;
        }
    }
    return QChar();
}
} // namespace

class MainMenuTest : public QObject {
    Q_OBJECT

    struct Setup {
        ShellFixture shell;
        std::unique_ptr<MainMenu> menu;
        QString path;

        Setup(bool withDocument = true)
        {
            shell.launch(false);
            menu = std::make_unique<MainMenu>(shell.controller.get(), shell.dialogs);
            QObject::connect(shell.controller.get(), &AppController::windowNeedsMenuBar, menu.get(),
                &MainMenu::installMenuBar);
            shell.controller->startShell();
            shell.settle();
            if (withDocument) {
                path = shell.writeTaskFile(QStringLiteral("list.vesk"), threeSections);
                shell.controller->openDocumentAtURL(ShellFixture::url(path));
                shell.settle();
            }
        }
        SessionController* session() const
        {
            return shell.controller->activeDocumentController()->sessionController();
        }
        void select(TaskSection section, int index)
        {
            session()->setSelection(SessionSelection::task(session()->itemIDs(section).at(index)));
        }
    };

private Q_SLOTS:
    // The menu keys that no panel or end-to-end test presses.
    void menuKeysNotHandledByThePanel()
    {
        Setup setup(false);
        MainMenu& m = *setup.menu;
        for (const auto& [action, key] : {std::pair {m.newFileAction, QKeySequence(QStringLiteral("Ctrl+N"))},
                 {m.openAction, QKeySequence(QStringLiteral("Ctrl+O"))},
                 {m.keyboardControlsHelpAction, QKeySequence(Qt::Key_F1)}})
            QCOMPARE(action->shortcut(), key);
    }

    void everyDocumentWindowAndTheWelcomeWindowCarryTheMenuBar()
    {
        Setup setup(false);
        QMainWindow* welcome = setup.shell.controller->welcomeWindowController()->window();
        QVERIFY(welcome);
        QCOMPARE(menuTitles(welcome->menuBar()), QStringList({"&File", "&Edit", "&View", "&Help"}));

        const QString path = setup.shell.writeTaskFile(QStringLiteral("list.vesk"), threeSections);
        MenuBarAtShowWatcher watcher;
        qApp->installEventFilter(&watcher);
        setup.shell.controller->openDocumentAtURL(ShellFixture::url(path));
        setup.shell.settle();
        qApp->removeEventFilter(&watcher);
        QVERIFY(!watcher.carried.isEmpty());
        QVERIFY(!watcher.carried.contains(false));
        QWidget* host = setup.shell.contextFor(path).panelController->panel()->window();
        QMenuBar* bar = MainMenu::menuBarOf(host);
        QVERIFY(bar);
        QVERIFY(bar->isVisible());
        QCOMPARE(menuTitles(bar), QStringList({"&File", "&Edit", "&View", "&Help"}));
        // One set of actions: the same object in every window.
        QVERIFY(submenu(bar, QStringLiteral("&Edit"))->actions().contains(setup.menu->undoAction));
        QVERIFY(
            submenu(welcome->menuBar(), QStringLiteral("&Edit"))->actions().contains(setup.menu->undoAction));
        // Every command is in a menu, and every item has a letter of its own in its menu (recent files
        // are listed by their names).
        QSet<const QAction*> listed;
        for (QMenu* menu : {submenu(bar, QStringLiteral("&File")), submenu(bar, QStringLiteral("&Edit")),
                 submenu(bar, QStringLiteral("&View")), submenu(bar, QStringLiteral("&Help"))}) {
            QSet<QChar> letters;
            for (const QAction* action : menu->actions()) {
                listed.insert(action);
                if (action->isSeparator() || !action->isVisible())
                    continue;
                const QChar letter = mnemonic(action->text());
                QVERIFY2(!letter.isNull(), qPrintable(action->text()));
                QVERIFY2(!letters.contains(letter), qPrintable(action->text()));
                letters.insert(letter);
            }
        }

        for (const QAction* action : setup.menu->findChildren<QAction*>(Qt::FindDirectChildrenOnly))
            QVERIFY2(listed.contains(action), qPrintable(action->text()));

        // Asking again adds no second bar.
        setup.menu->installMenuBar(host);
        QCOMPARE(host->findChildren<QMenuBar*>().size(), 1);
    }

    void helpShowsTheKeyboardControlsAndAboutVeskWithTheProgramsVersion()
    {
        Setup setup(false);
        MainMenu& m = *setup.menu;
        // Help shows the reference; asked again, it stays.
        KeyboardControlsPanelController* controls = setup.shell.controller->keyboardControlsPanelController();
        for (int i = 0; i < 2; ++i) {
            m.keyboardControlsHelpAction->trigger();
            QVERIFY(controls->isVisible());
        }

        QProcess vesk;
        vesk.start(
            qEnvironmentVariable("VESK_BINARY_DIR") + QStringLiteral("/vesk"), {QStringLiteral("--version")});
        QVERIFY(vesk.waitForFinished());
        const QString version
            = QString::fromUtf8(vesk.readAllStandardOutput()).trimmed().section(QLatin1Char(' '), 1);
        QVERIFY(!version.isEmpty());
        m.aboutAction->trigger();
        QPointer<QMessageBox> box = m.aboutBox();
        QVERIFY(box && box->isVisible());
        QCOMPARE(box->windowTitle(), QStringLiteral("About Vesk"));
        for (const QString& part :
            {QStringLiteral("Vesk ") + version, QStringLiteral("A small, fast, keyboard-driven to-do list."),
                QStringLiteral("Licence: MIT")})
            QVERIFY2(box->text().contains(part), qPrintable(box->text()));
        QVERIFY(!box->iconPixmap().isNull());
        // One box at a time; closing it lets it go.
        m.aboutAction->trigger();
        QCOMPARE(m.aboutBox(), box.data());
        box->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(!box);
    }

    void withoutADocumentOnlyTheFileCommandsWork()
    {
        Setup setup(false);
        MainMenu& m = *setup.menu;
        m.update();
        for (QAction* action :
            {m.newFileAction, m.openAction, m.showKeyboardControlsAction, m.settingsAction, m.quitAction})
            QVERIFY2(action->isEnabled(), qPrintable(action->text()));
        for (QAction* action : {m.newItemAction, m.showInFileManagerAction, m.resolveFileProblemAction,
                 m.undoAction, m.redoAction, m.cutAction, m.copyAction, m.pasteAction, m.selectAllAction,
                 m.completionAction, m.moveUpAction, m.moveDownAction, m.openLinkAction})
            QVERIFY2(!action->isEnabled(), qPrintable(action->text()));
        QVERIFY(!m.moveToNextAction->isVisible());
        QVERIFY(!m.moveToPendingAction->isVisible());
        QCOMPARE(shown(m.completionAction), QStringLiteral("Move to Done"));

        // Close follows whether some window is key.
        QMainWindow* welcome = setup.shell.controller->welcomeWindowController()->window();
        QVERIFY(QTest::qWaitForWindowActive(welcome));
        m.update();
        QVERIFY(m.closeAction->isEnabled());
        welcome->hide();
        QApplication::setActiveWindow(nullptr);
        setup.shell.settle();
        m.update();
        QVERIFY(!m.closeAction->isEnabled());

        // Triggering a task command without a document does nothing.
        m.completionAction->trigger();
        m.undoAction->trigger();
        m.newItemAction->trigger();
        QVERIFY(!setup.shell.controller->activeDocumentController());
    }

    // The menu bar, the selected row's context menu and the T key offer the same moves for each
    // selection. Menu and row list their move items ("-" when disabled); T names the section the
    // selected task is in afterwards.
    void taskMovesFollowTheSelectedSection_data()
    {
        QTest::addColumn<int>("section"); // of the selected task; -1 for none
        QTest::addColumn<bool>("blocked");
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("row");
        QTest::addColumn<int>("afterT");
        const int working = int(TaskSection::working), inbox = int(TaskSection::inbox);
        const auto row = [](const char* name, int section, bool blocked, const char* menu, const char* items,
                             int afterT) {
            QTest::newRow(name) << section << blocked << QString(menu) << QString(items) << afterT;
        };
        row("working", working, false, "Move to Pending,Move to Done,Move Item Up-,Move Item Down",
            "Move to Pending,Move to Done", inbox);
        row("inbox", inbox, false, "Move to Next,Move to Done,Move Item Up-,Move Item Down-",
            "Move to Next,Move to Done", working);
        row("completed", int(TaskSection::completed), false,
            "Move to Next,Move to Pending,Move Item Up-,Move Item Down-", "Move to Next,Move to Pending",
            working);
        row("working, blocked", working, true, "Move to Pending-,Move to Done-,Move Item Up-,Move Item Down",
            "Move to Pending-,Move to Done-", working);
        row("inbox, blocked", inbox, true, "Move to Done-,Move Item Up-,Move Item Down-",
            "Move to Next-,Move to Done-", inbox);
        row("nothing selected", -1, false, "Move to Done-,Move Item Up-,Move Item Down-", "", -1);
    }
    void taskMovesFollowTheSelectedSection()
    {
        QFETCH(int, section);
        QFETCH(bool, blocked);
        QFETCH(QString, menu);
        QFETCH(QString, row);
        QFETCH(int, afterT);
        Setup setup;
        MainMenu& m = *setup.menu;
        if (section >= 0)
            setup.select(TaskSection(section), 0);
        else
            setup.session()->setSelection(SessionSelection::none());
        setup.session()->setEditingBlocked(blocked);
        const std::optional<QUuid> selected = setup.session()->selection().taskID();

        QStringList items;
        for (const QAction* action :
            {m.moveToNextAction, m.moveToPendingAction, m.completionAction, m.moveUpAction, m.moveDownAction})
            if (action->isVisible())
                items << shown(action) + (action->isEnabled() ? "" : "-");
        QCOMPARE(items.join(','), menu);
        QCOMPARE(m.copyAction->isEnabled() && m.cutAction->isEnabled(), section >= 0 && !blocked);

        VeskPanelRootView* root = setup.shell.contextFor(setup.path).panelController->rootView();
        items.clear();
        for (const ContextMenuItem& item :
            selected ? root->listView()->contextMenuItems(*selected).mid(0, 2) : QList<ContextMenuItem>())
            items << item.title + (item.enabled ? "" : "-");
        QCOMPARE(items.join(','), row);

        QKeyEvent t(QEvent::KeyPress, Qt::Key_T, Qt::NoModifier, QStringLiteral("t"));
        QVERIFY(root->keyHandler()->handleKeyDown(&t));
        setup.shell.scheduler.advance(1.0);
        QCOMPARE(selected ? int(*setup.session()->sectionOf(*selected)) : -1, afterT);
    }

    // The Space item on a completed task sends it back to the top of the inbox.
    void theCompletionItemReturnsACompletedTask()
    {
        Setup setup;
        setup.select(TaskSection::completed, 0);
        const QUuid done = setup.session()->itemIDs(TaskSection::completed).first();
        setup.menu->completionAction->trigger();
        QCOMPARE(setup.session()->itemIDs(TaskSection::inbox).first(), done);
        QVERIFY(QFile(setup.path).open(QIODevice::ReadOnly));
    }

    void commandsWaitForTransitionsAndBlockedFiles()
    {
        Setup setup;
        MainMenu& m = *setup.menu;
        setup.select(TaskSection::working, 0);
        QVERIFY(m.newItemAction->isEnabled());
        QVERIFY(!m.undoAction->isEnabled());

        m.completionAction->trigger();
        QVERIFY(setup.session()->isTransitionInProgress());
        QVERIFY(!m.newItemAction->isEnabled());
        QVERIFY(!m.undoAction->isEnabled());
        setup.shell.scheduler.advance(1.0);
        QVERIFY(!setup.session()->isTransitionInProgress());
        QVERIFY(m.newItemAction->isEnabled());
        QVERIFY(m.undoAction->isEnabled());
        QVERIFY(!m.redoAction->isEnabled());
        QCOMPARE(setup.session()->itemIDs(TaskSection::completed).size(), 2);

        m.undoAction->trigger();
        QCOMPARE(setup.session()->itemIDs(TaskSection::completed).size(), 1);
        QVERIFY(m.redoAction->isEnabled());
        m.redoAction->trigger();
        QCOMPARE(setup.session()->itemIDs(TaskSection::completed).size(), 2);

        setup.session()->setEditingBlocked(true);
        QVERIFY(!m.newItemAction->isEnabled());
        QVERIFY(!m.undoAction->isEnabled());
        setup.session()->setEditingBlocked(false);

        m.newItemAction->trigger();
        QVERIFY(setup.session()->isCreatingNewItem());
        QVERIFY(setup.session()->inputDraft().isEmpty());
    }

    // Quit and the window's close button land what is still running and write it; changes that the
    // file cannot take are never dropped without asking, and a cancelled question leaves the way
    // back in the status line and the File menu.
    void quitAndCloseKeepWhatTheFileDoesNotHold_data()
    {
        QTest::addColumn<bool>("quit");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("outside"); // what another program does to the file meanwhile
        QTest::addColumn<int>("answer"); // to the question, when one comes
        QTest::addColumn<QString>("saveAs"); // the name given in the save panel, if any
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("ends"); // the quit goes ahead, or the document closes
        QTest::addColumn<QString>("expected"); // the text of saveAs, or else of the list

        const QString completed
            = QStringLiteral("Second next\n---\nOnly pending\n---\nFirst next\nAlready done");
        const QString moved
            = QStringLiteral("First next\nSecond next\nOnly pending\n---\n\n---\nAlready done");
        const QString outside = QStringLiteral("Written elsewhere\n---\n---\n");
        QTest::newRow("quit lands a completion") << true << "complete"
                                                 << "" << -1 << "" << false << true << completed;
        QTest::newRow("quit lands a move to Next") << true << "next"
                                                   << "" << -1 << "" << false << true << moved;
        QTest::newRow("close lands a completion") << false << "complete"
                                                  << "" << -1 << "" << false << true << completed;
        QTest::newRow("quit, changed elsewhere, cancel") << true << "complete"
                                                         << "rewrite" << 2 << "" << true << false << outside;
        QTest::newRow("close, changed elsewhere, discard") << false << "complete"
                                                           << "rewrite" << 1 << "" << true << true << outside;
        QTest::newRow("quit, file gone, save to a new file")
            << true << "complete"
            << "remove" << 0 << "rescued.vesk" << true << true << completed;
        QTest::newRow("close, file gone, save panel cancelled") << false << "complete"
                                                                << "remove" << 0 << "" << true << false << "";
    }

    void quitAndCloseKeepWhatTheFileDoesNotHold()
    {
        QFETCH(bool, quit);
        QFETCH(QString, command);
        QFETCH(QString, outside);
        QFETCH(int, answer);
        QFETCH(QString, saveAs);
        QFETCH(bool, asked);
        QFETCH(bool, ends);
        QFETCH(QString, expected);
        Setup setup;
        MainMenu& m = *setup.menu;
        ShellFixture& shell = setup.shell;
        int exits = 0;
        shell.controller->exitApplication = [&exits] { ++exits; };
        const DocumentContext context = shell.contextFor(setup.path);

        if (command == QStringLiteral("complete")) {
            setup.select(TaskSection::working, 0);
            m.completionAction->trigger();
        } else {
            setup.select(TaskSection::inbox, 0);
            m.moveToNextAction->trigger();
        }
        if (outside == QStringLiteral("rewrite"))
            shell.writeTaskFile(QStringLiteral("list.vesk"), expected);
        else if (outside == QStringLiteral("remove"))
            QVERIFY(QFile::remove(setup.path));
        shell.dialogs.alertAnswers = {answer};
        if (!saveAs.isEmpty())
            shell.dialogs.filesToSave = {shell.dir.filePath(saveAs)};

        // At once: no time passes for the transitions.
        if (quit)
            m.quitAction->trigger();
        else
            context.panelController->host()->close();
        QCoreApplication::processEvents();

        QCOMPARE(shell.dialogs.alerts.size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(shell.dialogs.alerts[0].buttons,
                QStringList({"Save to New File…", "Discard Changes", "Cancel"}));
            QVERIFY(shell.dialogs.alerts[0].informativeText.contains(QStringLiteral("doesn’t hold")));
        }
        if (quit)
            QCOMPARE(exits, ends ? 1 : 0);
        else
            QCOMPARE(shell.controller->documentContexts().size(), ends ? 0 : 1);
        QFile file(saveAs.isEmpty() ? setup.path : shell.dir.filePath(saveAs));
        if (expected.isEmpty()) {
            QVERIFY(!file.exists());
        } else {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(file.readAll()), expected);
        }
        if (ends)
            return;

        // The document stays, its file needs attention, and the choices are one click away.
        PanelStatusLine* status = context.panelController->rootView()->statusLine();
        QVERIFY(status->offersResolution());
        QVERIFY(status->shownStatus().endsWith(QStringLiteral("click to resolve")));
        m.update();
        QVERIFY(m.resolveFileProblemAction->isEnabled());
        shell.dialogs.alertAnswers.clear();
        QTest::mouseClick(status, Qt::LeftButton);
        shell.settle();
        QCOMPARE(shell.dialogs.alerts.size(), 2);
        QVERIFY(shell.dialogs.alerts[1].buttons.contains(QStringLiteral("Save to New File…")));
        m.resolveFileProblemAction->trigger();
        QCOMPARE(shell.dialogs.alerts.size(), 3);
        QCOMPARE(shell.dialogs.alerts[2].buttons, shell.dialogs.alerts[1].buttons);
    }

    void editingCommandsBelongToAnOpenEditor()
    {
        Setup setup;
        MainMenu& m = *setup.menu;
        setup.select(TaskSection::working, 0);
        setup.session()->beginEditingSelectedItem();
        QVERIFY(setup.session()->isTextEditingActive());
        for (QAction* action :
            {m.undoAction, m.redoAction, m.cutAction, m.copyAction, m.pasteAction, m.selectAllAction})
            QVERIFY2(action->isEnabled(), qPrintable(action->text()));

        // A text field with the focus takes Copy and Select All; the task is not copied.
        QLineEdit field;
        field.setText(QStringLiteral("typed words"));
        field.show();
        QVERIFY(QTest::qWaitForWindowActive(&field));
        field.setFocus();
        setup.shell.settle();
        QApplication::clipboard()->clear();
        m.selectAllAction->trigger();
        QCOMPARE(field.selectedText(), QStringLiteral("typed words"));
        m.copyAction->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("typed words"));
        const QUuid first = setup.session()->itemIDs(TaskSection::working).first();
        m.cutAction->trigger();
        QCOMPARE(setup.session()->itemIDs(TaskSection::working).first(), first);
        QVERIFY(field.text().isEmpty());
        m.undoAction->trigger();
        QCOMPARE(field.text(), QStringLiteral("typed words"));
    }

    void pasteFollowsTheClipboard()
    {
        Setup setup;
        MainMenu& m = *setup.menu;
        auto* clipboard = static_cast<FakePasteboard*>(setup.shell.controller->pasteboard());
        setup.select(TaskSection::inbox, 0);
        QVERIFY(!m.pasteAction->isEnabled());
        // Copy, then Paste at once: nothing else has re-evaluated the menus in between.
        m.copyAction->trigger();
        QVERIFY(m.pasteAction->isEnabled());
        m.pasteAction->trigger();
        QCOMPARE(setup.session()->itemIDs(TaskSection::inbox).size(), 2);
        // Another program empties the clipboard, then copies text.
        clipboard->writeString(QString());
        QVERIFY(!m.pasteAction->isEnabled());
        clipboard->writeString(QStringLiteral("From elsewhere"));
        QVERIFY(m.pasteAction->isEnabled());
    }

    void pasteWaitsForTheFirstFrameOrAMenuToReadTheClipboard()
    {
        ShellFixture shell;
        DeferredStartup startup(&shell.scheduler);
        shell.launch(false, &startup);
        MainMenu menu(shell.controller.get(), shell.dialogs);
        MainMenu other(shell.controller.get(), shell.dialogs);
        shell.controller->startShell();
        const QString path = shell.writeTaskFile(QStringLiteral("list.vesk"), threeSections);
        QVERIFY(shell.controller->openDocumentAtURL(ShellFixture::url(path)));
        const auto* clipboard = static_cast<FakePasteboard*>(shell.controller->pasteboard());
        SessionController* session = shell.controller->activeDocumentController()->sessionController();

        // Ctrl+V still reaches the command, which finds nothing to paste.
        QCOMPARE(clipboard->reads, 0);
        QVERIFY(menu.pasteAction->isEnabled());
        menu.pasteAction->trigger();
        QCOMPARE(session->itemIDs(TaskSection::inbox).size(), 1);
        // An opened menu shows what the clipboard holds; the first frame does so for every menu.
        emit submenu(menu.makeMenuBar(), QStringLiteral("&Edit"))->aboutToShow();
        QVERIFY(!menu.pasteAction->isEnabled());
        QVERIFY(other.pasteAction->isEnabled());
        startup.release();
        QVERIFY(!other.pasteAction->isEnabled());
    }

    void theMenusFollowTheActiveDocument()
    {
        Setup setup;
        MainMenu& m = *setup.menu;
        setup.select(TaskSection::completed, 0);
        QCOMPARE(shown(m.completionAction), QStringLiteral("Move to Pending"));
        const QString other = setup.shell.writeTaskFile(QStringLiteral("other.vesk"), threeSections);
        setup.shell.controller->openDocumentAtURL(ShellFixture::url(other));
        setup.shell.settle();
        setup.select(TaskSection::working, 0);
        QCOMPARE(shown(m.completionAction), QStringLiteral("Move to Done"));
        QVERIFY(m.moveToPendingAction->isVisible());

        setup.shell.controller->openDocumentAtURL(ShellFixture::url(setup.path));
        QCOMPARE(shown(m.completionAction), QStringLiteral("Move to Pending"));
        // A change in the document that is not active leaves the menus alone.
        SessionController* otherSession
            = setup.shell.contextFor(other).documentController->sessionController();
        otherSession->setSelection(SessionSelection::task(otherSession->itemIDs(TaskSection::inbox).first()));
        QCOMPARE(shown(m.completionAction), QStringLiteral("Move to Pending"));
        QVERIFY(!m.moveToPendingAction->isVisible());

        m.showInFileManagerAction->trigger();
        QCOMPARE(setup.shell.revealer->revealed, QStringList {setup.path});
    }

    void openRecentListsTheFilesAndClears()
    {
        Setup setup(false);
        MainMenu& m = *setup.menu;
        QMenu recent;
        m.fillRecentMenu(&recent);
        QCOMPARE(recent.actions().size(), 1);
        QCOMPARE(shown(recent.actions().first()), QStringLiteral("Clear Menu"));
        QVERIFY(!recent.actions().first()->isEnabled());

        const QString a = setup.shell.writeTaskFile(QStringLiteral("alpha.vesk"), threeSections);
        const QString b = setup.shell.writeTaskFile(QStringLiteral("beta.vesk"), threeSections);
        setup.shell.controller->addRecentFile(ShellFixture::url(a));
        setup.shell.controller->addRecentFile(ShellFixture::url(b));
        m.fillRecentMenu(&recent);
        QCOMPARE(visibleItems(&recent), QStringList({"beta.vesk", "alpha.vesk", "-", "Clear Menu"}));
        QVERIFY(recent.actions().last()->isEnabled());

        recent.actions().at(1)->trigger();
        setup.shell.settle();
        QCOMPARE(setup.shell.activePath(), a);
        QCOMPARE(setup.shell.recentPaths(), QStringList({a, b}));

        // The menu bar's own submenu is rebuilt when the list changes.
        QMainWindow* welcome = setup.shell.controller->welcomeWindowController()->window();
        QMenu* file = submenu(welcome->menuBar(), QStringLiteral("&File"));
        QMenu* barRecent = nullptr;
        for (QAction* action : file->actions()) {
            if (shown(action) == QStringLiteral("Open Recent"))
                barRecent = action->menu();
        }
        QVERIFY(barRecent);
        QCOMPARE(visibleItems(barRecent), QStringList({"alpha.vesk", "beta.vesk", "-", "Clear Menu"}));
        barRecent->actions().last()->trigger();
        QVERIFY(setup.shell.recentPaths().isEmpty());
        QVERIFY(!setup.shell.settings->contains(AppController::recentDocumentsKey()));
        QCOMPARE(visibleItems(barRecent), QStringList({"Clear Menu"}));

        // A '&' in a file name is shown, not taken as a mnemonic.
        const QString ampersand = setup.shell.writeTaskFile(QStringLiteral("home&work.vesk"), threeSections);
        setup.shell.controller->addRecentFile(ShellFixture::url(ampersand));
        QCOMPARE(visibleItems(barRecent), QStringList({"home&work.vesk", "-", "Clear Menu"}));
    }
};

QTEST_MAIN(MainMenuTest)
#include "MainMenuTest.moc"
