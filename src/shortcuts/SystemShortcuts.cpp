#include "shortcuts/SystemShortcuts.h"

#include <algorithm>

namespace {

// Stored key codes (see KeyMap).
constexpr int tab = 48, space = 49, grave = 50, backspace = 51, deleteForward = 117;
constexpr int d = 2, t = 17, l = 37;
constexpr int left = 123, right = 124, down = 125, up = 126;
constexpr int f1 = 122, f2 = 120, f3 = 99, f4 = 118, f5 = 96, f6 = 97, f7 = 98, f8 = 100, f9 = 101, f10 = 109,
              f11 = 103, f12 = 111;

constexpr int ctrl = Shortcut::control, alt = Shortcut::option, shift = Shortcut::shift,
              super = Shortcut::command;

std::vector<Shortcut> makeList()
{
    std::vector<Shortcut> list {
        // Switching windows and applications.
        {tab, alt},
        {tab, alt | shift},
        {grave, alt},
        {tab, super},
        {tab, super | shift},
        {tab, ctrl | alt},
        // Window management.
        {f4, alt},
        {f7, alt},
        {f8, alt},
        {f10, alt},
        {space, alt},
        {left, super},
        {right, super},
        {up, super},
        {down, super},
        {d, super},
        // Run a command, the application menu, a terminal.
        {f1, alt},
        {f2, alt},
        {t, ctrl | alt},
        // Input sources.
        {space, super},
        // Workspaces.
        {left, ctrl | alt},
        {right, ctrl | alt},
        {up, ctrl | alt},
        {down, ctrl | alt},
        // Locking the screen, logging out, ending the X session.
        {l, super},
        {l, ctrl | alt},
        {deleteForward, ctrl | alt},
        {backspace, ctrl | alt},
    };
    // Switching to a virtual terminal.
    for (const int f : {f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12})
        list.emplace_back(f, ctrl | alt);
    return list;
}

} // namespace

namespace SystemShortcuts {

const std::vector<Shortcut>& all()
{
    static const std::vector<Shortcut> list = makeList();
    return list;
}

bool contains(const Shortcut& shortcut)
{
    const auto& list = all();
    return std::find(list.begin(), list.end(), shortcut) != list.end();
}

} // namespace SystemShortcuts
