#include "cli/AppCommandLine.h"

#include <cstdio>

AppCommandLine::AppCommandLine()
    // Not addHelpOption(): its --help-all lists Qt's own options, which this command line refuses.
    : m_help({QStringLiteral("h"), QStringLiteral("help")},
        QStringLiteral("Displays help on commandline options.")),
      m_version(
          {QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Displays version information.")),
      m_toggle(QStringLiteral("toggle"),
          QStringLiteral("Hide or show the lists of the running Vesk, as the global shortcut does.")),
      m_background(QStringLiteral("background"),
          QStringLiteral("Start without showing a window, ready for the global shortcut (as at login)."))
{
    m_parser.setApplicationDescription(
        QStringLiteral("Vesk keeps to-do lists in plain-text files and works them from the keyboard.\n"
                       "'vesk help' lists the commands that change a list from the terminal (vesk add,\n"
                       "vesk list, vesk done, ...); a file named like one of them opens as ./NAME."));
    m_parser.addOption(m_help);
    m_parser.addOption(m_version);
    m_parser.addOption(m_toggle);
    m_parser.addOption(m_background);
    m_parser.addPositionalArgument(
        QStringLiteral("files"), QStringLiteral("Task files to open."), QStringLiteral("[FILE...]"));
}

std::optional<int> AppCommandLine::read(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!m_parser.parse(arguments)) {
        std::fprintf(stderr, "vesk: %s\nTry 'vesk --help'.\n", qPrintable(m_parser.errorText()));
        return 2;
    }
    if (m_parser.isSet(m_help)) {
        std::fputs(qPrintable(m_parser.helpText().replace(
                       QStringLiteral("<executable_name>"), QStringLiteral("vesk"))),
            stdout);
        return 0;
    }
    if (m_parser.isSet(m_version)) {
        std::printf("vesk %s\n", VESK_VERSION);
        return 0;
    }
    if (toggle() && !files().isEmpty()) {
        std::fputs("vesk: --toggle opens no files; open them with 'vesk FILE...'\n"
                   "Try 'vesk --help'.\n",
            stderr);
        return 2;
    }
    return std::nullopt;
}
