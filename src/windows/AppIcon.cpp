#include "windows/AppIcon.h"

#include <QImageReader>
#include <QString>

#include <cmath>

namespace {
constexpr int sizes[] = {16, 24, 32, 48, 64, 128, 256};

QString iconPath(int size)
{
    return QStringLiteral(":/icons/vesk-%1.png").arg(size);
}

// Read as the PNG it is: left to guess the format, Qt first loads every image-format plugin it has
// to ask each one whether it reads the file.
QImage readIcon(int size)
{
    QImageReader reader(iconPath(size), "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}
} // namespace

QIcon AppIcon::icon(int largest)
{
    QIcon icon;
    for (int size : sizes) {
        if (size <= largest)
            icon.addPixmap(QPixmap::fromImage(readIcon(size)));
    }
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
    QPixmap pixmap = QPixmap::fromImage(readIcon(source));
    if (pixmap.isNull())
        return pixmap;
    pixmap = pixmap.scaled(pixels, pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}
