#pragma once

#include <QObject>
#include <QSet>

#include <memory>
#include <vector>

class HotKeyCenter;
class QKeyEvent;
class QWidget;

// Tells the hot key center when a menu of the application opens and closes, and while one is open
// hands the menu's key events to the center, swallowing those it uses. A menu grabs the keyboard,
// so the system-wide grabs would never see those keys.
//
// A menu closes as soon as Alt goes down, before the rest of a combination like Ctrl+Alt+Space
// arrives. So while a menu is open, presses of modifiers that a hot key uses are held back and
// reach the menu only once it is clear that no hot key follows: when the modifier is released or
// another key is pressed.
class MenuKeyWatcher : public QObject {
    Q_OBJECT

public:
    // Nothing to watch without a widget application.
    static std::unique_ptr<MenuKeyWatcher> create(HotKeyCenter& center);
    ~MenuKeyWatcher() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit MenuKeyWatcher(HotKeyCenter& center);
    void menuShownOrHidden(QWidget* menu, bool shown);
    void menuDestroyed(QObject* menu);
    void updateMenuOpen();
    bool menuKeyEvent(QWidget* menu, QKeyEvent* event);
    bool isHeldBack(int key) const;
    void deliverHeldBack(QWidget* menu);

    HotKeyCenter& m_center;
    QSet<QObject*> m_openMenus;
    std::vector<std::unique_ptr<QKeyEvent>> m_heldBack;
    bool m_delivering = false;
};
