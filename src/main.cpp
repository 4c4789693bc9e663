// vesk, the command people run. It answers the terminal commands, --help and --version itself,
// linking QtCore alone, so that `vesk add` loads none of the window system's libraries; for
// everything else it becomes the application (see ProgramLocation.h), which keeps this process, its
// id and its arguments, so that scripts and the single-instance check see one program.
#include "cli/AppCommandLine.h"
#include "cli/CommandLineTool.h"
#include "platform/ProgramLocation.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

int main(int argc, char* argv[])
{
    // "vesk add FILE TITLE" and the other terminal commands end here, without a display.
    if (CommandLineTool::handles(argc, argv))
        return CommandLineTool::run(argc, argv);

    AppCommandLine commandLine;
    if (const std::optional<int> status = commandLine.read(argc, argv))
        return *status;

    const QString self = ProgramLocation::running();
    if (self.isEmpty()) {
        std::fprintf(stderr, "vesk: cannot tell where this program is: %s\n", std::strerror(errno));
        return 1;
    }
    const QByteArray application = QFile::encodeName(ProgramLocation::application(self));
    ::execv(application.constData(), argv);
    std::fprintf(stderr, "vesk: cannot start %s: %s\n", application.constData(), std::strerror(errno));
    return 1;
}
