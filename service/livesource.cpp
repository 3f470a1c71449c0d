#include "livesource.h"

#include "answersettling.h"
#include "locationtable.h"
#include "officialwarnings.h"
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

} // namespace

LiveForecastSource::LiveForecastSource(OpenMeteoClient *client, const LocationTable &locations, Clock clock,
                                       QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_clock(std::move(clock))
    , m_locations(locations.locations())
    , m_waiting([this](int city, Units units) { return served(city, units, now()); },
                [this] { return currentHealth(now()); })
{
    for (const Location &location : locations.locations()) {
        m_index.insert(location.id.toUpper(), int(m_cities.size()));
        m_cities.append(CityDocument(location));
    }
    m_renewTimer.setSingleShot(true);
    m_renewTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_renewTimer, &QTimer::timeout, this, &LiveForecastSource::renewIfDue);
    m_graceTimer.setSingleShot(true);
    connect(&m_graceTimer, &QTimer::timeout, this, &LiveForecastSource::finishWave);
}

LiveForecastSource::~LiveForecastSource() = default;

QDateTime LiveForecastSource::now()
{
    const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
    m_schedule.keepToClock(now);
    for (CityDocument &city : m_cities) {
        city.backoff.keepToClock(now, Backoff::LongestRetryAfterSeconds);
        city.airBackoff.keepToClock(now, Backoff::LongestRetryAfterSeconds);
    }
    return now;
}

QDateTime LiveForecastSource::cityBackoffUntil(const QString &locationId, bool airQuality) const
{
    const int index = m_index.value(locationId.toUpper(), -1);
    if (index < 0)
        return {};
    return airQuality ? m_cities.at(index).airBackoff.until : m_cities.at(index).backoff.until;
}

ServedDocument LiveForecastSource::served(int index, Units units, const QDateTime &now)
{
    CityDocument &city = m_cities[index];
    ServedDocument served = city.served(units, now, m_wave.has_value(),
                                        m_alerts ? m_alerts->forCity(city.location().id, now) : QList<OfficialAlert>());
    if (served.status == ServedDocument::Status::Ok)
        return served;
    // Nothing to serve: say when asking again may help.
    const QDateTime retryAt = m_schedule.retryAt(now, city.backoff);
    served.retryAfterSeconds = retryAt.isValid() ? int(std::max<qint64>(1, now.secsTo(retryAt))) : 0;
    return served;
}

void LiveForecastSource::document(const Location &location, Units units, Callback callback)
{
    const QDateTime now = this->now();
    m_lastAsked = now;
    if (m_alerts) {
        m_alerts->asked();
        if (m_alerts->firstLookPending()) {
            // The hour's wave goes out meanwhile, so that the two waits
            // overlap.
            if (!m_wave && m_schedule.due(now))
                startWave(false);
            const QPointer<LiveForecastSource> self(this);
            m_alerts->afterFirstLook([self, location = &location, units, callback = std::move(callback)] {
                if (self)
                    self->document(*location, units, callback);
            });
            return;
        }
    }
    const int index = m_index.value(location.id.toUpper(), -1);
    if (index < 0) {
        ServedDocument unknown;
        unknown.note = QStringLiteral("not a city of this service");
        callback(unknown);
        return;
    }
    ServedDocument atHand = served(index, units, now);
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
        m_waiting.wait(index, units, std::move(callback));
        scheduleRenewal();
        return;
    }
    // A city that failed waits for the next wave like the others; it never
    // makes one come sooner.
    if (m_schedule.due(now) && !m_cities.at(index).backoff.active(now)) {
        m_waiting.wait(index, units, std::move(callback));
        startWave(false);
        if (m_wave)
            return;
        // No wave after all (a budget was spent): answer with what there is.
        callback = m_waiting.takeLast(index);
        atHand = served(index, units, now);
        atHand.cacheHit = atHand.status == ServedDocument::Status::Ok;
    }
    scheduleRenewal();
    callback(atHand);
}

