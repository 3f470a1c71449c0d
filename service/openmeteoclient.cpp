#include "openmeteoclient.h"

#include "locationtable.h"
#include "servicelog.h"

#include "platform/feeddate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimeZone>
#include <QTimer>
#include <QUrlQuery>

#include <algorithm>
#include <cmath>

namespace {

// The variables the documents are written from; nothing more is asked for,
// to keep the upstream's work, its count of our calls and the answers small.
// The wind chill is worked out from temperature and wind, so the upstream's
// "apparent" temperature is not among them. The sea-level pressure has no
// quarter-hour series, so it is asked hour by hour. The day's precipitation
// and highest gust are for the warnings, with the highest temperature and
// the weather code the documents use anyway.
const char QuarterHourVariables[] = "temperature_2m,relative_humidity_2m,is_day,weather_code,"
                                    "wind_speed_10m,wind_direction_10m,visibility";
const char HourlyVariables[] = "pressure_msl";
const char DailyVariables[] = "weather_code,temperature_2m_max,temperature_2m_min,sunrise,sunset,"
                              "precipitation_sum,wind_gusts_10m_max";
const char AirQualityVariables[] = "dust,pm10";
// The air is asked for the coming hours, the warnings' horizon for dust
// storms, and the quarter-hour series for as long, the coming hours the
// documents tell: a longer series costs no more calls than the hour alone.
constexpr int SeriesHours = ComingHourCount;

int variableCount(const char *list)
{
    return int(QByteArray(list).count(',')) + 1;
}

// The zone a request gives the bounds of its series in: the first city's,
// which the board's cities share, as the host's zone database tells it, or,
// on a host without one (a minimal system without tzdata), the cities' own
// UTC+3, which keeps no daylight saving. The upstream is asked in the
// city's zone by name either way, so its days are the cities' days; the
// bounds and the zone it reads them in must agree, or the series is of
// another hour.
QTimeZone requestZone(const QList<Location> &locations)
{
    if (!locations.isEmpty()) {
        const QTimeZone named(locations.first().timezone.toLatin1());
        if (named.isValid())
            return named;
    }
    return QTimeZone(CityUtcOffsetSeconds);
}

// A wall-clock reading in the request's zone, as the upstream takes the
// bounds of a series ("2026-12-07T13:00").
QString localReading(const QDateTime &utc, const QTimeZone &zone)
{
    return utc.toTimeZone(zone).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm"));
}

QString coordinate(double degrees)
{
    return QString::number(degrees, 'f', 4);
}

// Coordinates and zones of several cities, as the upstream takes them:
// comma-separated lists in the same order, one zone when they share it.
QUrlQuery locationQuery(const QList<Location> &locations)
{
    QStringList latitudes;
    QStringList longitudes;
    QStringList zones;
    for (const Location &location : locations) {
        latitudes << coordinate(location.latitude);
        longitudes << coordinate(location.longitude);
        zones << location.timezone;
    }
    zones.removeDuplicates();
    if (zones.size() > 1) {
        zones.clear();
        for (const Location &location : locations)
            zones << location.timezone;
    }
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("latitude"), latitudes.join(u','));
    query.addQueryItem(QStringLiteral("longitude"), longitudes.join(u','));
    query.addQueryItem(QStringLiteral("timezone"), zones.join(u','));
    return query;
}

// The bounds of the series from one hour, in the request's zone: the
// quarter-hour series SeriesHours long, and the hourly one `hours` long.
void addHour(QUrlQuery &query, const QList<Location> &locations, const QDateTime &hour, bool quarters, int hours = 1)
{
    const QTimeZone zone = requestZone(locations);
    const QString start = localReading(hour, zone);
    if (quarters) {
        query.addQueryItem(QStringLiteral("start_minutely_15"), start);
        query.addQueryItem(QStringLiteral("end_minutely_15"),
                           localReading(hour.addSecs(SeriesHours * 60 * 60 - 15 * 60), zone));
    }
    query.addQueryItem(QStringLiteral("start_hour"), start);
    query.addQueryItem(QStringLiteral("end_hour"), localReading(hour.addSecs((hours - 1) * 60 * 60), zone));
}

