// What the official warnings keep across a restart: alerts.json in the
// service's cache folder, written whole (QSaveFile) after each look.

#include "officialwarnings.h"

#include "servicelog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

// The last good looks: the indexes and every document they list, each at
// most CapLimits::MaximumBytes; the file is read only up to this.
constexpr qint64 MaximumFileBytes = 64 * 1024 * 1024;

QString filePath(const QString &directory)
{
    return QDir(directory).filePath(QStringLiteral("alerts.json"));
}

QString isoTime(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QString();
}

} // namespace

void OfficialWarnings::saveFiles()
{
    if (m_directory.isEmpty())
        return;
    QJsonArray feeds;
    for (auto it = m_feeds.cbegin(); it != m_feeds.cend(); ++it) {
        feeds.append(QJsonObject{{QStringLiteral("url"), it.key().toString()},
                                 {QStringLiteral("etag"), QString::fromLatin1(it->etag)},
                                 {QStringLiteral("lastModified"), QString::fromLatin1(it->lastModified)},
                                 {QStringLiteral("goodAt"), isoTime(it->goodAt)},
                                 {QStringLiteral("index"), QString::fromUtf8(it->index)}});
    }
    QJsonArray documents;
    for (auto it = m_documents.cbegin(); it != m_documents.cend(); ++it) {
        documents.append(QJsonObject{{QStringLiteral("url"), it.key().toString()},
                                     {QStringLiteral("refused"), it->refused},
                                     {QStringLiteral("body"), QString::fromUtf8(it->body)}});
    }
    QJsonArray sources;
    for (const QUrl &source : std::as_const(m_sources))
        sources.append(source.toString());
    QJsonObject withdrawals;
    for (auto it = m_withdrawals.cbegin(); it != m_withdrawals.cend(); ++it)
        withdrawals.insert(it.key(), isoTime(it.value()));
    const QByteArray json = QJsonDocument(QJsonObject{{QStringLiteral("feeds"), feeds},
                                                      {QStringLiteral("documents"), documents},
                                                      {QStringLiteral("withdrawals"), withdrawals},
                                                      {QStringLiteral("sources"), sources},
                                                      {QStringLiteral("lastLookAt"), isoTime(m_lastLookAt)},
                                                      {QStringLiteral("pausedUntil"), isoTime(m_pausedUntil)}})
                                .toJson(QJsonDocument::Compact);
    const QString path = filePath(m_directory);
    QDir().mkpath(m_directory);
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(json) == json.size() && file.commit())
        return;
    if (m_fileWriteFailures++ == 0)
        qCWarning(lcForecastd, "the official warnings cannot be kept in %s (%s): a restart would not have them",
                  qPrintable(path), qPrintable(file.errorString()));
}

void OfficialWarnings::takeUpFiles()
{
    const QString path = filePath(m_directory);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(file.read(MaximumFileBytes), &error).object();
    if (error.error != QJsonParseError::NoError) {
        qCWarning(lcForecastd, "%s cannot be read (%s); the official warnings begin anew", qPrintable(path),
                  qPrintable(error.errorString()));
        return;
    }
    // Read again as they came: the file is the service's own, but what it
    // holds came from the feeds.
    for (const QJsonValue &value : root.value(QLatin1String("documents")).toArray()) {
        const QJsonObject object = value.toObject();
        const QUrl url(object.value(QLatin1String("url")).toString());
        Document document;
        document.refused = object.value(QLatin1String("refused")).toBool();
        if (!document.refused) {
            document.body = object.value(QLatin1String("body")).toString().toUtf8();
            const CapReading reading = readCap(document.body, url);
            if (!reading.ok)
                continue;
            document.alerts = reading.alerts;
        }
        if (!url.isValid() || m_documentBytes + document.body.size() > MaximumDocumentBytes)
            continue;
        m_documentBytes += document.body.size();
        m_documents.insert(url, document);
    }
    for (const QJsonValue &value : root.value(QLatin1String("feeds")).toArray()) {
        const QJsonObject object = value.toObject();
        const QUrl url(object.value(QLatin1String("url")).toString());
        if (!m_sources.contains(url))
            continue;
        Feed feed;
        feed.etag = object.value(QLatin1String("etag")).toString().toLatin1();
        feed.lastModified = object.value(QLatin1String("lastModified")).toString().toLatin1();
        feed.goodAt = QDateTime::fromString(object.value(QLatin1String("goodAt")).toString(), Qt::ISODate);
        feed.index = object.value(QLatin1String("index")).toString().toUtf8();
        const CapReading reading = readCap(feed.index, url);
        if (!reading.ok)
            continue;
        feed.links = reading.links;
        feed.alerts = reading.alerts;
        bool whole = true;
        for (const QUrl &link : std::as_const(feed.links)) {
            whole = whole && m_documents.contains(link);
            feed.alerts += m_documents.value(link).alerts;
        }
        // Without its documents the validators would make the next look
        // take the index as unchanged and never fetch them.
        if (!whole) {
            feed.etag.clear();
            feed.lastModified.clear();
        }
        m_feeds.insert(url, feed);
        if (feed.goodAt.isValid() && (!m_lastGoodLook.isValid() || feed.goodAt > m_lastGoodLook))
            m_lastGoodLook = feed.goodAt;
    }
    const QJsonObject withdrawals = root.value(QLatin1String("withdrawals")).toObject();
    for (auto it = withdrawals.begin(); it != withdrawals.end(); ++it) {
        const QDateTime until = QDateTime::fromString(it.value().toString(), Qt::ISODate);
        if (until.isValid())
            m_withdrawals.insert(it.key(), until);
    }
    // When the service before looked, and until when the feeds asked to be
    // left alone: neither beyond what a clock that moved could make of it.
    // Of these very feeds: other settings are other feeds.
    QStringList sources;
    for (const QUrl &source : std::as_const(m_sources))
        sources.append(source.toString());
    const bool sameFeeds = root.value(QLatin1String("sources")).toVariant().toStringList() == sources;
    const QDateTime now = this->now();
    const QDateTime lastLook = QDateTime::fromString(root.value(QLatin1String("lastLookAt")).toString(), Qt::ISODate);
    if (sameFeeds && lastLook.isValid() && lastLook <= now)
        m_lastLookAt = lastLook;
    const QDateTime paused = QDateTime::fromString(root.value(QLatin1String("pausedUntil")).toString(), Qt::ISODate);
    if (sameFeeds && paused.isValid() && paused > now)
        m_pausedUntil = std::min(paused, now.addSecs(LongestPauseSeconds));
    recompute();
    if (!m_inForce.isEmpty())
        qCDebug(lcForecastd, "%lld official alerts taken up from %s", static_cast<long long>(m_inForce.size()),
                qPrintable(path));
}
