#include "document/FileSnapshot.h"

#include <QStringDecoder>

#include <cerrno>
#include <unistd.h>

FileSnapshot::FileSnapshot(int fd, const struct stat& info, QByteArray bytes)
    : m_fd(new int(fd),
        [](const int* descriptor) {
            ::close(*descriptor);
            delete descriptor;
        }),
      m_info(info),
      m_bytes(std::move(bytes))
{ }

QString FileSnapshot::text() const
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    return decoder.decode(m_bytes);
}

bool FileSnapshot::hasChangedSince() const
{
    struct stat now { };
    if (!m_fd || ::fstat(*m_fd, &now) != 0)
        return true;
    return now.st_size != m_info.st_size || now.st_mtim.tv_sec != m_info.st_mtim.tv_sec
        || now.st_mtim.tv_nsec != m_info.st_mtim.tv_nsec;
}

bool FileSnapshot::isSameFile(const struct stat& info) const
{
    return info.st_dev == m_info.st_dev && info.st_ino == m_info.st_ino;
}

int readFileFrom(int fd, qint64 offset, QByteArray& bytes)
{
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::pread(fd, buffer, sizeof buffer, off_t(offset));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (count == 0)
            return 0;
        bytes.append(buffer, count);
        offset += count;
    }
}
