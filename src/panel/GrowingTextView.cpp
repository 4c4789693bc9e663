#include "panel/GrowingTextView.h"

#include "platform/Scheduler.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleHints>
#include <QTextBlock>
#include <QTimer>
#include <QUrl>

#include <cmath>

GrowingTextView::GrowingTextView(QWidget* parent, Scheduler* scheduler)
    : QTextEdit(parent), m_scheduler(scheduler ? scheduler : Scheduler::system())
{
    setFrameShape(QFrame::NoFrame);
    setAcceptRichText(false);
    setUndoRedoEnabled(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document()->setDocumentMargin(0);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("QTextEdit { background: transparent; }"));
    // Qt draws its insertion point inverted, which nearly vanishes on a coloured row; this editor
    // draws its own in the text colour.
    setCursorWidth(0);
    m_caretBlink = new QTimer(this);
    connect(m_caretBlink, &QTimer::timeout, this, [this] {
        m_caretOn = !m_caretOn;
        viewport()->update();
    });
    connect(this, &QTextEdit::cursorPositionChanged, this, &GrowingTextView::restartCaretBlink);

    connect(this, &QTextEdit::textChanged, this, [this] {
        const QString current = toPlainText();
        if (!m_settingText && current != m_lastText) {
            m_lastText = current;
            Q_EMIT textEdited(current);
        }
        updateMeasuredHeight();
    });
}

void GrowingTextView::setText(const QString& text)
{
    if (toPlainText() == text)
        return;
    m_settingText = true;
    m_lastText = text;
    setPlainText(text);
    moveCursor(QTextCursor::End);
    m_settingText = false;
    updateMeasuredHeight();
}

void GrowingTextView::setFocused(bool focused)
{
    if (m_isFocused != focused) {
        m_isFocused = focused;
        Q_EMIT isFocusedChanged(focused);
    }
    if (m_isFocused && isEditable() && !hasFocus())
        takeFocus();
}

void GrowingTextView::takeFocus()
{
    // At once where it can: the keys typed right after the one that opened the editor may already
    // be waiting, and they must reach the editor, in order. Until shown, it waits for a turn.
    if (isVisible())
        setFocus(Qt::OtherFocusReason);
    else
        m_scheduler->schedule(0, this, [this] { focusIfNeeded(); });
}

void GrowingTextView::focusIfNeeded()
{
    if (!m_isFocused || !isEditable() || !isVisible() || hasFocus())
        return;
    setFocus(Qt::OtherFocusReason);
}

void GrowingTextView::setEditable(bool editable)
{
    if (editable == isEditable())
        return;
    setReadOnly(!editable);
    // Read-only text edits hide the caret; keep the pointer an I-beam either way.
    viewport()->setCursor(Qt::IBeamCursor);
    Q_EMIT isEditableChanged(editable);
    if (editable && m_isFocused && !hasFocus())
        takeFocus();
}

void GrowingTextView::setTextColor(const QColor& color)
{
    if (color == m_textColor)
        return;
    m_textColor = color;
    QPalette p = palette();
    p.setColor(QPalette::Text, color);
    p.setColor(QPalette::Base, Qt::transparent);
    setPalette(p);
    Q_EMIT textColorChanged(color);
}

void GrowingTextView::setEditorFont(const QFont& newFont)
{
    if (newFont == font())
        return;
    setFont(newFont);
    document()->setDefaultFont(newFont);
    updateMeasuredHeight();
}

void GrowingTextView::updateMeasuredHeight()
{
    // The contents rectangle is the viewport's (no frame, no scroll bars), and unlike the viewport
    // it is right before the editor is first shown.
    const int width = contentsRect().width();
    if (width <= 1)
        return;
    if (document()->textWidth() != width)
        document()->setTextWidth(width);
    const double used = document()->documentLayout()->documentSize().height();
    const double height = std::max(used, QFontMetricsF(font()).height());
    const double reference = m_pendingHeight >= 0 ? m_pendingHeight : m_measuredHeight;
    if (std::abs(height - reference) <= 0.5)
        return;
    const bool alreadyScheduled = m_pendingHeight >= 0;
    m_pendingHeight = height;
    if (alreadyScheduled)
        return;
    // Reported on the next turn, never inside the layout pass that measured it.
    m_scheduler->schedule(0, this, [this] {
        const double next = m_pendingHeight;
        m_pendingHeight = -1;
        if (next < 0 || std::abs(next - m_measuredHeight) <= 0.5)
            return;
        m_measuredHeight = next;
        Q_EMIT measuredHeightChanged(next);
    });
}

