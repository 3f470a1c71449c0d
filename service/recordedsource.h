#pragma once

#include "forecastsource.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <functional>

// The file a city's document is recorded in and replayed from:
// DIR/<location id>.xml for u=c, DIR/<location id>-f.xml for u=f.
QString recordedFileName(const QString &locationId, Units units);

// A replayed document as if it had been written in the hour of `now`: its
// publication time (lastBuildDate, pubDate, the condition's date and the
// item's title) is that hour in the document's own zone, and its coming days
// move by as many days as lie between its time and now. A document without
// a publication time, or of this hour, is returned as it is.
QByteArray publicationMovedTo(const QByteArray &document, const QDateTime &now);

// The national centre's alerts of a replayed document moved by as many hours
// as lie between its publication time and now, as its dust warnings are:
// an alert in force when the document was written is in force whenever it
// is replayed. A document without alerts is returned as it is.
QByteArray alertsMovedTo(const QByteArray &document, const QDateTime &now);

// Serves recorded documents instead of asking the upstream: for demos
// without network, and for tests. The file is read at each request, so a
// folder can be refilled while the service runs; a city without its file is
// Unavailable. The board shows a document by its time, and takes its
// warnings for today's: each document is served as if written in the hour
// it is asked for (publicationMovedTo), its warnings moved by as many hours
// (dust) or days as lie between its time and the clock's (warningsMovedTo),
// its alerts by as many hours (alertsMovedTo), and its coming hours by as
// many hours (hoursMovedTo), so that the demo
// looks fresh, a storm under way when the document was written is under
// way whenever it is replayed, and its hours begin at the hour of now.
class ReplayForecastSource : public ForecastSource
{
public:
    using Clock = std::function<QDateTime()>;
    static constexpr qint64 MaximumFileBytes = 2 * 1024 * 1024;

    // Without a clock the system's is used.
    explicit ReplayForecastSource(const QString &directory, Clock clock = {});
    void document(const Location &location, Units units, Callback callback) override;

private:
    QString m_directory;
    Clock m_clock;
};

// Keeps a copy of every document another source serves, in the replay
// layout, so that a live session can be replayed later. A file is rewritten
// only when its document changed; it is replaced whole, never left half
// written.
class RecordingForecastSource : public ForecastSource
{
public:
    // `inner` must outlive this source.
    RecordingForecastSource(ForecastSource *inner, const QString &directory);
    void document(const Location &location, Units units, Callback callback) override;
    void health(HealthCallback callback) override { m_inner->health(std::move(callback)); }
    QByteArray metrics() override { return m_inner->metrics(); }
    bool busy() const override { return m_inner->busy(); }

private:
    void record(const QString &fileName, const QByteArray &body);

    ForecastSource *m_inner;
    QString m_directory;
    QHash<QString, QByteArray> m_written;
};
