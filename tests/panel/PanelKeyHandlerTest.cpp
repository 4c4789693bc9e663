#include "PanelKeyHandler.h"
#include "GrowingTextView.h"
#include "ManualScheduler.h"
#include "PanelTabHost.h"
#include "RecordingUrlOpener.h"
#include "ScriptedDialogPresenter.h"
#include "SessionController.h"
#include "SettingsStore.h"
#include "TaskListView.h"
#include "TaskTextLayoutCache.h"
#include "VeskDocumentController.h"
#include "VeskPanelController.h"
#include "VeskPanelRootView.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

namespace {

const char* sampleText = "Write the report\n"
                         "> Two pages\n"
                         "Call the plumber\n"
                         "---\n"
                         "Read [the plan](https://example.com/plan) soon\n"
                         "Water the plants\n"
                         "---\n"
                         "Buy milk\n";

} // namespace

class PanelKeyHandlerTest : public QObject {
    Q_OBJECT

    // One clock for the whole run: the shared layout cache keeps its pending work across tests.
    static ManualScheduler& clock()
    {
        static ManualScheduler scheduler;
        return scheduler;
    }

    // A real panel: a document controller bound to a file in a temporary folder, its root view, and
    // a search field above it in the same window, as the panel window lays them out.
    struct Panel {
        ManualScheduler& scheduler = clock();
        ScriptedDialogPresenter dialogs;
        QTemporaryDir folder;
        VeskDocumentController controller {&dialogs, &scheduler};
        std::shared_ptr<RecordingUrlOpener> urls = std::make_shared<RecordingUrlOpener>();
        QWidget window;
        QLineEdit* search = nullptr;
        VeskPanelRootView* root = nullptr;
        QAction* menuAction = nullptr;
        QList<QKeySequence> menuTriggers;
        int previousTabs = 0;
        int nextTabs = 0;
        int controlsToggles = 0;

        Panel()
        {
            TaskTextLayoutCache::shared().setScheduler(&scheduler);
            const QString path = folder.filePath("list.vesk");
            QFile file(path);
            if (file.open(QIODevice::WriteOnly))
                file.write(sampleText);
            file.close();
            controller.openDocument(QUrl::fromLocalFile(path));
            session()->setUrlOpener(urls);

            auto* layout = new QVBoxLayout(&window);
            search = new QLineEdit;
            search->setObjectName("search");
            root = new VeskPanelRootView(&controller, nullptr, &scheduler);
            layout->addWidget(search);
            layout->addWidget(root, 1);
            root->focusSearchField = [this] { search->setFocus(); };
            root->resignSearchFieldFocus = [this] { root->focusContent(); };
            root->isSearchFieldFocused = [this] { return search->hasFocus(); };
            root->selectPreviousTab = [this] { ++previousTabs; };
            root->selectNextTab = [this] { ++nextTabs; };
            root->toggleKeyboardControls = [this] { ++controlsToggles; };
            root->listView()->setAnimationsEnabled(false);

            // Menu shortcuts of the window; a consumed key must never reach them.
            for (const QKeySequence& sequence : {QKeySequence(Qt::CTRL | Qt::Key_Z),
                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_J),
                     QKeySequence(Qt::CTRL | Qt::Key_K), QKeySequence(Qt::CTRL | Qt::Key_F)}) {
                auto* action = new QAction(&window);
                action->setShortcut(sequence);
                window.addAction(action);
                connect(action, &QAction::triggered, &window, [this, sequence] { menuTriggers << sequence; });
            }
            window.resize(480, 640);
            window.show();
            QApplication::setActiveWindow(&window);
            root->focusContent();
            settle();
        }

