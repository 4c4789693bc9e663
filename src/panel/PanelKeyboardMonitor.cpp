#include "panel/PanelKeyboardMonitor.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWindow>

bool PanelKeyboardMonitor::belongsToOurWindow(QObject* receiver) const
{
    if (!view() || !view()->window() || !view()->isVisible())
        return false;
    auto* widget = qobject_cast<QWidget*>(receiver);
    if (!widget)
        return false;
    // Qt offers an ignored key to each parent in turn; only the first receiver (the focus widget,
    // or the window itself when nothing has the focus) counts, so each key is decided once.
    // Popups (menus, completers) are windows of their own and are not ours.
    QWidget* window = view()->window();
    QWidget* focus = window->focusWidget();
    QWidget* first = focus && focus->window() == window ? focus : window;
    return widget == first;
}

bool PanelKeyboardMonitor::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return false;
    if (!onKeyDown || !belongsToOurWindow(watched))
        return false;
    auto* key = static_cast<QKeyEvent*>(event);

    if (type == QEvent::ShortcutOverride) {
        // Decide now, so a handled key is claimed before any menu shortcut can take it.
        m_decidedKey = key->key();
        m_decidedModifiers = key->modifiers();
        m_decidedHandled = onKeyDown(key);
        if (m_decidedHandled)
            key->accept();
        return false;
    }

    if (m_decidedKey != 0 && m_decidedKey == key->key() && m_decidedModifiers == key->modifiers()) {
        m_decidedKey = 0;
        return m_decidedHandled;
    }
    m_decidedKey = 0;
    return onKeyDown(key);
}
