#include "document/FileWrites.h"

#include <cerrno>
#include <unistd.h>

namespace {

// offset < 0: write at the file position.
int writeLoop(int fd, QByteArrayView bytes, qint64 offset)
{
    const char* data = bytes.data();
    qint64 size = bytes.size();
    while (size > 0) {
        const ssize_t count
            = offset < 0 ? ::write(fd, data, size_t(size)) : ::pwrite(fd, data, size_t(size), off_t(offset));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += count;
        size -= count;
        if (offset >= 0)
            offset += count;
    }
    return 0;
}

} // namespace

int writeAll(int fd, QByteArrayView bytes)
{
    return writeLoop(fd, bytes, -1);
}

int writeAllAt(int fd, QByteArrayView bytes, qint64 offset)
{
    return writeLoop(fd, bytes, offset);
}

int closeFile(int fd)
{
    return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}
