#pragma once

// What the parts of forecastd-bench share: the stand-in for Open-Meteo it
// measures the service against, on loopback; the service in a thread of its
// own; a client that asks as the board does.

#include "feedserver.h"
#include "livesource.h"
#include "locationtable.h"
#include "openmeteoclient.h"
#include "seriesanswer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrlQuery>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <memory>

// A plausible answer for any city, served by the stand-in upstream.
inline const QByteArray CannedAnswer = R"({"latitude":24.69,"longitude":46.72,"utc_offset_seconds":10800,
"timezone":"Asia/Riyadh","timezone_abbreviation":"GMT+3","elevation":612.0,
"current":{"time":"2026-12-07T13:00","interval":900,"temperature_2m":24.6,"relative_humidity_2m":21,
"apparent_temperature":22.9,"is_day":1,"weather_code":1,"pressure_msl":1017.2,"wind_speed_10m":13.7,
"wind_direction_10m":31,"visibility":24140.0},
"daily":{"time":["2026-12-07","2026-12-08","2026-12-09","2026-12-10","2026-12-11"],
"weather_code":[1,0,2,3,0],"temperature_2m_max":[25.9,26.3,24.8,23.1,24.0],
"temperature_2m_min":[13.2,12.8,14.1,13.5,12.2],
"sunrise":["2026-12-07T06:31","2026-12-08T06:32","2026-12-09T06:33","2026-12-10T06:33","2026-12-11T06:34"],
"sunset":["2026-12-07T17:06","2026-12-08T17:06","2026-12-09T17:06","2026-12-10T17:07","2026-12-11T17:07"]}})";

// The air as the air-quality API gives it, for any city: a clear day.
inline const QByteArray CannedAirQuality = R"({"latitude":24.7,"longitude":46.7,"utc_offset_seconds":10800,
"timezone":"Asia/Riyadh","timezone_abbreviation":"GMT+3","elevation":612.0,
"current_units":{"time":"iso8601","interval":"seconds","dust":"μg/m³","pm10":"μg/m³"},
"current":{"time":"2026-12-07T13:00","interval":3600,"dust":42.0,"pm10":88.5}})";

// An element that gives nothing for its city, as the upstream may for one
// location of many.
inline const QByteArray EmptyElement = R"({"latitude":24.69,"longitude":46.72,"utc_offset_seconds":10800})";

// The answer for `count` locations: the one object itself for one, else an
// array of it, each but the first carrying its location_id; the element at
// `failing` is one with nothing in it.
inline QByteArray answerFor(const QByteArray &one, int count, int failing = -1)
{
    const auto element = [&](int i) { return i == failing ? EmptyElement : one; };
    if (count <= 1)
        return element(0);
    QByteArray out = "[" + element(0);
    for (int i = 1; i < count; ++i)
        out += ",{\"location_id\":" + QByteArray::number(i) + "," + element(i).mid(element(i).indexOf('{') + 1);
    return out + "]";
}

// Open-Meteo stood in for on loopback: every call is answered after a delay,
// as over the internet, and counted.
// An alert feed's index carrying a red dust alert over Riyadh, in force on
// the bench's day.
inline constexpr char CannedAlertIndex[] =
    "<rss version=\"2.0\"><channel><item><alert xmlns=\"urn:oasis:names:tc:emergency:cap:1.2\">"
    "<identifier>BENCH-1</identifier><sender>ncm.gov.sa</sender><sent>2026-12-08T00:00:00+03:00</sent>"
    "<status>Actual</status><msgType>Alert</msgType><scope>Public</scope><info><language>en</language>"
    "<category>Met</category><event>Dust</event><urgency>Immediate</urgency><severity>Severe</severity>"
    "<expires>2026-12-10T00:00:00+03:00</expires><senderName>NCM</senderName><headline>Dust</headline>"
    "<area><areaDesc>Riyadh Region</areaDesc></area></info></alert></item></channel></rss>";

