#include "panel/DocumentColorShades.h"

// The dark shades of green and teal are deeper than usual so white text on a selected row stays
// readable.
QColor DocumentColorShades::color(DocumentColor color, bool dark)
{
    switch (color) {
    case DocumentColor::red:
        return dark ? QColor(255, 69, 58) : QColor(255, 59, 48);
    case DocumentColor::green:
        return dark ? QColor(44, 160, 72) : QColor(40, 167, 69);
    case DocumentColor::teal:
        return dark ? QColor(36, 150, 176) : QColor(32, 150, 175);
    case DocumentColor::blue:
        return dark ? QColor(10, 132, 255) : QColor(0, 122, 255);
    case DocumentColor::indigo:
        return dark ? QColor(94, 92, 230) : QColor(88, 86, 214);
    case DocumentColor::purple:
        return dark ? QColor(191, 90, 242) : QColor(175, 82, 222);
    }
    return QColor(0, 122, 255);
}
