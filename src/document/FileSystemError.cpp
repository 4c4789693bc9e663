#include "document/FileSystemError.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

bool FileSystemError::isNoSuchFile() const
{
    return code == ENOENT || code == ENOTDIR;
}

QString FileSystemError::description() const
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    const QString folder = QFileInfo(info.absolutePath()).fileName();
    const QString reason = QString::fromLocal8Bit(std::strerror(code));
    if (operation == Operation::read) {
        switch (code) {
        case ENOENT:
        case ENOTDIR:
            return QStringLiteral("The file “%1” couldn’t be opened because there is no such file.")
                .arg(name);
        case EACCES:
        case EPERM:
            return QStringLiteral(
                "The file “%1” couldn’t be opened because you don’t have permission to view it.")
                .arg(name);
        case EILSEQ:
            return QStringLiteral("The file “%1” couldn’t be opened because it isn’t valid UTF-8 text.")
                .arg(name);
        case EISDIR:
            return QStringLiteral("The file “%1” couldn’t be opened because it is a folder.").arg(name);
        case ENODEV:
            return QStringLiteral("The file “%1” couldn’t be opened because it isn’t a regular file.")
                .arg(name);
        default:
            return QStringLiteral("The file “%1” couldn’t be opened: %2.").arg(name, reason);
        }
    }
    switch (code) {
    case EACCES:
    case EPERM:
        return QStringLiteral("You don’t have permission to save the file “%1” in the folder “%2”.")
            .arg(name, folder);
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("The file “%1” couldn’t be saved because the folder “%2” doesn’t exist.")
            .arg(name, folder);
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("The file “%1” couldn’t be saved because there isn’t enough space.").arg(name);
    case EROFS:
        return QStringLiteral("The file “%1” couldn’t be saved because the volume is read only.").arg(name);
    default:
        return QStringLiteral("The file “%1” couldn’t be saved: %2.").arg(name, reason);
    }
}

FileSystemError FileSystemError::fromErrno(Operation operation, const QString& path, int code)
{
    return FileSystemError {operation, code, path};
}
