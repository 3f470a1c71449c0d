// The city grid: 24 rows of labels filled from a view of the weather table.
#include "view/citygrid.h"

#include "platform/datacontrol.h"
#include "view/celltext.h"
#include "view/controlkit.h"
#include "view/spokentext.h"
#include "view/warningsign.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QKeyEvent>

using namespace ControlKit;

namespace {

// Columns from right to left, in the window's twips: left edge and width.
struct GridColumn
{
    int left;
    int width;
    const char *name;
    const char *header;
    FormLabel::Speech speech; // what a screen reader says for a value
};
constexpr GridColumn gridColumns[CityGrid::Columns] = {
    {12900, 1550, "lblCity", QT_TRANSLATE_NOOP("CityGrid", "المدينة"), nullptr},
    {11150, 1750, "lblCondition", QT_TRANSLATE_NOOP("CityGrid", "حالة الطقس"), nullptr},
    {10150, 1000, "lblTemp", QT_TRANSLATE_NOOP("CityGrid", "درجة الحرارة (c)"), spokenDegrees},
    {9000, 1150, "lblVisibility", QT_TRANSLATE_NOOP("CityGrid", "مدى الرؤية / كم"), spokenKilometres},
    {7300, 1700, "lblWind_Dirct", QT_TRANSLATE_NOOP("CityGrid", "إتجاه الرياح"), nullptr},
    {6600, 700, "lblWind_Speed", QT_TRANSLATE_NOOP("CityGrid", "سرعة الرياح"), spokenSpeed},
};
constexpr int HeaderTop = 960;
constexpr int HeaderHeight = 480;
constexpr int FirstRowTop = 1515;
constexpr int RowStep = 390;
constexpr int RowHeight = 330;

// A place given in the window's twips, in the grid's own.
QRect local(int left, int top, int width, int height)
{
    return placeWithin(CityGrid::LeftTwips, CityGrid::TopTwips, left, top, width, height);
}

// Old data: the row's colours at half their strength.
QColor dimmed(const QColor &colour)
{
    return QColor(colour.red() / 2, colour.green() / 2, colour.blue() / 2);
}
constexpr int SignTwips = 240;

const QColor MarkedHeader = Yellow;
const QColor Header = White;

} // namespace

