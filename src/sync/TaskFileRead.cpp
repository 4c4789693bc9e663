#include "sync/TaskFileRead.h"

#include "document/DocumentFormat.h"
#include "document/DocumentService.h"

std::optional<DocumentControllerFailure> readTaskFile(const DocumentService& service, const QString& path,
    DocumentContents& contents, QString* plainText, const std::atomic<bool>* dropped)
{
    QString text;
    ContentMark mark;
    if (auto error = service.readText(path, text, &mark))
        return *error;
    if (dropped && dropped->load())
        return std::nullopt;
    std::optional<VeskDocument> document = parseTaskFile(text);
    if (!document) {
        if (plainText)
            *plainText = std::move(text);
        return FileAccessError::unreadableAsVesk();
    }
    // A long list's text is about as large as its tasks: gone before anything else is made.
    text = QString();
    contents = {std::move(*document), QString(), std::move(mark)};
    return std::nullopt;
}
