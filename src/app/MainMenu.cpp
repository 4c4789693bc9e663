#include "app/MainMenu.h"

#include "app/AppController.h"
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

MainMenu::MainMenu(AppController* app, DialogPresenter* dialogs, QObject* parent)
    : QObject(parent), m_app(app), m_dialogs(dialogs)
{
    newItemAction = makeAction(QStringLiteral("&New Item"), QKeySequence(Qt::Key_N));
    newFileAction = makeAction(QStringLiteral("New Vesk &File"), QKeySequence(Qt::CTRL | Qt::Key_N));
    openAction = makeAction(QStringLiteral("&Open..."), QKeySequence(Qt::CTRL | Qt::Key_O));
    showInFileManagerAction = makeAction(QStringLiteral("&Show in File Manager"), QKeySequence());
    resolveFileProblemAction = makeAction(QStringLiteral("Resolve File &Problem…"), QKeySequence());
    closeAction = makeAction(QStringLiteral("&Close"), QKeySequence(Qt::CTRL | Qt::Key_W));
    quitAction = makeAction(QStringLiteral("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    undoAction = makeAction(QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z));
    redoAction = makeAction(QStringLiteral("&Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    cutAction = makeAction(QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X));
    copyAction = makeAction(QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    pasteAction = makeAction(QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V));
    selectAllAction = makeAction(QStringLiteral("Select &All"), QKeySequence(Qt::CTRL | Qt::Key_A));
    moveToNextAction = makeAction(QStringLiteral("Move to &Next"), QKeySequence(Qt::Key_T));
    moveToPendingAction = makeAction(QStringLiteral("Move to Pend&ing"), QKeySequence(Qt::Key_T));
    completionAction = makeAction(QStringLiteral("Move to &Done"), QKeySequence(Qt::Key_Space));
    moveUpAction = makeAction(QStringLiteral("&Move Item Up"), QKeySequence(Qt::CTRL | Qt::Key_K));
    moveDownAction = makeAction(QStringLiteral("Move Item Do&wn"), QKeySequence(Qt::CTRL | Qt::Key_J));
    settingsAction = makeAction(QStringLiteral("&Settings…"), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    openLinkAction = makeAction(QStringLiteral("Open &Link"), QKeySequence(Qt::SHIFT | Qt::Key_L));
    showKeyboardControlsAction
        = makeAction(QStringLiteral("Show &Keyboard Controls"), QKeySequence(Qt::Key_Question));
    keyboardControlsHelpAction = makeAction(QStringLiteral("&Keyboard Controls"), QKeySequence(Qt::Key_F1));
    aboutAction = makeAction(QStringLiteral("&About Vesk"), QKeySequence());
    quitAction->setMenuRole(QAction::QuitRole);
    aboutAction->setMenuRole(QAction::AboutRole);
    settingsAction->setMenuRole(QAction::PreferencesRole);

    connect(newItemAction, &QAction::triggered, this, [this] {
        if (SessionController* session = activeSession(); session && newItemAction->isEnabled())
            session->beginCreatingNewItem(QString());
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
            m_app->showInFinder();
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
    const auto forwarding = [this](const char* slot, std::function<void(SessionController*)> command) {
        return [this, slot, command] {
            if (isTextEditingActive()) {
                forwardToFocusedEditor(slot);
                return;
            }
            if (SessionController* session = activeSession())
                command(session);
        };
    };
    connect(
        undoAction, &QAction::triggered, this, forwarding("undo", [](SessionController* s) { s->undo(); }));
    connect(
        redoAction, &QAction::triggered, this, forwarding("redo", [](SessionController* s) { s->redo(); }));
    connect(cutAction, &QAction::triggered, this, forwarding("cut", [](SessionController* s) {
        if (s->canDeleteSelectedItem()) {
            s->copySelectedItem();
            s->deleteSelectedItem();
        }
    }));
    connect(copyAction, &QAction::triggered, this,
        forwarding("copy", [](SessionController* s) { s->copySelectedItem(); }));
    connect(pasteAction, &QAction::triggered, this,
        forwarding("paste", [](SessionController* s) { s->pasteItem(); }));
    connect(selectAllAction, &QAction::triggered, this, [] { forwardToFocusedEditor("selectAll"); });

    connect(moveToNextAction, &QAction::triggered, this, [this] {
        if (SessionController* session = activeSession())
            session->moveSelectedItemToNext();
    });
    connect(moveToPendingAction, &QAction::triggered, this, [this] {
        if (SessionController* session = activeSession())
            session->moveSelectedItemToPending();
    });
    connect(completionAction, &QAction::triggered, this, [this] {
        SessionController* session = activeSession();
        if (!session)
            return;
        const std::optional<QUuid> selected = session->selection().taskID();
        if (selected && session->sectionOf(*selected) == TaskSection::completed) {
            session->moveSelectedItemToPending();
            return;
        }
        if (!session->editingBlocked() && session->canCompleteSelectedItem())
            session->toggleSelectedItemCompletion();
    });
    connect(moveUpAction, &QAction::triggered, this, [this] {
        if (SessionController* session = activeSession(); session && !session->editingBlocked())
            session->moveSelectedItem(-1);
    });
    connect(moveDownAction, &QAction::triggered, this, [this] {
        if (SessionController* session = activeSession(); session && !session->editingBlocked())
            session->moveSelectedItem(1);
    });
    connect(settingsAction, &QAction::triggered, this, [this] { showSettings(); });
    connect(openLinkAction, &QAction::triggered, this, [this] {
        if (SessionController* session = activeSession())
            session->openFirstLinkInSelectedItem();
    });
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
        // The reference has no menu bar; Quit works there too.
        m_app->keyboardControlsPanelController()->addApplicationAction(quitAction);
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
        connect(menu, &QMenu::aboutToShow, this, &MainMenu::update);
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

bool MainMenu::isTextEditingActive() const
{
    const SessionController* session = activeSession();
    return session && session->isTextEditingActive();
}

bool MainMenu::forwardToFocusedEditor(const char* slot)
{
    QWidget* focus = QApplication::focusWidget();
    if (!focus)
        return false;
    return QMetaObject::invokeMethod(focus, slot);
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
        m_settingsWindowController = new SettingsWindowController(*m_dialogs, this);
        m_settingsWindowController->addApplicationAction(quitAction);
    }
    m_settingsWindowController->show();
}

void MainMenu::update()
{
    SessionController* session = activeSession();
    const bool hasFile = m_app && m_app->hasActiveFile();
    const bool editing = session && session->isTextEditingActive();
    const bool blocked = !session || session->editingBlocked();
    const bool transition = session && session->isTransitionInProgress();

    newItemAction->setEnabled(session && hasFile && !blocked && !transition);
    showInFileManagerAction->setEnabled(hasFile);
    resolveFileProblemAction->setEnabled(m_app && m_app->activeDocumentController()
        && m_app->activeDocumentController()->canResolveFileProblem());
    closeAction->setEnabled(QApplication::activeWindow() != nullptr);

    if (editing) {
        for (QAction* action : {undoAction, redoAction, cutAction, copyAction, pasteAction})
            action->setEnabled(hasFile);
    } else {
        undoAction->setEnabled(session && !blocked && !transition && !session->undoStack().isEmpty());
        redoAction->setEnabled(session && !blocked && !transition && !session->redoStack().isEmpty());
        cutAction->setEnabled(session && session->canDeleteSelectedItem());
        copyAction->setEnabled(session && session->canCopySelectedItem());
        pasteAction->setEnabled(session && session->canPasteItem());
    }
    selectAllAction->setEnabled(hasFile && editing);

    std::optional<TaskSection> selectedSection;
    if (session) {
        if (const std::optional<QUuid> selected = session->selection().taskID())
            selectedSection = session->sectionOf(*selected);
    }
    const bool showMoveToPending = selectedSection == TaskSection::working;
    const bool showMoveToNext = !showMoveToPending && session && session->canMoveSelectedItemToNext();
    moveToNextAction->setVisible(showMoveToNext);
    moveToNextAction->setEnabled(showMoveToNext);
    moveToPendingAction->setVisible(showMoveToPending);
    moveToPendingAction->setEnabled(showMoveToPending && session->canMoveSelectedItemToPending());

    if (selectedSection == TaskSection::completed) {
        completionAction->setText(QStringLiteral("Move to Pend&ing"));
        completionAction->setEnabled(session->canMoveSelectedItemToPending());
    } else {
        completionAction->setText(QStringLiteral("Move to &Done"));
        completionAction->setEnabled(session && session->canCompleteSelectedItem());
    }
    moveUpAction->setEnabled(session && session->canMoveSelectedItem(-1));
    moveDownAction->setEnabled(session && session->canMoveSelectedItem(1));
    openLinkAction->setEnabled(session && session->canOpenLinkInSelectedItem());
}