CityGrid::CityGrid(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("CityGrid"));
    makeBlack(this);
    setGeometry(twipsRect(LeftTwips, TopTwips, 14520 - LeftTwips, FirstRowTop + Rows * RowStep - TopTwips));

    for (int i = 0; i < Rows; ++i) {
        m_bands[i] = makeShape(this, QStringLiteral("Shape2(%1)").arg(i),
                               local(6550, FirstRowTop + i * RowStep - 30, 7950, RowStep - 20), BoxBorder,
                               i % 2 == 0 ? RowBand : NoFill);
    }
    for (int c = 0; c < Columns; ++c) {
        const GridColumn &column = gridColumns[c];
        m_headers[c] = makeLabel(this, QStringLiteral("Label1(%1)").arg(c),
                                 local(column.left, HeaderTop, column.width, HeaderHeight),
                                 QCoreApplication::translate("CityGrid", column.header), White, tahoma(8.25, true));
        m_headers[c]->setAlignment(Qt::AlignCenter);
        m_headers[c]->setWordWrap(true);
        m_headers[c]->setAccessibleRole(QAccessible::ColumnHeader);
        m_headers[c]->setSpeech(spokenCaption);
    }
    // The city header stands out: yellow on orange.
    m_headers[0]->setForeColor(Yellow);
    m_headers[0]->setAutoFillBackground(true);
    {
        QPalette hp = m_headers[0]->palette();
        hp.setColor(QPalette::Window, DarkOrange);
        m_headers[0]->setPalette(hp);
    }

    for (int c = 0; c < Columns; ++c) {
        const GridColumn &column = gridColumns[c];
        for (int i = 0; i < Rows; ++i) {
            FormLabel *label = makeLabel(
                this, QStringLiteral("%1(%2)").arg(QLatin1String(column.name)).arg(i),
                local(column.left + 30, FirstRowTop + i * RowStep, column.width - 60, RowHeight), QString(),
                c == 0 ? Yellow : White, tahoma(8.25, c == 0));
            if (c > 0)
                label->setAlignment(Qt::AlignCenter);
            label->setShrinkToFit(true);
            label->setAccessibleRole(QAccessible::Cell);
            label->setSpeech(column.speech);
            m_cells[c][i] = label;
        }
    }
    for (int i = 0; i < Rows; ++i)
        connect(lblCity(i), &FormLabel::clicked, this, [this, i] { Q_EMIT cityClicked(i); });
    // The sign lies at the free right end of the city's cell, before the
    // name (which starts at the cell's left); clicks go through it to the name.
    for (int i = 0; i < Rows; ++i) {
        m_signs[i] = new WarningSign(this);
        m_signs[i]->setObjectName(QStringLiteral("WarningSign(%1)").arg(i));
        const QRect sign = local(gridColumns[0].left + gridColumns[0].width - SignTwips - 15,
                                 FirstRowTop + i * RowStep + (RowHeight - SignTwips) / 2, SignTwips, SignTwips);
        m_signs[i]->setGeometry(twipsRect(sign.left(), sign.top(), sign.width(), sign.height()));
        m_signs[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    setAccessibleName(QCoreApplication::translate("CityGrid", "الطقس في المدن"));

    mirrorControls(this, 14520 - LeftTwips);

    // The row bands lie behind the labels.
    for (QFrame *band : m_bands)
        band->lower();
}

void CityGrid::clear()
{
    for (int i = 0; i < Rows; ++i)
        clearRow(i);
}

void CityGrid::clearRow(int row)
{
    for (int c = 0; c < Columns; ++c)
        m_cells[c][row]->clear();
    m_codes[row].clear();
    markRow(row, QString(), false);
}

void CityGrid::markRow(int row, const QString &warning, bool old, const QColor &signColour)
{
    m_warnings[row] = warning;
    m_signs[row]->setColour(signColour);
    m_signs[row]->setVisible(!warning.isEmpty());
    if (m_dimmed[row] == old)
        return;
    m_dimmed[row] = old;
    for (int c = 0; c < Columns; ++c) {
        const QColor colour = c == 0 ? Yellow : White;
        m_cells[c][row]->setForeColor(old ? dimmed(colour) : colour);
    }
}

void CityGrid::fill(Recordset &rows)
{
    qint16 i = 0;
    while (!rows.isEof()) {
        lblCity(i)->setText(shownCityName(rows));
        m_codes[i] = rows.value(QStringLiteral("city_code")).toText();
        lblCondition(i)->setText(conditionShown(rows.value(QStringLiteral("Condition")).toText()));
        lblTemp(i)->setText(rows.value(QStringLiteral("temp")).toText());
        lblVisibility(i)->setText(visibilityText(rows.value(QStringLiteral("Visibility"))));
        lblWind_Dirct(i)->setText(windShown(rows.value(QStringLiteral("wind_dirctn")).toText()));
        lblWind_Speed(i)->setText(windSpeedText(rows.value(QStringLiteral("wind_speed"))));
        ++i;
        if (i > Rows - 1)
            break;
        rows.moveNext();
    }
    // The rows beyond the last city stand empty.
    while (i < Rows)
        clearRow(i++);
}

void CityGrid::markHeader(int column)
{
    for (int c = 0; c < Columns; ++c)
        m_headers[c]->setForeColor(c == column ? MarkedHeader : Header);
}

void CityGrid::setCurrentCity(const QString &name)
{
    int row = -1;
    for (int i = 0; i < cityCount() && !name.isEmpty(); ++i) {
        if (lblCity(i)->text() == name) {
            row = i;
            break;
        }
    }
    setCurrentRow(row);
}

void CityGrid::setCurrentRow(int row)
{
    if (row == m_currentRow)
        return;
    m_currentRow = row;
    Q_EMIT currentRowChanged(row);
    // A screen reader follows the keyboard from city to city.
    if (hasFocus() && row >= 0) {
        QAccessibleEvent event(lblCity(row), QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

int CityGrid::cityCount() const
{
    int count = 0;
    while (count < Rows && !lblCity(count)->text().isEmpty())
        ++count;
    return count;
}

void CityGrid::activateRow(int row)
{
    if (row < 0 || row >= cityCount())
        return;
    // The row stands current even when the panel cannot show its city.
    setCurrentRow(row);
    Q_EMIT cityClicked(row);
}

QString CityGrid::spokenRow(int row) const
{
    QStringList parts;
    for (int c = 0; c < Columns; ++c)
        parts << cell(c, row)->spokenText();
    if (!m_warnings[row].isEmpty())
        parts.insert(1, m_warnings[row]);
    return spokenList(parts);
}

QPoint CityGrid::cellOf(const QWidget *label) const
{
    for (int c = 0; c < Columns; ++c) {
        for (int i = 0; i < Rows; ++i) {
            if (m_cells[c][i] == label)
                return QPoint(c, i);
        }
    }
    return QPoint(-1, -1);
}

void CityGrid::keyPressEvent(QKeyEvent *event)
{
    const int count = cityCount();
    if (count == 0 || event->modifiers() & ~Qt::KeypadModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    const int current = m_currentRow >= 0 && m_currentRow < count ? m_currentRow : -1;
    int target = -1;
    switch (event->key()) {
    case Qt::Key_Up:
        target = current < 0 ? 0 : current - 1;
        break;
    case Qt::Key_Down:
        target = current < 0 ? 0 : current + 1;
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = count - 1;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        // Shows the current city again, as a click on it would.
        if (!event->isAutoRepeat())
            activateRow(current < 0 ? 0 : current);
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    // Past the first or the last city, or already there: nothing moves.
    if (target >= 0 && target < count && target != current)
        activateRow(target);
    event->accept();
}
