#include "quarterseries.h"

#include "feeddocument.h"

#include <QJsonArray>
#include <QMap>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 QuarterSeconds = 15 * 60;
constexpr qint64 HourSeconds = 60 * 60;

QDateTime floorTo(const QDateTime &utc, qint64 seconds)
{
    const qint64 s = utc.toSecsSinceEpoch();
    return QDateTime::fromSecsSinceEpoch(s - ((s % seconds) + seconds) % seconds, Qt::UTC);
}

std::optional<qint64> utcOffsetOf(const QJsonObject &element)
{
    const QJsonValue value = element.value(QLatin1String("utc_offset_seconds"));
    if (!value.isDouble())
        return {};
    const double offset = value.toDouble();
    if (std::floor(offset) != offset || std::fabs(offset) > 18 * HourSeconds)
        return {};
    return qint64(offset);
}

// "2026-12-07T13:15" for a UTC instant, in the element's wall-clock time.
QString readingAt(const QDateTime &utc, qint64 offset)
{
    return utc.addSecs(offset).toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm"));
}

// The UTC instant of a wall-clock reading of the element's; invalid when it
// is not one.
QDateTime instantOf(const QJsonValue &reading, qint64 offset)
{
    const std::optional<QDateTime> local = wallClockReading(reading);
    return local ? local->addSecs(-offset) : QDateTime();
}

// The quarter a current block stands for, in UTC.
std::optional<QDateTime> currentQuarter(const QJsonObject &element)
{
    const auto offset = utcOffsetOf(element);
    const QJsonValue current = element.value(QLatin1String("current"));
    if (!offset || !current.isObject())
        return {};
    const QDateTime at = instantOf(current.toObject().value(QLatin1String("time")), *offset);
    return at.isValid() ? std::optional<QDateTime>(quarterStart(at)) : std::nullopt;
}

// Where a series holds the reading of a UTC instant. Readings are compared
// as times, by the same rule that found the quarter, not as texts: a
// reading the rule takes though it is written another way must be found.
qsizetype indexOfInstant(const QJsonObject &series, const QDateTime &utc, qint64 offset)
{
    const QJsonArray times = series.value(QLatin1String("time")).toArray();
    for (qsizetype i = 0; i < times.size(); ++i) {
        if (instantOf(times.at(i), offset) == utc)
            return i;
    }
    return -1;
}

// Every variable of a series at index i, into `current` (those already
// there stay), and their units into `units`.
void takeValues(const QJsonObject &series, const QJsonObject &seriesUnits, qsizetype i, QJsonObject &current,
                QJsonObject &units)
{
    for (auto it = series.begin(); it != series.end(); ++it) {
        if (it.key() == QLatin1String("time") || current.contains(it.key()))
            continue;
        const QJsonArray values = it.value().toArray();
        current.insert(it.key(), i < values.size() ? values.at(i) : QJsonValue());
        if (seriesUnits.contains(it.key()))
            units.insert(it.key(), seriesUnits.value(it.key()));
    }
}

// The element without its series: what stays in an answer with a current block.
QJsonObject withoutSeries(QJsonObject element)
{
    for (const char *key : {"minutely_15", "minutely_15_units", "hourly", "hourly_units"})
        element.remove(QLatin1String(key));
    return element;
}

// The element as an answer with a current block for the quarter at index
// q of its quarter-hour series; `answer` is the element without its series
// (withoutSeries), made once for all the quarters asked.
QJsonObject answerAtQuarter(const QJsonObject &forecast, QJsonObject answer, qsizetype q, const QDateTime &quarter,
                            qint64 offset)
{
    QJsonObject current{{QStringLiteral("time"), readingAt(quarter, offset)},
                        {QStringLiteral("interval"), int(QuarterSeconds)}};
    QJsonObject units{{QStringLiteral("time"), QStringLiteral("iso8601")},
                      {QStringLiteral("interval"), QStringLiteral("seconds")}};
    takeValues(forecast.value(QLatin1String("minutely_15")).toObject(),
               forecast.value(QLatin1String("minutely_15_units")).toObject(), q, current, units);
    const QJsonObject hours = forecast.value(QLatin1String("hourly")).toObject();
    const qsizetype h = indexOfInstant(hours, hourStart(quarter), offset);
    if (h >= 0)
        takeValues(hours, forecast.value(QLatin1String("hourly_units")).toObject(), h, current, units);

    answer.insert(QStringLiteral("current_units"), units);
    answer.insert(QStringLiteral("current"), current);
    return answer;
}

