#include "recordedsource.h"

#include "citywarnings.h"
#include "locationtable.h"
#include "quarterseries.h"
#include "servicelog.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>

QString recordedFileName(const QString &locationId, Units units)
{
    return locationId + (units == Units::Metric ? QStringLiteral(".xml") : QStringLiteral("-f.xml"));
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
            // Warnings moved to now make a document of this hour.
            const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
            const QByteArray moved = warningsMovedTo(served.body, now);
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
