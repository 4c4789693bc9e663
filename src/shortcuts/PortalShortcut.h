#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

// One shortcut as the desktop portal's global shortcuts exchange them on D-Bus, (sa{sv}): its id
// and a dictionary ("description", "preferred_trigger" going in; "description",
// "trigger_description" coming back).
struct PortalShortcut {
    QString id;
    QVariantMap properties;

    // Makes the type and lists of it known to QtDBus; safe to call more than once.
    static void registerMetaTypes();
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut);
const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut);

Q_DECLARE_METATYPE(PortalShortcut)
