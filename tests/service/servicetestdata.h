#pragma once

// Files the service's tests read: fixtures of their own, and the service's
// bundled samples.

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

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
