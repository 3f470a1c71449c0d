#include "sourcefiles.h"

#include "servicelog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>

namespace {

// Larger files are not read: 24 cities' answers take some 100 KiB, the
// ledger well under one.
constexpr qint64 MaximumAnswersBytes = 4 * 1024 * 1024;
constexpr qint64 MaximumLedgerBytes = 64 * 1024;

QString isoTime(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QDateTime timeOf(const QJsonValue &value)
{
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs).toUTC();
}

// The whole file as one JSON object; false with why not.
bool readObject(const QString &path, qint64 maximumBytes, QJsonObject *object, QString *problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = file.errorString();
        return false;
    }
    const QByteArray text = file.read(maximumBytes + 1);
    if (text.size() > maximumBytes) {
        *problem = QStringLiteral("larger than %1 bytes").arg(maximumBytes);
        return false;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (!document.isObject()) {
        *problem = error.error != QJsonParseError::NoError ? error.errorString() : QStringLiteral("not an object");
        return false;
    }
    *object = document.object();
    return true;
}

void writeObject(const QString &path, const QJsonObject &object, const char *what)
{
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit())
        qCWarning(lcForecastd, "cannot keep %s in %s: %s", what, qPrintable(path), qPrintable(file.errorString()));
}

QJsonObject pauseJson(const SourceFiles::Pause &pause)
{
    return {{QStringLiteral("failures"), pause.failures}, {QStringLiteral("until"), isoTime(pause.until)}};
}

SourceFiles::Pause pauseOf(const QJsonObject &json)
{
    return {std::max(0, json.value(QLatin1String("failures")).toInt()), timeOf(json.value(QLatin1String("until")))};
}

} // namespace

void SourceFiles::setDirectory(const QString &directory)
{
    m_directory = directory;
}

QString SourceFiles::answersPath() const
{
    return isEnabled() ? QDir(m_directory).filePath(QStringLiteral("forecasts.json")) : QString();
}

QString SourceFiles::ledgerPath() const
{
    return isEnabled() ? QDir(m_directory).filePath(QStringLiteral("ledger.json")) : QString();
}

// {"cities": {"<id>": {"fetched": "<UTC ISO time>", "forecast": {...},
// "airQuality": {...}}}, "answeredHour": "<UTC ISO time>"}
SourceFiles::Answers SourceFiles::readAnswers() const
{
    Answers answers;
    const QString path = answersPath();
    QJsonObject saved;
    QString problem;
    if (path.isEmpty() || !QFile::exists(path))
        return answers;
    if (!readObject(path, MaximumAnswersBytes, &saved, &problem)) {
        qCWarning(lcForecastd, "%s cannot be read (%s); its answers are asked for again", qPrintable(path),
                  qPrintable(problem));
        return answers;
    }
    const QJsonObject cities = saved.value(QLatin1String("cities")).toObject();
    for (auto it = cities.begin(); it != cities.end(); ++it) {
        const QJsonObject entry = it.value().toObject();
        answers.cities.insert(it.key(),
                              {timeOf(entry.value(QLatin1String("fetched"))),
                               entry.value(QLatin1String("forecast")).toObject(),
                               entry.value(QLatin1String("airQuality")).toObject()});
    }
    answers.answeredHour = timeOf(saved.value(QLatin1String("answeredHour")));
    return answers;
}

void SourceFiles::writeAnswers(const Answers &answers) const
{
    if (!isEnabled())
        return;
    QJsonObject cities;
    for (auto it = answers.cities.begin(); it != answers.cities.end(); ++it) {
        QJsonObject entry{{QStringLiteral("fetched"), isoTime(it->fetched)},
                          {QStringLiteral("forecast"), it->forecast}};
        if (!it->airQuality.isEmpty())
            entry.insert(QStringLiteral("airQuality"), it->airQuality);
        cities.insert(it.key(), entry);
    }
    writeObject(answersPath(),
                {{QStringLiteral("cities"), cities}, {QStringLiteral("answeredHour"), isoTime(answers.answeredHour)}},
                "the answers");
}

// {"upstream": {today's calls}, "backoff": {"forecast": {"failures": n,
// "until": "<UTC ISO time>"}, "air_quality": {...}}, "limit": {"until":
// "<UTC ISO time>", "reason": "..."}}
SourceFiles::LedgerState SourceFiles::readLedger(Ledger *ledger) const
{
    const QString path = ledgerPath();
    if (path.isEmpty())
        return LedgerState::Missing;
    QJsonObject saved;
    QString problem;
    if (!QFile::exists(path)) {
        // The service kept today's calls beside the answers before the
        // ledger had a file of its own (6.1): an upgrade goes on counting
        // them rather than spending the day's budget again.
        if (!QFile::exists(answersPath()) || !readObject(answersPath(), MaximumAnswersBytes, &saved, &problem)
            || !saved.value(QLatin1String("upstream")).isObject())
            return LedgerState::Missing;
        qCInfo(lcForecastd, "today's calls taken from %s, where an earlier version kept them",
               qPrintable(answersPath()));
        ledger->upstream = saved.value(QLatin1String("upstream")).toObject();
        return LedgerState::Read;
    }
    if (readObject(path, MaximumLedgerBytes, &saved, &problem) && !saved.value(QLatin1String("upstream")).isObject())
        problem = QStringLiteral("no count of calls in it");
    if (!problem.isEmpty()) {
        qCCritical(lcForecastd,
                   "%s cannot be read (%s): today's calls, limits and back-offs are not known, and count from now",
                   qPrintable(path), qPrintable(problem));
        return LedgerState::Unreadable;
    }
    ledger->upstream = saved.value(QLatin1String("upstream")).toObject();
    const QJsonObject backoff = saved.value(QLatin1String("backoff")).toObject();
    ledger->forecast = pauseOf(backoff.value(QLatin1String("forecast")).toObject());
    ledger->airQuality = pauseOf(backoff.value(QLatin1String("air_quality")).toObject());
    const QJsonObject limit = saved.value(QLatin1String("limit")).toObject();
    ledger->limitedUntil = timeOf(limit.value(QLatin1String("until")));
    ledger->limitReason = limit.value(QLatin1String("reason")).toString();
    return LedgerState::Read;
}

void SourceFiles::writeLedger(const Ledger &ledger) const
{
    if (!isEnabled())
        return;
    const QJsonObject backoff{{QStringLiteral("forecast"), pauseJson(ledger.forecast)},
                              {QStringLiteral("air_quality"), pauseJson(ledger.airQuality)}};
    const QJsonObject limit{{QStringLiteral("until"), isoTime(ledger.limitedUntil)},
                            {QStringLiteral("reason"), ledger.limitReason}};
    writeObject(ledgerPath(),
                {{QStringLiteral("upstream"), ledger.upstream},
                 {QStringLiteral("backoff"), backoff},
                 {QStringLiteral("limit"), limit}},
                "the ledger");
}
