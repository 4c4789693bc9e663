#pragma once

#include <QString>

// Vesk is three programs: `vesk`, the command people run, which loads no library but the C library
// and becomes one of two private programs: the application for a window, or the terminal tool,
// with QtCore alone, for the terminal commands, --help and --version. Installed, the private
// programs are LIBEXECDIR/vesk/vesk-app and LIBEXECDIR/vesk/vesk-cli; in a build folder they sit
// beside `vesk`. Each finds the others from its own location (ProgramPaths.h), so a moved
// installation keeps working.
class ProgramLocation {
public:
    // The program running now, symbolic links resolved; empty when the system does not say.
    static QString running();
    // The application that the command at this path starts.
    static QString application(const QString& command);
    // The command that starts the application at this path: the program desktop entries name.
    static QString command(const QString& application);
};
