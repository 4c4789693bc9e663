#include "shortcuts/PortalHotKeyBackend.h"

#include "shortcuts/HotKey.h"
#include "shortcuts/HotKeyLog.h"
#include "shortcuts/PortalRequest.h"
#include "shortcuts/PortalTrigger.h"
#include "shortcuts/Shortcut.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>

const QString PortalHotKeyBackend::serviceName = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalHotKeyBackend::objectPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString PortalHotKeyBackend::interfaceName = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

namespace {

// Long enough for a portal that D-Bus has to start first.
constexpr int versionTimeoutMs = 5000;
// ConfigureShortcuts came with this version of the interface.
constexpr uint configureVersion = 2;
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

QDBusMessage versionQuery()
{
    QDBusMessage get
        = QDBusMessage::createMethodCall(PortalHotKeyBackend::serviceName, PortalHotKeyBackend::objectPath,
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << PortalHotKeyBackend::interfaceName << QStringLiteral("version");
    return get;
}

// Tells the portal which application this connection is, by its desktop file's name, so that the
// desktop can name it in its dialogs; a program outside a sandbox has no other way to say it. It
// has to come before any other portal call, and portals older than the registry refuse it.
QDBusMessage registration()
{
    const QString appId = QGuiApplication::desktopFileName();
    if (appId.isEmpty())
        return QDBusMessage();
    QDBusMessage call
        = QDBusMessage::createMethodCall(PortalHotKeyBackend::serviceName, PortalHotKeyBackend::objectPath,
            QStringLiteral("org.freedesktop.host.portal.Registry"), QStringLiteral("Register"));
    call << appId << QVariantMap();
    return call;
}

uint versionFromReply(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return 0;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt();
}

} // namespace

std::unique_ptr<PortalHotKeyBackend> PortalHotKeyBackend::create(const QDBusConnection& bus)
{
    if (!bus.isConnected())
        return nullptr;
    PortalShortcut::registerMetaTypes();
    if (const QDBusMessage call = registration(); call.type() == QDBusMessage::MethodCallMessage) {
        const QDBusMessage reply = bus.call(call, QDBus::Block, versionTimeoutMs);
        if (reply.type() == QDBusMessage::ErrorMessage)
            qCDebug(lcPortal) << "the portal did not register the application:" << reply.errorMessage();
    }
    const uint version = versionFromReply(bus.call(versionQuery(), QDBus::Block, versionTimeoutMs));
    if (version == 0)
        return nullptr;
    return std::unique_ptr<PortalHotKeyBackend>(new PortalHotKeyBackend(bus, version));
}

PortalHotKeyBackend::PortalHotKeyBackend(const QDBusConnection& bus, uint version)
    : m_bus(bus), m_version(version)
{
    m_watcher = new QDBusServiceWatcher(serviceName, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString&, const QString&, const QString& newOwner) { portalOwnerChanged(newOwner); });
    m_bus.connect(serviceName, objectPath, interfaceName, QStringLiteral("Activated"), this,
        SLOT(handleActivated(QDBusMessage)));
    m_bus.connect(serviceName, objectPath, interfaceName, QStringLiteral("Deactivated"), this,
        SLOT(handleDeactivated(QDBusMessage)));
    m_bus.connect(serviceName, objectPath, interfaceName, QStringLiteral("ShortcutsChanged"), this,
        SLOT(handleShortcutsChanged(QDBusMessage)));
}

PortalHotKeyBackend::~PortalHotKeyBackend()
{
    closeSession();
}

std::optional<HotKeyBackend::Handle> PortalHotKeyBackend::registerHotKey(const HotKey& hotKey)
{
    // The desktop decides later, and may show the user a dialog first; until then the keys are
    // taken as wished.
    const Handle handle = m_nextHandle++;
    m_registrations[handle] = {hotKey.id, hotKey.shortcutId, hotKey.description,
        PortalTrigger::fromShortcut(Shortcut(hotKey.carbonKeyCode, hotKey.carbonModifiers))};
    update();
    return handle;
}

void PortalHotKeyBackend::unregisterHotKey(Handle handle)
{
    // The session keeps the shortcut bound (the portal cannot unbind one); its presses are no
    // longer passed on, and registering again (after a menu closed) needs no new binding.
    m_registrations.erase(handle);
}

QString PortalHotKeyBackend::desktopTrigger(const QString& shortcutId) const
{
    return m_triggers.value(shortcutId);
}

