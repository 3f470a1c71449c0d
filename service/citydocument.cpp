#include "citydocument.h"

#include "citywarnings.h"
#include "feeddocument.h"
#include "quarterseries.h"

#include <algorithm>

void CityDocument::keep(const KeptAnswers &answers)
{
    m_answers = answers;
    m_quarters = conditionQuarters(answers.forecast);
    m_documentQuarter = QDateTime();
    m_hoursFrom = QDateTime();
}

std::optional<QDateTime> CityDocument::latestQuarter(const QDateTime &now) const
{
    return ::latestQuarter(m_quarters, quarterStart(now));
}

bool CityDocument::hasServable(const QDateTime &now) const
{
    const auto quarter = latestQuarter(now);
    return quarter && quarter->secsTo(now) <= StaleLimitSeconds;
}

ServedDocument CityDocument::served(Units units, const QDateTime &now, bool renewing,
                                    const QList<OfficialAlert> &alerts)
{
    ServedDocument served;
    const auto quarter = latestQuarter(now);
    if (!quarter || quarter->secsTo(now) > StaleLimitSeconds) {
        served.status = ServedDocument::Status::Unavailable;
        served.note = QStringLiteral("unavailable");
        return served;
    }
    if (m_documentQuarter != *quarter || m_documentHour != hourStart(now) || m_documentAlerts != alerts) {
        const QJsonObject forecast = forecastAtQuarter(m_answers.forecast, *quarter);
        const QJsonObject air = airQualityAtQuarter(m_answers.airQuality, *quarter);
        const QList<CityWarning> warnings = cityWarnings(m_answers.forecast, m_answers.airQuality, *quarter);
        // From the hour served: a stale document's older series tells fewer.
        if (m_hoursFrom != hourStart(now)) {
            m_hours = comingHours(m_answers.forecast, m_answers.airQuality, now);
            m_hoursFrom = hourStart(now);
        }
        m_metric = writeForecastDocument(forecast, *m_location, Units::Metric, air, warnings, m_hours, alerts);
        m_imperial = writeForecastDocument(forecast, *m_location, Units::Imperial, air, warnings, m_hours, alerts);
        m_documentAlerts = alerts;
        m_documentQuarter = *quarter;
        m_documentHour = hourStart(now);
        m_documentMadeAt = now;
    }
    served.status = ServedDocument::Status::Ok;
    served.body = units == Units::Metric ? m_metric : m_imperial;
    served.stale = *quarter != quarterStart(now);
    served.note = served.stale ? QStringLiteral("stale") : QStringLiteral("fresh");
    served.lastModified = m_documentMadeAt;
    // A stale document, or one a wave under way may replace any moment, is
    // not to be kept by a cache: no-cache.
    served.maxAgeSeconds = served.stale || renewing
        ? -1
        : int(std::max<qint64>(0, now.secsTo(quarterStart(now).addSecs(QuarterSeconds))));
    return served;
}
