// forecastd: the board's local forecast feed service.
//
// Answers http://127.0.0.1:8619/forecastrss?p=<location id>&u=c|f with an
// RSS forecast document, made from Open-Meteo's forecast and air-quality
// APIs (live), or from recorded documents (--replay); and /health and
// /metrics. Its settings come from /etc/rorizedivo/forecastd.conf (handed
// over by the system unit; started any other way, also the user's own), and
// the command line wins over them. It listens itself, or serves on a socket
// that systemd's socket unit hands over; started that way, it exits once no
// board has asked for a while, and the socket unit starts it again at the
// next request. --check-config checks a settings file and exits.

#include "feedserver.h"
#include "livesource.h"
#include "locationtable.h"
#include "officialwarnings.h"
#include "openmeteoclient.h"
#include "recordedsource.h"
#include "samples.h"
#include "serviceconfig.h"
#include "servicelog.h"

#include "platform/journallog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSslCertificate>
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
constexpr int SocketUnitIdleExitSeconds = LiveForecastSource::IdleExitSeconds;

// The exit status of settings or options it cannot take: the unit does not
// restart the service for it (RestartPreventExitStatus), as nothing would
// change until the administrator does.
constexpr int SettingsExitStatus = 2;

// Lines for the journal, by what the administrator has to do about them.
void fail(const QString &text)
{
    qCCritical(lcForecastd, "%s", qPrintable(text));
}

void warn(const QString &text)
{
    qCWarning(lcForecastd, "%s", qPrintable(text));
}

void say(const QString &text)
{
    qCInfo(lcForecastd, "%s", qPrintable(text));
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
        warn(QStringLiteral("systemd handed over %1 sockets; serving on the first").arg(sockets));

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
    return address.protocol() == QAbstractSocket::IPv6Protocol
        ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
        : address.toString();
}

// The program's options, as QCommandLineParser takes them.
struct Options
{
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("Listen on 127.0.0.1:<port> (default 8619; 0 picks a free port)."),
                            QStringLiteral("port"), QStringLiteral("8619")};
    QCommandLineOption replay{QStringLiteral("replay"),
                              QStringLiteral("Serve the recorded documents <dir>/<id>.xml (u=c) and <dir>/<id>-f.xml "
                                             "(u=f) instead of asking the upstream."),
                              QStringLiteral("dir")};
    QCommandLineOption record{
        QStringLiteral("record"),
        QStringLiteral("Keep a copy of every document served in <dir>, in the layout --replay reads."),
        QStringLiteral("dir")};
    QCommandLineOption config{QStringLiteral("config"),
                              QStringLiteral("Read the settings from <file> (default %1; the options below win over "
                                             "it).")
                                  .arg(QLatin1String(ServiceConfig::DefaultPath)),
                              QStringLiteral("file")};
    QCommandLineOption upstream{
        QStringLiteral("upstream"),
        QStringLiteral("Ask this forecast endpoint instead of %1.").arg(OpenMeteoClient::defaultEndpoint().toString()),
        QStringLiteral("url")};
    QCommandLineOption airQuality{QStringLiteral("air-quality-upstream"),
                                  QStringLiteral("Ask this air-quality endpoint instead of %1.")
                                      .arg(OpenMeteoClient::defaultAirQualityEndpoint().toString()),
                                  QStringLiteral("url")};
    QCommandLineOption dailyBudget{
        QStringLiteral("daily-budget"),
        QStringLiteral("Ask the upstream for at most <n> weighted calls a UTC day (default "
                       "5000); once they are spent, serve what is at hand until the next day."),
        QStringLiteral("n")};
    QCommandLineOption officialWarnings{
        QStringLiteral("official-warnings"),
        QStringLiteral("Read the national centre's CAP alerts from these feeds (space-separated, or the option "
                       "given again; default %1; an empty value reads none).")
            .arg(OfficialWarnings::defaultSources().constFirst().toString() + QLatin1Char(' ')
                 + OfficialWarnings::defaultSources().constLast().toString()),
        QStringLiteral("url")};
    QCommandLineOption render{QStringLiteral("render"),
                              QStringLiteral("Do not serve: write the u=c document of every city from the upstream "
                                             "answers <dir>/<id>.json (and <dir>/<id>-air-quality.json where there is "
                                             "one) into the folder given by --output, then exit."),
                              QStringLiteral("dir")};
    QCommandLineOption output{QStringLiteral("output"), QStringLiteral("Where --render writes its documents."),
                              QStringLiteral("dir")};
    QCommandLineOption idleExit{QStringLiteral("idle-exit"),
                                QStringLiteral("Exit after <seconds> without a request (0: never). Started by its "
                                               "systemd socket unit (on the socket the unit hands over), the service "
                                               "exits after %1 seconds without a request, and the unit starts it again "
                                               "at the next one; started any other way, it never exits on its own.")
                                    .arg(SocketUnitIdleExitSeconds),
                                QStringLiteral("seconds")};
    QCommandLineOption checkConfig{QStringLiteral("check-config"),
                                   QStringLiteral("Check the settings file [FILE] (default %1, or the one --config "
                                                  "gives) with the options given, say what is wrong, and exit: 0 when "
                                                  "the service would take it.")
                                       .arg(QLatin1String(ServiceConfig::DefaultPath))};

    void addTo(QCommandLineParser &parser) const
    {
        parser.addOptions({port, replay, record, config, upstream, airQuality, dailyBudget, officialWarnings, render,
                           output, idleExit, checkConfig});
        parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("With --check-config: the file to check."),
                                     QStringLiteral("[FILE]"));
    }
};

