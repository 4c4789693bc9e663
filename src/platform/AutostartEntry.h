#pragma once

#include <QString>

// The entry that starts Vesk in the background when the user logs in: a desktop entry in the
// user's autostart folder ($XDG_CONFIG_HOME/autostart), which desktops following the freedesktop
// autostart rules run at login. The entry itself is the setting; nothing else records it.
class AutostartEntry {
public:
    // The user's entry, starting the vesk command of the application that runs now.
    AutostartEntry();
    AutostartEntry(QString filePath, QString program);

    // $XDG_CONFIG_HOME/autostart/vesk.desktop (~/.config when the variable is not set).
    static QString userFilePath();

    QString filePath() const { return m_filePath; }
    // The entry is there and not switched off (Hidden=true, as some desktops' startup settings write).
    bool isEnabled() const;
    // Writes the entry (a temporary file renamed over it, so a half-written entry never runs) or
    // removes it. False, with error set, when that fails.
    bool setEnabled(bool enabled, QString* error = nullptr);
    QString text() const;

    // The command of the Exec line: the program by name when the desktop finds this program under
    // that name, else its full path, quoted as desktop entries need.
    static QString command(const QString& program);

private:
    QString m_filePath;
    QString m_program;
};
