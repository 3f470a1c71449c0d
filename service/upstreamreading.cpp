#include "upstreamreading.h"

#include "feeddocument.h"
#include "feedformat.h"

#include <QJsonArray>
#include <QJsonValue>

#include <cmath>

namespace {

// No reading in any unit the upstream gives comes near this; converted to
// another unit it stays far within what the texts are written for
// (MaximumFeedNumber).
constexpr double MaximumReading = 1e6;

Maybe numberAt(const QJsonValue &value)
{
    if (!value.isDouble())
        return {};
    // Numbers too large for any reading are left out like a null, rather
    // than written as nonsense.
    const double v = value.toDouble();
    return std::fabs(v) <= MaximumReading ? Maybe(v) : Maybe();
}

Maybe numberOf(const QJsonObject &object, const char *key)
{
    return numberAt(object.value(QLatin1String(key)));
}

// The value at index i of a daily series; nothing when the series is not
// there, too short, or holds null.
QJsonValue seriesAt(const QJsonObject &daily, const char *key, int i)
{
    const QJsonArray series = daily.value(QLatin1String(key)).toArray();
    return i < series.size() ? series.at(i) : QJsonValue();
}

// Converts a value to the writer's base unit by the unit text the upstream
// gave for it. Without a unit text the upstream's default is meant; a unit
// text not in the list leaves the value out, as guessing would invent data.
struct UnitFactor
{
    const char *unit;
    double scale;
    double offset;
};

Maybe inBaseUnit(Maybe value, const QJsonObject &units, const char *key, std::initializer_list<UnitFactor> known)
{
    if (!value)
        return {};
    const QJsonValue unit = units.value(QLatin1String(key));
    if (unit.isUndefined() || unit.isNull())
        return value;
    const QString text = unit.toString();
    for (const UnitFactor &factor : known) {
        if (text == QString::fromUtf8(factor.unit))
            return *value * factor.scale + factor.offset;
    }
    return {};
}

Maybe celsius(Maybe v, const QJsonObject &units, const char *key)
{
    return inBaseUnit(v, units, key, {{"°C", 1.0, 0.0}, {"°F", 5.0 / 9.0, -32.0 * 5.0 / 9.0}});
}

Maybe kilometresPerHour(Maybe v, const QJsonObject &units, const char *key)
{
    return inBaseUnit(
        v, units, key,
        {{"km/h", 1.0, 0.0}, {"m/s", 3.6, 0.0}, {"mp/h", 1.609344, 0.0}, {"mph", 1.609344, 0.0}, {"kn", 1.852, 0.0}});
}

Maybe metres(Maybe v, const QJsonObject &units, const char *key)
{
    return inBaseUnit(v, units, key, {{"m", 1.0, 0.0}, {"ft", 0.3048, 0.0}});
}

Maybe hectopascals(Maybe v, const QJsonObject &units, const char *key)
{
    return inBaseUnit(v, units, key, {{"hPa", 1.0, 0.0}});
}

Maybe plain(Maybe v, const QJsonObject &units, const char *key, const char *unit)
{
    return inBaseUnit(v, units, key, {{unit, 1.0, 0.0}});
}

Maybe millimetres(Maybe v, const QJsonObject &units, const char *key)
{
    return inBaseUnit(v, units, key, {{"mm", 1.0, 0.0}, {"inch", 25.4, 0.0}});
}

// Micro as the micro sign or as the Greek letter mu.
Maybe microgramsPerCubicMetre(Maybe v, const QJsonObject &units, const char *key)
{
    return inBaseUnit(v, units, key, {{"\u00b5g/m\u00b3", 1.0, 0.0}, {"\u03bcg/m\u00b3", 1.0, 0.0}});
}

std::optional<int> wholeNumber(Maybe v)
{
    if (!v || std::floor(*v) != *v || std::fabs(*v) > 100000.0)
        return {};
    return static_cast<int>(*v);
}

std::optional<QDate> localDate(const QJsonValue &value)
{
    if (!value.isString())
        return {};
    const QDate date = QDate::fromString(value.toString(), Qt::ISODate);
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

// The values of an air-quality answer's current block; nothing when there
// is no such block. A concentration in another unit than μg/m³ is left out.
std::optional<Air> readAir(const QJsonObject &answer)
{
    const QJsonValue current = answer.value(QLatin1String("current"));
    if (!current.isObject())
        return {};
    const QJsonObject units = answer.value(QLatin1String("current_units")).toObject();
    const auto concentration = [&](const char *key) {
        return microgramsPerCubicMetre(numberOf(current.toObject(), key), units, key);
    };
    return Air{concentration("dust"), concentration("pm10")};
}

Current readCurrent(const QJsonObject &current, const QJsonObject &units)
{
    Current c;
    c.time = wallClockReading(current.value(QLatin1String("time")));
    c.temperature = celsius(numberOf(current, "temperature_2m"), units, "temperature_2m");
    c.humidity = plain(numberOf(current, "relative_humidity_2m"), units, "relative_humidity_2m", "%");
    c.pressure = hectopascals(numberOf(current, "pressure_msl"), units, "pressure_msl");
    c.windSpeed = kilometresPerHour(numberOf(current, "wind_speed_10m"), units, "wind_speed_10m");
    c.windDirection = plain(numberOf(current, "wind_direction_10m"), units, "wind_direction_10m", "°");
    c.visibility = metres(numberOf(current, "visibility"), units, "visibility");
    c.weatherCode = wholeNumber(numberOf(current, "weather_code"));
    if (const auto isDay = wholeNumber(numberOf(current, "is_day")); isDay && (*isDay == 0 || *isDay == 1))
        c.isDay = *isDay == 1;
    return c;
}

std::optional<QTime> clockAt(const QJsonValue &value)
{
    const auto dt = wallClockReading(value);
    return dt ? std::optional<QTime>(dt->time()) : std::nullopt;
}

QList<Day> readDays(const QJsonObject &daily, const QJsonObject &units)
{
    QList<Day> days;
    const QJsonArray times = daily.value(QLatin1String("time")).toArray();
    for (int i = 0; i < times.size(); ++i) {
        const auto date = localDate(times.at(i));
        if (!date)
            continue; // a day without its date says nothing usable
        Day day;
        day.date = *date;
        day.high = celsius(numberAt(seriesAt(daily, "temperature_2m_max", i)), units, "temperature_2m_max");
        day.low = celsius(numberAt(seriesAt(daily, "temperature_2m_min", i)), units, "temperature_2m_min");
        day.weatherCode = wholeNumber(numberAt(seriesAt(daily, "weather_code", i)));
        day.sunrise = clockAt(seriesAt(daily, "sunrise", i));
        day.sunset = clockAt(seriesAt(daily, "sunset", i));
        days.append(day);
    }
    return days;
}

std::optional<int> utcOffset(const QJsonObject &answer)
{
    const auto offset = wholeNumber(numberOf(answer, "utc_offset_seconds"));
    if (offset && std::abs(*offset) <= 18 * 3600)
        return offset;
    return {};
}

} // namespace

Reading readUpstreamAnswer(const QJsonObject &answer, const QJsonObject &airQuality)
{
    Reading reading;
    reading.air = readAir(airQuality);
    const QJsonValue current = answer.value(QLatin1String("current"));
    if (current.isObject())
        reading.current = readCurrent(current.toObject(), answer.value(QLatin1String("current_units")).toObject());
    reading.days = readDays(answer.value(QLatin1String("daily")).toObject(),
                            answer.value(QLatin1String("daily_units")).toObject());
    const auto offset = utcOffset(answer);
    reading.zone = feedZoneText(answer.value(QLatin1String("timezone")).toString(),
                                answer.value(QLatin1String("timezone_abbreviation")).toString(), offset);
    if (reading.zone.isEmpty() && offset) {
        // A zone that cannot be named briefly: give the observation in GMT.
        reading.zone = QStringLiteral("GMT");
        reading.shownTimeShift = -*offset;
    }
    return reading;
}

std::optional<QDateTime> wallClockReading(const QJsonValue &value)
{
    if (!value.isString())
        return {};
    const QString text = value.toString();
    const qsizetype t = text.indexOf(u'T');
    if (t < 0)
        return {};
    const QDate date = QDate::fromString(text.left(t), Qt::ISODate);
    const QTime time = QTime::fromString(text.mid(t + 1), Qt::ISODate);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

std::optional<double> seriesValue(const QJsonObject &series, const QJsonObject &units, const char *key, int i,
                                  Quantity quantity)
{
    const Maybe value = numberAt(seriesAt(series, key, i));
    switch (quantity) {
    case Quantity::Temperature:
        return celsius(value, units, key);
    case Quantity::Speed:
        return kilometresPerHour(value, units, key);
    case Quantity::Precipitation:
        return millimetres(value, units, key);
    case Quantity::Concentration:
        return microgramsPerCubicMetre(value, units, key);
    }
    return {};
}

std::optional<QDateTime> observationTime(const QJsonObject &answer)
{
    const QJsonObject current = answer.value(QLatin1String("current")).toObject();
    const auto local = wallClockReading(current.value(QLatin1String("time")));
    const auto offset = utcOffset(answer);
    if (!local || !offset)
        return {};
    return QDateTime(local->date(), local->time(), Qt::UTC).addSecs(-*offset);
}
