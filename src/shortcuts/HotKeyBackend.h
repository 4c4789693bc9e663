#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

class QKeyEvent;

// The window system's side of the hot keys: system-wide registration of key combinations and the
// delivery of their presses and releases. The X11 backend grabs keys on the root window; without
// a display every registration is refused.
class HotKeyBackend {
public:
    using Handle = quint64;

    virtual ~HotKeyBackend();

    // Registers the combination (stored key code and modifier mask) for hot key id; none when the
    // window system refuses it (for example because another program holds it).
    virtual std::optional<Handle> registerHotKey(int keyCode, int modifiers, quint32 id) = 0;
    virtual void unregisterHotKey(Handle handle) = 0;
    // Starts delivering presses and releases to onHotKeyEvent; false when it cannot.
    virtual bool installEventHandler() = 0;
    // Presses and releases are delivered only while enabled.
    virtual void setHotKeyEventsEnabled(bool enabled) = 0;
    // False where the window system offers no system-wide keys at all (Wayland, no display), so
    // that a refused registration there says nothing about other programs.
    virtual bool isAvailable() const { return true; }
    // The stored key code of a key event of one of the application's windows, or none.
    virtual std::optional<int> keyCodeForKeyEvent(const QKeyEvent& event) const;

    // (hot key id, true for a press and false for a release). Holding the keys gives one press.
    std::function<void(quint32 id, bool pressed)> onHotKeyEvent;
    // A registration that the window system took away (the keyboard changed and the keys could
    // not be grabbed again).
    std::function<void(Handle handle)> onRegistrationLost;

    // The backend for this session: X11 when connected to an X server, otherwise one that refuses.
    static std::unique_ptr<HotKeyBackend> createDefault();
};
