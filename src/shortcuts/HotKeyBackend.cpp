#include "HotKeyBackend.h"

#include "KeyMap.h"
#include "X11HotKeyBackend.h"

#include <QKeyEvent>

namespace {

// Wayland and the offscreen platform offer no system-wide keys to grab.
class UnavailableHotKeyBackend : public HotKeyBackend {
public:
    std::optional<Handle> registerHotKey(int, int, quint32) override { return std::nullopt; }
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

std::unique_ptr<HotKeyBackend> HotKeyBackend::createDefault()
{
    if (auto x11 = X11HotKeyBackend::create())
        return x11;
    return std::make_unique<UnavailableHotKeyBackend>();
}
