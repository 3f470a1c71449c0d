#include "citywarnings.h"

#include "feeddocument.h"
#include "quarterseries.h"

#include "platform/feeddate.h"

#include <QJsonArray>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

constexpr qint64 HourSeconds = 60 * 60;

std::optional<int> utcOffsetOf(const QJsonObject &element)
{
    const QJsonValue value = element.value(QLatin1String("utc_offset_seconds"));
    const double offset = value.toDouble(std::nan(""));
    if (!value.isDouble() || std::floor(offset) != offset || std::fabs(offset) > 18 * HourSeconds)
        return {};
    return int(offset);
}

// A wall-clock reading of the element's ("2026-12-07T13:00") at its offset.
QDateTime localTime(const QJsonValue &reading, int offset)
{
    const std::optional<QDateTime> wallClock = wallClockReading(reading);
    if (!wallClock)
        return {};
    return QDateTime(wallClock->date(), wallClock->time(), Qt::OffsetFromUTC, offset);
}

bool before(const CityWarning &a, const CityWarning &b)
{
    return a.start != b.start ? a.start < b.start : a.kind < b.kind;
}

// The warnings of the days `today` and the day after, from the daily block.
void addDays(QList<CityWarning> &warnings, const QJsonObject &forecast, const QDateTime &quarter)
{
    const auto offset = utcOffsetOf(forecast);
    if (!offset)
        return;
    const QDate today = quarter.toUTC().addSecs(*offset).date();
    const QJsonObject daily = forecast.value(QLatin1String("daily")).toObject();
    const QJsonObject units = forecast.value(QLatin1String("daily_units")).toObject();
    const QJsonArray times = daily.value(QLatin1String("time")).toArray();
    for (int i = 0; i < times.size(); ++i) {
        const QDate date = QDate::fromString(times.at(i).toString(), Qt::ISODate);
        if (date != today && date != today.addDays(1))
            continue;
        const QDateTime start(date, QTime(0, 0), Qt::OffsetFromUTC, *offset);
        const auto add = [&](WarningKind kind, double peak) { warnings.append({kind, start, start.addDays(1), peak}); };
        const auto high = seriesValue(daily, units, "temperature_2m_max", i, Quantity::Temperature);
        if (high && *high >= ExtremeHeatCelsius)
            add(WarningKind::Heat, *high);
        const auto rain = seriesValue(daily, units, "precipitation_sum", i, Quantity::Precipitation);
        if (rain && *rain >= HeavyRainMillimetres)
            add(WarningKind::Rain, *rain);
        const QJsonValue code = daily.value(QLatin1String("weather_code")).toArray().at(i);
        const double wmo = code.toDouble(-1);
        if (code.isDouble() && std::floor(wmo) == wmo && wmo >= FirstThunderstormCode && wmo <= LastThunderstormCode)
            add(WarningKind::Thunder, wmo);
        const auto gust = seriesValue(daily, units, "wind_gusts_10m_max", i, Quantity::Speed);
        if (gust && *gust >= StrongGustKilometresPerHour)
            add(WarningKind::Wind, *gust);
    }
}

// The dust storms of the hourly series: runs of consecutive hours over the
// threshold, from the quarter's hour on, that start within the coming hours.
void addDust(QList<CityWarning> &warnings, const QJsonObject &airQuality, const QDateTime &quarter)
{
    const auto offset = utcOffsetOf(airQuality);
    if (!offset)
        return;
    const QJsonObject hourly = airQuality.value(QLatin1String("hourly")).toObject();
    const QJsonObject units = airQuality.value(QLatin1String("hourly_units")).toObject();
    const QJsonArray times = hourly.value(QLatin1String("time")).toArray();
    QList<QPair<QDateTime, double>> stormy; // each hour over the threshold, by its start
    const QDateTime from = hourStart(quarter);
    for (int i = 0; i < times.size(); ++i) {
        const QDateTime at = localTime(times.at(i), *offset);
        const auto dust = seriesValue(hourly, units, "dust", i, Quantity::Concentration);
        if (at.isValid() && at >= from && dust && *dust >= DustStormMicrogramsPerCubicMetre)
            stormy.append({at, *dust});
    }
    std::sort(stormy.begin(), stormy.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (qsizetype i = 0; i < stormy.size();) {
        CityWarning storm{WarningKind::Dust, stormy[i].first, stormy[i].first.addSecs(HourSeconds), stormy[i].second};
        for (++i; i < stormy.size() && stormy[i].first == storm.end; ++i) {
            storm.end = storm.end.addSecs(HourSeconds);
            storm.peak = std::max(storm.peak, stormy[i].second);
        }
        if (storm.start < from.addSecs(ComingHourCount * HourSeconds))
            warnings.append(storm);
    }
}

} // namespace

