#pragma once

#include "kit/WelcomeBlock.h"

class QGraphicsDropShadowEffect;
class QLabel;

// The welcome window's content: the welcome block with large buttons that create or open a task
// file.
class WelcomeView : public WelcomeBlock {
    Q_OBJECT

public:
    static constexpr int width = 490;
    static constexpr int height = 610;

    explicit WelcomeView(QWidget* parent = nullptr);

    double iconShadowOpacity() const;

signals:
    // The "New File" and "Open..." buttons.
    void newFileRequested();
    void openFileRequested();

protected:
    void changeEvent(QEvent* event) override;
    void applyAppearance() override;

private:
    QLabel* m_icon = nullptr;
    QGraphicsDropShadowEffect* m_iconShadow = nullptr;
};
