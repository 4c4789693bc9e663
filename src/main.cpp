// vesk, the command people run. It only chooses which of Vesk's programs runs and becomes it (see
// platform/ProgramLocation.h), keeping this process, its id and its arguments, so that scripts and
// the single-instance check see one program. It loads no library but the C library, so that a
// window launch reaches the application without paying for Qt twice.
#include "platform/ProgramPaths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// The terminal commands, as cli/ToolCommand.cpp names them: "vesk NAME ..." runs one.
constexpr const char* toolCommands[]
    = {"list", "add", "done", "undone", "next", "pending", "remove", "new", "import", "help"};

// True when the arguments ask for nothing but a window: files, --toggle and --background, which the
// application reads again itself. A terminal command, --help, --version, any other option, "--",
// and --toggle with files go to the terminal tool, which answers them as this command always has
// and hands anything it does not answer to the application.
bool asksForWindow(int argc, char* argv[])
{
    if (argc >= 2) {
        for (const char* name : toolCommands) {
            if (std::strcmp(argv[1], name) == 0)
                return false;
        }
    }
    bool toggle = false;
    bool files = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--toggle") == 0)
            toggle = true;
        else if (argv[i][0] == '-' && std::strcmp(argv[i], "--background") != 0)
            return false;
        else if (argv[i][0] != '-')
            files = true;
    }
    return !(toggle && files);
}

} // namespace

int main(int argc, char* argv[])
{
    ProgramPaths::Buffer self;
    if (!ProgramPaths::running(self)) {
        std::fprintf(stderr, "vesk: cannot tell where this program is: %s\n", std::strerror(errno));
        return 1;
    }
    ProgramPaths::Buffer program;
    const char* name = asksForWindow(argc, argv) ? ProgramPaths::applicationName : ProgramPaths::toolName;
    if (!ProgramPaths::started(self, name, program)) {
        std::fprintf(stderr, "vesk: cannot start %s: %s\n", name, std::strerror(ENAMETOOLONG));
        return 1;
    }
    ::execv(program, argv);
    std::fprintf(stderr, "vesk: cannot start %s: %s\n", program, std::strerror(errno));
    return 1;
}
