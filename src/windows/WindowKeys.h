#pragma once

#include <QAction>
#include <QList>
#include <QPointer>

class QWidget;

// The keys of the small windows, which carry no menu bar: Escape and the desktop's Close keys
// (Ctrl+W) close the window as its close button does, and the application's own commands that
// must work everywhere (Quit) are added to the window.
class WindowKeys {
public:
    // Adds an application command to every window given to install, before or after.
    void addApplicationAction(QAction* action);
    void install(QWidget* window);

private:
    QList<QPointer<QAction>> m_applicationActions;
    QList<QPointer<QWidget>> m_windows;
};
