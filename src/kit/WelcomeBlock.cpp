#include "kit/WelcomeBlock.h"

#include "kit/KitStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QPushButton* makeButton(const QString& text, WelcomeBlock::ControlSize size, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    if (size == WelcomeBlock::ControlSize::large) {
        const QFont font = KitStyle::font(KitStyle::TextStyle::body);
        button->setFont(font);
        button->setMinimumHeight(QFontMetrics(font).height() + 18);
        button->setMinimumWidth(110);
        button->setAutoDefault(false);
    }
    return button;
}

} // namespace

WelcomeBlock::WelcomeBlock(ControlSize size, QWidget* parent) : QWidget(parent)
{
    m_tagline = new QLabel(this);
    m_tagline->setTextFormat(Qt::RichText);
    m_tagline->setText(tr("<b>Vesk</b> is a todo app with no features"));
    m_tagline->setFont(KitStyle::font(KitStyle::TextStyle::title3));
    m_tagline->setAlignment(Qt::AlignHCenter);
    m_tagline->setWordWrap(true);

    m_hint = new QLabel(tr("Start a new file for helpful tips"), this);
    m_hint->setFont(KitStyle::font(KitStyle::TextStyle::body));
    m_hint->setAlignment(Qt::AlignHCenter);
    m_hint->setWordWrap(true);

    m_newFileButton = makeButton(tr("New File"), size, this);
    m_newFileButton->setDefault(true);
    // Return on the focused button presses it in the panel as in a dialog.
    if (size == ControlSize::regular)
        m_newFileButton->setAutoDefault(true);
    m_openFileButton = makeButton(tr("Open..."), size, this);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(16);
    buttons->addStretch();
    buttons->addWidget(m_newFileButton, 0, Qt::AlignVCenter);
    buttons->addWidget(m_openFileButton, 0, Qt::AlignVCenter);
    buttons->addStretch();

    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(32, 0, 32, 0);
    m_column->setSpacing(0);
    m_column->addStretch();
    m_column->addWidget(m_tagline);
    m_column->addSpacing(10);
    m_column->addWidget(m_hint);
    m_column->addSpacing(32);
    m_column->addLayout(buttons);
    m_column->addStretch();
}

void WelcomeBlock::setIcon(QWidget* icon, int gap)
{
    // Below the stretch that centres the column, above the tagline. Its shadow may reach under
    // the tagline, which is drawn over it.
    icon->lower();
    m_column->insertWidget(1, icon, 0, Qt::AlignHCenter);
    m_column->insertSpacing(2, gap);
}

void WelcomeBlock::setRowSpacing(int spacing)
{
    m_column->setSpacing(spacing);
}

double WelcomeBlock::shadowOpacity(const QPalette& palette)
{
    return KitStyle::isDark(palette) ? 0.28 : 0.12;
}

std::pair<QColor, QColor> WelcomeBlock::accentColors(const QPalette& palette) const
{
    return {palette.color(QPalette::Highlight), palette.color(QPalette::HighlightedText)};
}

void WelcomeBlock::applyAppearance()
{
    QPalette hint = m_hint->palette();
    hint.setColor(QPalette::WindowText, KitStyle::secondaryLabelColor(palette()));
    m_hint->setPalette(hint);

    const auto [fill, text] = accentColors(palette());
    QPalette accent = m_newFileButton->palette();
    accent.setColor(QPalette::Button, fill);
    accent.setColor(QPalette::ButtonText, text);
    m_newFileButton->setPalette(accent);
}

void WelcomeBlock::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyAppearance();
}
