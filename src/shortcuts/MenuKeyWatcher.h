#pragma once

#include <QObject>
#include <QSet>

#include <memory>

class HotKeyCenter;

// Tells the hot key center when a menu of the application opens and closes, and while one is open
// hands the menu's key events to the center, swallowing those it uses. A menu grabs the keyboard,
// so the system-wide grabs would never see those keys.
class MenuKeyWatcher : public QObject {
    Q_OBJECT

public:
    // Nothing to watch without a widget application.
    static std::unique_ptr<MenuKeyWatcher> create(HotKeyCenter& center);
    ~MenuKeyWatcher() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit MenuKeyWatcher(HotKeyCenter& center);
    void menuDestroyed(QObject* menu);
    void updateMenuOpen();

    HotKeyCenter& m_center;
    QSet<QObject*> m_openMenus;
};
