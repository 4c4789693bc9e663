#pragma once

#include "shortcuts/Name.h"
#include "shortcuts/Shortcut.h"

#include <functional>
#include <optional>
#include <variant>

// Where a recorder's shortcut lives: the settings of a named slot, or a value its owner keeps and
// hands over through a getter and a setter.
struct ShortcutBinding {
    std::function<std::optional<Shortcut>()> get;
    std::function<void(const std::optional<Shortcut>&)> set;
};

using ShortcutSource = std::variant<GlobalShortcuts::Name, ShortcutBinding>;
