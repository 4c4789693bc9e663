// A launch of Vesk reduced to its single-instance step: single_instance_helper [--hold] [--toggle]
// [FILE...]. Prints its role; as the running instance with --hold it stays up until killed, as a
// later launch it hands over its request and exits (0 when the running instance confirmed it).
#include "app/SingleInstance.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool hold = arguments.removeAll(QStringLiteral("--hold")) > 0;
    const bool toggle = arguments.removeAll(QStringLiteral("--toggle")) > 0;

    SingleInstance instance;
    switch (instance.start()) {
    case SingleInstance::Role::primary:
        std::printf("primary\n");
        std::fflush(stdout);
        return hold ? QCoreApplication::exec() : 0;
    case SingleInstance::Role::secondary: {
        const bool sent = toggle ? instance.sendToggle() : instance.sendOpenRequest(arguments);
        std::printf(sent ? "sent\n" : "failed: %s\n", qPrintable(instance.errorString()));
        return sent ? 0 : 3;
    }
    default:
        std::printf("unavailable: %s\n", qPrintable(instance.errorString()));
        return 4;
    }
}
