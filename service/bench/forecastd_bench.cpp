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
// whole day of outage costs with a board open (--outage reports only that,
// --calls only the days of calls).
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

#include "benchsupport.h"
#include "boardbench.h"
#include "upstreamdays.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
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
    const QCommandLineOption callsOption(
        QStringLiteral("calls"),
        QStringLiteral("Only report the upstream calls of simulated days (also reported by default)."));
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
                       outageOption, callsOption, boardOption, delayOption, boardPathOption, forecastdOption});
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
        if (parser.isSet(callsOption)) {
            reportDaysOfCalls(*upstream);
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
