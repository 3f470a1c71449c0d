#include "livesource.h"

#include "feeddocument.h"
#include "locationtable.h"
#include "openmeteoclient.h"
#include "quarterseries.h"
#include "servicelog.h"

#include <QPointer>

#include <algorithm>

namespace {

// The renewal timer never fires sooner than this after it was set, so that
// a clock that stands still cannot make it spin.
constexpr int ShortestRenewalDelayMs = 1000;
constexpr qint64 LongestRenewalDelayMs = 24 * 60 * 60 * 1000LL;

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

void LiveForecastSource::Backoff::fail(const QDateTime &now, int retryAfterSeconds)
{
    ++failures;
    qint64 delay = FirstBackoffSeconds;
    for (int i = 1; i < failures && delay < LongestBackoffSeconds; ++i)
        delay *= 2;
    delay = std::min<qint64>(delay, LongestBackoffSeconds);
    if (retryAfterSeconds > delay)
        delay = std::min(retryAfterSeconds, LongestRetryAfterSeconds);
    until = now.addSecs(delay);
}

LiveForecastSource::LiveForecastSource(OpenMeteoClient *client, const LocationTable &locations, Clock clock,
                                       QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_clock(std::move(clock))
    , m_locations(locations.locations())
{
    for (const Location &location : locations.locations()) {
        m_index.insert(location.id.toUpper(), int(m_cities.size()));
        City city;
        city.location = &location;
        m_cities.append(city);
    }
    m_renewTimer.setSingleShot(true);
    m_renewTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_renewTimer, &QTimer::timeout, this, &LiveForecastSource::renewIfDue);
    m_graceTimer.setSingleShot(true);
    connect(&m_graceTimer, &QTimer::timeout, this, &LiveForecastSource::finishWave);
}

LiveForecastSource::~LiveForecastSource() = default;

QDateTime LiveForecastSource::now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
}

QDateTime LiveForecastSource::cityBackoffUntil(const QString &locationId, bool airQuality) const
{
    const int index = m_index.value(locationId.toUpper(), -1);
    if (index < 0)
        return {};
    return airQuality ? m_cities.at(index).airBackoff.until : m_cities.at(index).backoff.until;
}

std::optional<QDateTime> LiveForecastSource::latestQuarter(const City &city, const QDateTime &now) const
{
    if (city.forecast.isEmpty())
        return {};
    return ::latestQuarter(city.forecast, quarterStart(now));
}

bool LiveForecastSource::hasServable(const City &city, const QDateTime &now) const
{
    const auto quarter = latestQuarter(city, now);
    return quarter && quarter->secsTo(now) <= StaleLimitSeconds;
}

ServedDocument LiveForecastSource::served(City &city, Units units, const QDateTime &now)
{
    ServedDocument served;
    const auto quarter = latestQuarter(city, now);
    if (quarter && quarter->secsTo(now) <= StaleLimitSeconds) {
        if (city.documentQuarter != *quarter) {
            const QJsonObject forecast = forecastAtQuarter(city.forecast, *quarter);
            const QJsonObject air = airQualityAtQuarter(city.airQuality, *quarter);
            const QList<CityWarning> warnings = cityWarnings(city.forecast, city.airQuality, *quarter);
            city.metric = writeForecastDocument(forecast, *city.location, Units::Metric, air, warnings);
            city.imperial = writeForecastDocument(forecast, *city.location, Units::Imperial, air, warnings);
            city.documentQuarter = *quarter;
            city.documentMadeAt = now;
        }
        served.status = ServedDocument::Status::Ok;
        served.body = units == Units::Metric ? city.metric : city.imperial;
        served.stale = *quarter != quarterStart(now);
        served.note = served.stale ? QStringLiteral("stale") : QStringLiteral("fresh");
        served.lastModified = city.documentMadeAt;
        // A stale document, or one a wave under way may replace any moment,
        // is not to be kept by a cache: no-cache.
        served.maxAgeSeconds = served.stale || m_wave
            ? -1
            : int(std::max<qint64>(0, now.secsTo(quarterStart(now).addSecs(QuarterSeconds))));
        return served;
    }

    // Nothing to serve: say when asking again may help.
    served.status = ServedDocument::Status::Unavailable;
    QDateTime retryAt;
    const QDateTime nextHour = hourStart(now).addSecs(60 * 60);
    for (const QDateTime &until : {m_backoff.until, city.backoff.until, m_limit.until,
                                   m_answeredHour == hourStart(now) ? nextHour : QDateTime()}) {
        if (until.isValid() && until > now && (!retryAt.isValid() || until > retryAt))
            retryAt = until;
    }
    served.retryAfterSeconds = retryAt.isValid() ? int(std::max<qint64>(1, now.secsTo(retryAt))) : 0;
    served.note = QStringLiteral("unavailable");
    return served;
}

