#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <optional>

// The command line of a plain `vesk`, which starts the application or hands a request to the
// running one: the files to open, --toggle and --background. --help, --version and mistakes are
// answered here, before anything connects to a display, so that they answer anywhere.
class AppCommandLine {
public:
    AppCommandLine();

    // Reads the program's arguments as main() has them, its name first. When the command line is answered
    // here (help, version or a mistake, printed to standard output or error), the exit status; otherwise
    // nothing, and the application is to start.
    std::optional<int> read(int argc, char* argv[]);

    bool toggle() const { return m_parser.isSet(m_toggle); }
    bool background() const { return m_parser.isSet(m_background); }
    QStringList files() const { return m_parser.positionalArguments(); }

private:
    QCommandLineParser m_parser;
    const QCommandLineOption m_help;
    const QCommandLineOption m_version;
    const QCommandLineOption m_toggle;
    const QCommandLineOption m_background;
};
