// forecastd-bench: how fast the feed service answers on loopback.
//
// By default it starts its own service in a thread of its own, live mode,
// with a stand-in upstream on loopback (so no network is needed and no
// real upstream is bothered), fills the cache with the 24 cities, and then
// reports:
//   - the answer time of one cached document, request by request over one
//     kept-alive connection (min, median, 95th and 99th percentile, max);
//   - the rate sustained by several kept-alive connections for a few seconds;
//   - under abuse: with thousands of clients holding half-sent request heads
//     open, the answer time of an ordinary request on a new connection, and
//     whether a crowd of clients asking at once all get their documents.
// Before these it reports the upstream calls of simulated days, and what a
// whole day of outage costs with a board open (--outage reports only that).
// With --port it measures a service already running on 127.0.0.1:<port>
// instead (for example one started with --replay).
//
// With --board it measures what a user waits for: a stand-in upstream that
// answers after --delay ms (300 by default, an internet round trip), the
// real forecastd on 127.0.0.1:8619 in front of it, and the real board started
// in a copy of its application folder (offscreen). It reports the time from
// the board's start to its 24th stored row, the upstream calls that cost,
// and then the board's refreshes: one right after (within the cache's
// 15 minutes) against that forecastd, and one 23 minutes later (the board's
// refresh at :28 after one at :05) against an in-process service of the
// same code on a clock the bench moves.

#include "feedserver.h"
#include "outagebench.h"
#include "standinupstream.h"
#include "livesource.h"
#include "quarterseries.h"
#include "seriesanswer.h"
#include "locationtable.h"
#include "openmeteoclient.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <future>
#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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

// Clients that open a connection each, send the first part of a request
// head and then nothing more, for as long as the service keeps them. Plain
// sockets that no event loop watches, so that holding thousands of them
// costs the measuring side nothing. They all connect at once; those whose
// connection is not made within the time given are left out.
class Holders
{
public:
    Holders(quint16 port, int count, int timeoutMs)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::vector<pollfd> connecting;
        for (int i = 0; i < count; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0)
                break;
            if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
                established(fd);
            else if (errno == EINPROGRESS)
                connecting.push_back({fd, POLLOUT, 0});
            else
                ::close(fd);
        }
        QElapsedTimer clock;
        clock.start();
        while (!connecting.empty() && clock.elapsed() < timeoutMs) {
            if (::poll(connecting.data(), connecting.size(), 10) <= 0)
                continue;
            std::vector<pollfd> still;
            for (const pollfd &p : connecting) {
                if (p.revents == 0) {
                    still.push_back(p);
                    continue;
                }
                int error = 0;
                socklen_t length = sizeof error;
                if (::getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
                    established(p.fd);
                else
                    ::close(p.fd);
            }
            connecting.swap(still);
        }
        for (const pollfd &p : connecting)
            ::close(p.fd);
    }
    ~Holders()
    {
        for (int fd : m_sockets)
            ::close(fd);
    }

    int opened() const { return int(m_sockets.size()); }

    // How many the service has closed by now.
    int closed() const
    {
        int closed = 0;
        for (int fd : m_sockets) {
            char byte = 0;
            const ssize_t got = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
            closed += got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK) ? 1 : 0;
        }
        return closed;
    }

private:
    void established(int fd)
    {
        static const char half[] = "GET /forecastrss?p=SAXX0017&u=c HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Ag";
        if (::send(fd, half, sizeof half - 1, MSG_NOSIGNAL) < 0) {
            ::close(fd);
            return;
        }
        m_sockets.push_back(fd);
    }

    std::vector<int> m_sockets;
};

// The time from connecting to the whole answer of one ordinary request on a
// new connection, in ms; negative when none came within the time.
double ordinaryRequest(quint16 port, const QByteArray &target, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    Client client(port);
    int status = 0;
    client.onAnswer = [&status](int answered) { status = answered; };
    client.send(target);
    if (!waitFor([&status] { return status != 0; }, timeoutMs))
        return -1.0;
    return status == 200 ? clock.nsecsElapsed() / 1e6 : -1.0;
}

// Every client holds a descriptor, and so does the service's side of it.
void raiseOpenFileLimit()
{
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
}

double percentile(std::vector<double> sorted, double p)
{
    if (sorted.empty())
        return 0.0;
    const size_t index = std::min(sorted.size() - 1, static_cast<size_t>(p * (sorted.size() - 1) + 0.5));
    return sorted[index];
}

