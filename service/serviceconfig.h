#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
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
//   official-warnings = URL [URL]  the national centre's CAP alert feeds
//                                (empty: none are read)
//   official-warnings-ca = FILE  CA certificates (PEM) for those feeds alone
//   official-warnings-cache = URL  a site cache the feeds are asked through
//
// A key given on the command line wins over the file. A file that cannot be
// read whole stops the service: it never falls back to defaults unseen. A
// message names the file and the line, never the value written there (it
// may be a key).
struct ServiceConfig
{
    static constexpr char DefaultPath[] = "/etc/rorizedivo/forecastd.conf";
    // The name under which the system unit hands DefaultPath over in
    // $CREDENTIALS_DIRECTORY.
    static constexpr char CredentialName[] = "forecastd.conf";

    // Where the settings are read from, as the service was started.
    struct Sources
    {
        QString given; // --config: this file alone, which must be read
        // Set by the system unit: the copy of DefaultPath it hands over,
        // read in its place and named as DefaultPath.
        QString credentialsDirectory;
        QString systemPath = QString::fromLatin1(DefaultPath);
        // The user's own ($XDG_CONFIG_HOME/rorizedivo/forecastd.conf).
        QString userPath;
    };

    QUrl forecastUpstream; // empty: the upstream's own (free, or with a key its customer endpoint)
    QUrl airQualityUpstream; // likewise
    QString apiKey;
    double dailyBudget = 5000;
    QList<QUrl> officialWarnings = defaultOfficialWarnings();
    QString officialWarningsCa; // empty: the system's CAs alone
    QUrl officialWarningsCache; // empty: the feeds are asked directly

    static QList<QUrl> defaultOfficialWarnings();

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
    // Reads a file that may be a copy of another, naming the other.
    bool readFile(const QString &path, const QString &shownAs, bool mayBeMissing, QString *error);

    // Reads the settings from where `sources` says: the given file; else
    // the credential of the system unit; else, for a service started any
    // other way (by the board, a user unit, a terminal), the system file
    // when it can be read (when not, it is skipped with a warning, added
    // to `warnings`: it is root's alone once the package is installed) and
    // then the user's own file when there is one.
    bool readFrom(const Sources &sources, QStringList *warnings, QString *error);

    // The value of one key, as the file or the command line gives it; false
    // with the reason when it is not one.
    bool set(const QString &key, const QString &value, QString *error);
};
