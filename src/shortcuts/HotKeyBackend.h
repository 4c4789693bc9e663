#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>

class HotKey;
class QDBusConnection;
class QKeyEvent;

// The window system's side of the hot keys: system-wide registration of key combinations and the
// delivery of their presses and releases. The X11 backend grabs keys on the root window; on Wayland
// the desktop portal binds them for us; without either every registration is refused.
class HotKeyBackend : public QObject {
    Q_OBJECT

public:
    using Handle = quint64;

    virtual ~HotKeyBackend();

    // Registers the hot key's combination (stored key code and modifier mask) under its id; none when
    // the window system refuses it (for example because another program holds it).
    virtual std::optional<Handle> registerHotKey(const HotKey& hotKey) = 0;
    virtual void unregisterHotKey(Handle handle) = 0;
    // Starts delivering presses and releases as hotKeyEvent; false when it cannot.
    virtual bool installEventHandler() = 0;
    // Presses and releases are delivered only while enabled.
    virtual void setHotKeyEventsEnabled(bool enabled) = 0;
    // False where the window system offers no system-wide keys at all (Wayland, no display), so
    // that a refused registration there says nothing about other programs.
    virtual bool isAvailable() const { return true; }
    // The stored key code of a key event of one of the application's windows, or none.
    virtual std::optional<int> keyCodeForKeyEvent(const QKeyEvent& event) const;

    // True where the desktop, not the application, decides which keys trigger a hot key (the desktop
    // portal): the stored shortcut is only a wish, and the desktop has its own dialog to change it.
    virtual bool isChosenByDesktop() const { return false; }
    // The desktop's text for the keys that trigger the hot key with this shortcut id; empty while it
    // has assigned none.
    virtual QString desktopTrigger(const QString& shortcutId) const;
    // Asks the desktop to let the user choose the keys, in its own dialog.
    virtual void chooseKeysOnDesktop() { }

    // The backend for this session: on Wayland the desktop portal of the session bus when it offers
    // global shortcuts, otherwise X11 when connected to an X server, otherwise one that refuses.
    static std::unique_ptr<HotKeyBackend> createDefault();
    // The same choice with the desktop portal looked up on bus.
    static std::unique_ptr<HotKeyBackend> createForSession(const QDBusConnection& bus);
    // Whether the desktop session is Wayland: Qt's platform is wayland, or WAYLAND_DISPLAY is set and
    // any X server is only XWayland, whose key grabs see only the keys of X programs.
    static bool isWaylandSession();

Q_SIGNALS:
    // (hot key id, true for a press and false for a release). Holding the keys gives one press.
    void hotKeyEvent(quint32 id, bool pressed);
    // A registration that the window system took away (the keyboard changed and the keys could
    // not be grabbed again).
    void registrationLost(HotKeyBackend::Handle handle);
    // The desktop reported other keys for some hot keys.
    void desktopTriggersChanged();
};
