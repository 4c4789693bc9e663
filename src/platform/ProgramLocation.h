#pragma once

#include <QString>

// Vesk is two programs: `vesk`, the command people run, which answers the terminal commands, --help
// and --version with QtCore alone, and the application, a private program it starts for everything
// else. Installed, the application is LIBEXECDIR/vesk/vesk-app; in a build folder it sits beside
// `vesk`. Each finds the other from its own location, so a moved installation keeps working.
class ProgramLocation {
public:
    // The program running now, symbolic links resolved; empty when the system does not say.
    static QString running();
    // The application that the command at this path starts.
    static QString application(const QString& command);
    // The command that starts the application at this path: the program desktop entries name.
    static QString command(const QString& application);
};
