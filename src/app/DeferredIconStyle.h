#pragma once

#include <QProxyStyle>

// The application's own style, except that the icon of a toolbar's extension button (shown only
// when the toolbar overflows) is asked of it when first drawn. Qt reads that icon with the format
// left to guess, which makes building a panel's toolbar load every image-format plugin there is
// before the first frame.
class DeferredIconStyle : public QProxyStyle {
    Q_OBJECT

public:
    // The style named key, as QStyleFactory makes it.
    explicit DeferredIconStyle(const QString& key);

    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
        const QWidget* widget = nullptr) const override;
};
