#include "windows/SettingsWindowController.h"

#include "platform/gui/ScreenFit.h"
#include "windows/SettingsWindow.h"

SettingsWindowController::SettingsWindowController(DialogPresenter& dialogs, QObject* parent)
    : QObject(parent), m_dialogs(dialogs)
{ }

SettingsWindowController::~SettingsWindowController()
{
    delete m_window;
}

void SettingsWindowController::show()
{
    if (!m_window) {
        m_window = new SettingsWindow(m_dialogs);
        m_windowKeys.install(m_window);
        ScreenFit::centre(m_window, ScreenFit::screenForNewWindow());
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void SettingsWindowController::hide()
{
    if (m_window)
        m_window->hide();
}

bool SettingsWindowController::isVisible() const
{
    return m_window && m_window->isVisible();
}
