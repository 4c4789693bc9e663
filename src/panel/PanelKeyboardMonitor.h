#pragma once

#include "panel/ApplicationEventMonitor.h"

#include <functional>

class QKeyEvent;

// Hands every key press addressed to its view's window to onKeyDown before normal dispatch; a
// press the callback handles is swallowed, so neither the focused editor nor a menu shortcut sees
// it. Keys typed into other windows are left alone.
class PanelKeyboardMonitor : public ApplicationEventMonitor {
    Q_OBJECT

public:
    using ApplicationEventMonitor::ApplicationEventMonitor;

    std::function<bool(QKeyEvent*)> onKeyDown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool belongsToOurWindow(QObject* receiver) const;

    // A key decided while Qt asked whether it overrides shortcuts; its press follows at once.
    int m_decidedKey = 0;
    Qt::KeyboardModifiers m_decidedModifiers;
    bool m_decidedHandled = false;
};