QByteArray feedTarget(int i)
{
    const QList<Location> &cities = LocationTable::builtIn().locations();
    return QByteArrayLiteral("/forecastrss?p=") + cities[i % cities.size()].id.toLatin1() + "&u=c";
}

// One refresh as the board makes it: the 24 cities one after another, each
// asked when the one before is answered. Returns the milliseconds it took,
// or -1 when the service could not be reached.
double refreshAll(quint16 port, int *failures)
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

// Rows of the board's store that hold a temperature (a row being refreshed
// is cleared to 0 first); -1 while the store cannot be read.
int storedRows(const QString &path)
{
    if (!QFileInfo::exists(path))
        return -1;
    sqlite3 *db = nullptr;
    int rows = -1;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 20);
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, "select count(*) from wt where Temp <> 0", -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW)
            rows = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return rows;
}

bool copyFolder(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    const QDir source(from);
    for (const QFileInfo &entry : source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = QDir(to).filePath(entry.fileName());
        if (entry.isDir() ? !copyFolder(entry.filePath(), target) : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

// Starts the board in a fresh copy of its application folder (no store yet)
// and waits for its 24th stored row. Returns the milliseconds from its start,
// or -1 when the rows did not come within a minute.
double boardToFullRows(const QString &boardPath, const QString &folder, int cities)
{
    QDir(folder).removeRecursively();
    if (!copyFolder(QFileInfo(boardPath).absolutePath(), folder)) {
        std::fprintf(stderr, "cannot copy the board's folder %s\n", qPrintable(QFileInfo(boardPath).absolutePath()));
        return -1;
    }
    QFile::remove(QDir(folder).filePath(QStringLiteral("wt.dar")));
    QProcess board;
    board.setProgram(QDir(folder).filePath(QFileInfo(boardPath).fileName()));
    board.setWorkingDirectory(folder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    board.setProcessEnvironment(environment);
    board.setProcessChannelMode(QProcess::ForwardedChannels);
    const QString store = QDir(folder).filePath(QStringLiteral("wt.dar"));

    QElapsedTimer sinceStart;
    board.start();
    sinceStart.start();
    int rows = -1;
    const bool filled = waitFor([&] { return (rows = storedRows(store)) >= cities; }, 60000);
    const double ms = sinceStart.nsecsElapsed() / 1e6;
    if (!filled)
        std::printf("only %d of %d rows stored after %.0f ms\n", std::max(rows, 0), cities, ms);
    board.terminate();
    board.waitForFinished(5000);
    return filled ? ms : -1;
}

int runBoardCase(int delayMs, const QString &boardPath, const QString &forecastdPath)
{
    constexpr quint16 FeedPort = 8619; // where the board's store sends it
    const int cities = int(LocationTable::builtIn().locations().size());

    QTemporaryDir scratch;
    const QString folder = scratch.filePath(QStringLiteral("app"));
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, FeedPort)) {
            std::fprintf(stderr, "127.0.0.1:%u is taken; the board's feeds point there, so the bench needs it\n",
                         FeedPort);
            return 1;
        }
    }

    LoopThread upstreamThread;
    std::unique_ptr<StandInUpstream> upstream;
    upstreamThread.run([&] {
        upstream = std::make_unique<StandInUpstream>(delayMs);
        upstream->listen();
    });

    // The real service, with a cache folder of its own so that it starts cold.
    QProcess service;
    service.setProgram(forecastdPath);
    QStringList arguments{QStringLiteral("--port"), QString::number(FeedPort), QStringLiteral("--upstream"),
                          upstream->url("/v1/forecast")};
    {
        QProcess help;
        help.start(forecastdPath, {QStringLiteral("--help")});
        help.waitForFinished(5000);
        if (help.readAllStandardOutput().contains("--air-quality-upstream"))
            arguments << QStringLiteral("--air-quality-upstream") << upstream->url("/v1/air-quality");
    }
    service.setArguments(arguments);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), scratch.filePath(QStringLiteral("cache")));
    service.setProcessEnvironment(environment);
    service.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    QByteArray serviceSaid;
    service.start();
    if (!waitFor(
            [&] {
                service.waitForReadyRead(5);
                serviceSaid += service.readAllStandardError();
                return serviceSaid.contains("serving http://") || service.state() == QProcess::NotRunning;
            },
            10000)
        || service.state() == QProcess::NotRunning) {
        std::fprintf(stderr, "forecastd did not come up: %s\n", serviceSaid.constData());
        return 1;
    }

    std::printf("upstream delay %d ms; board %s; service %s; application folder in %s\n", delayMs,
                qPrintable(boardPath), qPrintable(forecastdPath), qPrintable(QDir::tempPath()));
    const double coldMs = boardToFullRows(boardPath, folder, cities);
    if (coldMs >= 0)
        std::printf(
            "cold start: %d rows stored %.0f ms after the board's start; %d forecast + %d air-quality upstream calls\n",
            cities, coldMs, int(upstream->forecastCalls), int(upstream->airQualityCalls));
    service.readAllStandardError();

    // The board's own share: the same again, the service's cache now warm.
    const double aloneMs = boardToFullRows(boardPath, folder, cities);
    if (aloneMs >= 0)
        std::printf("the board alone (started anew, the service's cache warm): %.0f ms\n", aloneMs);

    // The board's next refresh within 15 minutes, against the same service.
    int failures = 0;
    const int before = upstream->forecastCalls + upstream->airQualityCalls;
    const double soonMs = refreshAll(FeedPort, &failures);
    std::printf("refresh right after: %.0f ms for %d cities; %d upstream calls%s\n", soonMs, cities,
                upstream->forecastCalls + upstream->airQualityCalls - before, failures ? " (some not 200!)" : "");
    service.terminate();
    service.waitForFinished(5000);

    // The board's refresh at :28 after one at :05, two quarters later: the
    // same code in process, on a clock moved minute by minute with a moment
    // for the service to act at each.
    std::atomic<qint64> clockMs{QDateTime(QDate(2026, 12, 7), QTime(10, 5), Qt::UTC).toMSecsSinceEpoch()};
    InProcessService inProcess(upstream->url("/v1/forecast"), upstream->url("/v1/air-quality"), &clockMs);
    refreshAll(inProcess.port, &failures);
    for (int minute = 1; minute <= 23; ++minute) {
        clockMs += 60 * 1000;
        inProcess.thread.run([&] { inProcess.clockMoved(); });
        QThread::msleep(minute == 15 ? 3 * delayMs + 500 : 20);
    }
    const int beforeLate = upstream->forecastCalls + upstream->airQualityCalls;
    const double lateMs = refreshAll(inProcess.port, &failures);
    std::printf("refresh 23 minutes later: %.0f ms for %d cities; %d upstream calls in it, %d since the first%s\n",
                lateMs, cities, upstream->forecastCalls + upstream->airQualityCalls - beforeLate,
                upstream->forecastCalls + upstream->airQualityCalls - before, failures ? " (some not 200!)" : "");

    upstreamThread.run([&] { upstream.reset(); });
    return coldMs >= 0 ? 0 : 1;
}

