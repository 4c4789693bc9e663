#pragma once

#include <QObject>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Runs a document's file work on a thread of its own, one piece at a time, so that the interface
// thread never waits for the disk. Each piece's completion runs back on the thread that owns the
// writer: from its event loop, or at once from wait().
class DocumentWriter : public QObject {
    Q_OBJECT
public:
    explicit DocumentWriter(QObject* parent = nullptr);
    // Waits for the running work; a completion not yet run is dropped, so owners wait() first.
    ~DocumentWriter() override;

    // Runs work on the writer's thread, then done on this object's thread. Only when not busy.
    void start(std::function<void()> work, std::function<void()> done);
    // From start until done has begun to run.
    bool isBusy() const { return static_cast<bool>(m_done); }
    // Blocks until the running work has finished, then runs its completion here. Nothing when idle.
    void wait();
    // Lets go of garbage on the writer's thread: freeing a whole list takes as long as building it.
    void dispose(std::shared_ptr<const void> garbage);
    // Once the garbage handed over so far is freed, hands the memory that is free back to the system,
    // on the writer's thread: after a long list was loaded and the one before it freed, the C library
    // keeps hundreds of megabytes of free memory resident for the next allocations otherwise.
    void giveBackFreedMemory();

signals:
    // After each completion has run.
    void finished();

private:
    void run();
    // Queued from the writer's thread.
    Q_INVOKABLE void complete();

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Guarded by m_mutex.
    std::function<void()> m_work;
    std::vector<std::shared_ptr<const void>> m_garbage;
    bool m_givesBackMemory = false;
    bool m_workDone = false;
    bool m_stopping = false;
    // The owning thread's only.
    std::function<void()> m_done;
};
