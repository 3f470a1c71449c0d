#include "cominghours.h"

#include "documentfacts.h"
#include "platform/feeddate.h"
#include "quarterseries.h"

#include <QRegularExpression>

namespace {

constexpr qint64 HourSeconds = 60 * 60;

} // namespace

QList<ComingHour> comingHours(const QJsonObject &forecast, const QJsonObject &airQuality, const QDateTime &now)
{
    QList<ComingHour> hours;
    // The days and the air are read once, not at each of the 24 hours.
    const QList<Day> days = readUpstreamAnswer(forecast, {}).days;
    const QMap<QDateTime, QJsonObject> air = airQualityAtHours(airQuality, now, ComingHourCount);
    QJsonObject series = forecast;
    series.remove(QLatin1String("daily"));
    for (const auto &[instant, answer] : forecastAtHours(series, hourStart(now), ComingHourCount)) {
        Reading reading = readUpstreamAnswer(answer, air.value(instant));
        if (!reading.current)
            continue;
        reading.days = days;
        const Current &at = *reading.current;
        hours.append({cityTime(instant), conditionAt(at, dayOfReading(reading), reading.air), at.temperature,
                      at.windSpeed, at.windDirection});
    }
    return hours;
}

QByteArray hoursMovedTo(const QByteArray &document, const QDateTime &now)
{
    static const QRegularExpression hour(QStringLiteral(R"re(<rorizedivo:hour time="(?<time>[^"]+)")re"));
    static const QRegularExpression published(QStringLiteral(R"(<pubDate>([^<]+)</pubDate>)"));
    const QString text = QString::fromUtf8(document);
    QRegularExpressionMatchIterator found = hour.globalMatch(text);
    const std::optional<QDateTime> written = publishedAt(published.match(text).captured(1));
    if (!found.hasNext() || !written)
        return document;

    QString moved;
    qsizetype from = 0;
    const ReplayShift shift = replayShift(*written, now);
    while (found.hasNext()) {
        const QRegularExpressionMatch match = found.next();
        const QDateTime time = QDateTime::fromString(match.captured(u"time"), Qt::ISODate);
        if (!time.isValid())
            return document;
        moved += text.mid(from, match.capturedStart(u"time") - from)
            + cityTime(time.addSecs(shift.hours * HourSeconds)).toString(Qt::ISODate);
        from = match.capturedEnd(u"time");
    }
    return (moved + text.mid(from)).toUtf8();
}
