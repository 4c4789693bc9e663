#include "shortcuts/PortalTrigger.h"

#include "shortcuts/KeyMap.h"

#include <QStringList>

#include <xkbcommon/xkbcommon.h>

QString PortalTrigger::fromShortcut(const Shortcut& shortcut)
{
    const KeyMap::Entry* entry = KeyMap::forKeyCode(shortcut.carbonKeyCode);
    if (!entry)
        return QString();
    char name[64];
    if (xkb_keysym_get_name(entry->keysym, name, sizeof name) <= 0)
        return QString();

    QStringList parts;
    const std::pair<int, const char*> modifiers[] {{Shortcut::control, "CTRL"}, {Shortcut::option, "ALT"},
        {Shortcut::shift, "SHIFT"}, {Shortcut::command, "LOGO"}};
    for (const auto& [bit, text] : modifiers) {
        if (shortcut.carbonModifiers & bit)
            parts << QLatin1String(text);
    }
    parts << QString::fromLatin1(name);
    return parts.join(QLatin1Char('+'));
}
