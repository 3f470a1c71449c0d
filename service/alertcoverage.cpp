#include "alertcoverage.h"

#include "locationtable.h"

#include <QSet>

#include <cmath>

namespace {

constexpr double EarthRadiusKm = 6371.0088;

bool insidePolygon(const QList<CapPoint> &polygon, double latitude, double longitude)
{
    // Crossings of a ray from the point along its parallel; the polygons
    // are a few hundred km at most, where degrees serve as a plane.
    bool inside = false;
    for (qsizetype i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const CapPoint &a = polygon.at(i);
        const CapPoint &b = polygon.at(j);
        if ((a.latitude > latitude) != (b.latitude > latitude)) {
            const double crossing = a.longitude
                + (latitude - a.latitude) * (b.longitude - a.longitude) / (b.latitude - a.latitude);
            if (longitude < crossing)
                inside = !inside;
        }
    }
    return inside;
}

QChar folded(QChar c)
{
    switch (c.unicode()) {
    case 0x0622: // آ
    case 0x0623: // أ
    case 0x0625: // إ
        return QChar(0x0627); // ا
    case 0x0629: // ة
        return QChar(0x0647); // ه
    case 0x0649: // ى
        return QChar(0x064A); // ي
    default:
        return c.toLower();
    }
}

// Words that say what a name is rather than which: "منطقة الرياض",
// "Riyadh Region", "المنطقة الشرقية", "Eastern Province".
const QSet<QString> &kindWords()
{
    static const QSet<QString> words{
        QStringLiteral("منطقه"),  QStringLiteral("المنطقه"), QStringLiteral("مناطق"),
        QStringLiteral("region"), QStringLiteral("regions"), QStringLiteral("province"),
    };
    return words;
}

bool containsRun(const QStringList &words, const QStringList &run)
{
    if (run.isEmpty())
        return false;
    for (qsizetype i = 0; i + run.size() <= words.size(); ++i) {
        qsizetype k = 0;
        while (k < run.size() && words.at(i + k) == run.at(k))
            ++k;
        if (k == run.size())
            return true;
    }
    return false;
}

} // namespace

double greatCircleKm(double latitude1, double longitude1, double latitude2, double longitude2)
{
    constexpr double Radians = M_PI / 180.0;
    const double dLat = (latitude2 - latitude1) * Radians;
    const double dLon = (longitude2 - longitude1) * Radians;
    const double h = std::sin(dLat / 2) * std::sin(dLat / 2)
        + std::cos(latitude1 * Radians) * std::cos(latitude2 * Radians) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * EarthRadiusKm * std::asin(std::min(1.0, std::sqrt(h)));
}

QStringList placeWords(const QString &text)
{
    QStringList words;
    QString word;
    const auto flush = [&] {
        // "والقصيم": the conjunction joined to a name with its article.
        if (word.size() > 3 && word.startsWith(QStringLiteral("وال")))
            word.remove(0, 1);
        if (!word.isEmpty() && !kindWords().contains(word))
            words.append(word);
        word.clear();
    };
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if ((u >= 0x064B && u <= 0x0652) || u == 0x0640) // diacritics, tatweel
            continue;
        if (c.isLetterOrNumber())
            word += folded(c);
        else
            flush();
    }
    flush();
    return words;
}

bool areaCovers(const CapArea &area, const Location &location)
{
    if (area.hasGeometry) {
        for (const QList<CapPoint> &polygon : area.polygons) {
            if (insidePolygon(polygon, location.latitude, location.longitude))
                return true;
        }
        for (const CapCircle &circle : area.circles) {
            if (greatCircleKm(circle.latitude, circle.longitude, location.latitude, location.longitude)
                <= circle.radiusKm)
                return true;
        }
        return false;
    }
    const QStringList described = placeWords(area.description);
    for (const QString &name : location.placeNames) {
        if (containsRun(described, placeWords(name)))
            return true;
    }
    return false;
}
