#pragma once

#include <QLoggingCategory>

// Global shortcuts that could not be taken or were lost: the hot key then has no keys.
Q_DECLARE_LOGGING_CATEGORY(lcHotKeys)
// The desktop portal's side of it, on Wayland.
Q_DECLARE_LOGGING_CATEGORY(lcPortal)
