#pragma once

#include <QWidget>

#include <functional>

// The floating window of the keyboard controls reference. Shift+? inside it toggles the reference
// (which hides it), as it does in a task panel.
class KeyboardControlsPanel : public QWidget {
    Q_OBJECT

public:
    explicit KeyboardControlsPanel(QWidget* parent = nullptr);

    std::function<void()> onToggleKeyboardControls;

    // Replaces the content (the previous one is deleted).
    void setContent(QWidget* content);
    QWidget* content() const { return m_content; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* m_content = nullptr;
};