// Where the settings come from when the service starts: the file given,
// the system unit's credential, or (started any other way) the system's
// file when it can be read and the user's own.
ServiceConfig::Sources settingsSources(const QCommandLineParser &parser, const Options &options)
{
    ServiceConfig::Sources sources;
    if (parser.isSet(options.config))
        sources.given = parser.value(options.config);
    sources.credentialsDirectory = qEnvironmentVariable("CREDENTIALS_DIRECTORY");
    const QString configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (!configHome.isEmpty())
        sources.userPath = configHome + QStringLiteral("/rorizedivo/forecastd.conf");
    return sources;
}

// The settings of the configuration files, with the command line's over them.
bool readSettings(const QCommandLineParser &parser, const Options &options, const ServiceConfig::Sources &sources,
                  ServiceConfig *config, QString *problem)
{
    QStringList warnings;
    const bool read = config->readFrom(sources, &warnings, problem);
    for (const QString &warning : std::as_const(warnings))
        warn(warning);
    if (!read)
        return false;
    const QList<QPair<const QCommandLineOption *, QString>> overrides{
        {&options.upstream, QStringLiteral("forecast-upstream")},
        {&options.airQuality, QStringLiteral("air-quality-upstream")},
        {&options.dailyBudget, QStringLiteral("daily-budget")},
        {&options.officialWarnings, QStringLiteral("official-warnings")}};
    for (const auto &[option, key] : overrides) {
        QString why;
        if (parser.isSet(*option) && !config->set(key, parser.values(*option).join(u' '), &why)) {
            *problem = QStringLiteral("--%1: %2").arg(option->names().constFirst(), why);
            return false;
        }
    }
    return true;
}

// Where the last good answers outlive a restart: the folder systemd gives a
// service with a cache directory, else the user's own cache folder.
QString cacheDirectory()
{
    const QString fromSystemd = qEnvironmentVariable("CACHE_DIRECTORY").section(u':', 0, 0);
    if (!fromSystemd.isEmpty())
        return fromSystemd;
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/rorizedivo/forecastd");
}

// The national centre's alerts, as the settings say; none when no feed is set.
std::unique_ptr<OfficialWarnings> officialWarnings(const ServiceConfig &config, const QString &cache)
{
    if (config.officialWarnings.isEmpty())
        return {};
    auto alerts = std::make_unique<OfficialWarnings>(LocationTable::builtIn());
    alerts->setSources(config.officialWarnings);
    alerts->setVia(config.officialWarningsCache);
    if (!config.officialWarningsCa.isEmpty())
        alerts->setExtraCertificates(QSslCertificate::fromPath(config.officialWarningsCa, QSsl::Pem));
    alerts->setCacheDirectory(cache);
    return alerts;
}

