#pragma once

#include <QIcon>
#include <QPixmap>

// The application icon, compiled into the program at the sizes the desktop asks for.
struct AppIcon {
    // Every size up to largest × largest, for window icons and the task switcher. Title bars and
    // task lists take the small ones.
    static QIcon icon(int largest = 256);
    // The icon drawn at side × side device-independent pixels for a screen of the given pixel
    // ratio, from the nearest larger source so that it stays sharp.
    static QPixmap pixmap(int side, qreal devicePixelRatio);
};
