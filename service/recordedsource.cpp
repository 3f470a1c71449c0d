#include "recordedsource.h"

#include "citywarnings.h"
#include "cominghours.h"
#include "platform/feeddate.h"
#include "feedformat.h"
#include "locationtable.h"
#include "quarterseries.h"
#include "servicelog.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>

QString recordedFileName(const QString &locationId, Units units)
{
    return locationId + (units == Units::Metric ? QStringLiteral(".xml") : QStringLiteral("-f.xml"));
}

QByteArray publicationMovedTo(const QByteArray &document, const QDateTime &now)
{
    static const QRegularExpression published(QStringLiteral(R"(<pubDate>([^<]+)</pubDate>)"));
    static const QRegularExpression forecast(
        QStringLiteral(R"re(<yweather:forecast day="\w+" date="(?<date>[^"]+)")re"));
    QString text = QString::fromUtf8(document);
    const QString written = published.match(text).captured(1);
    const std::optional<QDateTime> at = publishedAt(written);
    if (!at)
        return document;
    // The new time is written on the document's own clock, in its zone.
    const int offset = at->offsetFromUtc();
    const QDateTime then = at->toUTC().addSecs(offset);
    const QDateTime hour = hourStart(now.toUTC().addSecs(offset));
    const ReplayShift shift = replayShift(*at, now);
    if (shift.hours == 0)
        return document;

    const QString zone = publishedZone(written);
    const QString suffix = zone.isEmpty() ? QString() : QLatin1Char(' ') + zone;
    text.replace(written, feedDateTimeText(hour.date(), hour.time(), zone));
    text.replace(QStringLiteral(" at ") + feedClockText(then.time()) + suffix + QStringLiteral("</title>"),
                 QStringLiteral(" at ") + feedClockText(hour.time()) + suffix + QStringLiteral("</title>"));

    // The coming days, today first as written, from the new today.
    QString moved;
    qsizetype from = 0;
    for (QRegularExpressionMatchIterator found = forecast.globalMatch(text); found.hasNext();) {
        const QRegularExpressionMatch day = found.next();
        const QDate date = feedDayFromText(day.captured(u"date")).addDays(shift.days);
        if (!date.isValid())
            continue;
        moved += text.mid(from, day.capturedStart() - from)
            + QStringLiteral(R"(<yweather:forecast day="%1" date="%2")").arg(feedWeekdayText(date), feedDayText(date));
        from = day.capturedEnd();
    }
    return (moved + text.mid(from)).toUtf8();
}

QByteArray alertsMovedTo(const QByteArray &document, const QDateTime &now)
{
    static const QRegularExpression alert(QStringLiteral(R"re(<rorizedivo:alert [^>]*>)re"));
    static const QRegularExpression time(QStringLiteral(R"re( (?<name>onset|expires)="(?<time>[^"]+)")re"));
    static const QRegularExpression published(QStringLiteral(R"(<pubDate>([^<]+)</pubDate>)"));
    const QString text = QString::fromUtf8(document);
    const std::optional<QDateTime> written = publishedAt(published.match(text).captured(1));
    if (!written || !text.contains(QLatin1String("<rorizedivo:alert ")))
        return document;
    const ReplayShift shift = replayShift(*written, now);
    if (shift.hours == 0)
        return document;
    QString moved;
    qsizetype from = 0;
    for (QRegularExpressionMatchIterator found = alert.globalMatch(text); found.hasNext();) {
        const QRegularExpressionMatch element = found.next();
        QString tag = element.captured();
        for (QRegularExpressionMatchIterator times = time.globalMatch(element.captured()); times.hasNext();) {
            const QRegularExpressionMatch at = times.next();
            const QDateTime then = QDateTime::fromString(at.captured(u"time"), Qt::ISODate);
            if (then.isValid())
                tag.replace(
                    at.captured(),
                    QStringLiteral(" %1=\"%2\"")
                        .arg(at.captured(u"name"), cityTime(then.addSecs(shift.hours * 3600)).toString(Qt::ISODate)));
        }
        moved += text.mid(from, element.capturedStart() - from) + tag;
        from = element.capturedEnd();
    }
    return (moved + text.mid(from)).toUtf8();
}

ReplayForecastSource::ReplayForecastSource(const QString &directory, Clock clock)
    : m_directory(directory)
    , m_clock(std::move(clock))
{
}

void ReplayForecastSource::document(const Location &location, Units units, Callback callback)
{
    ServedDocument served;
    QFile file(QDir(m_directory).filePath(recordedFileName(location.id, units)));
    if (file.open(QIODevice::ReadOnly) && file.size() <= MaximumFileBytes) {
        served.body = file.read(MaximumFileBytes + 1);
        if (served.body.size() <= MaximumFileBytes && !served.body.isEmpty()) {
            served.status = ServedDocument::Status::Ok;
            served.note = QStringLiteral("replayed");
            served.cacheHit = true;
            served.lastModified = file.fileTime(QFileDevice::FileModificationTime).toUTC();
            // Served as a document of this hour, its warnings with it.
            const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
            const QByteArray moved = publicationMovedTo(
                hoursMovedTo(warningsMovedTo(alertsMovedTo(served.body, now), now), now), now);
            if (moved != served.body) {
                served.body = moved;
                served.lastModified = std::max(served.lastModified, hourStart(now));
            }
        }
    }
    if (served.status != ServedDocument::Status::Ok) {
        served.body.clear();
        served.note = QStringLiteral("no recorded document");
    }
    callback(served);
}

RecordingForecastSource::RecordingForecastSource(ForecastSource *inner, const QString &directory)
    : m_inner(inner)
    , m_directory(directory)
{
    QDir().mkpath(directory);
}

void RecordingForecastSource::document(const Location &location, Units units, Callback callback)
{
    const QString fileName = recordedFileName(location.id, units);
    m_inner->document(location, units, [this, fileName, callback](const ServedDocument &served) {
        if (served.status == ServedDocument::Status::Ok)
            record(fileName, served.body);
        callback(served);
    });
}

void RecordingForecastSource::record(const QString &fileName, const QByteArray &body)
{
    if (m_written.value(fileName) == body)
        return;
    QSaveFile file(QDir(m_directory).filePath(fileName));
    if (file.open(QIODevice::WriteOnly) && file.write(body) == body.size() && file.commit()) {
        m_written.insert(fileName, body);
        return;
    }
    qCWarning(lcForecastd, "cannot record %s in %s: %s", qPrintable(fileName), qPrintable(m_directory),
              qPrintable(file.errorString()));
}
