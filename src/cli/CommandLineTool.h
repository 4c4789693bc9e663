#pragma once

#include "cli/ToolArguments.h"
#include "cli/ToolOutcome.h"

#include <QStringList>

// vesk's commands for the terminal ("vesk add FILE TITLE" and the rest): each reads or changes one
// task file and ends, with QtCore only, never touching the display or the running application.
class CommandLineTool {
public:
    // True when the first argument names a command; a file of that name is opened as ./NAME.
    static bool handles(int argc, char* argv[]);
    // Runs the command and returns the exit status.
    static int run(int argc, char* argv[]);

    // The command's result, given the arguments after the program name and standard input.
    static ToolOutcome execute(const QStringList& arguments);

private:
    static ToolOutcome list(const ToolArguments& arguments);
    static ToolOutcome add(const ToolArguments& arguments);
    static ToolOutcome move(const ToolCommand& command, const ToolArguments& arguments);
    static ToolOutcome newFile(const ToolArguments& arguments);
    static ToolOutcome import(const ToolArguments& arguments);
};
