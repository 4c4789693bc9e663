// Stands in for the desktop portal on a private session bus: fake-desktop-portal [--version N]
// answers org.freedesktop.portal.GlobalShortcuts of version N (none with 0) and the host
// application registry at the portal's name and path, writes one JSON line to standard output for every call
// it gets ({"member": …}, first
// {"member": "ready"}), and reads commands from standard input:
//   activate ID / deactivate ID   emit Activated / Deactivated for the last session's shortcut ID
//   change ID TEXT                emit ShortcutsChanged: the desktop now triggers ID with TEXT
// The keys it reports for a bound shortcut are its preferred trigger in words ("CTRL+ALT+space"
// becomes "Ctrl+Alt+Space").
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

struct Shortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(Shortcut)

namespace {

void report(QJsonObject line)
{
    std::fputs(QJsonDocument(line).toJson(QJsonDocument::Compact).append('\n').constData(), stdout);
    std::fflush(stdout);
}

QString inWords(const QString& trigger)
{
    QStringList parts = trigger.split(QLatin1Char('+'));
    for (QString& part : parts)
        part = part.left(1).toUpper() + part.mid(1).toLower();
    return parts.join(QLatin1Char('+'));
}

class FakePortal : public QDBusVirtualObject {
public:
    explicit FakePortal(uint version) : m_version(version) { }

    QString introspect(const QString&) const override { return QString(); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        QDBusConnection bus = connection;
        const QList<QVariant> args = message.arguments();
        QJsonObject line {
            {QStringLiteral("member"), message.member()}, {QStringLiteral("signature"), message.signature()}};
        if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")
            && message.member() == QLatin1String("Get")) {
            if (m_version == 0 || args.value(0).toString() != shortcutsInterface
                || args.value(1).toString() != QLatin1String("version")) {
                bus.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                    QStringLiteral("No such property")));
                return true;
            }
            bus.send(message.createReply(QVariant::fromValue(QDBusVariant(m_version))));
            return true;
        }
        if (message.interface() == QLatin1String("org.freedesktop.host.portal.Registry")
            && message.member() == QLatin1String("Register")) {
            line.insert(QStringLiteral("app_id"), args.value(0).toString());
            report(line);
            bus.send(message.createReply());
            return true;
        }
        if (m_version == 0 || message.interface() != shortcutsInterface)
            return false;

        QString sender = message.service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QVariantMap options = qdbus_cast<QVariantMap>(args.last());
        const QString requestPath
            = QStringLiteral("%1/request/%2/%3")
                  .arg(path, sender, options.value(QStringLiteral("handle_token")).toString());
        line.insert(QStringLiteral("options"), QJsonObject::fromVariantMap(options));
        QVariantMap results;
        if (message.member() == QLatin1String("CreateSession")) {
            m_session
                = QStringLiteral("%1/session/%2/%3")
                      .arg(path, sender, options.value(QStringLiteral("session_handle_token")).toString());
            results.insert(QStringLiteral("session_handle"), m_session);
        } else if (message.member() == QLatin1String("BindShortcuts")) {
            line.insert(QStringLiteral("session"), args.value(0).value<QDBusObjectPath>().path());
            line.insert(QStringLiteral("parent_window"), args.value(2).toString());
            QJsonArray shortcuts;
            m_bound.clear();
            for (Shortcut shortcut : qdbus_cast<QList<Shortcut>>(args.value(1))) {
                shortcuts.append(QJsonObject {{QStringLiteral("id"), shortcut.id},
                    {QStringLiteral("properties"), QJsonObject::fromVariantMap(shortcut.properties)}});
                const QString trigger
                    = shortcut.properties.value(QStringLiteral("preferred_trigger")).toString();
                shortcut.properties.remove(QStringLiteral("preferred_trigger"));
                shortcut.properties.insert(QStringLiteral("trigger_description"), inWords(trigger));
                m_bound.append(shortcut);
            }
            line.insert(QStringLiteral("shortcuts"), shortcuts);
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(m_bound));
        } else if (message.member() == QLatin1String("ListShortcuts")) {
            line.insert(QStringLiteral("session"), args.value(0).value<QDBusObjectPath>().path());
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(m_bound));
        } else if (message.member() == QLatin1String("ConfigureShortcuts") && m_version >= 2) {
            line.insert(QStringLiteral("session"), args.value(0).value<QDBusObjectPath>().path());
            line.insert(QStringLiteral("parent_window"), args.value(1).toString());
            bus.send(message.createReply());
            report(line);
            return true;
        } else {
            return false;
        }
        report(line);
        bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(requestPath))));
        // Answered at once, as a portal with nothing to ask does: only a caller that listens
        // before it calls hears it.
        QDBusMessage response = QDBusMessage::createSignal(
            requestPath, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << 0u << results;
        bus.send(response);
        return true;
    }

    void command(const QString& text)
    {
        const QStringList words = text.trimmed().split(QLatin1Char(' '));
        const QString id = words.value(1);
        QDBusMessage signal;
        if (words.first() == QLatin1String("activate") || words.first() == QLatin1String("deactivate")) {
            signal = QDBusMessage::createSignal(path, shortcutsInterface,
                words.first() == QLatin1String("activate") ? QStringLiteral("Activated")
                                                           : QStringLiteral("Deactivated"));
            signal << QVariant::fromValue(QDBusObjectPath(m_session)) << id << qulonglong(0) << QVariantMap();
        } else if (words.first() == QLatin1String("change")) {
            const QList<Shortcut> changed {
                {id, {{QStringLiteral("trigger_description"), words.mid(2).join(' ')}}}};
            signal = QDBusMessage::createSignal(path, shortcutsInterface, QStringLiteral("ShortcutsChanged"));
            signal << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariant::fromValue(changed);
        } else {
            return;
        }
        QDBusConnection::sessionBus().send(signal);
        report({{QStringLiteral("member"), QStringLiteral("sent")},
            {QStringLiteral("signal"), signal.member()}});
    }

private:
    uint m_version;
    QString m_session;
    QList<Shortcut> m_bound;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    const QStringList args = app.arguments();
    const int versionAt = args.indexOf(QStringLiteral("--version"));
    FakePortal portal(versionAt > 0 ? args.value(versionAt + 1).toUInt() : 2);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerVirtualObject(path, &portal) || !bus.registerService(service)) {
        std::fprintf(stderr, "fake-desktop-portal: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }

    QByteArray pending;
    QSocketNotifier notifier(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char chunk[4096];
        const ssize_t count = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (count <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(chunk, count);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            portal.command(QString::fromUtf8(pending.left(end)));
            pending.remove(0, end + 1);
        }
    });
    report({{QStringLiteral("member"), QStringLiteral("ready")}});
    return app.exec();
}
