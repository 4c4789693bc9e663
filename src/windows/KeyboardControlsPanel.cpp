#include "windows/KeyboardControlsPanel.h"

#include <QKeyEvent>
#include <QVBoxLayout>

KeyboardControlsPanel::KeyboardControlsPanel(QWidget* parent)
    : QWidget(parent,
        Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
            | Qt::WindowCloseButtonHint)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void KeyboardControlsPanel::setContent(QWidget* content)
{
    if (m_content == content)
        return;
    delete m_content;
    m_content = content;
    if (content)
        layout()->addWidget(content);
}

void KeyboardControlsPanel::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers considered
        = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if ((event->modifiers() & considered) == Qt::ShiftModifier && event->text() == QLatin1String("?")) {
        if (onToggleKeyboardControls)
            onToggleKeyboardControls();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
