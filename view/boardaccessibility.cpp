#include "view/boardaccessibility.h"

#include "platform/formaccessible.h"
#include "view/citydetail.h"
#include "view/comingdays.h"
#include "view/citygrid.h"
#include "view/spokentext.h"
#include "view/tickerstrip.h"
#include "view/warningsign.h"
#include "view/windcompasswidget.h"

#include <QAccessibleWidget>

namespace {

constexpr char PaneProperty[] = "hidesDecorationsFromScreenReaders";

// Boxes and lines that only decorate: a line, a plain frame (a box of
// ControlKit::makeShape; frames that are parts of the board are subclasses),
// and the keyboard's focus frame, which the focused control's state tells.
bool isDecoration(const QObject *object)
{
    return qobject_cast<const FormLine *>(object) || object->metaObject() == &QFrame::staticMetaObject
        || object->objectName() == QLatin1String("FocusFrame");
}

// A widget whose children are its controls, less its decorations.
class PaneAccessible : public QAccessibleWidget
{
public:
    PaneAccessible(QWidget *widget, QAccessible::Role role)
        : QAccessibleWidget(widget, role)
    {
    }

    int childCount() const override { return int(controls().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QList<QWidget *> list = controls();
        return index >= 0 && index < list.size() ? QAccessible::queryAccessibleInterface(list.at(index)) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child ? int(controls().indexOf(qobject_cast<QWidget *>(child->object()))) : -1;
    }

private:
    QList<QWidget *> controls() const
    {
        QList<QWidget *> list;
        for (QObject *object : widget()->children()) {
            auto *w = qobject_cast<QWidget *>(object);
            if (w && !w->isWindow() && !isDecoration(w))
                list << w;
        }
        return list;
    }
};

// Something that is one whole to a screen reader: its children are drawn
// parts of it, not objects of their own.
class LeafAccessible : public QAccessibleWidget
{
public:
    using QAccessibleWidget::QAccessibleWidget;
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
};

// A part said by its own words (spokenText()): the ticker strip, the compass.
template <typename Part>
class SpokenPartAccessible : public LeafAccessible
{
public:
    SpokenPartAccessible(Part *part, QAccessible::Role role)
        : LeafAccessible(part, role)
    {
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return static_cast<Part *>(widget())->spokenText();
        return LeafAccessible::text(t);
    }
};

// The strip's warning sign: a button that shows the first city warned of.
class SignAccessible : public LeafAccessible
{
public:
    explicit SignAccessible(WarningSign *sign)
        : LeafAccessible(sign, QAccessible::Button)
    {
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &actionName) override
    {
        if (actionName == pressAction())
            Q_EMIT static_cast<WarningSign *>(widget())->clicked();
    }
};

class GridAccessible;

// A header or a cell of the grid: the label itself, said as its column says
// its values.
class GridCellAccessible : public FormLabelAccessible, public QAccessibleTableCellInterface
{
public:
    GridCellAccessible(FormLabel *label, CityGrid *grid, QPoint cell)
        : FormLabelAccessible(label)
        , m_grid(grid)
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

    QAccessible::State state() const override
    {
        QAccessible::State s = FormLabelAccessible::state();
        if (isCity()) {
            s.focusable = true;
            s.focused = m_grid->hasFocus() && m_grid->currentRow() == m_row;
            s.selectable = true;
            s.selected = m_grid->currentRow() == m_row;
        }
        return s;
    }

    // A city under a warning is said with it: "الرياض، تنبيه: عاصفة ترابية ...".
    QString text(QAccessible::Text t) const override
    {
        const QString text = FormLabelAccessible::text(t);
        if (t != QAccessible::Name || !isCity() || m_grid->rowWarning(m_row).isEmpty())
            return text;
        return spokenList({text, m_grid->rowWarning(m_row)});
    }

    // A city name is pressed as it is clicked.
    QStringList actionNames() const override { return isCity() ? QStringList{pressAction()} : QStringList(); }
    void doAction(const QString &actionName) override
    {
        if (isCity() && actionName == pressAction())
            m_grid->activateRow(m_row);
    }

