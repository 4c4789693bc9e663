// vesk-cli, the program the vesk command becomes for the terminal commands, --help, --version and
// whatever else is not plainly a window launch. It links QtCore alone, so that `vesk add` loads
// none of the window system's libraries; a command line that asks for a window after all goes on
// to the application beside it, in the same process with the same arguments.
#include "cli/AppCommandLine.h"
#include "cli/CommandLineTool.h"
#include "platform/ProgramPaths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char* argv[])
{
    // This process is the vesk command to ps, pgrep and killall.
    ::prctl(PR_SET_NAME, "vesk", 0, 0, 0);

    // "vesk add FILE TITLE" and the other terminal commands end here, without a display.
    if (CommandLineTool::handles(argc, argv))
        return CommandLineTool::run(argc, argv);

    AppCommandLine commandLine;
    if (const std::optional<int> status = commandLine.read(argc, argv))
        return *status;

    ProgramPaths::Buffer self;
    ProgramPaths::Buffer application;
    if (!ProgramPaths::running(self)) {
        std::fprintf(stderr, "vesk: cannot tell where this program is: %s\n", std::strerror(errno));
        return 1;
    }
    if (!ProgramPaths::beside(self, ProgramPaths::applicationName, application)) {
        std::fprintf(stderr, "vesk: cannot start %s: %s\n", ProgramPaths::applicationName,
            std::strerror(ENAMETOOLONG));
        return 1;
    }
    ::execv(application, argv);
    std::fprintf(stderr, "vesk: cannot start %s: %s\n", application, std::strerror(errno));
    return 1;
}
