#pragma once

#include <QString>

#include <functional>

// One entry of a task row's context menu: a command, or a divider when the title is empty.
struct ContextMenuItem {
    QString title;
    bool enabled = false;
    std::function<void()> action;

    bool isDivider() const { return title.isEmpty(); }
};
