#pragma once

// What the shortcut recorder does when a candidate shortcut collides with something.
enum class ConflictBehavior {
    // Tell the user and refuse the shortcut.
    block,
    // Tell the user and let them use it anyway.
    warn,
    // Use it without a word.
    allow,
};

// One behaviour per kind of conflict.
struct ConflictPolicy {
    // The shortcut of an item of the application's menus.
    ConflictBehavior menuItem = ConflictBehavior::block;
    // A combination the desktop itself commonly takes.
    ConflictBehavior systemShortcut = ConflictBehavior::warn;
    // A combination the platform does not let the application have. No Linux desktop restricts
    // hot keys this way, so nothing is disallowed today.
    ConflictBehavior disallowed = ConflictBehavior::block;

    friend bool operator==(const ConflictPolicy&, const ConflictPolicy&) = default;
};