// A series of the answer: an object whose times are an array, quarter-hour
// (forecasts) or hourly (the air).
bool hasSeries(const QJsonObject &element)
{
    for (const char *key : {"minutely_15", "hourly"}) {
        if (element.value(QLatin1String(key)).toObject().value(QLatin1String("time")).isArray())
            return true;
    }
    return false;
}

// Errors that come before a request is written: the connection was not
// made, or TLS was refused before the request went over it.
bool neverLeft(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
        return true;
    default:
        return false;
    }
}

// "Daily API request limit exceeded. Please try again tomorrow." and its
// kin for the other limits.
UpstreamLimit limitNamedIn(const QString &reason)
{
    if (!reason.contains(QLatin1String("limit exceeded"), Qt::CaseInsensitive))
        return UpstreamLimit::None;
    if (reason.contains(QLatin1String("daily"), Qt::CaseInsensitive))
        return UpstreamLimit::Daily;
    if (reason.contains(QLatin1String("monthly"), Qt::CaseInsensitive))
        return UpstreamLimit::Monthly;
    if (reason.contains(QLatin1String("minutely"), Qt::CaseInsensitive))
        return UpstreamLimit::Minutely;
    return UpstreamLimit::Hourly;
}

} // namespace

QUrl OpenMeteoClient::defaultEndpoint()
{
    return QUrl(QStringLiteral("https://api.open-meteo.com/v1/forecast"));
}

QUrl OpenMeteoClient::defaultAirQualityEndpoint()
{
    return QUrl(QStringLiteral("https://air-quality-api.open-meteo.com/v1/air-quality"));
}

QUrl OpenMeteoClient::customerEndpoint()
{
    return QUrl(QStringLiteral("https://customer-api.open-meteo.com/v1/forecast"));
}

QUrl OpenMeteoClient::customerAirQualityEndpoint()
{
    return QUrl(QStringLiteral("https://customer-air-quality-api.open-meteo.com/v1/air-quality"));
}

QByteArray OpenMeteoClient::userAgent()
{
    return QByteArrayLiteral("forecastd/" FORECASTD_VERSION
                             " (RORizedivo weather board; local feed service for 24 Saudi cities)");
}

double OpenMeteoClient::weightOf(int locations, int variables)
{
    return locations * std::max(1.0, variables / 10.0);
}

int OpenMeteoClient::forecastVariables()
{
    return variableCount(QuarterHourVariables) + variableCount(HourlyVariables) + variableCount(DailyVariables);
}

int OpenMeteoClient::airQualityVariables()
{
    return variableCount(AirQualityVariables);
}

