#include "sync/DocumentWriter.h"

#include <QPointer>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

void releaseFreePages()
{
#if defined(__GLIBC__)
    // Every arena, also the pages free in the middle of the heap, not only at its top.
    malloc_trim(0);
#endif
}

} // namespace

DocumentWriter::DocumentWriter(QObject* parent) : QObject(parent) { }

DocumentWriter::~DocumentWriter()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void DocumentWriter::dispose(std::shared_ptr<const void> garbage)
{
    {
        const std::lock_guard lock(m_mutex);
        m_garbage.push_back(std::move(garbage));
    }
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
    m_changed.notify_all();
}

void DocumentWriter::giveBackFreedMemory()
{
    {
        const std::lock_guard lock(m_mutex);
        m_givesBackMemory = true;
    }
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
    m_changed.notify_all();
}

void DocumentWriter::start(std::function<void()> work, std::function<void()> done)
{
    Q_ASSERT(!isBusy());
    m_done = std::move(done);
    {
        const std::lock_guard lock(m_mutex);
        m_work = std::move(work);
        m_workDone = false;
    }
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
    m_changed.notify_all();
}

void DocumentWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(
            lock, [this] { return m_stopping || m_work || !m_garbage.empty() || m_givesBackMemory; });
        if (!m_garbage.empty()) {
            std::vector<std::shared_ptr<const void>> garbage = std::exchange(m_garbage, {});
            lock.unlock();
            garbage.clear();
            lock.lock();
            continue;
        }
        if (std::exchange(m_givesBackMemory, false)) {
            lock.unlock();
            releaseFreePages();
            lock.lock();
            continue;
        }
        if (!m_work)
            return;
        std::function<void()> work = std::exchange(m_work, {});
        lock.unlock();
        work();
        // Let go here, so that the completion holds the only references to what the work used.
        work = nullptr;
        lock.lock();
        m_workDone = true;
        m_changed.notify_all();
        // Posted while the lock is held, so that the destructor cannot run in between. By name, so
        // that nothing made on this thread is read on the owner's before complete() takes the lock:
        // Qt's event queue orders them, but ThreadSanitizer cannot see that.
        QMetaObject::invokeMethod(this, "complete", Qt::QueuedConnection);
    }
}

void DocumentWriter::wait()
{
    if (!isBusy())
        return;
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_workDone; });
    }
    complete();
}

void DocumentWriter::complete()
{
    {
        const std::lock_guard lock(m_mutex);
        if (!m_workDone || !m_done)
            return;
        m_workDone = false;
    }
    // Moved out first: the completion may start the next piece of work, or delete the writer.
    const std::function<void()> done = std::exchange(m_done, {});
    QPointer self(this);
    done();
    if (self)
        emit finished();
}
