#include "document/DocumentService.h"

#include "document/DocumentFormat.h"
#include "document/DocumentWriteLock.h"
#include "document/FileSnapshot.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString describeFailure(const DocumentFailure& failure)
{
    if (const auto* error = std::get_if<DocumentError>(&failure))
        return documentErrorDescription(*error);
    return std::get<FileSystemError>(failure).description();
}

QStringList DocumentService::openFileFilters()
{
    return {QStringLiteral("Vesk and plain text files (*.vesk *.txt *.text *.md)"),
        QStringLiteral("Vesk files (*.vesk)"), QStringLiteral("Plain text files (*.txt *.text *.md)")};
}

QStringList DocumentService::saveFileFilters()
{
    return {QStringLiteral("Vesk files (*.vesk)")};
}

namespace {

// Built in place: moving a finished variant into the optional trips GCC's uninitialised-use analysis.
std::optional<DocumentFailure> failure(DocumentError error)
{
    return std::optional<DocumentFailure>(std::in_place, error);
}

std::optional<DocumentFailure> failure(const FileSystemError& error)
{
    return std::optional<DocumentFailure>(std::in_place, error);
}

FileSystemError readError(const QString& path, int code)
{
    return FileSystemError::fromErrno(FileSystemError::Operation::read, path, code);
}

std::optional<FileSystemError> decodeUtf8(const QByteArray& bytes, const QString& path, QString& text)
{
    // Stateless, so that a sequence cut off at the end counts as an error too.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return readError(path, EILSEQ);
    text = std::move(decoded);
    return std::nullopt;
}

} // namespace

std::optional<FileSystemError> DocumentService::readSnapshot(const QString& path, FileSnapshot& snapshot,
    SnapshotContent content, const ContentMark* expected, bool lease) const
{
    // Devices, FIFOs and sockets are refused before they are opened: opening some devices acts on
    // them. Non-blocking, so that a FIFO put in the file's place between the two steps cannot hang
    // the application either.
    struct stat named { };
    if (::stat(QFile::encodeName(path).constData(), &named) == 0 && !S_ISREG(named.st_mode))
        return readError(path, S_ISDIR(named.st_mode) ? EISDIR : ENODEV);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return readError(path, errno);
    struct stat info { };
    if (::fstat(fd, &info) != 0) {
        const int code = errno;
        ::close(fd);
        return readError(path, code);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return readError(path, S_ISDIR(info.st_mode) ? EISDIR : ENODEV);
    }
    if (content == SnapshotContent::markOnly) {
        // Made first, so that a lease is in place before the first byte is read.
        FileSnapshot read(fd, info, ContentMark());
        if (lease)
            read.takeLease();
        ContentMark mark;
        bool validUtf8 = false;
        if (const int code = markFile(fd, mark, &validUtf8, expected))
            return readError(path, code);
        if (!validUtf8)
            return readError(path, EILSEQ);
        read.setMark(std::move(mark));
        snapshot = std::move(read);
        return std::nullopt;
    }
    QByteArray bytes;
    if (const int code = readFileFrom(fd, 0, bytes)) {
        ::close(fd);
        return readError(path, code);
    }
    if (!bytes.isValidUtf8()) {
        ::close(fd);
        return readError(path, EILSEQ);
    }
    snapshot = FileSnapshot(fd, info, std::move(bytes));
    return std::nullopt;
}

std::optional<FileSystemError> DocumentService::readText(
    const QString& path, QString& text, ContentMark* mark) const
{
    FileSnapshot snapshot;
    if (auto error = readSnapshot(path, snapshot))
        return error;
    if (mark)
        *mark = snapshot.mark();
    text = snapshot.text();
    return std::nullopt;
}

std::optional<DocumentFailure> DocumentService::readDocument(
    const QString& path, const Alert& alert, DocumentContents& result) const
{
    removeStaleTemporaryFiles(path);
    FileSnapshot snapshot;
    if (auto error = readSnapshot(path, snapshot))
        return failure(*error);
    // A task file is read straight from its bytes: a long list is never held as one decoded text.
    if (std::optional<VeskDocument> document = parseTaskFileUtf8(snapshot.bytes())) {
        result = {std::move(*document), QString(), snapshot.mark()};
        return std::nullopt;
    }
    const QString text = snapshot.text();
    snapshot = FileSnapshot();
    if (!askToImport(alert))
        return failure(DocumentError::importDeclined);
    return importText(text, path, result);
}

bool DocumentService::askToImport(const Alert& alert)
{
    if (!alert)
        return false;
    const int answer = alert(QStringLiteral("Import as Vesk file?"),
        QStringLiteral(
            "Vesk will treat the existing non-empty lines as inbox items and normalize the file when it "
            "saves."),
        {QStringLiteral("Import"), QStringLiteral("Cancel")});
    return answer == 0;
}

std::optional<DocumentFailure> DocumentService::importText(
    const QString& text, const QString& path, DocumentContents& result) const
{
    VeskDocument document = importPlainText(text);
    QString normalized = serializeDocument(document);
    const QByteArray bytes = normalized.toUtf8();
    // Not between another writer's check and its replacement of the file, where it would be lost.
    const DocumentWriteLock lock(path);
    // The file is checked to still hold the text the user agreed to import, and checked again just
    // before it is replaced: what another program wrote in the meantime is never written over.
    FileSnapshot checked;
    if (auto error = readSnapshot(path, checked))
        return failure(*error);
    if (checked.text() != text)
        return failure(DocumentError::changedBeforeImport);
    GuardedWriteOutcome outcome;
    if (auto error = writeContents(bytes, path, checked, outcome))
        return failure(*error);
    if (outcome != GuardedWriteOutcome::written)
        return failure(DocumentError::changedBeforeImport);
    ContentMark mark = ContentMark::of(bytes);
    result = {std::move(document), std::move(normalized), std::move(mark)};
    return std::nullopt;
}

std::optional<DocumentFailure> DocumentService::makeNewFileContents(
    DocumentContents& result, const QString& templatePath) const
{
    QFile file(templatePath);
    if (!file.exists())
        return failure(DocumentError::missingBundledTemplate);
    if (!file.open(QIODevice::ReadOnly))
        return failure(readError(templatePath, EACCES));
    QString text;
    if (auto error = decodeUtf8(file.readAll(), templatePath, text))
        return failure(*error);
    if (isVeskDocument(text)) {
        result = {parseDocument(text), text, ContentMark::of(text.toUtf8())};
        return std::nullopt;
    }
    VeskDocument document = importPlainText(text);
    QString normalized = serializeDocument(document);
    ContentMark mark = ContentMark::of(normalized.toUtf8());
    result = {std::move(document), std::move(normalized), std::move(mark)};
    return std::nullopt;
}
