#include "shortcuts/GlobalShortcuts.h"

#include "platform/SettingsStore.h"
#include "shortcuts/HotKeyCenter.h"
#include "shortcuts/Notifier.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace GlobalShortcuts {

namespace {

enum class EventType { keyDown, keyUp };

// Handlers per slot, slots in the order their first handler was added.
using HandlerMap = std::vector<std::pair<Name, std::vector<Action>>>;

struct ModuleState {
    HandlerMap keyDownHandlers;
    HandlerMap keyUpHandlers;
    QHash<Shortcut, std::shared_ptr<HotKey>> registeredShortcuts;
    bool isEnabled = true;
    bool isPaused = false;
};

ModuleState& state()
{
    // Never destroyed: registered hot keys must not be torn down after the application is gone.
    static ModuleState* module = new ModuleState;
    return *module;
}

HandlerMap& handlers(EventType type)
{
    return type == EventType::keyDown ? state().keyDownHandlers : state().keyUpHandlers;
}

bool hasHandlers(const Name& name)
{
    for (const HandlerMap* map : {&state().keyDownHandlers, &state().keyUpHandlers}) {
        for (const auto& [slot, actions] : *map) {
            if (slot == name && !actions.empty())
                return true;
        }
    }
    return false;
}

void dispatch(EventType type, const Shortcut& shortcut)
{
    if (state().isPaused)
        return;
    // Copied: an action may add handlers or change shortcuts.
    const HandlerMap map = handlers(type);
    for (const auto& [name, actions] : map) {
        if (actions.empty() || getShortcut(name) != shortcut)
            continue;
        for (const Action& action : actions)
            action();
    }
}

void registerShortcut(const Shortcut& shortcut, const Name& name)
{
    auto& registered = state().registeredShortcuts;
    if (registered.contains(shortcut))
        return;
    auto hotKey = std::make_shared<HotKey>(
        HotKeyCenter::shared(), shortcut.carbonKeyCode, shortcut.carbonModifiers,
        [shortcut] { dispatch(EventType::keyDown, shortcut); },
        [shortcut] { dispatch(EventType::keyUp, shortcut); });
    hotKey->shortcutId = name.rawValue;
    hotKey->description = name.description.isEmpty() ? name.rawValue : name.description;
    if (!HotKeyCenter::shared().registerHotKey(hotKey)) {
        Q_EMIT Notifier::shared().registrationDidChange();
        return;
    }
    const std::weak_ptr<HotKey> weak = hotKey;
    hotKey->onRegistrationFailed = [shortcut, weak] {
        auto& map = state().registeredShortcuts;
        const auto found = map.constFind(shortcut);
        if (found != map.constEnd() && found.value() == weak.lock()) {
            map.erase(found);
            Q_EMIT Notifier::shared().registrationDidChange();
        }
    };
    registered.insert(shortcut, hotKey);
}

void unregisterShortcut(const Shortcut& shortcut)
{
    // Taken out first so that the hot key is destroyed (and released) after the map is consistent.
    const std::shared_ptr<HotKey> hotKey = state().registeredShortcuts.take(shortcut);
}

void registerShortcutIfNeeded(const Name& name)
{
    if (!hasHandlers(name))
        return;
    const auto shortcut = getShortcut(name);
    if (!shortcut)
        return;
    // The name as the handlers gave it carries the slot's description, which a name made elsewhere
    // for the same slot may lack.
    for (const HandlerMap* map : {&state().keyUpHandlers, &state().keyDownHandlers}) {
        for (const auto& [slot, actions] : *map) {
            if (slot == name && !actions.empty()) {
                registerShortcut(*shortcut, slot);
                return;
            }
        }
    }
}

// Lets go of the slot's current hot key unless another slot with handlers still holds it.
void unregisterCurrentShortcutUnlessShared(const Name& name)
{
    const auto current = getShortcut(name);
    if (!current)
        return;
    for (const HandlerMap* map : {&state().keyDownHandlers, &state().keyUpHandlers}) {
        for (const auto& [other, actions] : *map) {
            if (!(other == name) && !actions.empty() && getShortcut(other) == current)
                return;
        }
    }
    unregisterShortcut(*current);
}

void addHandler(EventType type, const Name& name, Action action)
{
    HandlerMap& map = handlers(type);
    auto slot = std::find_if(map.begin(), map.end(), [&](const auto& entry) { return entry.first == name; });
    if (slot == map.end())
        slot = map.insert(map.end(), {name, {}});
    slot->second.push_back(std::move(action));
    registerShortcutIfNeeded(name);
}

} // namespace

std::optional<Shortcut> getShortcut(const Name& name)
{
    const QVariant stored = SettingsStore::shared().value(name.settingsKey());
    if (stored.typeId() != QMetaType::QString)
        return std::nullopt;
    return Shortcut::fromJson(stored.toString().toUtf8());
}

void setShortcut(const std::optional<Shortcut>& shortcut, const Name& name)
{
    SettingsStore& settings = SettingsStore::shared();
    if (shortcut) {
        unregisterCurrentShortcutUnlessShared(name);
        settings.setValue(name.settingsKey(), QString::fromUtf8(shortcut->toJson()));
    } else if (name.initialShortcut) {
        if (settings.boolValue(name.settingsKey()) == false)
            return;
        unregisterCurrentShortcutUnlessShared(name);
        settings.setValue(name.settingsKey(), false);
    } else {
        unregisterCurrentShortcutUnlessShared(name);
        settings.remove(name.settingsKey());
    }
    registerShortcutIfNeeded(name);
    Q_EMIT Notifier::shared().shortcutByNameDidChange(name);
}

void onKeyDown(const Name& name, Action action)
{
    addHandler(EventType::keyDown, name, std::move(action));
}

void onKeyUp(const Name& name, Action action)
{
    addHandler(EventType::keyUp, name, std::move(action));
}

bool isEnabled()
{
    return state().isEnabled;
}

void setEnabled(bool enabled)
{
    state().isEnabled = enabled;
    HotKeyCenter::shared().setEnabled(enabled);
}

bool isPaused()
{
    return state().isPaused;
}

void setPaused(bool paused)
{
    state().isPaused = paused;
}

bool isTakenByAnotherApplication(const Name& name)
{
    const auto shortcut = getShortcut(name);
    return shortcut && hasHandlers(name) && HotKeyCenter::shared().backend().isAvailable()
        && !state().registeredShortcuts.contains(*shortcut);
}

bool areKeysChosenByDesktop()
{
    return HotKeyCenter::shared().backend().isChosenByDesktop();
}

QString desktopTrigger(const Name& name)
{
    return HotKeyCenter::shared().backend().desktopTrigger(name.rawValue);
}

void chooseKeysOnDesktop()
{
    HotKeyCenter::shared().backend().chooseKeysOnDesktop();
}

const QHash<Shortcut, std::shared_ptr<HotKey>>& registeredShortcuts()
{
    return state().registeredShortcuts;
}

} // namespace GlobalShortcuts