void LiveForecastSource::startWave(bool background)
{
    const QDateTime now = this->now();
    if (m_cities.isEmpty())
        return;
    const std::optional<WaveSchedule::Plan> plan = m_schedule.plan(now, int(m_locations.size()),
                                                                   m_client->airQualityEndpoint().isValid());
    if (!plan) {
        saveLedger();
        return;
    }

    Wave wave;
    wave.serial = ++m_serials;
    wave.background = background;
    wave.startedAt = now;
    wave.hour = hourStart(now);
    wave.askedAir = plan->askAir;
    wave.airPending = plan->askAir;
    ++m_wavesStarted;
    m_schedule.waveStarted(*plan, now);
    qCDebug(lcForecastd, "wave %llu for the hour from %s%s", static_cast<unsigned long long>(wave.serial),
            qPrintable(isoTime(wave.hour)), background ? ", renewing the cache" : "");
    const quint64 serial = wave.serial;
    m_wave = wave;
    const QPointer<LiveForecastSource> self(this);
    const double forecastWeight = plan->forecastWeight;
    m_client->fetch(m_locations, wave.hour, [self, serial, forecastWeight, now](const FetchResult &result) {
        if (!self)
            return;
        self->requestEnded(UpstreamLedger::Api::Forecast, forecastWeight, now, result);
        self->onForecast(serial, result);
    });
    if (plan->askAir) {
        const double airWeight = plan->airWeight;
        m_client->fetchAirQuality(m_locations, wave.hour, [self, serial, airWeight, now](const FetchResult &result) {
            if (!self)
                return;
            self->requestEnded(UpstreamLedger::Api::AirQuality, airWeight, now, result);
            self->onAirQuality(serial, result);
        });
    }
    saveLedger(); // counted before the answers, should the service end meanwhile
}

void LiveForecastSource::requestEnded(UpstreamLedger::Api api, double weight, const QDateTime &sentAt,
                                      const FetchResult &result)
{
    if (m_schedule.requestEnded(api, weight, sentAt, result))
        saveLedger();
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
    for (int k = 0; k < m_cities.size(); ++k)
        handBack(k, now, deliveries);

    scheduleRenewal();
    // Answers last: a callback may ask again, and start the next wave.
    for (const Delivery &delivery : deliveries)
        delivery.callback(delivery.served);
    answerHealthChecks();
    if (!m_wave)
        startWaveForWaiters();
}

// Whether the air-quality request as a whole counts; its cities' elements are
// settled with the forecasts'.
void LiveForecastSource::settleAirQuality(const Wave &wave, const QDateTime &now)
{
    // A wave whose forecast failed goes on without waiting for the air:
    // nothing is known of an air answer that had not come by then.
    if (!wave.askedAir || (!wave.forecast->ok && !wave.air))
        return;
    if (wave.air && wave.air->ok)
        m_schedule.airAnswered(now);
    else
        m_schedule.airFailed(wave.air ? &*wave.air : nullptr, now);
}

void LiveForecastSource::settleForecast(const Wave &wave, const QDateTime &now)
{
    const FetchResult &forecast = *wave.forecast;
    const WaveAnswers answers{wave.hour, wave.startedAt, forecast.ok ? &forecast : nullptr,
                              wave.air && wave.air->ok ? &*wave.air : nullptr};
    if (!forecast.ok) {
        m_lastFailure = maskSecrets(forecast.error); // health tells it
        m_schedule.forecastFailed(forecast, now);
        settleCities(m_cities, answers, now); // the air, should it have come
        return;
    }

    // The upstream answered the hour: its cities wait for the next one,
    // whatever their elements held.
    m_schedule.forecastAnswered(wave.hour, now);
    const bool stored = settleCities(m_cities, answers, now) > 0;
    m_lastFailure = stored ? QString() : QStringLiteral("the upstream's answer holds no usable forecast");
}

void LiveForecastSource::handBack(int index, const QDateTime &now, QList<Delivery> &deliveries)
{
    for (const WaitingRequests::Waiter &waiter : m_waiting.take(index))
        deliveries.append({waiter.callback, served(index, waiter.units, now)});
}

