#include "livesource.h"

#include "locationtable.h"
#include "openmeteoclient.h"
#include "servicelog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QPointer>
#include <QSaveFile>

#include <algorithm>

namespace {

// A cache file larger than this is not read: 24 cities' answers take some
// 60 KiB.
constexpr qint64 MaximumCacheBytes = 4 * 1024 * 1024;

// The first renewal check never comes sooner than this after a wave, so a
// clock that stands still cannot make the timer spin.
constexpr int ShortestRenewalDelayMs = 1000;

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

bool LiveForecastSource::isFresh(const City &city, const QDateTime &now) const
{
    if (city.metric.isEmpty())
        return false;
    const qint64 age = city.fetchedAt.secsTo(now);
    return age >= 0 && age < FreshSeconds;
}

bool LiveForecastSource::hasServable(const City &city, const QDateTime &now) const
{
    return isFresh(city, now)
        || (!city.metric.isEmpty() && city.observedAt && city.observedAt->secsTo(now) <= StaleLimitSeconds);
}


ServedDocument LiveForecastSource::fromCache(const City &city, Units units, const QString &note) const
{
    ServedDocument served;
    served.status = ServedDocument::Status::Ok;
    served.body = units == Units::Metric ? city.metric : city.imperial;
    served.note = note;
    return served;
}

ServedDocument LiveForecastSource::cachedOrUnavailable(const City &city, Units units, const QDateTime &now) const
{
    if (isFresh(city, now))
        return fromCache(city, units, QStringLiteral("cached"));
    if (hasServable(city, now))
        return fromCache(city, units, QStringLiteral("stale"));
    ServedDocument served;
    served.status = ServedDocument::Status::Unavailable;
    QDateTime retryAt;
    for (const QDateTime &until : {m_backoff.until, city.backoff.until}) {
        if (until.isValid() && until > now && (!retryAt.isValid() || until > retryAt))
            retryAt = until;
    }
    served.retryAfterSeconds = retryAt.isValid() ? std::max<qint64>(1, now.secsTo(retryAt)) : 0;
    served.note = QStringLiteral("unavailable");
    return served;
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
    const City &city = m_cities.at(index);
    if (isFresh(city, now)) {
        callback(fromCache(city, units, QStringLiteral("cached")));
        return;
    }
    if (m_wave && m_wave->cities.contains(index)) {
        // A document that was fresh when its renewal began stands in until
        // the renewal is in: the board does not wait on the upstream.
        if (m_wave->background && !city.metric.isEmpty()
            && city.fetchedAt.secsTo(m_wave->startedAt) <= FreshSeconds + 60) {
            callback(fromCache(city, units, QStringLiteral("cached, being renewed")));
            return;
        }
        wait(index, units, std::move(callback));
        return;
    }
    if (m_backoff.active(now) || city.backoff.active(now)) {
        callback(cachedOrUnavailable(city, units, now));
        return;
    }
    wait(index, units, std::move(callback));
    if (!m_wave)
        startWave(false);
    // Else the next wave, when this one ends, takes the city.
}

void LiveForecastSource::wait(int index, Units units, Callback callback)
{
    static quint64 lastWaiterId = 0;
    const quint64 id = ++lastWaiterId;
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
        ServedDocument served = cachedOrUnavailable(city, waiter.units, now());
        if (served.status == ServedDocument::Status::Unavailable && served.retryAfterSeconds == 0)
            served.retryAfterSeconds = 10;
        served.note += QStringLiteral(" (the upstream is slow)");
        waiter.callback(served);
        return;
    }
}

