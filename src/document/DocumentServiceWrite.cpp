// Writing task files: atomic replacement through a temporary file, with a direct write as the
// fallback, and the guarded variant that protects a concurrent writer's data.
#include "DocumentService.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUuid>

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int maxLinkDepth = 40;
// Rounds of moving late writes out of replaced files before giving up on a writer that never stops.
constexpr int maxRestoreRounds = 64;

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

// The file a write must replace: symbolic links are followed, so that the link itself stays a link.
// A dangling link gives the path it names.
QByteArray resolveTarget(QByteArray path)
{
    for (int depth = 0; depth < maxLinkDepth; ++depth) {
        struct stat info { };
        if (::lstat(path.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        char buffer[PATH_MAX];
        const ssize_t length = ::readlink(path.constData(), buffer, sizeof buffer);
        if (length <= 0 || size_t(length) >= sizeof buffer)
            return path;
        const QByteArray link(buffer, length);
        path = link.startsWith('/') ? link : folderOf(path) + '/' + link;
    }
    return path;
}

int writeAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t count = ::write(fd, data, size_t(size));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += count;
        size -= count;
    }
    return 0;
}

int writeAll(int fd, const QByteArray& bytes)
{
    return writeAll(fd, bytes.constData(), bytes.size());
}

int syncFile(int fd)
{
    return ::fsync(fd) == 0 ? 0 : errno;
}

int closeFile(int fd)
{
    // Linux releases the descriptor even when close reports an error, so it is never retried.
    return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

// Makes a rename in folder durable.
int syncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int code = syncFile(fd);
    ::close(fd);
    // File systems that cannot sync folders say so with EINVAL; there is nothing more to do there.
    return code == EINVAL ? 0 : code;
}

// A hidden file beside the target, locked while this process writes it so that
// removeStaleTemporaryFiles can tell it from the leftover of a save that was interrupted.
class TemporaryFile {
public:
    ~TemporaryFile() { discard(); }

    int create(const QByteArray& folder, const struct stat* original)
    {
        path = folder + "/." + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + ".tmp";
        // Private until the original's permissions are copied, so that a private list is never
        // readable by others, not even for a moment.
        fd = ::open(
            path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_APPEND, original ? 0600 : 0666);
        if (fd < 0)
            return errno;
        ::flock(fd, LOCK_EX);
        if (original) {
            // The owner can only be kept by root, the group only among the user's own groups;
            // anything else stays the user's, as for any new file.
            if (::fchown(fd, original->st_uid, original->st_gid) != 0
                && ::fchown(fd, uid_t(-1), original->st_gid) != 0) {
                // Not one of the user's groups: the file gets the user's group, like any new file.
            }
            if (::fchmod(fd, original->st_mode & 07777) != 0)
                return errno;
        }
        return 0;
    }

    int fill(const QByteArray& bytes)
    {
        if (const int code = writeAll(fd, bytes))
            return code;
        return syncFile(fd);
    }

    // Once renamed, the file is the target and must stay.
    void keep() { path.clear(); }

    int close()
    {
        const int code = fd >= 0 ? closeFile(fd) : 0;
        fd = -1;
        return code;
    }

    void discard()
    {
        if (!path.isEmpty())
            ::unlink(path.constData());
        path.clear();
        close();
    }

    QByteArray path;
    int fd = -1;
};

int directWrite(const QByteArray& target, const QByteArray& bytes)
{
    // Non-blocking, so that a FIFO in the file's place fails instead of hanging the application.
    const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return errno;
    int code = writeAll(fd, bytes);
    if (!code)
        code = syncFile(fd);
    const int closeCode = closeFile(fd);
    return code ? code : closeCode;
}

