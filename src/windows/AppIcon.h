#pragma once

#include <QIcon>
#include <QPixmap>

// The application icon, compiled into the program at the sizes the desktop asks for.
struct AppIcon {
    // Every size, for window icons and the task switcher.
    static QIcon icon();
    // The icon drawn at side × side device-independent pixels for a screen of the given pixel
    // ratio, from the nearest larger source so that it stays sharp.
    static QPixmap pixmap(int side, qreal devicePixelRatio);
};
