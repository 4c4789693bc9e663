#include "document/ReplacedFileWatcher.h"

#include "document/DocumentLog.h"
#include "document/DocumentService.h"
#include "document/DocumentWriteLock.h"
#include "document/FileWrites.h"
#include "platform/InotifyEvents.h"

#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t keptFileEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;
// While a kept file stays open after activity, it is looked at again after these delays, doubling.
constexpr double firstRecheckDelay = 0.02;
constexpr int maxRechecks = 8;
// Rewrites of the file at the target that find it changed first are tried again this often.
constexpr int maxReplaceAttempts = 3;

int appendTo(const QString& target, const QByteArray& bytes)
{
    // Non-blocking, so that a FIFO in the file's place cannot hang the application.
    const int fd
        = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    struct stat info { };
    int code = ::fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : EINVAL;
    if (!code)
        code = writeAll(fd, bytes);
    if (!code && ::fsync(fd) != 0)
        code = errno;
    ::close(fd);
    return code;
}

} // namespace

ReplacedFileWatcher::ReplacedFileWatcher(Scheduler* scheduler, QObject* parent)
    : QObject(parent), m_scheduler(scheduler)
{ }

bool ReplacedFileWatcher::startWatching()
{
    // Made once a file is kept, which few saves need, so that an open list does not hold an
    // instance it never uses.
    if (m_inotify >= 0 || m_toldWatchingFails)
        return m_inotify >= 0;
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify < 0) {
        qCWarning(lcDocument, "cannot watch replaced files: %s", strerror(errno));
        m_toldWatchingFails = true;
        return false;
    }
    m_notifier = new QSocketNotifier(m_inotify, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ReplacedFileWatcher::readEvents);
    return true;
}

ReplacedFileWatcher::~ReplacedFileWatcher()
{
    clear();
    if (m_notifier)
        m_notifier->setEnabled(false);
    closeInotifyLater(m_inotify);
}

void ReplacedFileWatcher::keep(const FileSnapshot& file)
{
    if (!file.isValid())
        return;
    Kept kept {file};
    // A lease is broken by a signal when another process opens the file while it is held; the
    // default one would end this program. The lease is held only for an instant, and this signal
    // is ignored unless a program asks for it.
    ::fcntl(file.fd(), F_SETSIG, SIGURG);
    if (startWatching()) {
        // The file may have no name any more; its descriptor still leads to it.
        const QByteArray link = "/proc/self/fd/" + QByteArray::number(file.fd());
        kept.watch = ::inotify_add_watch(m_inotify, link.constData(), keptFileEvents);
    }
    m_kept.push_back(std::move(kept));
    if (int(m_kept.size()) > maxKeptFiles) {
        qCWarning(lcDocument, "other programs hold too many replaced files open; letting one go");
        release(m_kept.front());
        m_kept.erase(m_kept.begin());
    }
    // A write and close that came before the watch was in place are not reported: look soon anyway.
    m_rechecks = 0;
    scheduleRecheck();
}

bool ReplacedFileWatcher::needsNoKeeping(const FileSnapshot& file)
{
    if (!file.isValid())
        return true;
    // As in keep: a lease broken while held must not end this program.
    ::fcntl(file.fd(), F_SETSIG, SIGURG);
    // Read under the lease: a program opening the file for writing meanwhile waits until it is let go.
    if (::fcntl(file.fd(), F_SETLEASE, F_RDLCK) != 0)
        return false;
    ContentMark now;
    const bool unchanged = markFile(file.fd(), now, nullptr, &file.mark()) == 0 && now == file.mark();
    ::fcntl(file.fd(), F_SETLEASE, F_UNLCK);
    return unchanged;
}

void ReplacedFileWatcher::release(Kept& kept)
{
    if (kept.watch >= 0 && m_inotify >= 0)
        ::inotify_rm_watch(m_inotify, kept.watch);
    kept.watch = -1;
}

void ReplacedFileWatcher::clear()
{
    for (Kept& kept : m_kept)
        release(kept);
    m_kept.clear();
    m_recheckJob.cancel();
}

ReplacedFileWatcher::Writers ReplacedFileWatcher::writersOf(Kept& kept)
{
    if (kept.leases) {
        // A read lease is granted only while nobody, this process included, has the file open
        // for writing; it is let go at once, it only answers that question.
        if (::fcntl(kept.file.fd(), F_SETLEASE, F_RDLCK) == 0) {
            ::fcntl(kept.file.fd(), F_SETLEASE, F_UNLCK);
            return Writers::gone;
        }
        if (errno == EAGAIN)
            return Writers::present;
        // Not the file's owner, or a file system without leases: look at the file on every
        // close and a bounded number of times instead.
        if (!m_toldLeasesFail)
            qCWarning(lcDocument, "cannot tell when other programs stop writing replaced files: %s",
                strerror(errno));
        m_toldLeasesFail = true;
        kept.leases = false;
    }
    return Writers::unknown;
}

