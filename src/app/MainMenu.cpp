#include "app/MainMenu.h"

#include "app/AppController.h"
#include "kit/TextEditCommand.h"
#include "panel/TaskActions.h"
#include "panel/VeskPanelController.h"
#include "platform/Pasteboard.h"
#include "session/SessionController.h"
#include "sync/VeskDocumentController.h"
#include "windows/AboutBox.h"
#include "windows/KeyboardControlsPanelController.h"
#include "windows/SettingsWindow.h"
#include "windows/SettingsWindowController.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

namespace {
const char* const menuBarMarker = "veskMainMenu";
} // namespace

MainMenu::MainMenu(AppController* app, DialogPresenter& dialogs, QObject* parent)
    : QObject(parent), m_app(app), m_dialogs(dialogs)
{
    newItemAction = makeAction(TaskAction::newItem);
    newFileAction = makeAction(QStringLiteral("New Vesk &File"), QKeySequence(Qt::CTRL | Qt::Key_N));
    openAction = makeAction(QStringLiteral("&Open..."), QKeySequence(Qt::CTRL | Qt::Key_O));
    showInFileManagerAction = makeAction(QStringLiteral("&Show in File Manager"), QKeySequence());
    resolveFileProblemAction = makeAction(QStringLiteral("Resolve File &Problem…"), QKeySequence());
    closeAction = makeAction(QStringLiteral("&Close"), QKeySequence(Qt::CTRL | Qt::Key_W));
    quitAction = makeAction(QStringLiteral("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    undoAction = makeAction(TaskAction::undo);
    redoAction = makeAction(TaskAction::redo);
    cutAction = makeAction(TaskAction::cut);
    copyAction = makeAction(TaskAction::copy);
    pasteAction = makeAction(TaskAction::paste);
    selectAllAction = makeAction(QStringLiteral("Select &All"), QKeySequence(Qt::CTRL | Qt::Key_A));
    moveToNextAction = makeAction(TaskAction::moveToNext);
    moveToPendingAction = makeAction(TaskAction::moveToPending);
    // Titled by the selected task's move on Space.
    completionAction = makeAction(TaskAction::moveToDone);
    moveUpAction = makeAction(TaskAction::moveUp);
    moveDownAction = makeAction(TaskAction::moveDown);
    settingsAction = makeAction(QStringLiteral("&Settings…"), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    openLinkAction = makeAction(TaskAction::openLink);
    showKeyboardControlsAction
        = makeAction(QStringLiteral("Show &Keyboard Controls"), QKeySequence(Qt::Key_Question));
    keyboardControlsHelpAction = makeAction(QStringLiteral("&Keyboard Controls"), QKeySequence(Qt::Key_F1));
    aboutAction = makeAction(QStringLiteral("&About Vesk"), QKeySequence());
    quitAction->setMenuRole(QAction::QuitRole);
    aboutAction->setMenuRole(QAction::AboutRole);
    settingsAction->setMenuRole(QAction::PreferencesRole);

    connect(newItemAction, &QAction::triggered, this, [this] {
        if (TaskActions* actions = activeTaskActions(); actions && newItemAction->isEnabled())
            actions->run(TaskAction::newItem);
    });
    connect(newFileAction, &QAction::triggered, this, [this] {
        if (m_app)
            m_app->newDocumentFile();
    });
    connect(openAction, &QAction::triggered, this, [this] {
        if (m_app)
            m_app->chooseFileToOpen();
    });
    connect(showInFileManagerAction, &QAction::triggered, this, [this] {
        if (m_app)
            m_app->showInFileManager();
    });
    connect(resolveFileProblemAction, &QAction::triggered, this, [this] {
        if (m_app && m_app->activeDocumentController())
            m_app->activeDocumentController()->resolveFileProblem();
    });
    connect(closeAction, &QAction::triggered, this, [this] { closeKeyWindow(); });
    // Not QCoreApplication::quit(): that first asks every window to close, and a panel's window
    // answers by closing its document, which would drop it from the documents reopened next time.
    connect(
        quitAction, &QAction::triggered, this,
        [this] {
            if (m_app)
                m_app->quit();
            else
                QCoreApplication::exit(0);
        },
        Qt::QueuedConnection);

    // Undo, Redo, Cut, Copy and Paste belong to the text editor while one is open.
    const auto forwarding = [this](const char* slot, TaskAction action) {
        return [this, slot, action] {
            if (isTextEditingActive()) {
                forwardToFocusedEditor(slot);
                return;
            }
            if (TaskActions* actions = activeTaskActions())
                actions->run(action);
        };
    };
    connect(undoAction, &QAction::triggered, this, forwarding("undo", TaskAction::undo));
    connect(redoAction, &QAction::triggered, this, forwarding("redo", TaskAction::redo));
    connect(cutAction, &QAction::triggered, this, forwarding("cut", TaskAction::cut));
    connect(copyAction, &QAction::triggered, this, forwarding("copy", TaskAction::copy));
    connect(pasteAction, &QAction::triggered, this, forwarding("paste", TaskAction::paste));
    connect(selectAllAction, &QAction::triggered, this, [] { forwardToFocusedEditor("selectAll"); });

    const auto running = [this](TaskAction action) {
        return [this, action] {
            if (TaskActions* actions = activeTaskActions())
                actions->run(action);
        };
    };
    connect(moveToNextAction, &QAction::triggered, this, running(TaskAction::moveToNext));
    connect(moveToPendingAction, &QAction::triggered, this, running(TaskAction::moveToPending));
    connect(completionAction, &QAction::triggered, this, [this] {
        if (TaskActions* actions = activeTaskActions())
            actions->run(actions->moveOnSpace());
    });
    connect(moveUpAction, &QAction::triggered, this, running(TaskAction::moveUp));
    connect(moveDownAction, &QAction::triggered, this, running(TaskAction::moveDown));
    connect(settingsAction, &QAction::triggered, this, [this] { showSettings(); });
    connect(openLinkAction, &QAction::triggered, this, running(TaskAction::openLink));
    connect(showKeyboardControlsAction, &QAction::triggered, this, [this] {
        if (m_app)
            m_app->keyboardControlsPanelController()->toggle();
    });
    connect(keyboardControlsHelpAction, &QAction::triggered, this, [this] {
        if (m_app)
            m_app->keyboardControlsPanelController()->show();
    });
    connect(aboutAction, &QAction::triggered, this, [this] {
        if (m_aboutBox) {
            m_aboutBox->raise();
            m_aboutBox->activateWindow();
            return;
        }
        m_aboutBox = AboutBox::open(QApplication::activeWindow());
    });

    if (m_app) {
        // The reference has no menu bar; Quit works there too. Made once the first frame is drawn:
        // the reference holds the global shortcut's name, whose first use starts the hot keys.
        m_app->runAfterFirstFrame(
            [app = QPointer<AppController>(m_app), quit = QPointer<QAction>(quitAction)] {
                if (app && quit)
                    app->keyboardControlsPanelController()->addApplicationAction(quit);
            });
        m_app->runAfterFirstFrame([self = QPointer<MainMenu>(this)] {
            if (self)
                self->readClipboardFromNowOn();
        });
        connect(m_app, &AppController::changed, this, &MainMenu::update);
        connect(m_app, &AppController::activeDocumentControllerChanged, this, &MainMenu::update);
        connect(m_app, &AppController::recentFilesChanged, this, [this] {
            for (const QPointer<QMenu>& menu : std::as_const(m_recentMenus)) {
                if (menu)
                    fillRecentMenu(menu);
            }
        });
    }
    // Paste follows the clipboard, which Vesk's own Copy and other programs change.
    if (m_app && m_app->pasteboard())
        connect(m_app->pasteboard(), &Pasteboard::changed, this, &MainMenu::update);
    // Close and the editing items depend on which window and field have the focus.
    connect(qApp, &QApplication::focusChanged, this, &MainMenu::update);
    update();
}

MainMenu::~MainMenu()
{
    for (const QPointer<QMenuBar>& bar : std::as_const(m_menuBars))
        delete bar.data();
}

QAction* MainMenu::makeAction(const QString& title, const QKeySequence& key)
{
    auto* action = new QAction(title, this);
    action->setShortcut(key);
    return action;
}

QAction* MainMenu::makeAction(TaskAction action)
{
    return makeAction(TaskActions::menuText(action), TaskActions::key(action));
}

QMenuBar* MainMenu::makeMenuBar(QWidget* parent)
{
    auto* bar = new QMenuBar(parent);
    bar->setProperty(menuBarMarker, true);
    m_menuBars.append(bar);

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->addAction(newItemAction);
    file->addAction(newFileAction);
    file->addSeparator();
    file->addAction(openAction);
    QMenu* recent = file->addMenu(QStringLiteral("Open &Recent"));
    m_recentMenus.append(recent);
    fillRecentMenu(recent);
    file->addSeparator();
    file->addAction(showInFileManagerAction);
    file->addAction(resolveFileProblemAction);
    file->addSeparator();
    file->addAction(closeAction);
    file->addSeparator();
    file->addAction(quitAction);

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    edit->addAction(undoAction);
    edit->addAction(redoAction);
    edit->addSeparator();
    edit->addAction(cutAction);
    edit->addAction(copyAction);
    edit->addAction(pasteAction);
    edit->addSeparator();
    edit->addAction(selectAllAction);
    edit->addSeparator();
    edit->addAction(moveToNextAction);
    edit->addAction(moveToPendingAction);
    edit->addAction(completionAction);
    edit->addSeparator();
    edit->addAction(moveUpAction);
    edit->addAction(moveDownAction);
    edit->addSeparator();
    edit->addAction(settingsAction);

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    view->addAction(openLinkAction);
    view->addAction(showKeyboardControlsAction);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->addAction(keyboardControlsHelpAction);
    help->addSeparator();
    help->addAction(aboutAction);

    for (QMenu* menu : {file, recent, edit, view})
        connect(menu, &QMenu::aboutToShow, this, &MainMenu::readClipboardFromNowOn);
    connect(recent, &QMenu::aboutToShow, this, [this, recent] { fillRecentMenu(recent); });
    return bar;
}

void MainMenu::installMenuBar(QWidget* window)
{
    if (!window || window->property(menuBarMarker).toBool())
        return;
    if (auto* mainWindow = qobject_cast<QMainWindow*>(window))
        mainWindow->setMenuBar(makeMenuBar(mainWindow));
    else if (window->layout())
        window->layout()->setMenuBar(makeMenuBar(window));
    else
        return;
    window->setProperty(menuBarMarker, true);
}

QMenuBar* MainMenu::menuBarOf(const QWidget* window)
{
    if (!window)
        return nullptr;
    for (QMenuBar* bar : window->findChildren<QMenuBar*>(Qt::FindDirectChildrenOnly)) {
        if (bar->property(menuBarMarker).toBool())
            return bar;
    }
    return nullptr;
}

void MainMenu::fillRecentMenu(QMenu* menu)
{
    menu->clear();
    const QList<RecentFileEntry> entries = m_app ? m_app->recentFiles() : QList<RecentFileEntry>();
    for (const RecentFileEntry& entry : entries) {
        // A '&' in a file name is a character of the name, not a mnemonic.
        QAction* item = menu->addAction(
            QFileInfo(entry.url.toLocalFile()).fileName().replace(QLatin1Char('&'), QStringLiteral("&&")));
        item->setToolTip(entry.url.toLocalFile());
        connect(item, &QAction::triggered, this, [this, entry] {
            if (m_app)
                m_app->openRecentFile(entry);
        });
    }
    if (!entries.isEmpty())
        menu->addSeparator();
    QAction* clear = menu->addAction(QStringLiteral("&Clear Menu"));
    clear->setEnabled(!entries.isEmpty());
    connect(clear, &QAction::triggered, this, [this] {
        if (m_app)
            m_app->clearRecentFiles();
    });
}

SessionController* MainMenu::activeSession() const
{
    if (!m_app || !m_app->activeDocumentController())
        return nullptr;
    return m_app->activeDocumentController()->sessionController();
}

TaskActions* MainMenu::activeTaskActions() const
{
    return TaskActions::of(activeSession());
}

bool MainMenu::isTextEditingActive() const
{
    const SessionController* session = activeSession();
    return session && session->isTextEditingActive();
}

bool MainMenu::forwardToFocusedEditor(const char* slot)
{
    return TextEditCommand::sendTo(QApplication::focusWidget(), slot);
}

void MainMenu::closeKeyWindow()
{
    if (m_app) {
        for (const DocumentContext& context : m_app->orderedContexts()) {
            if (context.panelController && context.panelController->isPanelKey()) {
                // The panel asks, as its window's close button does; the controller decides.
                if (context.panelController->onCloseRequested)
                    context.panelController->onCloseRequested();
                return;
            }
        }
    }
    if (QWidget* window = QApplication::activeWindow())
        window->close();
}

void MainMenu::showSettings()
{
    if (!m_settingsWindowController) {
        m_settingsWindowController = new SettingsWindowController(m_dialogs, this);
        m_settingsWindowController->addApplicationAction(quitAction);
    }
    m_settingsWindowController->show();
}

void MainMenu::readClipboardFromNowOn()
{
    m_readsClipboard = true;
    update();
}

void MainMenu::update()
{
    TaskActions* actions = activeTaskActions();
    const auto enabled = [actions](TaskAction action) { return actions && actions->isEnabled(action); };
    const bool hasFile = m_app && m_app->hasActiveFile();
    const bool editing = isTextEditingActive();

    newItemAction->setEnabled(hasFile && enabled(TaskAction::newItem));
    showInFileManagerAction->setEnabled(hasFile);
    resolveFileProblemAction->setEnabled(m_app && m_app->activeDocumentController()
        && m_app->activeDocumentController()->canResolveFileProblem());
    closeAction->setEnabled(QApplication::activeWindow() != nullptr);

    if (editing) {
        for (QAction* action : {undoAction, redoAction, cutAction, copyAction, pasteAction})
            action->setEnabled(hasFile);
    } else {
        undoAction->setEnabled(enabled(TaskAction::undo));
        redoAction->setEnabled(enabled(TaskAction::redo));
        cutAction->setEnabled(enabled(TaskAction::cut));
        copyAction->setEnabled(enabled(TaskAction::copy));
        pasteAction->setEnabled(m_readsClipboard ? enabled(TaskAction::paste) : actions != nullptr);
    }
    selectAllAction->setEnabled(hasFile && editing);

    for (const auto& [item, action] : {std::pair {moveToNextAction, TaskAction::moveToNext},
             std::pair {moveToPendingAction, TaskAction::moveToPending}}) {
        const bool visible = actions && actions->isVisible(action);
        item->setVisible(visible);
        item->setEnabled(visible && actions->isEnabled(action));
    }
    const TaskAction onSpace = actions ? actions->moveOnSpace() : TaskAction::moveToDone;
    completionAction->setText(TaskActions::menuText(onSpace));
    completionAction->setEnabled(enabled(onSpace));
    moveUpAction->setEnabled(enabled(TaskAction::moveUp));
    moveDownAction->setEnabled(enabled(TaskAction::moveDown));
    openLinkAction->setEnabled(enabled(TaskAction::openLink));
}
