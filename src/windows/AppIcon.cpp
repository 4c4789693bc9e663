#include "windows/AppIcon.h"

#include <QString>

#include <cmath>

namespace {
constexpr int sizes[] = {16, 24, 32, 48, 64, 128, 256};

QString iconPath(int size)
{
    return QStringLiteral(":/icons/vesk-%1.png").arg(size);
}
} // namespace

QIcon AppIcon::icon()
{
    QIcon icon;
    for (int size : sizes)
        icon.addFile(iconPath(size), QSize(size, size));
    return icon;
}

QPixmap AppIcon::pixmap(int side, qreal devicePixelRatio)
{
    const int pixels = int(std::ceil(side * devicePixelRatio));
    int source = sizes[std::size(sizes) - 1];
    for (int size : sizes) {
        if (size >= pixels) {
            source = size;
            break;
        }
    }
    QPixmap pixmap(iconPath(source));
    if (pixmap.isNull())
        return pixmap;
    pixmap = pixmap.scaled(pixels, pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}
