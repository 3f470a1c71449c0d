#pragma once

#include "forecastsource.h"
#include "openmeteoclient.h"
#include "sourcefiles.h"
#include "upstreamledger.h"

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class LocationTable;

// Documents made from the live upstream, in hourly waves, with the manners a
// free service deserves (Open-Meteo allows fewer than 10,000 weighted calls a
// day per address, and may block an address that takes more):
//  - a wave asks, in one forecast and one air-quality request for every
//    city, for the quarter-hour series of one hour; each quarter of that hour
//    is then served from it, with what the upstream's own current conditions
//    would have said then. The upstream answers at most one wave an hour,
//    aligned to the hour, and a wave's addresses are the same on every
//    machine, so that a caching proxy shares one wave among many machines;
//  - a request for a city whose quarter is not at hand starts the hour's
//    wave when the hour has none yet; requests that arrive meanwhile wait
//    for it;
//  - while boards are asking (a request in the last 40 minutes), each hour's
//    wave starts as the hour begins, and the documents of the hour before are
//    served meanwhile, so that a board's refresh never waits on the upstream;
//    with boards asking all the time that is two upstream requests an hour,
//    and nothing while nobody asks;
//  - failures are per city: a city whose element of the answer is missing or
//    unusable waits for the next hour's wave, and never makes a wave come
//    sooner; a wave that fails as a whole leaves the upstream alone for a
//    while (30 s at first, doubling with each further failure up to
//    15 minutes, longer when it asked so with Retry-After) and is tried again
//    within the hour;
//  - an answer of 429, or one whose reason says a limit was exceeded, stops
//    the waves until that limit can have reset: the next hour, or the next
//    UTC day for the daily limit. So does a spent daily budget of weighted
//    calls, until the next UTC day. Both are logged once and told by health;
//  - the air quality never costs the weather: when its request fails, is
//    late or lacks a city, the cities are served from the forecast alone;
//  - while there is no fresh quarter, a city's latest quarter is served as
//    long as it is at most 3 hours old; after that the answer is Unavailable;
//  - every request is answered within 9 seconds, with the document, the
//    stale document or Unavailable, whatever the upstream does;
//  - a document that is stale, or that a wave under way is about to replace,
//    says so to HTTP caches (no max-age): only a fresh one may be kept, until
//    its quarter ends;
//  - with a cache folder, the answers of each wave are kept on disk, and
//    apart from them the ledger: today's calls, the back-offs and the limit
//    in force (SourceFiles), so that a restarted service serves the answers
//    again within the same rules, keeps to the day's budget and asks
//    nothing that a limit or back-off forbids.
class LiveForecastSource : public QObject, public ForecastSource
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    static constexpr int QuarterSeconds = 15 * 60;
    static constexpr int StaleLimitSeconds = 3 * 60 * 60;
    static constexpr int FirstBackoffSeconds = 30;
    static constexpr int LongestBackoffSeconds = 15 * 60;
    static constexpr int LongestRetryAfterSeconds = 60 * 60;
    // A board refreshes at minutes 5, 18 and 28 of the hour, so it may be
    // silent for 37 minutes: boards count as asking for 40 minutes after
    // their last request, so that the wave at the top of the hour is there
    // for the refresh at :05. While a board runs this costs nothing more
    // (that refresh would start the wave anyway), and one wave after the
    // last board stops.
    static constexpr int AskingSeconds = 40 * 60;
    // Started by its socket unit, the service ends after this long without
    // a request: past the asking window and a margin, so that the wave at
    // the top of the hour runs while a board is silent (37 minutes at
    // most), and the service ends only after boards have stopped.
    static constexpr int IdleExitSeconds = AskingSeconds + 10 * 60;
    static_assert(IdleExitSeconds >= 45 * 60, "the idle exit must leave the board's silence well behind");
    // Below the board's own 20 s, and past the upstream's 10 s time-out
    // only by what the air-quality grace may add.
    static constexpr int AnswerWithinMs = 9000;
    // How long forecasts that are in wait for a late air-quality answer.
    static constexpr int AirQualityGraceMs = 1500;
    // How long a health check waits for a wave under way to tell; the
    // board waits 500 ms for the whole check.
    static constexpr int HealthWaitMs = 400;
    // Weighted calls a UTC day, unless configured otherwise: half the free
    // API's allowance, over three times what one machine spends.
    static constexpr double DefaultDailyBudget = 5000;

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

    QByteArray metrics() override;

    // While a wave is under way.
    bool busy() const override { return m_wave.has_value(); }

    // Keeps the answers of each wave and the ledger in <directory>
    // (SourceFiles), and takes up what is there now: answers whose latest
    // quarter is within the stale rule are served again, today's count,
    // back-offs and limits hold on.
    void setCacheDirectory(const QString &directory);
    bool ledgerUnreadable() const { return m_ledgerUnreadable; }

    void setDailyBudget(double weightedCalls) { m_dailyBudget = weightedCalls; }
    double dailyBudget() const { return m_dailyBudget; }

    // For tests that cannot wait the real times.
    void setAnswerWithin(int milliseconds) { m_answerWithinMs = milliseconds; }
    void setAirQualityGrace(int milliseconds) { m_airQualityGraceMs = milliseconds; }

    // Starts the hour's wave when it is due and boards are asking. Runs
    // from a timer; tests that move the clock call it.
    void renewIfDue();

    // Until when the upstream as a whole is left alone after a failure;
    // invalid when it is not.
    QDateTime backoffUntil() const { return m_backoff.until; }
    int consecutiveFailures() const { return m_backoff.failures; }
    // Until when no wave starts because a limit was reached (the
    // upstream's, or the daily budget); invalid when none was.
    QDateTime limitedUntil() const { return m_limit.until; }
    // Until when one city's failure is told as its Retry-After.
    QDateTime cityBackoffUntil(const QString &locationId, bool airQuality = false) const;
    QDateTime airQualityBackoffUntil() const { return m_airBackoff.until; }
    int wavesStarted() const { return m_wavesStarted; }
    bool waveRunning() const { return m_wave.has_value(); }
    // When a board last asked (a document or health); invalid before any.
    QDateTime lastAsked() const { return m_lastAsked; }
    const UpstreamLedger &ledger() const { return m_ledger; }

