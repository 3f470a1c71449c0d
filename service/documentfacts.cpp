#include "documentfacts.h"

#include "locationtable.h"

namespace {

// Forecasts a document carries at most, today first.
constexpr int ForecastDays = 5;

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

const Day *dayOfReading(const Reading &reading)
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

FeedCondition conditionOf(std::optional<int> wmoCode, bool daytime)
{
    return wmoCode ? conditionForWmoCode(*wmoCode, daytime)
                   : FeedCondition{NotAvailableCode, conditionName(NotAvailableCode)};
}

FeedCondition conditionAt(const Current &current, const Day *day, const std::optional<Air> &air)
{
    if (air && isDustCondition(current.weatherCode, air->dust))
        return FeedCondition{DustCode, conditionName(DustCode)};
    return conditionOf(current.weatherCode, isDaytime(current, day));
}

DocumentFacts factsOf(const QJsonObject &answer, const Location &location, Units units, const QJsonObject &airQuality,
                      const QList<CityWarning> &warnings, const QList<ComingHour> &hours)
{
    DocumentFacts facts;
    facts.warnings = warnings;
    facts.hours = hours;
    facts.reading = readUpstreamAnswer(answer, airQuality);
    facts.in = UnitTexts{units};
    const Reading &reading = facts.reading;
    facts.day = dayOfReading(reading);
    facts.place = location.city + QStringLiteral(", ") + location.countryCode;
    if (reading.current && reading.current->time)
        facts.shown = reading.current->time->addSecs(reading.shownTimeShift);
    if (facts.shown)
        facts.published = feedDateTimeText(facts.shown->date(), facts.shown->time(), reading.zone);
    if (reading.current)
        facts.condition = conditionAt(*reading.current, facts.day, reading.air);
    facts.forecastDays = reading.days.mid(0, ForecastDays);
    return facts;
}
