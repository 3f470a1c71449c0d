#pragma once

#include "platform/formaccessible.h"
#include "platform/formcontrols.h"

#include <QAccessibleWidget>
#include <QPoint>

// The screen reader's view of the board's tables of labels (the grid, the
// coming days): each label a cell of its table under its column's header,
// the table its headers and then its cells row by row. A part of this kind
// offers Columns, header(column), cell(column, row), cellOf(label) and
// spokenRow(row); the table says how many rows it shows.

// A header or a cell of one of the board's tables of labels (the grid, the
// coming days): the label itself, placed in its table under its column's
// header and, past the first column, beside its row's first cell.
template <typename Part>
class LabelCellAccessible : public FormLabelAccessible, public QAccessibleTableCellInterface
{
public:
    LabelCellAccessible(FormLabel *label, Part *part, QPoint cell)
        : FormLabelAccessible(label)
        , m_part(part)
        , m_column(cell.x())
        , m_row(cell.y())
    {
    }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TableCellInterface && m_row >= 0)
            return static_cast<QAccessibleTableCellInterface *>(this);
        return FormLabelAccessible::interface_cast(t);
    }

    bool isSelected() const override { return false; }
    QList<QAccessibleInterface *> columnHeaderCells() const override
    {
        return {QAccessible::queryAccessibleInterface(m_part->header(m_column))};
    }
    QList<QAccessibleInterface *> rowHeaderCells() const override
    {
        if (m_column == 0)
            return {};
        return {QAccessible::queryAccessibleInterface(m_part->cell(0, m_row))};
    }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return QAccessible::queryAccessibleInterface(m_part); }

protected:
    Part *m_part;
    int m_column;
    int m_row; // -1 for a header
};

// Where a label of such a table stands: (column, row), the row -1 for a
// header; (-1, -1) for a label that is neither.
template <typename Part>
QPoint placeInTable(const Part *part, const QWidget *label)
{
    QPoint cell = part->cellOf(label);
    for (int c = 0; c < Part::Columns && cell.x() < 0; ++c) {
        if (part->header(c) == label)
            cell = QPoint(c, -1);
    }
    return cell;
}

// One of those tables: its headers, then its cells row by row; the rows are
// described as the part says them. Nothing is selected unless a subclass
// says so.
template <typename Part>
class LabelTableAccessible : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit LabelTableAccessible(Part *part)
        : QAccessibleWidget(part, QAccessible::Table)
    {
    }

    Part *part() const { return static_cast<Part *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    int childCount() const override { return Part::Columns * (1 + rowCount()); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        if (index < Part::Columns)
            return QAccessible::queryAccessibleInterface(part()->header(index));
        index -= Part::Columns;
        return cellAt(index / Part::Columns, index % Part::Columns);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const QPoint cell = placeInTable(part(), child ? qobject_cast<const QWidget *>(child->object()) : nullptr);
        if (cell.x() < 0 || cell.y() >= rowCount())
            return -1;
        return Part::Columns * (1 + cell.y()) + cell.x();
    }

    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QAccessibleInterface *cellAt(int row, int column) const override
    {
        if (row < 0 || row >= rowCount() || column < 0 || column >= Part::Columns)
            return nullptr;
        return QAccessible::queryAccessibleInterface(part()->cell(column, row));
    }
    QString columnDescription(int column) const override
    {
        return column >= 0 && column < Part::Columns ? part()->header(column)->spokenText() : QString();
    }
    QString rowDescription(int row) const override
    {
        return row >= 0 && row < rowCount() ? part()->spokenRow(row) : QString();
    }
    int columnCount() const override { return Part::Columns; }

    int selectedCellCount() const override { return 0; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    QList<QAccessibleInterface *> selectedCells() const override { return {}; }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent *) override { }
};
