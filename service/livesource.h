#pragma once

#include "citydocument.h"
#include "forecastsource.h"
#include "openmeteoclient.h"
#include "sourcefiles.h"
#include "waitingrequests.h"
#include "waveschedule.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class LocationTable;
class OfficialWarnings;

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
//  - failures are per city: a city whose element of the answer is missing,
//    unusable or of another hour keeps what it had (settleCities) and waits
//    for the next hour's wave, and never makes a wave come sooner; a wave
//    that fails as a whole leaves the upstream alone for a while (30 s at
//    first, doubling with each further failure up to 15 minutes, longer
//    when it asked so with Retry-After) and is tried again within the hour;
//  - an answer of 429, or one whose reason says a limit was exceeded, stops
//    the waves until that limit can have reset: the next hour, or the next
//    UTC day for the daily limit. So does a spent daily budget of weighted
//    calls, until the next UTC day. Both are logged once and told by health.
//    Only requests that got an HTTP status are charged to the budget, and
//    while the forecast fails in a row the air is not asked: an outage
//    costs nothing of the day's budget. No pause outlasts a clock that moved
//    (WaveSchedule);
//  - the air quality never costs the weather: when its request fails, is
//    late or lacks a city, the city keeps the air series it had, which goes
//    on serving the hours it covers (the dust and its warnings), and the
//    forecast alone once it covers none;
//  - while there is no fresh quarter, a city's latest quarter is served as
//    long as it is at most 3 hours old; after that the answer is Unavailable;
//  - every request is answered within 9 seconds, with the document, the
//    stale document or Unavailable, whatever the upstream does;
//  - a document that is stale, or that a wave under way is about to replace,
//    says so to HTTP caches (no max-age): only a fresh one may be kept, until
//    its quarter ends;
//  - the national centre's alerts (OfficialWarnings), when set, go into the
//    documents of the cities they cover; a document is written anew when
//    they change or one expires;
//  - with a cache folder, the answers of each wave are kept on disk, and
//    apart from them the ledger: today's calls, the back-offs and the limit
//    in force (SourceFiles), so that a restarted service serves the answers
//    again within the same rules, keeps to the day's budget and asks
//    nothing that a limit or back-off forbids. Writes that fail are counted
//    (metrics), noted by health, and said once when they begin to fail.
class LiveForecastSource : public QObject, public ForecastSource
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    static constexpr int QuarterSeconds = CityDocument::QuarterSeconds;
    static constexpr int StaleLimitSeconds = CityDocument::StaleLimitSeconds;
    static constexpr int FirstBackoffSeconds = Backoff::FirstSeconds;
    static constexpr int LongestBackoffSeconds = Backoff::LongestSeconds;
    static constexpr int LongestRetryAfterSeconds = Backoff::LongestRetryAfterSeconds;
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
    static constexpr double DefaultDailyBudget = WaveSchedule::DefaultDailyBudget;

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

    // The national centre's alerts, carried in the documents of the cities
    // they cover; `alerts` must outlive the source. The first documents
    // after start wait for its first look (OfficialWarnings::afterFirstLook),
    // while the wave they may need is under way.
    void setOfficialWarnings(OfficialWarnings *alerts) { m_alerts = alerts; }

    void setDailyBudget(double weightedCalls) { m_schedule.setDailyBudget(weightedCalls); }
    double dailyBudget() const { return m_schedule.dailyBudget(); }

    // For tests that cannot wait the real times.
    void setAnswerWithin(int milliseconds) { m_waiting.setAnswerWithin(milliseconds); }
    void setAirQualityGrace(int milliseconds) { m_airQualityGraceMs = milliseconds; }

    // Starts the hour's wave when it is due and boards are asking. Runs
    // from a timer; tests that move the clock call it.
    void renewIfDue();

    // Until when the upstream as a whole is left alone after a failure;
    // invalid when it is not.
    QDateTime backoffUntil() const { return m_schedule.backoff().until; }
    int consecutiveFailures() const { return m_schedule.backoff().failures; }
    // Until when no wave starts because a limit was reached (the
    // upstream's, or the daily budget); invalid when none was.
    QDateTime limitedUntil() const { return m_schedule.limit().until; }
    // Until when one city's failure is told as its Retry-After.
    QDateTime cityBackoffUntil(const QString &locationId, bool airQuality = false) const;
    QDateTime airQualityBackoffUntil() const { return m_schedule.airBackoff().until; }
    int wavesStarted() const { return m_wavesStarted; }
    bool waveRunning() const { return m_wave.has_value(); }
    // When a board last asked (a document or health); invalid before any.
    QDateTime lastAsked() const { return m_lastAsked; }
    const UpstreamLedger &ledger() const { return m_schedule.ledger(); }

private:
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

    // The clock's time. Every pause is first held to it, so that none set
    // under the clock's earlier time outlasts itself (WaveSchedule).
    QDateTime now();
    // The city's document for the latest quarter at hand: fresh, stale or
    // Unavailable (with when asking again may help).
    ServedDocument served(int index, Units units, const QDateTime &now);
    ServiceHealth currentHealth(const QDateTime &now) const;

    void startWave(bool background);
    // Every request's answer, before its wave hears of it (or after its
    // wave went on without it): one that never left is not charged.
    void requestEnded(UpstreamLedger::Api api, double weight, const QDateTime &sentAt, const FetchResult &result);
    void onForecast(quint64 serial, const FetchResult &result);
    void onAirQuality(quint64 serial, const FetchResult &result);
    void finishWave();
    void settleAirQuality(const Wave &wave, const QDateTime &now);
    void settleForecast(const Wave &wave, const QDateTime &now);
    // Every request waiting for a city, with what the city has now.
    void handBack(int index, const QDateTime &now, QList<Delivery> &deliveries);
    void startWaveForWaiters();
    void scheduleRenewal();
    void answerHealthChecks();
    void takeUpFiles();
    void saveAnswers();
    void saveLedger();

    OpenMeteoClient *m_client;
    Clock m_clock;
    QList<CityDocument> m_cities;
    QList<Location> m_locations; // every city, in the table's order: each wave asks for them all
    QHash<QString, int> m_index; // upper-case location id -> index
    std::optional<Wave> m_wave;
    quint64 m_serials = 0;
    int m_wavesStarted = 0;
    WaveSchedule m_schedule;
    WaitingRequests m_waiting;
    QString m_lastFailure;
    QDateTime m_lastAsked;
    QTimer m_renewTimer;
    QTimer m_graceTimer;
    SourceFiles m_files;
    bool m_ledgerUnreadable = false;
    int m_airQualityGraceMs = AirQualityGraceMs;
    OfficialWarnings *m_alerts = nullptr;
};
