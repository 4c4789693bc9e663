#include "app/SingleInstance.h"
#include "app/InstanceMessage.h"
#include "platform/ManualScheduler.h"

#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {
using Status = InstanceMessage::Status;
using Kind = InstanceMessage::Kind;

Status decode(const QByteArray& bytes, InstanceMessage* message = nullptr, qsizetype* size = nullptr)
{
    InstanceMessage ignored;
    qsizetype ignoredSize = 0;
    return InstanceMessage::decode(bytes, message ? message : &ignored, size ? size : &ignoredSize);
}

QByteArray u32(quint32 value)
{
    QByteArray bytes(4, 0);
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray header(quint8 version, quint8 kind, quint32 payloadSize)
{
    return QByteArray("VESK") + char(version) + char(kind) + u32(payloadSize);
}

QByteArray withHeader(const QByteArray& payload)
{
    return header(1, 1, quint32(payload.size())) + payload;
}

QByteArray openMessage(const QList<QByteArray>& paths)
{
    QByteArray payload = u32(quint32(paths.size()));
    for (const QByteArray& path : paths)
        payload += u32(quint32(path.size())) + path;
    return withHeader(payload);
}

// Requests a running instance must refuse, most of them as soon as their first bytes show.
const QList<QByteArray> malformedRequests {"GET / HTTP/1.1\r\n\r\n", "VX", header(2, 1, 4) + u32(0),
    QByteArray("VESK") + char(2), header(1, 7, 0), header(1, 0, 0),
    header(1, 1, InstanceMessage::maximumPayloadSize + 1), header(1, 1, 0xFFFFFFFFu), header(1, 2, 1) + "x",
    header(1, 1, 0), openMessage({"relative.vesk"}), openMessage({""}), openMessage({"/bad\xff\xfe.vesk"}),
    openMessage({QByteArray("/nul\0x", 6)}),
    openMessage({"/" + QByteArray(InstanceMessage::maximumPathSize, 'a')}),
    // Counts and lengths that disagree with the payload.
    withHeader(u32(2) + u32(3) + "/ab"), withHeader(u32(1) + u32(40) + "/ab"),
    withHeader(u32(1) + u32(3) + "/abEXTRA"), withHeader(u32(InstanceMessage::maximumPathCount + 1))};

int mode(const QString& path)
{
    struct stat info { };
    return lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
}

// Sends on another thread, as a second launch would from its own process, while this thread's event loop
// serves the running instance.
bool sendFromAnotherThread(const std::function<bool()>& send)
{
    bool result = false;
    std::unique_ptr<QThread> thread(QThread::create([&] { result = send(); }));
    thread->start();
    while (!thread->isFinished())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    thread->wait();
    return result;
}

// A real second launch of the single-instance step; returns what it printed.
QByteArray launch(const QStringList& arguments, const QString& folder = QDir::currentPath())
{
    QProcess process;
    process.setWorkingDirectory(folder);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(SINGLE_INSTANCE_HELPER, arguments);
    return finished.wait(10000) && process.exitCode() == 0 ? process.readAllStandardOutput() : "failed";
}
} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_runtime;
    QString runtime() const { return m_runtime->path(); }

