#include "windows/ShortcutTableAccessible.h"

#include "windows/ShortcutTable.h"

#include <QLabel>

namespace {

QAccessibleInterface* shortcutTableFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("ShortcutTable"))
        return new ShortcutTableAccessible(static_cast<ShortcutTable*>(object));
    if (className == QLatin1String("QLabel") && qobject_cast<ShortcutTable*>(object->parent()))
        return new ShortcutTableCellAccessible(static_cast<QLabel*>(object));
    return nullptr;
}

} // namespace

ShortcutTableAccessible::ShortcutTableAccessible(ShortcutTable* table)
    : QAccessibleWidget(table, QAccessible::Table)
{ }

void ShortcutTableAccessible::install()
{
    static const bool installed = (QAccessible::installFactory(shortcutTableFactory), true);
    Q_UNUSED(installed);
}

ShortcutTable* ShortcutTableAccessible::table() const
{
    return static_cast<ShortcutTable*>(widget());
}

void* ShortcutTableAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessibleInterface* ShortcutTableAccessible::cellAt(int row, int column) const
{
    QLabel* cell = column >= 0 && column < 2 ? table()->cell(row, column) : nullptr;
    return cell ? QAccessible::queryAccessibleInterface(cell) : nullptr;
}

QString ShortcutTableAccessible::columnDescription(int column) const
{
    return ShortcutTable::columnTitle(column);
}

int ShortcutTableAccessible::rowCount() const
{
    return table()->rowCount();
}

ShortcutTableCellAccessible::ShortcutTableCellAccessible(QLabel* label)
    : QAccessibleWidget(label, QAccessible::Cell)
{ }

QLabel* ShortcutTableCellAccessible::label() const
{
    return static_cast<QLabel*>(widget());
}

ShortcutTable* ShortcutTableCellAccessible::owner() const
{
    return qobject_cast<ShortcutTable*>(label()->parentWidget());
}

void* ShortcutTableCellAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableCellInterface)
        return static_cast<QAccessibleTableCellInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString ShortcutTableCellAccessible::text(QAccessible::Text kind) const
{
    if (kind == QAccessible::Name)
        return label()->text();
    return QAccessibleWidget::text(kind);
}

int ShortcutTableCellAccessible::columnIndex() const
{
    return owner() ? owner()->columnOf(label()) : -1;
}

int ShortcutTableCellAccessible::rowIndex() const
{
    return owner() ? owner()->rowOf(label()) : -1;
}

QAccessibleInterface* ShortcutTableCellAccessible::table() const
{
    return owner() ? QAccessible::queryAccessibleInterface(owner()) : nullptr;
}
