#include "PrivateSessionBus.h"
#include "platform/gui/DesktopFileRevealer.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
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

    PrivateSessionBus m_bus;
    QString m_address;
    QList<QUrl> m_foldersOpened;

    // A revealer on the given bus whose folder opener records the folder and answers opens.
    DesktopFileRevealer revealer(const QDBusConnection& bus, bool opens = true)
    {
        return DesktopFileRevealer(bus, [this, opens](const QUrl& url) {
            m_foldersOpened.append(url);
            return opens;
        });
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString daemon = PrivateSessionBus::daemonProgram();
        if (daemon.isEmpty())
            QSKIP("dbus-daemon is not installed");
        m_address = m_bus.start(daemon);
        QVERIFY(!m_address.isEmpty());
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

        m_foldersOpened.clear();
        QVERIFY(revealer(QDBusConnection::connectToBus(m_address, QStringLiteral("vesk")))
                    .revealFile(QStringLiteral("/home/me/My Lists/to do.vesk")));
        QVERIFY(m_foldersOpened.isEmpty());

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
        m_foldersOpened.clear();
        QVERIFY(revealer(QDBusConnection::connectToBus(m_address, QStringLiteral("lonely")))
                    .revealFile(QStringLiteral("/srv/lists/a.vesk")));
        QCOMPARE(m_foldersOpened, QList<QUrl> {QUrl::fromLocalFile(QStringLiteral("/srv/lists"))});

        // Without any bus at all as well; a folder that cannot be opened is reported.
        QVERIFY(!revealer(QDBusConnection(QStringLiteral("none")), false)
                     .revealFile(QStringLiteral("/srv/other/b.vesk")));
        QCOMPARE(m_foldersOpened.last(), QUrl::fromLocalFile(QStringLiteral("/srv/other")));
        QDBusConnection::disconnectFromBus(QStringLiteral("lonely"));
    }
};

QTEST_GUILESS_MAIN(FileRevealerTest)
#include "FileRevealerTest.moc"