OpenMeteoClient::OpenMeteoClient(QObject *parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
    , m_endpoint(defaultEndpoint())
    , m_airQualityEndpoint(defaultAirQualityEndpoint())
{
}

OpenMeteoClient::~OpenMeteoClient()
{
    // Replies still running die with the manager; their callbacks are not
    // called, as nobody is left to hear them.
    for (auto it = m_inFlight.begin(); it != m_inFlight.end(); ++it)
        it.key()->disconnect(this);
}

QUrl OpenMeteoClient::requestUrl(const QList<Location> &locations, const QDateTime &hour) const
{
    QUrl url = m_endpoint;
    QUrlQuery query = locationQuery(locations);
    query.addQueryItem(QStringLiteral("minutely_15"), QString::fromLatin1(QuarterHourVariables));
    query.addQueryItem(QStringLiteral("hourly"), QString::fromLatin1(HourlyVariables));
    query.addQueryItem(QStringLiteral("daily"), QString::fromLatin1(DailyVariables));
    query.addQueryItem(QStringLiteral("forecast_days"), QStringLiteral("5"));
    addHour(query, locations, hour, true);
    if (!m_apiKey.isEmpty())
        query.addQueryItem(QStringLiteral("apikey"), m_apiKey);
    url.setQuery(query);
    return url;
}

QUrl OpenMeteoClient::airQualityUrl(const QList<Location> &locations, const QDateTime &hour) const
{
    QUrl url = m_airQualityEndpoint;
    QUrlQuery query = locationQuery(locations);
    query.addQueryItem(QStringLiteral("hourly"), QString::fromLatin1(AirQualityVariables));
    addHour(query, locations, hour, false, SeriesHours);
    if (!m_apiKey.isEmpty())
        query.addQueryItem(QStringLiteral("apikey"), m_apiKey);
    url.setQuery(query);
    return url;
}

void OpenMeteoClient::fetch(const QList<Location> &locations, const QDateTime &hour, Callback callback)
{
    enqueue(requestUrl(locations, hour), int(locations.size()), std::move(callback));
}

void OpenMeteoClient::fetchAirQuality(const QList<Location> &locations, const QDateTime &hour, Callback callback)
{
    enqueue(airQualityUrl(locations, hour), int(locations.size()), std::move(callback));
}

void OpenMeteoClient::enqueue(const QUrl &url, int locations, Callback callback)
{
    m_queue.append({url, locations, std::move(callback)});
    // Started from the event loop, so that the callback never runs inside
    // fetch() even when the request fails at once.
    QTimer::singleShot(0, this, &OpenMeteoClient::startNext);
}

void OpenMeteoClient::startNext()
{
    while (m_inFlight.size() < MaximumInFlight && !m_queue.isEmpty()) {
        Pending pending = m_queue.takeFirst();
        QNetworkRequest request(pending.url);
        request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
        request.setRawHeader("Accept", "application/json");
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        if (m_askAnew.contains(pending.url))
            request.setRawHeader("Cache-Control", "no-cache");
        QNetworkReply *reply = m_manager->get(request);
        // Unbounded, the network thread would go on taking a huge answer at
        // full speed, past the limit, until the abort from here reaches it.
        reply->setReadBufferSize(ReadAheadBytes);

        Running running;
        running.url = pending.url;
        running.locations = pending.locations;
        running.callback = std::move(pending.callback);
        running.timer = new QTimer(reply);
        running.timer->setSingleShot(true);
        connect(running.timer, &QTimer::timeout, reply, [this, reply] {
            auto it = m_inFlight.find(reply);
            if (it != m_inFlight.end())
                it->timedOut = true;
            reply->abort();
        });
        running.timer->start(m_timeoutMs);
        m_inFlight.insert(reply, std::move(running));

        // The announced length is judged as soon as the headers are in, before
        // any of the body is taken.
        connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] { onReadyRead(reply); });
        connect(reply, &QNetworkReply::readyRead, this, [this, reply] { onReadyRead(reply); });
        connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
    }
}

void OpenMeteoClient::onReadyRead(QNetworkReply *reply)
{
    auto it = m_inFlight.find(reply);
    if (it == m_inFlight.end() || it->tooLarge)
        return;
    const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    it->body += reply->readAll();
    if (announced > MaximumAnswerBytes || it->body.size() > MaximumAnswerBytes) {
        it->tooLarge = true;
        it->body.clear();
        reply->abort();
    }
}

void OpenMeteoClient::onFinished(QNetworkReply *reply)
{
    auto it = m_inFlight.find(reply);
    if (it == m_inFlight.end())
        return;
    if (!it->tooLarge && !it->timedOut)
        onReadyRead(reply); // whatever came with the end of the answer
    Running running = std::move(*it);
    m_inFlight.erase(it);
    running.timer->stop();

    FetchResult result;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (running.timedOut) {
        result.error = QStringLiteral("no answer within %1 ms").arg(m_timeoutMs);
        result.failure = UpstreamFailure::Timeout;
    } else if (running.tooLarge) {
        result.error = QStringLiteral("answer larger than %1 bytes").arg(MaximumAnswerBytes);
        result.failure = UpstreamFailure::TooLarge;
    } else if (status == 0) {
        result.error = reply->errorString();
        result.failure = UpstreamFailure::Connection;
        result.sent = !neverLeft(reply->error());
    } else {
        result = judge(status, running.body, running.locations);
        if (result.ok && reply->error() != QNetworkReply::NoError) {
            // A 2xx whose transfer broke off: what came may parse by chance.
            result = FetchResult();
            result.error = reply->errorString();
            result.failure = UpstreamFailure::Connection;
        }
    }
    result.httpStatus = status;
    m_askAnew.removeAll(running.url);
    if (!result.ok && status >= 200 && status <= 299) {
        // A few hours' worth: an address names its hour.
        if (m_askAnew.size() >= 8)
            m_askAnew.removeFirst();
        m_askAnew.append(running.url);
    }
    bool isNumber = false;
    const int retryAfter = reply->rawHeader("Retry-After").trimmed().toInt(&isNumber);
    if (isNumber && retryAfter >= 0)
        result.retryAfterSeconds = retryAfter;
    reply->deleteLater();

    startNext();
    if (running.callback)
        running.callback(result);
}