QString warningKindName(WarningKind kind)
{
    switch (kind) {
    case WarningKind::Dust:
        return QStringLiteral("dust");
    case WarningKind::Heat:
        return QStringLiteral("heat");
    case WarningKind::Rain:
        return QStringLiteral("rain");
    case WarningKind::Thunder:
        return QStringLiteral("thunder");
    case WarningKind::Wind:
        return QStringLiteral("wind");
    }
    return {};
}

QList<CityWarning> cityWarnings(const QJsonObject &forecast, const QJsonObject &airQuality, const QDateTime &quarter)
{
    QList<CityWarning> warnings;
    if (!quarter.isValid())
        return warnings;
    addDust(warnings, airQuality, quarter);
    addDays(warnings, forecast, quarter);
    std::stable_sort(warnings.begin(), warnings.end(), before);
    return warnings;
}

QByteArray warningsMovedTo(const QByteArray &document, const QDateTime &now)
{
    static const QRegularExpression line(QStringLiteral(
        R"re((?<indent> *)<rorizedivo:warning kind="(?<kind>\w+)" start="(?<start>[^"]+)" end="(?<end>[^"]+)" peak="(?<peak>[^"]+)"/>\n)re"));
    static const QRegularExpression published(QStringLiteral(R"(<pubDate>([^<]+)</pubDate>)"));
    const QString text = QString::fromUtf8(document);
    QRegularExpressionMatchIterator lines = line.globalMatch(text);
    const std::optional<QDateTime> written = publishedAt(published.match(text).captured(1));
    if (!lines.hasNext() || !written)
        return document;

    struct Moved
    {
        CityWarning warning;
        QString peak;
    };
    QList<Moved> moved;
    QString indent;
    qsizetype first = -1;
    qsizetype last = -1;
    const ReplayShift shift = replayShift(*written, now);
    while (lines.hasNext()) {
        const QRegularExpressionMatch match = lines.next();
        CityWarning warning;
        warning.start = QDateTime::fromString(match.captured(u"start"), Qt::ISODate);
        warning.end = QDateTime::fromString(match.captured(u"end"), Qt::ISODate);
        const QString kind = match.captured(u"kind");
        for (WarningKind k :
             {WarningKind::Dust, WarningKind::Heat, WarningKind::Rain, WarningKind::Thunder, WarningKind::Wind}) {
            if (warningKindName(k) == kind)
                warning.kind = k;
        }
        if (!warning.start.isValid() || !warning.end.isValid() || warningKindName(warning.kind) != kind)
            return document;
        // Dust by the hour, the other kinds by the cities' day.
        warning.start = cityTime(warning.start);
        warning.end = cityTime(warning.end);
        if (warning.kind == WarningKind::Dust) {
            warning.start = warning.start.addSecs(shift.hours * HourSeconds);
            warning.end = warning.end.addSecs(shift.hours * HourSeconds);
        } else {
            warning.start = warning.start.addDays(shift.days);
            warning.end = warning.end.addDays(shift.days);
        }
        moved.append({warning, match.captured(u"peak")});
        indent = match.captured(u"indent");
        if (first < 0)
            first = match.capturedStart();
        last = match.capturedEnd();
    }
    std::stable_sort(moved.begin(), moved.end(),
                     [](const Moved &a, const Moved &b) { return before(a.warning, b.warning); });
    QString block;
    for (const Moved &m : moved) {
        block += indent
            + QStringLiteral(R"(<rorizedivo:warning kind="%1" start="%2" end="%3" peak="%4"/>)")
                  .arg(warningKindName(m.warning.kind), m.warning.start.toString(Qt::ISODate),
                       m.warning.end.toString(Qt::ISODate), m.peak)
            + QLatin1Char('\n');
    }
    return (text.left(first) + block + text.mid(last)).toUtf8();
}
