#include "view/boardaccessibility.h"

#include "platform/formaccessible.h"
#include "view/citydetail.h"
#include "view/comingdays.h"
#include "view/citygrid.h"
#include "view/hourscurve.h"
#include "view/spokentext.h"
#include "view/tickerstrip.h"
#include "view/warningsign.h"
#include "view/windcompasswidget.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QWindow>

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

// A cell of the grid. A city's name is the row's: it can be focused,
// selected (the city the panel shows) and pressed as it is clicked.
class GridCellAccessible : public LabelCellAccessible<CityGrid>
{
public:
    using LabelCellAccessible::LabelCellAccessible;

    QAccessible::State state() const override
    {
        QAccessible::State s = FormLabelAccessible::state();
        if (isCity()) {
            s.focusable = true;
            s.focused = m_part->hasFocus() && m_part->currentRow() == m_row;
            s.selectable = true;
            s.selected = m_part->currentRow() == m_row;
        }
        return s;
    }

    // A city under a warning is said with it: "الرياض، تنبيه: عاصفة ترابية ...".
    QString text(QAccessible::Text t) const override
    {
        const QString text = FormLabelAccessible::text(t);
        if (t != QAccessible::Name || !isCity() || m_part->rowWarning(m_row).isEmpty())
            return text;
        return spokenList({text, m_part->rowWarning(m_row)});
    }

    QStringList actionNames() const override { return isCity() ? QStringList{pressAction()} : QStringList(); }
    void doAction(const QString &actionName) override
    {
        if (isCity() && actionName == pressAction())
            m_part->activateRow(m_row);
    }

    bool isSelected() const override { return m_part->currentRow() == m_row; }

private:
    bool isCity() const { return m_column == 0 && m_row >= 0 && !label()->text().isEmpty(); }
};

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

// The grid: 24 rows under six headers, each headed by its city. The current
// row is the one selected: the city the panel shows.
class GridAccessible : public LabelTableAccessible<CityGrid>
{
public:
    using LabelTableAccessible::LabelTableAccessible;

    int rowCount() const override { return CityGrid::Rows; }
    QAccessibleInterface *focusChild() const override
    {
        const int row = part()->currentRow();
        return part()->hasFocus() && row >= 0 ? cellAt(row, 0) : nullptr;
    }

    int selectedCellCount() const override { return part()->currentRow() >= 0 ? 1 : 0; }
    int selectedRowCount() const override { return part()->currentRow() >= 0 ? 1 : 0; }
    QList<QAccessibleInterface *> selectedCells() const override
    {
        const int row = part()->currentRow();
        return row >= 0 ? QList<QAccessibleInterface *>{cellAt(row, 0)} : QList<QAccessibleInterface *>();
    }
    QList<int> selectedRows() const override
    {
        const int row = part()->currentRow();
        return row >= 0 ? QList<int>{row} : QList<int>();
    }
    bool isRowSelected(int row) const override { return row >= 0 && row == part()->currentRow(); }
    bool selectRow(int row) override
    {
        part()->activateRow(row);
        return isRowSelected(row);
    }
};

// The coming days: the rows shown under four headers, each headed by its day.
class DaysAccessible : public LabelTableAccessible<ComingDays>
{
public:
    using LabelTableAccessible::LabelTableAccessible;

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? QStringLiteral(u"الأيام القادمة") : QAccessibleWidget::text(t);
    }
    int rowCount() const override { return part()->shownRows(); }
};

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
        return t == QAccessible::Name ? QStringLiteral(u"الساعات القادمة") : QAccessibleWidget::text(t);
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

QAccessibleInterface *boardFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("FormLabel")) {
        auto *label = static_cast<FormLabel *>(object);
        if (auto *grid = qobject_cast<CityGrid *>(label->parent())) {
            if (const QPoint cell = placeInTable(grid, label); cell.x() >= 0)
                return new GridCellAccessible(label, grid, cell);
        }
        if (auto *days = qobject_cast<ComingDays *>(label->parent())) {
            if (const QPoint cell = placeInTable(days, label); cell.x() >= 0)
                return new LabelCellAccessible<ComingDays>(label, days, cell);
        }
        return new FormLabelAccessible(label);
    }
    if (className == QLatin1String("WarningSign"))
        return new SignAccessible(static_cast<WarningSign *>(object));
    if (className == QLatin1String("ComingDays"))
        return new DaysAccessible(static_cast<ComingDays *>(object));
    if (className == QLatin1String("HoursCurve"))
        return new HoursAccessible(static_cast<HoursCurve *>(object));
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
