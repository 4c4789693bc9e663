#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication::setOrganizationName(QStringLiteral("Vesk"));
    QApplication::setApplicationName(QStringLiteral("Vesk"));
    QApplication::setApplicationVersion(QStringLiteral(VESK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("vesk"));

    // The command line is read before the application connects to a display, so that --help and
    // --version answer anywhere.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Vesk keeps to-do lists in plain-text files and works them from the keyboard."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Task files to open."),
                                 QStringLiteral("[FILE...]"));
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "vesk: %s\nTry 'vesk --help'.\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("vesk"))),
                   stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("vesk %s\n", VESK_VERSION);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return app.exec();
}