// The air-quality element as an answer with a current block for the hour
// at index h of its hourly series.
QJsonObject airAtHour(const QJsonObject &airQuality, qsizetype h, const QDateTime &hour, qint64 offset)
{
    QJsonObject current{{QStringLiteral("time"), readingAt(hour, offset)},
                        {QStringLiteral("interval"), int(HourSeconds)}};
    QJsonObject units{{QStringLiteral("time"), QStringLiteral("iso8601")},
                      {QStringLiteral("interval"), QStringLiteral("seconds")}};
    takeValues(airQuality.value(QLatin1String("hourly")).toObject(),
               airQuality.value(QLatin1String("hourly_units")).toObject(), h, current, units);
    QJsonObject answer = withoutSeries(airQuality);
    answer.insert(QStringLiteral("current_units"), units);
    answer.insert(QStringLiteral("current"), current);
    return answer;
}

} // namespace

QDateTime quarterStart(const QDateTime &utc)
{
    return floorTo(utc, QuarterSeconds);
}

QDateTime hourStart(const QDateTime &utc)
{
    return floorTo(utc, HourSeconds);
}

QList<QDateTime> conditionQuarters(const QJsonObject &forecast)
{
    if (forecast.value(QLatin1String("current")).isObject()) {
        const auto quarter = currentQuarter(forecast);
        return quarter ? QList<QDateTime>{*quarter} : QList<QDateTime>();
    }
    const auto offset = utcOffsetOf(forecast);
    if (!offset)
        return {};
    // The series goes on for a day past its wave's hour: only that hour's
    // quarters tell the conditions, so that an answer stays of its hour,
    // and goes stale after it, as one of that hour alone would.
    QList<QDateTime> quarters;
    const QJsonArray times =
        forecast.value(QLatin1String("minutely_15")).toObject().value(QLatin1String("time")).toArray();
    for (const QJsonValue &reading : times) {
        const QDateTime at = instantOf(reading, *offset);
        if (at.isValid() && at == quarterStart(at))
            quarters.append(at);
    }
    if (quarters.isEmpty())
        return {};
    const QDateTime wave = hourStart(*std::min_element(quarters.begin(), quarters.end()));
    quarters.removeIf([&wave](const QDateTime &at) { return hourStart(at) != wave; });
    return quarters;
}

SplitSeries splitConditions(const QJsonObject &forecast)
{
    const QJsonObject series = forecast.value(QLatin1String("minutely_15")).toObject();
    const auto offset = utcOffsetOf(forecast);
    if (!offset || forecast.value(QLatin1String("current")).isObject() || series.isEmpty())
        return {forecast, {}};
    const QList<QDateTime> quarters = conditionQuarters(forecast);
    const QJsonArray times = series.value(QLatin1String("time")).toArray();
    QList<qsizetype> kept;
    for (qsizetype i = 0; i < times.size(); ++i) {
        if (quarters.contains(instantOf(times.at(i), *offset)))
            kept.append(i);
    }
    QJsonObject cut;
    for (auto it = series.begin(); it != series.end(); ++it) {
        if (!it.value().isArray()) {
            cut.insert(it.key(), it.value());
            continue;
        }
        const QJsonArray values = it.value().toArray();
        QJsonArray taken;
        for (const qsizetype i : std::as_const(kept))
            taken.append(values.at(i));
        cut.insert(it.key(), taken);
    }
    QJsonObject conditions = forecast;
    conditions.insert(QLatin1String("minutely_15"), cut);
    return {conditions, series};
}

QJsonObject joinedConditions(const SplitSeries &split)
{
    QJsonObject forecast = split.conditions;
    if (!split.series.isEmpty())
        forecast.insert(QLatin1String("minutely_15"), split.series);
    return forecast;
}

