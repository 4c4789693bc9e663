#pragma once

#include <QWidget>

class QGraphicsDropShadowEffect;
class QLabel;
class QPushButton;

// The welcome window's content: the icon, the tagline and the two buttons that create or open a
// task file. It follows the light or dark appearance of its palette.
class WelcomeView : public QWidget {
    Q_OBJECT

public:
    static constexpr int width = 490;
    static constexpr int height = 610;

    explicit WelcomeView(QWidget* parent = nullptr);

    QPushButton* newFileButton() const { return m_newFileButton; }
    QPushButton* openFileButton() const { return m_openFileButton; }
    // The icon shadow's opacity: stronger in the dark appearance, where a faint shadow vanishes.
    double iconShadowOpacity() const;

signals:
    // The "New File" and "Open..." buttons.
    void newFileRequested();
    void openFileRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyAppearance();

    QLabel* m_icon = nullptr;
    QGraphicsDropShadowEffect* m_iconShadow = nullptr;
    QLabel* m_tagline = nullptr;
    QLabel* m_hint = nullptr;
    QPushButton* m_newFileButton = nullptr;
    QPushButton* m_openFileButton = nullptr;
};
