#pragma once

#include "shortcuts/Name.h"

#include <QObject>

namespace GlobalShortcuts {

// Announces changes of the stored shortcuts to the whole process.
class Notifier : public QObject {
    Q_OBJECT

public:
    static constexpr const char* shortcutByNameDidChangeName = "GlobalShortcuts_shortcutByNameDidChange";
    static constexpr const char* recorderActiveStatusDidChangeName
        = "GlobalShortcuts_recorderActiveStatusDidChange";

    static Notifier& shared();

Q_SIGNALS:
    // "GlobalShortcuts_shortcutByNameDidChange": the shortcut of name was set or cleared.
    void shortcutByNameDidChange(const GlobalShortcuts::Name& name);
    // "GlobalShortcuts_recorderActiveStatusDidChange": a shortcut recorder started (isActive true)
    // or stopped recording.
    void recorderActiveStatusDidChange(bool isActive);
    // A hot key could not be registered, or lost its registration.
    void registrationDidChange();
    // The desktop, which chooses the keys where the desktop portal binds them, reported other keys.
    void desktopTriggersDidChange();

private:
    Notifier() = default;
};

} // namespace GlobalShortcuts
