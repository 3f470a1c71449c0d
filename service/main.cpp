// forecastd: the board's local forecast feed service.
//
// Answers http://127.0.0.1:8619/forecastrss?p=<location id>&u=c|f with an
// RSS forecast document, made from Open-Meteo's forecast and air-quality
// APIs (live), or from recorded documents (--replay); and /health.

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

#include <cstdio>
#include <memory>

namespace {

void say(const QString &text)
{
    std::fprintf(stderr, "forecastd: %s\n", qPrintable(text));
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
    parser.addOptions({portOption, replayOption, recordOption, upstreamOption, airQualityOption, renderOption,
                       outputOption});
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
    if (!server.listen(QHostAddress::LocalHost, static_cast<quint16>(port))) {
        say(QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(server.errorString()));
        return 1;
    }
    say(QStringLiteral("serving http://127.0.0.1:%1/forecastrss for %2 cities, %3")
            .arg(server.port())
            .arg(locations.locations().size())
            .arg(origin));
    if (recorder)
        say(QStringLiteral("recording every document served in %1").arg(parser.value(recordOption)));
    say(QStringLiteral("Weather data by Open-Meteo.com (CC BY 4.0); air quality data by Open-Meteo.com from Copernicus CAMS (CC BY 4.0)"));
    return app.exec();
}