// A day of one machine at the board's schedule (refreshes at minutes 5, 18
// and 28 for all its cities while the board runs), on a clock the bench
// moves minute by minute: what the service asks of the upstream, as the
// upstream counts it. The service is the socket unit's: it ends once no
// board has asked for LiveForecastSource::IdleExitSeconds and no wave is
// under way, and the next request starts a new one, which takes up the
// answers and the ledger the one before kept.
struct DayOfCalls
{
    double weighted = 0; // today's calls as the ledger of the last start has them
    double counted = 0; // as the upstream counted them
    int forecastRequests = 0;
    int airQualityRequests = 0;
    int answered = 0;
    int asked = 0;
    int starts = 0;
};

DayOfCalls runDay(StandInUpstream &upstream, int failingCity, const std::function<bool(const QTime &)> &boardRuns)
{
    upstream.failingCity = failingCity;
    const int forecastsBefore = upstream.forecastCalls;
    const int airBefore = upstream.airQualityCalls;
    OpenMeteoClient client;
    client.setEndpoint(QUrl(upstream.url("/v1/forecast")));
    client.setAirQualityEndpoint(QUrl(upstream.url("/v1/air-quality")));
    const QDateTime day(QDate(2026, 12, 8), QTime(0, 0), Qt::UTC);
    QDateTime now = day;
    const auto clock = [&now] { return now; };
    QTemporaryDir kept; // the service's cache folder, which outlives each start
    std::unique_ptr<LiveForecastSource> source;
    DayOfCalls result;
    for (int minute = 0; minute < 24 * 60; ++minute) {
        now = day.addSecs(minute * 60);
        if (source) {
            source->renewIfDue();
            if (!source->busy() && source->lastAsked().secsTo(now) > LiveForecastSource::IdleExitSeconds)
                source.reset(); // the idle exit
        }
        const int clockMinute = now.time().minute();
        if (boardRuns(now.time()) && (clockMinute == 5 || clockMinute == 18 || clockMinute == 28)) {
            if (!source) { // started by the socket at the first request
                source = std::make_unique<LiveForecastSource>(&client, LocationTable::builtIn(), clock);
                source->setCacheDirectory(kept.path());
                ++result.starts;
            }
            for (const Location &location : LocationTable::builtIn().locations()) {
                int status = -1;
                source->document(location, Units::Metric, [&status](const ServedDocument &served) {
                    status = served.status == ServedDocument::Status::Ok ? 1 : 0;
                });
                waitFor([&status] { return status >= 0; }, 20000);
                ++result.asked;
                result.answered += status == 1 ? 1 : 0;
            }
        }
        if (source)
            waitFor([&source] { return !source->waveRunning(); }, 20000);
    }
    source.reset();
    LiveForecastSource next(&client, LocationTable::builtIn(), clock);
    next.setCacheDirectory(kept.path());
    const int cities = int(LocationTable::builtIn().locations().size());
    result.weighted = next.ledger().weightedToday(now);
    result.forecastRequests = upstream.forecastCalls - forecastsBefore;
    result.airQualityRequests = upstream.airQualityCalls - airBefore;
    result.counted = result.forecastRequests * OpenMeteoClient::weightOf(cities, OpenMeteoClient::forecastVariables())
        + result.airQualityRequests * OpenMeteoClient::weightOf(cities, OpenMeteoClient::airQualityVariables());
    upstream.failingCity = -1;
    return result;
}

