#include "livesource.h"

#include "locationtable.h"
#include "openmeteoclient.h"
#include "servicelog.h"

#include <algorithm>

LiveForecastSource::LiveForecastSource(OpenMeteoClient *client, Clock clock, QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_clock(std::move(clock))
{
}

QDateTime LiveForecastSource::now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
}

void LiveForecastSource::document(const Location &location, Units units, Callback callback)
{
    const QDateTime now = this->now();
    const auto cached = m_cache.constFind(location.id);
    if (cached != m_cache.constEnd()) {
        const qint64 age = cached->fetchedAt.secsTo(now);
        if (age >= 0 && age < FreshSeconds) {
            ServedDocument served;
            served.status = ServedDocument::Status::Ok;
            served.body = units == Units::Metric ? cached->metric : cached->imperial;
            served.note = QStringLiteral("cached");
            callback(served);
            return;
        }
    }

    if (m_retryAt.isValid() && now < m_retryAt) {
        callback(cachedOrUnavailable(location.id, units, now));
        return;
    }

    QList<Waiter> &waiters = m_waiting[location.id];
    waiters.append({units, std::move(callback)});
    if (waiters.size() > 1)
        return; // the city's answer is already on its way

    const Location city = location;
    const quint64 failuresSeen = m_failuresRegistered;
    m_client->fetch(city, [this, city, failuresSeen](const FetchResult &result) {
        onFetched(city, failuresSeen, result);
    });
}

void LiveForecastSource::onFetched(const Location &location, quint64 failuresSeenAtStart,
                                   const FetchResult &result)
{
    const QDateTime now = this->now();
    const QList<Waiter> waiters = m_waiting.take(location.id);

    if (result.ok) {
        Entry entry;
        entry.metric = writeForecastDocument(result.answer, location, Units::Metric);
        entry.imperial = writeForecastDocument(result.answer, location, Units::Imperial);
        entry.fetchedAt = now;
        entry.observedAt = observationTime(result.answer);
        m_cache.insert(location.id, entry);
        m_failures = 0;
        m_retryAt = QDateTime();
        qCDebug(lcForecastd, "%s: fresh forecast from the upstream", qPrintable(location.id));
        for (const Waiter &waiter : waiters) {
            ServedDocument served;
            served.status = ServedDocument::Status::Ok;
            served.body = waiter.units == Units::Metric ? entry.metric : entry.imperial;
            served.note = QStringLiteral("fresh");
            waiter.callback(served);
        }
        return;
    }

    registerFailure(failuresSeenAtStart, now, result.retryAfterSeconds);
    qCWarning(lcForecastd, "%s: upstream failed (%s); leaving it alone until %s",
              qPrintable(location.id), qPrintable(result.error),
              qPrintable(m_retryAt.toString(Qt::ISODate)));
    for (const Waiter &waiter : waiters)
        waiter.callback(cachedOrUnavailable(location.id, waiter.units, now));
}

void LiveForecastSource::registerFailure(quint64 failuresSeenAtStart, const QDateTime &now,
                                         int retryAfterSeconds)
{
    // Calls that were already under way when another one failed tell
    // nothing new about the upstream.
    if (failuresSeenAtStart == m_failuresRegistered)
        ++m_failures;
    ++m_failuresRegistered;

    qint64 delay = FirstBackoffSeconds;
    for (int i = 1; i < m_failures && delay < LongestBackoffSeconds; ++i)
        delay *= 2;
    delay = std::min<qint64>(delay, LongestBackoffSeconds);
    if (retryAfterSeconds > delay)
        delay = std::min(retryAfterSeconds, LongestRetryAfterSeconds);

    const QDateTime until = now.addSecs(delay);
    if (!m_retryAt.isValid() || until > m_retryAt)
        m_retryAt = until;
}

ServedDocument LiveForecastSource::cachedOrUnavailable(const QString &id, Units units,
                                                       const QDateTime &now) const
{
    ServedDocument served;
    const auto cached = m_cache.constFind(id);
    if (cached != m_cache.constEnd() && cached->observedAt) {
        const qint64 age = cached->observedAt->secsTo(now);
        if (age <= StaleLimitSeconds) {
            served.status = ServedDocument::Status::Ok;
            served.body = units == Units::Metric ? cached->metric : cached->imperial;
            served.note = QStringLiteral("stale");
            return served;
        }
    }
    served.status = ServedDocument::Status::Unavailable;
    served.retryAfterSeconds = m_retryAt.isValid() ? std::max<qint64>(1, now.secsTo(m_retryAt)) : 0;
    served.note = QStringLiteral("unavailable");
    return served;
}