void LiveForecastSource::startWaveForWaiters()
{
    const QDateTime now = this->now();
    if (m_schedule.due(now)) {
        for (int k = 0; k < m_cities.size(); ++k) {
            if (m_waiting.isWaiting(k) && !m_cities.at(k).backoff.active(now)) {
                startWave(false);
                if (m_wave)
                    return;
                break;
            }
        }
    }
    QList<Delivery> deliveries;
    for (int k = 0; k < m_cities.size(); ++k)
        handBack(k, now, deliveries);
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
    const qint64 delay = std::clamp<qint64>(now.msecsTo(m_schedule.nextWaveAt(now)), ShortestRenewalDelayMs,
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
    if (m_schedule.due(now))
        startWave(true);
    scheduleRenewal();
}

ServiceHealth LiveForecastSource::currentHealth(const QDateTime &now) const
{
    int servable = 0;
    int fresh = 0;
    bool allLeftOut = true;
    for (const CityDocument &city : m_cities) {
        servable += city.hasServable(now) ? 1 : 0;
        fresh += city.latestQuarter(now) == quarterStart(now) ? 1 : 0;
        allLeftOut = allLeftOut && city.backoff.active(now);
    }
    const WaveLimit &limit = m_schedule.limit();
    ServiceHealth health;
    if (servable > 0) {
        health.reason =
            QStringLiteral("%1 of %2 cities served, %3 fresh").arg(servable).arg(m_cities.size()).arg(fresh);
    } else if (limit.active(now)) {
        health.ok = false;
        health.reason = QStringLiteral("no forecast is left to serve");
    } else if (m_schedule.backoff().failures > 0) {
        health.ok = false;
        health.reason =
            QStringLiteral("the upstream cannot be reached (%1) and no forecast is left to serve").arg(m_lastFailure);
    } else if (allLeftOut && !m_cities.isEmpty()) {
        health.ok = false;
        health.reason = QStringLiteral("the upstream has no usable forecast for any city");
    } else {
        health.reason = QStringLiteral("no forecast yet; asking the upstream");
    }
    if (limit.active(now))
        health.reason += QStringLiteral("; no waves until %1: %2").arg(isoTime(limit.until), limit.reason);
    // Documents are served all the same; what is lost is what a restart
    // would take up.
    if (!m_files.ledgerWrites().failing.isEmpty())
        health.reason += QStringLiteral("; the ledger cannot be kept (%1)").arg(m_files.ledgerWrites().failing);
    if (!m_files.answersWrites().failing.isEmpty())
        health.reason += QStringLiteral("; the answers cannot be kept (%1)").arg(m_files.answersWrites().failing);
    return health;
}

void LiveForecastSource::health(HealthCallback callback)
{
    const QDateTime now = this->now();
    m_lastAsked = now;
    bool anyServable = false;
    for (const CityDocument &city : std::as_const(m_cities))
        anyServable = anyServable || city.hasServable(now);
    if (!anyServable && !m_wave && m_schedule.due(now))
        startWave(false);
    if (anyServable || !m_wave) {
        scheduleRenewal();
        callback(currentHealth(now));
        return;
    }
    m_waiting.waitForHealth(HealthWaitMs, std::move(callback));
}

void LiveForecastSource::answerHealthChecks()
{
    const QDateTime now = this->now();
    for (const HealthCallback &check : m_waiting.takeHealthChecks())
        check(currentHealth(now));
}

QByteArray LiveForecastSource::metrics()
{
    const QDateTime now = this->now();
    return m_schedule.ledger().metrics(now, m_schedule.dailyBudget())
        + (m_alerts ? m_alerts->metrics(now) : QByteArray())
        + "# HELP forecastd_ledger_unreadable 1 when the ledger file (today's calls, limits, back-offs) could not be "
          "read at start, so that they count from then.\n# TYPE forecastd_ledger_unreadable gauge\n"
          "forecastd_ledger_unreadable "
        + QByteArray(m_ledgerUnreadable ? "1" : "0")
        + "\n# HELP forecastd_file_write_failures_total Writes of the ledger and of the answers that failed (a full "
          "disk, a folder the service cannot write): what they held would not outlive a restart.\n"
          "# TYPE forecastd_file_write_failures_total counter\n"
          "forecastd_file_write_failures_total{file=\"ledger\"} "
        + QByteArray::number(m_files.ledgerWrites().failures)
        + "\nforecastd_file_write_failures_total{file=\"answers\"} "
        + QByteArray::number(m_files.answersWrites().failures) + '\n';
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
    for (CityDocument &city : m_cities) {
        const SourceFiles::City kept = answers.cities.value(city.location().id);
        CityDocument candidate(city.location());
        candidate.keep({kept.forecast, kept.airQuality, kept.fetched});
        if (!candidate.hasServable(now)) {
            city.keep({});
            continue;
        }
        city.keep(candidate.answers());
        ++taken;
    }
    m_schedule.takeUpAnsweredHour(answers.answeredHour, now);
    if (taken > 0)
        qCDebug(lcForecastd, "%d cities' answers taken up from %s", taken, qPrintable(m_files.answersPath()));

    SourceFiles::Ledger ledger;
    const SourceFiles::LedgerState state = m_files.readLedger(&ledger);
    m_ledgerUnreadable = state == SourceFiles::LedgerState::Unreadable;
    if (state != SourceFiles::LedgerState::Read)
        return;
    m_schedule.takeUp(ledger, now);
}

void LiveForecastSource::saveAnswers()
{
    if (!m_files.isEnabled())
        return;
    SourceFiles::Answers answers;
    for (const CityDocument &city : m_cities) {
        const KeptAnswers &kept = city.answers();
        if (!kept.forecast.isEmpty())
            answers.cities.insert(city.location().id, {kept.fetchedAt, kept.forecast, kept.airQuality});
    }
    answers.answeredHour = m_schedule.answeredHour();
    m_files.writeAnswers(answers);
}

void LiveForecastSource::saveLedger()
{
    if (!m_files.isEnabled())
        return;
    m_files.writeLedger(m_schedule.toLedger());
}
