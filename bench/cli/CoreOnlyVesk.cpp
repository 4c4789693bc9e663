// The terminal commands alone, in a program that links QtCore and not the window's libraries: what
// loading those libraries costs each `vesk add`, measured beside the real program.
#include "CommandLineTool.h"

int main(int argc, char* argv[])
{
    return CommandLineTool::run(argc, argv);
}
