#include "document/TemporaryFile.h"

#include "document/DocumentFormat.h"
#include "document/FileMetadata.h"
#include "document/FileSnapshot.h"
#include "document/FileWrites.h"

#include <QStringDecoder>
#include <QUuid>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QByteArray mark = QByteArrayLiteral(".vesk-save.");
const QByteArray suffix = QByteArrayLiteral(".tmp");
constexpr qsizetype uuidLength = 36;
// Keeps the whole name within the 255 bytes a file name may have.
constexpr qsizetype maxStemLength = 180;

QByteArray stemOf(const QByteArray& fileName)
{
    return fileName.left(maxStemLength);
}

bool isUuid(const QByteArray& text)
{
    return text.size() == uuidLength && !QUuid::fromString(QLatin1String(text)).isNull()
        && text == text.toLower();
}

// Whether the open file holds a whole task file, as every save writes before the file gets its name.
bool holdsTaskFile(int fd)
{
    QByteArray bytes;
    if (readFileFrom(fd, 0, bytes) != 0)
        return false;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError() && isVeskDocument(text);
}

bool isOlder(const struct timespec& time, const struct timespec& than)
{
    return time.tv_sec < than.tv_sec || (time.tv_sec == than.tv_sec && time.tv_nsec < than.tv_nsec);
}

} // namespace

std::function<void(const QByteArray&)> TemporaryFile::onNamed;
bool TemporaryFile::useUnnamedFiles = true;

int TemporaryFile::create(const QByteArray& target, const struct stat* original, QStringList* notKept)
{
    const qsizetype slash = target.lastIndexOf('/');
    m_folder = slash <= 0 ? QByteArray("/") : target.left(slash);
    m_fileName = target.mid(slash + 1);
    // Private until the original's permissions are copied, so that a private list is never readable
    // by others, not even for a moment.
    const mode_t mode = original ? 0600 : 0666;
    // Without a name, nobody else can see the file before it is locked. Appending, so that what is
    // written after the rename (restoreForeignWrites) never overwrites another program's appends.
    fd = useUnnamedFiles ? ::open(m_folder.constData(), O_TMPFILE | O_RDWR | O_APPEND | O_CLOEXEC, mode) : -1;
    m_anonymous = fd >= 0;
    if (fd < 0) {
        // File systems without unnamed files say so in one of these ways.
        if (useUnnamedFiles && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return errno;
        const QByteArray named = m_folder + "/." + stemOf(m_fileName) + mark
            + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + suffix;
        fd = ::open(named.constData(), O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, mode);
        if (fd < 0)
            return errno;
        path = named;
        // Until it is locked it is empty, which no cleanup takes for a leftover.
        if (onNamed)
            onNamed(path);
    }
    ::flock(fd, LOCK_EX);
    if (original) {
        QStringList ignored;
        if (const int code = FileMetadata::copy(target, *original, fd, notKept ? *notKept : ignored))
            return code;
    }
    return 0;
}

int TemporaryFile::fill(const ContentPieces& content)
{
    if (const int code = content([this](QByteArrayView piece) { return writeAll(fd, piece); }))
        return code;
    if (::fsync(fd) != 0)
        return errno;
    return m_anonymous ? link() : 0;
}

int TemporaryFile::link()
{
    const QByteArray named = m_folder + "/." + stemOf(m_fileName) + mark
        + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + suffix;
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, named.constData(), AT_SYMLINK_FOLLOW) != 0) {
        // Without /proc, only a privileged process may link a descriptor directly.
        const int code = errno;
        if (code != ENOENT || ::linkat(fd, "", AT_FDCWD, named.constData(), AT_EMPTY_PATH) != 0)
            return code;
    }
    m_anonymous = false;
    path = named;
    if (onNamed)
        onNamed(path);
    return 0;
}

int TemporaryFile::close()
{
    // Linux releases the descriptor even when close reports an error, so it is never retried.
    const int code = fd >= 0 && ::close(fd) != 0 && errno != EINTR ? errno : 0;
    fd = -1;
    return code;
}

void TemporaryFile::discard()
{
    if (!path.isEmpty())
        ::unlink(path.constData());
    path.clear();
    close();
}

bool TemporaryFile::isNameFor(const QByteArray& name, const QByteArray& fileName)
{
    const QByteArray start = '.' + stemOf(fileName) + mark;
    return name.size() == start.size() + uuidLength + suffix.size() && name.startsWith(start)
        && name.endsWith(suffix) && isUuid(name.mid(start.size(), uuidLength));
}

void TemporaryFile::removeLeftovers(const QByteArray& target)
{
    struct timespec started { };
    // The coarse clock is the one file times are taken from.
    ::clock_gettime(CLOCK_REALTIME_COARSE, &started);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash <= 0 ? QByteArray("/") : target.left(slash);
    const QByteArray fileName = target.mid(slash + 1);
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return;
    DIR* listing = ::fdopendir(folderFd);
    if (!listing) {
        ::close(folderFd);
        return;
    }
    while (const dirent* entry = ::readdir(listing)) {
        if (!isNameFor(QByteArray(entry->d_name), fileName))
            continue;
        const int fd = ::openat(folderFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat opened { };
        struct stat named { };
        // A running save holds the lock until its file has been renamed, or dies and releases it;
        // a file newer than this cleanup may belong to a save that started meanwhile.
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && isOlder(opened.st_mtim, started)
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && holdsTaskFile(fd)
            && ::fstatat(folderFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0
            && named.st_ino == opened.st_ino && named.st_dev == opened.st_dev)
            ::unlinkat(folderFd, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(listing);
}
