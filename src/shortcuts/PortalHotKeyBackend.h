#pragma once

#include "shortcuts/HotKeyBackend.h"
#include "shortcuts/PortalShortcut.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>

class QDBusMessage;
class QDBusServiceWatcher;

// Hot keys through the desktop portal's global shortcuts, where programs cannot grab keys
// (Wayland). The desktop owns the keys: each hot key becomes a shortcut of one portal session,
// named after its slot and proposed with the stored combination, and the desktop reports when it
// is pressed and released and which keys it has assigned. The session lasts for the run; when
// the portal restarts, a new session binds the shortcuts again.
class PortalHotKeyBackend : public HotKeyBackend {
    Q_OBJECT

public:
    static const QString serviceName;
    static const QString objectPath;
    static const QString interfaceName;

    // None unless the portal on bus offers global shortcuts (it answers with the interface's version).
    static std::unique_ptr<PortalHotKeyBackend> create(const QDBusConnection& bus);
    ~PortalHotKeyBackend() override;

    std::optional<Handle> registerHotKey(const HotKey& hotKey) override;
    void unregisterHotKey(Handle handle) override;
    bool installEventHandler() override { return true; }
    void setHotKeyEventsEnabled(bool enabled) override { m_eventsEnabled = enabled; }
    bool isChosenByDesktop() const override { return true; }
    QString desktopTrigger(const QString& shortcutId) const override;
    void chooseKeysOnDesktop() override;

    uint version() const { return m_version; }
    // The open session's handle; empty while there is none.
    QString sessionHandle() const { return m_sessionState == SessionState::open ? m_session : QString(); }

private Q_SLOTS:
    void handleActivated(const QDBusMessage& message);
    void handleDeactivated(const QDBusMessage& message);
    void handleShortcutsChanged(const QDBusMessage& message);
    void handleSessionClosed(const QDBusMessage& message);

private:
    struct Registration {
        quint32 id;
        QString shortcutId;
        QString description;
        QString preferredTrigger;
    };
    enum class SessionState { none, creating, open };

    PortalHotKeyBackend(const QDBusConnection& bus, uint version);
    void portalOwnerChanged(const QString& newOwner);
    void readVersion();
    // Brings the session in line with the registrations: opens one, or binds what is missing.
    void update();
    void createSession();
    void bindShortcuts(const QStringList& ids);
    void listShortcuts();
    void closeSession();
    void forgetSession();
    void takeTriggers(const QVariant& shortcuts, bool complete);
    void deliver(const QDBusMessage& message, bool pressed);
    QStringList wantedIds() const;
    QDBusMessage portalCall(const QString& member) const;

    QDBusConnection m_bus;
    QDBusServiceWatcher* m_watcher = nullptr;
    uint m_version = 0;
    bool m_portalPresent = true;
    std::map<Handle, Registration> m_registrations;
    Handle m_nextHandle = 1;
    bool m_eventsEnabled = false;
    SessionState m_sessionState = SessionState::none;
    QString m_session;
    // Shortcuts are bound once per session; these were (or are being) bound in this one.
    QStringList m_boundIds;
    bool m_binding = false;
    // The desktop refused or closed the session: no new one until the user asks to choose the keys
    // or the portal restarts, so that a desktop that says no is not asked again and again.
    bool m_sessionRefused = false;
    // Answers that arrive for an earlier session or an earlier portal are dropped.
    quint64 m_generation = 0;
    QHash<QString, QString> m_triggers;
    QSet<QString> m_pressed;
};
