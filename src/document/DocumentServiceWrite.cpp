// Writing task files: atomic replacement through a temporary file, with a direct write as the
// fallback, and the guarded variant that protects a concurrent writer's data.
#include "document/DocumentService.h"

#include "document/DocumentLog.h"
#include "document/DocumentWriteLock.h"
#include "document/FileWrites.h"
#include "document/InPlaceWriter.h"
#include "document/TemporaryFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstring>
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

int syncFile(int fd)
{
    return ::fsync(fd) == 0 ? 0 : errno;
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

// Writing in place: for a folder that refuses new files, and for a file with several names.
int directWrite(const QByteArray& target, const QByteArray& bytes)
{
    return InPlaceWriter::write(target, bytes);
}

// A folder that refuses new files or renames, for want of permission: the file itself may still be
// writable. Data that did not fit or could not be written is no such case.
bool folderRefuses(int code)
{
    return code == EACCES || code == EPERM || code == EROFS;
}

// The file ours had open, read-only, with what it is known to hold: a writable descriptor of our
// own would keep ReplacedFileWatcher from ever seeing the file free of writers.
void addReplaced(QList<FileSnapshot>* replaced, int ours, const QByteArray& held)
{
    if (!replaced)
        return;
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(ours);
    const int fd = ::open(link.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info { };
    if (fd < 0)
        return;
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return;
    }
    replaced->append(FileSnapshot(fd, info, ContentMark::of(held)));
}

// Another program wrote into checked's file after it had been checked, and that file was then
// replaced by ours: put the other program's text back at target, together with anything appended
// to our file in the meantime, and keep moving writes that still reach either replaced file onto
// the live one. Both replaced files go to replaced, for writes that arrive later still.
int restoreForeignWrites(const FileSnapshot& checked, TemporaryFile& ours, const ContentPieces& content,
    const QByteArray& folder, const QByteArray& target, QList<FileSnapshot>* replaced)
{
    // Made once more: the pieces were never kept, and this happens only when another program wrote
    // the file in the middle of a save.
    const QByteArray ourBytes = joinedPieces(content);
    QByteArray foreign;
    if (const int code = readFileFrom(checked.fd(), 0, foreign))
        return code;
    QByteArray extra;
    if (const int code = readFileFrom(ours.fd, ourBytes.size(), extra))
        return code;
    QByteArray oursHeld = ourBytes + extra;
    const QByteArray restored = foreign + extra;

    struct stat original { };
    ::fstat(ours.fd, &original);
    TemporaryFile restore;
    int code = restore.create(target, &original);
    if (!code)
        code = restore.fill(piecesOf(restored));
    if (!code)
        code = ::rename(restore.path.constData(), target.constData()) == 0 ? 0 : errno;
    if (code) {
        restore.discard();
        qCWarning(lcDocument,
            "cannot put another program's text back at %s through a new file (%s); writing it in place",
            target.constData(), std::strerror(code));
        return directWrite(target, restored);
    }
    restore.keep();
    if ((code = syncFolder(folder)))
        return code;

    for (int round = 0; round < maxRestoreRounds; ++round) {
        bool moved = false;
        for (auto [fd, held] : {std::pair {checked.fd(), &foreign}, std::pair {ours.fd, &oursHeld}}) {
            QByteArray late;
            if ((code = readFileFrom(fd, held->size(), late)))
                return code;
            if (late.isEmpty())
                continue;
            if ((code = writeAll(restore.fd, late)))
                return code;
            *held += late;
            moved = true;
        }
        if (!moved)
            break;
    }
    if (replaced) {
        FileSnapshot theirs = checked;
        theirs.setMark(ContentMark::of(foreign));
        replaced->append(theirs);
    }
    addReplaced(replaced, ours.fd, oursHeld);
    if ((code = syncFile(restore.fd)))
        return code;
    return restore.close();
}

} // namespace

