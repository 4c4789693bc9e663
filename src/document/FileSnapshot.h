#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

#include <memory>

// The bytes a file held when it was read, and the file itself kept open: a later write that still
// lands in this file, even after it has been replaced by another one, can be noticed through it.
class FileSnapshot {
public:
    FileSnapshot() = default;
    // Takes ownership of fd. bytes are the file's content as read.
    FileSnapshot(int fd, const struct stat& info, QByteArray bytes);

    bool isValid() const { return m_fd != nullptr; }
    int fd() const { return m_fd ? *m_fd : -1; }
    const struct stat& info() const { return m_info; }
    const QByteArray& bytes() const { return m_bytes; }
    // The bytes as text, without a byte order mark (DocumentService reads only UTF-8 files).
    QString text() const;
    // What the file is known to hold now (copies share the file, not this).
    void setBytes(QByteArray bytes) { m_bytes = std::move(bytes); }

    // True when the open file no longer has the size and modification time it had when read. (Its
    // change time also moves when it is merely replaced, so it cannot tell.)
    bool hasChangedSince() const;
    // True when info describes the same file as the one read (device and inode).
    bool isSameFile(const struct stat& info) const;

private:
    std::shared_ptr<const int> m_fd;
    struct stat m_info { };
    QByteArray m_bytes;
};

// Reads a file from offset to its end; returns 0 or an errno value.
int readFileFrom(int fd, qint64 offset, QByteArray& bytes);
