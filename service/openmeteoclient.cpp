#include "openmeteoclient.h"

#include "locationtable.h"
#include "servicelog.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrlQuery>

namespace {

// The variables the documents are written from; nothing more is asked for,
// to keep the upstream's work and the answers small.
const char CurrentVariables[] =
    "temperature_2m,relative_humidity_2m,apparent_temperature,is_day,weather_code,"
    "pressure_msl,wind_speed_10m,wind_direction_10m,visibility";
const char DailyVariables[] = "weather_code,temperature_2m_max,temperature_2m_min,sunrise,sunset";

QString coordinate(double degrees)
{
    return QString::number(degrees, 'f', 4);
}

} // namespace

QUrl OpenMeteoClient::defaultEndpoint()
{
    return QUrl(QStringLiteral("https://api.open-meteo.com/v1/forecast"));
}

QByteArray OpenMeteoClient::userAgent()
{
    return QByteArrayLiteral("forecastd/1.0 (RORizedivo weather board; local feed service for 24 Saudi cities)");
}

OpenMeteoClient::OpenMeteoClient(QObject *parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
    , m_endpoint(defaultEndpoint())
{
}

OpenMeteoClient::~OpenMeteoClient()
{
    // Replies still running die with the manager; their callbacks are not
    // called, as nobody is left to hear them.
    for (auto it = m_inFlight.begin(); it != m_inFlight.end(); ++it)
        it.key()->disconnect(this);
}

QUrl OpenMeteoClient::requestUrl(const Location &location) const
{
    QUrl url = m_endpoint;
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("latitude"), coordinate(location.latitude));
    query.addQueryItem(QStringLiteral("longitude"), coordinate(location.longitude));
    query.addQueryItem(QStringLiteral("current"), QString::fromLatin1(CurrentVariables));
    query.addQueryItem(QStringLiteral("daily"), QString::fromLatin1(DailyVariables));
    query.addQueryItem(QStringLiteral("timezone"), location.timezone);
    query.addQueryItem(QStringLiteral("forecast_days"), QStringLiteral("5"));
    url.setQuery(query);
    return url;
}

void OpenMeteoClient::fetch(const Location &location, Callback callback)
{
    m_queue.append({requestUrl(location), std::move(callback)});
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
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::NoLessSafeRedirectPolicy);
        QNetworkReply *reply = m_manager->get(request);
        // Unbounded, the network thread would go on taking a huge answer at
        // full speed, past the limit, until the abort from here reaches it.
        reply->setReadBufferSize(ReadAheadBytes);

        Running running;
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
    } else if (running.tooLarge) {
        result.error = QStringLiteral("answer larger than %1 bytes").arg(MaximumAnswerBytes);
    } else if (status == 0) {
        result.error = reply->errorString();
    } else {
        result = judge(status, running.body);
        if (result.ok && reply->error() != QNetworkReply::NoError) {
            // A 2xx whose transfer broke off: what came may parse by chance.
            result = FetchResult();
            result.error = reply->errorString();
        }
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

FetchResult OpenMeteoClient::judge(int httpStatus, const QByteArray &body)
{
    FetchResult result;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    const QJsonObject object = document.object();
    const bool upstreamError = object.value(QLatin1String("error")).toBool(false);
    const QString reason = object.value(QLatin1String("reason")).toString();

    if (httpStatus < 200 || httpStatus > 299) {
        result.error = QStringLiteral("HTTP %1").arg(httpStatus);
        if (!reason.isEmpty())
            result.error += QStringLiteral(": ") + reason;
    } else if (parseError.error != QJsonParseError::NoError) {
        result.error = QStringLiteral("invalid JSON: %1 at %2")
                           .arg(parseError.errorString())
                           .arg(parseError.offset);
    } else if (!document.isObject()) {
        result.error = QStringLiteral("the answer is not a JSON object");
    } else if (upstreamError) {
        result.error = QStringLiteral("upstream error: ") + reason;
    } else if (!object.value(QLatin1String("current")).isObject()) {
        result.error = QStringLiteral("the answer has no current conditions");
    } else {
        result.ok = true;
        result.answer = object;
    }
    return result;
}
