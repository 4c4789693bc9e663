#pragma once

#include "shortcuts/HotKey.h"
#include "shortcuts/HotKeyBackend.h"

#include <QPair>
#include <QSet>

#include <map>

// Stands in for the window system in tests of the center and the module: accepts every combination
// except those marked refused, and lets the test press and release what is registered.
class FakeHotKeyBackend : public HotKeyBackend {
public:
    struct Registration {
        int keyCode;
        int modifiers;
        quint32 id;
    };

    std::map<Handle, Registration> registrations;
    QSet<QPair<int, int>> refused;
    bool eventsEnabled = false;

    std::optional<Handle> registerHotKey(const HotKey& hotKey) override
    {
        if (refused.contains({hotKey.carbonKeyCode, hotKey.carbonModifiers}))
            return std::nullopt;
        registrations[m_next] = {hotKey.carbonKeyCode, hotKey.carbonModifiers, hotKey.id};
        return m_next++;
    }
    void unregisterHotKey(Handle handle) override { registrations.erase(handle); }
    bool installEventHandler() override { return true; }
    void setHotKeyEventsEnabled(bool enabled) override { eventsEnabled = enabled; }

    std::optional<std::pair<Handle, Registration>> find(int keyCode, int modifiers) const
    {
        for (const auto& [handle, registration] : registrations) {
            if (registration.keyCode == keyCode && registration.modifiers == modifiers)
                return std::make_pair(handle, registration);
        }
        return std::nullopt;
    }
    bool isRegistered(int keyCode, int modifiers) const { return find(keyCode, modifiers).has_value(); }

    // What the window system reports for a registered combination; false when nothing holds it.
    bool press(int keyCode, int modifiers, bool pressed)
    {
        const auto found = find(keyCode, modifiers);
        if (!found || !eventsEnabled)
            return false;
        Q_EMIT hotKeyEvent(found->second.id, pressed);
        return true;
    }

private:
    Handle m_next = 1;
};
