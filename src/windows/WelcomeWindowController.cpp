#include "WelcomeWindowController.h"

#include "AppIcon.h"
#include "WelcomeView.h"

#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QScreen>

WelcomeWindowController::WelcomeWindowController(
    std::function<void()> onNewFile, std::function<void()> onOpenFile, QObject* parent)
    : QObject(parent), m_onNewFile(std::move(onNewFile)), m_onOpenFile(std::move(onOpenFile))
{ }

WelcomeWindowController::~WelcomeWindowController()
{
    delete m_window;
}

QMainWindow* WelcomeWindowController::makeWindow()
{
    auto* window = new QMainWindow(
        nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setObjectName(QStringLiteral("welcomeWindow"));
    window->setWindowTitle(tr("Welcome to Vesk"));
    window->setWindowIcon(AppIcon::icon());
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setAttribute(Qt::WA_QuitOnClose, false);
    // The content is fixed at 490 × 610; the window follows it, with room for a menu bar if one is
    // added, and cannot be resized.
    window->layout()->setSizeConstraint(QLayout::SetFixedSize);
    window->setCentralWidget(new WelcomeView(m_onNewFile, m_onOpenFile));
    if (onWindowBuilt)
        onWindowBuilt(window);
    window->adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    return window;
}

void WelcomeWindowController::show()
{
    if (!m_window)
        m_window = makeWindow();
    else
        m_window->setCentralWidget(new WelcomeView(m_onNewFile, m_onOpenFile));
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void WelcomeWindowController::toggle()
{
    if (isVisible())
        hide();
    else
        show();
}

void WelcomeWindowController::hide()
{
    if (m_window)
        m_window->hide();
}

WelcomeView* WelcomeWindowController::view() const
{
    return m_window ? qobject_cast<WelcomeView*>(m_window->centralWidget()) : nullptr;
}

bool WelcomeWindowController::isVisible() const
{
    return m_window && m_window->isVisible();
}
