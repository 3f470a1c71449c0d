// The city grid: 24 rows of labels filled from a view of the weather table.
#include "view/citygrid.h"

#include "platform/datacontrol.h"
#include "view/celltext.h"
#include "view/controlkit.h"

using namespace ControlKit;

namespace {

// Columns from right to left, in the window's twips: left edge and width.
struct GridColumn
{
    int left;
    int width;
    const char *name;
    const char16_t *header;
};
constexpr GridColumn gridColumns[CityGrid::Columns] = {
    {12900, 1550, "lblCity", u"المدينة"},
    {11150, 1750, "lblCondition", u"حالة الطقس"},
    {10150, 1000, "lblTemp", u"درجة الحرارة (c)"},
    {9000, 1150, "lblVisibility", u"مدى الرؤية / كم"},
    {7300, 1700, "lblWind_Dirct", u"إتجاه الرياح"},
    {6600, 700, "lblWind_Speed", u"سرعة الرياح"},
};
constexpr int HeaderTop = 960;
constexpr int HeaderHeight = 480;
constexpr int FirstRowTop = 1515;
constexpr int RowStep = 390;
constexpr int RowHeight = 330;

// A place given in the window's twips, in the grid's own.
QRect local(int left, int top, int width, int height)
{
    return QRect(left - CityGrid::LeftTwips, top - CityGrid::TopTwips, width, height);
}

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
                                 QString::fromUtf16(column.header), White, tahoma(8.25, true));
        m_headers[c]->setAlignment(Qt::AlignCenter);
        m_headers[c]->setWordWrap(true);
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
            FormLabel *label = makeLabel(this, QStringLiteral("%1(%2)").arg(QLatin1String(column.name)).arg(i),
                                         local(column.left + 30, FirstRowTop + i * RowStep, column.width - 60, RowHeight),
                                         QString(), c == 0 ? Yellow : White, tahoma(8.25, c == 0));
            if (c > 0)
                label->setAlignment(Qt::AlignCenter);
            label->setShrinkToFit(true);
            m_cells[c][i] = label;
        }
    }
    for (int i = 0; i < Rows; ++i)
        connect(lblCity(i), &FormLabel::clicked, this, [this, i] { Q_EMIT cityClicked(i); });

    // The row bands lie behind the labels.
    for (QFrame *band : m_bands)
        band->lower();
}

void CityGrid::clear()
{
    for (int i = 0; i < Rows; ++i) {
        for (int c = 0; c < Columns; ++c)
            m_cells[c][i]->clear();
    }
}

void CityGrid::fill(Recordset &rows)
{
    for (qint16 i = 0; !rows.isEof();) {
        lblCity(i)->setText(rows.value(QStringLiteral("city_a")).toText());
        lblCondition(i)->setText(rows.value(QStringLiteral("Condition")).toText());
        lblTemp(i)->setText(rows.value(QStringLiteral("temp")).toText());
        lblVisibility(i)->setText(visibilityText(rows.value(QStringLiteral("Visibility"))));
        lblWind_Dirct(i)->setText(rows.value(QStringLiteral("wind_dirctn")).toText());
        lblWind_Speed(i)->setText(windSpeedText(rows.value(QStringLiteral("wind_speed"))));
        ++i;
        if (i > Rows - 1)
            break;
        rows.moveNext();
    }
}

void CityGrid::markHeader(int column)
{
    for (int c = 0; c < Columns; ++c)
        m_headers[c]->setForeColor(c == column ? MarkedHeader : Header);
}