QDateTime LiveForecastSource::nextWaveAt(const QDateTime &now) const
{
    QDateTime next = m_answeredHour == hourStart(now) ? m_answeredHour.addSecs(60 * 60) : now;
    for (const QDateTime &until : {m_backoff.until, m_limit.until}) {
        if (until.isValid() && until > next)
            next = until;
    }
    return next;
}

void LiveForecastSource::document(const Location &location, Units units, Callback callback)
{
    const QDateTime now = this->now();
    m_lastAsked = now;
    const int index = m_index.value(location.id.toUpper(), -1);
    if (index < 0) {
        ServedDocument unknown;
        unknown.note = QStringLiteral("not a city of this service");
        callback(unknown);
        return;
    }
    City &city = m_cities[index];
    ServedDocument atHand = served(city, units, now);
    atHand.cacheHit = atHand.status == ServedDocument::Status::Ok;
    if (atHand.status == ServedDocument::Status::Ok && !atHand.stale) {
        if (!m_renewTimer.isActive())
            scheduleRenewal();
        callback(atHand);
        return;
    }
    if (m_wave) {
        // The documents of the hour before stand in while the hour's own
        // wave is under way: the board does not wait on the upstream.
        if (m_wave->background && atHand.status == ServedDocument::Status::Ok) {
            atHand.note = QStringLiteral("stale, being renewed");
            callback(atHand);
            return;
        }
        wait(index, units, std::move(callback));
        scheduleRenewal();
        return;
    }
    // A city that failed waits for the next wave like the others; it never
    // makes one come sooner.
    if (nextWaveAt(now) <= now && !city.backoff.active(now)) {
        wait(index, units, std::move(callback));
        startWave(false);
        if (m_wave)
            return;
        // No wave after all (a budget was spent): answer with what there is.
        callback = city.waiters.takeLast().callback;
        atHand = served(city, units, now);
        atHand.cacheHit = atHand.status == ServedDocument::Status::Ok;
    }
    scheduleRenewal();
    callback(atHand);
}

void LiveForecastSource::wait(int index, Units units, Callback callback)
{
    const quint64 id = ++m_waiterIds;
    m_cities[index].waiters.append({id, units, std::move(callback)});
    QTimer::singleShot(m_answerWithinMs, this, [this, index, id] { expire(index, id); });
}

void LiveForecastSource::expire(int index, quint64 waiterId)
{
    City &city = m_cities[index];
    for (qsizetype i = 0; i < city.waiters.size(); ++i) {
        if (city.waiters.at(i).id != waiterId)
            continue;
        const Waiter waiter = city.waiters.takeAt(i);
        ServedDocument answer = served(city, waiter.units, now());
        if (answer.status == ServedDocument::Status::Unavailable && answer.retryAfterSeconds == 0)
            answer.retryAfterSeconds = 10;
        answer.note += QStringLiteral(" (the upstream is slow)");
        waiter.callback(answer);
        return;
    }
}

bool LiveForecastSource::withinBudget(double weight, const QDateTime &now)
{
    return m_ledger.weightedToday(now) + weight <= m_dailyBudget;
}

