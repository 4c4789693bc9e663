#include "document/DocumentWriteLock.h"

#include "document/DocumentLog.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#ifndef sigev_notify_thread_id
#define sigev_notify_thread_id _sigev_un._tid
#endif

namespace {

// The signal that interrupts a blocking lock call of this thread once the wait has lasted too long.
const int wakeUpSignal = SIGRTMIN + 4;
constexpr long repeatNanoseconds = 100'000'000;

void ignoreWakeUp(int) { }

// Interrupts blocking calls of the calling thread after a delay, and every 0.1 s after that, so that
// a signal arriving just before the call starts cannot leave it waiting for good.
class ThreadAlarm {
public:
    explicit ThreadAlarm(double seconds)
    {
        // Installed once and kept: a signal still on its way after the timer is gone must not
        // find the default action, which ends the program. No SA_RESTART: the call must return.
        static const bool installed = [] {
            struct sigaction action { };
            action.sa_handler = ignoreWakeUp;
            sigemptyset(&action.sa_mask);
            return ::sigaction(wakeUpSignal, &action, nullptr) == 0;
        }();
        sigevent event {};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = wakeUpSignal;
        event.sigev_notify_thread_id = ::gettid();
        if (!installed || ::timer_create(CLOCK_MONOTONIC, &event, &m_timer) != 0)
            return;
        m_armed = true;
        const auto whole = time_t(seconds);
        const itimerspec when {{0, repeatNanoseconds}, {whole, long((seconds - double(whole)) * 1e9)}};
        ::timer_settime(m_timer, 0, &when, nullptr);
    }
    ~ThreadAlarm()
    {
        if (m_armed)
            ::timer_delete(m_timer);
    }
    ThreadAlarm(const ThreadAlarm&) = delete;
    ThreadAlarm& operator=(const ThreadAlarm&) = delete;
    bool isArmed() const { return m_armed; }

private:
    timer_t m_timer {};
    bool m_armed = false;
};

} // namespace

DocumentWriteLock::DocumentWriteLock(const QString& path)
{
    const QFileInfo file(path);
    const QString resolved = file.canonicalFilePath();
    const QString folder = QFileInfo(resolved.isEmpty() ? file.absoluteFilePath() : resolved).absolutePath();
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        qCWarning(lcDocument, "cannot open %s to lock it: %s", qPrintable(folder), strerror(errno));
        return;
    }
    int code = ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    if (code == EWOULDBLOCK) {
        // Another writer holds it from its check to its rename, a few milliseconds. A blocking
        // wait lets the kernel hand the lock over in turn; the alarm keeps a writer that stopped
        // while holding it from freezing this one.
        const ThreadAlarm alarm(maxWaitSeconds);
        code = alarm.isArmed() ? 0 : EWOULDBLOCK;
        timespec start {};
        ::clock_gettime(CLOCK_MONOTONIC, &start);
        while (!code && ::flock(fd, LOCK_EX) != 0) {
            timespec now {};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            if (errno != EINTR)
                code = errno;
            else if (double(now.tv_sec - start.tv_sec) + double(now.tv_nsec - start.tv_nsec) / 1e9
                >= maxWaitSeconds)
                code = EWOULDBLOCK;
        }
    }
    if (code) {
        qCWarning(lcDocument, "writing %s without its lock: %s", qPrintable(path),
            code == EWOULDBLOCK ? "another writer keeps holding it" : strerror(code));
        ::close(fd);
        return;
    }
    m_fd = fd;
}

DocumentWriteLock::~DocumentWriteLock()
{
    // Closing the folder releases the lock.
    if (m_fd >= 0)
        ::close(m_fd);
}
