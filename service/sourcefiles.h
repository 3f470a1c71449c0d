#pragma once

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QString>

// What the live source keeps on disk, so that a restarted service goes on
// where it was: the socket unit ends it once no board has asked for a while
// and starts it again at the next request, and a budget, a limit or a
// back-off that a restart forgot would let every restart ask the upstream
// again. Two files in one folder, each written whole (QSaveFile), so that
// either the old or the new one is there:
//  - forecasts.json, the answers of the last waves as the upstream gave
//    them (the documents are written anew by the program that reads
//    them). Losing it costs one wave.
//  - ledger.json, what the upstream was asked today and what it said:
//    today's calls, the back-offs and the limit in force, the last good
//    wave of each upstream. Kept apart from the answers, small and written
//    at every wave, so that damaged answers never take the day's count
//    with them; a ledger that cannot be read is logged as an error.
// A file that cannot be written (a full disk, a folder that is not
// writable) is counted and told: once when its writes begin to fail, and
// once when they succeed again.
class SourceFiles
{
public:
    struct City
    {
        QDateTime fetched;
        QJsonObject forecast;
        QJsonObject airQuality; // empty when none
    };
    struct Answers
    {
        QHash<QString, City> cities; // by location id
        QDateTime answeredHour; // the last hour whose wave the upstream answered
    };
    // The upstream as a whole left alone after failures.
    struct Pause
    {
        int failures = 0;
        QDateTime until;
        int seconds = 0; // how long it was set for; 0 when not known
    };
    struct Ledger
    {
        QJsonObject upstream; // UpstreamLedger::toJson()
        Pause forecast;
        Pause airQuality;
        QDateTime limitedUntil; // no waves until then: the upstream's limit or the budget
        QString limitReason;
        int limitSeconds = 0; // how long it was set for; 0 when not known
    };
    // How the writes of one file went.
    struct Writes
    {
        quint64 failures = 0; // writes that failed, since the start
        QString failing; // why the last one failed; empty when it succeeded
    };
    enum class LedgerState { Missing, Read, Unreadable };

    // No folder: nothing is read or kept.
    void setDirectory(const QString &directory);
    bool isEnabled() const { return !m_directory.isEmpty(); }
    QString answersPath() const;
    QString ledgerPath() const;

    // What the files hold; a file that is missing or damaged gives nothing
    // (a damaged one is logged: the answers as a warning, the ledger as an
    // error naming it). Without a ledger file, today's calls come from the
    // answers, where 6.1 kept them.
    Answers readAnswers() const;
    LedgerState readLedger(Ledger *ledger) const;

    // Whether the file was written.
    bool writeAnswers(const Answers &answers);
    bool writeLedger(const Ledger &ledger);
    const Writes &answersWrites() const { return m_answersWrites; }
    const Writes &ledgerWrites() const { return m_ledgerWrites; }

private:
    QString m_directory;
    Writes m_answersWrites;
    Writes m_ledgerWrites;
};