FetchResult OpenMeteoClient::judge(int httpStatus, const QByteArray &body, int locations)
{
    FetchResult result;
    result.httpStatus = httpStatus;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    const QJsonObject object = document.object();
    const bool upstreamError = object.value(QLatin1String("error")).toBool(false);
    const QString reason = object.value(QLatin1String("reason")).toString();
    const bool several = locations > 1;
    const UpstreamLimit limit = limitNamedIn(reason);

    if (httpStatus == 429 || (limit != UpstreamLimit::None && (upstreamError || httpStatus > 299))) {
        result.error = QStringLiteral("HTTP %1").arg(httpStatus);
        if (!reason.isEmpty())
            result.error += QStringLiteral(": ") + reason;
        result.failure = UpstreamFailure::RateLimited;
        // A 429 that does not say which limit: the next hour is when any
        // limit short of the daily one has reset.
        result.limit = limit == UpstreamLimit::None ? UpstreamLimit::Hourly : limit;
    } else if (httpStatus < 200 || httpStatus > 299) {
        result.error = QStringLiteral("HTTP %1").arg(httpStatus);
        if (!reason.isEmpty())
            result.error += QStringLiteral(": ") + reason;
        result.failure = upstreamError ? UpstreamFailure::UpstreamError : UpstreamFailure::HttpStatus;
    } else if (parseError.error != QJsonParseError::NoError) {
        result.error = QStringLiteral("invalid JSON: %1 at %2").arg(parseError.errorString()).arg(parseError.offset);
        result.failure = UpstreamFailure::Invalid;
    } else if (upstreamError) {
        result.error = QStringLiteral("upstream error: ") + reason;
        result.failure = UpstreamFailure::UpstreamError;
    } else if (several ? !document.isArray() : !document.isObject()) {
        result.error = several ? QStringLiteral("the answer is not a JSON array")
                               : QStringLiteral("the answer is not a JSON object");
        result.failure = UpstreamFailure::Invalid;
    } else {
        result.ok = true;
        const QJsonArray elements = several ? document.array() : QJsonArray{object};
        result.answers = QList<QJsonObject>(std::max(locations, 1));
        result.problems = QStringList(result.answers.size(), QStringLiteral("no element for this location"));
        for (qsizetype i = 0; i < elements.size(); ++i) {
            const QJsonObject element = elements.at(i).toObject();
            // An element names its location by its place in the request;
            // the first one leaves it out.
            const QJsonValue id = element.value(QLatin1String("location_id"));
            qsizetype slot = i;
            if (id.isDouble()) {
                const double d = id.toDouble();
                if (!(d >= 0 && d < double(result.answers.size())) || d != std::floor(d))
                    continue;
                slot = qsizetype(d);
            }
            if (slot >= result.answers.size() || !result.answers.at(slot).isEmpty())
                continue;
            if (!elements.at(i).isObject())
                result.problems[slot] = QStringLiteral("the element is not a JSON object");
            else if (element.value(QLatin1String("error")).toBool(false))
                result.problems[slot] = QStringLiteral("upstream error: ")
                    + element.value(QLatin1String("reason")).toString();
            else if (!element.value(QLatin1String("current")).isObject() && !hasSeries(element))
                result.problems[slot] = QStringLiteral("the answer has no current conditions and no series");
            else {
                result.answers[slot] = element;
                result.problems[slot].clear();
            }
        }
    }
    return result;
}
