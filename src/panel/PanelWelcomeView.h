#pragma once

#include "kit/WelcomeBlock.h"

// What a panel shows before it has a file: the welcome block, its two buttons reaching the
// document controller.
class PanelWelcomeView : public WelcomeBlock {
    Q_OBJECT

public:
    explicit PanelWelcomeView(QWidget* parent = nullptr);

    // The application's window icon at side × side device-independent pixels.
    static QPixmap iconPixmap(int side, qreal devicePixelRatio);

signals:
    void newFileRequested();
    void openFileRequested();

protected:
    // "New File" carries the colour of a document without a colour of its own.
    std::pair<QColor, QColor> accentColors(const QPalette& palette) const override;
};
