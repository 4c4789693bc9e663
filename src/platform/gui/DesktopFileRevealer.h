#pragma once

#include "platform/FileRevealer.h"

#include <QDBusConnection>
#include <QUrl>

#include <functional>
#include <optional>

// Asks the file manager over the freedesktop FileManager1 D-Bus interface to show the file
// selected; when no file manager answers, opens the containing folder instead.
class DesktopFileRevealer : public FileRevealer {
public:
    // The session bus (reached only when a file is shown: connecting can start a bus daemon, which
    // start-up should not wait for), and QDesktopServices for the folder.
    DesktopFileRevealer();
    DesktopFileRevealer(QDBusConnection bus, std::function<bool(const QUrl&)> openFolder);

    bool revealFile(const QString& filePath) override;

    static QString serviceName() { return QStringLiteral("org.freedesktop.FileManager1"); }
    static QString objectPath() { return QStringLiteral("/org/freedesktop/FileManager1"); }

private:
    std::optional<QDBusConnection> m_bus;
    std::function<bool(const QUrl&)> m_openFolder;
};
