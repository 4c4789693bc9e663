#pragma once

#include "document/VeskDocument.h"

#include <QString>

// A document together with the exact file text it was read from or written as.
struct DocumentContents {
    VeskDocument document;
    QString text;
};