private:
    struct Backoff
    {
        int failures = 0;
        QDateTime until;

        bool active(const QDateTime &now) const { return until.isValid() && now < until; }
        void fail(const QDateTime &now, int retryAfterSeconds);
        void succeed() { *this = Backoff(); }
    };
    // Why no wave starts, and until when.
    struct Limit
    {
        QDateTime until;
        QString reason;

        bool active(const QDateTime &now) const { return until.isValid() && now < until; }
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
        QJsonObject forecast; // the city's element of the last wave that had one
        QJsonObject airQuality; // and of its air-quality answer; empty when none
        QDateTime fetchedAt; // when the wave that brought `forecast` began
        // The documents last written, and the quarter they tell of.
        QDateTime documentQuarter;
        QDateTime documentMadeAt;
        QByteArray metric;
        QByteArray imperial;
        Backoff backoff; // its forecast element failed
        Backoff airBackoff; // its air-quality element failed
        QList<Waiter> waiters;
    };
    struct Wave
    {
        quint64 serial = 0;
        bool background = false;
        QDateTime startedAt;
        QDateTime hour;
        bool askedAir = false;
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
    std::optional<QDateTime> latestQuarter(const City &city, const QDateTime &now) const;
    bool hasServable(const City &city, const QDateTime &now) const;
    // The city's document for the latest quarter at hand: fresh, stale or
    // Unavailable (with when asking again may help).
    ServedDocument served(City &city, Units units, const QDateTime &now);
    ServiceHealth currentHealth(const QDateTime &now) const;
    // When the next wave may start: now, or the end of the hour already
    // answered, of a back-off or of a limit.
    QDateTime nextWaveAt(const QDateTime &now) const;

    void wait(int index, Units units, Callback callback);
    void expire(int index, quint64 waiterId);
    void startWave(bool background);
    bool withinBudget(double weight, const QDateTime &now);
    void limitUntil(const QDateTime &until, const QString &reason);
    void onForecast(quint64 serial, const FetchResult &result);
    void onAirQuality(quint64 serial, const FetchResult &result);
    void finishWave();
    void settleAirQuality(const Wave &wave, const QDateTime &now);
    void settleForecast(const Wave &wave, const QDateTime &now);
    // Every request waiting for a city, with what the city has now.
    void handBack(City &city, const QDateTime &now, QList<Delivery> &deliveries);
    void startWaveForWaiters();
    void scheduleRenewal();
    void answerHealthChecks();
    void takeUpFiles();
    void saveAnswers() const;
    void saveLedger() const;

    OpenMeteoClient *m_client;
    Clock m_clock;
    QList<City> m_cities;
    QList<Location> m_locations; // every city, in the table's order: each wave asks for them all
    QHash<QString, int> m_index; // upper-case location id -> index
    std::optional<Wave> m_wave;
    quint64 m_serials = 0;
    quint64 m_waiterIds = 0;
    quint64 m_healthCheckIds = 0;
    int m_wavesStarted = 0;
    QDateTime m_answeredHour; // the last hour whose wave the upstream answered
    Backoff m_backoff; // the forecast upstream as a whole
    Backoff m_airBackoff; // the air-quality upstream as a whole
    Limit m_limit;
    QString m_lastFailure;
    QDateTime m_lastAsked;
    QTimer m_renewTimer;
    QTimer m_graceTimer;
    QList<QPair<quint64, HealthCallback>> m_healthChecks;
    SourceFiles m_files;
    bool m_ledgerUnreadable = false;
    UpstreamLedger m_ledger;
    double m_dailyBudget = DefaultDailyBudget;
    int m_answerWithinMs = AnswerWithinMs;
    int m_airQualityGraceMs = AirQualityGraceMs;
};
