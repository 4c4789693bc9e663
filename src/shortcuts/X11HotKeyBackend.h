#pragma once

#include "shortcuts/HotKeyBackend.h"
#include "shortcuts/X11Keyboard.h"

#include <QObject>

#include <xcb/xcb.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

// Hot keys on X11: passive key grabs on the root window, one for every combination of CapsLock and
// NumLock with the wanted modifiers.
//
// The grabs live on a connection of their own. Detectable auto-repeat (so that holding the keys
// gives one press and one release) is a setting of the whole connection, and Qt tells held keys
// from fresh presses by the release that X sends between repeats without it, so turning it on for
// Qt's connection would make every repeat in the application's windows look like a new press.
class X11HotKeyBackend : public HotKeyBackend {
    Q_OBJECT

public:
    // None unless the application runs on an X server.
    static std::unique_ptr<X11HotKeyBackend> create();
    ~X11HotKeyBackend() override;

    std::optional<Handle> registerHotKey(const HotKey& hotKey) override;
    void unregisterHotKey(Handle handle) override;
    bool installEventHandler() override;
    void setHotKeyEventsEnabled(bool enabled) override;
    std::optional<int> keyCodeForKeyEvent(const QKeyEvent& event) const override;

    // Whether the X server agreed to leave out the releases between repeats of a held key.
    bool hasDetectableAutoRepeat() const { return m_detectableAutoRepeat; }
    // Presses of a held hot key that were recognised as repeats and not passed on.
    int ignoredRepeatCount() const { return m_ignoredRepeatCount; }
    // Presses and releases of grabbed combinations that arrived, whether passed on or not.
    int receivedKeyEventCount() const { return m_receivedKeyEventCount; }

Q_SIGNALS:
    // The keyboard or its layout changed and the grabs were moved to the keys that now type them.
    void keyboardMappingChanged();

private:
    struct Grab {
        int keyCode;
        int modifiers;
        quint32 id;
        uint16_t mask;
        std::vector<xcb_keycode_t> keycodes;
        // The lock modifiers combined with mask (they depend on where NumLock is mapped).
        std::vector<uint16_t> variants;
    };
    struct PressedKey {
        xcb_keycode_t keycode;
        Handle handle;
    };

    X11HotKeyBackend(xcb_connection_t* connection, xcb_window_t root);
    void setUpKeyboardExtension();
    // Grabs every variant of the combination; on any refusal lets go of all of them.
    bool grab(Grab& grab);
    void ungrab(const Grab& grab);
    std::vector<uint16_t> lockVariants() const;
    void readEvents();
    void handleEvent(const xcb_generic_event_t* event);
    void keyboardChanged();
    void takeUpChangedKeyboard();
    void scheduleRead();

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    std::unique_ptr<X11Keyboard> m_keyboard;
    QSocketNotifier* m_notifier = nullptr;
    std::map<Handle, Grab> m_grabs;
    Handle m_nextHandle = 1;
    bool m_eventsEnabled = false;
    bool m_detectableAutoRepeat = false;
    bool m_hasKeyboardExtension = false;
    uint8_t m_keyboardExtensionEvent = 0;
    bool m_keyboardChangePending = false;
    std::optional<PressedKey> m_pressed;
    int m_ignoredRepeatCount = 0;
    int m_receivedKeyEventCount = 0;
};
