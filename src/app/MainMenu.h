#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include "windows/SettingsWindow.h"
#include "windows/SettingsWindowController.h"

class AppController;
class DialogPresenter;
class QAction;
class QMenu;
class QMenuBar;
class QWidget;
class SessionController;
class TaskActions;
enum class TaskAction;

// The application's commands as one set of actions that follow the active document's session.
// There is no desktop-wide menu bar, so every window that shows documents or the welcome content
// carries its own menu bar made of these same actions.
class MainMenu : public QObject {
    Q_OBJECT

public:
    // dialogs answers the settings window's alerts and must outlive the menu.
    MainMenu(AppController* app, DialogPresenter& dialogs, QObject* parent = nullptr);
    ~MainMenu() override;

    // A new menu bar (File, Edit, View, Help) made of the shared actions.
    QMenuBar* makeMenuBar(QWidget* parent = nullptr);
    // Gives window a menu bar unless it has one of ours already: a main window as its menu bar,
    // any other window above the content of its layout.
    void installMenuBar(QWidget* window);
    // The menu bar installed in window, if any.
    static QMenuBar* menuBarOf(const QWidget* window);

    // Re-evaluates titles, visibility and enabled states.
    void update();

    // File
    QAction* newItemAction;
    QAction* newFileAction;
    QAction* openAction;
    QAction* showInFileManagerAction;
    QAction* resolveFileProblemAction;
    QAction* closeAction;
    QAction* quitAction;
    // Edit
    QAction* undoAction;
    QAction* redoAction;
    QAction* cutAction;
    QAction* copyAction;
    QAction* pasteAction;
    QAction* selectAllAction;
    QAction* moveToNextAction;
    QAction* moveToPendingAction;
    QAction* completionAction;
    QAction* moveUpAction;
    QAction* moveDownAction;
    QAction* settingsAction;
    // View
    QAction* openLinkAction;
    QAction* showKeyboardControlsAction;
    // Help
    QAction* keyboardControlsHelpAction;
    QAction* aboutAction;

    // The items of an Open Recent submenu, as they are now: one per recent file, then a divider
    // and "Clear Menu" (only "Clear Menu", disabled, without recent files).
    void fillRecentMenu(QMenu* menu);
    // None before Settings… was first chosen.
    SettingsWindowController* settingsWindowController() const { return m_settingsWindowController; }
    // The About box while it is open.
    QMessageBox* aboutBox() const { return m_aboutBox; }

private:
    QAction* makeAction(const QString& title, const QKeySequence& key);
    QAction* makeAction(TaskAction action);
    SessionController* activeSession() const;
    TaskActions* activeTaskActions() const;
    bool isTextEditingActive() const;
    // Offers the standard editing slot to the focused text field; false when nothing took it.
    static bool forwardToFocusedEditor(const char* slot);
    void closeKeyWindow();
    void showSettings();
    void readClipboardFromNowOn();

    QPointer<AppController> m_app;
    DialogPresenter& m_dialogs;
    QList<QPointer<QMenu>> m_recentMenus;
    QList<QPointer<QMenuBar>> m_menuBars;
    QPointer<SettingsWindowController> m_settingsWindowController;
    QPointer<QMessageBox> m_aboutBox;
    // Asking the clipboard what it holds makes Qt load its image plugins, which a launch leaves
    // until its first frame is drawn or a menu opens. Until then Paste is left to the command,
    // which reads the clipboard itself.
    bool m_readsClipboard = false;
};
