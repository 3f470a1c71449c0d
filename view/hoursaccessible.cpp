// The coming hours as a screen reader finds them: a table of drawn cells.
#include "view/hoursaccessible.h"

#include "view/hourscurve.h"

#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QHash>
#include <QPointer>
#include <QWindow>

namespace {

// The coming hours: a table of the hours shown under four headers, each
// row headed by its hour. Its cells are drawn, not widgets: each is an
// interface of its own, made when first asked for and kept until the hours
// change, as Qt's item views keep theirs.
class HoursAccessible;

class HourCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface
{
public:
    HourCellAccessible(HoursCurve *curve, int row, int column)
        : m_curve(curve)
        , m_row(row)
        , m_column(column)
    {
    }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TableCellInterface && m_row >= 0)
            return static_cast<QAccessibleTableCellInterface *>(this);
        return nullptr;
    }

    bool isValid() const override { return !m_curve.isNull(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_curve ? m_curve->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_curve.data()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *focusChild() const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        if (!m_curve)
            return QString();
        if (t == QAccessible::Name)
            return m_row < 0 ? HoursCurve::headerText(m_column) : m_curve->cellText(m_row, m_column);
        // The hour's cell, which takes the focus, describes its whole row:
        // what a screen reader says as Left and Right move along the curve.
        if (t == QAccessible::Description && m_row >= 0 && m_column == 0)
            return m_curve->spokenRow(m_row);
        return QString();
    }
    void setText(QAccessible::Text, const QString &) override { }
    QRect rect() const override
    {
        if (!m_curve)
            return {};
        // The hour's column of the curve, from top to foot.
        const qreal x = m_curve->pointOf(std::max(m_row, 0)).x();
        const qreal half = qreal(m_curve->width()) / HoursCurve::Hours / 2;
        const QPoint topLeft = m_curve->mapToGlobal(QPoint(int(x - half), 0));
        return QRect(topLeft, QSize(int(2 * half), m_curve->height()));
    }
    QAccessible::Role role() const override { return m_row < 0 ? QAccessible::ColumnHeader : QAccessible::Cell; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!m_curve || !m_curve->isVisible())
            s.invisible = true;
        s.readOnly = true;
        if (m_row >= 0 && m_column == 0) {
            s.focusable = true;
            s.focused = m_curve && m_curve->hasFocus() && m_curve->highlighted() == m_row;
            s.selectable = true;
            s.selected = m_curve && m_curve->highlighted() == m_row;
        }
        return s;
    }

    bool isSelected() const override { return m_curve && m_row >= 0 && m_curve->highlighted() == m_row; }
    QList<QAccessibleInterface *> columnHeaderCells() const override;
    QList<QAccessibleInterface *> rowHeaderCells() const override;
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return parent(); }

private:
    QPointer<HoursCurve> m_curve;
    int m_row; // -1 for a header
    int m_column;
};

class HoursAccessible : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit HoursAccessible(HoursCurve *curve)
        : QAccessibleWidget(curve, QAccessible::Table)
    {
    }
    ~HoursAccessible() override { forgetCells(); }

    HoursCurve *curve() const { return static_cast<HoursCurve *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? QCoreApplication::translate("HoursCurve", "الساعات القادمة")
                                      : QAccessibleWidget::text(t);
    }

    int childCount() const override { return HoursCurve::Columns * (1 + rowCount()); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        const int row = index / HoursCurve::Columns - 1;
        const int column = index % HoursCurve::Columns;
        QAccessible::Id &id = m_cells[index];
        if (!id)
            id = QAccessible::registerAccessibleInterface(new HourCellAccessible(curve(), row, column));
        return QAccessible::accessibleInterface(id);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (auto it = m_cells.cbegin(); it != m_cells.cend(); ++it) {
            if (QAccessible::accessibleInterface(it.value()) == child)
                return it.key();
        }
        return -1;
    }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *focusChild() const override
    {
        const int row = curve()->highlighted();
        return curve()->hasFocus() && row >= 0 ? cellAt(row, 0) : nullptr;
    }

    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QAccessibleInterface *cellAt(int row, int column) const override
    {
        if (row < 0 || row >= rowCount() || column < 0 || column >= HoursCurve::Columns)
            return nullptr;
        return child(HoursCurve::Columns * (1 + row) + column);
    }
    QAccessibleInterface *headerAt(int column) const { return child(column); }
    QString columnDescription(int column) const override { return HoursCurve::headerText(column); }
    QString rowDescription(int row) const override { return curve()->spokenRow(row); }
    int columnCount() const override { return HoursCurve::Columns; }
    int rowCount() const override { return curve()->shownHours(); }

    int selectedCellCount() const override { return curve()->highlighted() >= 0 ? 1 : 0; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return curve()->highlighted() >= 0 ? 1 : 0; }
    QList<QAccessibleInterface *> selectedCells() const override
    {
        const int row = curve()->highlighted();
        return row >= 0 ? QList<QAccessibleInterface *>{cellAt(row, 0)} : QList<QAccessibleInterface *>();
    }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override
    {
        const int row = curve()->highlighted();
        return row >= 0 ? QList<int>{row} : QList<int>();
    }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override { return row >= 0 && row == curve()->highlighted(); }
    bool selectRow(int row) override
    {
        curve()->setHighlighted(row);
        return isRowSelected(row);
    }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    // New hours: the cells are made again as they are asked for.
    void modelChange(QAccessibleTableModelChangeEvent *) override { forgetCells(); }

private:
    void forgetCells()
    {
        for (const QAccessible::Id id : std::as_const(m_cells))
            QAccessible::deleteAccessibleInterface(id);
        m_cells.clear();
    }

    mutable QHash<int, QAccessible::Id> m_cells;
};

QList<QAccessibleInterface *> HourCellAccessible::columnHeaderCells() const
{
    auto *table = static_cast<HoursAccessible *>(parent());
    return table ? QList<QAccessibleInterface *>{table->headerAt(m_column)} : QList<QAccessibleInterface *>();
}

QList<QAccessibleInterface *> HourCellAccessible::rowHeaderCells() const
{
    auto *table = static_cast<HoursAccessible *>(parent());
    if (!table || m_column == 0 || m_row < 0)
        return {};
    return {table->cellAt(m_row, 0)};
}

} // namespace

QAccessibleInterface *hoursTableAccessible(QWidget *curve)
{
    return new HoursAccessible(static_cast<HoursCurve *>(curve));
}
