#include "platform/gui/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

QtPasteboard::QtPasteboard()
{
    // Vesk's own copies and other programs' alike; the primary selection is not ours.
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        connect(clipboard, &QClipboard::dataChanged, this, &Pasteboard::changed);
}

QString QtPasteboard::readString() const
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData(QClipboard::Clipboard) : nullptr;
    // Rich content without a plain-text form is no text to paste.
    return data && data->hasText() ? data->text() : QString();
}

void QtPasteboard::writeString(const QString& text)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(text, QClipboard::Clipboard);
}
