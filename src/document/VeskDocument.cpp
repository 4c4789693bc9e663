#include "document/VeskDocument.h"

const VeskDocument& VeskDocument::empty()
{
    static const VeskDocument document;
    return document;
}
