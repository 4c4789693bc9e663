#include "sync/TaskFileRead.h"

#include "document/DocumentFormat.h"
#include "document/DocumentService.h"

std::optional<DocumentControllerFailure> readTaskFile(const DocumentService& service, const QString& path,
    DocumentContents& contents, QString* plainText, const std::atomic<bool>* dropped)
{
    FileSnapshot snapshot;
    if (auto error = service.readSnapshot(path, snapshot))
        return *error;
    if (dropped && dropped->load())
        return std::nullopt;
    ContentMark mark = snapshot.mark();
    // Read straight from the bytes (checked to be UTF-8): the list is never held as one decoded text.
    std::optional<VeskDocument> document = parseTaskFileUtf8(snapshot.bytes(), dropped);
    if (dropped && dropped->load())
        return std::nullopt;
    if (!document) {
        if (plainText)
            *plainText = snapshot.text();
        return FileAccessError::unreadableAsVesk();
    }
    contents = {std::move(*document), QString(), std::move(mark)};
    return std::nullopt;
}
