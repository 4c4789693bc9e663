#include "SingleInstance.h"
#include "InstanceMessage.h"
#include "ManualScheduler.h"

#include <QDir>
#include <QFile>
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
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
using Status = InstanceMessage::Status;

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

QByteArray openPayload(const QList<QByteArray>& paths)
{
    QByteArray payload = u32(quint32(paths.size()));
    for (const QByteArray& path : paths)
        payload += u32(quint32(path.size())) + path;
    return payload;
}

QByteArray openMessage(const QList<QByteArray>& paths)
{
    const QByteArray payload = openPayload(paths);
    return header(1, 1, quint32(payload.size())) + payload;
}

int mode(const QString& path)
{
    struct stat info { };
    return lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
}

// A socket file with no one listening, as a crashed instance leaves it.
bool leaveDeadSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), name.size() + 1);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

// Sends on another thread, as a second launch would from its own process, while this thread's
// event loop serves the running instance.
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
} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_runtime;
    QByteArray m_savedRuntime;
    std::optional<QByteArray> m_savedTmp;

    void restoreTmp()
    {
        if (m_savedTmp)
            qputenv("TMPDIR", *m_savedTmp);
        else
            qunsetenv("TMPDIR");
    }

    QString runtime() const { return m_runtime->path(); }

private Q_SLOTS:
    void initTestCase()
    {
        m_savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        if (qEnvironmentVariableIsSet("TMPDIR"))
            m_savedTmp = qgetenv("TMPDIR");
    }

    void init()
    {
        // Each case gets a fresh private runtime folder, so no instance outlives its case.
        m_runtime = std::make_unique<QTemporaryDir>();
        QVERIFY(m_runtime->isValid());
        QVERIFY(QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime()));
        restoreTmp();
    }

    void cleanupTestCase()
    {
        qputenv("XDG_RUNTIME_DIR", m_savedRuntime);
        restoreTmp();
    }

    void messagesReadBackWholeAndOnlyWhenComplete()
    {
        const QList<InstanceMessage> messages = {
            {InstanceMessage::Kind::open,
                {"/home/me/Lists/work.vesk", "/tmp/a b/ünïcødé ✓.vesk", "/x\ny.vesk"}},
            {InstanceMessage::Kind::open, {}},
            {InstanceMessage::Kind::toggle, {}},
        };
        for (const InstanceMessage& message : messages) {
            const QByteArray bytes = message.encode();
            QVERIFY(!bytes.isEmpty());
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
        const InstanceMessage relative {InstanceMessage::Kind::open, {"relative.vesk"}};
        QVERIFY(relative.encode().isEmpty());
        const InstanceMessage tooLong {InstanceMessage::Kind::open, {"/" + QString(5000, 'a')}};
        QVERIFY(tooLong.encode().isEmpty());
        QStringList many;
        for (quint32 i = 0; i <= InstanceMessage::maximumPathCount; ++i)
            many << QStringLiteral("/f%1").arg(i);
        const InstanceMessage tooMany {InstanceMessage::Kind::open, many};
        QVERIFY(tooMany.encode().isEmpty());
    }

    void malformedMessagesAreRefusedAsSoonAsTheyShow()
    {
        QCOMPARE(decode("GET / HTTP/1.1\r\n\r\n"), Status::malformed);
        QCOMPARE(decode("V"), Status::incomplete);
        QCOMPARE(decode("VX"), Status::malformed);
        QCOMPARE(decode(header(2, 1, 4) + u32(0)), Status::malformed);
        QCOMPARE(decode(QByteArray("VESK") + char(2)), Status::malformed);
        QCOMPARE(decode(header(1, 7, 0)), Status::malformed);
        QCOMPARE(decode(header(1, 0, 0)), Status::malformed);
        // Too large: refused from the header alone, without waiting for the bytes.
        QCOMPARE(decode(header(1, 1, InstanceMessage::maximumPayloadSize + 1)), Status::malformed);
        QCOMPARE(decode(header(1, 1, 0xFFFFFFFFu)), Status::malformed);
        QCOMPARE(decode(header(1, 2, 1) + "x"), Status::malformed);
        QCOMPARE(decode(header(1, 1, 0)), Status::malformed);

        QCOMPARE(decode(openMessage({"/fine.vesk"})), Status::complete);
        QCOMPARE(decode(openMessage({"relative.vesk"})), Status::malformed);
        QCOMPARE(decode(openMessage({""})), Status::malformed);
        QCOMPARE(decode(openMessage({QByteArray("/bad\xff\xfe.vesk")})), Status::malformed);
        QCOMPARE(decode(openMessage({QByteArray("/nul\0x", 6)})), Status::malformed);
        QCOMPARE(decode(openMessage({"/" + QByteArray(InstanceMessage::maximumPathSize, 'a')})),
            Status::malformed);
        // Counts and lengths that disagree with the payload.
        QByteArray payload = u32(2) + u32(3) + "/ab";
        QCOMPARE(decode(header(1, 1, quint32(payload.size())) + payload), Status::malformed);
        payload = u32(1) + u32(40) + "/ab";
        QCOMPARE(decode(header(1, 1, quint32(payload.size())) + payload), Status::malformed);
        payload = u32(1) + u32(3) + "/abEXTRA";
        QCOMPARE(decode(header(1, 1, quint32(payload.size())) + payload), Status::malformed);
        payload = u32(InstanceMessage::maximumPathCount + 1);
        QCOMPARE(decode(header(1, 1, quint32(payload.size())) + payload), Status::malformed);

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
        QVERIFY(QDir(fallback).removeRecursively());
        QVERIFY(QFile::link(runtime(), fallback));
        QVERIFY(SingleInstance::runtimeDirectory(&error).isEmpty());
        QVERIFY(!error.isEmpty());
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
        QCOMPARE(primary.role(), SingleInstance::Role::undecided);
        QCOMPARE(primary.start(), SingleInstance::Role::primary);
        QVERIFY(QFileInfo(primary.socketPath()).dir().path() == runtime());
        QSignalSpy opened(&primary, &SingleInstance::openRequested);
        QSignalSpy toggled(&primary, &SingleInstance::toggleRequested);

        SingleInstance secondary;
        QCOMPARE(secondary.start(), SingleInstance::Role::secondary);

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
        QVERIFY(sendFromAnotherThread([&] { return secondary.sendOpenRequest({"/a.vesk", "/b.vesk"}); }));
        QTRY_COMPARE(opened.size(), 3);
        QCOMPARE(toggled.size(), 1);
        QCOMPARE(opened.at(1).first().toStringList(), QStringList());
        QCOMPARE(opened.at(2).first().toStringList(), (QStringList {"/a.vesk", "/b.vesk"}));
        QVERIFY(secondary.errorString().isEmpty());
    }

    void aLiveInstanceKeepsItsLockHoweverOld()
    {
        SingleInstance primary;
        QCOMPARE(primary.start(), SingleInstance::Role::primary);
        // Hours old, still held by a live process: not stale.
        QFile lock(primary.lockPath());
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(
            lock.setFileTime(QDateTime::currentDateTime().addSecs(-7200), QFileDevice::FileModificationTime));
        lock.close();
        SingleInstance second;
        QCOMPARE(second.start(), SingleInstance::Role::secondary);
        QVERIFY(QFile::exists(primary.socketPath()));
    }

    void aDeadSocketIsReplaced()
    {
        const QString socketPath = runtime() + "/vesk.socket";
        QVERIFY(leaveDeadSocket(socketPath));
        QVERIFY(QFileInfo::exists(socketPath));
        QLocalSocket probe;
        probe.connectToServer(socketPath);
        QVERIFY(!probe.waitForConnected(1000));

        SingleInstance primary;
        QCOMPARE(primary.start(), SingleInstance::Role::primary);
        QSignalSpy opened(&primary, &SingleInstance::openRequested);
        QVERIFY(sendFromAnotherThread([&] {
            return SingleInstance::send(socketPath, {InstanceMessage::Kind::open, {"/x.vesk"}}, 5000);
        }));
        QTRY_COMPARE(opened.size(), 1);
    }

    void aHeldLockWithNoOneListeningIsReportedNotWaitedOnForever()
    {
        QLockFile held(runtime() + "/vesk.lock");
        held.setStaleLockTime(0);
        QVERIFY(held.tryLock(0));
        SingleInstance instance;
        QCOMPARE(instance.start(0), SingleInstance::Role::unavailable);
        QVERIFY(instance.errorString().contains(QStringLiteral("does not answer")));
        // A running instance that is gone when the request is sent: the sender says so.
        QString error;
        QVERIFY(!SingleInstance::send(
            runtime() + "/vesk.socket", {InstanceMessage::Kind::toggle, {}}, 1000, &error));
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

        const QList<QByteArray> broken = {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", header(1, 1, 64 * 1024 * 1024),
            openMessage({"relative.vesk"}), header(9, 1, 4) + u32(0)};
        for (const QByteArray& bytes : broken) {
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

        QCoreApplication::processEvents();
        QCOMPARE(opened.size(), 0);
        QCOMPARE(toggled.size(), 0);
        QVERIFY(sendFromAnotherThread([&] {
            return SingleInstance::send(primary.socketPath(), {InstanceMessage::Kind::toggle, {}}, 5000);
        }));
        QTRY_COMPARE(toggled.size(), 1);
        QCOMPARE(opened.size(), 0);
    }

    void aSecondProcessForwardsItsFilesAndExits()
    {
        SingleInstance primary;
        QCOMPARE(primary.start(), SingleInstance::Role::primary);
        QSignalSpy opened(&primary, &SingleInstance::openRequested);
        QSignalSpy toggled(&primary, &SingleInstance::toggleRequested);

        QTemporaryDir work;
        QProcess launch;
        launch.setWorkingDirectory(work.path());
        QSignalSpy finished(&launch, &QProcess::finished);
        launch.start(SINGLE_INSTANCE_HELPER, {"today.vesk", "/abs/later.vesk"});
        QVERIFY(finished.wait(10000));
        QCOMPARE(launch.exitStatus(), QProcess::NormalExit);
        QCOMPARE(launch.readAllStandardOutput(), QByteArray("sent\n"));
        QCOMPARE(launch.exitCode(), 0);
        QTRY_COMPARE(opened.size(), 1);
        QCOMPARE(opened.first().first().toStringList(),
            (QStringList {QDir(work.path()).canonicalPath() + "/today.vesk", "/abs/later.vesk"}));

        launch.start(SINGLE_INSTANCE_HELPER, {"--toggle"});
        QVERIFY(finished.wait(10000));
        QCOMPARE(launch.exitCode(), 0);
        QTRY_COMPARE(toggled.size(), 1);
        QCOMPARE(opened.size(), 1);
    }

    void anInstanceThatCrashedIsTakenOver()
    {
        // A running instance killed outright leaves its lock and its socket behind.
        QProcess crashed;
        crashed.start(SINGLE_INSTANCE_HELPER, {"--hold"});
        QVERIFY(crashed.waitForReadyRead(10000));
        QCOMPARE(crashed.readAllStandardOutput(), QByteArray("primary\n"));
        QVERIFY(QFile::exists(runtime() + "/vesk.lock"));
        QVERIFY(QFile::exists(runtime() + "/vesk.socket"));
        // Meanwhile it is the running instance for everyone else; a toggle with no one running
        // would instead start Vesk normally.
        QProcess toggle;
        toggle.start(SINGLE_INSTANCE_HELPER, {"--toggle"});
        QVERIFY(toggle.waitForFinished(10000));
        QCOMPARE(toggle.exitCode(), 0);
        ::kill(pid_t(crashed.processId()), SIGKILL);
        QVERIFY(crashed.waitForFinished(10000));
        QVERIFY(QFile::exists(runtime() + "/vesk.lock"));
        QVERIFY(QFile::exists(runtime() + "/vesk.socket"));

        auto primary = std::make_unique<SingleInstance>();
        QCOMPARE(primary->start(), SingleInstance::Role::primary);
        QSignalSpy opened(primary.get(), &SingleInstance::openRequested);
        QProcess launch;
        QSignalSpy finished(&launch, &QProcess::finished);
        launch.start(SINGLE_INSTANCE_HELPER, {"/after/crash.vesk"});
        QVERIFY(finished.wait(10000));
        QCOMPARE(launch.exitCode(), 0);
        QTRY_COMPARE(opened.size(), 1);
        QCOMPARE(opened.first().first().toStringList(), QStringList {"/after/crash.vesk"});

        // With no instance left, a launch becomes the running one itself.
        primary.reset();
        QVERIFY(!QFile::exists(runtime() + "/vesk.socket"));
        launch.start(SINGLE_INSTANCE_HELPER, {"--toggle"});
        QVERIFY(finished.wait(10000));
        QCOMPARE(launch.readAllStandardOutput(), QByteArray("primary\n"));
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
