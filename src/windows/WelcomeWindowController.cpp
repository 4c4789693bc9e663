#include "windows/WelcomeWindowController.h"

#include "platform/gui/ScreenFit.h"
#include "windows/AppIcon.h"
#include "windows/WelcomeView.h"

#include <QLayout>
#include <QMainWindow>

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
    window->setCentralWidget(makeView());
    emit windowBuilt(window);
    window->adjustSize();
    // On a screen too small for it (a laptop at a large scale factor) the content gives up its
    // empty margins, never its texts and buttons.
    QScreen* screen = ScreenFit::screenForNewWindow();
    WelcomeView* view = qobject_cast<WelcomeView*>(window->centralWidget());
    const QSize bars = window->size() - view->size();
    const QSize room = ScreenFit::availableContentSize(window, screen) - bars;
    const QSize fitted = view->size().boundedTo(room).expandedTo(view->minimumSizeHint());
    if (fitted != view->size()) {
        m_fittedViewSize = fitted;
        view->setFixedSize(fitted);
        window->adjustSize();
    }
    ScreenFit::centre(window, screen);
    return window;
}

WelcomeView* WelcomeWindowController::makeView()
{
    auto* view = new WelcomeView;
    // The actions stay here: each show gives the window a new view.
    connect(view, &WelcomeView::newFileRequested, this, [this] {
        if (m_onNewFile)
            m_onNewFile();
    });
    connect(view, &WelcomeView::openFileRequested, this, [this] {
        if (m_onOpenFile)
            m_onOpenFile();
    });
    if (m_fittedViewSize.isValid())
        view->setFixedSize(m_fittedViewSize);
    return view;
}

void WelcomeWindowController::show()
{
    if (!m_window)
        m_window = makeWindow();
    else
        m_window->setCentralWidget(makeView());
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
