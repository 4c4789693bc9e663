#include "sync/FileCheck.h"

#include "sync/FileState.h"
#include "sync/TaskFileRead.h"

void FileCheck::run(const DocumentService& service)
{
    m_begunReading = true;
    {
        FileState state;
        failure = FileState::read(service, path, state, expected ? &*expected : nullptr);
        same = !failure && (!expected || *expected == state.snapshot.mark());
    }
    if (failure || same || !readsChange)
        return;
    // Read again as a whole: the look above holds no more of a long file than its mark. The tasks
    // are those of the text read now, which may be newer still, and come with that text's mark.
    DocumentContents contents;
    changeFailure = readTaskFile(service, path, contents);
    if (changeFailure)
        return;
    // The session's items share the tasks' texts; the document itself goes here.
    change = LoadedContent::of(contents.document);
    changeMark = contents.mark;
    // Made once the document is let go of, so that both are not held at once.
    contents = DocumentContents();
    change->makeRows();
    change->makeSummaries();
}
