#pragma once

#include "document/ContentMark.h"
#include "document/FileSnapshot.h"
#include "platform/Scheduler.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QSocketNotifier;

// Looks after the files that saves replaced. A program that opened the file before a save renamed a
// new one over it can still write into the old one afterwards, where nobody would read it again. So
// each replaced file is kept open and watched (an inotify watch follows the file, not its name) until
// no other program holds it open for writing any more; then whatever was written into it after the
// save read it is moved onto the file that now carries the name. Whether a file is still open for
// writing comes from a read lease, which the kernel grants only when it is not. Main thread only.
class ReplacedFileWatcher : public QObject {
    Q_OBJECT
public:
    // Beyond this many, the oldest kept file is let go, so that a program holding every file open
    // cannot use up this process's descriptors.
    static constexpr int maxKeptFiles = 64;
    // Where leases are not available: how often a kept file is looked at before it is let go.
    static constexpr int maxUnleasedChecks = 32;

    explicit ReplacedFileWatcher(Scheduler* scheduler = Scheduler::system(), QObject* parent = nullptr);
    ~ReplacedFileWatcher() override;

    // Keeps file, which a save has just replaced; file.mark() marks what it is known to hold,
    // anything else found in it later was written by another program.
    void keep(const FileSnapshot& file);
    // Whether a file a save has just replaced needs no keeping: no program has it open for writing,
    // so none can write into it any more, and it still holds what file.mark() marks. Reads the
    // file piece by piece; any thread.
    static bool needsNoKeeping(const FileSnapshot& file);
    int keptCount() const { return int(m_kept.size()); }
    // How many late writes were found in kept files so far.
    int lateWriteCount() const { return m_lateWrites; }
    // Lets every kept file go.
    void clear();

    enum class Settled {
        // Nothing was written late into the files that could be settled.
        nothing,
        // Late writes only added to the end of replaced files; the same was added to the file at
        // the target, where the document's own text stays.
        appended,
        // A replaced file was rewritten late: its text now stands at the target instead of the
        // document's own.
        replaced,
    };
    // Moves what was written late into kept files that no other program can write into any more
    // onto the file at target, and lets those files go. lastWritten marks the text the document last
    // wrote there: what was added after it is kept when a rewritten file's text takes its place.
    Settled settle(const QString& target, const ContentMark& lastWritten);

    // Something was written into a kept file, or one was closed: settle may have work now. Also
    // called again a little later while a kept file stays open, as the kernel reports a close just
    // before the closing program lets go of the file.
    std::function<void()> onActivity;

private:
    struct Kept {
        FileSnapshot file;
        int watch = -1;
        bool leases = true;
        int checks = 0;
    };
    enum class Writers { gone, present, unknown };

    // Makes the inotify instance if there is none yet; false when there can be none.
    bool startWatching();
    Writers writersOf(Kept& kept);
    void release(Kept& kept);
    void readEvents();
    void scheduleRecheck();
    Settled putRight(const QString& target, const ContentMark& before, const QByteArray& now,
        const ContentMark& lastWritten);

    Scheduler* m_scheduler;
    int m_inotify = -1;
    QSocketNotifier* m_notifier = nullptr;
    std::vector<Kept> m_kept;
    int m_rechecks = 0;
    int m_lateWrites = 0;
    bool m_toldLeasesFail = false;
    bool m_toldWatchingFails = false;
    ScheduledJob m_recheckJob;
};
