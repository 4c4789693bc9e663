#pragma once

#include "windows/ShortcutRow.h"

#include <QList>
#include <QWidget>

class QLabel;

// One section of the keyboard controls reference: a row of keys and description per shortcut, laid
// out as two aligned columns. Assistive technologies read it as a table of keys and commands named
// by the section (see ShortcutTableAccessible).
class ShortcutTable : public QWidget {
    Q_OBJECT

public:
    ShortcutTable(
        const QString& title, const QList<ShortcutRow>& rows, int keyColumnWidth, QWidget* parent = nullptr);

    static QString columnTitle(int column);

    int rowCount() const { return int(m_cells.size() / 2); }
    // The label of a cell: column 0 holds the keys, column 1 the description.
    QLabel* cell(int row, int column) const { return m_cells.value(row * 2 + column); }
    // The row and column of a cell's label, or -1 for another widget.
    int rowOf(const QLabel* label) const;
    int columnOf(const QLabel* label) const;

private:
    // Row by row, keys first.
    QList<QLabel*> m_cells;
};
