#pragma once

#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class QSettings;

// The user's preferences: a thin layer over QSettings so that every reader and writer goes through
// one object, and tests can point the whole program at a temporary file.
//
// The file is INI, which keeps no types: a boolean written as false reads back after a restart as
// the text "false". boolValue() recognises both forms.
class SettingsStore {
public:
    // The user's real settings: organisation and application "Vesk" in the XDG config folder.
    SettingsStore();
    // Settings kept in the INI file at filePath (created on first write).
    explicit SettingsStore(const QString& filePath);
    ~SettingsStore();

    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    bool contains(const QString& key) const;
    // An invalid QVariant when the key is absent.
    QVariant value(const QString& key) const;
    // The stored boolean, whether it is still typed or was read back from the file as text; none
    // when the key is absent or holds anything else.
    std::optional<bool> boolValue(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    // Writes pending changes to the file.
    void sync();
    QString fileName() const;

    // The store the program uses: the user's real settings unless a test installed another one.
    static SettingsStore& shared();
    // Makes store (owned by the caller, or nullptr for the real settings again) the shared one.
    static void setShared(SettingsStore* store);

private:
    std::unique_ptr<QSettings> m_settings;
};
