#include "cli/CommandLineTool.h"

#include "cli/TaskFileEdit.h"
#include "cli/TaskListing.h"
#include "cli/TaskPlacement.h"
#include "cli/TaskReference.h"
#include "document/DocumentFormat.h"
#include "document/DocumentService.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString quoted(const QString& title)
{
    return QStringLiteral("“") + title + QStringLiteral("”");
}

QString fileName(const QString& path)
{
    return QFileInfo(path).fileName();
}

std::optional<QString> readStandardInput()
{
    QByteArray bytes;
    char buffer[65536];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
        bytes.append(buffer, qsizetype(count));
    if (std::ferror(stdin))
        return std::nullopt;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

void write(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

struct MoveWords {
    TaskPlacement::Move move;
    QString done;
    QString already;
};

MoveWords moveWords(ToolCommand::Kind kind)
{
    switch (kind) {
    case ToolCommand::Kind::done:
        return {TaskPlacement::Move::complete, QStringLiteral("Completed %1"),
            QStringLiteral("%1 is already complete")};
    case ToolCommand::Kind::undone:
        return {TaskPlacement::Move::returnToPending, QStringLiteral("Returned %1 to Pending"),
            QStringLiteral("%1 is not complete")};
    case ToolCommand::Kind::next:
        return {TaskPlacement::Move::toNext, QStringLiteral("Moved %1 to Next"),
            QStringLiteral("%1 is already in Next")};
    case ToolCommand::Kind::pending:
        return {TaskPlacement::Move::toPending, QStringLiteral("Moved %1 to Pending"),
            QStringLiteral("%1 is already in Pending")};
    default:
        break;
    }
    return {TaskPlacement::Move::remove, QStringLiteral("Removed %1"), QString()};
}

} // namespace

bool CommandLineTool::handles(int argc, char* argv[])
{
    return argc >= 2 && ToolCommand::find(QString::fromLocal8Bit(argv[1]));
}

int CommandLineTool::run(int argc, char* argv[])
{
    // No QCoreApplication: nothing here needs one, and making it costs every command its time. The
    // system's messages (strerror) follow the user's locale, as they would under one.
    std::setlocale(LC_ALL, "");
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const ToolOutcome outcome = execute(arguments);
    write(stdout, outcome.output);
    std::fflush(stdout);
    write(stderr, outcome.error);
    // Output that could not be written (a full disk, a closed pipe) is a failure too.
    if (std::ferror(stdout) && outcome.status == ToolOutcome::success)
        return ToolOutcome::failure;
    return outcome.status;
}

ToolOutcome CommandLineTool::execute(const QStringList& arguments)
{
    const ToolCommand* command = arguments.isEmpty() ? nullptr : ToolCommand::find(arguments.first());
    if (!command)
        return ToolOutcome::misused(QStringLiteral("no such command"), QString());
    ToolArguments parsed;
    if (const auto mistake = ToolArguments::parse(*command, arguments.mid(1), parsed))
        return ToolOutcome::misused(*mistake, command->name);
    if (parsed.help)
        return ToolOutcome::done(command->helpText());
    switch (command->kind) {
    case ToolCommand::Kind::list:
        return list(parsed);
    case ToolCommand::Kind::add:
        return add(parsed);
    case ToolCommand::Kind::newFile:
        return newFile(parsed);
    case ToolCommand::Kind::import:
        return import(parsed);
    case ToolCommand::Kind::help: {
        if (parsed.words.isEmpty())
            return ToolOutcome::done(ToolCommand::overview());
        const ToolCommand* topic = ToolCommand::find(parsed.words.first());
        if (!topic)
            return ToolOutcome::misused(
                QStringLiteral("no command '%1'").arg(parsed.words.first()), QString());
        return ToolOutcome::done(topic->helpText());
    }
    default:
        return move(*command, parsed);
    }
}

ToolOutcome CommandLineTool::list(const ToolArguments& arguments)
{
    VeskDocument document;
    ToolOutcome outcome = TaskFileEdit::read(arguments.file, document);
    if (outcome.status != ToolOutcome::success)
        return outcome;
    const std::optional<TaskSection> only
        = arguments.section ? TaskListing::sectionForKey(*arguments.section) : std::nullopt;
    return ToolOutcome::done(
        arguments.json ? TaskListing::json(document, only) : TaskListing::text(document, only));
}

ToolOutcome CommandLineTool::add(const ToolArguments& arguments)
{
    QStringList titles;
    if (arguments.words == QStringList {QStringLiteral("-")}) {
        if (arguments.note)
            return ToolOutcome::misused(
                QStringLiteral("--note goes with one TITLE, not with -"), QStringLiteral("add"));
        const std::optional<QString> input = readStandardInput();
        if (!input)
            return ToolOutcome::failed(QStringLiteral("standard input could not be read as UTF-8 text"));
        for (const QString& line : splitLines(*input)) {
            if (!line.trimmed().isEmpty())
                titles << line.trimmed();
        }
        if (titles.isEmpty())
            return ToolOutcome::failed(QStringLiteral("standard input held no titles; nothing was added"));
    } else {
        const QString title = arguments.words.join(u' ').trimmed();
        if (title.isEmpty())
            return ToolOutcome::misused(QStringLiteral("the TITLE is empty"), QStringLiteral("add"));
        if (title.contains(u'\n') || title.contains(u'\r'))
            return ToolOutcome::misused(
                QStringLiteral("a TITLE is one line; give a note with --note"), QStringLiteral("add"));
        titles << title;
    }
    QStringList texts = titles;
    if (arguments.note)
        texts.first() += u'\n' + *arguments.note;
    const QString section = arguments.next ? QStringLiteral("Next") : QStringLiteral("Pending");
    return TaskFileEdit::edit(arguments.file, [&](VeskDocument& document, bool& changed) {
        TaskPlacement(document).add(texts, arguments.next);
        changed = true;
        return ToolOutcome::done(titles.size() == 1
                ? QStringLiteral("Added %1 to %2\n").arg(quoted(titles.first()), section)
                : QStringLiteral("Added %1 tasks to %2\n").arg(titles.size()).arg(section));
    });
}

ToolOutcome CommandLineTool::move(const ToolCommand& command, const ToolArguments& arguments)
{
    const MoveWords words = moveWords(command.kind);
    const QString reference = arguments.words.join(u' ');
    return TaskFileEdit::edit(arguments.file, [&](VeskDocument& document, bool& changed) {
        const auto found = TaskReference::resolve(document, reference);
        if (const auto* message = std::get_if<QString>(&found))
            return ToolOutcome::failed(*message);
        const TaskLocation location = std::get<TaskLocation>(found);
        const QString title = quoted(TaskListing::tasks(document, location.section)[location.index].title);
        changed = TaskPlacement(document).apply(words.move, location);
        if (!changed)
            return ToolOutcome::done(words.already.arg(title) + u'\n');
        return ToolOutcome::done(words.done.arg(title) + u'\n');
    });
}

ToolOutcome CommandLineTool::newFile(const ToolArguments& arguments)
{
    const QString& path = arguments.file;
    const DocumentService service;
    DocumentContents contents;
    if (const auto failure = service.makeNewFileContents(contents))
        return ToolOutcome::failed(describeFailure(*failure));
    // Claimed empty first, so that a file that appears meanwhile is never replaced; then filled as
    // every other change is written.
    const QByteArray encoded = QFile::encodeName(path);
    const int fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST)
        return ToolOutcome::failed(
            QStringLiteral("“%1” already exists; 'vesk new' never overwrites a file").arg(fileName(path)));
    if (fd < 0)
        return ToolOutcome::failed(
            FileSystemError::fromErrno(FileSystemError::Operation::write, path, errno).description());
    struct stat claimed { };
    ::fstat(fd, &claimed);
    ::close(fd);
    ToolOutcome outcome
        = TaskFileEdit::rewrite(path, [&](const QString&, std::optional<QString>& replacement) {
              replacement = contents.text;
              return ToolOutcome::done(QStringLiteral("Created %1\n").arg(fileName(path)));
          });
    // A file that could not be filled is not left behind empty.
    struct stat now { };
    if (outcome.status != ToolOutcome::success && ::stat(encoded.constData(), &now) == 0
        && now.st_ino == claimed.st_ino && now.st_dev == claimed.st_dev && now.st_size == 0)
        ::unlink(encoded.constData());
    return outcome;
}

ToolOutcome CommandLineTool::import(const ToolArguments& arguments)
{
    const QString& path = arguments.file;
    return TaskFileEdit::rewrite(path, [&](const QString& text, std::optional<QString>& replacement) {
        if (isVeskDocument(text))
            return ToolOutcome::done(
                QStringLiteral("“%1” already is a task file; nothing changed\n").arg(fileName(path)));
        const VeskDocument document = importPlainText(text);
        replacement = serializeDocument(document);
        return ToolOutcome::done(QStringLiteral("Imported %1 tasks into %2\n")
                                     .arg(document.inboxItems.size())
                                     .arg(fileName(path)));
    });
}
