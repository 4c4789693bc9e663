#include "shortcuts/MenuKeyWatcher.h"

#include "shortcuts/HotKeyCenter.h"
#include "shortcuts/Shortcut.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>

#include <algorithm>

namespace {

// The hot key modifier bit of a modifier key, or 0 for other keys.
int modifierOfKey(int key)
{
    switch (key) {
    case Qt::Key_Control:
        return Shortcut::control;
    case Qt::Key_Alt:
        return Shortcut::option;
    case Qt::Key_Shift:
        return Shortcut::shift;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return Shortcut::command;
    default:
        return 0;
    }
}

} // namespace

std::unique_ptr<MenuKeyWatcher> MenuKeyWatcher::create(HotKeyCenter& center)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;
    return std::unique_ptr<MenuKeyWatcher>(new MenuKeyWatcher(center));
}

MenuKeyWatcher::MenuKeyWatcher(HotKeyCenter& center) : m_center(center)
{
    QCoreApplication::instance()->installEventFilter(this);
}

MenuKeyWatcher::~MenuKeyWatcher()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

bool MenuKeyWatcher::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
        if (auto* menu = qobject_cast<QMenu*>(watched); menu && menu->isWindow())
            menuShownOrHidden(menu, event->type() == QEvent::Show);
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        // Key events also travel to parents; only their delivery to the menu counts.
        if (!m_delivering && m_center.isRawKeyEventHandlingEnabled() && qobject_cast<QMenu*>(watched))
            return menuKeyEvent(static_cast<QWidget*>(watched), static_cast<QKeyEvent*>(event));
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void MenuKeyWatcher::menuShownOrHidden(QWidget* menu, bool shown)
{
    if (!shown) {
        m_openMenus.remove(menu);
    } else if (!m_openMenus.contains(menu)) {
        m_openMenus.insert(menu);
        // A menu deleted while open sends its hide event as a plain widget.
        connect(menu, &QObject::destroyed, this, &MenuKeyWatcher::menuDestroyed, Qt::UniqueConnection);
    }
    updateMenuOpen();
}

void MenuKeyWatcher::menuDestroyed(QObject* menu)
{
    m_openMenus.remove(menu);
    updateMenuOpen();
}

void MenuKeyWatcher::updateMenuOpen()
{
    const bool open = !m_openMenus.isEmpty();
    if (!open)
        m_heldBack.clear();
    if (open != m_center.isMenuOpen())
        m_center.setMenuOpen(open);
}

bool MenuKeyWatcher::menuKeyEvent(QWidget* menu, QKeyEvent* event)
{
    const bool pressed = event->type() == QEvent::KeyPress;
    if (const int modifier = modifierOfKey(event->key())) {
        if (pressed && isHeldBack(event->key()))
            return true;
        if (pressed && (m_center.modifiersInUse() & modifier)) {
            m_heldBack.push_back(std::unique_ptr<QKeyEvent>(static_cast<QKeyEvent*>(event->clone())));
            return true;
        }
        if (!pressed && isHeldBack(event->key()))
            deliverHeldBack(menu);
        return false;
    }

    const auto keyCode = m_center.backend().keyCodeForKeyEvent(*event);
    if (keyCode
        && m_center.handleRawKeyEvent(
            *keyCode, Shortcut::modifiersFromQt(event->modifiers()), pressed, event->isAutoRepeat())) {
        if (pressed)
            m_heldBack.clear();
        return true;
    }
    if (pressed)
        deliverHeldBack(menu);
    return false;
}

bool MenuKeyWatcher::isHeldBack(int key) const
{
    return std::any_of(
        m_heldBack.begin(), m_heldBack.end(), [key](const auto& held) { return held->key() == key; });
}

void MenuKeyWatcher::deliverHeldBack(QWidget* menu)
{
    const auto held = std::move(m_heldBack);
    m_heldBack.clear();
    const QPointer<QWidget> target = menu;
    m_delivering = true;
    for (const auto& press : held) {
        if (!target)
            break;
        QCoreApplication::sendEvent(target, press.get());
    }
    m_delivering = false;
}