// Another program wrote into checked's file after it had been checked, and that file was then
// replaced by ours: put the other program's text back at target, together with anything appended
// to our file in the meantime, and keep moving writes that still reach either replaced file onto
// the live one.
int restoreForeignWrites(const FileSnapshot& checked, TemporaryFile& ours, qint64 ourLength,
    const QByteArray& folder, const QByteArray& target)
{
    QByteArray foreign;
    if (const int code = readFileFrom(checked.fd(), 0, foreign))
        return code;
    QByteArray extra;
    if (const int code = readFileFrom(ours.fd, ourLength, extra))
        return code;
    qint64 foreignSeen = foreign.size();
    qint64 oursSeen = ourLength + extra.size();
    const QByteArray restored = foreign + extra;

    struct stat original { };
    ::fstat(ours.fd, &original);
    TemporaryFile restore;
    int code = restore.create(folder, &original);
    if (!code)
        code = restore.fill(restored);
    if (!code)
        code = ::rename(restore.path.constData(), target.constData()) == 0 ? 0 : errno;
    if (code) {
        restore.discard();
        return directWrite(target, restored);
    }
    restore.keep();
    if ((code = syncFolder(folder)))
        return code;

    for (int round = 0; round < maxRestoreRounds; ++round) {
        bool moved = false;
        for (auto [fd, seen] : {std::pair {checked.fd(), &foreignSeen}, std::pair {ours.fd, &oursSeen}}) {
            QByteArray late;
            if ((code = readFileFrom(fd, *seen, late)))
                return code;
            if (late.isEmpty())
                continue;
            if ((code = writeAll(restore.fd, late)))
                return code;
            *seen += late.size();
            moved = true;
        }
        if (!moved)
            break;
    }
    if ((code = syncFile(restore.fd)))
        return code;
    return restore.close();
}

} // namespace

bool DocumentService::isTemporaryFileName(const QString& name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\.[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\.tmp$"));
    return name.size() == 41 && pattern.match(name).hasMatch();
}

void DocumentService::removeStaleTemporaryFiles(const QString& folder) const
{
    const int folderFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return;
    DIR* listing = ::fdopendir(folderFd);
    if (!listing) {
        ::close(folderFd);
        return;
    }
    while (const dirent* entry = ::readdir(listing)) {
        if (entry->d_name[0] != '.' || !isTemporaryFileName(QString::fromLatin1(entry->d_name)))
            continue;
        const int fd = ::openat(folderFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat opened { };
        struct stat named { };
        // The writer holds the lock until its file has been renamed, or dies and releases it.
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && ::fstatat(folderFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0
            && named.st_ino == opened.st_ino && named.st_dev == opened.st_dev)
            ::unlinkat(folderFd, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(listing);
}

std::optional<FileSystemError> DocumentService::writeContents(const QString& text, const QString& path) const
{
    GuardedWriteOutcome outcome;
    return write(text, path, nullptr, outcome);
}

std::optional<FileSystemError> DocumentService::writeContents(
    const QString& text, const QString& path, const FileSnapshot& checked, GuardedWriteOutcome& outcome) const
{
    return write(text, path, &checked, outcome);
}

std::optional<FileSystemError> DocumentService::write(
    const QString& text, const QString& path, const FileSnapshot* checked, GuardedWriteOutcome& outcome) const
{
    outcome = GuardedWriteOutcome::written;
    const QByteArray bytes = text.toUtf8();
    const QByteArray target = resolveTarget(QFile::encodeName(QFileInfo(path).absoluteFilePath()));
    const QByteArray folder = folderOf(target);
    const auto failure
        = [&](int code) { return FileSystemError::fromErrno(FileSystemError::Operation::write, path, code); };
    removeStaleTemporaryFiles(QFile::decodeName(folder));

    struct stat original { };
    const bool exists = ::stat(target.constData(), &original) == 0;
    // Checked as late as possible: just before the replacement, and once more just before a
    // direct write.
    const auto changedSinceCheck = [&] {
        struct stat now { };
        return ::stat(target.constData(), &now) != 0 || !checked->isSameFile(now)
            || checked->hasChangedSince();
    };
    if (checked && changedSinceCheck()) {
        outcome = GuardedWriteOutcome::fileChangedFirst;
        return std::nullopt;
    }

    if (!exists || S_ISREG(original.st_mode)) {
        TemporaryFile temporary;
        int code = temporary.create(folder, exists ? &original : nullptr);
        if (!code)
            code = temporary.fill(bytes);
        if (!code && checked && changedSinceCheck()) {
            outcome = GuardedWriteOutcome::fileChangedFirst;
            return std::nullopt;
        }
        if (!code)
            code = ::rename(temporary.path.constData(), target.constData()) == 0 ? 0 : errno;
        if (!code) {
            temporary.keep();
            if ((code = syncFolder(folder)))
                return failure(code);
            if (checked && checked->hasChangedSince()) {
                outcome = GuardedWriteOutcome::foreignWriteRestored;
                if ((code = restoreForeignWrites(*checked, temporary, bytes.size(), folder, target)))
                    return failure(code);
            }
            if ((code = temporary.close()))
                return failure(code);
            return std::nullopt;
        }
        temporary.discard();
    }

    if (checked && changedSinceCheck()) {
        outcome = GuardedWriteOutcome::fileChangedFirst;
        return std::nullopt;
    }
    if (const int code = directWrite(target, bytes))
        return failure(code);
    return std::nullopt;
}
