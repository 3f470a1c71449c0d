#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// What an administrator sets for the service in its configuration file,
// /etc/rorizedivo/forecastd.conf: lines of `key = value`, blank lines and
// lines starting with # left alone.
//
//   forecast-upstream = URL      where forecasts are asked for
//   air-quality-upstream = URL   where the air is asked about
//   api-key = KEY                a key of the upstream's commercial plan
//   daily-budget = N             weighted upstream calls a UTC day
//
// A key given on the command line wins over the file. A file that cannot be
// read whole stops the service: it never falls back to defaults unseen.
struct ServiceConfig
{
    static constexpr char DefaultPath[] = "/etc/rorizedivo/forecastd.conf";

    QUrl forecastUpstream; // empty: the upstream's own (free, or with a key its customer endpoint)
    QUrl airQualityUpstream; // likewise
    QString apiKey;
    double dailyBudget = 5000;

    // The endpoints to ask: those given, else the upstream's free ones, or
    // its customer ones when there is a key.
    QUrl forecastEndpoint() const;
    QUrl airQualityEndpoint() const;

    // Takes the lines of a configuration file's text; keys it does not name
    // keep their values. On the first line it cannot take, returns false
    // and says why in `error`, naming the file and the line.
    bool read(const QByteArray &text, const QString &fileName, QString *error);
    // Reads a configuration file. A file that does not exist is no error
    // when `mayBeMissing` (the default path, which the package ships but an
    // administrator may remove).
    bool readFile(const QString &path, bool mayBeMissing, QString *error);

    // The value of one key, as the file or the command line gives it; false
    // with the reason when it is not one.
    bool set(const QString &key, const QString &value, QString *error);
};
