#include "platform/SettingsStore.h"

#include <QLoggingCategory>
#include <QSettings>

namespace {
SettingsStore* installedStore = nullptr;
}

// Warnings only unless the logging rules ask for more.
Q_LOGGING_CATEGORY(lcSettings, "vesk.settings", QtWarningMsg)

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(
        QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Vesk"), QStringLiteral("Vesk")))
{ }

SettingsStore::SettingsStore(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{ }

SettingsStore::~SettingsStore() = default;

bool SettingsStore::contains(const QString& key) const
{
    return m_settings->contains(key);
}

QVariant SettingsStore::value(const QString& key) const
{
    return m_settings->value(key);
}

std::optional<bool> SettingsStore::boolValue(const QString& key) const
{
    const QVariant stored = m_settings->value(key);
    if (stored.typeId() == QMetaType::Bool)
        return stored.toBool();
    if (stored.typeId() == QMetaType::QString) {
        if (stored.toString() == QLatin1String("true"))
            return true;
        if (stored.toString() == QLatin1String("false"))
            return false;
    }
    return std::nullopt;
}

void SettingsStore::setValue(const QString& key, const QVariant& value)
{
    m_settings->setValue(key, value);
}

void SettingsStore::remove(const QString& key)
{
    m_settings->remove(key);
}

void SettingsStore::sync()
{
    m_settings->sync();
    if (m_settings->status() == QSettings::AccessError)
        qCWarning(lcSettings).noquote() << "cannot write the settings to" << m_settings->fileName();
    else if (m_settings->status() == QSettings::FormatError)
        qCWarning(lcSettings).noquote() << "cannot read the settings in" << m_settings->fileName();
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}

SettingsStore& SettingsStore::shared()
{
    if (installedStore)
        return *installedStore;
    static SettingsStore userSettings;
    return userSettings;
}

void SettingsStore::setShared(SettingsStore* store)
{
    installedStore = store;
}
