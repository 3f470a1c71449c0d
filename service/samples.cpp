#include "samples.h"

#include "feeddocument.h"
#include "locationtable.h"
#include "openmeteoclient.h"
#include "recordedsource.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

QStringList renderSampleDocuments(const LocationTable &locations, const QString &upstreamDir,
                                  const QString &outputDir)
{
    QStringList problems;
    if (!QDir().mkpath(outputDir))
        return {QStringLiteral("cannot create %1").arg(outputDir)};
    for (const Location &location : locations.locations()) {
        QFile in(QDir(upstreamDir).filePath(location.id + QStringLiteral(".json")));
        if (!in.open(QIODevice::ReadOnly)) {
            problems.append(QStringLiteral("%1: %2").arg(in.fileName(), in.errorString()));
            continue;
        }
        const FetchResult answer = OpenMeteoClient::judge(200, in.read(OpenMeteoClient::MaximumAnswerBytes + 1));
        if (!answer.ok) {
            problems.append(QStringLiteral("%1: %2").arg(in.fileName(), answer.error));
            continue;
        }
        QSaveFile out(QDir(outputDir).filePath(recordedFileName(location.id, Units::Metric)));
        const QByteArray document = writeForecastDocument(answer.answer, location, Units::Metric);
        if (!out.open(QIODevice::WriteOnly) || out.write(document) != document.size() || !out.commit())
            problems.append(QStringLiteral("%1: %2").arg(out.fileName(), out.errorString()));
    }
    return problems;
}
