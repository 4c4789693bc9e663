#include "MenuKeyWatcher.h"

#include "HotKeyCenter.h"
#include "Shortcut.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>

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
    case QEvent::Hide: {
        auto* menu = qobject_cast<QMenu*>(watched);
        if (!menu || !menu->isWindow())
            break;
        if (event->type() == QEvent::Hide) {
            m_openMenus.remove(menu);
        } else if (!m_openMenus.contains(menu)) {
            m_openMenus.insert(menu);
            // A menu deleted while open sends its hide event as a plain widget.
            connect(menu, &QObject::destroyed, this, &MenuKeyWatcher::menuDestroyed, Qt::UniqueConnection);
        }
        updateMenuOpen();
        break;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        // Key events also travel to parents; only their delivery to the menu counts.
        if (!m_center.isRawKeyEventHandlingEnabled() || !qobject_cast<QMenu*>(watched))
            break;
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        const auto keyCode = m_center.backend().keyCodeForKeyEvent(*keyEvent);
        if (!keyCode)
            break;
        return m_center.handleRawKeyEvent(*keyCode, Shortcut::modifiersFromQt(keyEvent->modifiers()),
            event->type() == QEvent::KeyPress, keyEvent->isAutoRepeat());
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void MenuKeyWatcher::menuDestroyed(QObject* menu)
{
    m_openMenus.remove(menu);
    updateMenuOpen();
}

void MenuKeyWatcher::updateMenuOpen()
{
    const bool open = !m_openMenus.isEmpty();
    if (open != m_center.isMenuOpen())
        m_center.setMenuOpen(open);
}
