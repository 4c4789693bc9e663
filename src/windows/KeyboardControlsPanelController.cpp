#include "windows/KeyboardControlsPanelController.h"

#include "platform/gui/ScreenFit.h"
#include "shortcuts/GlobalShortcuts.h"
#include "windows/AppIcon.h"
#include "windows/KeyboardControlsPanel.h"
#include "windows/KeyboardControlsView.h"

KeyboardControlsPanelController::KeyboardControlsPanelController(
    GlobalShortcuts::Name globalShortcutName, QObject* parent)
    : QObject(parent), m_globalShortcutName(std::move(globalShortcutName))
{ }

KeyboardControlsPanelController::~KeyboardControlsPanelController()
{
    delete m_panel;
}

QString KeyboardControlsPanelController::globalHotKeyDisplayName() const
{
    // Where the desktop chooses the keys, the stored shortcut was only proposed to it.
    if (GlobalShortcuts::areKeysChosenByDesktop()) {
        const QString trigger = GlobalShortcuts::desktopTrigger(m_globalShortcutName);
        return trigger.isEmpty() ? tr("Not set") : trigger;
    }
    const std::optional<Shortcut> shortcut = GlobalShortcuts::getShortcut(m_globalShortcutName);
    return shortcut ? shortcut->description() : tr("Not set");
}

KeyboardControlsPanel* KeyboardControlsPanelController::makePanel()
{
    auto* panel = new KeyboardControlsPanel;
    panel->setObjectName(QStringLiteral("keyboardControlsPanel"));
    panel->setWindowTitle(tr("Keyboard Controls"));
    panel->setWindowIcon(AppIcon::icon());
    panel->setAttribute(Qt::WA_DeleteOnClose, false);
    panel->setAttribute(Qt::WA_QuitOnClose, false);
    const QPointer<KeyboardControlsPanelController> self(this);
    panel->onToggleKeyboardControls = [self] {
        if (self)
            self->toggle();
    };
    panel->setContent(new KeyboardControlsView(globalHotKeyDisplayName()));
    m_windowKeys.install(panel);
    // A utility window of one size: window managers offer neither resizing nor maximising it. On a
    // screen too small for that size the reference scrolls.
    QScreen* screen = ScreenFit::screenForNewWindow();
    panel->setFixedSize(QSize(KeyboardControlsView::width, KeyboardControlsView::height)
                            .boundedTo(ScreenFit::availableContentSize(panel, screen)));
    ScreenFit::centre(panel, screen);
    return panel;
}

void KeyboardControlsPanelController::show()
{
    if (!m_panel)
        m_panel = makePanel();
    else
        m_panel->setContent(new KeyboardControlsView(globalHotKeyDisplayName()));
    m_panel->show();
    m_panel->raise();
    m_panel->activateWindow();
}

void KeyboardControlsPanelController::toggle()
{
    if (isVisible())
        hide();
    else
        show();
}

void KeyboardControlsPanelController::hide()
{
    if (m_panel)
        m_panel->hide();
}

KeyboardControlsView* KeyboardControlsPanelController::view() const
{
    return m_panel ? qobject_cast<KeyboardControlsView*>(m_panel->content()) : nullptr;
}

bool KeyboardControlsPanelController::isVisible() const
{
    return m_panel && m_panel->isVisible();
}
