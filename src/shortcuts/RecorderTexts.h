#pragma once

#include <QString>

// The user-facing texts of the shortcut recorder, looked up by key ("record_shortcut", ...).
namespace RecorderTexts {

// The text of key, translated; the key itself when it is unknown.
QString text(const char* key);
// "keyboard_shortcut_used_by_menu_item" with the item's title filled in.
QString usedByMenuItem(const QString& itemTitle);
// "keyboard_shortcut_used_by_key_command" with the command's title filled in.
QString usedByKeyCommand(const QString& commandTitle);

} // namespace RecorderTexts
