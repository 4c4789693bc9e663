#pragma once

#include <QAccessibleWidget>

class QLabel;
class ShortcutTable;

// A ShortcutTable as assistive technologies see it: a table named by its section whose cells are
// its labels, keys in the first column and commands in the second. Nothing can be selected.
class ShortcutTableAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit ShortcutTableAccessible(ShortcutTable* table);

    // Registers the interfaces of tables and their cells; once per process.
    static void install();

    void* interface_cast(QAccessible::InterfaceType type) override;

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override { return 0; }
    QList<QAccessibleInterface*> selectedCells() const override { return {}; }
    QString columnDescription(int column) const override;
    int columnCount() const override { return 2; }
    int rowCount() const override;
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    QString rowDescription(int) const override { return {}; }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override { }

private:
    ShortcutTable* table() const;
};

// One label of a ShortcutTable as a cell: its text is its name.
class ShortcutTableCellAccessible : public QAccessibleWidget, public QAccessibleTableCellInterface {
public:
    explicit ShortcutTableCellAccessible(QLabel* label);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text kind) const override;

    bool isSelected() const override { return false; }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override;
    int rowIndex() const override;
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override;

private:
    QLabel* label() const;
    ShortcutTable* owner() const;
};
