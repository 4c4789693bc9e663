#pragma once

#include "sync/DocumentColor.h"

#include <QColor>

// The light and dark shades of the six document colours.
struct DocumentColorShades {
    static QColor color(DocumentColor color, bool dark);
};
