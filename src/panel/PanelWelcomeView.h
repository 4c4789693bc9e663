#pragma once

#include <QWidget>

class QPushButton;

// What a panel shows before it has a file: the icon, a line about the application and the two
// ways to get a file.
class PanelWelcomeView : public QWidget {
    Q_OBJECT

public:
    explicit PanelWelcomeView(QWidget* parent = nullptr);

    QPushButton* newFileButton() const { return m_newFile; }
    QPushButton* openButton() const { return m_open; }

    // The application's window icon at side × side device-independent pixels.
    static QPixmap iconPixmap(int side, qreal devicePixelRatio);

signals:
    void newFileRequested();
    void openFileRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyPalette();

    class IconLabel* m_icon;
    class QLabel* m_headline;
    class QLabel* m_hint;
    QPushButton* m_newFile;
    QPushButton* m_open;
};
