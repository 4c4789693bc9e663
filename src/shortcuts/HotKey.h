#pragma once

#include "shortcuts/HotKeyBackend.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

class HotKeyCenter;

// One system-wide key combination handed to the HotKeyCenter. Destroying it releases the
// registration, so it must not outlive its center (the shared one lives for the whole run).
class HotKey {
public:
    // Takes the next id of center (1 for the first hot key of the process).
    HotKey(HotKeyCenter& center, int carbonKeyCode, int carbonModifiers, std::function<void()> onKeyDown,
        std::function<void()> onKeyUp);
    ~HotKey();

    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    const int carbonKeyCode;
    const int carbonModifiers;
    std::function<void()> onKeyDown;
    std::function<void()> onKeyUp;
    // Run when registering again later (after a menu closed, after re-enabling, after the keyboard
    // changed) is refused; the hot key is then no longer registered.
    std::function<void()> onRegistrationFailed;
    const quint32 id;
    // How a desktop that lets the user choose the keys (the desktop portal) knows the hot key: the
    // name of its slot, and what it does in words.
    QString shortcutId;
    QString description;
    // The registration while registered.
    std::optional<HotKeyBackend::Handle> eventHotKeyRef;

private:
    HotKeyCenter& m_center;
};
