#include "view/boardaccessibility.h"

#include "platform/formaccessible.h"
#include "view/citygrid.h"
#include "view/comingdays.h"
#include "view/hoursaccessible.h"
#include "view/spokentext.h"
#include "view/tableaccessible.h"
#include "view/tickerstrip.h"
#include "view/warningsign.h"
#include "view/windcompasswidget.h"

#include <QAccessibleWidget>
#include <QCoreApplication>

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
        return t == QAccessible::Name ? QCoreApplication::translate("MapPlace", "الأيام القادمة")
                                      : QAccessibleWidget::text(t);
    }
    int rowCount() const override { return part()->shownRows(); }
};

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
        return hoursTableAccessible(static_cast<QWidget *>(object));
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