void reportDaysOfCalls(StandInUpstream &upstream)
{
    std::printf("upstream calls of one machine in a day at the board's schedule, the service ending after %d idle "
                "minutes and started again by the next request (at most 1,500 weighted calls; the free API allows "
                "fewer than 10,000 a day per address):\n",
                LiveForecastSource::IdleExitSeconds / 60);
    const auto allDay = [](const QTime &) { return true; };
    // A board on from 08:00 to 12:00 and from 14:00 to 22:00 AST: the
    // service ends in each pause and overnight.
    const auto withPauses = [](const QTime &utc) {
        return (utc >= QTime(5, 0) && utc < QTime(9, 0)) || (utc >= QTime(11, 0) && utc < QTime(19, 0));
    };
    const struct
    {
        const char *name;
        int failing;
        std::function<bool(const QTime &)> boardRuns;
    } days[] = {{"board on all day:", -1, allDay},
                {"one city always failing:", 8, allDay},
                {"board on 08-12 and 14-22 AST:", -1, withPauses}};
    for (const auto &row : days) {
        const DayOfCalls day = runDay(upstream, row.failing, row.boardRuns);
        std::printf("  %-30s %.1f weighted calls (ledger %.1f; %d forecast and %d air-quality requests); "
                    "%d start(s) of the service; %d of %d documents served\n",
                    row.name, day.counted, day.weighted, day.forecastRequests, day.airQualityRequests, day.starts,
                    day.answered, day.asked);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures forecastd's answer time and rate on loopback."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Measure the service already listening on 127.0.0.1:<port>."),
                                        QStringLiteral("port"));
    const QCommandLineOption requestsOption(QStringLiteral("requests"),
                                            QStringLiteral("Requests timed one by one (default 2000)."),
                                            QStringLiteral("n"), QStringLiteral("2000"));
    const QCommandLineOption connectionsOption(QStringLiteral("connections"),
                                               QStringLiteral("Connections for the rate (default 8)."),
                                               QStringLiteral("n"), QStringLiteral("8"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("How long the rate is measured (default 3)."),
                                           QStringLiteral("s"), QStringLiteral("3"));
    const QCommandLineOption holdersOption(
        QStringLiteral("idle-clients"),
        QStringLiteral("Clients holding half-sent heads open under abuse (default 3000; 0 skips it)."),
        QStringLiteral("n"), QStringLiteral("3000"));
    const QCommandLineOption crowdOption(QStringLiteral("crowd"),
                                         QStringLiteral("Clients asking at once under abuse (default 200)."),
                                         QStringLiteral("n"), QStringLiteral("200"));
    const QCommandLineOption outageOption(
        QStringLiteral("outage"),
        QStringLiteral("Only report what a day of outage costs, with a board open (also reported by default)."));
    const QCommandLineOption boardOption(
        QStringLiteral("board"),
        QStringLiteral("Measure the board's start and refreshes end to end (needs 127.0.0.1:8619 free)."));
    const QCommandLineOption delayOption(
        QStringLiteral("delay"),
        QStringLiteral("With --board: how long the stand-in upstream takes to answer (default 300 ms)."),
        QStringLiteral("ms"), QStringLiteral("300"));
    const QCommandLineOption boardPathOption(
        QStringLiteral("board-executable"),
        QStringLiteral("With --board: the board to start (default ../app-folder/RORizedivo beside this program)."),
        QStringLiteral("path"));
    const QCommandLineOption forecastdOption(
        QStringLiteral("forecastd"),
        QStringLiteral("With --board: the service to start (default forecastd beside this program)."),
        QStringLiteral("path"));
    parser.addOptions({portOption, requestsOption, connectionsOption, secondsOption, holdersOption, crowdOption,
                       outageOption, boardOption, delayOption, boardPathOption, forecastdOption});
    parser.process(app);
    raiseOpenFileLimit();

    if (parser.isSet(boardOption)) {
        const QDir here(QCoreApplication::applicationDirPath());
        const QString board = parser.isSet(boardPathOption) ? parser.value(boardPathOption)
                                                            : here.filePath(QStringLiteral("../app-folder/RORizedivo"));
        const QString forecastd = parser.isSet(forecastdOption) ? parser.value(forecastdOption)
                                                                : here.filePath(QStringLiteral("forecastd"));
        return runBoardCase(std::max(0, parser.value(delayOption).toInt()), QFileInfo(board).absoluteFilePath(),
                            QFileInfo(forecastd).absoluteFilePath());
    }

    const int requests = std::max(1, parser.value(requestsOption).toInt());
    const int connections = std::max(1, parser.value(connectionsOption).toInt());
    const int seconds = std::max(1, parser.value(secondsOption).toInt());
    const int holders = std::max(0, parser.value(holdersOption).toInt());
    const int crowd = std::max(1, parser.value(crowdOption).toInt());

    LoopThread upstreamThread;
    std::unique_ptr<StandInUpstream> upstream;
    std::unique_ptr<InProcessService> service;
    quint16 port = 0;
    if (parser.isSet(portOption)) {
        port = static_cast<quint16>(parser.value(portOption).toUInt());
        std::printf("measuring the service on 127.0.0.1:%u\n", port);
    } else {
        upstreamThread.run([&] {
            upstream = std::make_unique<StandInUpstream>(0);
            upstream->listen();
        });
        if (parser.isSet(outageOption)) {
            reportOutageDays(*upstream);
            upstreamThread.run([&] { upstream.reset(); });
            return 0;
        }
        reportDaysOfCalls(*upstream);
        reportOutageDays(*upstream);
        service = std::make_unique<InProcessService>(upstream->url("/v1/forecast"), upstream->url("/v1/air-quality"),
                                                     nullptr);
        port = service->port;
        std::printf("measuring an in-process service on 127.0.0.1:%u (live mode, stand-in upstream)\n", port);
    }

    const QList<Location> &cities = LocationTable::builtIn().locations();
    const auto target = feedTarget;

    // Fill the cache (and time the first, uncached answers).
    {
        int failures = 0;
        const double ms = refreshAll(port, &failures);
        if (ms < 0) {
            std::fprintf(stderr, "cannot connect to 127.0.0.1:%u\n", port);
            return 1;
        }
        std::printf("first answers of %d cities: %.1f ms in all%s\n", int(cities.size()), ms,
                    failures ? " (some not 200!)" : "");
    }

    // Answer time of a cached document, one request at a time.
    {
        Client client(port);
        client.waitConnected();
        std::vector<double> micros;
        micros.reserve(requests);
        QEventLoop loop;
        QElapsedTimer clock;
        int sent = 0;
        int failures = 0;
        client.onAnswer = [&](int status) {
            micros.push_back(clock.nsecsElapsed() / 1e3);
            failures += status == 200 ? 0 : 1;
            if (++sent == requests) {
                loop.quit();
                return;
            }
            clock.restart();
            client.send(target(sent));
        };
        clock.start();
        client.send(target(0));
        loop.exec();
        std::sort(micros.begin(), micros.end());
        std::printf("cached document, %d requests on one connection: min %.0f us, median %.0f us, "
                    "p95 %.0f us, p99 %.0f us, max %.0f us%s\n",
                    requests, micros.front(), percentile(micros, 0.5), percentile(micros, 0.95),
                    percentile(micros, 0.99), micros.back(), failures ? " (some not 200!)" : "");
    }

    // Sustained rate with several connections kept busy.
    {
        std::vector<std::unique_ptr<Client>> clients;
        qint64 answered = 0;
        qint64 failures = 0;
        bool running = true;
        for (int c = 0; c < connections; ++c) {
            clients.push_back(std::make_unique<Client>(port));
            clients.back()->waitConnected();
        }
        QElapsedTimer clock;
        clock.start();
        for (int c = 0; c < connections; ++c) {
            Client *client = clients[c].get();
            auto next = std::make_shared<int>(c);
            client->onAnswer = [&, client, next](int status) {
                ++answered;
                failures += status == 200 ? 0 : 1;
                if (running)
                    client->send(target(++*next));
            };
            client->send(target(c));
        }
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &loop, [&] {
            running = false;
            loop.quit();
        });
        loop.exec();
        const double elapsed = clock.nsecsElapsed() / 1e9;
        std::printf("sustained: %lld answers in %.2f s over %d connections = %.0f answers/s%s\n",
                    static_cast<long long>(answered), elapsed, connections, answered / elapsed,
                    failures ? " (some not 200!)" : "");
    }

    // Under abuse: clients that hold half-sent heads, then ordinary requests.
    if (holders > 0) {
        QElapsedTimer clock;
        clock.start();
        const Holders holding(port, holders, 3000);
        std::printf("abuse: %d of %d clients opened connections and sent half a head in %.0f ms\n", holding.opened(),
                    holders, clock.nsecsElapsed() / 1e6);
        const auto report = [](const char *what, const std::vector<double> &millis) {
            if (millis.empty()) {
                std::printf("abuse: %s: no answer within 10 s\n", what);
                return;
            }
            std::vector<double> sorted = millis;
            std::sort(sorted.begin(), sorted.end());
            std::printf("abuse: %s, %d answered: first %.1f ms, median %.1f ms, max %.1f ms\n", what,
                        int(millis.size()), millis.front(), percentile(sorted, 0.5), sorted.back());
        };
        // One after the other, each on a new connection.
        const auto ordinary = [&](int count) {
            std::vector<double> millis;
            for (int i = 0; i < count; ++i) {
                const double ms = ordinaryRequest(port, target(i), 10000);
                if (ms < 0)
                    break; // each further one would wait as long
                millis.push_back(ms);
            }
            return millis;
        };

        // Right behind them, while the service may still be taking them in.
        report("ordinary request on a new connection right behind them", ordinary(1));
        // Once the service has taken them all in (none closed for 100 ms).
        int closed = holding.closed();
        for (int still = 0; still < 10 && clock.elapsed() < 3000; ++still) {
            QThread::msleep(10);
            const int now = holding.closed();
            if (now != closed)
                still = 0;
            closed = now;
        }
        std::printf("abuse: after %.0f ms the service holds %d of them open, has closed %d\n",
                    clock.nsecsElapsed() / 1e6, holding.opened() - closed, closed);
        report("ordinary requests on new connections", ordinary(20));

        std::vector<std::unique_ptr<Client>> asking;
        int answered = 0;
        int failures = 0;
        double lastMs = 0;
        clock.restart();
        for (int c = 0; c < crowd; ++c) {
            asking.push_back(std::make_unique<Client>(port));
            asking.back()->onAnswer = [&](int status) {
                ++answered;
                failures += status == 200 ? 0 : 1;
                lastMs = clock.nsecsElapsed() / 1e6;
            };
            asking.back()->send(target(c));
        }
        waitFor([&] { return answered >= crowd; }, 20000);
        std::printf("abuse: %d clients asking at once: %d got their documents%s, the last after %.1f ms\n", crowd,
                    answered - failures, failures ? " (some answers not 200!)" : "", lastMs);
        std::printf("abuse: of the %d holding clients, %d were closed by the service by now\n", holding.opened(),
                    holding.closed());
    }

    service.reset();
    upstreamThread.run([&] { upstream.reset(); });
    return 0;
}
