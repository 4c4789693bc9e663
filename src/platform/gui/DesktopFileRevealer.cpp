#include "platform/gui/DesktopFileRevealer.h"

#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>

namespace {
// Long enough for a file manager that D-Bus has to start first.
constexpr int callTimeoutMs = 5000;
} // namespace

DesktopFileRevealer::DesktopFileRevealer()
    : m_openFolder([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{ }

DesktopFileRevealer::DesktopFileRevealer(QDBusConnection bus, std::function<bool(const QUrl&)> openFolder)
    : m_bus(std::move(bus)), m_openFolder(std::move(openFolder))
{ }

bool DesktopFileRevealer::revealFile(const QString& filePath)
{
    const QUrl fileUrl = QUrl::fromLocalFile(filePath);
    if (!m_bus)
        m_bus = QDBusConnection::sessionBus();
    if (m_bus->isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            serviceName(), objectPath(), serviceName(), QStringLiteral("ShowItems"));
        call << QStringList {fileUrl.toString(QUrl::FullyEncoded)} << QString();
        const QDBusMessage reply = m_bus->call(call, QDBus::Block, callTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
    }
    return m_openFolder && m_openFolder(QUrl::fromLocalFile(QFileInfo(filePath).absolutePath()));
}
