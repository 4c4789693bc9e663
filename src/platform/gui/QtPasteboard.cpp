#include "platform/gui/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

QtPasteboard::QtPasteboard()
{
    // Vesk's own copies and other programs' alike; the primary selection is not ours.
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        connect(clipboard, &QClipboard::dataChanged, this, [this] {
            forgetText();
            emit changed();
        });
    }
}

QString QtPasteboard::readString() const
{
    if (m_text)
        return *m_text;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData(QClipboard::Clipboard) : nullptr;
    // Rich content without a plain-text form is no text to paste.
    m_text = data && data->hasText() ? data->text() : QString();
    return *m_text;
}

void QtPasteboard::forgetText() const
{
    m_text.reset();
}

void QtPasteboard::writeString(const QString& text)
{
    forgetText();
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(text, QClipboard::Clipboard);
}
