// The coming days of the shown city, in the place of its map on request.
#include "view/comingdays.h"

#include "platform/feeddate.h"
#include "platform/numbertext.h"
#include "view/citydetail.h"
#include "view/celltext.h"
#include "view/controlkit.h"
#include "view/spokentext.h"

#include <QAccessible>
#include <QCoreApplication>

using namespace ControlKit;

namespace {

// The table in the map's own twips: four columns from the right, as the
// grid reads (day, condition, high, low), a header row and five rows, each
// with room under it for a warning of that day.
struct ColumnPlace
{
    int left;
    int width;
};
constexpr ColumnPlace columnPlaces[ComingDays::Columns] = {{4615, 1400}, {2190, 2425}, {1140, 1050}, {90, 1050}};
constexpr int HeaderTop = 240;
constexpr int LineHeight = 330;
constexpr int FirstRowTop = 840;
constexpr int RowStep = 1080;
constexpr int WarningOffset = 390;
constexpr int WarningHeight = 300;
constexpr int SignWidth = 300;

const char *const headerTexts[ComingDays::Columns] = {
    QT_TRANSLATE_NOOP("ComingDays", "اليوم"), QT_TRANSLATE_NOOP("ComingDays", "الحالة"),
    QT_TRANSLATE_NOOP("ComingDays", "العظمى"), QT_TRANSLATE_NOOP("ComingDays", "الصغرى")};

const QString Celsius = QStringLiteral("°C");

QString degreesText(const FieldValue &value)
{
    const std::optional<double> number = value.toNumber();
    return number ? singleText(float(*number)) + Celsius : QString();
}

// Said as the panel's temperatures are, the unit in words.
QString spokenTemperature(const QString &caption)
{
    return spokenDegrees(QString(caption).remove(Celsius));
}

} // namespace

ComingDays::ComingDays(CityDetail *panel)
    : QWidget(panel)
{
    setObjectName(QStringLiteral("ComingDays"));
    makeBlack(this);
    setAutoFillBackground(true);
    const QRect map = CityDetail::MapTwips;
    setGeometry(twipsRect(map.x() - CityDetail::LeftTwips, map.y() - CityDetail::TopTwips, map.width(), map.height()));

    for (int c = 0; c < Columns; ++c) {
        const ColumnPlace place = columnPlaces[c];
        m_headers[c] = makeLabel(this, QStringLiteral("lblDaysHeader(%1)").arg(c),
                                 QRect(place.left, HeaderTop, place.width, LineHeight),
                                 QCoreApplication::translate("ComingDays", headerTexts[c]), Cyan, tahoma(9, true));
        m_headers[c]->setAlignment(Qt::AlignCenter);
        m_headers[c]->setAccessibleRole(QAccessible::ColumnHeader);
    }
    makeShape(this, QStringLiteral("DaysRule"), QRect(90, HeaderTop + LineHeight + 90, map.width() - 180, 15),
              BoxBorder, BoxBorder);
    for (int r = 0; r < Rows; ++r) {
        const int top = FirstRowTop + r * RowStep;
        for (int c = 0; c < Columns; ++c) {
            const ColumnPlace place = columnPlaces[c];
            FormLabel *cell = makeLabel(this, QStringLiteral("lblDay(%1,%2)").arg(c).arg(r),
                                        QRect(place.left, top, place.width, LineHeight), QString(),
                                        c == 0 ? Yellow : White, c == 0 ? tahoma(9.75, true) : tahoma(9.75));
            cell->setAlignment(Qt::AlignCenter);
            cell->setShrinkToFit(true);
            cell->setAccessibleRole(QAccessible::Cell);
            if (c >= 2)
                cell->setSpeech(spokenTemperature);
            m_cells[r][c] = cell;
        }
        const int warningTop = top + WarningOffset;
        const int right = columnPlaces[0].left + columnPlaces[0].width;
        m_signs[r] = makeLabel(this, QStringLiteral("lblDaySign(%1)").arg(r),
                               QRect(right - SignWidth, warningTop, SignWidth, WarningHeight), QString(), Orange,
                               tahoma(8.25));
        m_signs[r]->setAlignment(Qt::AlignCenter);
        m_warnings[r] = makeLabel(this, QStringLiteral("lblDayWarning(%1)").arg(r),
                                  QRect(90, warningTop, right - SignWidth - 90, WarningHeight), QString(), Orange,
                                  tahoma(8.25, true));
        m_warnings[r]->setShrinkToFit(true);
        m_signs[r]->hide();
        m_warnings[r]->hide();
    }
    mirrorControls(this, map.width());
    hide();
}

void ComingDays::setDays(const QList<ComingDay> &days, QDate today)
{
    m_shownRows = 0;
    for (const ComingDay &day : days) {
        if (m_shownRows == Rows)
            break;
        if (day.date.isValid() && day.date < today)
            continue; // a day gone by, kept from an earlier refresh
        const int r = m_shownRows++;
        m_cells[r][0]->setText(day.date.isValid() ? dayName(day.date, today) : QString());
        m_cells[r][1]->setText(conditionShown(day.condition));
        m_cells[r][2]->setText(degreesText(day.high));
        m_cells[r][3]->setText(degreesText(day.low));
        const bool warned = !day.warningText.isEmpty();
        m_signs[r]->setPixmap(day.warningSign);
        m_signs[r]->setVisible(warned && !day.warningSign.isNull());
        m_warnings[r]->setText(day.warningText);
        m_warnings[r]->setVisible(warned);
    }
    for (int r = m_shownRows; r < Rows; ++r) {
        for (FormLabel *cell : m_cells[r])
            cell->clear();
        m_signs[r]->clear();
        m_signs[r]->hide();
        m_warnings[r]->clear();
        m_warnings[r]->hide();
    }
    QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::ModelReset);
    QAccessible::updateAccessibility(&event);
}

QString ComingDays::spokenRow(int row) const
{
    if (row < 0 || row >= m_shownRows)
        return QString();
    QStringList parts;
    for (FormLabel *cell : m_cells[row])
        parts << cell->spokenText();
    if (!m_warnings[row]->text().isEmpty())
        parts << m_warnings[row]->text();
    return spokenList(parts);
}

QPoint ComingDays::cellOf(const QWidget *label) const
{
    for (int r = 0; r < Rows; ++r) {
        for (int c = 0; c < Columns; ++c) {
            if (m_cells[r][c] == label)
                return QPoint(c, r);
        }
    }
    return QPoint(-1, -1);
}
