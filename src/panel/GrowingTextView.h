#pragma once

#include <QColor>
#include <QTextEdit>

#include <functional>

class QTimer;
class Scheduler;

// The panel's multi-line plain-text editor (the input row and the inline editor). It has no
// scroll bars and no height of its own: it measures its laid-out text and reports the height, and
// the host sizes it. Return submits, Shift+Return (or Alt+Return) inserts a line break, Escape
// cancels, and Tab stays in the editor. Pasting an http or https URL over a selection makes a
// bracketed link of the selection. The insertion point is drawn in the text colour.
class GrowingTextView : public QTextEdit {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textEdited)
    Q_PROPERTY(double measuredHeight READ measuredHeight NOTIFY measuredHeightChanged)
    Q_PROPERTY(bool isFocused READ isFocused WRITE setFocused NOTIFY isFocusedChanged)
    Q_PROPERTY(bool isEditable READ isEditable WRITE setEditable NOTIFY isEditableChanged)
    Q_PROPERTY(QColor textColor READ textColor WRITE setTextColor NOTIFY textColorChanged)

public:
    explicit GrowingTextView(QWidget* parent = nullptr, Scheduler* scheduler = nullptr);

    QString text() const { return toPlainText(); }
    // Replaces the contents only when they differ, so the caret and selection survive host
    // updates that carry the text already shown.
    void setText(const QString& text);

    double measuredHeight() const { return m_measuredHeight; }

    bool isFocused() const { return m_isFocused; }
    // The host wants this editor to hold the focus: it takes it at once, or on the next turn while
    // not shown yet.
    void setFocused(bool focused);

    bool isEditable() const { return !isReadOnly(); }
    void setEditable(bool editable);

    QColor textColor() const { return m_textColor; }
    void setTextColor(const QColor& color);

    void setEditorFont(const QFont& font);

    std::function<void()> onSubmit;
    std::function<void()> onCancel;

    // Replaces a non-empty selection by "[selection](url)" when pasted is a single http or https
    // URL (blanks around it are trimmed). Returns whether the paste was handled.
    bool handleSmartPaste(const QString& pasted);

    // Measures the laid-out text and, when it differs by more than half a point from the last
    // reported height, reports the new height on the next turn of the event loop.
    void updateMeasuredHeight();

public Q_SLOTS:
    // Pastes only when the clipboard holds text; the key handler and the menus call this by name.
    void paste();

Q_SIGNALS:
    // The user changed the text (typing, pasting, deleting); not sent for setText.
    void textEdited(const QString& text);
    void measuredHeightChanged(double height);
    void isFocusedChanged(bool focused);
    void isEditableChanged(bool editable);
    void textColorChanged(const QColor& color);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void takeFocus();
    void focusIfNeeded();
    // Shows the insertion point and starts its blinking afresh (after a move or an edit).
    void restartCaretBlink();

    Scheduler* m_scheduler;
    QString m_lastText;
    double m_measuredHeight = 0;
    double m_pendingHeight = -1;
    bool m_isFocused = false;
    bool m_settingText = false;
    QColor m_textColor;
    QTimer* m_caretBlink;
    bool m_caretOn = false;
};