void GrowingTextView::resizeEvent(QResizeEvent* event)
{
    QTextEdit::resizeEvent(event);
    // The host sizes the editor to its content; keep the text from scrolling inside it.
    verticalScrollBar()->setValue(0);
    updateMeasuredHeight();
}

void GrowingTextView::restartCaretBlink()
{
    if (!hasFocus())
        return;
    m_caretOn = true;
    const int flashTime = QGuiApplication::styleHints()->cursorFlashTime();
    if (flashTime >= 2)
        m_caretBlink->start(flashTime / 2);
    else
        m_caretBlink->stop();
    viewport()->update();
}

void GrowingTextView::focusInEvent(QFocusEvent* event)
{
    QTextEdit::focusInEvent(event);
    restartCaretBlink();
}

void GrowingTextView::focusOutEvent(QFocusEvent* event)
{
    QTextEdit::focusOutEvent(event);
    m_caretBlink->stop();
    m_caretOn = false;
    viewport()->update();
}

void GrowingTextView::paintEvent(QPaintEvent* event)
{
    QTextEdit::paintEvent(event);
    if (!m_caretOn || isReadOnly() || !hasFocus())
        return;
    const QRect caret = cursorRect();
    const int width = std::max(1, style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, this));
    QPainter painter(viewport());
    painter.fillRect(QRect(caret.left(), caret.top(), width, caret.height()),
        m_textColor.isValid() ? m_textColor : palette().color(QPalette::Text));
}

void GrowingTextView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() & (Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier)) {
            if (!isReadOnly())
                textCursor().insertText(QStringLiteral("\n"));
            event->accept();
            return;
        }
        event->accept();
        if (onSubmit)
            onSubmit();
        return;
    case Qt::Key_Escape:
        event->accept();
        if (onCancel)
            onCancel();
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        // Tab neither leaves the editor nor types a tab into the task; Ctrl+Tab goes on.
        if (!(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
            event->accept();
            return;
        }
        QTextEdit::keyPressEvent(event);
        return;
    default:
        QTextEdit::keyPressEvent(event);
    }
}

bool GrowingTextView::focusNextPrevChild(bool)
{
    // An open editor keeps the keyboard until it submits or cancels.
    return false;
}

void GrowingTextView::paste()
{
    if (canPaste())
        QTextEdit::paste();
}

bool GrowingTextView::canInsertFromMimeData(const QMimeData* source) const
{
    // A plain-text editor takes text and nothing else.
    return source && source->hasText();
}

void GrowingTextView::insertFromMimeData(const QMimeData* source)
{
    // An X11 clipboard whose owner has quit offers data without any format, and Qt's text control
    // crashes on that; it never gets such data.
    if (!source || !source->hasText())
        return;
    if (handleSmartPaste(source->text()))
        return;
    QTextEdit::insertFromMimeData(source);
}

bool GrowingTextView::handleSmartPaste(const QString& pasted)
{
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return false;
    const QString trimmed = pasted.trimmed();
    if (trimmed.isEmpty())
        return false;
    for (const QChar c : trimmed) {
        if (c.isSpace())
            return false;
    }
    const QUrl url(trimmed, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;
    if (isReadOnly())
        return true;
    // The selection may span paragraphs; selectedText() marks those with U+2029.
    QString selected = cursor.selectedText();
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    const QString replacement
        = QLatin1Char('[') + selected + QStringLiteral("](") + trimmed + QLatin1Char(')');
    cursor.insertText(replacement);
    setTextCursor(cursor);
    return true;
}
