#include "view/windcompass.h"

#include "view/spokentext.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <cmath>

namespace {

// Start segments and steps as they were laid out by hand over the compass
// rose of the map picture. The irregular values (steps of 4, 5 or 8 twips,
// sector 5's first end at Y 6330) are intended: they set each sector's path
// and pace, so they are kept exactly, not derived from the angle.
constexpr CompassSector kSectors[16] = {
    {1, "N", {2655, 3820, 4095, 3820}, 0, 8, QT_TRANSLATE_NOOP("WindWords", "شمالية")},
    {2, "NNE", {3915, 3810, 5445, 4590}, -2, 4, QT_TRANSLATE_NOOP("WindWords", "شمالية شمالية شرقية")},
    {3, "NE", {5460, 4035, 6360, 5010}, -4, 4, QT_TRANSLATE_NOOP("WindWords", "شمالية شرقية")},
    {4, "ENE", {5715, 5220, 6240, 6570}, -4, 2, QT_TRANSLATE_NOOP("WindWords", "شرقية شمالية شرقية")},
    {5, "E", {6330, 6330, 6330, 7665}, -4, 0, QT_TRANSLATE_NOOP("WindWords", "شرقية")},
    {6, "ESE", {6360, 7500, 5850, 8790}, -5, -2, QT_TRANSLATE_NOOP("WindWords", "شرقية جنوبية شرقية")},
    {7, "SE", {6360, 9045, 5415, 10155}, -4, -4, QT_TRANSLATE_NOOP("WindWords", "جنوبية شرقية")},
    {8, "SSE", {5295, 9570, 3840, 10320}, -2, -5, QT_TRANSLATE_NOOP("WindWords", "جنوبية جنوبية شرقية")},
    {9, "S", {4245, 10305, 2535, 10320}, 0, -4, QT_TRANSLATE_NOOP("WindWords", "جنوبية")},
    {10, "SSW", {2910, 10320, 1380, 9630}, 2, -4, QT_TRANSLATE_NOOP("WindWords", "جنوبية جنوبية غربية")},
    {11, "SW", {1800, 9870, 630, 8625}, 2, -2, QT_TRANSLATE_NOOP("WindWords", "جنوبية غربية")},
    {12, "WSW", {1155, 8880, 600, 7365}, 4, -2, QT_TRANSLATE_NOOP("WindWords", "غربية جنوبية غربية")},
    {13, "W", {615, 7935, 615, 6285}, 4, 0, QT_TRANSLATE_NOOP("WindWords", "غربية")},
    {14, "WNW", {690, 6870, 1395, 5325}, 4, 2, QT_TRANSLATE_NOOP("WindWords", "غربية شمالية غربية")},
    {15, "NW", {600, 5385, 1830, 4155}, 4, 4, QT_TRANSLATE_NOOP("WindWords", "شمالية غربية")},
    {16, "NNW", {1500, 4455, 3120, 3795}, 2, 5, QT_TRANSLATE_NOOP("WindWords", "شمالية شمالية غربية")},
};

// Applies at the left and top edges only; at the right and bottom edges an
// end must pass the edge itself.
constexpr float kNearEdgeMargin = 100;

bool outsideAcross(float x, const QRectF &map)
{
    return x - kNearEdgeMargin < map.left() || x > map.left() + map.width();
}

bool outsideDown(float y, const QRectF &map)
{
    return y - kNearEdgeMargin < map.top() || y > map.top() + map.height();
}

} // namespace

const CompassSector *compassSector(float windDirIndex)
{
    // Only exact whole numbers name a sector; NaN fails every comparison.
    if (!(windDirIndex >= 1 && windDirIndex <= 16) || std::floor(windDirIndex) != windDirIndex)
        return nullptr;
    return &kSectors[int(windDirIndex) - 1];
}

bool arrowOutsideMap(const ArrowSegment &arrow, const QRectF &map)
{
    return outsideAcross(arrow.x1, map) || outsideAcross(arrow.x2, map) || outsideDown(arrow.y1, map)
        || outsideDown(arrow.y2, map);
}

bool pointWindArrow(float windDirIndex, ArrowSegment &arrow, QString &code)
{
    const CompassSector *sector = compassSector(windDirIndex);
    if (!sector)
        return false;
    arrow = sector->start;
    code = QString::fromLatin1(sector->code);
    return true;
}

bool stepWindArrow(float windDirIndex, ArrowSegment &arrow, const QRectF &map)
{
    float dx = 0;
    float dy = 0;
    if (const CompassSector *sector = compassSector(windDirIndex)) {
        dx = sector->dx;
        dy = sector->dy;
    }
    arrow.x1 += dx;
    arrow.x2 += dx;
    arrow.y1 += dy;
    arrow.y2 += dy;
    return arrowOutsideMap(arrow, map);
}

QString windWords(float windDirIndex, const QString &speed, WindWording how)
{
    if (speed == QLatin1String("0"))
        return QCoreApplication::translate("WindCompass", "سكون");
    const CompassSector *sector = compassSector(windDirIndex);
    const QString direction = sector ? QCoreApplication::translate("WindCompass", "رياح %1")
                                           .arg(QCoreApplication::translate("WindWords", sector->words))
                                     : QCoreApplication::translate("WindCompass", "رياح بلا اتجاه");
    if (speed.isEmpty())
        return direction;
    if (how == WindWording::Spoken)
        return spokenList(QStringList{direction, spokenSpeed(speed)});
    return direction + QLatin1Char(' ') + QCoreApplication::translate("WindCompass", "%1 كم/س").arg(speed);
}