void LiveForecastSource::startWave(bool background)
{
    const QDateTime now = this->now();
    Wave wave;
    wave.serial = ++m_serials;
    wave.background = background;
    wave.startedAt = now;
    QList<Location> locations;
    QList<Location> airLocations;
    const bool askAir = m_client->airQualityEndpoint().isValid() && !m_airBackoff.active(now);
    // Every city that is not paused, also those still fresh: the request
    // costs the same, and the cities stay in step, so that one renewal a
    // quarter hour serves them all.
    for (int i = 0; i < m_cities.size(); ++i) {
        const City &city = m_cities.at(i);
        if (city.backoff.active(now) && city.waiters.isEmpty())
            continue;
        wave.cities.append(i);
        locations.append(*city.location);
        if (askAir && !city.airBackoff.active(now)) {
            wave.airCities.append(i);
            airLocations.append(*city.location);
        }
    }
    if (wave.cities.isEmpty())
        return;

    ++m_wavesStarted;
    qCDebug(lcForecastd, "wave %llu: %d cities%s", static_cast<unsigned long long>(wave.serial),
            int(wave.cities.size()), background ? ", renewing the cache" : "");
    const quint64 serial = wave.serial;
    wave.airPending = !airLocations.isEmpty();
    m_wave = wave;
    const QPointer<LiveForecastSource> self(this);
    m_client->fetch(locations, [self, serial](const FetchResult &result) {
        if (self)
            self->onForecast(serial, result);
    });
    if (!airLocations.isEmpty()) {
        m_client->fetchAirQuality(airLocations, [self, serial](const FetchResult &result) {
            if (self)
                self->onAirQuality(serial, result);
        });
    }
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
    const FetchResult &forecast = *wave.forecast;
    QList<Delivery> deliveries;

    // The air quality first: whether its request as a whole counts.
    const bool airOk = wave.air && wave.air->ok;
    if (!wave.airCities.isEmpty() && forecast.ok) {
        if (airOk) {
            m_airBackoff.succeed();
        } else {
            const QString why = wave.air ? wave.air->error : QStringLiteral("no answer in time");
            m_airBackoff.fail(now, wave.air ? wave.air->retryAfterSeconds : -1);
            qCWarning(lcForecastd, "air quality failed (%s); forecasts alone until %s", qPrintable(why),
                      qPrintable(m_airBackoff.until.toString(Qt::ISODate)));
        }
    }

    if (!forecast.ok) {
        m_backoff.fail(now, forecast.retryAfterSeconds);
        m_lastFailure = forecast.error;
        qCWarning(lcForecastd, "upstream failed (%s); leaving it alone until %s", qPrintable(forecast.error),
                  qPrintable(m_backoff.until.toString(Qt::ISODate)));
        for (int index : wave.cities) {
            City &city = m_cities[index];
            for (const Waiter &waiter : std::exchange(city.waiters, {}))
                deliveries.append({waiter.callback, cachedOrUnavailable(city, waiter.units, now)});
        }
    } else {
        m_backoff.succeed();
        bool stored = false;
        for (qsizetype k = 0; k < wave.cities.size(); ++k) {
            City &city = m_cities[wave.cities.at(k)];
            const QJsonObject answer = forecast.answers.value(k);
            QJsonObject air;
            const qsizetype airSlot = wave.airCities.indexOf(wave.cities.at(k));
            if (airOk && airSlot >= 0) {
                air = wave.air->answers.value(airSlot);
                if (air.isEmpty()) {
                    city.airBackoff.fail(now, -1);
                    qCWarning(lcForecastd, "%s: no air quality (%s)", qPrintable(city.location->id),
                              qPrintable(wave.air->problems.value(airSlot)));
                } else {
                    city.airBackoff.succeed();
                }
            }
            if (answer.isEmpty()) {
                city.backoff.fail(now, -1);
                qCWarning(lcForecastd, "%s: no forecast in the answer (%s); leaving the city out until %s",
                          qPrintable(city.location->id), qPrintable(forecast.problems.value(k)),
                          qPrintable(city.backoff.until.toString(Qt::ISODate)));
                for (const Waiter &waiter : std::exchange(city.waiters, {}))
                    deliveries.append({waiter.callback, cachedOrUnavailable(city, waiter.units, now)});
                continue;
            }
            city.backoff.succeed();
            store(city, answer, air, wave.startedAt);
            stored = true;
            for (const Waiter &waiter : std::exchange(city.waiters, {}))
                deliveries.append({waiter.callback, fromCache(city, waiter.units, QStringLiteral("fresh"))});
        }
        m_lastFailure = stored ? QString() : QStringLiteral("the upstream's answer holds no usable forecast");
        if (stored)
            saveCache();
    }

    scheduleRenewal();
    // Answers last: a callback may ask again, and start the next wave.
    for (const Delivery &delivery : deliveries)
        delivery.callback(delivery.served);
    answerHealthChecks();
    if (!m_wave)
        startWaveForWaiters();
}

