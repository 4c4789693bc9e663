#pragma once

#include <QString>

// Keeps the writers of one task file, in this process and in others, from replacing each other's
// work unseen: every writer holds it from its last check of the file's content through the
// replacement of the file. It is an advisory lock (flock) on the folder that holds the file after
// symbolic links are followed, so every path to the file shares it and no file is left behind.
// A lock that cannot be had (a folder that may not be read, a file system without locks) never stops
// a write; neither does one that another process holds for longer than maxWaitSeconds.
class DocumentWriteLock {
public:
    static constexpr double maxWaitSeconds = 5;

    explicit DocumentWriteLock(const QString& path);
    ~DocumentWriteLock();
    DocumentWriteLock(const DocumentWriteLock&) = delete;
    DocumentWriteLock& operator=(const DocumentWriteLock&) = delete;

    bool isHeld() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};