ReplacedFileWatcher::Settled ReplacedFileWatcher::settle(
    const QString& target, const ContentMark& lastWritten)
{
    struct LateWrite {
        ContentMark before;
        QByteArray now;
    };
    // Gathered first and put right afterwards: putting right may keep more files.
    std::vector<LateWrite> lateWrites;
    bool stillOpen = false;
    for (auto it = m_kept.begin(); it != m_kept.end();) {
        const Writers writers = writersOf(*it);
        if (writers == Writers::present) {
            stillOpen = true;
            ++it;
            continue;
        }
        // Read whole only when something was written: a long list is mostly left as it was.
        ContentMark mark;
        QByteArray now;
        int code = markFile(it->file.fd(), mark, nullptr, &it->file.mark());
        if (!code && mark != it->file.mark())
            code = readFileFrom(it->file.fd(), 0, now);
        if (code)
            qCWarning(lcDocument, "cannot read a replaced file: %s", strerror(code));
        else if (mark != it->file.mark()) {
            lateWrites.push_back({it->file.mark(), now});
            ++m_lateWrites;
            it->file.setMark(ContentMark::of(now));
        }
        if (writers == Writers::gone || ++it->checks >= maxUnleasedChecks) {
            release(*it);
            it = m_kept.erase(it);
        } else {
            stillOpen = true;
            ++it;
        }
    }
    if (stillOpen)
        scheduleRecheck();
    else
        m_recheckJob.cancel();

    Settled result = Settled::nothing;
    for (const LateWrite& late : lateWrites)
        result = std::max(result, putRight(target, late.before, late.now, lastWritten));
    return result;
}

ReplacedFileWatcher::Settled ReplacedFileWatcher::putRight(
    const QString& target, const ContentMark& before, const QByteArray& now, const ContentMark& lastWritten)
{
    const auto failed = [&](const QString& why) {
        qCWarning(lcDocument, "cannot put another program's late write into %s: %s", qPrintable(target),
            qPrintable(why));
        return Settled::nothing;
    };
    const DocumentWriteLock lock(target);
    // Added to the end: add the same to the file that carries the name now, as if it had gone there.
    if (before.isPrefixOf(now)) {
        const int code = appendTo(target, now.mid(before.size()));
        if (!code)
            return Settled::appended;
        if (code == ENOENT)
            return failed(QStringLiteral("the list is gone"));
    }
    // Rewritten: the other program's text goes back on disk, with what was added to ours since.
    // (A list deleted meanwhile stays deleted, as it would for a write into the deleted file.)
    const DocumentService service;
    for (int attempt = 0; attempt < maxReplaceAttempts; ++attempt) {
        FileSnapshot live;
        if (const auto error = service.readSnapshot(target, live))
            return failed(error->description());
        QByteArray text = now;
        if (lastWritten.size() > 0 && lastWritten.isPrefixOf(live.bytes()))
            text += live.bytes().mid(lastWritten.size());
        DocumentService::GuardedWriteOutcome outcome;
        QList<FileSnapshot> replaced;
        const auto error = service.writeContents(text, target, live, outcome, nullptr, &replaced);
        for (const FileSnapshot& file : replaced)
            keep(file);
        if (error)
            return failed(error->description());
        if (outcome != DocumentService::GuardedWriteOutcome::fileChangedFirst)
            return Settled::replaced;
    }
    return failed(QStringLiteral("it keeps changing"));
}

void ReplacedFileWatcher::readEvents()
{
    bool active = false;
    readInotifyEvents(m_inotify, [&active](const inotify_event& event) {
        active = active || (event.mask & (keptFileEvents | IN_Q_OVERFLOW));
    });
    if (!active || m_kept.empty())
        return;
    m_rechecks = 0;
    if (onActivity)
        onActivity();
}

void ReplacedFileWatcher::scheduleRecheck()
{
    if (m_recheckJob.isPending() || m_rechecks >= maxRechecks)
        return;
    const double delay = firstRecheckDelay * double(1 << m_rechecks);
    ++m_rechecks;
    m_recheckJob = m_scheduler->schedule(delay, this, [this] {
        if (onActivity && !m_kept.empty())
            onActivity();
    });
}