void LiveForecastSource::limitUntil(const QDateTime &until, const QString &reason)
{
    // Once: the waves stop until then, so nothing says it again.
    m_limit = {until, reason};
    qCWarning(lcForecastd, "%s; no waves until %s, serving what is at hand", qPrintable(reason),
              qPrintable(isoTime(until)));
}

void LiveForecastSource::startWave(bool background)
{
    const QDateTime now = this->now();
    if (m_cities.isEmpty())
        return;
    const int cities = int(m_locations.size());
    const double forecastWeight = OpenMeteoClient::weightOf(cities, OpenMeteoClient::forecastVariables());
    const double airWeight = OpenMeteoClient::weightOf(cities, OpenMeteoClient::airQualityVariables());
    bool askAir = m_client->airQualityEndpoint().isValid() && !m_airBackoff.active(now);
    if (askAir && !withinBudget(forecastWeight + airWeight, now))
        askAir = false; // the weather before the dust
    if (!withinBudget(forecastWeight, now)) {
        limitUntil(QDateTime(now.toUTC().date().addDays(1), QTime(0, 0), Qt::UTC),
                   QStringLiteral("today's budget of %1 weighted upstream calls is spent: %2 spent, and a wave needs "
                                  "%3 more")
                       .arg(m_dailyBudget)
                       .arg(m_ledger.weightedToday(now))
                       .arg(forecastWeight));
        saveLedger();
        return;
    }

    Wave wave;
    wave.serial = ++m_serials;
    wave.background = background;
    wave.startedAt = now;
    wave.hour = hourStart(now);
    wave.askedAir = askAir;
    wave.airPending = askAir;
    ++m_wavesStarted;
    m_ledger.waveStarted();
    qCDebug(lcForecastd, "wave %llu for the hour from %s%s", static_cast<unsigned long long>(wave.serial),
            qPrintable(isoTime(wave.hour)), background ? ", renewing the cache" : "");
    const quint64 serial = wave.serial;
    m_wave = wave;
    const QPointer<LiveForecastSource> self(this);
    m_ledger.requestSent(UpstreamLedger::Api::Forecast, forecastWeight, now);
    m_client->fetch(m_locations, wave.hour, [self, serial](const FetchResult &result) {
        if (self)
            self->onForecast(serial, result);
    });
    if (askAir) {
        m_ledger.requestSent(UpstreamLedger::Api::AirQuality, airWeight, now);
        m_client->fetchAirQuality(m_locations, wave.hour, [self, serial](const FetchResult &result) {
            if (self)
                self->onAirQuality(serial, result);
        });
    }
    saveLedger(); // counted before the answers, should the service end meanwhile
}

void LiveForecastSource::onForecast(quint64 serial, const FetchResult &result)
{
    if (!m_wave || m_wave->serial != serial)
        return;
    m_wave->forecast = result;
    if (result.ok && m_wave->airPending)
        m_graceTimer.start(m_airQualityGraceMs);
    else
        finishWave();
}

void LiveForecastSource::onAirQuality(quint64 serial, const FetchResult &result)
{
    if (!m_wave || m_wave->serial != serial)
        return; // too late: its wave went on without it
    m_wave->air = result;
    m_wave->airPending = false;
    if (m_wave->forecast)
        finishWave();
}

void LiveForecastSource::finishWave()
{
    if (!m_wave || !m_wave->forecast)
        return;
    m_graceTimer.stop();
    const Wave wave = std::move(*m_wave);
    m_wave.reset();
    const QDateTime now = this->now();

    settleAirQuality(wave, now);
    settleForecast(wave, now);
    saveLedger();
    saveAnswers();
    QList<Delivery> deliveries;
    for (City &city : m_cities)
        handBack(city, now, deliveries);

    scheduleRenewal();
    // Answers last: a callback may ask again, and start the next wave.
    for (const Delivery &delivery : deliveries)
        delivery.callback(delivery.served);
    answerHealthChecks();
    if (!m_wave)
        startWaveForWaiters();
}

