#pragma once

#include "shortcuts/HotKeyBackend.h"

#include <QtGlobal>

#include <map>
#include <memory>

class HotKey;
class MenuKeyWatcher;

// The single owner of the system-wide hot key registrations. In normal mode the hot keys are
// registered with the window system; while a menu of the application is open they are released and
// the same combinations are matched on the menu's own key events instead; while disabled nothing is
// registered or matched.
class HotKeyCenter {
public:
    enum class Mode { disabled, normal, menuOpen };

    // Created on first use with the backend of the session (or the one given to useBackend).
    static HotKeyCenter& shared();
    // Chooses the backend of the shared center; only before its first use.
    static void useBackend(std::unique_ptr<HotKeyBackend> backend);

    explicit HotKeyCenter(std::unique_ptr<HotKeyBackend> backend);
    ~HotKeyCenter();

    // Registers hotKey with the window system; false when refused, and then nothing changes.
    bool registerHotKey(const std::shared_ptr<HotKey>& hotKey);

    bool isEnabled() const { return m_isEnabled; }
    void setEnabled(bool enabled);
    bool isMenuOpen() const { return m_isMenuOpen; }
    void setMenuOpen(bool open);
    Mode mode() const { return m_mode; }
    bool isHotKeyEventHandlingEnabled() const { return m_isHotKeyEventHandlingEnabled; }
    bool isRawKeyEventHandlingEnabled() const { return m_isRawKeyEventHandlingEnabled; }

    // A key event of the application while a menu is open, as stored key code and modifier mask.
    // Runs the matching hot key's action and answers whether the event was used (and must go no
    // further). A held key's repeats are used without running anything; the release of a matched
    // key runs its key-up whatever modifiers are still held.
    bool handleRawKeyEvent(int keyCode, int modifiers, bool pressed, bool isAutoRepeat);

    // The modifiers of all live hot keys together (hot key encoding).
    int modifiersInUse() const;

    HotKeyBackend& backend() { return *m_backend; }
    quint32 lastHotKeyId() const { return m_lastHotKeyId; }

private:
    friend class HotKey;
    quint32 nextHotKeyId() { return ++m_lastHotKeyId; }
    void hotKeyDestroyed(HotKey& hotKey);

    void updateMode();
    void applyMode();
    void handleHotKeyEvent(quint32 id, bool pressed);
    void handleRegistrationLost(HotKeyBackend::Handle handle);
    std::shared_ptr<HotKey> liveHotKey(quint32 id) const;

    std::unique_ptr<HotKeyBackend> m_backend;
    quint32 m_lastHotKeyId = 0;
    std::map<quint32, std::weak_ptr<HotKey>> m_hotKeys;
    bool m_eventHandlerInstalled = false;
    bool m_isEnabled = true;
    bool m_isMenuOpen = false;
    bool m_isHotKeyEventHandlingEnabled = false;
    bool m_isRawKeyEventHandlingEnabled = false;
    Mode m_mode = Mode::normal;
    // The hot key whose press was matched on a menu's key events, until its key is released.
    std::optional<int> m_rawPressedKeyCode;
    quint32 m_rawPressedHotKeyId = 0;
    std::unique_ptr<MenuKeyWatcher> m_menuWatcher;
};
