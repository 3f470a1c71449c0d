// forecastd: the board's local forecast feed service.
//
// Answers http://127.0.0.1:8619/forecastrss?p=<location id>&u=c|f with an
// RSS forecast document, made from Open-Meteo's forecast and air-quality
// APIs (live), or from recorded documents (--replay); and /health. It
// listens itself, or serves on a socket that systemd's socket unit hands
// over; started that way, it exits after a while without requests, and the
// socket unit starts it again at the next.

#include "feedserver.h"
#include "livesource.h"
#include "locationtable.h"
#include "openmeteoclient.h"
#include "recordedsource.h"
#include "samples.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// How long a service started by its socket unit waits for the next request
// before it exits.
constexpr int SocketUnitIdleExitSeconds = 30 * 60;

void say(const QString &text)
{
    std::fprintf(stderr, "forecastd: %s\n", qPrintable(text));
}

// Every connection holds an open file. The soft limit is often 1024 where
// the hard one is far higher; take what is allowed. Returns the soft limit
// in force, or 0 when it cannot be told.
rlim_t raiseOpenFileLimit()
{
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0)
        return 0;
    if (files.rlim_cur < files.rlim_max) {
        const rlim_t before = files.rlim_cur;
        files.rlim_cur = files.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &files) != 0)
            files.rlim_cur = before;
    }
    return files.rlim_cur;
}

