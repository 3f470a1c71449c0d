#pragma once

#include "platform/services.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// The outside world as a test sets it: a clock standing at a chosen minute,
// an online switch, and records of message boxes, sounds and started programs.
struct FakeWorld
{
    QDateTime now = QDateTime(QDate(2026, 12, 7), QTime(10, 40));
    bool online = true;
    OfflineCause offlineCause = OfflineCause::ServiceNotRunning; // while not online
    QStringList messages;
    QStringList sounds;
    QList<QPair<QString, QStringList>> launches;
    QString settingsFile; // the person's own cities; empty: kept for the run only

    BoardServices services(const QString &applicationFolder);
};

// Makes folder the application folder of a board that has closed once
// before (its first-close marker written), with a new store of the seed
// cities. Returns false when either cannot be written.
bool prepareBoardFolder(const QString &folder);

// Rewrites the feed address of every row of a store so that it points at
// base (a loopback test server) instead of the seed host.
void pointFeedsAt(const QString &storePath, const QString &base);

// Fills the row of the given city code with weather values, as a refresh would.
struct CityWeather
{
    QString code;
    float temp = 0;
    QString condition;
    float visibility = 0;
    QString windDirection;
    float windSpeed = 0;
    float wCatg = 0;
};
void storeWeather(const QString &storePath, const QList<CityWeather> &cities);

// A forecast document of the recorded shape for one city.
struct FeedDocument
{
    QString city = QStringLiteral("Riyadh");
    QString temp = QStringLiteral("25");
    QString code = QStringLiteral("32");
    QString windDirection = QStringLiteral("30");
    QString windSpeed = QStringLiteral("14.48");
    QString visibility = QStringLiteral("9.99");
    QString link = QStringLiteral("http://weather.example/forecast/SAXX0017_c.html");
    // rorizedivo:warning and rorizedivo:hour elements after the forecasts, as
    // the feed service writes them; the namespace is declared only when
    // there are any.
    QString warnings;
    QString hours;
    // The coming days' elements; empty: today's and tomorrow's of the recorded shape.
    QString forecast;

    QByteArray toXml() const;
};

// `count` rorizedivo:hour elements from the whole hour `first` (in the
// cities' time), each a degree warmer than the one before from 20, a north-
// east wind of 10 km/h.
QString hourElements(const QDateTime &first, int count = 24);

class LoopbackHttpServer;
// Answers each city's feed request on server with a document of the shape
// above for the city asked, at the given temperature, with its next 24 hours
// from the hour the request came in.
void serveEveryCity(LoopbackHttpServer &server, const QString &temp = FeedDocument().temp);
// The feeds the server was asked for; the board's health checks of the
// feed service before its refreshes are not counted.
int feedRequests(const LoopbackHttpServer &server);

// The built board (the executable in builtFolder, its map pictures, sounds
// and cursor) in an application folder of its own, as a user's machine
// holds it, with a server on the seed host (127.0.0.1:8619, which tests
// using it lock) that answers every city's feed.
class BuiltBoard
{
public:
    // Empty when the board is not built or cannot be set up (8619 taken).
    QString install(const QString &builtFolder);
    QString program() const { return m_program; }
    QString folder() const { return m_dir.path(); }
    LoopbackHttpServer &server() { return *m_server; }

    BuiltBoard();
    ~BuiltBoard();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<LoopbackHttpServer> m_server;
    QString m_program;
};
