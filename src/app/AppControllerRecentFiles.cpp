#include "app/AppController.h"

#include "app/ShellLog.h"
#include "platform/SettingsStore.h"
#include "shortcuts/GlobalShortcuts.h"
#include "sync/VeskDocumentController.h"

#include <QDir>
#include <QFileInfo>
#include <QVariantMap>

std::optional<QStringList> AppController::storedPaths(const QString& key) const
{
    const QVariant stored = m_settings.value(key);
    // The INI file keeps a list of one as a plain text.
    if (stored.typeId() == QMetaType::QString) {
        if (stored.toString().isEmpty())
            return std::nullopt;
        return QStringList {stored.toString()};
    }
    if (stored.typeId() == QMetaType::QStringList)
        return stored.toStringList();
    if (stored.typeId() == QMetaType::QVariantList) {
        QStringList paths;
        const QVariantList elements = stored.toList();
        for (const QVariant& element : elements) {
            if (element.typeId() == QMetaType::QString)
                paths.append(element.toString());
        }
        if (paths.size() == elements.size())
            return paths;
    }
    // Present but of another kind: written by something else, or damaged.
    if (stored.isValid())
        qCWarning(lcShell).noquote() << "cannot read the stored paths of" << key << "in"
                                     << m_settings.fileName();
    return std::nullopt;
}

std::optional<QString> AppController::storedPathForURL(const QUrl& url)
{
    if (!url.isLocalFile())
        return std::nullopt;
    const QString path = url.toLocalFile();
    if (path.isEmpty())
        return std::nullopt;
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

std::optional<QUrl> AppController::resolveStoredPath(const QString& path)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return std::nullopt;
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    return QUrl::fromLocalFile(QDir::cleanPath(path));
}

void AppController::setRecentFiles(const QList<RecentFileEntry>& files)
{
    m_recentFiles = files;
    emit recentFilesChanged();
}

void AppController::loadRecentFiles()
{
    const std::optional<QStringList> stored = storedPaths(recentDocumentsKey());
    if (!stored)
        return;
    QList<RecentFileEntry> entries;
    bool changed = false;
    for (const QString& path : *stored) {
        const std::optional<QUrl> url = resolveStoredPath(path);
        if (!url) {
            changed = true;
            continue;
        }
        const RecentFileEntry entry {path, *url};
        const bool duplicate = std::any_of(entries.cbegin(), entries.cend(),
            [&](const RecentFileEntry& other) { return other.identity() == entry.identity(); });
        if (duplicate) {
            changed = true;
            continue;
        }
        entries.append(entry);
    }
    if (entries.size() > maxRecentFiles) {
        entries.resize(maxRecentFiles);
        changed = true;
    }
    setRecentFiles(entries);
    if (changed)
        persistRecentFiles();
}

void AppController::persistRecentFiles()
{
    if (postponeSettingsWrite()) {
        m_recentFilesUnwritten = true;
        return;
    }
    QStringList paths;
    for (const RecentFileEntry& entry : std::as_const(m_recentFiles))
        paths.append(entry.storedPath);
    m_settings.setValue(recentDocumentsKey(), paths);
    syncSettings();
}

void AppController::addRecentFile(const QUrl& url)
{
    const std::optional<QString> path = storedPathForURL(url);
    if (!path)
        return;
    const RecentFileEntry entry {*path, QUrl::fromLocalFile(*path)};
    QList<RecentFileEntry> entries = m_recentFiles;
    entries.removeIf([&](const RecentFileEntry& other) { return other.identity() == entry.identity(); });
    entries.prepend(entry);
    if (entries.size() > maxRecentFiles)
        entries.resize(maxRecentFiles);
    if (entries != m_recentFiles) {
        setRecentFiles(entries);
        persistRecentFiles();
    }
}

void AppController::removeRecentFile(const RecentFileEntry& entry)
{
    QList<RecentFileEntry> entries = m_recentFiles;
    entries.removeIf([&](const RecentFileEntry& other) { return other.identity() == entry.identity(); });
    if (entries != m_recentFiles) {
        setRecentFiles(entries);
        persistRecentFiles();
    }
}

void AppController::clearRecentFiles()
{
    setRecentFiles({});
    m_settings.remove(recentDocumentsKey());
    m_settings.sync();
}

void AppController::openRecentFile(const RecentFileEntry& entry)
{
    const std::optional<QUrl> url = resolveStoredPath(entry.storedPath);
    if (!url) {
        removeRecentFile(entry);
        presentFileProblem(recentFileGoneMessage());
        return;
    }
    // Access to a file is only bookkeeping here, and it always starts.
    openDocumentInBackground(*url, true);
}

void AppController::migrateLegacyGlobalHotKey()
{
    // Read without the slot's default: the default is written into the settings the first time the
    // slot is named with it, and would otherwise always hide a shortcut still waiting to move over.
    const GlobalShortcuts::Name slot(QStringLiteral("togglePanel"));
    if (GlobalShortcuts::getShortcut(slot))
        return;
    const QVariant legacy = m_settings.value(legacyHotKeyKey());
    if (legacy.typeId() != QMetaType::QVariantMap)
        return;
    const QVariantMap hotKey = legacy.toMap();
    if (hotKey.isEmpty())
        return;
    const QVariant keyCode = hotKey.value(QStringLiteral("keyCode"));
    const QList<int> integerTypes {
        QMetaType::Int, QMetaType::UInt, QMetaType::LongLong, QMetaType::ULongLong};
    if (!integerTypes.contains(keyCode.typeId()))
        return;
    const QVariant modifiers = hotKey.value(QStringLiteral("modifiers"));
    QStringList names;
    if (modifiers.typeId() == QMetaType::QStringList) {
        names = modifiers.toStringList();
    } else if (modifiers.typeId() == QMetaType::QVariantList) {
        for (const QVariant& name : modifiers.toList()) {
            if (name.typeId() != QMetaType::QString)
                return;
            names.append(name.toString());
        }
    } else {
        return;
    }
    int bits = 0;
    for (const QString& name : std::as_const(names)) {
        if (name == QLatin1String("command"))
            bits |= Shortcut::command;
        else if (name == QLatin1String("shift"))
            bits |= Shortcut::shift;
        else if (name == QLatin1String("option"))
            bits |= Shortcut::option;
        else if (name == QLatin1String("control"))
            bits |= Shortcut::control;
    }
    if (bits == 0)
        return;
    GlobalShortcuts::setShortcut(Shortcut(keyCode.toInt(), bits), slot);
    m_settings.remove(legacyHotKeyKey());
    m_settings.sync();
}
