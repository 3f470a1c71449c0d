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

    bool active(const QDateTime &now) const { return until.isValid() && now < until; }
    void fail(const QDateTime &now, int retryAfterSeconds);
    void succeed() { *this = Backoff(); }
};

// Why no wave starts, and until when: the upstream's limit, or the day's
// budget spent.
struct WaveLimit
{
    QDateTime until;
    QString reason;

    bool active(const QDateTime &now) const { return until.isValid() && now < until; }
};

// When the live source may ask the upstream, and what a wave may cost, on
// the clock it is given: the back-offs of the forecast and air-quality
// upstreams, the limit in force, the hour last answered, and today's
// weighted calls against the daily budget. It holds no timer: whoever runs
// the waves asks it, at the time it is, what is allowed then.
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

    // When the next wave may start: now, or the end of the hour already
    // answered, of a back-off or of a limit.
    QDateTime nextWaveAt(const QDateTime &now) const;
    bool due(const QDateTime &now) const { return nextWaveAt(now) <= now; }

    // What a wave for `cities` cities started now asks: the forecast, and
    // the air when there is an air-quality upstream, it is not left alone,
    // and the budget leaves room for it (the weather before the dust).
    // Nothing when the budget has no room for the forecast either: the
    // waves then stop until the next UTC day, said once.
    std::optional<Plan> plan(const QDateTime &now, int cities, bool airQualityUpstream);
    // The requests of a wave sent: counted against today's budget.
    void waveStarted(const Plan &plan, const QDateTime &now);

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
    QDateTime retryAt(const QDateTime &now, const Backoff &city) const;

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
    void limitUntil(const QDateTime &until, const QString &reason);

    Backoff m_backoff; // the forecast upstream as a whole
    Backoff m_airBackoff; // the air-quality upstream as a whole
    WaveLimit m_limit;
    QDateTime m_answeredHour; // the last hour whose wave the upstream answered
    UpstreamLedger m_ledger;
    double m_dailyBudget = DefaultDailyBudget;
};
