#include "PrivateSessionBus.h"
#include "ShellTestSupport.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/HotKeyCenter.h"
#include "shortcuts/PortalHotKeyBackend.h"
#include "windows/DesktopHotKeyField.h"
#include "windows/KeyboardControlsPanelController.h"
#include "windows/SettingsWindow.h"
#include "windows/WelcomeWindowController.h"

#include <QDBusConnection>
#include <QFormLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace GlobalShortcuts;

// The hot key through the desktop portal, against a stand-in portal on a private session bus.
class PortalHotKeyTest : public QObject {
    Q_OBJECT

    PrivateSessionBus m_bus;
    QString m_address;
    std::unique_ptr<QProcess> m_portal;
    int m_keyDowns = 0;
    int m_keyUps = 0;

    QDBusConnection bus() const { return QDBusConnection::connectToBus(m_address, QStringLiteral("vesk")); }

    void startPortal(uint version)
    {
        m_portal = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        m_portal->setProcessEnvironment(environment);
        m_portal->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_portal->start(
            QStringLiteral(FAKE_DESKTOP_PORTAL), {QStringLiteral("--version"), QString::number(version)});
        QVERIFY(m_portal->waitForStarted());
        QCOMPARE(nextLine().value(QStringLiteral("member")).toString(), QStringLiteral("ready"));
    }
    void stopPortal()
    {
        if (!m_portal)
            return;
        m_portal->closeWriteChannel();
        QVERIFY(m_portal->waitForFinished());
        m_portal.reset();
    }
    // The portal's next line, waiting for it as long as it takes the portal to write one.
    QJsonObject nextLine()
    {
        while (!m_portal->canReadLine()) {
            QSignalSpy written(m_portal.get(), &QProcess::readyReadStandardOutput);
            if (!written.wait(10000))
                return {};
        }
        return QJsonDocument::fromJson(m_portal->readLine()).object();
    }
    // The next call the portal got, skipping its reports of signals sent.
    QJsonObject nextCall()
    {
        for (;;) {
            const QJsonObject line = nextLine();
            if (line.value(QStringLiteral("member")) != QLatin1String("sent"))
                return line;
        }
    }
    void tell(const QByteArray& command)
    {
        m_portal->write(command + '\n');
        QCOMPARE(nextLine().value(QStringLiteral("member")).toString(), QStringLiteral("sent"));
    }
    // Checks the session and binding requests a fresh session makes, after the application's
    // registration with a portal that did not know it; answers the session's handle.
    QString expectSessionAndBinding(bool registering = true)
    {
        // The application says who it is before anything else.
        const QJsonObject registration = registering ? nextCall() : QJsonObject();
        if (registering
            && (registration.value(QStringLiteral("member")) != QLatin1String("Register")
                || registration.value(QStringLiteral("app_id")) != QLatin1String("vesk"))) {
            qWarning() << "unexpected registration:" << registration;
            return QString();
        }
        const QJsonObject create = nextCall();
        [&] {
            QCOMPARE(create.value(QStringLiteral("member")).toString(), QStringLiteral("CreateSession"));
            QCOMPARE(create.value(QStringLiteral("signature")).toString(), QStringLiteral("a{sv}"));
        }();
        const QJsonObject createOptions = create.value(QStringLiteral("options")).toObject();
        const QString sessionToken = createOptions.value(QStringLiteral("session_handle_token")).toString();
        if (sessionToken.isEmpty()
            || createOptions.value(QStringLiteral("handle_token")).toString().isEmpty())
            return QString();
        QString sender = bus().baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString session
            = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2").arg(sender, sessionToken);

        const QJsonObject bind = nextCall();
        const QJsonArray expected {QJsonObject {{QStringLiteral("id"), QStringLiteral("togglePanel")},
            {QStringLiteral("properties"),
                QJsonObject {{QStringLiteral("description"), QStringLiteral("Show or hide the Vesk lists")},
                    {QStringLiteral("preferred_trigger"), QStringLiteral("CTRL+ALT+space")}}}}};
        if (bind.value(QStringLiteral("member")) != QLatin1String("BindShortcuts")
            || bind.value(QStringLiteral("signature")) != QLatin1String("oa(sa{sv})sa{sv}")
            || bind.value(QStringLiteral("session")) != session
            || bind.value(QStringLiteral("shortcuts")) != expected
            || bind.value(QStringLiteral("parent_window")) != QString()
            || bind.value(QStringLiteral("options"))
                   .toObject()
                   .value(QStringLiteral("handle_token"))
                   .toString()
                   .isEmpty()) {
            qWarning() << "unexpected binding:" << bind;
            return QString();
        }
        return session;
    }
    // Presses and releases the shortcut at the desktop, the press twice as a held key repeats.
    void pressAtTheDesktop()
    {
        const int ups = m_keyUps;
        tell("activate togglePanel");
        tell("activate togglePanel");
        tell("deactivate togglePanel");
        QTRY_COMPARE_WITH_TIMEOUT(m_keyUps, ups + 1, 10000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString daemon = PrivateSessionBus::daemonProgram();
        if (daemon.isEmpty())
            QSKIP("dbus-daemon is not installed");
        m_address = m_bus.start(daemon);
        QVERIFY(bus().isConnected());
        QGuiApplication::setDesktopFileName(QStringLiteral("vesk"));
    }

    void cleanupTestCase() { stopPortal(); }

    void thePortalIsUsedOnlyOnWaylandWhenItOffersGlobalShortcuts_data()
    {
        QTest::addColumn<bool>("wayland");
        QTest::addColumn<int>("portalVersion");
        QTest::addColumn<bool>("chosenByDesktop");
        QTest::newRow("X11") << false << 2 << false;
        QTest::newRow("Wayland without a portal") << true << -1 << false;
        QTest::newRow("Wayland, portal without global shortcuts") << true << 0 << false;
        QTest::newRow("Wayland with global shortcuts") << true << 1 << true;
    }
    void thePortalIsUsedOnlyOnWaylandWhenItOffersGlobalShortcuts()
    {
        QFETCH(bool, wayland);
        QFETCH(int, portalVersion);
        QFETCH(bool, chosenByDesktop);
        if (portalVersion >= 0)
            startPortal(uint(portalVersion));
        if (wayland)
            qputenv("WAYLAND_DISPLAY", "wayland-vesk-test");
        else
            qunsetenv("WAYLAND_DISPLAY");
        const auto backend = HotKeyBackend::createForSession(bus());
        QCOMPARE(backend->isChosenByDesktop(), chosenByDesktop);
        QCOMPARE(HotKeyBackend::isWaylandSession(), wayland);
        stopPortal();
    }

    void theDesktopBindsTheShortcutAndItsKeysToggleThePanels()
    {
        startPortal(2);
        qputenv("WAYLAND_DISPLAY", "wayland-vesk-test");
        auto backend = HotKeyBackend::createForSession(bus());
        QVERIFY(backend->isChosenByDesktop());
        HotKeyCenter::useBackend(std::move(backend));

        ShellFixture shell;
        AppController& app = shell.launch();
        onKeyDown(Name::togglePanel(), [this] { ++m_keyDowns; });
        onKeyUp(Name::togglePanel(), [this] { ++m_keyUps; });
        QVERIFY(!expectSessionAndBinding().isEmpty());
        QVERIFY(areKeysChosenByDesktop());
        QTRY_COMPARE_WITH_TIMEOUT(
            desktopTrigger(Name::togglePanel()), QStringLiteral("Ctrl+Alt+Space"), 10000);

        // Through the application's show/hide: with no list open, the welcome window.
        WelcomeWindowController* welcome = app.welcomeWindowController();
        QVERIFY(welcome->isVisible());
        pressAtTheDesktop();
        QCOMPARE(m_keyDowns, 1);
        QVERIFY(!welcome->isVisible());
        pressAtTheDesktop();
        QCOMPARE(m_keyDowns, 2);
        QVERIFY(welcome->isVisible());

        // The settings show the desktop's keys instead of the recorder, and follow its changes.
        SettingsWindow settings(shell.dialogs);
        QVERIFY(!settings.hotKeyRecorder() && !settings.desktopBindingNotice());
        DesktopHotKeyField* field = settings.desktopHotKey();
        QVERIFY(field);
        auto* form = settings.findChild<QFormLayout*>();
        QCOMPARE(qobject_cast<QLabel*>(form->labelForField(field))->text(), QStringLiteral("Hotkey"));
        QCOMPARE(field->triggerLabel()->text(), QStringLiteral("Ctrl+Alt+Space"));
        tell("change togglePanel Super+F12");
        QTRY_COMPARE_WITH_TIMEOUT(field->triggerLabel()->text(), QStringLiteral("Super+F12"), 10000);
        // So does the keyboard controls reference.
        QCOMPARE(
            app.keyboardControlsPanelController()->globalHotKeyDisplayName(), QStringLiteral("Super+F12"));
        // Changing them is the desktop's own dialog.
        const QString session
            = static_cast<PortalHotKeyBackend&>(HotKeyCenter::shared().backend()).sessionHandle();
        QTest::mouseClick(field->changeButton(), Qt::LeftButton);
        const QJsonObject configure = nextCall();
        QCOMPARE(configure.value(QStringLiteral("member")).toString(), QStringLiteral("ConfigureShortcuts"));
        QCOMPARE(configure.value(QStringLiteral("signature")).toString(), QStringLiteral("osa{sv}"));
        QCOMPARE(configure.value(QStringLiteral("session")).toString(), session);

        // A portal that restarts loses the session: a new one binds the shortcut again.
        stopPortal();
        QTRY_COMPARE_WITH_TIMEOUT(field->triggerLabel()->text(), QStringLiteral("Not set"), 10000);
        startPortal(1);
        QVERIFY(!expectSessionAndBinding().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(field->triggerLabel()->text(), QStringLiteral("Ctrl+Alt+Space"), 10000);
        pressAtTheDesktop();
        QVERIFY(!welcome->isVisible());
        // Before ConfigureShortcuts, binding in a new session is what shows the desktop's dialog.
        QTest::mouseClick(field->changeButton(), Qt::LeftButton);
        QVERIFY(!expectSessionAndBinding(false).isEmpty());
    }
};

QTEST_MAIN(PortalHotKeyTest)
#include "PortalHotKeyTest.moc"
