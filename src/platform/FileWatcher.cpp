#include "platform/FileWatcher.h"

#include "platform/InotifyEvents.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t fileEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF;
constexpr uint32_t folderEvents = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CLOSE_WRITE
    | IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR;

} // namespace

FileWatcher::FileWatcher(const QString& path, Scheduler* scheduler, QObject* parent)
    : QObject(parent), m_scheduler(scheduler), m_path(QFileInfo(path).absoluteFilePath())
{
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify >= 0) {
        m_notifier = new QSocketNotifier(m_inotify, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &FileWatcher::processPendingEvents);
    }
    arm();
}

FileWatcher::~FileWatcher()
{
    disarm();
    if (m_notifier)
        m_notifier->setEnabled(false);
    closeInotifyLater(m_inotify);
}

void FileWatcher::setPath(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (absolute == m_path)
        return;
    m_path = absolute;
    arm();
}

void FileWatcher::disarm()
{
    releaseFile();
    if (m_inotify >= 0 && m_folderWatch >= 0)
        ::inotify_rm_watch(m_inotify, m_folderWatch);
    m_folderWatch = -1;
}

void FileWatcher::arm()
{
    disarm();
    if (m_inotify >= 0)
        m_folderWatch = ::inotify_add_watch(
            m_inotify, QFile::encodeName(QFileInfo(m_path).absolutePath()).constData(), folderEvents);
    holdFile(m_path);
}

void FileWatcher::releaseFile()
{
    if (m_inotify >= 0 && m_fileWatch >= 0)
        ::inotify_rm_watch(m_inotify, m_fileWatch);
    m_fileWatch = -1;
    if (m_heldFile >= 0 && closeHeldFile)
        closeHeldFile(m_heldFile);
    else if (m_heldFile >= 0)
        ::close(m_heldFile);
    m_heldFile = -1;
}

void FileWatcher::holdFile(const QString& path)
{
    releaseFile();
    // Held by identity only (O_PATH): it neither blocks unmounting nor counts as a reader.
    m_heldFile = ::open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC);
    if (m_heldFile < 0 || m_inotify < 0)
        return;
    // Watched through the descriptor, so that the watch is on the very file held even if the name
    // has moved on meanwhile.
    const QByteArray held = "/proc/self/fd/" + QByteArray::number(m_heldFile);
    m_fileWatch = ::inotify_add_watch(m_inotify, held.constData(), fileEvents);
}

bool FileWatcher::holdsLinkedFile() const
{
    struct stat held { };
    return m_heldFile >= 0 && ::fstat(m_heldFile, &held) == 0 && held.st_nlink > 0;
}

void FileWatcher::processPendingEvents()
{
    if (m_inotify < 0)
        return;
    const QByteArray name = QFile::encodeName(QFileInfo(m_path).fileName());
    bool relevant = false;
    readInotifyEvents(m_inotify, [&](const inotify_event& event) {
        if (event.mask & IN_Q_OVERFLOW)
            relevant = true;
        else if (event.wd == m_fileWatch && (event.mask & fileEvents))
            relevant = true;
        else if (event.wd == m_folderWatch) {
            // The folder itself moved or went away, or something happened under our file's name.
            if (event.mask & (IN_MOVE_SELF | IN_DELETE_SELF))
                relevant = true;
            else if (event.len > 0 && name == event.name) {
                relevant = true;
                noteEventUnderName(event.mask, event.cookie);
            } else if (event.len > 0 && (event.mask & IN_MOVED_TO) && m_leavingCookie != 0
                && event.cookie == m_leavingCookie) {
                noteRenamedWithinFolder(QFile::decodeName(event.name));
            }
        }
    });
    if (relevant)
        scheduleReport();
}

void FileWatcher::noteEventUnderName(uint32_t mask, uint32_t cookie)
{
    if (mask & IN_MOVED_FROM)
        m_leavingCookie = cookie;
    // Another file took the name (a save by rename, or a file created again): hold that one at
    // once rather than at the report, so that a rename of it before then is seen as a move.
    if (mask & (IN_CREATE | IN_MOVED_TO))
        holdFile(m_path);
}

void FileWatcher::noteRenamedWithinFolder(const QString& newName)
{
    m_leavingCookie = 0;
    // The file that had the name was renamed within the folder. When it was gone from the name
    // before it could be held, it is found under its new name.
    if (!holdsLinkedFile())
        holdFile(QFileInfo(m_path).absoluteDir().filePath(newName));
}

void FileWatcher::scheduleReport()
{
    if (m_reportPending)
        return;
    m_reportPending = true;
    m_reportJob = m_scheduler->schedule(coalescingDelay, this, [this] { report(); });
}

QString FileWatcher::heldFilePath() const
{
    if (m_heldFile < 0)
        return QString();
    char buffer[PATH_MAX];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(m_heldFile);
    const ssize_t length = ::readlink(link.constData(), buffer, sizeof buffer);
    if (length <= 0 || size_t(length) >= sizeof buffer)
        return QString();
    return QFile::decodeName(QByteArray(buffer, length));
}

void FileWatcher::report()
{
    m_reportPending = false;
    const QByteArray path = QFile::encodeName(m_path);
    struct stat held { };
    struct stat atPath { };
    const bool heldLinked = m_heldFile >= 0 && ::fstat(m_heldFile, &held) == 0 && held.st_nlink > 0;
    const bool pathExists = ::stat(path.constData(), &atPath) == 0;
    const bool sameFile
        = heldLinked && pathExists && held.st_dev == atPath.st_dev && held.st_ino == atPath.st_ino;

    if (heldLinked && !pathExists) {
        // Nothing carries the name any more while our file still exists: it was renamed or moved.
        const QString newPath = heldFilePath();
        if (!newPath.isEmpty() && newPath != m_path) {
            m_path = newPath;
            arm();
            if (onDidMove)
                onDidMove(m_path);
            return;
        }
    }
    // The file at the path was replaced, deleted or created: watch whatever carries the name now.
    if (!sameFile)
        arm();
    if (onDidChange)
        onDidChange();
}