        SessionController* session() const { return controller.sessionController(); }
        TaskListView* list() const { return root->listView(); }
        QUuid id(TaskSection section, int index) const { return session()->itemIDs(section).at(index); }
        QString title(const QUuid& id) const { return session()->itemsByID().value(id).title; }
        QStringList titles(TaskSection section) const
        {
            QStringList result;
            for (const QUuid& item : session()->itemIDs(section))
                result << title(item);
            return result;
        }
        void select(TaskSection section, int index)
        {
            session()->setSelection(SessionSelection::task(id(section, index)));
            settle();
        }
        // Runs the work posted for the next turn (focus requests, reveals).
        void settle()
        {
            scheduler.runDueJobs();
            QCoreApplication::processEvents();
            scheduler.runDueJobs();
        }
        QWidget* focus() { return window.focusWidget() ? window.focusWidget() : &window; }
        void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
        {
            QTest::keyClick(focus(), key, modifiers);
            settle();
        }
        void type(char character, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
        {
            QTest::keyClick(focus(), character, modifiers);
            settle();
        }
    };

private Q_SLOTS:
    void listKeysMoveTheSelectionAndActOnTheSelectedTask()
    {
        Panel panel;
        QCOMPARE(panel.focus(), panel.list());
        panel.select(TaskSection::working, 0);
        panel.type('j');
        QCOMPARE(panel.session()->selection(), SessionSelection::task(panel.id(TaskSection::working, 1)));
        panel.press(Qt::Key_Down);
        QCOMPARE(panel.session()->selection(), SessionSelection::task(panel.id(TaskSection::inbox, 0)));
        panel.type('k');
        panel.press(Qt::Key_Up);
        QCOMPARE(panel.session()->selection(), SessionSelection::task(panel.id(TaskSection::working, 0)));

        // Return edits, Backspace and Delete delete, Space completes.
        panel.press(Qt::Key_Return);
        QVERIFY(panel.session()->inlineEditState());
        QCOMPARE(panel.session()->inlineEditState()->itemID, panel.id(TaskSection::working, 0));
        panel.press(Qt::Key_Escape); // reaches the editor, which cancels
        QVERIFY(!panel.session()->inlineEditState());
        QCOMPARE(panel.focus(), panel.list());

        panel.select(TaskSection::inbox, 1);
        panel.press(Qt::Key_Backspace);
        QCOMPARE(panel.titles(TaskSection::inbox),
            QStringList({"Read [the plan](https://example.com/plan) soon"}));
        QCOMPARE(panel.session()->selection(), SessionSelection::task(panel.id(TaskSection::completed, 0)));
        panel.press(Qt::Key_Delete);
        QCOMPARE(panel.titles(TaskSection::completed), QStringList());

        panel.select(TaskSection::working, 1);
        const QUuid plumber = panel.id(TaskSection::working, 1);
        panel.press(Qt::Key_Space);
        QVERIFY(panel.session()->taskAnimations().contains(plumber));
        panel.scheduler.advance(SessionController::completionPreviewDelay + 0.01);
        panel.settle();
        QCOMPARE(panel.session()->sectionOf(plumber), TaskSection::completed);
        // The file on disk follows every committed change.
        QFile file(panel.folder.filePath("list.vesk"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString saved = QString::fromUtf8(file.readAll());
        QVERIFY2(saved.trimmed().endsWith("---\nCall the plumber"), qPrintable(saved));

        // Keys that are no command pass on.
        QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
        QKeyEvent x(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QVERIFY(!panel.root->keyHandler()->handleKeyDown(&f5));
        QVERIFY(!panel.root->keyHandler()->handleKeyDown(&x));
        QVERIFY(!panel.root->keyHandler()->handleKeyDown(&escape));
    }

    void letterCommands()
    {
        Panel panel;
        panel.select(TaskSection::inbox, 0);
        panel.type('l', Qt::ShiftModifier);
        QCOMPARE(panel.urls->opened, QList<QUrl>({QUrl("https://example.com/plan")}));
        panel.type('l');
        panel.type('h');
        panel.type('h');
        QCOMPARE(panel.nextTabs, 1);
        QCOMPARE(panel.previousTabs, 2);

        // "?" counts only with Shift alone.
        panel.type('?', Qt::ShiftModifier);
        QCOMPARE(panel.controlsToggles, 1);
        QKeyEvent questionWithAlt(
            QEvent::KeyPress, Qt::Key_Question, Qt::ShiftModifier | Qt::AltModifier, "?");
        QVERIFY(!panel.root->keyHandler()->handleKeyDown(&questionWithAlt));
        QCOMPARE(panel.controlsToggles, 1);

        panel.type('/');
        QVERIFY(panel.search->hasFocus());
        panel.root->focusContent();
        panel.settle();

        panel.type('n');
        QVERIFY(panel.session()->isCreatingNewItem());
        QCOMPARE(panel.session()->selection(), SessionSelection::input());
        QCOMPARE(panel.focus(), panel.list()->inputEditor());
    }

    void tMovesBetweenNextAndPending()
    {
        Panel panel;
        // An inbox task goes to the end of the working list once the wait for a second press ends.
        panel.select(TaskSection::inbox, 1);
        const QUuid plants = panel.id(TaskSection::inbox, 1);
        panel.type('t');
        panel.scheduler.advance(SessionController::todayToggleDelay + 0.01);
        panel.settle();
        QCOMPARE(panel.session()->itemIDs(TaskSection::working).last(), plants);
        panel.scheduler.advance(SessionController::shellClearingDelay);
        panel.settle();

        // A working task goes to the top of the inbox.
        const QUuid report = panel.id(TaskSection::working, 0);
        panel.session()->setSelection(SessionSelection::task(report));
        panel.type('t');
        QCOMPARE(panel.session()->itemIDs(TaskSection::inbox).first(), report);
        panel.scheduler.advance(SessionController::shellClearingDelay);
        panel.settle();

        // A completed task goes to the end of the working list.
        const QUuid milk = panel.id(TaskSection::completed, 0);
        panel.session()->setSelection(SessionSelection::task(milk));
        panel.type('t');
        QCOMPARE(panel.session()->itemIDs(TaskSection::working).last(), milk);
        QCOMPARE(panel.session()->itemIDs(TaskSection::completed), QList<QUuid>());
    }

    void searchFieldKeepsItsKeys()
    {
        Panel panel;
        panel.select(TaskSection::working, 0);
        const QStringList working = panel.titles(TaskSection::working);
        panel.press(Qt::Key_F, Qt::ControlModifier);
        QVERIFY(panel.search->hasFocus());
        panel.type('j');
        panel.press(Qt::Key_Space);
        panel.press(Qt::Key_J, Qt::ControlModifier);
        panel.type('t');
        QCOMPARE(panel.search->text(), QStringLiteral("j t"));
        QCOMPARE(panel.session()->selection(), SessionSelection::task(panel.id(TaskSection::working, 0)));
        QCOMPARE(panel.titles(TaskSection::working), working);
        QVERIFY(panel.session()->taskAnimations().isEmpty());
        // The field does not use Ctrl+J, so it goes on to the menus.
        QCOMPARE(panel.menuTriggers, QList<QKeySequence>({QKeySequence(Qt::CTRL | Qt::Key_J)}));
    }

    void editorsReceiveTheirKeysWhileListCommandsStillWork()
    {
        Panel panel;
        panel.select(TaskSection::working, 0);
        panel.type('n');
        GrowingTextView* input = panel.list()->inputEditor();
        QVERIFY(input && input->hasFocus());
        for (char c : QByteArray("buy j k"))
            panel.type(c);
        panel.press(Qt::Key_Down);
        panel.press(Qt::Key_Up);
        panel.press(Qt::Key_Backspace);
        QCOMPARE(panel.session()->inputDraft(), QStringLiteral("buy j "));
        QCOMPARE(panel.session()->selection(), SessionSelection::input());

        // Ctrl+A and Ctrl+X act on the editor's text, not on the list.
        panel.press(Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(input->textCursor().selectedText(), QStringLiteral("buy j "));
        panel.press(Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(panel.session()->inputDraft(), QString());
        panel.press(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(panel.session()->inputDraft(), QStringLiteral("buy j "));
        QVERIFY(panel.session()->undoStack().isEmpty());

        // Escape reaches the editor, which closes the input row.
        panel.press(Qt::Key_Escape);
        QVERIFY(!panel.session()->isCreatingNewItem());
        QCOMPARE(panel.session()->selection(), SessionSelection::task(panel.id(TaskSection::working, 0)));
        QCOMPARE(panel.focus(), panel.list());

        // In the inline editor, letters, Space, Return-less edits and Delete are text; Ctrl+J still
        // moves the task and Ctrl+F still focuses the search field.
        const QUuid report = panel.id(TaskSection::working, 0);
        panel.press(Qt::Key_Return);
        GrowingTextView* editor = panel.list()->inlineEditor();
        QVERIFY(editor && editor->hasFocus());
        editor->moveCursor(QTextCursor::End);
        panel.type('x');
        panel.press(Qt::Key_Space);
        panel.type('t');
        panel.press(Qt::Key_Backspace);
        panel.press(Qt::Key_Up);
        QCOMPARE(
            panel.session()->inlineEditState()->draftText, QStringLiteral("Write the report\nTwo pagesx "));
        QCOMPARE(panel.session()->sectionOf(report), TaskSection::working);
        panel.press(Qt::Key_J, Qt::ControlModifier);
        QCOMPARE(panel.id(TaskSection::working, 1), report);
        panel.press(Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(panel.id(TaskSection::working, 0), report);
        QVERIFY(panel.session()->inlineEditState());
        panel.press(Qt::Key_F, Qt::ControlModifier);
        QVERIFY(panel.search->hasFocus());
        QVERIFY(panel.menuTriggers.isEmpty());
    }

    void undoAndBlockedMovesNeverReachTheMenus()
    {
        Panel panel;
        panel.select(TaskSection::working, 0);
        const QUuid report = panel.id(TaskSection::working, 0);
        panel.press(Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(panel.id(TaskSection::working, 1), report);
        // Nothing has the focus: Ctrl+Z still undoes the last change, Ctrl+Shift+Z redoes it.
        panel.list()->clearFocus();
        QCOMPARE(panel.window.focusWidget(), nullptr);
        panel.press(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(panel.id(TaskSection::working, 0), report);
        panel.press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(panel.id(TaskSection::working, 1), report);

        const int undoSteps = panel.session()->undoStack().size();
        panel.session()->setEditingBlocked(true);
        panel.press(Qt::Key_K, Qt::ControlModifier);
        panel.press(Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(panel.id(TaskSection::working, 1), report);
        QCOMPARE(panel.session()->undoStack().size(), undoSteps);
        QVERIFY(panel.menuTriggers.isEmpty());
    }

    void aBurstIsTwoMovesWithinItsInterval()
    {
        Panel panel;
        panel.list()->setAnimationsEnabled(true);
        panel.select(TaskSection::working, 0);
        panel.scheduler.advance(5);
        panel.type('j');
        const double first = panel.scheduler.now();
        QCOMPARE(panel.list()->keyboardNavigationBurstUntil(), first); // a single move is no burst

        panel.scheduler.advance(0.2);
        panel.type('j');
        QCOMPARE(panel.list()->keyboardNavigationBurstUntil(), first + 0.2 + 0.28);
        // During a burst the selected row expands only after the longer delay.
        const QUuid selected = *panel.session()->selection().taskID();
        panel.scheduler.advance(0.2);
        QVERIFY(panel.list()->expandedSelectionTaskID() != selected);
        panel.scheduler.advance(0.1);
        QCOMPARE(panel.list()->expandedSelectionTaskID(), selected);

        panel.scheduler.advance(0.1); // 0.3 s after the last move
        panel.type('k');
        QCOMPARE(panel.list()->keyboardNavigationBurstUntil(), panel.scheduler.now());

        // A held key repeats: every repeat is a burst, whatever the time.
        panel.scheduler.advance(2);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
        QVERIFY(panel.root->keyHandler()->handleKeyDown(&repeat));
        QCOMPARE(panel.list()->keyboardNavigationBurstUntil(), panel.scheduler.now() + 0.28);
    }

    void lAndHSwitchTheTabsOfThePanelWindow()
    {
        QTemporaryDir folder;
        SettingsStore settings(folder.filePath("settings.ini"));
        SettingsStore::setShared(&settings);
        struct Document {
            ScriptedDialogPresenter dialogs;
            VeskDocumentController controller {&dialogs, &clock()};
            VeskPanelController panel {&controller, &clock()};
        };
        Document a, b;
        for (Document* document : {&a, &b}) {
            const QString path = folder.filePath(document == &a ? "a.vesk" : "b.vesk");
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(sampleText);
            file.close();
            document->controller.openDocument(QUrl::fromLocalFile(path));
            document->panel.showPanel();
        }
        a.panel.insertTab(&b.panel, 1);
        PanelTabHost* host = a.panel.host();
        QCOMPARE(b.panel.host(), host);
        host->setCurrentPage(a.panel.panel());
        QApplication::setActiveWindow(host);
        a.panel.rootView()->focusContent();
        clock().runDueJobs();
        QTest::keyClick(QApplication::focusWidget(), 'l');
        QCOMPARE(host->currentPage(), b.panel.panel());
        b.panel.rootView()->focusContent();
        QTest::keyClick(QApplication::focusWidget(), 'h');
        QCOMPARE(host->currentPage(), a.panel.panel());
        SettingsStore::setShared(nullptr);
    }

    void keysTypedIntoAnotherPanelStayThere()
    {
        Panel first;
        Panel second;
        first.select(TaskSection::working, 0);
        second.select(TaskSection::working, 0);
        QApplication::setActiveWindow(&second.window);
        second.root->focusContent();
        second.settle();
        second.type('j');
        second.press(Qt::Key_Delete);
        QCOMPARE(first.session()->selection(), SessionSelection::task(first.id(TaskSection::working, 0)));
        QCOMPARE(first.titles(TaskSection::working).size(), 2);
        QCOMPARE(second.titles(TaskSection::working), QStringList({"Write the report"}));
    }
};

QTEST_MAIN(PanelKeyHandlerTest)
#include "PanelKeyHandlerTest.moc"
