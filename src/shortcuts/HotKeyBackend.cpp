#include "shortcuts/HotKeyBackend.h"

#include "shortcuts/KeyMap.h"
#include "shortcuts/PortalHotKeyBackend.h"
#include "shortcuts/X11HotKeyBackend.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QKeyEvent>

namespace {

// Wayland and the offscreen platform offer no system-wide keys to grab.
class UnavailableHotKeyBackend : public HotKeyBackend {
public:
    std::optional<Handle> registerHotKey(const HotKey&) override { return std::nullopt; }
    void unregisterHotKey(Handle) override { }
    bool installEventHandler() override { return false; }
    void setHotKeyEventsEnabled(bool) override { }
    bool isAvailable() const override { return false; }
};

} // namespace

HotKeyBackend::~HotKeyBackend() = default;

std::optional<int> HotKeyBackend::keyCodeForKeyEvent(const QKeyEvent& event) const
{
    if (const KeyMap::Entry* entry = KeyMap::forQtKey(event.key(), event.modifiers() & Qt::KeypadModifier))
        return entry->keyCode;
    return std::nullopt;
}

QString HotKeyBackend::desktopTrigger(const QString&) const
{
    return QString();
}

std::unique_ptr<HotKeyBackend> HotKeyBackend::createDefault()
{
    // Only the portal needs the session bus: an X11 session does not wait for connecting to it.
    if (isWaylandSession())
        return createForSession(QDBusConnection::sessionBus());
    if (auto x11 = X11HotKeyBackend::create())
        return x11;
    return std::make_unique<UnavailableHotKeyBackend>();
}

std::unique_ptr<HotKeyBackend> HotKeyBackend::createForSession(const QDBusConnection& bus)
{
    if (isWaylandSession()) {
        if (auto portal = PortalHotKeyBackend::create(bus))
            return portal;
    }
    if (auto x11 = X11HotKeyBackend::create())
        return x11;
    return std::make_unique<UnavailableHotKeyBackend>();
}

bool HotKeyBackend::isWaylandSession()
{
    return QGuiApplication::platformName() == QLatin1String("wayland")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
