#include "app/DocumentFileURL.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

QUrl normalizedFileURL(const QUrl& url)
{
    if (!url.isLocalFile())
        return url;
    return QUrl::fromLocalFile(QDir::cleanPath(QFileInfo(url.toLocalFile()).absoluteFilePath()));
}

std::optional<std::pair<dev_t, ino_t>> fileIdentity(const QUrl& url)
{
    struct stat info { };
    if (!url.isLocalFile() || ::stat(QFile::encodeName(url.toLocalFile()).constData(), &info) != 0)
        return std::nullopt;
    return std::pair {info.st_dev, info.st_ino};
}
