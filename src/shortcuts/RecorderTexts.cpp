#include "shortcuts/RecorderTexts.h"

#include <QCoreApplication>

#include <cstring>

namespace {

struct Entry {
    const char* key;
    const char* text;
};

// The one place these words live.
constexpr Entry table[] = {
    {"record_shortcut", QT_TRANSLATE_NOOP("RecorderTexts", "Record Shortcut")},
    {"press_shortcut", QT_TRANSLATE_NOOP("RecorderTexts", "Press Shortcut")},
    // Said by screen readers when recording starts, and when it ends with a new shortcut.
    {"recording", QT_TRANSLATE_NOOP("RecorderTexts", "Recording")},
    {"recorded_shortcut", QT_TRANSLATE_NOOP("RecorderTexts", "Recorded %1")},
    {"keyboard_shortcut_used_by_menu_item",
        QT_TRANSLATE_NOOP(
            "RecorderTexts", "This shortcut can’t be used because the menu item “%1” already uses it.")},
    {"keyboard_shortcut_used_by_key_command",
        QT_TRANSLATE_NOOP("RecorderTexts", "This shortcut can’t be used because it is Vesk’s key for “%1”.")},
    {"keyboard_shortcut_used_by_system",
        QT_TRANSLATE_NOOP("RecorderTexts", "This shortcut is already used by your desktop.")},
    {"keyboard_shortcuts_can_be_changed",
        QT_TRANSLATE_NOOP("RecorderTexts",
            "If you use it anyway, the desktop may take the keys before Vesk sees them. Most desktop "
            "shortcuts "
            "can be changed in your desktop’s keyboard settings.")},
    {"force_use_shortcut", QT_TRANSLATE_NOOP("RecorderTexts", "Use Anyway")},
    {"ok", QT_TRANSLATE_NOOP("RecorderTexts", "OK")},
};

} // namespace

namespace RecorderTexts {

QString text(const char* key)
{
    for (const Entry& entry : table) {
        if (std::strcmp(entry.key, key) == 0)
            return QCoreApplication::translate("RecorderTexts", entry.text);
    }
    return QString::fromUtf8(key);
}

QString usedByMenuItem(const QString& itemTitle)
{
    return text("keyboard_shortcut_used_by_menu_item").arg(itemTitle);
}

QString usedByKeyCommand(const QString& commandTitle)
{
    return text("keyboard_shortcut_used_by_key_command").arg(commandTitle);
}

} // namespace RecorderTexts
