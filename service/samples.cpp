#include "samples.h"

#include "feeddocument.h"
#include "capreader.h"
#include "locationtable.h"
#include "officialalerts.h"
#include "openmeteoclient.h"
#include "quarterseries.h"
#include "recordedsource.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

QString airQualityFileName(const QString &locationId)
{
    return locationId + QStringLiteral("-air-quality.json");
}

QStringList renderSampleDocuments(const LocationTable &locations, const QString &upstreamDir, const QString &outputDir)
{
    QStringList problems;
    if (!QDir().mkpath(outputDir))
        return {QStringLiteral("cannot create %1").arg(outputDir)};
    // The national centre's alerts, when the folder has them (alerts.xml, a
    // CAP document or an index carrying them inline).
    QList<CapAlert> capAlerts;
    QFile alertsFile(QDir(upstreamDir).filePath(QStringLiteral("alerts.xml")));
    if (alertsFile.open(QIODevice::ReadOnly)) {
        const CapReading reading = readCap(alertsFile.read(CapLimits::MaximumBytes + 1));
        if (!reading.ok)
            problems.append(QStringLiteral("%1: %2").arg(alertsFile.fileName(), reading.error));
        capAlerts = reading.alerts;
    }
    for (const Location &location : locations.locations()) {
        QFile in(QDir(upstreamDir).filePath(location.id + QStringLiteral(".json")));
        if (!in.open(QIODevice::ReadOnly)) {
            problems.append(QStringLiteral("%1: %2").arg(in.fileName(), in.errorString()));
            continue;
        }
        const FetchResult answer = OpenMeteoClient::judge(200, in.read(OpenMeteoClient::MaximumAnswerBytes + 1));
        if (!answer.ok || answer.answers.value(0).isEmpty()) {
            problems.append(
                QStringLiteral("%1: %2").arg(in.fileName(), answer.ok ? answer.problems.value(0) : answer.error));
            continue;
        }
        // The air is optional, as it is live: without it, the forecast alone.
        QJsonObject air;
        QFile airFile(QDir(upstreamDir).filePath(airQualityFileName(location.id)));
        if (airFile.open(QIODevice::ReadOnly)) {
            const FetchResult airAnswer = OpenMeteoClient::judge(200,
                                                                 airFile.read(OpenMeteoClient::MaximumAnswerBytes + 1));
            if (!airAnswer.ok || airAnswer.answers.value(0).isEmpty()) {
                problems.append(QStringLiteral("%1: %2").arg(
                    airFile.fileName(), airAnswer.ok ? airAnswer.problems.value(0) : airAnswer.error));
                continue;
            }
            air = airAnswer.answers.value(0);
        }
        QSaveFile out(QDir(outputDir).filePath(recordedFileName(location.id, Units::Metric)));
        // The warnings and the coming hours as a live wave would give them
        // in the answer's quarter.
        const QJsonObject forecast = answer.answers.value(0);
        const auto observed = observationTime(forecast);
        const QList<CityWarning> warnings = observed ? cityWarnings(forecast, air, quarterStart(*observed))
                                                     : QList<CityWarning>();
        const QList<ComingHour> hours = observed ? comingHours(forecast, air, *observed) : QList<ComingHour>();
        // The alerts in force when the answer was observed.
        Withdrawals withdrawals;
        QList<OfficialAlert> alerts;
        for (const OfficialAlert &alert :
             observed ? alertsInForce(capAlerts, locations, *observed, &withdrawals) : QList<OfficialAlert>()) {
            if (alert.cities.contains(location.id))
                alerts.append(alert);
        }
        const QByteArray document = writeForecastDocument(forecast, location, Units::Metric, air, warnings, hours,
                                                          alerts);
        if (!out.open(QIODevice::WriteOnly) || out.write(document) != document.size() || !out.commit())
            problems.append(QStringLiteral("%1: %2").arg(out.fileName(), out.errorString()));
    }
    return problems;
}
