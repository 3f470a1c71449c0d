#include "sourcefiles.h"

#include "quarterseries.h"
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

// Writes the file whole, or leaves the one before in place; why not, when
// it cannot.
QString writeObject(const QString &path, const QJsonObject &object)
{
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("the folder %1 cannot be made").arg(folder);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit())
        return file.errorString().isEmpty() ? QStringLiteral("not written") : file.errorString();
    return {};
}

// Counts a write and tells the journal when writes of the file begin to
// fail and when they succeed again; every failure in between would only
// repeat the first (a full disk would otherwise be told at every wave).
bool noteWrite(SourceFiles::Writes &writes, const QString &problem, const QString &path, const char *what,
               const char *consequence)
{
    if (problem.isEmpty()) {
        if (!writes.failing.isEmpty())
            qCInfo(lcForecastd, "%s can be kept in %s again", what, qPrintable(path));
        writes.failing.clear();
        return true;
    }
    ++writes.failures;
    if (writes.failing.isEmpty())
        qCCritical(lcForecastd, "cannot keep %s in %s (%s): %s; said once until it can again", what, qPrintable(path),
                   qPrintable(problem), consequence);
    writes.failing = problem;
    return false;
}

QJsonObject pauseJson(const SourceFiles::Pause &pause)
{
    return {{QStringLiteral("failures"), pause.failures},
            {QStringLiteral("until"), isoTime(pause.until)},
            {QStringLiteral("seconds"), pause.seconds}};
}

SourceFiles::Pause pauseOf(const QJsonObject &json)
{
    return {std::max(0, json.value(QLatin1String("failures")).toInt()), timeOf(json.value(QLatin1String("until"))),
            std::max(0, json.value(QLatin1String("seconds")).toInt())};
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
// "series": {...}, "airQuality": {...}}}, "answeredHour": "<UTC ISO time>"}.
// "forecast" holds the quarter-hour series of its wave's hour alone, the
// conditions; "series" the whole day of it. The release before reads
// "forecast" after a downgrade, and takes every quarter of its series up to
// now as conditions: the coming hours' forecasts, kept apart, never reach
// it. Its own file, without "series", is read as it is.
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
        const QJsonObject forecast = joinedConditions(
            {entry.value(QLatin1String("forecast")).toObject(), entry.value(QLatin1String("series")).toObject()});
        answers.cities.insert(it.key(),
                              {timeOf(entry.value(QLatin1String("fetched"))), forecast,
                               entry.value(QLatin1String("airQuality")).toObject()});
    }
    answers.answeredHour = timeOf(saved.value(QLatin1String("answeredHour")));
    return answers;
}

bool SourceFiles::writeAnswers(const Answers &answers)
{
    if (!isEnabled())
        return true;
    QJsonObject cities;
    for (auto it = answers.cities.begin(); it != answers.cities.end(); ++it) {
        const SplitSeries split = splitConditions(it->forecast);
        QJsonObject entry{{QStringLiteral("fetched"), isoTime(it->fetched)},
                          {QStringLiteral("forecast"), split.conditions}};
        if (!split.series.isEmpty())
            entry.insert(QStringLiteral("series"), split.series);
        if (!it->airQuality.isEmpty())
            entry.insert(QStringLiteral("airQuality"), it->airQuality);
        cities.insert(it.key(), entry);
    }
    const QString problem = writeObject(
        answersPath(),
        {{QStringLiteral("cities"), cities}, {QStringLiteral("answeredHour"), isoTime(answers.answeredHour)}});
    return noteWrite(m_answersWrites, problem, answersPath(), "the answers",
                     "a restart asks the upstream for them again");
}

// {"upstream": {today's calls}, "backoff": {"forecast": {"failures": n,
// "until": "<UTC ISO time>", "seconds": n}, "air_quality": {...}}, "limit":
// {"until": "<UTC ISO time>", "reason": "...", "seconds": n}}
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
    ledger->limitSeconds = std::max(0, limit.value(QLatin1String("seconds")).toInt());
    return LedgerState::Read;
}

bool SourceFiles::writeLedger(const Ledger &ledger)
{
    if (!isEnabled())
        return true;
    const QJsonObject backoff{{QStringLiteral("forecast"), pauseJson(ledger.forecast)},
                              {QStringLiteral("air_quality"), pauseJson(ledger.airQuality)}};
    const QJsonObject limit{{QStringLiteral("until"), isoTime(ledger.limitedUntil)},
                            {QStringLiteral("reason"), ledger.limitReason},
                            {QStringLiteral("seconds"), ledger.limitSeconds}};
    const QString problem = writeObject(ledgerPath(),
                                        {{QStringLiteral("upstream"), ledger.upstream},
                                         {QStringLiteral("backoff"), backoff},
                                         {QStringLiteral("limit"), limit}});
    return noteWrite(m_ledgerWrites, problem, ledgerPath(), "the ledger",
                     "today's calls, limits and back-offs will not outlive a restart");
}