// Whether the air-quality request as a whole counts; its cities' elements are
// taken with the forecasts.
void LiveForecastSource::settleAirQuality(const Wave &wave, const QDateTime &now)
{
    if (!wave.askedAir || !wave.forecast->ok)
        return;
    if (wave.air && wave.air->ok) {
        m_airBackoff.succeed();
        m_ledger.succeeded(UpstreamLedger::Api::AirQuality, now);
        return;
    }
    const QString why = wave.air ? wave.air->error : QStringLiteral("no answer in time");
    if (wave.air) {
        m_ledger.failed(wave.air->failure);
        if (wave.air->failure == UpstreamFailure::RateLimited) {
            m_airBackoff.until = limitResetAt(now, wave.air->limit, wave.air->retryAfterSeconds);
            qCWarning(lcForecastd, "the air-quality upstream's %s limit is reached (%s); forecasts alone until %s",
                      limitName(wave.air->limit), qPrintable(why), qPrintable(isoTime(m_airBackoff.until)));
            return;
        }
    }
    m_airBackoff.fail(now, wave.air ? wave.air->retryAfterSeconds : -1);
    qCWarning(lcForecastd, "air quality failed (%s); forecasts alone until %s", qPrintable(why),
              qPrintable(isoTime(m_airBackoff.until)));
}

void LiveForecastSource::settleForecast(const Wave &wave, const QDateTime &now)
{
    const FetchResult &forecast = *wave.forecast;
    if (!forecast.ok) {
        m_ledger.failed(forecast.failure);
        m_lastFailure = maskSecrets(forecast.error); // health tells it
        if (forecast.failure == UpstreamFailure::RateLimited) {
            limitUntil(limitResetAt(now, forecast.limit, forecast.retryAfterSeconds),
                       QStringLiteral("the upstream's %1 limit is reached (%2)")
                           .arg(QLatin1String(limitName(forecast.limit)), forecast.error));
            return;
        }
        m_backoff.fail(now, forecast.retryAfterSeconds);
        qCWarning(lcForecastd, "upstream failed (%s); leaving it alone until %s", qPrintable(forecast.error),
                  qPrintable(isoTime(m_backoff.until)));
        return;
    }

    // The upstream answered the hour: its cities wait for the next one,
    // whatever their elements held.
    m_backoff.succeed();
    m_limit = {};
    m_answeredHour = wave.hour;
    m_ledger.succeeded(UpstreamLedger::Api::Forecast, now);
    const bool airOk = wave.air && wave.air->ok;
    // The last quarter the wave was asked for: an element that holds none
    // up to it cannot be served.
    const QDateTime lastQuarter = wave.hour.addSecs(3 * QuarterSeconds);
    bool stored = false;
    for (qsizetype k = 0; k < m_cities.size(); ++k) {
        City &city = m_cities[k];
        const QJsonObject answer = forecast.answers.value(k);
        const QJsonObject air = airOk ? wave.air->answers.value(k) : QJsonObject();
        if (airOk) {
            if (air.isEmpty()) {
                city.airBackoff.fail(now, -1);
                qCWarning(lcForecastd, "%s: no air quality (%s)", qPrintable(city.location->id),
                          qPrintable(wave.air->problems.value(k)));
            } else {
                city.airBackoff.succeed();
            }
        }
        if (answer.isEmpty() || !::latestQuarter(answer, lastQuarter)) {
            city.backoff.fail(now, -1);
            const QString why = answer.isEmpty() ? forecast.problems.value(k)
                                                 : QStringLiteral("no quarter of the hour asked for");
            // Said once when the city begins to fail; every hour after that
            // would only repeat it.
            if (city.backoff.failures == 1)
                qCWarning(lcForecastd, "%s: no forecast in the answer (%s); the next wave asks again",
                          qPrintable(city.location->id), qPrintable(why));
            else
                qCDebug(lcForecastd, "%s: still no forecast (%s)", qPrintable(city.location->id), qPrintable(why));
            continue;
        }
        city.backoff.succeed();
        city.forecast = answer;
        city.airQuality = air;
        city.fetchedAt = wave.startedAt;
        city.documentQuarter = QDateTime();
        stored = true;
    }
    m_lastFailure = stored ? QString() : QStringLiteral("the upstream's answer holds no usable forecast");
}

