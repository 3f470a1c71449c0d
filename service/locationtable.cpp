#include "locationtable.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>

namespace {

bool fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

bool readCoordinate(const QJsonObject &entry, const char *key, double limit, double *value)
{
    const QJsonValue v = entry.value(QLatin1String(key));
    if (!v.isDouble())
        return false;
    *value = v.toDouble();
    return std::isfinite(*value) && std::fabs(*value) <= limit;
}

} // namespace

const LocationTable &LocationTable::builtIn()
{
    static const LocationTable table = [] {
        QFile file(QStringLiteral(":/forecastd/locations.json"));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("forecastd: the built-in location table is missing");
        QString error;
        LocationTable t = fromJson(file.readAll(), &error);
        if (t.isEmpty())
            qFatal("forecastd: the built-in location table is broken: %s", qPrintable(error));
        return t;
    }();
    return table;
}

LocationTable LocationTable::fromJson(const QByteArray &json, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (!document.isObject()) {
        fail(error,
             parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                          : QStringLiteral("not a JSON object"));
        return {};
    }
    const QJsonObject root = document.object();
    const QString timezone = root.value(QLatin1String("timezone")).toString();
    const QString country = root.value(QLatin1String("country")).toString();
    const QString countryCode = root.value(QLatin1String("countryCode")).toString();
    if (timezone.isEmpty()) {
        fail(error, QStringLiteral("no timezone"));
        return {};
    }

    // The regions' names, English and Arabic, by the English name each city
    // gives.
    QHash<QString, QStringList> regionNames;
    const QJsonObject regions = root.value(QLatin1String("regions")).toObject();
    for (auto region = regions.begin(); region != regions.end(); ++region) {
        QStringList names{region.key()};
        for (const QJsonValue &name : region.value().toArray())
            names.append(name.toString());
        regionNames.insert(region.key(), names);
    }

    LocationTable table;
    QSet<QString> seen;
    const QJsonArray entries = root.value(QLatin1String("locations")).toArray();
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        Location location;
        location.id = entry.value(QLatin1String("id")).toString().toUpper();
        location.city = entry.value(QLatin1String("city")).toString();
        location.region = entry.value(QLatin1String("region")).toString();
        location.country = entry.value(QLatin1String("country")).toString(country);
        location.countryCode = entry.value(QLatin1String("countryCode")).toString(countryCode);
        location.timezone = entry.value(QLatin1String("timezone")).toString(timezone);
        location.cityArabic = entry.value(QLatin1String("cityArabic")).toString();
        location.placeNames = QStringList{location.city};
        if (!location.cityArabic.isEmpty())
            location.placeNames.append(location.cityArabic);
        for (const QJsonValue &name : entry.value(QLatin1String("names")).toArray())
            location.placeNames.append(name.toString());
        location.placeNames += regionNames.value(location.region, QStringList{location.region});
        if (location.id.isEmpty() || location.city.isEmpty()) {
            fail(error, QStringLiteral("a location without id or city"));
            return {};
        }
        if (!readCoordinate(entry, "latitude", 90.0, &location.latitude)
            || !readCoordinate(entry, "longitude", 180.0, &location.longitude)) {
            fail(error, QStringLiteral("%1: no usable coordinates").arg(location.id));
            return {};
        }
        if (seen.contains(location.id)) {
            fail(error, QStringLiteral("%1 appears twice").arg(location.id));
            return {};
        }
        seen.insert(location.id);
        table.m_locations.append(location);
    }
    if (table.m_locations.isEmpty())
        fail(error, QStringLiteral("no locations"));
    return table;
}

const Location *LocationTable::find(const QString &id) const
{
    for (const Location &location : m_locations) {
        if (location.id.compare(id, Qt::CaseInsensitive) == 0)
            return &location;
    }
    return nullptr;
}
