#include "sync/FileState.h"

#include "document/DocumentService.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

std::optional<DocumentControllerFailure> FileState::read(const DocumentService& service, const QString& path,
    FileState& state, const ContentMark* expected, bool lease)
{
    const QByteArray encoded = QFile::encodeName(path);
    struct stat info { };
    if (::stat(encoded.constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return FileAccessError::missing();
        return FileSystemError::fromErrno(FileSystemError::Operation::read, path, errno);
    }
    if (!S_ISREG(info.st_mode))
        return FileAccessError::missing();
    if (::access(encoded.constData(), R_OK) != 0 && errno == EACCES)
        return FileAccessError::unreadable();
    if (auto error = service.readSnapshot(
            path, state.snapshot, DocumentService::SnapshotContent::markOnly, expected, lease))
        return error->isNoSuchFile() ? FileAccessError::missing() : FileAccessError::unreadable();
    state.writable = ::access(encoded.constData(), W_OK) == 0;
    return std::nullopt;
}
