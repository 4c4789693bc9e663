#include "sync/ListLoad.h"

#include "document/DocumentService.h"
#include "sync/TaskFileRead.h"

void ListLoad::run(const DocumentService& service)
{
    if (dropped)
        return;
    DocumentContents contents;
    if (importing) {
        const QString text = std::exchange(importing, std::nullopt).value();
        if (auto error = service.importText(text, path, contents)) {
            failure = fromDocumentFailure(*error);
            return;
        }
        contents.text = QString();
    } else {
        if (removesStaleTemporaryFiles)
            service.removeStaleTemporaryFiles(path);
        QString text;
        failure = readTaskFile(service, path, contents, keepsPlainText ? &text : nullptr, &dropped);
        if (failure) {
            if (keepsPlainText && std::holds_alternative<FileAccessError>(*failure))
                plainText = std::move(text);
            return;
        }
    }
    if (dropped)
        return;
    // The session's items share the tasks' texts; the document itself goes here.
    content = LoadedContent::of(contents.document, &dropped);
    if (!content)
        return;
    mark = std::move(contents.mark);
    // Made once the document is let go of, so that both are not held at once.
    contents = DocumentContents();
    content->makeRows(&dropped);
    if (!dropped)
        content->makeSummaries();
    if (dropped)
        content.reset();
}
