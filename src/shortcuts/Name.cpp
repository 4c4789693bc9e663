#include "shortcuts/Name.h"

#include "platform/SettingsStore.h"
#include "shortcuts/HotKeyCenter.h"
#include "shortcuts/Key.h"

#include <QCoreApplication>
#include <QTimer>

namespace GlobalShortcuts {

Name::Name(const QString& rawValue, std::optional<Shortcut> initialShortcut, const QString& description)
    : rawValue(rawValue), initialShortcut(initialShortcut), description(description)
{
    SettingsStore& settings = SettingsStore::shared();
    if (initialShortcut && !settings.contains(settingsKey()))
        settings.setValue(settingsKey(), QString::fromUtf8(initialShortcut->toJson()));

    // The center watches menus from its creation on, so it is started early rather than with the
    // first registration.
    static bool centerStarted = false;
    if (!centerStarted && QCoreApplication::instance()) {
        centerStarted = true;
        QTimer::singleShot(0, QCoreApplication::instance(), [] { HotKeyCenter::shared(); });
    }
}

QString Name::settingsKey() const
{
    return QStringLiteral("GlobalShortcuts_") + rawValue;
}

Name Name::togglePanel()
{
    return Name(QStringLiteral("togglePanel"),
        Shortcut(Key::space().rawValue, Shortcut::control | Shortcut::option),
        QStringLiteral("Show or hide the Vesk lists"));
}

} // namespace GlobalShortcuts
