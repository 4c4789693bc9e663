#pragma once

#include "FileRevealer.h"

#include <QDBusConnection>
#include <QUrl>

#include <functional>

// Asks the file manager over the freedesktop FileManager1 D-Bus interface to show the file
// selected; when no file manager answers, opens the containing folder instead.
class DesktopFileRevealer : public FileRevealer {
public:
    // The session bus, and QDesktopServices for the folder.
    DesktopFileRevealer();
    DesktopFileRevealer(QDBusConnection bus, std::function<bool(const QUrl&)> openFolder);

    bool revealFile(const QString& filePath) override;

    static QString serviceName() { return QStringLiteral("org.freedesktop.FileManager1"); }
    static QString objectPath() { return QStringLiteral("/org/freedesktop/FileManager1"); }

private:
    QDBusConnection m_bus;
    std::function<bool(const QUrl&)> m_openFolder;
};
