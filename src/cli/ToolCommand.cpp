#include "cli/ToolCommand.h"

namespace {

const QString taskOperand = QStringLiteral(
    "\nTASK is a number as 'vesk list' shows it, with its section: n2 (Next), p1 (Pending), c3 (Complete);\n"
    "a bare number counts Next, then Pending. Or TASK is the task's exact title (the words are joined\n"
    "by spaces). A title that matches no task, or several, is an error that names the candidates and\n"
    "changes nothing.\n");

const QString writeNote = QStringLiteral(
    "\nThe file is changed as the Vesk window would change it: under the same lock as its saves, from the\n"
    "file's text as it is at that moment, replaced in one step. A Vesk window showing the file reloads\n"
    "it when you come back to it.\n");

} // namespace

const QList<ToolCommand>& ToolCommand::all()
{
    static const QList<ToolCommand> commands {
        {Kind::list, QStringLiteral("list"), sectionOption | jsonOption, Operands::fileOnly,
            QStringLiteral("vesk list FILE [--section next|pending|complete] [--json]"),
            QStringLiteral("print the tasks, numbered within each section"),
            QStringLiteral(
                "Prints Next and Pending, then Complete, each task with its number in its section and\n"
                "its note indented below it. --section prints one section, without its heading.\n"
                "--json prints one array of objects with the members section, number, title, note\n"
                "(null when the task has none) and completed.\n")},
        {Kind::add, QStringLiteral("add"), nextOption | noteOption, Operands::fileAndTitle,
            QStringLiteral("vesk add FILE [--next] [--note TEXT] TITLE..."),
            QStringLiteral("add a task at the top of Pending, or at the end of Next"),
            QStringLiteral("Adds a task titled with the words of TITLE, joined by spaces, where the\n"
                           "window's n key puts one: at the top of Pending; with --next, at the end of\n"
                           "Next. --note gives it a note (its lines become note lines). A TITLE of - reads\n"
                           "one task per line from standard input and adds them in that order. Put --\n"
                           "before a title that starts with a hyphen.\n")
                + writeNote},
        {Kind::done, QStringLiteral("done"), noOptions, Operands::fileAndTask,
            QStringLiteral("vesk done FILE TASK"), QStringLiteral("complete a task"),
            QStringLiteral("Moves the task to the top of Complete, as Space in the window does.\n")
                + taskOperand + writeNote},
        {Kind::undone, QStringLiteral("undone"), noOptions, Operands::fileAndTask,
            QStringLiteral("vesk undone FILE TASK"), QStringLiteral("return a completed task to Pending"),
            QStringLiteral("Moves a completed task to the top of Pending.\n") + taskOperand + writeNote},
        {Kind::next, QStringLiteral("next"), noOptions, Operands::fileAndTask,
            QStringLiteral("vesk next FILE TASK"), QStringLiteral("move a task to the end of Next"),
            QStringLiteral("Moves a Pending or completed task to the end of Next.\n") + taskOperand
                + writeNote},
        {Kind::pending, QStringLiteral("pending"), noOptions, Operands::fileAndTask,
            QStringLiteral("vesk pending FILE TASK"), QStringLiteral("move a task to the top of Pending"),
            QStringLiteral("Moves a Next or completed task to the top of Pending.\n") + taskOperand
                + writeNote},
        {Kind::remove, QStringLiteral("remove"), noOptions, Operands::fileAndTask,
            QStringLiteral("vesk remove FILE TASK"), QStringLiteral("delete a task"),
            QStringLiteral("Deletes the task and its note.\n") + taskOperand + writeNote},
        {Kind::newFile, QStringLiteral("new"), noOptions, Operands::fileOnly, QStringLiteral("vesk new FILE"),
            QStringLiteral("create a task file of tips"),
            QStringLiteral("Creates FILE holding the list of tips that File > New writes. An existing\n"
                           "file is never overwritten.\n")},
        {Kind::import, QStringLiteral("import"), noOptions, Operands::fileOnly,
            QStringLiteral("vesk import FILE"), QStringLiteral("turn a plain-text file into a task file"),
            QStringLiteral("Rewrites a plain-text file as a task file: its non-empty lines become\n"
                           "Pending tasks, in order. The other commands refuse files that are not task\n"
                           "files. A file that already is one is left as it is.\n")
                + writeNote},
        {Kind::help, QStringLiteral("help"), noOptions, Operands::optionalCommand,
            QStringLiteral("vesk help [COMMAND]"), QStringLiteral("explain vesk's commands, or one of them"),
            QString()},
    };
    return commands;
}

const ToolCommand* ToolCommand::find(const QString& name)
{
    for (const ToolCommand& command : all()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

QString ToolCommand::helpText() const
{
    if (kind == Kind::help)
        return overview();
    return QStringLiteral(
        "Usage: %1\n\n%2%3\nExit status: 0 done, 1 failed (with one line on standard error,\n"
        "and the file unchanged), 2 the command was used wrongly.\n")
        .arg(synopsis, summary.left(1).toUpper() + summary.mid(1) + QStringLiteral(".\n\n"), details);
}

QString ToolCommand::overview()
{
    QString text = QStringLiteral("Usage: vesk COMMAND FILE [ARGUMENTS]\n\n"
                                  "Reads and changes a task file from the terminal, without a window:\n\n");
    for (const ToolCommand& command : all())
        text += QStringLiteral("  %1%2\n").arg(command.name.leftJustified(9), command.summary);
    text += QStringLiteral(
        "\n'vesk help COMMAND' or 'vesk COMMAND --help' explains one command.\n"
        "'vesk [FILE...]' opens files in the Vesk window; to open a file named like a command, write it\n"
        "as a path: 'vesk ./list'. See also vesk(1).\n");
    return text;
}
