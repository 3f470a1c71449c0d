#pragma once

#include "openmeteoclient.h"
#include "sourcefiles.h"
#include "upstreamledger.h"

#include <QDateTime>
#include <QString>

#include <optional>

// The upstream, or one city's part of it, left alone after failures: 30 s
// at first, doubling with each further failure up to 15 minutes, longer
// when the upstream asked so with Retry-After (up to an hour).
struct Backoff
{
    static constexpr int FirstSeconds = 30;
    static constexpr int LongestSeconds = 15 * 60;
    static constexpr int LongestRetryAfterSeconds = 60 * 60;

    int failures = 0;
    QDateTime until;
    int seconds = 0; // how long it was set for; 0 when that is not known

    bool active(const QDateTime &now) const { return until.isValid() && now < until; }
    void fail(const QDateTime &now, int retryAfterSeconds);
    void succeed() { *this = Backoff(); }
    // Holds the pause to the clock as it is now: one that ends further
    // ahead than `longestSeconds` was set under a clock that was ahead, and
    // is void; one that ends further ahead than it was set for was set
    // before the clock went back, and ends that long from now. Whether it
    // was changed.
    bool keepToClock(const QDateTime &now, int longestSeconds);
};

// Why no wave starts, and until when: the upstream's limit, or the day's
// budget spent.
struct WaveLimit
{
    // A limit resets within a day at the latest: the UTC day's, or the
    // longest Retry-After obeyed.
    static constexpr int LongestSeconds = 24 * 60 * 60;

    QDateTime until;
    QString reason;
    int seconds = 0; // how long it was set for; 0 when that is not known

    bool active(const QDateTime &now) const { return until.isValid() && now < until; }
    // As Backoff::keepToClock, for a limit.
    bool keepToClock(const QDateTime &now);
};

// When the live source may ask the upstream, and what a wave may cost, on
// the clock it is given: the back-offs of the forecast and air-quality
// upstreams, the limit in force, the hour last answered, and today's
// weighted calls against the daily budget. It holds no timer: whoever runs
// the waves asks it, at the time it is, what is allowed then.
//
// The clock may move: a machine whose hardware clock keeps local time runs
// hours ahead until NTP sets it right. No pause set under the wrong time
// outlasts itself: every question is asked with the time it is, and first
// holds the pauses to it (keepToClock), while running and when the ledger
// is taken up at start.
//
// Every request that left is charged to the day, answered or not (the
// upstream counts one it got but answered too late): only one that never
// left (no route, DNS, refused, TLS refused) costs nothing, so that an
// outage of the network does not spend the day's budget. While the forecast fails
// in a row the air is not asked: its answer would go unused.
class WaveSchedule
{
public:
    // Weighted calls a UTC day, unless configured otherwise: half the free
    // API's allowance, over three times what one machine spends.
    static constexpr double DefaultDailyBudget = 5000;

    // What one wave asks of the upstream, and what that costs.
    struct Plan
    {
        double forecastWeight = 0;
        double airWeight = 0;
        bool askAir = false;
    };

    void setDailyBudget(double weightedCalls) { m_dailyBudget = weightedCalls; }
    double dailyBudget() const { return m_dailyBudget; }

    // Holds the back-offs and the limit to the clock as it is now (see
    // above); the other questions do it themselves.
    void keepToClock(const QDateTime &now);

    // When the next wave may start: now, or the end of the hour already
    // answered, of a back-off or of a limit.
    QDateTime nextWaveAt(const QDateTime &now);
    bool due(const QDateTime &now) { return nextWaveAt(now) <= now; }

    // What a wave for `cities` cities started now asks: the forecast, and
    // the air when there is an air-quality upstream, it is not left alone,
    // and the budget leaves room for it (the weather before the dust).
    // Nothing when the budget has no room for the forecast either: the
    // waves then stop until the next UTC day, said once.
    std::optional<Plan> plan(const QDateTime &now, int cities, bool airQualityUpstream);
    // The requests of a wave sent: counted against today's budget at once,
    // should the service end before they are answered.
    void waveStarted(const Plan &plan, const QDateTime &now);
    // A request of the wave sent at `sentAt` came back: one that never left
    // (FetchResult::sent) is not charged after all; one that timed out is.
    // Whether the count changed.
    bool requestEnded(UpstreamLedger::Api api, double weight, const QDateTime &sentAt, const FetchResult &result);

    // How a wave's forecast request ended: the upstream answered the hour,
    // or failed (a back-off, or a limit after a 429). Said in the journal.
    void forecastAnswered(const QDateTime &hour, const QDateTime &now);
    void forecastFailed(const FetchResult &result, const QDateTime &now);
    // How its air-quality request ended: answered, failed, or without an
    // answer in time (`result` null).
    void airAnswered(const QDateTime &now);
    void airFailed(const FetchResult *result, const QDateTime &now);

    // When asking again may help a city that has nothing to serve: the end
    // of the longest pause that keeps it waiting (the upstream's, the
    // city's own, a limit, the hour already answered); invalid when
    // nothing does.
    QDateTime retryAt(const QDateTime &now, const Backoff &city);

    const Backoff &backoff() const { return m_backoff; }
    const Backoff &airBackoff() const { return m_airBackoff; }
    const WaveLimit &limit() const { return m_limit; }
    QDateTime answeredHour() const { return m_answeredHour; }
    const UpstreamLedger &ledger() const { return m_ledger; }
    double weightedToday(const QDateTime &now) const { return m_ledger.weightedToday(now); }

    // The ledger file's part: today's calls, the back-offs and the limit
    // in force. takeUp restores what still holds at `now`.
    SourceFiles::Ledger toLedger() const;
    void takeUp(const SourceFiles::Ledger &ledger, const QDateTime &now);
    // The last hour answered, as the answers' file has it.
    void takeUpAnsweredHour(const QDateTime &hour, const QDateTime &now);

private:
    bool withinBudget(double weight, const QDateTime &now) const;
    void limitUntil(const QDateTime &until, const QString &reason, const QDateTime &now);

    Backoff m_backoff; // the forecast upstream as a whole
    Backoff m_airBackoff; // the air-quality upstream as a whole
    WaveLimit m_limit;
    QDateTime m_answeredHour; // the last hour whose wave the upstream answered
    UpstreamLedger m_ledger;
    double m_dailyBudget = DefaultDailyBudget;
};
