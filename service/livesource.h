#pragma once

#include "forecastsource.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>

#include <functional>
#include <optional>

class OpenMeteoClient;
struct FetchResult;

// Documents made from the live upstream, with the manners a free service
// deserves:
//  - a city's answer is kept for 15 minutes and every request in that time
//    is served from it, so a board's refresh of 24 cities costs at most 24
//    upstream calls a quarter hour;
//  - requests for a city that arrive while its answer is awaited share it;
//  - after a failed call the upstream is left alone for a while, 30 s at
//    first, doubling with each further failure up to 15 minutes (longer, up to an
//    hour, if it asked so with Retry-After); failures of calls that were already under
//    way when one failed do not count again;
//  - while the upstream cannot be had, a city's last good document is
//    served as long as its own publication time is at most 3 hours old;
//    after that, or without one, the answer is Unavailable.
class LiveForecastSource : public QObject, public ForecastSource
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    static constexpr int FreshSeconds = 15 * 60;
    static constexpr int StaleLimitSeconds = 3 * 60 * 60;
    static constexpr int FirstBackoffSeconds = 30;
    static constexpr int LongestBackoffSeconds = 15 * 60;
    static constexpr int LongestRetryAfterSeconds = 60 * 60;

    // The client must outlive the source. Without a clock the system's is used.
    explicit LiveForecastSource(OpenMeteoClient *client, Clock clock = {}, QObject *parent = nullptr);

    void document(const Location &location, Units units, Callback callback) override;

    // Until when the upstream is left alone; invalid when it is not.
    QDateTime backoffUntil() const { return m_retryAt; }
    int consecutiveFailures() const { return m_failures; }

private:
    struct Entry
    {
        QByteArray metric;
        QByteArray imperial;
        QDateTime fetchedAt;
        std::optional<QDateTime> observedAt;
    };
    struct Waiter
    {
        Units units;
        Callback callback;
    };

    void onFetched(const Location &location, quint64 failuresSeenAtStart, const FetchResult &result);
    void registerFailure(quint64 failuresSeenAtStart, const QDateTime &now, int retryAfterSeconds);
    ServedDocument cachedOrUnavailable(const QString &id, Units units, const QDateTime &now) const;
    QDateTime now() const;

    OpenMeteoClient *m_client;
    Clock m_clock;
    QHash<QString, Entry> m_cache;
    QHash<QString, QList<Waiter>> m_waiting;
    int m_failures = 0;
    QDateTime m_retryAt;
    quint64 m_failuresRegistered = 0; // every failure ever, to tell calls of one wave apart
};
