#include "document/FileSnapshot.h"

#include "document/ContentMarker.h"

#include <QStringDecoder>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <utility>

namespace {

// Shares the descriptor among copies and closes it with the last one.
std::shared_ptr<const int> sharedDescriptor(int fd)
{
    return std::shared_ptr<const int>(new int(fd), [](const int* descriptor) {
        ::close(*descriptor);
        delete descriptor;
    });
}

constexpr qsizetype pieceSize = 65536;

// Reads the next piece at offset into buffer, retrying interruptions; the count or -1 with errno.
ssize_t readPiece(int fd, char* buffer, qint64 offset)
{
    for (;;) {
        const ssize_t count = ::pread(fd, buffer, pieceSize, off_t(offset));
        if (count >= 0 || errno != EINTR)
            return count;
    }
}

} // namespace

FileSnapshot::FileSnapshot(int fd, const struct stat& info, QByteArray bytes)
    : m_fd(sharedDescriptor(fd)), m_info(info), m_hasBytes(true), m_bytes(std::move(bytes))
{ }

FileSnapshot::FileSnapshot(int fd, const struct stat& info, ContentMark mark)
    : m_fd(sharedDescriptor(fd)), m_info(info), m_mark(std::move(mark))
{ }

const ContentMark& FileSnapshot::mark() const
{
    if (!m_mark)
        m_mark = ContentMark::of(m_bytes);
    return *m_mark;
}

const QByteArray& FileSnapshot::bytes() const
{
    Q_ASSERT(m_hasBytes);
    return m_bytes;
}

QString FileSnapshot::text() const
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    return decoder.decode(bytes());
}

void FileSnapshot::setMark(ContentMark mark)
{
    m_mark = std::move(mark);
    m_hasBytes = false;
    m_bytes = QByteArray();
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

bool FileSnapshot::takeLease()
{
    struct statfs system { };
    if (!m_fd || m_leased || ::fstatfs(*m_fd, &system) != 0)
        return false;
    switch (system.f_type) {
    case EXT4_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case F2FS_SUPER_MAGIC:
        break;
    default:
        return false;
    }
    // A broken lease is told by a signal, whose default would end this program; this one is ignored
    // unless a program asks for it.
    ::fcntl(*m_fd, F_SETSIG, SIGURG);
    m_leased = ::fcntl(*m_fd, F_SETLEASE, F_RDLCK) == 0;
    return m_leased;
}

bool FileSnapshot::releaseLease()
{
    if (!m_fd || !std::exchange(m_leased, false))
        return false;
    // A lease being broken already reads as none.
    const bool held = ::fcntl(*m_fd, F_GETLEASE) == F_RDLCK;
    ::releaseLease(*m_fd);
    return held;
}

void releaseLease(int fd)
{
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
}

int readFileFrom(int fd, qint64 offset, QByteArray& bytes)
{
    bytes.clear();
    char buffer[pieceSize];
    for (;;) {
        const ssize_t count = readPiece(fd, buffer, offset);
        if (count < 0)
            return errno;
        if (count == 0)
            return 0;
        bytes.append(buffer, count);
        offset += count;
    }
}

int markFile(int fd, ContentMark& mark, bool* validUtf8, const ContentMark* expected)
{
    ContentMarker marker;
    if (expected)
        marker.expect(*expected);
    if (struct stat info {}; ::fstat(fd, &info) == 0)
        marker.reserve(qsizetype(info.st_size));
    // Each piece is checked up to where its last character begins; that character's bytes are moved
    // to the front and checked with the next piece. A character has at most four bytes, so a piece
    // that ends in more continuation bytes than that is no UTF-8 however it goes on.
    constexpr qsizetype carryRoom = 4;
    char buffer[carryRoom + pieceSize];
    qsizetype carried = 0;
    bool valid = true;
    for (qint64 offset = 0;;) {
        const ssize_t count = readPiece(fd, buffer + carried, offset);
        if (count < 0)
            return errno;
        if (count == 0)
            break;
        marker.add(QByteArrayView(buffer + carried, count));
        offset += count;
        if (!validUtf8 || !valid)
            continue;
        const qsizetype end = carried + count;
        qsizetype cut = end;
        while (cut > 0 && end - cut < carryRoom && (uchar(buffer[cut - 1]) & 0xC0) == 0x80)
            --cut;
        cut = cut > 0 && end - cut < carryRoom ? cut - 1 : end;
        valid = QByteArrayView(buffer, cut).isValidUtf8();
        carried = end - cut;
        std::memmove(buffer, buffer + cut, size_t(carried));
    }
    if (validUtf8)
        *validUtf8 = valid && QByteArrayView(buffer, carried).isValidUtf8();
    mark = marker.finish();
    return 0;
}