void LiveForecastSource::startWaveForWaiters()
{
    const QDateTime now = this->now();
    bool waiting = false;
    for (int i = 0; i < m_cities.size(); ++i) {
        City &city = m_cities[i];
        if (city.waiters.isEmpty())
            continue;
        if (m_backoff.active(now) || city.backoff.active(now)) {
            for (const Waiter &waiter : std::exchange(city.waiters, {}))
                waiter.callback(cachedOrUnavailable(city, waiter.units, now));
        } else {
            waiting = true;
        }
    }
    if (waiting && !m_wave)
        startWave(false);
}

void LiveForecastSource::store(City &city, const QJsonObject &forecast, const QJsonObject &airQuality,
                               const QDateTime &fetchedAt)
{
    city.metric = writeForecastDocument(forecast, *city.location, Units::Metric, airQuality);
    city.imperial = writeForecastDocument(forecast, *city.location, Units::Imperial, airQuality);
    city.fetchedAt = fetchedAt;
    city.observedAt = observationTime(forecast);
    city.forecast = forecast;
    city.airQuality = airQuality;
}

void LiveForecastSource::scheduleRenewal()
{
    QDateTime due;
    for (const City &city : std::as_const(m_cities)) {
        if (city.metric.isEmpty())
            continue;
        const QDateTime runsOut = city.fetchedAt.addSecs(FreshSeconds);
        if (!due.isValid() || runsOut < due)
            due = runsOut;
    }
    if (!due.isValid()) {
        m_renewTimer.stop();
        return;
    }
    if (m_backoff.until.isValid() && m_backoff.until > due)
        due = m_backoff.until;
    const qint64 delay = std::clamp<qint64>(now().msecsTo(due), ShortestRenewalDelayMs,
                                            qint64(LongestRetryAfterSeconds) * 1000);
    m_renewTimer.start(int(delay));
}

void LiveForecastSource::renewIfDue()
{
    if (m_wave)
        return; // its end schedules the next check
    const QDateTime now = this->now();
    if (!m_lastAsked.isValid() || m_lastAsked.secsTo(now) > AskingSeconds)
        return; // nobody asks: the upstream is left alone until somebody does
    bool due = false;
    for (const City &city : std::as_const(m_cities)) {
        if (!city.metric.isEmpty() && city.fetchedAt.secsTo(now) >= FreshSeconds)
            due = true;
    }
    if (!due || m_backoff.active(now)) {
        scheduleRenewal();
        return;
    }
    startWave(true);
    if (!m_wave)
        scheduleRenewal();
}

