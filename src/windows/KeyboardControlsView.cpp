#include "windows/KeyboardControlsView.h"

#include "kit/KitStyle.h"
#include "windows/ShortcutSection.h"
#include "windows/ShortcutTable.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace {
// The keys' column is at least this wide, and wider when a key text needs it (Linux key names are
// longer than symbols), so that no text is cut off.
constexpr int minimumShortcutColumn = 110;
} // namespace

KeyboardControlsView::KeyboardControlsView(const QString& globalHotKeyDisplayName, QWidget* parent)
    : QScrollArea(parent), m_globalHotKeyDisplayName(globalHotKeyDisplayName)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setBackgroundRole(QPalette::Window);

    auto* content = new QWidget;
    content->setBackgroundRole(QPalette::Window);
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(20, 20, 20, 20);
    stack->setSpacing(18);

    auto* header = new QVBoxLayout;
    header->setSpacing(6);
    auto* title = new QLabel(tr("Vesk keyboard controls"), content);
    title->setFont(KitStyle::font(KitStyle::TextStyle::title3, QFont::DemiBold));
    m_subtitle = new QLabel(tr("A quick reference for the app-specific shortcuts and controls."), content);
    m_subtitle->setFont(KitStyle::font(KitStyle::TextStyle::subheadline));
    m_subtitle->setWordWrap(true);
    header->addWidget(title);
    header->addWidget(m_subtitle);
    stack->addLayout(header);

    const QList<ShortcutSection> sections = ShortcutSection::all(globalHotKeyDisplayName);
    const QFontMetrics keyMetrics(KitStyle::monospacedFont(QFont::DemiBold));
    // One width for every section, so that the descriptions line up.
    int keyColumn = minimumShortcutColumn;
    for (const ShortcutSection& section : sections) {
        for (const ShortcutRow& row : section.rows)
            keyColumn = std::max(keyColumn, keyMetrics.horizontalAdvance(row.shortcut));
    }

    for (const ShortcutSection& section : sections) {
        auto* block = new QVBoxLayout;
        block->setSpacing(10);
        auto* sectionTitle = new QLabel(section.title.toUpper(), content);
        sectionTitle->setFont(KitStyle::font(KitStyle::TextStyle::caption, QFont::Bold));
        m_sectionTitleLabels << sectionTitle;
        block->addWidget(sectionTitle);
        auto* table = new ShortcutTable(section.title, section.rows, keyColumn, content);
        for (int row = 0; row < table->rowCount(); ++row)
            m_rowLabels.append(RowLabels {table->cell(row, 0), table->cell(row, 1)});
        block->addWidget(table);
        stack->addLayout(block);
    }
    stack->addStretch();
    setWidget(content);
    applyAppearance();
}

void KeyboardControlsView::changeEvent(QEvent* event)
{
    QScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyAppearance();
}

void KeyboardControlsView::applyAppearance()
{
    // Palette changes arrive while the constructor is still building the labels.
    if (!m_subtitle)
        return;
    const QColor secondary = KitStyle::secondaryLabelColor(palette());
    QList<QLabel*> dimmed = m_sectionTitleLabels;
    dimmed << m_subtitle;
    for (QLabel* label : dimmed) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, secondary);
        label->setPalette(pal);
    }
}