std::optional<QDateTime> latestQuarter(const QList<QDateTime> &quarters, const QDateTime &atOrBefore)
{
    std::optional<QDateTime> latest;
    for (const QDateTime &at : quarters) {
        if (at <= atOrBefore && (!latest || at > *latest))
            latest = at;
    }
    return latest;
}

std::optional<QDateTime> latestQuarter(const QJsonObject &forecast, const QDateTime &atOrBefore)
{
    return latestQuarter(conditionQuarters(forecast), atOrBefore);
}

QJsonObject forecastAtQuarter(const QJsonObject &forecast, const QDateTime &quarter)
{
    if (forecast.value(QLatin1String("current")).isObject())
        return currentQuarter(forecast) == quarter ? forecast : QJsonObject();
    const auto offset = utcOffsetOf(forecast);
    if (!offset)
        return {};
    const qsizetype q = indexOfInstant(forecast.value(QLatin1String("minutely_15")).toObject(), quarter, *offset);
    return q < 0 ? QJsonObject() : answerAtQuarter(forecast, withoutSeries(forecast), q, quarter, *offset);
}

QList<QPair<QDateTime, QJsonObject>> forecastAtHours(const QJsonObject &forecast, const QDateTime &from, int hours)
{
    QList<QPair<QDateTime, QJsonObject>> answers;
    const auto offset = utcOffsetOf(forecast);
    const QJsonValue series = forecast.value(QLatin1String("minutely_15"));
    if (!offset || !series.isObject())
        return answers;
    // Each reading is looked at once: a day's series has 96.
    QMap<QDateTime, qsizetype> wholeHours;
    const QJsonArray times = series.toObject().value(QLatin1String("time")).toArray();
    const QDateTime first = hourStart(from);
    const QDateTime end = first.addSecs(hours * HourSeconds);
    for (qsizetype i = 0; i < times.size(); ++i) {
        const QDateTime at = instantOf(times.at(i), *offset);
        if (at.isValid() && at == hourStart(at) && at >= first && at < end && !wholeHours.contains(at))
            wholeHours.insert(at, i);
    }
    const QJsonObject base = withoutSeries(forecast);
    for (QDateTime at = first; wholeHours.contains(at); at = at.addSecs(HourSeconds))
        answers.append({at, answerAtQuarter(forecast, base, wholeHours.value(at), at, *offset)});
    return answers;
}

QJsonObject airQualityAtQuarter(const QJsonObject &airQuality, const QDateTime &quarter)
{
    const QDateTime hour = hourStart(quarter);
    if (airQuality.value(QLatin1String("current")).isObject()) {
        const auto at = currentQuarter(airQuality);
        return at && hourStart(*at) == hour ? airQuality : QJsonObject();
    }
    const auto offset = utcOffsetOf(airQuality);
    if (!offset)
        return {};
    const qsizetype h = indexOfInstant(airQuality.value(QLatin1String("hourly")).toObject(), hour, *offset);
    return h < 0 ? QJsonObject() : airAtHour(airQuality, h, hour, *offset);
}

QMap<QDateTime, QJsonObject> airQualityAtHours(const QJsonObject &airQuality, const QDateTime &from, int hours)
{
    QMap<QDateTime, QJsonObject> answers;
    const auto offset = utcOffsetOf(airQuality);
    if (!offset)
        return answers;
    const QDateTime first = hourStart(from);
    const QDateTime end = first.addSecs(hours * HourSeconds);
    const QJsonArray times =
        airQuality.value(QLatin1String("hourly")).toObject().value(QLatin1String("time")).toArray();
    for (qsizetype i = 0; i < times.size(); ++i) {
        const QDateTime at = instantOf(times.at(i), *offset);
        if (at.isValid() && at == hourStart(at) && at >= first && at < end && !answers.contains(at))
            answers.insert(at, airAtHour(airQuality, i, at, *offset));
    }
    if (const auto quarter = currentQuarter(airQuality)) {
        const QDateTime hour = hourStart(*quarter);
        if (hour >= first && hour < end && !answers.contains(hour))
            answers.insert(hour, airQuality);
    }
    return answers;
}
