#pragma once

// The upstream's answers to a wave, made from answers with a current block,
// for the tests and the service's benchmark: a stand-in upstream serves
// what the real one would for the hour asked.

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QUrlQuery>

// An upstream element with a current block, made into the element the
// upstream gives for a wave's request: the quarter-hour series from
// start_minutely_15 to end_minutely_15 and the hourly series at start_hour,
// every step with the current block's values, each variable in the series
// the request asks it in; a series of the element's own stands in for the
// current block's: its hourly one (the air's hours ahead) as a whole, its
// quarter-hour one (the coming hours) at each quarter it has. Asked in GMT,
// its times are GMT's. Anything else is passed as it is.
inline QByteArray seriesAnswer(const QByteArray &element, const QUrlQuery &query)
{
    const QString start = query.queryItemValue(QStringLiteral("start_minutely_15"));
    const QString hour = query.queryItemValue(QStringLiteral("start_hour"));
    QJsonObject answer = QJsonDocument::fromJson(element).object();
    const QJsonValue current = answer.value(QStringLiteral("current"));
    if (!current.isObject() || hour.isEmpty())
        return element;
    if (query.queryItemValue(QStringLiteral("timezone")) == QLatin1String("GMT")) {
        answer.insert(QStringLiteral("timezone"), QStringLiteral("GMT"));
        answer.insert(QStringLiteral("timezone_abbreviation"), QStringLiteral("GMT"));
        answer.insert(QStringLiteral("utc_offset_seconds"), 0);
    }
    const QStringList hourly = query.queryItemValue(QStringLiteral("hourly")).split(u',');
    QStringList quarters;
    if (!start.isEmpty()) {
        const QDateTime first = QDateTime::fromString(start, Qt::ISODate);
        const QDateTime last = QDateTime::fromString(query.queryItemValue(QStringLiteral("end_minutely_15")),
                                                     Qt::ISODate);
        for (QDateTime at = first; at <= last; at = at.addSecs(15 * 60))
            quarters << at.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm"));
    }
    QJsonObject quarterSeries{{QStringLiteral("time"), QJsonArray::fromStringList(quarters)}};
    QJsonObject hourSeries{{QStringLiteral("time"), QJsonArray{hour}}};
    QJsonObject quarterUnits;
    QJsonObject hourUnits;
    const QJsonObject units = answer.value(QStringLiteral("current_units")).toObject();
    const QJsonObject values = current.toObject();
    const QJsonObject own = answer.value(QStringLiteral("minutely_15")).toObject();
    QStringList ownTimes;
    for (const QJsonValue &time : own.value(QStringLiteral("time")).toArray())
        ownTimes << time.toString();
    QList<qsizetype> ownAt; // where the element's own series has each quarter, or -1
    for (const QString &quarter : std::as_const(quarters))
        ownAt << ownTimes.indexOf(quarter);
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (it.key() == QLatin1String("time") || it.key() == QLatin1String("interval"))
            continue;
        if (hourly.contains(it.key()) || quarters.isEmpty()) {
            hourSeries.insert(it.key(), QJsonArray{it.value()});
            if (units.contains(it.key()))
                hourUnits.insert(it.key(), units.value(it.key()));
        } else {
            QJsonArray series;
            const QJsonArray ownValues = own.value(it.key()).toArray();
            for (const qsizetype at : std::as_const(ownAt))
                series.append(at >= 0 && at < ownValues.size() ? ownValues.at(at) : it.value());
            quarterSeries.insert(it.key(), series);
            if (units.contains(it.key()))
                quarterUnits.insert(it.key(), units.value(it.key()));
        }
    }
    answer.remove(QStringLiteral("current"));
    answer.remove(QStringLiteral("current_units"));
    if (!quarters.isEmpty()) {
        answer.insert(QStringLiteral("minutely_15"), quarterSeries);
        answer.insert(QStringLiteral("minutely_15_units"), quarterUnits);
    }
    if (!answer.contains(QStringLiteral("hourly"))) {
        answer.insert(QStringLiteral("hourly"), hourSeries);
        answer.insert(QStringLiteral("hourly_units"), hourUnits);
    }
    return QJsonDocument(answer).toJson(QJsonDocument::Compact);
}