void LiveForecastSource::handBack(City &city, const QDateTime &now, QList<Delivery> &deliveries)
{
    for (const Waiter &waiter : std::exchange(city.waiters, {}))
        deliveries.append({waiter.callback, served(city, waiter.units, now)});
}

void LiveForecastSource::startWaveForWaiters()
{
    const QDateTime now = this->now();
    if (nextWaveAt(now) <= now) {
        for (const City &city : std::as_const(m_cities)) {
            if (!city.waiters.isEmpty() && !city.backoff.active(now)) {
                startWave(false);
                if (m_wave)
                    return;
                break;
            }
        }
    }
    QList<Delivery> deliveries;
    for (City &city : m_cities)
        handBack(city, now, deliveries);
    for (const Delivery &delivery : deliveries)
        delivery.callback(delivery.served);
}

void LiveForecastSource::scheduleRenewal()
{
    const QDateTime now = this->now();
    if (m_wave || !m_lastAsked.isValid() || m_lastAsked.secsTo(now) > AskingSeconds) {
        m_renewTimer.stop();
        return;
    }
    const qint64 delay = std::clamp<qint64>(now.msecsTo(nextWaveAt(now)), ShortestRenewalDelayMs,
                                            LongestRenewalDelayMs);
    m_renewTimer.start(int(delay));
}

void LiveForecastSource::renewIfDue()
{
    if (m_wave)
        return; // its end schedules the next check
    const QDateTime now = this->now();
    if (!m_lastAsked.isValid() || m_lastAsked.secsTo(now) > AskingSeconds)
        return; // nobody asks: the upstream is left alone until somebody does
    if (nextWaveAt(now) <= now)
        startWave(true);
    scheduleRenewal();
}

ServiceHealth LiveForecastSource::currentHealth(const QDateTime &now) const
{
    int servable = 0;
    int fresh = 0;
    bool allLeftOut = true;
    for (const City &city : m_cities) {
        servable += hasServable(city, now) ? 1 : 0;
        fresh += latestQuarter(city, now) == quarterStart(now) ? 1 : 0;
        allLeftOut = allLeftOut && city.backoff.active(now);
    }
    ServiceHealth health;
    if (servable > 0) {
        health.reason =
            QStringLiteral("%1 of %2 cities served, %3 fresh").arg(servable).arg(m_cities.size()).arg(fresh);
    } else if (m_limit.active(now)) {
        health.ok = false;
        health.reason = QStringLiteral("no forecast is left to serve");
    } else if (m_backoff.failures > 0) {
        health.ok = false;
        health.reason =
            QStringLiteral("the upstream cannot be reached (%1) and no forecast is left to serve").arg(m_lastFailure);
    } else if (allLeftOut && !m_cities.isEmpty()) {
        health.ok = false;
        health.reason = QStringLiteral("the upstream has no usable forecast for any city");
    } else {
        health.reason = QStringLiteral("no forecast yet; asking the upstream");
    }
    if (m_limit.active(now))
        health.reason += QStringLiteral("; no waves until %1: %2").arg(isoTime(m_limit.until), m_limit.reason);
    return health;
}

void LiveForecastSource::health(HealthCallback callback)
{
    const QDateTime now = this->now();
    m_lastAsked = now;
    bool anyServable = false;
    for (const City &city : std::as_const(m_cities))
        anyServable = anyServable || hasServable(city, now);
    if (!anyServable && !m_wave && nextWaveAt(now) <= now)
        startWave(false);
    if (anyServable || !m_wave) {
        scheduleRenewal();
        callback(currentHealth(now));
        return;
    }
    const quint64 id = ++m_healthCheckIds;
    m_healthChecks.append({id, std::move(callback)});
    QTimer::singleShot(HealthWaitMs, this, [this, id] {
        for (qsizetype i = 0; i < m_healthChecks.size(); ++i) {
            if (m_healthChecks.at(i).first == id) {
                const HealthCallback callback = m_healthChecks.takeAt(i).second;
                callback(currentHealth(this->now()));
                return;
            }
        }
    });
}