private Q_SLOTS:
    void init()
    {
        // Each case gets a fresh private runtime folder, so no instance outlives its case.
        m_runtime = std::make_unique<QTemporaryDir>();
        QVERIFY(QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime()));
        qunsetenv("TMPDIR");
    }

    void messagesAreReadWholeAndGarbageIsRefused()
    {
        for (const InstanceMessage& message : QList<InstanceMessage> {
                 {Kind::open, {"/home/me/Lists/work.vesk", "/tmp/a b/ünïcødé ✓.vesk", "/x\ny.vesk"}},
                 {Kind::open, {}}, {Kind::toggle, {}}}) {
            const QByteArray bytes = message.encode();
            for (qsizetype length = 0; length < bytes.size(); ++length)
                QCOMPARE(decode(bytes.left(length)), Status::incomplete);
            InstanceMessage read;
            qsizetype size = 0;
            // Bytes after the message are not part of it.
            QCOMPARE(decode(bytes + "trailing", &read, &size), Status::complete);
            QCOMPARE(read, message);
            QCOMPARE(size, bytes.size());
        }
        // The sender refuses what the receiver would refuse.
        QStringList many;
        for (quint32 i = 0; i <= InstanceMessage::maximumPathCount; ++i)
            many << QStringLiteral("/f%1").arg(i);
        for (const QStringList& paths :
            {QStringList {"relative.vesk"}, QStringList {"/" + QString(5000, 'a')}, many})
            QVERIFY((InstanceMessage {Kind::open, paths}.encode().isEmpty()));
        for (const QByteArray& bytes : malformedRequests)
            QVERIFY2(decode(bytes) == Status::malformed, bytes.toHex().constData());

        // Random damage never crashes the reader and never yields a relative path.
        const QByteArray good = openMessage({"/one.vesk", "/two/three.vesk"});
        QRandomGenerator random(7);
        for (int round = 0; round < 5000; ++round) {
            QByteArray bytes = good;
            for (int flips = 1 + random.bounded(4); flips > 0; --flips)
                bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
            bytes.truncate(random.bounded(int(bytes.size()) + 1));
            InstanceMessage read;
            qsizetype size = 0;
            if (decode(bytes, &read, &size) == Status::complete) {
                QVERIFY(size <= bytes.size());
                for (const QString& path : read.paths)
                    QVERIFY(path.startsWith('/'));
            }
        }
    }

    void theRuntimeFolderIsPrivate()
    {
        QString error;
        QCOMPARE(SingleInstance::runtimeDirectory(&error), runtime());
        // A runtime folder others may write to is not used; the private fallback is made instead.
        QTemporaryDir tmp;
        qputenv("TMPDIR", QFile::encodeName(tmp.path()));
        QVERIFY(QFile::setPermissions(runtime(), QFileDevice::Permissions(0x7777)));
        const QString fallback = tmp.path() + QStringLiteral("/vesk-%1").arg(geteuid());
        QCOMPARE(SingleInstance::runtimeDirectory(&error), fallback);
        QCOMPARE(mode(fallback), 0700);
        // Without XDG_RUNTIME_DIR: the fallback, and one found too open is closed up.
        qunsetenv("XDG_RUNTIME_DIR");
        QVERIFY(::chmod(QFile::encodeName(fallback).constData(), 0755) == 0);
        QCOMPARE(SingleInstance::runtimeDirectory(&error), fallback);
        QCOMPARE(mode(fallback), 0700);
        // Something planted in its place is refused with a reason.
        QVERIFY(QDir(fallback).removeRecursively() && QFile::link(runtime(), fallback));
        QVERIFY(SingleInstance::runtimeDirectory(&error).isEmpty() && !error.isEmpty());
        SingleInstance instance;
        QCOMPARE(instance.start(0), SingleInstance::Role::unavailable);
        QVERIFY(!instance.errorString().isEmpty());
        QVERIFY(QFile::remove(fallback));
        if (geteuid() == 0) {
            QVERIFY(QDir().mkdir(fallback));
            QVERIFY(::chown(QFile::encodeName(fallback).constData(), 65534, 65534) == 0);
            QVERIFY(SingleInstance::runtimeDirectory(&error).isEmpty());
            QVERIFY(error.contains(QStringLiteral("not a folder of this user")));
        }
    }

    void aLaterInstanceHandsItsRequestsToTheRunningOne()
    {
        SingleInstance primary;
        QCOMPARE(primary.start(), SingleInstance::Role::primary);
        QSignalSpy opened(&primary, &SingleInstance::openRequested);
        QSignalSpy toggled(&primary, &SingleInstance::toggleRequested);
        SingleInstance secondary;
        QCOMPARE(secondary.start(), SingleInstance::Role::secondary);
        // Even hours old, the lock of a live instance is not stale.
        QFile lock(primary.lockPath());
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(
            lock.setFileTime(QDateTime::currentDateTime().addSecs(-7200), QFileDevice::FileModificationTime));
        lock.close();
        QCOMPARE(SingleInstance().start(), SingleInstance::Role::secondary);

        // Relative paths are made absolute by the sender, from its own working folder.
        QTemporaryDir work;
        const QString savedCurrent = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work.path()));
        const QStringList sent
            = {"notes.vesk", "sub/../plans.vesk", "/elsewhere/abs.vesk", "file:///url/form.vesk", ""};
        QVERIFY(sendFromAnotherThread([&] { return secondary.sendOpenRequest(sent); }));
        QVERIFY(QDir::setCurrent(savedCurrent));
        QTRY_COMPARE(opened.size(), 1);
        const QString base = QDir(work.path()).canonicalPath();
        QCOMPARE(opened.first().first().toStringList(),
            (QStringList {
                base + "/notes.vesk", base + "/plans.vesk", "/elsewhere/abs.vesk", "/url/form.vesk"}));
        // One signal per request; an empty request asks only to come forward; toggles are their own.
        QVERIFY(sendFromAnotherThread([&] { return secondary.sendOpenRequest({}); }));
        QVERIFY(sendFromAnotherThread([&] { return secondary.sendToggle(); }));
        QTRY_COMPARE(toggled.size(), 1);
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened.at(1).first().toStringList(), QStringList());
    }

    // (A dead socket is replaced: the crashed instance taken over below leaves one.)
    void aSilentLockIsReported()
    {
        const QString socketPath = runtime() + "/vesk.socket";
        // A lock held by someone who does not answer: reported, not waited on forever.
        QLockFile held(runtime() + "/vesk.lock");
        held.setStaleLockTime(0);
        QVERIFY(held.tryLock(0));
        SingleInstance instance;
        QCOMPARE(instance.start(0), SingleInstance::Role::unavailable);
        QVERIFY(instance.errorString().contains(QStringLiteral("does not answer")));
        QString error;
        QVERIFY(!SingleInstance::send(socketPath, {Kind::toggle, {}}, 1000, &error));
        QVERIFY(!error.isEmpty());
    }

    void brokenRequestsAreDroppedAndTheInstanceKeepsServing()
    {
        ManualScheduler scheduler;
        SingleInstance primary;
        primary.setScheduler(&scheduler);
        QCOMPARE(primary.start(), SingleInstance::Role::primary);
        QSignalSpy opened(&primary, &SingleInstance::openRequested);
        QSignalSpy toggled(&primary, &SingleInstance::toggleRequested);
        for (const QByteArray& bytes : malformedRequests) {
            QLocalSocket client;
            client.connectToServer(primary.socketPath());
            QVERIFY(client.waitForConnected(5000));
            client.write(bytes);
            client.flush();
            // Cut off without an answer.
            QTRY_COMPARE(client.state(), QLocalSocket::UnconnectedState);
            QCOMPARE(client.bytesAvailable(), 0);
        }
        // Half a request is dropped once it has waited too long, not before.
        QLocalSocket slow;
        slow.connectToServer(primary.socketPath());
        QVERIFY(slow.waitForConnected(5000));
        slow.write(openMessage({"/slow.vesk"}).left(12));
        slow.flush();
        QTRY_COMPARE(scheduler.pendingCount(), 1);
        scheduler.advance(SingleInstance::incompleteRequestTimeout - 0.5);
        QCoreApplication::processEvents();
        QCOMPARE(slow.state(), QLocalSocket::ConnectedState);
        scheduler.advance(1);
        QTRY_COMPARE(slow.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(opened.size() + toggled.size(), 0);
        QVERIFY(sendFromAnotherThread([&] {
            return SingleInstance::send(primary.socketPath(), {Kind::toggle, {}}, 5000);
        }));
        QTRY_COMPARE(toggled.size(), 1);
        QCOMPARE(opened.size(), 0);
    }

    void secondProcessesForwardAndACrashedInstanceIsTakenOver()
    {
        QProcess crashed;
        crashed.start(SINGLE_INSTANCE_HELPER, {"--hold"});
        QVERIFY(crashed.waitForReadyRead(10000));
        QCOMPARE(crashed.readAllStandardOutput(), QByteArray("primary\n"));
        // Meanwhile it is the running instance for everyone else.
        QCOMPARE(launch({"--toggle"}), QByteArray("sent\n"));
        // Killed outright, it leaves its lock and its socket behind.
        ::kill(pid_t(crashed.processId()), SIGKILL);
        QVERIFY(crashed.waitForFinished(10000));
        QVERIFY(QFile::exists(runtime() + "/vesk.lock") && QFile::exists(runtime() + "/vesk.socket"));

        auto primary = std::make_unique<SingleInstance>();
        QCOMPARE(primary->start(), SingleInstance::Role::primary);
        QSignalSpy opened(primary.get(), &SingleInstance::openRequested);
        QSignalSpy toggled(primary.get(), &SingleInstance::toggleRequested);
        QTemporaryDir work;
        QCOMPARE(launch({"today.vesk", "/abs/later.vesk"}, work.path()), QByteArray("sent\n"));
        QTRY_COMPARE(opened.size(), 1);
        QCOMPARE(opened.first().first().toStringList(),
            (QStringList {QDir(work.path()).canonicalPath() + "/today.vesk", "/abs/later.vesk"}));
        QCOMPARE(launch({"--toggle"}), QByteArray("sent\n"));
        QTRY_COMPARE(toggled.size(), 1);
        QCOMPARE(opened.size(), 1);

        // With no instance left, a launch becomes the running one itself.
        primary.reset();
        QVERIFY(!QFile::exists(runtime() + "/vesk.socket"));
        QCOMPARE(launch({"--toggle"}), QByteArray("primary\n"));
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
