#include "feeddocument.h"

#include "conditions.h"
#include "feedformat.h"
#include "locationtable.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QXmlStreamWriter>

#include <cmath>

namespace {

const QString WeatherNs = QStringLiteral("http://xml.weather.yahoo.com/ns/rss/1.0");
const QString GeoNs = QStringLiteral("http://www.w3.org/2003/01/geo/wgs84_pos#");
// The project's own elements: the warnings, which a reader of the others
// does without.
const QString WarningsNs = QStringLiteral("https://rorizedivo.example.org/ns/warnings/1");

using Maybe = std::optional<double>;

// Forecasts a document carries at most, today first.
constexpr int ForecastDays = 5;

// No reading in any unit the upstream gives comes near this; converted to
// another unit it stays far within what the texts are written for
// (MaximumFeedNumber).
constexpr double MaximumReading = 1e6;

Maybe numberAt(const QJsonValue &value)
{
    if (!value.isDouble())
        return {};
    // Numbers too large for any reading are left out like a null, rather
    // than written as nonsense.
    const double v = value.toDouble();
    return std::fabs(v) <= MaximumReading ? Maybe(v) : Maybe();
}

Maybe numberOf(const QJsonObject &object, const char *key)
{
    return numberAt(object.value(QLatin1String(key)));
}

// The value at index i of a daily series; nothing when the series is not
// there, too short, or holds null.
QJsonValue seriesAt(const QJsonObject &daily, const char *key, int i)
{
    const QJsonArray series = daily.value(QLatin1String(key)).toArray();
    return i < series.size() ? series.at(i) : QJsonValue();
}

// Converts a value to the writer's base unit by the unit text the upstream
// gave for it. Without a unit text the upstream's default is meant; a unit
// text not in the list leaves the value out, as guessing would invent data.
struct UnitFactor
{
    const char *unit;
    double scale;
    double offset;
};

Maybe inBaseUnit(Maybe value, const QJsonObject &units, const char *key, std::initializer_list<UnitFactor> known)
{
    if (!value)
        return {};
    const QJsonValue unit = units.value(QLatin1String(key));
    if (unit.isUndefined() || unit.isNull())
        return value;
    const QString text = unit.toString();
    for (const UnitFactor &factor : known) {
        if (text == QString::fromUtf8(factor.unit))
            return *value * factor.scale + factor.offset;
    }
    return {};
}

Maybe celsius(Maybe v, const QJsonObject &units, const char *key)
{
    return inBaseUnit(v, units, key, {{"°C", 1.0, 0.0}, {"°F", 5.0 / 9.0, -32.0 * 5.0 / 9.0}});
}

Maybe kilometresPerHour(Maybe v, const QJsonObject &units, const char *key)
{
    return inBaseUnit(
        v, units, key,
        {{"km/h", 1.0, 0.0}, {"m/s", 3.6, 0.0}, {"mp/h", 1.609344, 0.0}, {"mph", 1.609344, 0.0}, {"kn", 1.852, 0.0}});
}

Maybe metres(Maybe v, const QJsonObject &units, const char *key)
{
    return inBaseUnit(v, units, key, {{"m", 1.0, 0.0}, {"ft", 0.3048, 0.0}});
}

Maybe hectopascals(Maybe v, const QJsonObject &units, const char *key)
{
    return inBaseUnit(v, units, key, {{"hPa", 1.0, 0.0}});
}

Maybe plain(Maybe v, const QJsonObject &units, const char *key, const char *unit)
{
    return inBaseUnit(v, units, key, {{unit, 1.0, 0.0}});
}

Maybe millimetres(Maybe v, const QJsonObject &units, const char *key)
{
    return inBaseUnit(v, units, key, {{"mm", 1.0, 0.0}, {"inch", 25.4, 0.0}});
}

// Micro as the micro sign or as the Greek letter mu.
Maybe microgramsPerCubicMetre(Maybe v, const QJsonObject &units, const char *key)
{
    return inBaseUnit(v, units, key, {{"\u00b5g/m\u00b3", 1.0, 0.0}, {"\u03bcg/m\u00b3", 1.0, 0.0}});
}

std::optional<int> wholeNumber(Maybe v)
{
    if (!v || std::floor(*v) != *v || std::fabs(*v) > 100000.0)
        return {};
    return static_cast<int>(*v);
}

std::optional<QDate> localDate(const QJsonValue &value)
{
    if (!value.isString())
        return {};
    const QDate date = QDate::fromString(value.toString(), Qt::ISODate);
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

struct Current
{
    std::optional<QDateTime> time; // local wall time
    Maybe temperature; // °C
    Maybe humidity; // %
    Maybe pressure; // hPa
    Maybe windSpeed; // km/h
    Maybe windDirection; // degrees
    Maybe visibility; // metres
    std::optional<int> weatherCode;
    std::optional<bool> isDay;
};

struct Day
{
    QDate date;
    Maybe high; // °C
    Maybe low; // °C
    std::optional<int> weatherCode;
    std::optional<QTime> sunrise;
    std::optional<QTime> sunset;
};

// The air near the ground, from the air-quality answer.
struct Air
{
    Maybe dust; // μg/m³
    Maybe pm10; // μg/m³
};

// The values of an air-quality answer's current block; nothing when there
// is no such block. A concentration in another unit than μg/m³ is left out.
std::optional<Air> readAir(const QJsonObject &answer)
{
    const QJsonValue current = answer.value(QLatin1String("current"));
    if (!current.isObject())
        return {};
    const QJsonObject units = answer.value(QLatin1String("current_units")).toObject();
    const auto concentration = [&](const char *key) {
        return microgramsPerCubicMetre(numberOf(current.toObject(), key), units, key);
    };
    return Air{concentration("dust"), concentration("pm10")};
}

struct Reading
{
    std::optional<Current> current; // nothing when the answer has no current block
    QList<Day> days;
    QString zone;
    int shownTimeShift = 0; // seconds added to the observation time where it is shown with its zone
    std::optional<Air> air; // nothing without an air-quality answer
};

Current readCurrent(const QJsonObject &current, const QJsonObject &units)
{
    Current c;
    c.time = wallClockReading(current.value(QLatin1String("time")));
    c.temperature = celsius(numberOf(current, "temperature_2m"), units, "temperature_2m");
    c.humidity = plain(numberOf(current, "relative_humidity_2m"), units, "relative_humidity_2m", "%");
    c.pressure = hectopascals(numberOf(current, "pressure_msl"), units, "pressure_msl");
    c.windSpeed = kilometresPerHour(numberOf(current, "wind_speed_10m"), units, "wind_speed_10m");
    c.windDirection = plain(numberOf(current, "wind_direction_10m"), units, "wind_direction_10m", "°");
    c.visibility = metres(numberOf(current, "visibility"), units, "visibility");
    c.weatherCode = wholeNumber(numberOf(current, "weather_code"));
    if (const auto isDay = wholeNumber(numberOf(current, "is_day")); isDay && (*isDay == 0 || *isDay == 1))
        c.isDay = *isDay == 1;
    return c;
}

std::optional<QTime> clockAt(const QJsonValue &value)
{
    const auto dt = wallClockReading(value);
    return dt ? std::optional<QTime>(dt->time()) : std::nullopt;
}

QList<Day> readDays(const QJsonObject &daily, const QJsonObject &units)
{
    QList<Day> days;
    const QJsonArray times = daily.value(QLatin1String("time")).toArray();
    for (int i = 0; i < times.size(); ++i) {
        const auto date = localDate(times.at(i));
        if (!date)
            continue; // a day without its date says nothing usable
        Day day;
        day.date = *date;
        day.high = celsius(numberAt(seriesAt(daily, "temperature_2m_max", i)), units, "temperature_2m_max");
        day.low = celsius(numberAt(seriesAt(daily, "temperature_2m_min", i)), units, "temperature_2m_min");
        day.weatherCode = wholeNumber(numberAt(seriesAt(daily, "weather_code", i)));
        day.sunrise = clockAt(seriesAt(daily, "sunrise", i));
        day.sunset = clockAt(seriesAt(daily, "sunset", i));
        days.append(day);
    }
    return days;
}

std::optional<int> utcOffset(const QJsonObject &answer)
{
    const auto offset = wholeNumber(numberOf(answer, "utc_offset_seconds"));
    if (offset && std::abs(*offset) <= 18 * 3600)
        return offset;
    return {};
}

Reading read(const QJsonObject &answer, const QJsonObject &airQuality)
{
    Reading reading;
    reading.air = readAir(airQuality);
    const QJsonValue current = answer.value(QLatin1String("current"));
    if (current.isObject())
        reading.current = readCurrent(current.toObject(), answer.value(QLatin1String("current_units")).toObject());
    reading.days = readDays(answer.value(QLatin1String("daily")).toObject(),
                            answer.value(QLatin1String("daily_units")).toObject());
    const auto offset = utcOffset(answer);
    reading.zone = feedZoneText(answer.value(QLatin1String("timezone")).toString(),
                                answer.value(QLatin1String("timezone_abbreviation")).toString(), offset);
    if (reading.zone.isEmpty() && offset) {
        // A zone that cannot be named briefly: give the observation in GMT.
        reading.zone = QStringLiteral("GMT");
        reading.shownTimeShift = -*offset;
    }
    return reading;
}

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

FeedCondition conditionOf(std::optional<int> wmoCode, bool daytime)
{
    return wmoCode ? conditionForWmoCode(*wmoCode, daytime)
                   : FeedCondition{NotAvailableCode, conditionName(NotAvailableCode)};
}

struct UnitTexts
{
    Units units;

    QString temperature(double c) const
    {
        return feedTemperatureText(units == Units::Metric ? c : celsiusToFahrenheit(c));
    }
    QString wholeTemperature(double c) const
    {
        return feedWholeText(units == Units::Metric ? c : celsiusToFahrenheit(c));
    }
    QString speed(double kmh) const { return feedDecimalText(units == Units::Metric ? kmh : kmhToMph(kmh), 2); }
    QString distance(double m) const
    {
        return feedDecimalText(units == Units::Metric ? metresToKilometres(m) : metresToMiles(m), 2);
    }
    QString pressure(double hpa) const
    {
        return feedDecimalText(units == Units::Metric ? hpa : hectopascalsToInchesOfMercury(hpa), 2);
    }
    QString temperatureUnit() const { return units == Units::Metric ? QStringLiteral("C") : QStringLiteral("F"); }
};

// Attributes of one element; the element is written only when one of them
// has a value.
struct Attributes
{
    QList<QPair<QString, QString>> list;

    void add(const QString &name, const std::optional<QString> &value)
    {
        if (value)
            list.append({name, *value});
    }
    void writeEmpty(QXmlStreamWriter &w, const QString &ns, const QString &name) const
    {
        if (list.isEmpty())
            return;
        w.writeEmptyElement(ns, name);
        for (const auto &a : list)
            w.writeAttribute(a.first, a.second);
    }
};

template <typename F>
std::optional<QString> textOf(Maybe value, F format)
{
    return value ? std::optional<QString>(format(*value)) : std::nullopt;
}

// The warnings' namespace is declared only where there are warnings: a
// document without them is what it was before they existed.
void writeRssStart(QXmlStreamWriter &w, bool warnings)
{
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(1);
    w.writeStartDocument(QStringLiteral("1.0"), true);
    w.writeStartElement(QStringLiteral("rss"));
    w.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    w.writeNamespace(WeatherNs, QStringLiteral("yweather"));
    w.writeNamespace(GeoNs, QStringLiteral("geo"));
    if (warnings)
        w.writeNamespace(WarningsNs, QStringLiteral("rorizedivo"));
    w.writeStartElement(QStringLiteral("channel"));
}

void writeRssEnd(QXmlStreamWriter &w)
{
    w.writeEndElement(); // channel
    w.writeEndElement(); // rss
    w.writeEndDocument();
}

} // namespace

std::optional<QDateTime> wallClockReading(const QJsonValue &value)
{
    if (!value.isString())
        return {};
    const QString text = value.toString();
    const qsizetype t = text.indexOf(u'T');
    if (t < 0)
        return {};
    const QDate date = QDate::fromString(text.left(t), Qt::ISODate);
    const QTime time = QTime::fromString(text.mid(t + 1), Qt::ISODate);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

std::optional<double> seriesValue(const QJsonObject &series, const QJsonObject &units, const char *key, int i,
                                  Quantity quantity)
{
    const Maybe value = numberAt(seriesAt(series, key, i));
    switch (quantity) {
    case Quantity::Temperature:
        return celsius(value, units, key);
    case Quantity::Speed:
        return kilometresPerHour(value, units, key);
    case Quantity::Precipitation:
        return millimetres(value, units, key);
    case Quantity::Concentration:
        return microgramsPerCubicMetre(value, units, key);
    }
    return {};
}

std::optional<QDateTime> observationTime(const QJsonObject &answer)
{
    const QJsonObject current = answer.value(QLatin1String("current")).toObject();
    const auto local = wallClockReading(current.value(QLatin1String("time")));
    const auto offset = utcOffset(answer);
    if (!local || !offset)
        return {};
    return QDateTime(local->date(), local->time(), Qt::UTC).addSecs(-*offset);
}

namespace {

// What one document tells, worked out once before it is written.
struct DocumentFacts
{
    Reading reading;
    UnitTexts in{Units::Metric};
    const Day *day = nullptr;
    QString place; // "Riyadh, SA"
    std::optional<QDateTime> shown; // the observation time as it is shown beside its zone
    std::optional<QString> published;
    std::optional<FeedCondition> condition;
    QList<Day> forecastDays;
    QList<CityWarning> warnings;
};

DocumentFacts factsOf(const QJsonObject &answer, const Location &location, Units units, const QJsonObject &airQuality,
                      const QList<CityWarning> &warnings)
{
    DocumentFacts facts;
    facts.warnings = warnings;
    facts.reading = read(answer, airQuality);
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

// The channel's own elements, before its item: title, credit, dates, the
// location and the units.
void writeChannelHead(QXmlStreamWriter &w, const DocumentFacts &facts, const Location &location)
{
    QString credit = QStringLiteral("%1 (CC BY 4.0)").arg(QString::fromLatin1(DataCredit));
    if (facts.reading.air)
        credit += QStringLiteral(". %1 (CC BY 4.0)").arg(QString::fromLatin1(AirQualityCredit));
    w.writeTextElement(QStringLiteral("title"), QStringLiteral("Weather - ") + facts.place);
    w.writeTextElement(QStringLiteral("link"), QString::fromLatin1(DataCreditLink));
    w.writeTextElement(QStringLiteral("description"), QStringLiteral("Weather for %1. %2").arg(facts.place, credit));
    w.writeTextElement(QStringLiteral("language"), QStringLiteral("en-us"));
    if (facts.published)
        w.writeTextElement(QStringLiteral("lastBuildDate"), *facts.published);
    w.writeTextElement(QStringLiteral("ttl"), QString::number(DocumentTtlMinutes));

    w.writeEmptyElement(WeatherNs, QStringLiteral("location"));
    w.writeAttribute(QStringLiteral("city"), location.city);
    w.writeAttribute(QStringLiteral("region"), location.region);
    w.writeAttribute(QStringLiteral("country"), location.country);

    const bool metric = facts.in.units == Units::Metric;
    w.writeEmptyElement(WeatherNs, QStringLiteral("units"));
    w.writeAttribute(QStringLiteral("temperature"), facts.in.temperatureUnit());
    w.writeAttribute(QStringLiteral("distance"), metric ? QStringLiteral("km") : QStringLiteral("mi"));
    w.writeAttribute(QStringLiteral("pressure"), metric ? QStringLiteral("mb") : QStringLiteral("in"));
    w.writeAttribute(QStringLiteral("speed"), metric ? QStringLiteral("km/h") : QStringLiteral("mph"));
}

// Wind and atmosphere now, and the day's sun.
void writeConditionsNow(QXmlStreamWriter &w, const DocumentFacts &facts)
{
    const UnitTexts &in = facts.in;
    if (facts.reading.current) {
        const Current &c = *facts.reading.current;
        Attributes wind;
        Maybe chill;
        if (c.temperature && c.windSpeed)
            chill = windChillCelsius(*c.temperature, *c.windSpeed);
        wind.add(QStringLiteral("chill"), textOf(chill, [&](double v) { return in.wholeTemperature(v); }));
        wind.add(QStringLiteral("direction"), textOf(c.windDirection, feedWholeText));
        wind.add(QStringLiteral("speed"), textOf(c.windSpeed, [&](double v) { return in.speed(v); }));
        wind.writeEmpty(w, WeatherNs, QStringLiteral("wind"));

        Attributes atmosphere;
        atmosphere.add(QStringLiteral("humidity"), textOf(c.humidity, feedWholeText));
        atmosphere.add(QStringLiteral("visibility"), textOf(c.visibility, [&](double v) { return in.distance(v); }));
        atmosphere.add(QStringLiteral("pressure"), textOf(c.pressure, [&](double v) { return in.pressure(v); }));
        atmosphere.writeEmpty(w, WeatherNs, QStringLiteral("atmosphere"));
    }
    if (facts.day) {
        Attributes astronomy;
        if (facts.day->sunrise)
            astronomy.add(QStringLiteral("sunrise"), feedClockText(*facts.day->sunrise));
        if (facts.day->sunset)
            astronomy.add(QStringLiteral("sunset"), feedClockText(*facts.day->sunset));
        astronomy.writeEmpty(w, WeatherNs, QStringLiteral("astronomy"));
    }
}

// A short human-readable summary, as feed readers show it.
QString summaryOf(const DocumentFacts &facts)
{
    const UnitTexts &in = facts.in;
    const Reading &reading = facts.reading;
    QString summary;
    if (facts.condition) {
        summary += QStringLiteral("<b>Current Conditions:</b><br />\n") + facts.condition->text;
        if (reading.current->temperature)
            summary += QStringLiteral(", ") + in.temperature(*reading.current->temperature) + QLatin1Char(' ')
                + in.temperatureUnit();
        summary += QStringLiteral("<br />\n");
    }
    if (reading.air && (reading.air->dust || reading.air->pm10)) {
        QStringList parts;
        if (reading.air->dust)
            parts << QStringLiteral("dust %1").arg(feedWholeText(*reading.air->dust));
        if (reading.air->pm10)
            parts << QStringLiteral("PM10 %1").arg(feedWholeText(*reading.air->pm10));
        summary += QStringLiteral("Air near the ground (\u00b5g/m\u00b3): ") + parts.join(QStringLiteral(", "))
            + QStringLiteral("<br />\n");
    }
    if (!facts.forecastDays.isEmpty()) {
        summary += QStringLiteral("<br /><b>Forecast:</b><br />\n");
        for (const Day &d : facts.forecastDays) {
            summary += feedWeekdayText(d.date) + QStringLiteral(" - ") + conditionOf(d.weatherCode, true).text
                + QLatin1Char('.');
            if (d.high)
                summary += QStringLiteral(" High: ") + in.wholeTemperature(*d.high);
            if (d.low)
                summary += QStringLiteral(" Low: ") + in.wholeTemperature(*d.low);
            summary += QStringLiteral("<br />\n");
        }
    }
    summary += QStringLiteral("<br />\n<a href=\"%1\">%2</a> (CC BY 4.0)<br />\n")
                   .arg(QString::fromLatin1(DataCreditLink), QString::fromLatin1(DataCredit));
    if (reading.air)
        summary += QStringLiteral("<a href=\"%1\">%2</a> (CC BY 4.0)<br />\n")
                       .arg(QString::fromLatin1(AirQualityCreditLink), QString::fromLatin1(AirQualityCredit));
    return summary;
}

// Forecasts are for the day; the night forms of the codes are for current
// conditions only.
void writeForecastDays(QXmlStreamWriter &w, const DocumentFacts &facts)
{
    for (const Day &d : facts.forecastDays) {
        const FeedCondition forecast = conditionOf(d.weatherCode, true);
        w.writeEmptyElement(WeatherNs, QStringLiteral("forecast"));
        w.writeAttribute(QStringLiteral("day"), feedWeekdayText(d.date));
        w.writeAttribute(QStringLiteral("date"), feedDayText(d.date));
        if (d.low)
            w.writeAttribute(QStringLiteral("low"), facts.in.wholeTemperature(*d.low));
        if (d.high)
            w.writeAttribute(QStringLiteral("high"), facts.in.wholeTemperature(*d.high));
        w.writeAttribute(QStringLiteral("text"), forecast.text);
        w.writeAttribute(QStringLiteral("code"), QString::number(forecast.code));
    }
}

// Each warning in the same units whatever the document's: dust µg/m³,
// °C, mm, the weather code, km/h.
void writeWarnings(QXmlStreamWriter &w, const DocumentFacts &facts)
{
    for (const CityWarning &warning : facts.warnings) {
        w.writeEmptyElement(WarningsNs, QStringLiteral("warning"));
        w.writeAttribute(QStringLiteral("kind"), warningKindName(warning.kind));
        w.writeAttribute(QStringLiteral("start"), warning.start.toString(Qt::ISODate));
        w.writeAttribute(QStringLiteral("end"), warning.end.toString(Qt::ISODate));
        w.writeAttribute(QStringLiteral("peak"), feedDecimalText(warning.peak, 1));
    }
}

// The item: the conditions now, the summary, the coming days, the warnings
// and its guid.
void writeItem(QXmlStreamWriter &w, const DocumentFacts &facts, const Location &location)
{
    const Reading &reading = facts.reading;
    w.writeStartElement(QStringLiteral("item"));
    QString itemTitle = QStringLiteral("Conditions for ") + facts.place;
    if (facts.shown) {
        itemTitle += QStringLiteral(" at ") + feedClockText(facts.shown->time());
        if (!reading.zone.isEmpty())
            itemTitle += QLatin1Char(' ') + reading.zone;
    }
    w.writeTextElement(QStringLiteral("title"), itemTitle);
    w.writeTextElement(GeoNs, QStringLiteral("lat"), feedCoordinateText(location.latitude));
    w.writeTextElement(GeoNs, QStringLiteral("long"), feedCoordinateText(location.longitude));
    w.writeTextElement(QStringLiteral("link"), QString::fromLatin1(DataCreditLink));
    if (facts.published)
        w.writeTextElement(QStringLiteral("pubDate"), *facts.published);

    if (facts.condition) {
        w.writeEmptyElement(WeatherNs, QStringLiteral("condition"));
        w.writeAttribute(QStringLiteral("text"), facts.condition->text);
        w.writeAttribute(QStringLiteral("code"), QString::number(facts.condition->code));
        if (reading.current->temperature)
            w.writeAttribute(QStringLiteral("temp"), facts.in.temperature(*reading.current->temperature));
        if (facts.published)
            w.writeAttribute(QStringLiteral("date"), *facts.published);
    }
    w.writeStartElement(QStringLiteral("description"));
    w.writeCDATA(QLatin1Char('\n') + summaryOf(facts));
    w.writeEndElement();
    writeForecastDays(w, facts);
    writeWarnings(w, facts);

    QString guid = location.id;
    if (facts.shown) {
        guid += facts.shown->toString(QStringLiteral("_yyyy_MM_dd_HH_mm"));
        if (!reading.zone.isEmpty())
            guid += QLatin1Char('_') + reading.zone;
    }
    w.writeStartElement(QStringLiteral("guid"));
    w.writeAttribute(QStringLiteral("isPermaLink"), QStringLiteral("false"));
    w.writeCharacters(guid);
    w.writeEndElement();
    w.writeEndElement(); // item
}

} // namespace

QByteArray writeForecastDocument(const QJsonObject &answer, const Location &location, Units units,
                                 const QJsonObject &airQuality, const QList<CityWarning> &warnings)
{
    const DocumentFacts facts = factsOf(answer, location, units, airQuality, warnings);
    QByteArray out;
    QXmlStreamWriter w(&out);
    writeRssStart(w, !facts.warnings.isEmpty());
    writeChannelHead(w, facts, location);
    writeConditionsNow(w, facts);
    writeItem(w, facts, location);
    writeRssEnd(w);
    return out;
}

QByteArray writeErrorDocument(const QString &requestTarget)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    writeRssStart(w, false);
    w.writeTextElement(QStringLiteral("title"), QStringLiteral("Weather - Error"));
    w.writeTextElement(QStringLiteral("description"), QStringLiteral("Weather Error"));
    w.writeStartElement(QStringLiteral("item"));
    w.writeTextElement(QStringLiteral("title"), QStringLiteral("City not found"));
    w.writeTextElement(QStringLiteral("description"), QStringLiteral("Invalid Input ") + requestTarget);
    w.writeEndElement(); // item
    writeRssEnd(w);
    return out;
}
