#pragma once

#include "windows/WindowKeys.h"

#include <QObject>
#include <QPointer>

class DialogPresenter;
class SettingsWindow;

// Owns the settings window: built on the first show and then kept; closing it only hides it.
class SettingsWindowController : public QObject {
    Q_OBJECT

public:
    // dialogs answers the window's alerts and must outlive the controller.
    explicit SettingsWindowController(DialogPresenter& dialogs, QObject* parent = nullptr);
    ~SettingsWindowController() override;

    // Builds the window if needed and brings it to the front, active; the first time centred on
    // the screen.
    void show();
    void hide();
    bool isVisible() const;

    // None before the first show.
    SettingsWindow* window() const { return m_window; }

    // An application command (Quit) that works in the window, which has no menu bar.
    void addApplicationAction(QAction* action) { m_windowKeys.addApplicationAction(action); }

private:
    DialogPresenter& m_dialogs;
    QPointer<SettingsWindow> m_window;
    WindowKeys m_windowKeys;
};