    bool isSelected() const override { return m_grid->currentRow() == m_row; }
    QList<QAccessibleInterface *> columnHeaderCells() const override
    {
        return {QAccessible::queryAccessibleInterface(m_grid->header(m_column))};
    }
    QList<QAccessibleInterface *> rowHeaderCells() const override
    {
        if (m_column == 0)
            return {};
        return {QAccessible::queryAccessibleInterface(m_grid->lblCity(m_row))};
    }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return QAccessible::queryAccessibleInterface(m_grid); }

private:
    bool isCity() const { return m_column == 0 && m_row >= 0 && !label()->text().isEmpty(); }

    CityGrid *m_grid;
    int m_column;
    int m_row; // -1 for a header
};

class GridAccessible : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit GridAccessible(CityGrid *grid)
        : QAccessibleWidget(grid, QAccessible::Table)
    {
    }

    CityGrid *grid() const { return static_cast<CityGrid *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    // The six headers, then the cells row by row.
    int childCount() const override { return CityGrid::Columns * (1 + CityGrid::Rows); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        if (index < CityGrid::Columns)
            return QAccessible::queryAccessibleInterface(grid()->header(index));
        index -= CityGrid::Columns;
        return cellAt(index / CityGrid::Columns, index % CityGrid::Columns);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child)
            return -1;
        const auto *label = qobject_cast<const QWidget *>(child->object());
        for (int c = 0; c < CityGrid::Columns; ++c) {
            if (grid()->header(c) == label)
                return c;
        }
        const QPoint cell = grid()->cellOf(label);
        return cell.x() < 0 ? -1 : CityGrid::Columns * (1 + cell.y()) + cell.x();
    }
    QAccessibleInterface *focusChild() const override
    {
        const int row = grid()->currentRow();
        return grid()->hasFocus() && row >= 0 ? cellAt(row, 0) : nullptr;
    }

    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QAccessibleInterface *cellAt(int row, int column) const override
    {
        if (row < 0 || row >= CityGrid::Rows || column < 0 || column >= CityGrid::Columns)
            return nullptr;
        return QAccessible::queryAccessibleInterface(grid()->cell(column, row));
    }
    QString columnDescription(int column) const override
    {
        return column >= 0 && column < CityGrid::Columns ? grid()->header(column)->spokenText() : QString();
    }
    QString rowDescription(int row) const override
    {
        return row >= 0 && row < CityGrid::Rows ? grid()->spokenRow(row) : QString();
    }
    int columnCount() const override { return CityGrid::Columns; }
    int rowCount() const override { return CityGrid::Rows; }

    // The current row is the one selected: the city the panel shows.
    int selectedCellCount() const override { return grid()->currentRow() >= 0 ? 1 : 0; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return grid()->currentRow() >= 0 ? 1 : 0; }
    QList<QAccessibleInterface *> selectedCells() const override
    {
        const int row = grid()->currentRow();
        return row >= 0 ? QList<QAccessibleInterface *>{cellAt(row, 0)} : QList<QAccessibleInterface *>();
    }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override
    {
        const int row = grid()->currentRow();
        return row >= 0 ? QList<int>{row} : QList<int>();
    }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override { return row >= 0 && row == grid()->currentRow(); }
    bool selectRow(int row) override
    {
        grid()->activateRow(row);
        return isRowSelected(row);
    }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent *) override { }
};

// A header or a cell of the coming days: the label, placed in its table.
class DaysCellAccessible : public FormLabelAccessible, public QAccessibleTableCellInterface
{
public:
    DaysCellAccessible(FormLabel *label, ComingDays *days, QPoint cell)
        : FormLabelAccessible(label)
        , m_days(days)
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
        return {QAccessible::queryAccessibleInterface(m_days->header(m_column))};
    }
    QList<QAccessibleInterface *> rowHeaderCells() const override
    {
        return m_column == 0
            ? QList<QAccessibleInterface *>()
            : QList<QAccessibleInterface *>{QAccessible::queryAccessibleInterface(m_days->cell(0, m_row))};
    }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return QAccessible::queryAccessibleInterface(m_days); }

