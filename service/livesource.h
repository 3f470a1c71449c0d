#pragma once

#include "forecastsource.h"
#include "openmeteoclient.h"

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class LocationTable;

// Documents made from the live upstream, in waves, with the manners a free
// service deserves:
//  - a city's answer is kept for 15 minutes and every request in that time
//    is served from it;
//  - a request for a city without a fresh answer starts a wave: one
//    forecast request and one air-quality request for every city (but those
//    paused after failures, below), so that the cities stay in step;
//    requests that arrive meanwhile wait for it, and a request for a city
//    outside the running wave waits for the next one, which starts when
//    this one ends;
//  - while boards are asking (a request in the last 40 minutes), the cache
//    is renewed by a wave of its own as it runs out, and the documents
//    being renewed are served meanwhile, so that a board's refresh never
//    waits on the upstream; with boards asking all the time that is one
//    wave, two upstream requests, every 15 minutes, and nothing while
//    nobody asks;
//  - failures are per city: a city whose element of the answer is missing
//    or unusable is left out of the waves for a while (30 s at first,
//    doubling with each further failure up to 15 minutes), the others are
//    served; a wave that fails as a whole leaves the upstream alone the
//    same way (longer, up to an hour, if it asked so with Retry-After);
//  - the air quality never costs the weather: when its request fails, is
//    late or lacks a city, the cities are served from the forecast alone,
//    and the air-quality request (or the city's part of it) is left alone
//    for a while of its own;
//  - while the upstream cannot be had, a city's last good document is
//    served as long as its own publication time is at most 3 hours old;
//    after that, or without one, the answer is Unavailable;
//  - every request is answered within 9 seconds, with the document, the
//    stale document or Unavailable, whatever the upstream does;
//  - with a cache folder, the answers each wave brought are kept on disk,
//    so that a restarted service serves them again within the same rules.
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
    // A board refreshes at minutes 5, 18 and 28 of the hour, so it may be
    // silent for 37 minutes: boards count as asking for 40 minutes after
    // their last request, so that the cache is renewed for the refresh at
    // :05 as well. While a board runs this costs nothing more (that refresh
    // would start a wave anyway), and one wave after the last board stops.
    static constexpr int AskingSeconds = 40 * 60;
    // Below the board's own 20 s, and past the upstream's 10 s time-out
    // only by what the air-quality grace may add.
    static constexpr int AnswerWithinMs = 9000;
    // How long forecasts that are in wait for a late air-quality answer.
    static constexpr int AirQualityGraceMs = 1500;
    // How long a health check waits for a wave under way to tell; the
    // board waits 500 ms for the whole check.
    static constexpr int HealthWaitMs = 400;

    // The client and the table (the cities served) must outlive the source.
    // Without a clock the system's is used.
    LiveForecastSource(OpenMeteoClient *client, const LocationTable &locations, Clock clock = {},
                       QObject *parent = nullptr);
    ~LiveForecastSource() override;

    void document(const Location &location, Units units, Callback callback) override;

    // Healthy while documents can be served for some city, fresh or stale,
    // or while the upstream has not failed; when nothing can be served it
    // asks the upstream first (waiting HealthWaitMs at most) so that a
    // service that has just started can tell.
    void health(HealthCallback callback) override;

    // Keeps the answers of each wave in <directory>/forecasts.json, and takes
    // up what is there now: answers still within the stale rule are served
    // again, and those younger than 15 minutes count as fresh.
    void setCacheDirectory(const QString &directory);

    // For tests that cannot wait the real times.
    void setAnswerWithin(int milliseconds) { m_answerWithinMs = milliseconds; }
    void setAirQualityGrace(int milliseconds) { m_airQualityGraceMs = milliseconds; }

    // Starts the renewing wave when the cache runs out and boards are
    // asking. Runs from a timer; tests that move the clock call it.
    void renewIfDue();

    // Until when the upstream as a whole is left alone; invalid when it is not.
    QDateTime backoffUntil() const { return m_backoff.until; }
    int consecutiveFailures() const { return m_backoff.failures; }
    // Until when one city is left out of the waves (or out of the
    // air-quality requests).
    QDateTime cityBackoffUntil(const QString &locationId, bool airQuality = false) const;
    QDateTime airQualityBackoffUntil() const { return m_airBackoff.until; }
    int wavesStarted() const { return m_wavesStarted; }
    bool waveRunning() const { return m_wave.has_value(); }

private:
    struct Backoff
    {
        int failures = 0;
        QDateTime until;

        bool active(const QDateTime &now) const { return until.isValid() && now < until; }
        void fail(const QDateTime &now, int retryAfterSeconds);
        void succeed() { *this = Backoff(); }
    };
    struct Waiter
    {
        quint64 id = 0;
        Units units = Units::Metric;
        Callback callback;
    };
    struct City
    {
        const Location *location = nullptr;
        QByteArray metric;   // the last good documents; empty when none
        QByteArray imperial;
        QDateTime fetchedAt; // when the wave that brought them began
        std::optional<QDateTime> observedAt;
        QJsonObject forecast; // the answers they were written from
        QJsonObject airQuality;
        Backoff backoff;      // the city's forecast element failed
        Backoff airBackoff;   // its air-quality element failed
        QList<Waiter> waiters;
    };
    struct Wave
    {
        quint64 serial = 0;
        bool background = false;
        QDateTime startedAt;
        QList<int> cities;    // indices into m_cities
        QList<int> airCities; // those whose air is asked about
        std::optional<FetchResult> forecast;
        std::optional<FetchResult> air;
        bool airPending = false;
    };
    struct Delivery
    {
        Callback callback;
        ServedDocument served;
    };

    QDateTime now() const;
    bool isFresh(const City &city, const QDateTime &now) const;
    bool hasServable(const City &city, const QDateTime &now) const;
    ServedDocument cachedOrUnavailable(const City &city, Units units, const QDateTime &now) const;
    ServedDocument fromCache(const City &city, Units units, const QString &note) const;
    ServiceHealth currentHealth(const QDateTime &now) const;

    void wait(int index, Units units, Callback callback);
    void expire(int index, quint64 waiterId);
    void startWave(bool background);
    void onForecast(quint64 serial, const FetchResult &result);
    void onAirQuality(quint64 serial, const FetchResult &result);
    void finishWave();
    void startWaveForWaiters();
    void scheduleRenewal();
    void answerHealthChecks();
    void store(City &city, const QJsonObject &forecast, const QJsonObject &airQuality, const QDateTime &fetchedAt);
    void loadCache();
    void saveCache() const;

    OpenMeteoClient *m_client;
    Clock m_clock;
    QList<City> m_cities;
    QHash<QString, int> m_index; // upper-case location id -> index
    std::optional<Wave> m_wave;
    quint64 m_serials = 0;
    int m_wavesStarted = 0;
    Backoff m_backoff;    // the forecast upstream as a whole
    Backoff m_airBackoff; // the air-quality upstream as a whole
    QString m_lastFailure;
    QDateTime m_lastAsked;
    QTimer m_renewTimer;
    QTimer m_graceTimer;
    QList<QPair<quint64, HealthCallback>> m_healthChecks;
    QString m_cacheFile;
    int m_answerWithinMs = AnswerWithinMs;
    int m_airQualityGraceMs = AirQualityGraceMs;
};