// The live source, with its client, as the settings say.
std::unique_ptr<ForecastSource> liveSource(const ServiceConfig &config, std::unique_ptr<OpenMeteoClient> *client,
                                           std::unique_ptr<OfficialWarnings> *alerts, QString *origin)
{
    *client = std::make_unique<OpenMeteoClient>();
    (*client)->setEndpoint(config.forecastEndpoint());
    (*client)->setAirQualityEndpoint(config.airQualityEndpoint());
    (*client)->setApiKey(config.apiKey);
    auto live = std::make_unique<LiveForecastSource>(client->get(), LocationTable::builtIn());
    live->setDailyBudget(config.dailyBudget);
    const QString cache = cacheDirectory();
    live->setCacheDirectory(cache);
    *alerts = officialWarnings(config, cache);
    live->setOfficialWarnings(alerts->get());
    QStringList feeds;
    for (const QUrl &feed : config.officialWarnings)
        feeds.append(feed.toString());
    *origin = QStringLiteral("live from %1 and %2%3, at most %4 weighted calls a day, answers kept in %5")
                  .arg((*client)->endpoint().toString(), (*client)->airQualityEndpoint().toString(),
                       config.apiKey.isEmpty() ? QString() : QStringLiteral(" with an API key"))
                  .arg(config.dailyBudget)
                  .arg(cache)
        + (feeds.isEmpty() ? QStringLiteral(", no official warnings")
                           : QStringLiteral(", official warnings from %1%2")
                                 .arg(feeds.join(u' '),
                                      config.officialWarningsCache.isEmpty()
                                          ? QString()
                                          : QStringLiteral(" through ") + config.officialWarningsCache.toString()));
    return live;
}

// Serves on the socket systemd handed over, or listens on the port. The
// number of the socket handed over, -1 when none was, or -2 on failure.
int startServing(FeedServer &server, const QCommandLineParser &parser, const Options &options, quint16 port)
{
    QString problem;
    const int handedOver = socketFromSystemd(&problem);
    if (!problem.isEmpty()) {
        fail(problem);
        return -2;
    }
    if (handedOver >= 0) {
        if (!server.setSocketDescriptor(handedOver)) {
            fail(QStringLiteral("cannot serve on the socket systemd handed over: %1").arg(server.errorString()));
            return -2;
        }
        if (parser.isSet(options.port))
            warn(QStringLiteral("--port is ignored: serving on the socket systemd handed over"));
    } else if (!server.listen(QHostAddress::LocalHost, port)) {
        fail(QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(server.errorString()));
        return -2;
    }
    return handedOver;
}

// A number option within bounds; -1 when it is not given, -2 when it is not one.
int boundedNumber(const QCommandLineParser &parser, const QCommandLineOption &option, int lowest, int highest,
                  int otherwise)
{
    if (!parser.isSet(option))
        return otherwise;
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    if (!ok || value < lowest || value > highest) {
        fail(QStringLiteral("--%1: not a number from %2 to %3: %4")
                 .arg(option.names().constFirst())
                 .arg(lowest)
                 .arg(highest)
                 .arg(parser.value(option)));
        return -2;
    }
    return value;
}

