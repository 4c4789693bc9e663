#pragma once

#include "document/ContentMark.h"
#include "document/VeskDocument.h"

#include <QString>

// A document together with the exact file text it was read from or written as.
struct DocumentContents {
    VeskDocument document;
    QString text;
    // The mark of the file's bytes: as read, or as they are once text is written.
    ContentMark mark;
};
