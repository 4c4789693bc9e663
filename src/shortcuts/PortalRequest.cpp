#include "shortcuts/PortalRequest.h"

#include "shortcuts/HotKeyLog.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>

namespace {
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
} // namespace

QString PortalRequest::newToken()
{
    return QStringLiteral("vesk%1").arg(QRandomGenerator::global()->generate64());
}

PortalRequest::PortalRequest(
    const QDBusConnection& bus, const QString& service, Handler handler, QObject* context)
    : QObject(context), m_bus(bus), m_service(service), m_handler(std::move(handler))
{ }

void PortalRequest::send(const QDBusConnection& bus, const QDBusMessage& call, const QString& handleToken,
    QObject* context, Handler handler)
{
    auto* request = new PortalRequest(bus, call.service(), std::move(handler), context);
    // The portal names the request object after our unique name and the token.
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    request->listen(QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, handleToken));

    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), request);
    const QString member = call.member();
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, request,
        [request, member](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            const QDBusPendingReply<QDBusObjectPath> reply = *finished;
            if (reply.isError()) {
                qCWarning(lcPortal) << member << "failed:" << reply.error().message();
                request->finish(ended, {});
                return;
            }
            // Portals older than the token convention choose the path themselves.
            if (reply.value().path() != request->m_path)
                request->listen(reply.value().path());
        });
}

void PortalRequest::listen(const QString& path)
{
    if (!m_path.isEmpty())
        m_bus.disconnect(m_service, m_path, requestInterface, QStringLiteral("Response"), this,
            SLOT(handleResponse(QDBusMessage)));
    m_path = path;
    m_bus.connect(m_service, m_path, requestInterface, QStringLiteral("Response"), this,
        SLOT(handleResponse(QDBusMessage)));
}

void PortalRequest::handleResponse(const QDBusMessage& response)
{
    const QList<QVariant> arguments = response.arguments();
    if (arguments.size() < 2)
        return;
    finish(arguments.at(0).toUInt(), qdbus_cast<QVariantMap>(arguments.at(1)));
}

void PortalRequest::finish(uint response, const QVariantMap& results)
{
    if (!m_handler)
        return;
    m_bus.disconnect(m_service, m_path, requestInterface, QStringLiteral("Response"), this,
        SLOT(handleResponse(QDBusMessage)));
    const Handler handler = std::move(m_handler);
    m_handler = nullptr;
    deleteLater();
    handler(response, results);
}
