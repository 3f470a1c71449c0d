#pragma once

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QString>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
struct Location;

// Why a call of the upstream failed, as /metrics counts it.
enum class UpstreamFailure {
    None,
    Timeout, // no whole answer in time
    Connection, // refused, reset, or broken off
    HttpStatus, // a status other than 2xx (but 429)
    Invalid, // not JSON of the shape asked for
    TooLarge, // past MaximumAnswerBytes
    UpstreamError, // the upstream's own error object
    RateLimited, // 429, or an error whose reason says a limit was exceeded
};

// Which of the upstream's limits an answer says was exceeded; it tells how
// long asking again is pointless.
enum class UpstreamLimit { None, Minutely, Hourly, Daily, Monthly };

// One answer of the upstream for the locations of one request.
struct FetchResult
{
    // The call as a whole: a 2xx whose body is what was asked for, one
    // object for one location, an array for several. When it is not, the
    // upstream failed and nothing of the answer is used.
    bool ok = false;
    QString error; // why not, for the log
    UpstreamFailure failure = UpstreamFailure::None;
    UpstreamLimit limit = UpstreamLimit::None; // when failure is RateLimited
    int retryAfterSeconds = -1; // the upstream's Retry-After, when it sent one
    // The status the answer came with; 0 when none came (no connection, or
    // no answer in time).
    int httpStatus = 0;
    // Whether the request left for the upstream. It did not when no
    // connection was made, its name did not resolve or TLS was refused
    // before it was sent: the upstream never saw it, and it costs nothing.
    // A request that got no answer in time, or whose connection broke, most
    // likely reached the upstream, which counts it.
    bool sent = true;
    // When ok: one element per location asked, in the order asked; an empty
    // object where the answer has nothing usable for that location, and in
    // `problems` (same order) why not.
    QList<QJsonObject> answers;
    QStringList problems;
};

// Asks Open-Meteo's forecast and air-quality APIs, for several cities in one
// request (comma-separated coordinates), and is polite about it: it says who
// it is (User-Agent), never has more than four requests under way (the
// others wait their turn in order), gives up on a request after ten
// seconds, and stops reading an answer that grows past 1 MiB.
//
// A request asks for one hour: the quarter-hour series (minutely_15) of the
// 24 hours from that hour (the conditions of that hour, and the coming
// hours), the hourly values of that hour of what has no quarter-hour
// series, and the coming days. Its address depends on nothing but the cities, the hour
// and the key, so that every machine asks the same address for the same
// hour and a caching proxy between them and the upstream answers all but
// the first.
//
// An answer counts only when it is a 2xx whose whole body is JSON of the
// shape asked for; an error text appended to a 200 answer makes the body
// invalid JSON, and the upstream's error object ({"error": true, ...}) is an
// error whatever the status. Within an answer for several cities, each
// element counts for its city alone: one that is not an object with a
// quarter-hour series (or a current block), or is missing, fails only that
// city.
//
// A 2xx answer that could not be used may be a cache's copy (the site
// cache keeps 200s for the hour): an address asked again after such an
// answer goes out with "Cache-Control: no-cache", so that the cache asks
// the upstream anew and keeps the new answer in its place.
class OpenMeteoClient : public QObject
{
    Q_OBJECT

public:
    using Callback = std::function<void(const FetchResult &)>;

    static constexpr int DefaultTimeoutMs = 10000;
    static constexpr int MaximumInFlight = 4;
    static constexpr qint64 MaximumAnswerBytes = 1024 * 1024;
    // How much of an answer the network layer may take ahead of the judging
    // of it here (in its own thread and in the reply, up to this much each).
    static constexpr qint64 ReadAheadBytes = 64 * 1024;

    static QUrl defaultEndpoint();
    static QUrl defaultAirQualityEndpoint();
    // The endpoints of the upstream's commercial plan, asked with an API key.
    static QUrl customerEndpoint();
    static QUrl customerAirQualityEndpoint();
    static QByteArray userAgent();

    // What the upstream counts a request as: one call per location, and a
    // call more for every ten variables past the first ten.
    static double weightOf(int locations, int variables);
    static int forecastVariables();
    static int airQualityVariables();

    explicit OpenMeteoClient(QObject *parent = nullptr);
    ~OpenMeteoClient() override;

    // Where forecasts are asked for ("https://api.open-meteo.com/v1/forecast").
    void setEndpoint(const QUrl &endpoint) { m_endpoint = endpoint; }
    QUrl endpoint() const { return m_endpoint; }
    // Where the air is asked about
    // ("https://air-quality-api.open-meteo.com/v1/air-quality").
    void setAirQualityEndpoint(const QUrl &endpoint) { m_airQualityEndpoint = endpoint; }
    QUrl airQualityEndpoint() const { return m_airQualityEndpoint; }
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    // A key of the upstream's commercial plan, sent as its apikey parameter;
    // empty for the free API.
    void setApiKey(const QString &key) { m_apiKey = key; }
    QString apiKey() const { return m_apiKey; }

    // The address asked for the forecasts of these cities for the hour that
    // begins at `hour` (UTC): their coordinates, the quarter-hour (24 hours
    // from that hour), hourly and daily variables the documents need, five
    // days in the cities' time
    // zone (one zone for all when they share it; GMT, bounds and answers
    // alike, when the host does not know the first city's zone).
    QUrl requestUrl(const QList<Location> &locations, const QDateTime &hour) const;
    // The address asked for the air of these cities from that hour: the
    // hourly dust and PM10 of the 24 hours it begins.
    QUrl airQualityUrl(const QList<Location> &locations, const QDateTime &hour) const;

    // Start (or queue) a request for these cities; the callback runs once,
    // later, from the event loop, never from within the call.
    void fetch(const QList<Location> &locations, const QDateTime &hour, Callback callback);
    void fetchAirQuality(const QList<Location> &locations, const QDateTime &hour, Callback callback);

    int inFlight() const { return m_inFlight.size(); }
    int queued() const { return m_queue.size(); }

    // Judges a complete answer for `locations` cities by status and body.
    static FetchResult judge(int httpStatus, const QByteArray &body, int locations = 1);

private:
    struct Pending
    {
        QUrl url;
        int locations = 1;
        Callback callback;
    };
    struct Running
    {
        QUrl url;
        int locations = 1;
        Callback callback;
        QByteArray body;
        QTimer *timer = nullptr;
        bool timedOut = false;
        bool tooLarge = false;
    };

    void enqueue(const QUrl &url, int locations, Callback callback);
    void startNext();
    void onReadyRead(QNetworkReply *reply);
    void onFinished(QNetworkReply *reply);

    QNetworkAccessManager *m_manager = nullptr;
    QUrl m_endpoint;
    QUrl m_airQualityEndpoint;
    QString m_apiKey;
    int m_timeoutMs = DefaultTimeoutMs;
    QList<Pending> m_queue;
    QHash<QNetworkReply *, Running> m_inFlight;
    QList<QUrl> m_askAnew; // addresses whose last 2xx answer was unusable
};
