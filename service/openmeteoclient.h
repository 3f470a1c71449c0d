#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
struct Location;

// One answer of the upstream for one city.
struct FetchResult
{
    bool ok = false;
    QJsonObject answer;  // the forecast, when ok
    QString error;       // why not, for the log
    int retryAfterSeconds = -1; // the upstream's Retry-After, when it sent one
};

// Asks Open-Meteo's forecast API for one city at a time, and is polite about
// it: it says who it is (User-Agent), never has more than four requests
// under way (the others wait their turn in order), gives up on a request
// after ten seconds, and stops reading an answer that grows past 1 MiB.
//
// An answer counts only when it is a 2xx whose whole body is one JSON object
// with a current block; an error text appended to a 200 answer makes the
// body invalid JSON, and the upstream's error object ({"error": true, ...})
// is an error whatever the status.
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
    static QByteArray userAgent();

    explicit OpenMeteoClient(QObject *parent = nullptr);
    ~OpenMeteoClient() override;

    // Where forecasts are asked for ("https://api.open-meteo.com/v1/forecast").
    void setEndpoint(const QUrl &endpoint) { m_endpoint = endpoint; }
    QUrl endpoint() const { return m_endpoint; }
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    // The address asked for a city: its coordinates, the current and daily
    // variables the documents need, five days in the city's time zone.
    QUrl requestUrl(const Location &location) const;

    // Starts (or queues) a request; the callback runs once, later, from the
    // event loop, never from within fetch().
    void fetch(const Location &location, Callback callback);

    int inFlight() const { return m_inFlight.size(); }
    int queued() const { return m_queue.size(); }

    // Judges a complete answer by status, headers and body.
    static FetchResult judge(int httpStatus, const QByteArray &body);

private:
    struct Pending
    {
        QUrl url;
        Callback callback;
    };
    struct Running
    {
        Callback callback;
        QByteArray body;
        QTimer *timer = nullptr;
        bool timedOut = false;
        bool tooLarge = false;
    };

    void startNext();
    void onReadyRead(QNetworkReply *reply);
    void onFinished(QNetworkReply *reply);

    QNetworkAccessManager *m_manager = nullptr;
    QUrl m_endpoint;
    int m_timeoutMs = DefaultTimeoutMs;
    QList<Pending> m_queue;
    QHash<QNetworkReply *, Running> m_inFlight;
};
