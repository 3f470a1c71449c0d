#include "waveschedule.h"

#include "quarterseries.h"
#include "servicelog.h"

#include <algorithm>

namespace {

QString isoTime(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODate);
}

// When asking again can help after an exceeded limit: a daily (or monthly)
// limit resets with the UTC day, the others within the hour. A longer
// Retry-After is obeyed, up to a day.
QDateTime limitResetAt(const QDateTime &now, UpstreamLimit limit, int retryAfterSeconds)
{
    QDateTime reset = limit == UpstreamLimit::Daily || limit == UpstreamLimit::Monthly
        ? QDateTime(now.toUTC().date().addDays(1), QTime(0, 0), Qt::UTC)
        : hourStart(now).addSecs(60 * 60);
    if (retryAfterSeconds > 0)
        reset = std::max(reset, now.addSecs(std::min(retryAfterSeconds, 24 * 60 * 60)));
    return reset;
}

// A pause that ends `until`, set for `seconds` (0: not known), as it holds
// at `now`: void when it ends further ahead than `longestSeconds`, as only
// a clock that was ahead can have set it so; when it ends further ahead
// than it was set for, the clock went back since, and it ends that long
// from now. Whether it was changed.
bool keepPauseToClock(QDateTime &until, int seconds, int longestSeconds, const QDateTime &now)
{
    if (!until.isValid())
        return false;
    const qint64 ahead = now.secsTo(until);
    if (ahead > longestSeconds) {
        until = QDateTime();
        return true;
    }
    if (seconds > 0 && ahead > seconds) {
        until = now.addSecs(seconds);
        return true;
    }
    return false;
}

// Said when the clock moved under a pause: once for each pause, as the
// pause then holds to the new time.
void tellClockMoved(const char *what, const QDateTime &was, const QDateTime &now, const QDateTime &until)
{
    if (until.isValid())
        qCWarning(lcForecastd, "the clock went back to %s: %s, which was to end at %s, ends at %s",
                  qPrintable(isoTime(now)), what, qPrintable(isoTime(was)), qPrintable(isoTime(until)));
    else
        qCWarning(lcForecastd, "%s until %s was set by a clock that was ahead (it is %s now); it no longer holds", what,
                  qPrintable(isoTime(was)), qPrintable(isoTime(now)));
}

const char *limitName(UpstreamLimit limit)
{
    switch (limit) {
    case UpstreamLimit::Minutely:
        return "minutely";
    case UpstreamLimit::Hourly:
        return "hourly";
    case UpstreamLimit::Daily:
        return "daily";
    case UpstreamLimit::Monthly:
        return "monthly";
    case UpstreamLimit::None:
        break;
    }
    return "request";
}

} // namespace

void Backoff::fail(const QDateTime &now, int retryAfterSeconds)
{
    ++failures;
    qint64 delay = FirstSeconds;
    for (int i = 1; i < failures && delay < LongestSeconds; ++i)
        delay *= 2;
    delay = std::min<qint64>(delay, LongestSeconds);
    if (retryAfterSeconds > delay)
        delay = std::min(retryAfterSeconds, LongestRetryAfterSeconds);
    seconds = int(delay);
    until = now.addSecs(delay);
}

bool Backoff::keepToClock(const QDateTime &now, int longestSeconds)
{
    return keepPauseToClock(until, seconds, longestSeconds, now);
}

bool WaveLimit::keepToClock(const QDateTime &now)
{
    const bool changed = keepPauseToClock(until, seconds, LongestSeconds, now);
    if (changed && !until.isValid())
        *this = WaveLimit();
    return changed;
}

