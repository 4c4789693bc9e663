#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;

// The welcome block that a panel without a file and the Welcome window both show: the application
// icon, the tagline, a hint in the secondary colour and the "New File" and "Open..." buttons, in a
// column centred horizontally and padded 32 points at the sides, the whole column centred
// vertically. The view built on it supplies the icon and the accent colour of "New File", and
// wires the buttons. It follows the light or dark appearance of its palette.
class WelcomeBlock : public QWidget {
    Q_OBJECT

public:
    // The panel's buttons are of the regular size, the Welcome window's of the large one.
    enum class ControlSize { regular, large };

    QPushButton* newFileButton() const { return m_newFileButton; }
    QPushButton* openFileButton() const { return m_openFileButton; }

    // The icon's shadow: stronger in the dark appearance, where a faint shadow vanishes.
    static double shadowOpacity(const QPalette& palette);

protected:
    WelcomeBlock(ControlSize size, QWidget* parent);

    // Puts icon at the top of the column with gap points to the tagline.
    void setIcon(QWidget* icon, int gap);
    // Space added between all rows of the column besides the gaps of the design: none at first,
    // -1 for the style's layout spacing.
    void setRowSpacing(int spacing);
    // The fill and the text colour of "New File", the prominent button.
    virtual std::pair<QColor, QColor> accentColors(const QPalette& palette) const;
    // Applies the palette's appearance; views that draw more extend it.
    virtual void applyAppearance();
    void changeEvent(QEvent* event) override;

private:
    QVBoxLayout* m_column = nullptr;
    QLabel* m_tagline = nullptr;
    QLabel* m_hint = nullptr;
    QPushButton* m_newFileButton = nullptr;
    QPushButton* m_openFileButton = nullptr;
};