ServiceHealth LiveForecastSource::currentHealth(const QDateTime &now) const
{
    int servable = 0;
    int fresh = 0;
    bool allLeftOut = true;
    for (const City &city : m_cities) {
        servable += hasServable(city, now) ? 1 : 0;
        fresh += isFresh(city, now) ? 1 : 0;
        allLeftOut = allLeftOut && city.backoff.active(now);
    }
    ServiceHealth health;
    if (servable > 0) {
        health.reason = QStringLiteral("%1 of %2 cities served, %3 fresh").arg(servable).arg(m_cities.size()).arg(fresh);
    } else if (m_backoff.failures > 0) {
        health.ok = false;
        health.reason = QStringLiteral("the upstream cannot be reached (%1) and no forecast is left to serve")
                            .arg(m_lastFailure);
    } else if (allLeftOut && !m_cities.isEmpty()) {
        health.ok = false;
        health.reason = QStringLiteral("the upstream has no usable forecast for any city");
    } else {
        health.reason = QStringLiteral("no forecast yet; asking the upstream");
    }
    return health;
}

void LiveForecastSource::health(HealthCallback callback)
{
    const QDateTime now = this->now();
    m_lastAsked = now;
    bool anyServable = false;
    for (const City &city : std::as_const(m_cities))
        anyServable = anyServable || hasServable(city, now);
    if (!anyServable && !m_wave && !m_backoff.active(now))
        startWave(false);
    if (anyServable || !m_wave) {
        callback(currentHealth(now));
        return;
    }
    static quint64 lastCheckId = 0;
    const quint64 id = ++lastCheckId;
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

void LiveForecastSource::setCacheDirectory(const QString &directory)
{
    m_cacheFile = directory.isEmpty() ? QString() : QDir(directory).filePath(QStringLiteral("forecasts.json"));
    if (!m_cacheFile.isEmpty())
        loadCache();
}

// The cache file: {"cities": {"<id>": {"fetched": "<UTC ISO time>",
// "forecast": {...}, "airQuality": {...}}}}, the upstream's answers as they
// came, so that documents are written anew by the program that reads them.
void LiveForecastSource::loadCache()
{
    QFile file(m_cacheFile);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaximumCacheBytes)
        return;
    const QJsonObject cities = QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("cities")).toObject();
    const QDateTime now = this->now();
    int taken = 0;
    for (City &city : m_cities) {
        const QJsonObject entry = cities.value(city.location->id).toObject();
        const QJsonObject forecast = entry.value(QLatin1String("forecast")).toObject();
        if (!forecast.value(QLatin1String("current")).isObject())
            continue;
        const std::optional<QDateTime> observed = observationTime(forecast);
        if (!observed || observed->secsTo(now) > StaleLimitSeconds)
            continue;
        QDateTime fetched = QDateTime::fromString(entry.value(QLatin1String("fetched")).toString(), Qt::ISODateWithMs);
        if (!fetched.isValid() || fetched > now)
            fetched = now.addSecs(-FreshSeconds); // of unknown age: serve it, but ask anew
        store(city, forecast, entry.value(QLatin1String("airQuality")).toObject(), fetched);
        ++taken;
    }
    if (taken > 0) {
        qCDebug(lcForecastd, "%d cities' answers taken up from %s", taken, qPrintable(m_cacheFile));
        scheduleRenewal();
    }
}

void LiveForecastSource::saveCache() const
{
    if (m_cacheFile.isEmpty())
        return;
    QJsonObject cities;
    for (const City &city : m_cities) {
        if (city.forecast.isEmpty())
            continue;
        QJsonObject entry;
        entry.insert(QStringLiteral("fetched"), city.fetchedAt.toUTC().toString(Qt::ISODateWithMs));
        entry.insert(QStringLiteral("forecast"), city.forecast);
        if (!city.airQuality.isEmpty())
            entry.insert(QStringLiteral("airQuality"), city.airQuality);
        cities.insert(city.location->id, entry);
    }
    const QByteArray json = QJsonDocument(QJsonObject{{QStringLiteral("cities"), cities}}).toJson(QJsonDocument::Compact);
    QDir().mkpath(QFileInfo(m_cacheFile).absolutePath());
    QSaveFile file(m_cacheFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit())
        qCWarning(lcForecastd, "cannot keep the answers in %s: %s", qPrintable(m_cacheFile),
                  qPrintable(file.errorString()));
}
