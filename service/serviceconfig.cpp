#include "serviceconfig.h"

#include "locationtable.h"
#include "officialwarnings.h"
#include "openmeteoclient.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QSslCertificate>

#include <cmath>

namespace {

// A configuration file is a few lines; anything much larger is not one.
constexpr qint64 MaximumFileBytes = 64 * 1024;

bool isUpstreamUrl(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

// What one wave costs, the forecast and the air of every city: a budget
// below it would never let one go out.
double waveWeight()
{
    const int cities = int(LocationTable::builtIn().locations().size());
    return OpenMeteoClient::weightOf(cities, OpenMeteoClient::forecastVariables())
        + OpenMeteoClient::weightOf(cities, OpenMeteoClient::airQualityVariables());
}

} // namespace

QList<QUrl> ServiceConfig::defaultOfficialWarnings()
{
    return OfficialWarnings::defaultSources();
}

QUrl ServiceConfig::forecastEndpoint() const
{
    if (!forecastUpstream.isEmpty())
        return forecastUpstream;
    return apiKey.isEmpty() ? OpenMeteoClient::defaultEndpoint() : OpenMeteoClient::customerEndpoint();
}

QUrl ServiceConfig::airQualityEndpoint() const
{
    if (!airQualityUpstream.isEmpty())
        return airQualityUpstream;
    return apiKey.isEmpty() ? OpenMeteoClient::defaultAirQualityEndpoint()
                            : OpenMeteoClient::customerAirQualityEndpoint();
}

bool ServiceConfig::set(const QString &key, const QString &value, QString *error)
{
    if (key == QLatin1String("forecast-upstream") || key == QLatin1String("air-quality-upstream")) {
        const QUrl url(value, QUrl::StrictMode);
        if (!isUpstreamUrl(url)) {
            *error = QStringLiteral("not an http(s) address");
            return false;
        }
        (key == QLatin1String("forecast-upstream") ? forecastUpstream : airQualityUpstream) = url;
        return true;
    }
    if (key == QLatin1String("api-key")) {
        // The key goes into every address asked: nothing that would need
        // escaping or could end it.
        for (QChar c : value) {
            if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'-' && c != u'_' && c != u'.') {
                *error = QStringLiteral("an API key is letters, digits, '-', '_' and '.'");
                return false;
            }
        }
        if (value.isEmpty()) {
            *error = QStringLiteral("the API key is empty");
            return false;
        }
        apiKey = value;
        return true;
    }
    if (key == QLatin1String("daily-budget")) {
        bool ok = false;
        const double budget = value.toDouble(&ok);
        if (!ok || !std::isfinite(budget) || budget <= 0 || budget > 1e9) {
            *error = QStringLiteral("not a number of weighted calls above 0");
            return false;
        }
        if (budget < waveWeight()) {
            *error = QStringLiteral("the daily budget is smaller than one wave of %1 weighted calls (every city's "
                                    "forecast and air), so the upstream would never be asked")
                         .arg(waveWeight());
            return false;
        }
        dailyBudget = budget;
        return true;
    }
    if (key == QLatin1String("official-warnings")) {
        QList<QUrl> sources;
        const QStringList addresses = value.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        for (qsizetype i = 0; i < addresses.size(); ++i) {
            const QUrl url(addresses.at(i), QUrl::StrictMode);
            if (!isUpstreamUrl(url)) {
                *error = QStringLiteral("address %1 of the feeds is not an http(s) address").arg(i + 1);
                return false;
            }
            if (!sources.contains(url))
                sources.append(url);
        }
        officialWarnings = sources;
        return true;
    }
    if (key == QLatin1String("official-warnings-cache")) {
        const QUrl url(value, QUrl::StrictMode);
        if (!value.isEmpty() && !isUpstreamUrl(url)) {
            *error = QStringLiteral("not an http(s) address");
            return false;
        }
        officialWarningsCache = value.isEmpty() ? QUrl() : url;
        return true;
    }
    if (key == QLatin1String("official-warnings-ca")) {
        if (!value.isEmpty()) {
            QFile file(value);
            if (!file.open(QIODevice::ReadOnly)) {
                *error = QStringLiteral("the certificates' file cannot be read (%1)").arg(file.errorString());
                return false;
            }
            if (QSslCertificate::fromData(file.read(MaximumFileBytes * 16), QSsl::Pem).isEmpty()) {
                *error = QStringLiteral("the certificates' file holds no PEM certificate");
                return false;
            }
        }
        officialWarningsCa = value;
        return true;
    }
    // The name is told when it looks like one (lower-case words joined by
    // hyphens): a value, such as a key, written in its place stays out of
    // the log.
    static const QRegularExpression name(QStringLiteral("^[a-z]{1,16}(-[a-z]{1,16}){0,3}$"));
    *error = QStringLiteral("no such setting%1 (the settings are forecast-upstream, air-quality-upstream, "
                            "api-key, daily-budget, official-warnings, official-warnings-ca and "
                            "official-warnings-cache)")
                 .arg(name.match(key).hasMatch() ? QStringLiteral(": ") + key : QString());
    return false;
}

bool ServiceConfig::read(const QByteArray &text, const QString &fileName, QString *error)
{
    QHash<QString, int> seen;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int number = int(i) + 1;
        const auto fail = [&](const QString &why) {
            *error = QStringLiteral("%1:%2: %3").arg(fileName).arg(number).arg(why);
            return false;
        };
        const QString line = QString::fromUtf8(lines.at(i)).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            return fail(QStringLiteral("not a line of the form key = value"));
        const QString key = line.left(equals).trimmed();
        if (const int first = seen.value(key); first > 0)
            return fail(QStringLiteral("%1 is given again (first on line %2)").arg(key).arg(first));
        seen.insert(key, number);
        QString why;
        if (!set(key, line.mid(equals + 1).trimmed(), &why))
            return fail(why);
    }
    return true;
}

bool ServiceConfig::readFile(const QString &path, bool mayBeMissing, QString *error)
{
    return readFile(path, path, mayBeMissing, error);
}

bool ServiceConfig::readFile(const QString &path, const QString &shownAs, bool mayBeMissing, QString *error)
{
    QFile file(path);
    if (!file.exists() && mayBeMissing)
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(shownAs, file.errorString());
        return false;
    }
    const QByteArray text = file.read(MaximumFileBytes + 1);
    if (text.size() > MaximumFileBytes) {
        *error =
            QStringLiteral("%1: larger than %2 bytes; not a configuration file").arg(shownAs).arg(MaximumFileBytes);
        return false;
    }
    return read(text, shownAs, error);
}

bool ServiceConfig::readFrom(const Sources &sources, QStringList *warnings, QString *error)
{
    if (!sources.given.isEmpty())
        return readFile(sources.given, false, error);
    const QString credential = sources.credentialsDirectory.isEmpty()
        ? QString()
        : QDir(sources.credentialsDirectory).filePath(QLatin1String(CredentialName));
    if (!credential.isEmpty() && QFile::exists(credential))
        return readFile(credential, sources.systemPath, false, error);
    QFile system(sources.systemPath);
    if (system.exists() && !system.open(QIODevice::ReadOnly)) {
        warnings->append(QStringLiteral("%1: %2; not started by the system unit, so going on without it%3")
                             .arg(sources.systemPath, system.errorString(),
                                  sources.userPath.isEmpty()
                                      ? QString()
                                      : QStringLiteral(" (and with %1 if there is one)").arg(sources.userPath)));
    } else if (!readFile(sources.systemPath, true, error)) {
        return false;
    }
    return sources.userPath.isEmpty() || readFile(sources.userPath, true, error);
}