private:
    ComingDays *m_days;
    int m_column;
    int m_row; // -1 for a header
};

// The coming days: a table of the rows shown under its four headers, each
// row headed by its day; nothing is selected in it.
class DaysAccessible : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit DaysAccessible(ComingDays *days)
        : QAccessibleWidget(days, QAccessible::Table)
    {
    }
    ComingDays *days() const { return static_cast<ComingDays *>(widget()); }
    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? QStringLiteral(u"الأيام القادمة") : QAccessibleWidget::text(t);
    }

    int childCount() const override { return ComingDays::Columns * (1 + rowCount()); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        if (index < ComingDays::Columns)
            return QAccessible::queryAccessibleInterface(days()->header(index));
        index -= ComingDays::Columns;
        return cellAt(index / ComingDays::Columns, index % ComingDays::Columns);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const auto *label = child ? qobject_cast<const QWidget *>(child->object()) : nullptr;
        for (int c = 0; c < ComingDays::Columns; ++c) {
            if (days()->header(c) == label)
                return c;
        }
        const QPoint cell = days()->cellOf(label);
        return cell.x() < 0 || cell.y() >= rowCount() ? -1 : ComingDays::Columns * (1 + cell.y()) + cell.x();
    }

    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QAccessibleInterface *cellAt(int row, int column) const override
    {
        if (row < 0 || row >= rowCount() || column < 0 || column >= ComingDays::Columns)
            return nullptr;
        return QAccessible::queryAccessibleInterface(days()->cell(column, row));
    }
    QString columnDescription(int column) const override
    {
        return column >= 0 && column < ComingDays::Columns ? days()->header(column)->text() : QString();
    }
    QString rowDescription(int row) const override { return days()->spokenRow(row); }
    int columnCount() const override { return ComingDays::Columns; }
    int rowCount() const override { return days()->shownRows(); }
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

QAccessibleInterface *boardFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("FormLabel")) {
        auto *label = static_cast<FormLabel *>(object);
        if (auto *grid = qobject_cast<CityGrid *>(label->parent())) {
            QPoint cell = grid->cellOf(label);
            for (int c = 0; c < CityGrid::Columns && cell.x() < 0; ++c) {
                if (grid->header(c) == label)
                    cell = QPoint(c, -1);
            }
            if (cell.x() >= 0)
                return new GridCellAccessible(label, grid, cell);
        }
        if (auto *days = qobject_cast<ComingDays *>(label->parent())) {
            QPoint cell = days->cellOf(label);
            for (int c = 0; c < ComingDays::Columns && cell.x() < 0; ++c) {
                if (days->header(c) == label)
                    cell = QPoint(c, -1);
            }
            if (cell.x() >= 0)
                return new DaysCellAccessible(label, days, cell);
        }
        return new FormLabelAccessible(label);
    }
    if (className == QLatin1String("WarningSign"))
        return new SignAccessible(static_cast<WarningSign *>(object));
    if (className == QLatin1String("ComingDays"))
        return new DaysAccessible(static_cast<ComingDays *>(object));
    if (className == QLatin1String("CityGrid"))
        return new GridAccessible(static_cast<CityGrid *>(object));
    if (className == QLatin1String("TickerStrip"))
        return new SpokenPartAccessible<TickerStrip>(static_cast<TickerStrip *>(object), QAccessible::StatusBar);
    if (className == QLatin1String("WindCompass"))
        return new SpokenPartAccessible<WindCompass>(static_cast<WindCompass *>(object), QAccessible::Graphic);
    if (className == QLatin1String("CityDetail"))
        return new PaneAccessible(static_cast<QWidget *>(object), QAccessible::Pane);
    if (object->property(PaneProperty).toBool()) {
        auto *widget = static_cast<QWidget *>(object);
        return new PaneAccessible(widget, widget->isWindow() ? QAccessible::Window : QAccessible::Pane);
    }
    return nullptr;
}

} // namespace

void installBoardAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(boardFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void hideDecorationsFromScreenReaders(QWidget *container)
{
    container->setProperty(PaneProperty, true);
}
