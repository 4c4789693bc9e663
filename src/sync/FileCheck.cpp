#include "sync/FileCheck.h"

#include "sync/FileState.h"

#include <limits>

void FileCheck::run(const DocumentService& service)
{
    const std::optional<ContentMark> mark = written.isEmpty() || !expected
        ? expected
        : ContentMark::of(written, std::numeric_limits<qsizetype>::max());
    // Let go of here, on this thread: the last reference to a long list's bytes may be this one.
    written = QByteArray();
    FileState state;
    failure = FileState::read(service, path, state, mark ? &*mark : nullptr);
    same = !failure && (!mark || *mark == state.snapshot.mark());
}
