#include "document/InPlaceWriter.h"

#include "document/DocumentLog.h"
#include "document/FileSnapshot.h"
#include "document/FileWrites.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Something that is no regular file (a device, a FIFO): written as it is, with nothing to reserve.
int writeSpecial(const QByteArray& target, const QByteArray& bytes)
{
    // Non-blocking, so that a FIFO without a reader fails instead of hanging the application.
    const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    int code = writeAllAt(fd, bytes, 0);
    if (code == ESPIPE)
        code = writeAll(fd, bytes);
    if (!code && ::fsync(fd) != 0 && errno != EINVAL)
        code = errno;
    const int closeCode = closeFile(fd);
    return code ? code : closeCode;
}

// The regular file open as fd, whose old text is old (when it could be read) and whose old length
// is oldSize.
int overwrite(int fd, const QByteArray& bytes, const QByteArray* old, off_t oldSize)
{
    const off_t newSize = off_t(bytes.size());
    if (newSize > oldSize) {
        if (const int code = ::posix_fallocate(fd, 0, newSize)) {
            // An emulated reservation may have grown the file before it ran out of space.
            if (::ftruncate(fd, oldSize) != 0) { }
            return code;
        }
    }
    int code = writeAllAt(fd, bytes, 0);
    if (!code && ::fsync(fd) != 0)
        code = errno;
    if (!code && newSize < oldSize && ::ftruncate(fd, newSize) != 0)
        code = errno;
    if (!code && newSize < oldSize && ::fsync(fd) != 0)
        code = errno;
    if (code && old) {
        // The old text fits where the new one was written.
        const int restored = writeAllAt(fd, *old, 0);
        if (restored || ::ftruncate(fd, oldSize) != 0 || ::fsync(fd) != 0)
            qCWarning(lcDocument, "A failed save could not put the old text back: %s",
                std::strerror(restored ? restored : errno));
    }
    return code;
}

} // namespace

int InPlaceWriter::write(const QByteArray& target, const QByteArray& bytes)
{
    bool created = false;
    // Read and write, to keep the old text for putting it back; a file the user may only write is
    // written all the same.
    int fd = ::open(target.constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && errno == EACCES)
        fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NONBLOCK, 0666);
        created = fd >= 0;
    }
    if (fd < 0)
        return errno;
    struct stat info { };
    if (::fstat(fd, &info) != 0) {
        const int code = errno;
        ::close(fd);
        return code;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return writeSpecial(target, bytes);
    }
    QByteArray old;
    const bool readable = (::fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR && readFileFrom(fd, 0, old) == 0;
    int code = overwrite(fd, bytes, readable ? &old : nullptr, readable ? off_t(old.size()) : info.st_size);
    const int closeCode = closeFile(fd);
    if (code && created)
        ::unlink(target.constData());
    return code ? code : closeCode;
}
