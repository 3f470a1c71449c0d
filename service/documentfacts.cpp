#include "documentfacts.h"

#include "locationtable.h"

namespace {

// Forecasts a document carries at most, today first.
constexpr int ForecastDays = 5;

// The day the current conditions belong to: the day of the observation, or
// the first day when the observation has no time.
const Day *today(const Reading &reading)
{
    if (reading.days.isEmpty())
        return nullptr;
    if (!reading.current || !reading.current->time)
        return &reading.days.first();
    for (const Day &day : reading.days) {
        if (day.date == reading.current->time->date())
            return &day;
    }
    return nullptr;
}

bool isDaytime(const Current &current, const Day *day)
{
    if (current.isDay)
        return *current.isDay;
    if (current.time && day && day->sunrise && day->sunset) {
        const QTime now = current.time->time();
        return now >= *day->sunrise && now < *day->sunset;
    }
    return true;
}

} // namespace

FeedCondition conditionOf(std::optional<int> wmoCode, bool daytime)
{
    return wmoCode ? conditionForWmoCode(*wmoCode, daytime)
                   : FeedCondition{NotAvailableCode, conditionName(NotAvailableCode)};
}

DocumentFacts factsOf(const QJsonObject &answer, const Location &location, Units units, const QJsonObject &airQuality,
                      const QList<CityWarning> &warnings)
{
    DocumentFacts facts;
    facts.warnings = warnings;
    facts.reading = readUpstreamAnswer(answer, airQuality);
    facts.in = UnitTexts{units};
    const Reading &reading = facts.reading;
    facts.day = today(reading);
    facts.place = location.city + QStringLiteral(", ") + location.countryCode;
    if (reading.current && reading.current->time)
        facts.shown = reading.current->time->addSecs(reading.shownTimeShift);
    if (facts.shown)
        facts.published = feedDateTimeText(facts.shown->date(), facts.shown->time(), reading.zone);
    if (reading.current) {
        if (reading.air && isDustCondition(reading.current->weatherCode, reading.air->dust))
            facts.condition = FeedCondition{DustCode, conditionName(DustCode)};
        else
            facts.condition = conditionOf(reading.current->weatherCode, isDaytime(*reading.current, facts.day));
    }
    facts.forecastDays = reading.days.mid(0, ForecastDays);
    return facts;
}
