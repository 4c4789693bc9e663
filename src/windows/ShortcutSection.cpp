#include "windows/ShortcutSection.h"

#include <QCoreApplication>

namespace {
QString tr(const char* text)
{
    return QCoreApplication::translate("ShortcutSection", text);
}
} // namespace

QList<ShortcutSection> ShortcutSection::all(const QString& globalHotKeyDisplayName)
{
    // Key names as Linux desktops print them; Ctrl stands where other systems use Command.
    return {
        {tr("App"),
            {
                {globalHotKeyDisplayName, tr("Show or hide the Vesk panel")},
                {QStringLiteral("?"), tr("Show keyboard controls")},
            }},
        {tr("Navigation"),
            {
                {QStringLiteral("/"), tr("Focus search")},
                {tr("J or ↓"), tr("Move selection down")},
                {tr("K or ↑"), tr("Move selection up")},
                {QStringLiteral("H"), tr("Previous tab")},
                {QStringLiteral("L"), tr("Next tab")},
            }},
        {tr("Items"),
            {
                {QStringLiteral("N"), tr("New item")},
                {tr("Return"), tr("Edit selected item")},
                {tr("Space"), tr("Move selected item to Done or Pending")},
                {QStringLiteral("T"), tr("Move selected item to Next or Pending")},
                {tr("Shift+L"), tr("Open the first link in the selected item")},
                {tr("Delete"), tr("Delete selected item")},
                {tr("Ctrl+J or Ctrl+↓"), tr("Move selected item down")},
                {tr("Ctrl+K or Ctrl+↑"), tr("Move selected item up")},
            }},
    };
}