void PortalHotKeyBackend::chooseKeysOnDesktop()
{
    if (m_sessionState == SessionState::open && m_version >= configureVersion) {
        QDBusMessage call = portalCall(QStringLiteral("ConfigureShortcuts"));
        call << QVariant::fromValue(QDBusObjectPath(m_session)) << QString() << QVariantMap();
        auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            if (finished->isError())
                qCWarning(lcPortal) << "ConfigureShortcuts failed:" << finished->error().message();
        });
        return;
    }
    if (m_sessionState == SessionState::creating)
        return;
    // Shortcuts are bound once per session: binding them in a new one shows the desktop's dialog.
    m_sessionRefused = false;
    closeSession();
    forgetSession();
    update();
}

QStringList PortalHotKeyBackend::wantedIds() const
{
    QStringList ids;
    for (const auto& [handle, registration] : m_registrations) {
        if (!ids.contains(registration.shortcutId))
            ids << registration.shortcutId;
    }
    return ids;
}

QDBusMessage PortalHotKeyBackend::portalCall(const QString& member) const
{
    return QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName, member);
}

void PortalHotKeyBackend::update()
{
    const QStringList wanted = wantedIds();
    if (!m_portalPresent || wanted.isEmpty() || m_sessionRefused)
        return;
    switch (m_sessionState) {
    case SessionState::none:
        createSession();
        return;
    case SessionState::creating:
        return;
    case SessionState::open:
        break;
    }
    if (m_binding)
        return;
    bool missing = false;
    for (const QString& id : wanted)
        missing = missing || !m_boundIds.contains(id);
    if (!missing)
        return;
    if (m_boundIds.isEmpty()) {
        bindShortcuts(wanted);
        return;
    }
    closeSession();
    forgetSession();
    createSession();
}

void PortalHotKeyBackend::createSession()
{
    m_sessionState = SessionState::creating;
    const quint64 generation = ++m_generation;
    const QString token = PortalRequest::newToken();
    QDBusMessage call = portalCall(QStringLiteral("CreateSession"));
    call << QVariantMap {{QStringLiteral("handle_token"), token},
        {QStringLiteral("session_handle_token"), PortalRequest::newToken()}};
    PortalRequest::send(
        m_bus, call, token, this, [this, generation](uint response, const QVariantMap& results) {
            if (generation != m_generation)
                return;
            // Documented as a string, though it is an object path.
            const QVariant handle = results.value(QStringLiteral("session_handle"));
            const QString session = handle.canConvert<QDBusObjectPath>()
                ? handle.value<QDBusObjectPath>().path()
                : handle.toString();
            if (response != PortalRequest::success || session.isEmpty()) {
                qCWarning(lcPortal) << "the desktop refused a global shortcuts session, response" << response;
                m_sessionState = SessionState::none;
                m_sessionRefused = true;
                return;
            }
            m_session = session;
            m_sessionState = SessionState::open;
            m_bus.connect(serviceName, m_session, sessionInterface, QStringLiteral("Closed"), this,
                SLOT(handleSessionClosed(QDBusMessage)));
            update();
        });
}