void WaveSchedule::keepToClock(const QDateTime &now)
{
    const Backoff backoff = m_backoff;
    if (m_backoff.keepToClock(now, Backoff::LongestRetryAfterSeconds))
        tellClockMoved("the upstream's back-off", backoff.until, now, m_backoff.until);
    // The air's pause may stand for its upstream's daily limit.
    const Backoff air = m_airBackoff;
    if (m_airBackoff.keepToClock(now, WaveLimit::LongestSeconds))
        tellClockMoved("the air-quality upstream's pause", air.until, now, m_airBackoff.until);
    const WaveLimit limit = m_limit;
    if (m_limit.keepToClock(now))
        tellClockMoved(qPrintable(QStringLiteral("the limit (%1)").arg(limit.reason)), limit.until, now, m_limit.until);
}

QDateTime WaveSchedule::nextWaveAt(const QDateTime &now)
{
    keepToClock(now);
    QDateTime next = m_answeredHour == hourStart(now) ? m_answeredHour.addSecs(60 * 60) : now;
    for (const QDateTime &until : {m_backoff.until, m_limit.until}) {
        if (until.isValid() && until > next)
            next = until;
    }
    return next;
}

QDateTime WaveSchedule::retryAt(const QDateTime &now, const Backoff &city)
{
    keepToClock(now);
    QDateTime retryAt;
    const QDateTime nextHour = hourStart(now).addSecs(60 * 60);
    for (const QDateTime &until :
         {m_backoff.until, city.until, m_limit.until, m_answeredHour == hourStart(now) ? nextHour : QDateTime()}) {
        if (until.isValid() && until > now && (!retryAt.isValid() || until > retryAt))
            retryAt = until;
    }
    return retryAt;
}

bool WaveSchedule::withinBudget(double weight, const QDateTime &now) const
{
    return m_ledger.weightedToday(now) + weight <= m_dailyBudget;
}

void WaveSchedule::limitUntil(const QDateTime &until, const QString &reason, const QDateTime &now)
{
    // Once: the waves stop until then, so nothing says it again.
    m_limit = {until, reason, int(now.secsTo(until))};
    qCWarning(lcForecastd, "%s; no waves until %s, serving what is at hand", qPrintable(reason),
              qPrintable(isoTime(until)));
}

std::optional<WaveSchedule::Plan> WaveSchedule::plan(const QDateTime &now, int cities, bool airQualityUpstream)
{
    keepToClock(now);
    Plan plan;
    plan.forecastWeight = OpenMeteoClient::weightOf(cities, OpenMeteoClient::forecastVariables());
    plan.airWeight = OpenMeteoClient::weightOf(cities, OpenMeteoClient::airQualityVariables());
    // While the forecast fails the air's answer would go unused, and an
    // outage would cost its weight at every wave.
    plan.askAir = airQualityUpstream && !m_airBackoff.active(now) && m_backoff.failures == 0;
    if (plan.askAir && !withinBudget(plan.forecastWeight + plan.airWeight, now))
        plan.askAir = false; // the weather before the dust
    if (!withinBudget(plan.forecastWeight, now)) {
        limitUntil(QDateTime(now.toUTC().date().addDays(1), QTime(0, 0), Qt::UTC),
                   QStringLiteral("today's budget of %1 weighted upstream calls is spent: %2 spent, and a wave needs "
                                  "%3 more")
                       .arg(m_dailyBudget)
                       .arg(m_ledger.weightedToday(now))
                       .arg(plan.forecastWeight),
                   now);
        return {};
    }
    return plan;
}

void WaveSchedule::waveStarted(const Plan &plan, const QDateTime &now)
{
    m_ledger.waveStarted();
    m_ledger.requestSent(UpstreamLedger::Api::Forecast, plan.forecastWeight, now);
    if (plan.askAir)
        m_ledger.requestSent(UpstreamLedger::Api::AirQuality, plan.airWeight, now);
}

bool WaveSchedule::requestEnded(UpstreamLedger::Api api, double weight, const QDateTime &sentAt,
                                const FetchResult &result)
{
    if (result.sent)
        return false;
    m_ledger.unanswered(api, weight, sentAt);
    return true;
}

