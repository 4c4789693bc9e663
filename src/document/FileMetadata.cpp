#include "document/FileMetadata.h"

#include "document/DocumentLog.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

void noteNotKept(QStringList& notKept, const QString& what, const QByteArray& path, int code)
{
    qCWarning(
        lcDocument, "Saving %s: %s not kept (%s)", path.constData(), qPrintable(what), std::strerror(code));
    if (!notKept.contains(what))
        notKept.append(what);
}

bool isAccessControlList(const char* name)
{
    return std::strncmp(name, "system.posix_acl_", 17) == 0;
}

// Reads a list or a value of unknown size into buffer; returns its size, or -1 with errno set.
template <typename Read>
ssize_t readSized(QByteArray& buffer, Read read)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = read(nullptr, 0);
        if (size <= 0)
            return size;
        buffer.resize(size);
        const ssize_t got = read(buffer.data(), size_t(size));
        // ERANGE: it grew in between; ask again.
        if (got >= 0 || errno != ERANGE)
            return got;
    }
    errno = ERANGE;
    return -1;
}

void copyAttributes(const QByteArray& sourcePath, int target, QStringList& notKept)
{
    QByteArray names;
    const ssize_t length = readSized(
        names, [&](char* data, size_t size) { return ::llistxattr(sourcePath.constData(), data, size); });
    if (length < 0) {
        // A file system without extended attributes has none to keep.
        if (errno != ENOTSUP)
            noteNotKept(notKept, QStringLiteral("extended attributes"), sourcePath, errno);
        return;
    }
    for (const char* name = names.constData(); name < names.constData() + length;
         name += std::strlen(name) + 1) {
        const QString what = isAccessControlList(name) ? QStringLiteral("access control list")
                                                       : QStringLiteral("extended attributes");
        QByteArray value;
        const ssize_t size = readSized(value, [&](char* data, size_t capacity) {
            return ::lgetxattr(sourcePath.constData(), name, data, capacity);
        });
        if (size < 0) {
            // ENODATA: removed since it was listed.
            if (errno != ENODATA)
                noteNotKept(notKept, what, sourcePath, errno);
            continue;
        }
        if (::fsetxattr(target, name, value.constData(), size_t(size), 0) != 0)
            noteNotKept(notKept, what, sourcePath, errno);
    }
}

} // namespace

int FileMetadata::copy(
    const QByteArray& sourcePath, const struct stat& source, int target, QStringList& notKept)
{
    // The owner can only be given away by root, the group only to one of the user's own groups.
    if (::fchown(target, source.st_uid, source.st_gid) != 0) {
        const int code = errno;
        if (::fchown(target, uid_t(-1), source.st_gid) != 0) {
            // The file keeps the user's group, like any new file.
        }
        struct stat now { };
        if (::fstat(target, &now) == 0) {
            if (now.st_uid != source.st_uid)
                noteNotKept(notKept, QStringLiteral("owner"), sourcePath, code);
            if (now.st_gid != source.st_gid)
                noteNotKept(notKept, QStringLiteral("group"), sourcePath, code);
        }
    }
    if (::fchmod(target, source.st_mode & 07777) != 0)
        return errno;
    copyAttributes(sourcePath, target, notKept);
    return 0;
}

QString FileMetadata::describeNotKept(const QStringList& notKept)
{
    if (notKept.isEmpty())
        return QString();
    QString list = notKept.last();
    if (notKept.size() > 1)
        list = notKept.mid(0, notKept.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + list;
    return list + QStringLiteral(" not kept");
}
