#pragma once

#include "app/InstanceMessage.h"
#include "app/SingleInstanceSocket.h"

#include <QObject>
#include <QStringList>

#include <memory>

class QLockFile;
class QSocketNotifier;
class Scheduler;

// Keeps one Vesk running per user. The first launch becomes the running instance: it holds a lock
// and listens on a socket in a private per-user folder. A later launch finds it there, hands it
// its request (files to open, or "toggle the panels") and exits.
//
//     SingleInstance instance;
//     if (instance.start() == SingleInstance::Role::secondary)
//         return instance.sendOpenRequest(paths) ? 0 : 1;
//     connect(&instance, &SingleInstance::openRequested, ...);
class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Role {
        // start() has not run.
        undecided,
        // This process is the running instance and receives the requests.
        primary,
        // Another process is the running instance; send it the request.
        secondary,
        // Neither could be arranged (no private folder, or a running instance that never answers);
        // errorString() says why. The caller may run without forwarding.
        unavailable,
    };
    Q_ENUM(Role)

    // A connection that has not delivered a whole request after this long is dropped.
    static constexpr double incompleteRequestTimeout = 5;

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // The timer of incomplete requests; the system scheduler unless a test sets another.
    void setScheduler(Scheduler* scheduler) { m_scheduler = scheduler; }

    // Decides this process's role. Becoming the running instance needs the application object
    // (its event loop serves the socket); connect to the signals before the loop runs. A lock left by a
    // process that is gone, and a socket left by an instance that crashed, are taken over. While another live
    // process holds the lock but does not listen yet (it is starting), waits up to waitMilliseconds for it.
    Role start(int waitMilliseconds = 3000);
    Role role() const { return m_role; }
    QString errorString() const { return m_errorString; }

    QString socketPath() const { return m_directory.isEmpty() ? QString() : m_directory + socketName; }
    QString lockPath() const { return m_directory.isEmpty() ? QString() : m_directory + lockName; }

    // Hands the running instance the files to open; relative paths are taken from the current
    // folder. An empty list asks it only to come forward. Blocks until the running instance
    // confirms (true) or the time is up (false, with errorString()).
    bool sendOpenRequest(const QStringList& paths, int timeoutMilliseconds = 5000);
    // Asks the running instance to hide or show its panels, as the global shortcut does.
    bool sendToggle(int timeoutMilliseconds = 5000);

    // Sends one message to the instance listening at socketPath and waits for its confirmation.
    // Uses no event loop, so it may run on any thread and before the application object exists.
    static bool send(const QString& socketPath, const InstanceMessage& message, int timeoutMilliseconds,
        QString* error = nullptr);

    // The folder of the socket and the lock: $XDG_RUNTIME_DIR when it is a folder of this user that
    // no one else may write to, otherwise the folder "vesk-<uid>" in the temporary folder (created
    // private, mode 0700). Empty, with error set, when no such folder can be had safely.
    static QString runtimeDirectory(QString* error = nullptr);

Q_SIGNALS:
    // One signal per request from a later launch, with its absolute paths (possibly none). Emitted
    // on a later turn of the event loop than the one that read the request.
    void openRequested(const QStringList& paths);
    void toggleRequested();

private:
    static constexpr char socketName[] = "/vesk.socket";
    static constexpr char lockName[] = "/vesk.lock";

    // A later launch's connection while its request arrives.
    class Connection;

    bool becomePrimary();
    void acceptConnections();
    void readRequest(Connection* connection);

    Scheduler* m_scheduler;
    Role m_role = Role::undecided;
    QString m_errorString;
    QString m_directory;
    std::unique_ptr<QLockFile> m_lock;
    SingleInstanceSocket m_listener;
    QSocketNotifier* m_listenerNotifier = nullptr;
};
