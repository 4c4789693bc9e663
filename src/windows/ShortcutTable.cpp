#include "windows/ShortcutTable.h"

#include "kit/KitStyle.h"
#include "windows/ShortcutTableAccessible.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>

ShortcutTable::ShortcutTable(
    const QString& title, const QList<ShortcutRow>& rows, int keyColumnWidth, QWidget* parent)
    : QWidget(parent)
{
    ShortcutTableAccessible::install();
    setAccessibleName(title);
    const QFont keyFont = KitStyle::monospacedFont(QFont::DemiBold);
    const QFont bodyFont = KitStyle::font(KitStyle::TextStyle::body);
    // Aligned on the first line's baseline: the label with the shorter ascent moves down.
    const int ascentDifference = QFontMetrics(bodyFont).ascent() - QFontMetrics(keyFont).ascent();

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(8);
    grid->setColumnMinimumWidth(0, keyColumnWidth);
    grid->setColumnStretch(1, 1);
    int line = 0;
    for (const ShortcutRow& row : rows) {
        auto* keys = new QLabel(row.shortcut, this);
        keys->setFont(keyFont);
        keys->setTextFormat(Qt::PlainText);
        keys->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        auto* description = new QLabel(row.description, this);
        description->setFont(bodyFont);
        description->setTextFormat(Qt::PlainText);
        description->setWordWrap(true);
        description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (ascentDifference > 0)
            keys->setContentsMargins(0, ascentDifference, 0, 0);
        else
            description->setContentsMargins(0, -ascentDifference, 0, 0);
        grid->addWidget(keys, line, 0, Qt::AlignLeft | Qt::AlignTop);
        // No alignment: the description fills its cell, so that its wrapped height is honoured.
        grid->addWidget(description, line, 1);
        m_cells << keys << description;
        ++line;
    }
}

QString ShortcutTable::columnTitle(int column)
{
    return column == 0 ? tr("Key") : tr("Command");
}

int ShortcutTable::rowOf(const QLabel* label) const
{
    const qsizetype index = m_cells.indexOf(label);
    return index < 0 ? -1 : int(index / 2);
}

int ShortcutTable::columnOf(const QLabel* label) const
{
    const qsizetype index = m_cells.indexOf(label);
    return index < 0 ? -1 : int(index % 2);
}
