#pragma once

// The stand-in for Open-Meteo that forecastd-bench measures the service
// against, on loopback, and what the bench's parts share.

#include "seriesanswer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

#include <atomic>
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
            const QUrlQuery query(target);
            const int count = int(query.queryItemValue(QStringLiteral("latitude")).count(u',')) + 1;
            const bool air = target.path().contains(QLatin1String("air-quality"));
            ++(air ? airQualityCalls : forecastCalls);
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
