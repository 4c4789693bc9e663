#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>

// One call of a desktop portal method that answers through a Request object: the call returns the
// object's path at once, and the object's Response signal brings the outcome later, once the user
// has answered any dialog. The signal is listened for on the path that the handle token predicts
// before the call is made, so that an early answer is not missed.
class PortalRequest : public QObject {
    Q_OBJECT

public:
    // Response codes of the Request interface.
    static constexpr uint success = 0;
    static constexpr uint cancelled = 1;
    static constexpr uint ended = 2;

    using Handler = std::function<void(uint response, const QVariantMap& results)>;

    // A token for the options' "handle_token" or "session_handle_token": unique and not guessable.
    static QString newToken();
    // Sends call, whose options carry handleToken, and runs handler once with the outcome; a call
    // that fails outright ends with the code ended and no results. The request lives as a child
    // of context and is dropped with it.
    static void send(const QDBusConnection& bus, const QDBusMessage& call, const QString& handleToken,
        QObject* context, Handler handler);

private Q_SLOTS:
    void handleResponse(const QDBusMessage& response);

private:
    PortalRequest(const QDBusConnection& bus, const QString& service, Handler handler, QObject* context);
    void listen(const QString& path);
    void finish(uint response, const QVariantMap& results);

    QDBusConnection m_bus;
    QString m_service;
    QString m_path;
    Handler m_handler;
};
