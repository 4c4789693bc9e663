#include "DesktopFileRevealer.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

// Stands in for a file manager on a private bus: records what it was asked to show.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shownItems;
    QString startupId;

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString& startup)
    {
        shownItems.append(uris);
        startupId = startup;
    }
};

class FileRevealerTest : public QObject {
    Q_OBJECT

    QProcess m_bus;
    QString m_address;

private Q_SLOTS:
    void initTestCase()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            QSKIP("dbus-daemon is not installed");
        m_bus.start(daemon,
            {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        QVERIFY(m_bus.waitForStarted());
        QVERIFY(m_bus.waitForReadyRead(10000));
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
    }

    void cleanupTestCase()
    {
        m_bus.terminate();
        m_bus.waitForFinished();
    }

    void theFileManagerIsAskedToShowTheFile()
    {
        // The file manager answers from its own thread, as another program would.
        QThread serviceThread;
        serviceThread.start();
        FakeFileManager manager;
        manager.moveToThread(&serviceThread);
        QDBusConnection service = QDBusConnection::connectToBus(m_address, QStringLiteral("fileManager"));
        QVERIFY(service.isConnected());
        QVERIFY(service.registerObject(
            DesktopFileRevealer::objectPath(), &manager, QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(DesktopFileRevealer::serviceName()));

        QList<QUrl> foldersOpened;
        DesktopFileRevealer revealer(
            QDBusConnection::connectToBus(m_address, QStringLiteral("vesk")), [&](const QUrl& url) {
                foldersOpened.append(url);
                return true;
            });
        const QString path = QStringLiteral("/home/me/My Lists/to do.vesk");
        QVERIFY(revealer.revealFile(path));
        QVERIFY(foldersOpened.isEmpty());

        service.unregisterService(DesktopFileRevealer::serviceName());
        service.unregisterObject(DesktopFileRevealer::objectPath());
        QDBusConnection::disconnectFromBus(QStringLiteral("fileManager"));
        QDBusConnection::disconnectFromBus(QStringLiteral("vesk"));
        serviceThread.quit();
        serviceThread.wait();
        QCOMPARE(manager.shownItems, QStringList {QStringLiteral("file:///home/me/My%20Lists/to%20do.vesk")});
        QCOMPARE(manager.startupId, QString());
    }

    void withoutAFileManagerTheFolderOpens()
    {
        QList<QUrl> foldersOpened;
        DesktopFileRevealer revealer(
            QDBusConnection::connectToBus(m_address, QStringLiteral("lonely")), [&](const QUrl& url) {
                foldersOpened.append(url);
                return true;
            });
        QVERIFY(revealer.revealFile(QStringLiteral("/srv/lists/a.vesk")));
        QCOMPARE(foldersOpened, QList<QUrl> {QUrl::fromLocalFile(QStringLiteral("/srv/lists"))});

        // Without any bus at all as well; a folder that cannot be opened is reported.
        DesktopFileRevealer offline(QDBusConnection(QStringLiteral("none")), [&](const QUrl& url) {
            foldersOpened.append(url);
            return false;
        });
        QVERIFY(!offline.revealFile(QStringLiteral("/srv/other/b.vesk")));
        QCOMPARE(foldersOpened.last(), QUrl::fromLocalFile(QStringLiteral("/srv/other")));
        QDBusConnection::disconnectFromBus(QStringLiteral("lonely"));
    }
};

QTEST_GUILESS_MAIN(FileRevealerTest)
#include "FileRevealerTest.moc"
