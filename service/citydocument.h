#pragma once

#include "cominghours.h"
#include "forecastsource.h"
#include "officialalerts.h"
#include "waveschedule.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>

#include <optional>

struct Location;

// What one city keeps of the waves' answers: its element of the last
// forecast answer that had a usable one, and of an air-quality answer.
struct KeptAnswers
{
    QJsonObject forecast; // empty when none
    QJsonObject airQuality; // empty when none
    QDateTime fetchedAt; // when the wave that brought `forecast` began
};

// One city of the live source: the answers it keeps, its own pauses, and
// its documents, written once for each quarter they tell of and hour they
// are served in (their coming hours begin at the hour served).
class CityDocument
{
public:
    static constexpr int QuarterSeconds = 15 * 60;
    static constexpr int StaleLimitSeconds = 3 * 60 * 60;

    // The location must outlive the city.
    explicit CityDocument(const Location &location)
        : m_location(&location)
    {
    }

    const Location &location() const { return *m_location; }

    const KeptAnswers &answers() const { return m_answers; }
    // What the city keeps from now on; the documents are written anew.
    void keep(const KeptAnswers &answers);

    // The latest quarter the kept forecast tells of, at or before now.
    std::optional<QDateTime> latestQuarter(const QDateTime &now) const;
    // Whether that quarter is within the stale rule (3 hours).
    bool hasServable(const QDateTime &now) const;

    // The city's document for the latest quarter at hand, fresh or stale;
    // Unavailable (with no time to ask again: the caller knows it) when it
    // has none. `renewing`: a wave under way may replace it any moment.
    // `alerts`: the national centre's alerts in force over the city now.
    ServedDocument served(Units units, const QDateTime &now, bool renewing, const QList<OfficialAlert> &alerts = {});

    Backoff backoff; // its forecast element failed
    Backoff airBackoff; // its air-quality element failed

private:
    const Location *m_location;
    KeptAnswers m_answers;
    QList<QDateTime> m_quarters; // those its forecast gives conditions for
    // The documents last written, the quarter they tell of and the hour
    // their coming hours begin at.
    QDateTime m_documentQuarter;
    QDateTime m_documentHour;
    QList<OfficialAlert> m_documentAlerts;
    // The coming hours from that hour, found once for its four quarters.
    QList<ComingHour> m_hours;
    QDateTime m_hoursFrom;
    QDateTime m_documentMadeAt;
    QByteArray m_metric;
    QByteArray m_imperial;
};
