#pragma once

#include "kit/WelcomeBlock.h"

#include <functional>

class QGraphicsDropShadowEffect;
class QLabel;

// The welcome window's content: the welcome block with large buttons that create or open a task
// file.
class WelcomeView : public WelcomeBlock {
    Q_OBJECT

public:
    static constexpr int width = 490;
    static constexpr int height = 610;

    WelcomeView(std::function<void()> onNewFile, std::function<void()> onOpenFile, QWidget* parent = nullptr);

    // Run by the "New File" and "Open..." buttons; either may be empty.
    std::function<void()> onNewFile;
    std::function<void()> onOpenFile;

    double iconShadowOpacity() const;

protected:
    void changeEvent(QEvent* event) override;
    void applyAppearance() override;

private:
    QLabel* m_icon = nullptr;
    QGraphicsDropShadowEffect* m_iconShadow = nullptr;
};