void DocumentService::removeStaleTemporaryFiles(const QString& path) const
{
    TemporaryFile::removeLeftovers(resolveTarget(QFile::encodeName(QFileInfo(path).absoluteFilePath())));
}

std::optional<FileSystemError> DocumentService::writeContents(
    const QString& text, const QString& path, QStringList* notKept) const
{
    // Not between another writer's check and its replacement of the file, where it would be lost.
    const DocumentWriteLock lock(path);
    GuardedWriteOutcome outcome;
    return write(piecesOf(text.toUtf8()), path, nullptr, outcome, notKept, nullptr);
}

std::optional<FileSystemError> DocumentService::writeContents(const QByteArray& bytes, const QString& path,
    const FileSnapshot& checked, GuardedWriteOutcome& outcome, QStringList* notKept,
    QList<FileSnapshot>* replaced) const
{
    return write(piecesOf(bytes), path, &checked, outcome, notKept, replaced);
}

std::optional<FileSystemError> DocumentService::writeContents(const ContentPieces& content,
    const QString& path, const FileSnapshot& checked, GuardedWriteOutcome& outcome, QStringList* notKept,
    QList<FileSnapshot>* replaced) const
{
    return write(content, path, &checked, outcome, notKept, replaced);
}

std::optional<FileSystemError> DocumentService::write(const ContentPieces& content, const QString& path,
    const FileSnapshot* checked, GuardedWriteOutcome& outcome, QStringList* notKept,
    QList<FileSnapshot>* replaced) const
{
    outcome = GuardedWriteOutcome::written;
    if (notKept)
        notKept->clear();
    const QByteArray target = resolveTarget(QFile::encodeName(QFileInfo(path).absoluteFilePath()));
    const QByteArray folder = folderOf(target);
    const auto failure
        = [&](int code) { return FileSystemError::fromErrno(FileSystemError::Operation::write, path, code); };

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

    // A file with several names stays one file: it is written in place rather than replaced.
    if (!exists || (S_ISREG(original.st_mode) && original.st_nlink == 1)) {
        TemporaryFile temporary;
        QStringList lost;
        int code = temporary.create(target, exists ? &original : nullptr, &lost);
        bool refused = folderRefuses(code);
        if (!code)
            code = temporary.fill(content);
        if (!code && checked && changedSinceCheck()) {
            outcome = GuardedWriteOutcome::fileChangedFirst;
            return std::nullopt;
        }
        if (!code) {
            code = ::rename(temporary.path.constData(), target.constData()) == 0 ? 0 : errno;
            refused = folderRefuses(code);
        }
        if (!code) {
            temporary.keep();
            if (notKept)
                *notKept = lost;
            if ((code = syncFolder(folder)))
                return failure(code);
            if (checked && checked->hasChangedSince()) {
                outcome = GuardedWriteOutcome::foreignWriteRestored;
                if ((code = restoreForeignWrites(*checked, temporary, content, folder, target, replaced)))
                    return failure(code);
            } else if (checked && replaced) {
                replaced->append(*checked);
            }
            if ((code = temporary.close()))
                return failure(code);
            return std::nullopt;
        }
        temporary.discard();
        // Only a folder that refuses the replacement sends the save to writing in place; data that
        // did not fit or could not be written fails the save, and the file keeps its old text.
        if (!refused)
            return failure(code);
        qCWarning(lcDocument,
            "the folder of %s refuses a new file or a rename (%s); writing the file in place",
            target.constData(), std::strerror(code));
    }

    // A lease of the caller's on the file would refuse our own writing of it.
    if (checked)
        releaseLease(checked->fd());
    if (checked && changedSinceCheck()) {
        outcome = GuardedWriteOutcome::fileChangedFirst;
        return std::nullopt;
    }
    // Rare enough (a folder that refuses new files, a file with several names) to be written whole.
    if (const int code = directWrite(target, joinedPieces(content)))
        return failure(code);
    return std::nullopt;
}
