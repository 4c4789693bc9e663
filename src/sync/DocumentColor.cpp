#include "sync/DocumentColor.h"

#include <QDir>
#include <QFileInfo>

quint64 fnv1a64(const QByteArray& bytes)
{
    quint64 hash = 0xcbf29ce484222325ULL;
    for (const char byte : bytes) {
        hash ^= quint8(byte);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

DocumentColor documentColorForPath(const QString& path)
{
    const QString standardized = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    return documentColorPalette[fnv1a64(standardized.toLower().toUtf8()) % documentColorPalette.size()];
}
