#pragma once

#include "platform/Scheduler.h"

#include <QObject>
#include <QString>

#include <functional>

class QSocketNotifier;

// Tells the main thread when a file changes or moves, like a file presenter. It watches the file and
// its folder through inotify and keeps the file open, so that it keeps working when another
// program replaces the file by renaming a new one over it (as editors and Vesk's own saves do),
// when the file is deleted and created again, and when the file or its folder is renamed or moved:
// the open file tells where it went. Events arriving in a burst are reported once.
class FileWatcher : public QObject {
    Q_OBJECT
public:
    // Events closer together than this are reported once; it also lets an editor finish a save
    // that renames the old file away before the new one takes its name.
    static constexpr double coalescingDelay = 0.1;

    explicit FileWatcher(
        const QString& path, Scheduler* scheduler = Scheduler::system(), QObject* parent = nullptr);
    ~FileWatcher() override;

    // The path of the watched file. A move updates it before onDidMove runs.
    const QString& path() const { return m_path; }
    // Watches another path from now on.
    void setPath(const QString& path);

    // The file's content or its presence changed (or it was replaced by another file).
    std::function<void()> onDidChange;
    // The file was renamed or moved; the argument is its new absolute path.
    std::function<void(const QString&)> onDidMove;

    // Closes a descriptor of a file it held. A file that another replaced lives on only through it,
    // and closing the last hold on a long file frees its cached pages, which takes milliseconds: the
    // owner may hand the descriptor to another thread to be closed. Unset: closed here.
    std::function<void(int)> closeHeldFile;

    // Takes in the notifications the kernel has queued, without waiting for the event loop. The
    // report still follows through the scheduler.
    void processPendingEvents();

private:
    void arm();
    void disarm();
    void holdFile(const QString& path);
    void releaseFile();
    bool holdsLinkedFile() const;
    void noteEventUnderName(uint32_t mask, uint32_t cookie);
    void noteRenamedWithinFolder(const QString& newName);
    void scheduleReport();
    void report();
    QString heldFilePath() const;

    Scheduler* m_scheduler;
    QString m_path;
    int m_inotify = -1;
    int m_fileWatch = -1;
    int m_folderWatch = -1;
    int m_heldFile = -1;
    // The move cookie of the last rename away from the watched name, to find where it went.
    uint32_t m_leavingCookie = 0;
    QSocketNotifier* m_notifier = nullptr;
    bool m_reportPending = false;
    ScheduledJob m_reportJob;
};
