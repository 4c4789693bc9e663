#pragma once

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <sys/mount.h>

// A tiny RAM file system of its own, to see how saves behave when the disk is full. Mounting needs
// root (as in CI); elsewhere isMounted() is false and the test skips.
class SmallTmpfs {
public:
    explicit SmallTmpfs(int kilobytes)
    {
        m_mounted = ::mount("tmpfs", path().constData(), "tmpfs", 0, options(kilobytes).constData()) == 0;
    }
    ~SmallTmpfs()
    {
        if (m_mounted)
            ::umount2(path().constData(), MNT_DETACH);
    }
    bool isMounted() const { return m_mounted; }
    QString filePath(const QString& name) const { return m_folder.filePath(name); }
    // Makes room, as a user who frees disk space.
    bool resize(int kilobytes)
    {
        return ::mount("tmpfs", path().constData(), "tmpfs", MS_REMOUNT, options(kilobytes).constData()) == 0;
    }

private:
    QByteArray path() const { return QFile::encodeName(m_folder.path()); }
    static QByteArray options(int kilobytes)
    {
        return "size=" + QByteArray::number(kilobytes) + "k,mode=0755";
    }

    QTemporaryDir m_folder;
    bool m_mounted = false;
};

#define SKIP_UNLESS_MOUNTED(tmpfs)                                                                           \
    if (!(tmpfs).isMounted())                                                                                \
    QSKIP("cannot mount a small tmpfs here (needs root): the full-disk case is not tested")