void PortalHotKeyBackend::bindShortcuts(const QStringList& ids)
{
    QList<PortalShortcut> shortcuts;
    for (const QString& id : ids) {
        for (const auto& [handle, registration] : m_registrations) {
            if (registration.shortcutId != id)
                continue;
            QVariantMap properties {{QStringLiteral("description"), registration.description}};
            if (!registration.preferredTrigger.isEmpty())
                properties.insert(QStringLiteral("preferred_trigger"), registration.preferredTrigger);
            shortcuts.append({id, properties});
            break;
        }
    }
    m_boundIds = ids;
    m_binding = true;
    const quint64 generation = m_generation;
    const QString token = PortalRequest::newToken();
    QDBusMessage call = portalCall(QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariant::fromValue(shortcuts) << QString()
         << QVariantMap {{QStringLiteral("handle_token"), token}};
    PortalRequest::send(
        m_bus, call, token, this, [this, generation](uint response, const QVariantMap& results) {
            if (generation != m_generation)
                return;
            m_binding = false;
            if (response == PortalRequest::success)
                takeTriggers(results.value(QStringLiteral("shortcuts")), true);
            else
                // The user may have dismissed the dialog while keys from an earlier run still hold.
                listShortcuts();
            update();
        });
}

void PortalHotKeyBackend::listShortcuts()
{
    const quint64 generation = m_generation;
    const QString token = PortalRequest::newToken();
    QDBusMessage call = portalCall(QStringLiteral("ListShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_session))
         << QVariantMap {{QStringLiteral("handle_token"), token}};
    PortalRequest::send(
        m_bus, call, token, this, [this, generation](uint response, const QVariantMap& results) {
            if (generation == m_generation && response == PortalRequest::success)
                takeTriggers(results.value(QStringLiteral("shortcuts")), true);
        });
}

void PortalHotKeyBackend::closeSession()
{
    if (m_sessionState != SessionState::open)
        return;
    m_bus.call(
        QDBusMessage::createMethodCall(serviceName, m_session, sessionInterface, QStringLiteral("Close")),
        QDBus::NoBlock);
}

void PortalHotKeyBackend::forgetSession()
{
    if (!m_session.isEmpty())
        m_bus.disconnect(serviceName, m_session, sessionInterface, QStringLiteral("Closed"), this,
            SLOT(handleSessionClosed(QDBusMessage)));
    ++m_generation;
    m_sessionState = SessionState::none;
    m_session.clear();
    m_boundIds.clear();
    m_binding = false;
    m_pressed.clear();
    if (!m_triggers.isEmpty()) {
        m_triggers.clear();
        Q_EMIT desktopTriggersChanged();
    }
}

void PortalHotKeyBackend::takeTriggers(const QVariant& shortcuts, bool complete)
{
    if (complete)
        m_triggers.clear();
    for (const PortalShortcut& shortcut : qdbus_cast<QList<PortalShortcut>>(shortcuts))
        m_triggers.insert(
            shortcut.id, shortcut.properties.value(QStringLiteral("trigger_description")).toString());
    Q_EMIT desktopTriggersChanged();
}

void PortalHotKeyBackend::portalOwnerChanged(const QString& newOwner)
{
    // The old portal's session is gone with it.
    forgetSession();
    m_sessionRefused = false;
    m_portalPresent = !newOwner.isEmpty();
    if (m_portalPresent)
        readVersion();
}

void PortalHotKeyBackend::readVersion()
{
    const quint64 generation = m_generation;
    // The restarted portal does not know the application yet; it answers calls in order.
    if (const QDBusMessage call = registration(); call.type() == QDBusMessage::MethodCallMessage)
        m_bus.call(call, QDBus::NoBlock);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(versionQuery()), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, generation](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            if (generation != m_generation)
                return;
            const uint version = versionFromReply(finished->reply());
            if (version == 0) {
                qCWarning(lcPortal) << "the restarted desktop portal offers no global shortcuts";
                return;
            }
            m_version = version;
            update();
        });
}

void PortalHotKeyBackend::handleActivated(const QDBusMessage& message)
{
    deliver(message, true);
}

void PortalHotKeyBackend::handleDeactivated(const QDBusMessage& message)
{
    deliver(message, false);
}

void PortalHotKeyBackend::deliver(const QDBusMessage& message, bool pressed)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || m_sessionState != SessionState::open
        || arguments.at(0).value<QDBusObjectPath>().path() != m_session)
        return;
    const QString shortcutId = arguments.at(1).toString();
    // Held keys give one press and one release, as with the window system's grabs.
    if (pressed) {
        if (m_pressed.contains(shortcutId))
            return;
        m_pressed.insert(shortcutId);
    } else if (!m_pressed.remove(shortcutId)) {
        return;
    }
    if (!m_eventsEnabled)
        return;
    std::vector<quint32> ids;
    for (const auto& [handle, registration] : m_registrations) {
        if (registration.shortcutId == shortcutId)
            ids.push_back(registration.id);
    }
    for (const quint32 id : ids)
        Q_EMIT hotKeyEvent(id, pressed);
}

void PortalHotKeyBackend::handleShortcutsChanged(const QDBusMessage& message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || m_sessionState != SessionState::open
        || arguments.at(0).value<QDBusObjectPath>().path() != m_session)
        return;
    takeTriggers(arguments.at(1), false);
}

void PortalHotKeyBackend::handleSessionClosed(const QDBusMessage&)
{
    // The desktop ended the session; asking to choose the keys opens a new one.
    qCWarning(lcPortal) << "the desktop closed the global shortcuts session";
    forgetSession();
    m_sessionRefused = true;
}
