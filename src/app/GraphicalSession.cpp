#include "app/GraphicalSession.h"

#include <QList>

#include <cstdio>
#include <unistd.h>

namespace {

// Qt's own messages while it connects, kept so that a failed start prints only Vesk's line.
struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QByteArray file;
    QByteArray function;
    int line;
    QString text;
};

QList<HeldMessage>* heldMessages = nullptr;

void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        // Qt aborts right after this handler returns, from deep inside the application's
        // constructor; nothing is left to clean up, so the process ends here.
        std::fprintf(stderr, "vesk: %s\n", qPrintable(GraphicalSession::missingDisplayMessage()));
        std::fflush(stderr);
        ::_exit(GraphicalSession::missingExitCode);
    }
    if (heldMessages) {
        heldMessages->append({type, QByteArray(context.category), QByteArray(context.file),
            QByteArray(context.function), context.line, text});
    }
}

} // namespace

std::unique_ptr<QApplication> GraphicalSession::start(int& argc, char** argv)
{
    QList<HeldMessage> held;
    heldMessages = &held;
    const QtMessageHandler previous = qInstallMessageHandler(holdMessage);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    heldMessages = nullptr;
    for (const HeldMessage& message : held) {
        const QMessageLogContext context(message.file.isEmpty() ? nullptr : message.file.constData(),
            message.line, message.function.isEmpty() ? nullptr : message.function.constData(),
            message.category.isEmpty() ? nullptr : message.category.constData());
        qt_message_output(message.type, context, message.text);
    }
    return application;
}

QString GraphicalSession::missingDisplayMessage()
{
    const QString x11 = qEnvironmentVariable("DISPLAY");
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    QString reason;
    if (x11.isEmpty() && wayland.isEmpty()) {
        reason = QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set");
    } else {
        QStringList tried;
        if (!x11.isEmpty())
            tried << QStringLiteral("DISPLAY=") + x11;
        if (!wayland.isEmpty())
            tried << QStringLiteral("WAYLAND_DISPLAY=") + wayland;
        reason
            = QStringLiteral("could not connect to the display (%1)").arg(tried.join(QStringLiteral(", ")));
    }
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.isEmpty())
        reason += QStringLiteral(" with QT_QPA_PLATFORM=") + platform;
    return QStringLiteral("Vesk needs a graphical session: ") + reason;
}