// --check-config: the verdict on a settings file, as nginx -t gives it: the
// file given (or by --config, or the system's), with the options given over
// it, taken as the service would take them.
int checkSettings(const QCommandLineParser &parser, const Options &options)
{
    const QByteArray name = QCoreApplication::applicationName().toLocal8Bit();
    ServiceConfig::Sources sources;
    sources.given = parser.positionalArguments().value(
        0, parser.isSet(options.config) ? parser.value(options.config) : QString());
    // The system's file is checked where it is; when there is none the
    // service runs on its defaults.
    if (sources.given.isEmpty() && !QFile::exists(sources.systemPath))
        sources.systemPath = QStringLiteral("/dev/null");
    else if (sources.given.isEmpty())
        sources.given = sources.systemPath;
    ServiceConfig config;
    QString problem;
    if (!readSettings(parser, options, sources, &config, &problem)) {
        std::fprintf(stderr, "%s: %s\n%s: the settings check failed\n", name.constData(), qPrintable(problem),
                     name.constData());
        return 1;
    }
    if (sources.given.isEmpty())
        std::fprintf(stderr, "%s: %s does not exist: the service runs on its defaults\n", name.constData(),
                     ServiceConfig::DefaultPath);
    else
        std::fprintf(stderr, "%s: %s: the settings are good\n", name.constData(), qPrintable(sources.given));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    installJournalLogging();
    QCoreApplication app(argc, argv);
    // The command's own name: rorizedivo-forecastd installed, forecastd in
    // the build (--version, --help, --check-config say it).
    const QString command = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    QCoreApplication::setApplicationName(command.isEmpty() ? QStringLiteral("forecastd") : command);
    QCoreApplication::setApplicationVersion(QStringLiteral(FORECASTD_VERSION));
    // Installed after any handler that writes the lines (the journal's), so
    // that it masks them before they are written.
    installSecretMasking();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Local forecast feed service of the RORizedivo weather board.\n"
                       "Serves http://127.0.0.1:<port>/forecastrss?p=<location id>&u=c|f, /health and /metrics.\n"
                       "Weather data by Open-Meteo.com (CC BY 4.0); air quality data by Open-Meteo.com "
                       "from Copernicus CAMS (CC BY 4.0)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const Options options;
    options.addTo(parser);
    parser.process(app);
    if (parser.isSet(options.checkConfig))
        return checkSettings(parser, options);
    if (!parser.positionalArguments().isEmpty()) {
        fail(QStringLiteral("unexpected argument: %1 (a file is named by --config, or checked by --check-config)")
                 .arg(parser.positionalArguments().constFirst()));
        return SettingsExitStatus;
    }

    const LocationTable &locations = LocationTable::builtIn();
    if (parser.isSet(options.render)) {
        if (!parser.isSet(options.output)) {
            fail(QStringLiteral("--render needs --output"));
            return 2;
        }
        const QStringList problems = renderSampleDocuments(locations, parser.value(options.render),
                                                           parser.value(options.output));
        for (const QString &problem : problems)
            fail(problem);
        return problems.isEmpty() ? 0 : 1;
    }

    const int port = boundedNumber(parser, options.port, 0, 65535, 8619);
    const int idleExitSeconds = boundedNumber(parser, options.idleExit, 0, 24 * 3600, -1);
    if (port < 0 || idleExitSeconds == -2)
        return SettingsExitStatus;
    const bool replay = parser.isSet(options.replay);
    if (replay && (parser.isSet(options.upstream) || parser.isSet(options.airQuality))) {
        fail(QStringLiteral("--replay and --upstream or --air-quality-upstream exclude each other"));
        return SettingsExitStatus;
    }
    ServiceConfig config;
    QString problem;
    if (!replay && !readSettings(parser, options, settingsSources(parser, options), &config, &problem)) {
        fail(problem);
        return SettingsExitStatus;
    }

    std::unique_ptr<OpenMeteoClient> client;
    std::unique_ptr<OfficialWarnings> alerts;
    std::unique_ptr<ForecastSource> source;
    QString origin;
    if (replay) {
        const QString dir = parser.value(options.replay);
        if (!QFileInfo(dir).isDir()) {
            fail(QStringLiteral("no such folder: %1").arg(dir));
            return SettingsExitStatus;
        }
        source = std::make_unique<ReplayForecastSource>(dir);
        origin = QStringLiteral("replaying the recorded documents in %1").arg(QDir(dir).absolutePath());
    } else {
        source = liveSource(config, &client, &alerts, &origin);
    }

    std::unique_ptr<ForecastSource> recorder;
    ForecastSource *served = source.get();
    if (parser.isSet(options.record)) {
        recorder = std::make_unique<RecordingForecastSource>(source.get(), parser.value(options.record));
        served = recorder.get();
    }

    FeedServer server(locations, served);
    // Room for the connections, the upstream's and Qt's own files.
    if (const rlim_t files = raiseOpenFileLimit(); files > 0)
        server.setConnectionLimit(
            int(std::min<rlim_t>(files > 128 ? files - 64 : files / 2, FeedServer::MaximumConnections)));
    const int handedOver = startServing(server, parser, options, quint16(port));
    if (handedOver == -2)
        return 1;
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
    if (alerts)
        alerts->start();
    if (recorder)
        say(QStringLiteral("recording every document served in %1").arg(parser.value(options.record)));
    say(QStringLiteral(
        "Weather data by Open-Meteo.com (CC BY 4.0); air quality data by Open-Meteo.com from Copernicus CAMS (CC BY 4.0)"));
    return app.exec();
}
