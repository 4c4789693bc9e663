#pragma once

#include "document/ContentMark.h"

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

#include <memory>
#include <optional>

// What a file held when it was read, and the file itself kept open: a later write that still lands
// in this file, even after it has been replaced by another one, can be noticed through it. What it
// held is kept as a mark, and as the bytes themselves only when they were asked for: a snapshot that
// only checks a long list does not hold the list.
class FileSnapshot {
public:
    FileSnapshot() = default;
    // Take ownership of fd. bytes are the file's content as read; mark is the mark of that content.
    FileSnapshot(int fd, const struct stat& info, QByteArray bytes);
    FileSnapshot(int fd, const struct stat& info, ContentMark mark);

    bool isValid() const { return m_fd != nullptr; }
    int fd() const { return m_fd ? *m_fd : -1; }
    const struct stat& info() const { return m_info; }
    // With the bytes, the mark is made from them when first asked for: a long list's digest costs
    // as much as reading it, and most readers of the bytes never compare. Like the rest of a
    // snapshot, one thread at a time.
    const ContentMark& mark() const;
    bool hasBytes() const { return m_hasBytes; }
    // Only when hasBytes().
    const QByteArray& bytes() const;
    // The bytes as text, without a byte order mark (DocumentService reads only UTF-8 files). Only
    // when hasBytes().
    QString text() const;
    // What the file is known to hold now (copies share the file, not this); the bytes are let go.
    void setMark(ContentMark mark);

    // True when the open file no longer has the size and modification time it had when read. (Its
    // change time also moves when it is merely replaced, so it cannot tell.)
    bool hasChangedSince() const;
    // True when info describes the same file as the one read (device and inode).
    bool isSameFile(const struct stat& info) const;

    // Takes a read lease on the file, before it is read: the kernel grants one only while no program
    // has the file open for writing, and breaks it when one opens or truncates the file. Only on file
    // systems whose files change through this kernel alone (a network file can change elsewhere).
    bool takeLease();
    bool isLeased() const { return m_leased; }
    // Lets the lease go; true when it held until now, unbroken: nothing can have been written into
    // the file since it was taken, and nobody has the file open for writing.
    bool releaseLease();

private:
    std::shared_ptr<const int> m_fd;
    struct stat m_info { };
    mutable std::optional<ContentMark> m_mark;
    bool m_leased = false;
    bool m_hasBytes = false;
    QByteArray m_bytes;
};

// Lets go of a lease taken on fd, if any: the file is about to be written through another descriptor.
void releaseLease(int fd);
// Reads a file from offset to its end; returns 0 or an errno value.
int readFileFrom(int fd, qint64 offset, QByteArray& bytes);
// Marks a whole file as it is read, holding no more of it than the mark keeps; returns 0 or an errno
// value. When given, validUtf8 tells whether the file is UTF-8 throughout, and expected is what the
// file most likely holds (see ContentMarker::expect).
int markFile(int fd, ContentMark& mark, bool* validUtf8 = nullptr, const ContentMark* expected = nullptr);
