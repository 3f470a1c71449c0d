#pragma once

// Files the service's tests read: fixtures of their own, and the service's
// bundled samples.

#include "seriesanswer.h"
#include "testsupport.h"

#include "service/locationtable.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUrlQuery>

inline QString serviceFixturePath(const QString &relative)
{
    return QStringLiteral(FORECAST_TEST_DATA "/") + relative;
}

inline QString serviceSamplesPath(const QString &relative)
{
    return QStringLiteral(FORECAST_SAMPLES "/") + relative;
}

inline QByteArray readWhole(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("cannot read %s", qPrintable(path));
        return {};
    }
    return file.readAll();
}

// An upstream answer of the fixtures folder.
inline QJsonObject upstreamAnswer(const QString &name)
{
    return QJsonDocument::fromJson(readWhole(serviceFixturePath(QStringLiteral("upstream/") + name))).object();
}

// The cities a request asks for, by their coordinates, in the order asked.
inline QStringList citiesAsked(const HttpRequest &request)
{
    const QUrlQuery query(request.query);
    const QStringList latitudes = query.queryItemValue(QStringLiteral("latitude")).split(u',');
    const QStringList longitudes = query.queryItemValue(QStringLiteral("longitude")).split(u',');
    QStringList ids;
    for (qsizetype i = 0; i < latitudes.size(); ++i) {
        for (const Location &location : LocationTable::builtIn().locations()) {
            if (QString::number(location.latitude, 'f', 4) == latitudes[i]
                && QString::number(location.longitude, 'f', 4) == longitudes.value(i))
                ids << location.id;
        }
    }
    return ids;
}

// An upstream element with a current block, made into the element the
// upstream gives for the request's hour (seriesanswer.h).
inline QByteArray asSeries(const QByteArray &element, const HttpRequest &request)
{
    return seriesAnswer(element, QUrlQuery(request.query));
}

// The upstream's answer for several locations: an array of one element per
// city asked, the first without location_id (as Open-Meteo writes it); for
// one location the element alone.
inline QByteArray answerOf(const QList<QByteArray> &elements)
{
    if (elements.size() == 1)
        return elements.first();
    QByteArray out = "[";
    for (qsizetype i = 0; i < elements.size(); ++i) {
        const QByteArray element = elements[i].trimmed();
        if (i > 0)
            out += ",{\"location_id\":" + QByteArray::number(i) + "," + element.mid(1);
        else
            out += element;
    }
    return out + "]";
}

// Serves the service's sample answers for every city asked: forecasts on
// /v1/forecast, the air on /v1/air-quality.
inline void serveSampleAnswers(LoopbackHttpServer &upstream)
{
    for (const QString &suffix : {QStringLiteral(".json"), QStringLiteral("-air-quality.json")}) {
        upstream.handle(
            suffix == QLatin1String(".json") ? QStringLiteral("/v1/forecast") : QStringLiteral("/v1/air-quality"),
            [suffix](const HttpRequest &request) {
                QList<QByteArray> elements;
                for (const QString &id : citiesAsked(request))
                    elements << asSeries(readWhole(serviceSamplesPath(QStringLiteral("upstream/") + id + suffix)),
                                         request);
                HttpResponse response;
                response.contentType = "application/json";
                response.body = answerOf(elements);
                return response;
            });
    }
}
