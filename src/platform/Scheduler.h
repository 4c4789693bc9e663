#pragma once

#include <QPointer>

#include <functional>
#include <memory>

class QObject;

// A delayed job that may still be cancelled. Copies share the job; a default-constructed handle
// refers to nothing.
class ScheduledJob {
public:
    ScheduledJob() = default;

    void cancel();
    // True until the job has run or was cancelled (or its context object was destroyed).
    bool isPending() const;

    struct State {
        bool cancelled = false;
        bool finished = false;
    };
    explicit ScheduledJob(std::shared_ptr<State> state) : m_state(std::move(state)) { }

private:
    std::shared_ptr<State> m_state;
};

// The one seam through which Vesk reads monotonic time and runs delayed work on the main thread.
// Production code uses the Qt event loop; tests use ManualScheduler and advance time themselves.
class Scheduler {
public:
    virtual ~Scheduler();

    // Monotonic time in seconds; only differences are meaningful.
    virtual double now() const = 0;

    // Runs job on the main thread after delaySeconds (0 means the next turn of the event loop).
    // The job is dropped when context is destroyed first, so it never touches a dead object.
    virtual ScheduledJob schedule(double delaySeconds, QObject* context, std::function<void()> job) = 0;

    // The scheduler backed by the Qt event loop and a steady clock.
    static Scheduler* system();
};