void WaveSchedule::forecastAnswered(const QDateTime &hour, const QDateTime &now)
{
    m_backoff.succeed();
    m_limit = {};
    m_answeredHour = hour;
    m_ledger.succeeded(UpstreamLedger::Api::Forecast, now);
}

void WaveSchedule::forecastFailed(const FetchResult &result, const QDateTime &now)
{
    m_ledger.failed(result.failure);
    if (result.failure == UpstreamFailure::RateLimited) {
        limitUntil(limitResetAt(now, result.limit, result.retryAfterSeconds),
                   QStringLiteral("the upstream's %1 limit is reached (%2)")
                       .arg(QLatin1String(limitName(result.limit)), result.error),
                   now);
        return;
    }
    m_backoff.fail(now, result.retryAfterSeconds);
    qCWarning(lcForecastd, "upstream failed (%s); leaving it alone until %s", qPrintable(result.error),
              qPrintable(isoTime(m_backoff.until)));
}

void WaveSchedule::airAnswered(const QDateTime &now)
{
    m_airBackoff.succeed();
    m_ledger.succeeded(UpstreamLedger::Api::AirQuality, now);
}

void WaveSchedule::airFailed(const FetchResult *result, const QDateTime &now)
{
    const QString why = result ? result->error : QStringLiteral("no answer in time");
    if (result) {
        m_ledger.failed(result->failure);
        if (result->failure == UpstreamFailure::RateLimited) {
            m_airBackoff.until = limitResetAt(now, result->limit, result->retryAfterSeconds);
            m_airBackoff.seconds = int(now.secsTo(m_airBackoff.until));
            qCWarning(lcForecastd, "the air-quality upstream's %s limit is reached (%s); forecasts alone until %s",
                      limitName(result->limit), qPrintable(why), qPrintable(isoTime(m_airBackoff.until)));
            return;
        }
    }
    m_airBackoff.fail(now, result ? result->retryAfterSeconds : -1);
    qCWarning(lcForecastd, "air quality failed (%s); forecasts alone until %s", qPrintable(why),
              qPrintable(isoTime(m_airBackoff.until)));
}

SourceFiles::Ledger WaveSchedule::toLedger() const
{
    SourceFiles::Ledger ledger;
    ledger.upstream = m_ledger.toJson();
    ledger.forecast = {m_backoff.failures, m_backoff.until, m_backoff.seconds};
    ledger.airQuality = {m_airBackoff.failures, m_airBackoff.until, m_airBackoff.seconds};
    ledger.limitedUntil = m_limit.until;
    ledger.limitReason = m_limit.reason;
    ledger.limitSeconds = m_limit.seconds;
    return ledger;
}

void WaveSchedule::takeUp(const SourceFiles::Ledger &ledger, const QDateTime &now)
{
    m_ledger.fromJson(ledger.upstream, now);
    // What still holds: a limit that has not ended, and a pause with its
    // count of failures while the next failure would still lengthen it;
    // neither longer than it can, should it have been set by a clock that
    // was ahead.
    for (auto [kept, backoff] :
         {std::pair{&ledger.forecast, &m_backoff}, std::pair{&ledger.airQuality, &m_airBackoff}}) {
        if (kept->until.isValid() && now < kept->until.addSecs(Backoff::LongestSeconds))
            *backoff = {kept->failures, kept->until, kept->seconds};
    }
    if (ledger.limitedUntil.isValid() && ledger.limitedUntil > now)
        m_limit = {ledger.limitedUntil, ledger.limitReason, ledger.limitSeconds};
    keepToClock(now);
    if (m_limit.active(now))
        qCInfo(lcForecastd, "%s; no waves until %s, as before the restart", qPrintable(m_limit.reason),
               qPrintable(isoTime(m_limit.until)));
}

void WaveSchedule::takeUpAnsweredHour(const QDateTime &hour, const QDateTime &now)
{
    if (hour.isValid() && hour <= now)
        m_answeredHour = hour;
}