// The listening socket systemd hands over when the socket unit starts the
// service: LISTEN_PID names this process and LISTEN_FDS counts the sockets,
// from descriptor 3 on. Returns the first, or -1 when none was handed over.
// The variables are removed either way, so that no program started from
// here takes the sockets for its own.
int socketFromSystemd(QString *problem)
{
    const QByteArray pid = qgetenv("LISTEN_PID");
    const QByteArray count = qgetenv("LISTEN_FDS");
    qunsetenv("LISTEN_PID");
    qunsetenv("LISTEN_FDS");
    qunsetenv("LISTEN_FDNAMES");
    bool pidOk = false;
    bool countOk = false;
    const qint64 forPid = pid.toLongLong(&pidOk);
    const int sockets = count.toInt(&countOk);
    if (!pidOk || forPid != getpid() || !countOk || sockets < 1)
        return -1;

    constexpr int FirstDescriptor = 3;
    for (int fd = FirstDescriptor; fd < FirstDescriptor + sockets; ++fd) {
        const int flags = fcntl(fd, F_GETFD);
        if (flags >= 0)
            fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
    if (sockets > 1)
        say(QStringLiteral("systemd handed over %1 sockets; serving on the first").arg(sockets));

    int listening = 0;
    int type = 0;
    sockaddr_storage address{};
    socklen_t length = sizeof listening;
    socklen_t typeLength = sizeof type;
    socklen_t addressLength = sizeof address;
    if (getsockopt(FirstDescriptor, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) != 0 || !listening
        || getsockopt(FirstDescriptor, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0 || type != SOCK_STREAM
        || getsockname(FirstDescriptor, reinterpret_cast<sockaddr *>(&address), &addressLength) != 0
        || (address.ss_family != AF_INET && address.ss_family != AF_INET6)) {
        *problem = QStringLiteral("the socket systemd handed over is not a listening TCP socket");
        return -1;
    }
    return FirstDescriptor;
}

QString urlHost(const QHostAddress &address)
{
    return address.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                                                                 : address.toString();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("forecastd"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Local forecast feed service of the RORizedivo weather board.\n"
        "Serves http://127.0.0.1:<port>/forecastrss?p=<location id>&u=c|f.\n"
        "Weather data by Open-Meteo.com (CC BY 4.0); air quality data by Open-Meteo.com "
        "from Copernicus CAMS (CC BY 4.0)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
        QStringLiteral("Listen on 127.0.0.1:<port> (default 8619; 0 picks a free port)."),
        QStringLiteral("port"), QStringLiteral("8619"));
    const QCommandLineOption replayOption(QStringLiteral("replay"),
        QStringLiteral("Serve the recorded documents <dir>/<id>.xml (u=c) and <dir>/<id>-f.xml (u=f) "
                       "instead of asking the upstream."),
        QStringLiteral("dir"));
    const QCommandLineOption recordOption(QStringLiteral("record"),
        QStringLiteral("Keep a copy of every document served in <dir>, in the layout --replay reads."),
        QStringLiteral("dir"));
    const QCommandLineOption upstreamOption(QStringLiteral("upstream"),
        QStringLiteral("Ask this forecast endpoint instead of %1.").arg(OpenMeteoClient::defaultEndpoint().toString()),
        QStringLiteral("url"));
    const QCommandLineOption airQualityOption(QStringLiteral("air-quality-upstream"),
        QStringLiteral("Ask this air-quality endpoint instead of %1.")
            .arg(OpenMeteoClient::defaultAirQualityEndpoint().toString()),
        QStringLiteral("url"));
    const QCommandLineOption renderOption(QStringLiteral("render"),
        QStringLiteral("Do not serve: write the u=c document of every city from the upstream answers "
                       "<dir>/<id>.json (and <dir>/<id>-air-quality.json where there is one) into the folder "
                       "given by --output, then exit."),
        QStringLiteral("dir"));
    const QCommandLineOption outputOption(QStringLiteral("output"),
        QStringLiteral("Where --render writes its documents."), QStringLiteral("dir"));
    const QCommandLineOption idleExitOption(QStringLiteral("idle-exit"),
        QStringLiteral("Exit after <seconds> without a request (0: never). Started by its systemd socket "
                       "unit (on the socket the unit hands over), the service exits after %1 seconds "
                       "without a request, and the unit starts it again at the next one; started any "
                       "other way, it never exits on its own.").arg(SocketUnitIdleExitSeconds),
        QStringLiteral("seconds"));
    parser.addOptions({portOption, replayOption, recordOption, upstreamOption, airQualityOption, renderOption,
                       outputOption, idleExitOption});
    parser.process(app);

    const LocationTable &locations = LocationTable::builtIn();

    if (parser.isSet(renderOption)) {
        if (!parser.isSet(outputOption)) {
            say(QStringLiteral("--render needs --output"));
            return 2;
        }
        const QStringList problems = renderSampleDocuments(locations, parser.value(renderOption),
                                                           parser.value(outputOption));
        for (const QString &problem : problems)
            say(problem);
        return problems.isEmpty() ? 0 : 1;
    }

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        say(QStringLiteral("not a port: %1").arg(parser.value(portOption)));
        return 2;
    }
    if (parser.isSet(replayOption) && (parser.isSet(upstreamOption) || parser.isSet(airQualityOption))) {
        say(QStringLiteral("--replay and --upstream or --air-quality-upstream exclude each other"));
        return 2;
    }
    int idleExitSeconds = -1; // not given
    if (parser.isSet(idleExitOption)) {
        bool ok = false;
        idleExitSeconds = parser.value(idleExitOption).toInt(&ok);
        if (!ok || idleExitSeconds < 0 || idleExitSeconds > 24 * 3600) {
            say(QStringLiteral("not a number of seconds from 0 to 86400: %1").arg(parser.value(idleExitOption)));
            return 2;
        }
    }

    std::unique_ptr<OpenMeteoClient> client;
    std::unique_ptr<ForecastSource> source;
    QString origin;
    if (parser.isSet(replayOption)) {
        const QString dir = parser.value(replayOption);
        if (!QFileInfo(dir).isDir()) {
            say(QStringLiteral("no such folder: %1").arg(dir));
            return 2;
        }
        source = std::make_unique<ReplayForecastSource>(dir);
        origin = QStringLiteral("replaying the recorded documents in %1").arg(QDir(dir).absolutePath());
    } else {
        client = std::make_unique<OpenMeteoClient>();
        for (const QCommandLineOption *option : {&upstreamOption, &airQualityOption}) {
            if (!parser.isSet(*option))
                continue;
            const QUrl endpoint(parser.value(*option));
            if (!endpoint.isValid() || (endpoint.scheme() != QLatin1String("http")
                                        && endpoint.scheme() != QLatin1String("https"))) {
                say(QStringLiteral("not an http(s) address: %1").arg(parser.value(*option)));
                return 2;
            }
            if (option == &upstreamOption)
                client->setEndpoint(endpoint);
            else
                client->setAirQualityEndpoint(endpoint);
        }
        auto live = std::make_unique<LiveForecastSource>(client.get(), locations);
        // The last good answers outlive a restart, under $XDG_CACHE_HOME.
        const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
            + QStringLiteral("/rorizedivo/forecastd");
        live->setCacheDirectory(cache);
        source = std::move(live);
        origin = QStringLiteral("live from %1 and %2, answers kept in %3")
                     .arg(client->endpoint().toString(), client->airQualityEndpoint().toString(), cache);
    }

    std::unique_ptr<ForecastSource> recorder;
    ForecastSource *served = source.get();
    if (parser.isSet(recordOption)) {
        recorder = std::make_unique<RecordingForecastSource>(source.get(), parser.value(recordOption));
        served = recorder.get();
    }

    FeedServer server(locations, served);
    // Room for the connections, the upstream's and Qt's own files.
    if (const rlim_t files = raiseOpenFileLimit(); files > 0)
        server.setConnectionLimit(int(std::min<rlim_t>(files > 128 ? files - 64 : files / 2,
                                                       FeedServer::MaximumConnections)));

    QString problem;
    const int handedOver = socketFromSystemd(&problem);
    if (!problem.isEmpty()) {
        say(problem);
        return 1;
    }
    if (handedOver >= 0) {
        if (!server.setSocketDescriptor(handedOver)) {
            say(QStringLiteral("cannot serve on the socket systemd handed over: %1").arg(server.errorString()));
            return 1;
        }
        if (parser.isSet(portOption))
            say(QStringLiteral("--port is ignored: serving on the socket systemd handed over"));
    } else if (!server.listen(QHostAddress::LocalHost, static_cast<quint16>(port))) {
        say(QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(server.errorString()));
        return 1;
    }
    say(QStringLiteral("serving http://%1:%2/forecastrss for %3 cities, %4%5")
            .arg(urlHost(server.address()))
            .arg(server.port())
            .arg(locations.locations().size())
            .arg(origin, handedOver >= 0 ? QStringLiteral(", on the socket systemd handed over") : QString()));

    const int idleExit = idleExitSeconds >= 0 ? idleExitSeconds : (handedOver >= 0 ? SocketUnitIdleExitSeconds : 0);
    if (idleExit > 0) {
        server.setIdleInterval(idleExit * 1000);
        QObject::connect(&server, &FeedServer::idleTimeout, &app, [idleExit] {
            say(QStringLiteral("no request for %1 s; exiting").arg(idleExit));
            QCoreApplication::quit();
        });
    }
    if (recorder)
        say(QStringLiteral("recording every document served in %1").arg(parser.value(recordOption)));
    say(QStringLiteral("Weather data by Open-Meteo.com (CC BY 4.0); air quality data by Open-Meteo.com from Copernicus CAMS (CC BY 4.0)"));
    return app.exec();
}