void LiveForecastSource::answerHealthChecks()
{
    const QDateTime now = this->now();
    for (const auto &check : std::exchange(m_healthChecks, {}))
        check.second(currentHealth(now));
}

QByteArray LiveForecastSource::metrics()
{
    return m_ledger.metrics(now(), m_dailyBudget)
        + "# HELP forecastd_ledger_unreadable 1 when the ledger file (today's calls, limits, back-offs) could not be "
          "read at start, so that they count from then.\n# TYPE forecastd_ledger_unreadable gauge\n"
          "forecastd_ledger_unreadable "
        + QByteArray(m_ledgerUnreadable ? "1" : "0") + '\n';
}

void LiveForecastSource::setCacheDirectory(const QString &directory)
{
    m_files.setDirectory(directory);
    if (m_files.isEnabled())
        takeUpFiles();
}

void LiveForecastSource::takeUpFiles()
{
    const QDateTime now = this->now();
    const SourceFiles::Answers answers = m_files.readAnswers();
    int taken = 0;
    for (City &city : m_cities) {
        const SourceFiles::City kept = answers.cities.value(city.location->id);
        city.forecast = kept.forecast;
        if (!hasServable(city, now)) {
            city.forecast = QJsonObject();
            continue;
        }
        city.airQuality = kept.airQuality;
        city.fetchedAt = kept.fetched;
        ++taken;
    }
    if (answers.answeredHour.isValid() && answers.answeredHour <= now)
        m_answeredHour = answers.answeredHour;
    if (taken > 0)
        qCDebug(lcForecastd, "%d cities' answers taken up from %s", taken, qPrintable(m_files.answersPath()));

    SourceFiles::Ledger ledger;
    const SourceFiles::LedgerState state = m_files.readLedger(&ledger);
    m_ledgerUnreadable = state == SourceFiles::LedgerState::Unreadable;
    if (state != SourceFiles::LedgerState::Read)
        return;
    m_ledger.fromJson(ledger.upstream, now);
    // What still holds: a limit that has not ended, and a pause with its
    // count of failures while the next failure would still lengthen it.
    for (auto [kept, backoff] :
         {std::pair{&ledger.forecast, &m_backoff}, std::pair{&ledger.airQuality, &m_airBackoff}}) {
        if (kept->until.isValid() && now < kept->until.addSecs(LongestBackoffSeconds))
            *backoff = {kept->failures, kept->until};
    }
    if (ledger.limitedUntil.isValid() && ledger.limitedUntil > now) {
        m_limit = {ledger.limitedUntil, ledger.limitReason};
        qCInfo(lcForecastd, "%s; no waves until %s, as before the restart", qPrintable(m_limit.reason),
               qPrintable(isoTime(m_limit.until)));
    }
}

void LiveForecastSource::saveAnswers() const
{
    if (!m_files.isEnabled())
        return;
    SourceFiles::Answers answers;
    for (const City &city : m_cities) {
        if (!city.forecast.isEmpty())
            answers.cities.insert(city.location->id, {city.fetchedAt, city.forecast, city.airQuality});
    }
    answers.answeredHour = m_answeredHour;
    m_files.writeAnswers(answers);
}

void LiveForecastSource::saveLedger() const
{
    if (!m_files.isEnabled())
        return;
    SourceFiles::Ledger ledger;
    ledger.upstream = m_ledger.toJson();
    ledger.forecast = {m_backoff.failures, m_backoff.until};
    ledger.airQuality = {m_airBackoff.failures, m_airBackoff.until};
    ledger.limitedUntil = m_limit.until;
    ledger.limitReason = m_limit.reason;
    m_files.writeLedger(ledger);
}