class StandInUpstream : public QObject
{
public:
    explicit StandInUpstream(int delayMs)
        : m_delayMs(delayMs)
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QString url(const char *path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(QLatin1String(path));
    }

    std::atomic<int> forecastCalls{0};
    std::atomic<int> airQualityCalls{0};
    // Every call as the upstream weighs it (weightOf), in thousandths.
    std::atomic<qint64> weightedMillicalls{0};
    double weighted() const { return weightedMillicalls / 1000.0; }

    // What the upstream counts a request as, by its own rule rather than the
    // service's idea of it: a call for each location, times the variables
    // asked over ten (at least one), times the days the request covers over
    // fourteen (at least one). The days are forecast_days (the upstream's 7
    // when not given), or more where the bounds of a series span more.
    static double weightOf(const QUrlQuery &query)
    {
        const int locations = int(query.queryItemValue(QStringLiteral("latitude")).count(u',')) + 1;
        int variables = 0;
        for (const char *block : {"current", "minutely_15", "hourly", "daily"}) {
            const QString asked = query.queryItemValue(QLatin1String(block), QUrl::FullyDecoded);
            variables += asked.isEmpty() ? 0 : int(asked.count(u',')) + 1;
        }
        const QString forecastDays = query.queryItemValue(QStringLiteral("forecast_days"));
        double days = forecastDays.isEmpty() ? 7 : forecastDays.toInt();
        for (const char *series : {"minutely_15", "hour"}) {
            const QDateTime start = QDateTime::fromString(
                query.queryItemValue(QStringLiteral("start_") + QLatin1String(series)), Qt::ISODate);
            const QDateTime end = QDateTime::fromString(
                query.queryItemValue(QStringLiteral("end_") + QLatin1String(series)), Qt::ISODate);
            if (start.isValid() && end.isValid())
                days = std::max(days, std::ceil(start.secsTo(end) / 86400.0));
        }
        return locations * std::max(1.0, variables / 10.0) * std::max(1.0, days / 14.0);
    }
    // Requests for the alert feeds' indexes (/ncm/...).
    std::atomic<int> alertIndexCalls{0};
    // The city whose element of every forecast answer holds nothing; -1: none.
    std::atomic<int> failingCity{-1};
    // The status of every answer: 200 with the series, or an error status
    // with a line of text, as an upstream that is down answers.
    std::atomic<int> status{200};

private:
    void serve(QTcpSocket *socket)
    {
        auto received = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
            *received += socket->readAll();
            if (!received->contains("\r\n\r\n"))
                return;
            const QList<QByteArray> requestLine = received->left(received->indexOf('\r')).split(' ');
            received->clear();
            const QUrl target(QString::fromLatin1(requestLine.value(1)));
            if (target.path().startsWith(QLatin1String("/ncm/"))) {
                // The national centre's alert feeds: an index with one alert
                // inline, in force all day; no call of the weather upstream.
                ++alertIndexCalls;
                const QByteArray body = CannedAlertIndex;
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nContent-Length: "
                              + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                socket->disconnectFromHost();
                return;
            }
            const QUrlQuery query(target);
            const int count = int(query.queryItemValue(QStringLiteral("latitude")).count(u',')) + 1;
            const bool air = target.path().contains(QLatin1String("air-quality"));
            ++(air ? airQualityCalls : forecastCalls);
            weightedMillicalls += qRound64(weightOf(query) * 1000);
            // The series of the hour asked, every step as the canned answer.
            const int answered = status.load();
            const QByteArray body = answered != 200
                ? QByteArray("down\n")
                : answerFor(seriesAnswer(air ? CannedAirQuality : CannedAnswer, query), count,
                            air ? -1 : failingCity.load());
            const QByteArray head = answered != 200
                ? "HTTP/1.1 " + QByteArray::number(answered) + " Unavailable\r\nContent-Type: text/plain\r\n"
                : QByteArray("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n");
            QTimer::singleShot(m_delayMs, socket, [socket, head, body] {
                socket->write(head + "Content-Length: " + QByteArray::number(body.size())
                              + "\r\nConnection: close\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        });
    }

    QTcpServer m_server;
    int m_delayMs;
};

// Runs the event loop until `done` holds or the time is up; whether it holds.
template <typename Done>
bool waitFor(Done done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return done();
}

// A thread that runs an event loop for objects made in it.
class LoopThread : public QThread
{
public:
    // Runs `work` in the thread and waits for it.
    template <typename Work>
    void run(Work work)
    {
        QMetaObject::invokeMethod(&m_context, work, Qt::BlockingQueuedConnection);
    }
    LoopThread()
    {
        m_context.moveToThread(this);
        start();
    }
    ~LoopThread() override
    {
        quit();
        wait();
    }

private:
    QObject m_context;
};

// The service under test, in a thread of its own so that the measuring side
// does not share an event loop with it; in live mode against the given
// upstream, on the system clock or on one the bench moves.
struct InProcessService
{
    InProcessService(const QString &forecastUrl, const QString &airQualityUrl, std::atomic<qint64> *clockMs)
    {
        thread.run([&] {
            client = std::make_unique<OpenMeteoClient>();
            client->setEndpoint(QUrl(forecastUrl));
            client->setAirQualityEndpoint(QUrl(airQualityUrl));
            LiveForecastSource::Clock clock;
            if (clockMs)
                clock = [clockMs] { return QDateTime::fromMSecsSinceEpoch(clockMs->load(), Qt::UTC); };
            source = std::make_unique<LiveForecastSource>(client.get(), LocationTable::builtIn(), clock);
            server = std::make_unique<FeedServer>(LocationTable::builtIn(), source.get());
            server->listen(QHostAddress::LocalHost, 0);
            port = server->port();
        });
    }
    ~InProcessService()
    {
        thread.run([&] {
            server.reset();
            source.reset();
            client.reset();
        });
    }
    // Lets the service do what its clock now asks of it.
    void clockMoved() { source->renewIfDue(); }

    LoopThread thread;
    std::unique_ptr<OpenMeteoClient> client;
    std::unique_ptr<LiveForecastSource> source;
    std::unique_ptr<FeedServer> server;
    quint16 port = 0;
};

// One kept-alive client connection that sends a request when asked and tells
// when the whole answer is in.
class Client : public QObject
{
public:
    explicit Client(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(&m_socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
    }

    bool waitConnected() { return m_socket.waitForConnected(5000); }

    void send(const QByteArray &target)
    {
        m_buffer.clear();
        m_socket.write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }

    std::function<void(int status)> onAnswer;

private:
    void onReadyRead()
    {
        m_buffer += m_socket.readAll();
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = m_buffer.left(end).toLower();
        const qsizetype at = head.indexOf("content-length:");
        const qsizetype length = at < 0 ? 0
                                        : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong();
        if (m_buffer.size() < end + 4 + length)
            return;
        const int status = m_buffer.mid(9, 3).toInt();
        m_buffer.clear();
        if (onAnswer)
            onAnswer(status);
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
};

inline QByteArray feedTarget(int i)
{
    const QList<Location> &cities = LocationTable::builtIn().locations();
    return QByteArrayLiteral("/forecastrss?p=") + cities[i % cities.size()].id.toLatin1() + "&u=c";
}

// One refresh as the board makes it: the 24 cities one after another, each
// asked when the one before is answered. Returns the milliseconds it took,
// or -1 when the service could not be reached.
inline double refreshAll(quint16 port, int *failures)
{
    Client client(port);
    if (!client.waitConnected())
        return -1;
    const int cities = int(LocationTable::builtIn().locations().size());
    QEventLoop loop;
    int index = 0;
    *failures = 0;
    QElapsedTimer clock;
    clock.start();
    client.onAnswer = [&](int status) {
        *failures += status == 200 ? 0 : 1;
        if (++index == cities)
            loop.quit();
        else
            client.send(feedTarget(index));
    };
    client.send(feedTarget(0));
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    return index == cities ? clock.nsecsElapsed() / 1e6 : -1;
}
