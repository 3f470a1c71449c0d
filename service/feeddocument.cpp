#include "feeddocument.h"

#include "documentfacts.h"
#include "feedformat.h"
#include "locationtable.h"

#include <QList>
#include <QXmlStreamWriter>

namespace {

const QString WeatherNs = QStringLiteral("http://xml.weather.yahoo.com/ns/rss/1.0");
const QString GeoNs = QStringLiteral("http://www.w3.org/2003/01/geo/wgs84_pos#");
// The project's own elements: the warnings and the coming hours, which a
// reader of the others does without. The name came with the warnings, the
// first of them; readers know the elements by it, so it stays.
const QString ProjectNs = QStringLiteral("https://rorizedivo.example.org/ns/warnings/1");

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

// The project's namespace is declared only where it has elements: a
// document without them is what it was before they existed.
void writeRssStart(QXmlStreamWriter &w, bool projectElements)
{
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(1);
    w.writeStartDocument(QStringLiteral("1.0"), true);
    w.writeStartElement(QStringLiteral("rss"));
    w.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    w.writeNamespace(WeatherNs, QStringLiteral("yweather"));
    w.writeNamespace(GeoNs, QStringLiteral("geo"));
    if (projectElements)
        w.writeNamespace(ProjectNs, QStringLiteral("rorizedivo"));
    w.writeStartElement(QStringLiteral("channel"));
}

void writeRssEnd(QXmlStreamWriter &w)
{
    w.writeEndElement(); // channel
    w.writeEndElement(); // rss
    w.writeEndDocument();
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
        w.writeEmptyElement(ProjectNs, QStringLiteral("warning"));
        w.writeAttribute(QStringLiteral("kind"), warningKindName(warning.kind));
        w.writeAttribute(QStringLiteral("start"), cityTime(warning.start).toString(Qt::ISODate));
        w.writeAttribute(QStringLiteral("end"), cityTime(warning.end).toString(Qt::ISODate));
        w.writeAttribute(QStringLiteral("peak"), feedDecimalText(warning.peak, 1));
    }
}

// The cities' own zone, whatever the host's: the times of the centre's
// alerts are told as the cities read them.
QString citiesTime(const QDateTime &time)
{
    return time.toOffsetFromUtc(3 * 3600).toString(Qt::ISODate);
}

// Each alert of the national centre in force over the city, its words in
// each language the feeds gave.
void writeAlerts(QXmlStreamWriter &w, const QList<OfficialAlert> &alerts)
{
    for (const OfficialAlert &alert : alerts) {
        w.writeStartElement(ProjectNs, QStringLiteral("alert"));
        w.writeAttribute(QStringLiteral("id"), alert.identifier);
        w.writeAttribute(QStringLiteral("colour"), alert.colour());
        if (!alert.severity.isEmpty())
            w.writeAttribute(QStringLiteral("severity"), alert.severity);
        if (!alert.urgency.isEmpty())
            w.writeAttribute(QStringLiteral("urgency"), alert.urgency);
        w.writeAttribute(QStringLiteral("onset"), citiesTime(alert.onset));
        w.writeAttribute(QStringLiteral("expires"), citiesTime(alert.expires));
        if (!alert.kind.isEmpty())
            w.writeAttribute(QStringLiteral("kind"), alert.kind);
        if (!alert.references.isEmpty())
            w.writeAttribute(QStringLiteral("references"), alert.references.join(u' '));
        for (const AlertText &text : alert.texts) {
            w.writeEmptyElement(ProjectNs, QStringLiteral("text"));
            w.writeAttribute(QStringLiteral("lang"), text.language);
            const QList<QPair<const char *, const QString *>> fields{{"sender", &text.sender},
                                                                     {"event", &text.event},
                                                                     {"headline", &text.headline},
                                                                     {"description", &text.description}};
            for (const auto &[name, value] : fields) {
                if (!value->isEmpty())
                    w.writeAttribute(QLatin1String(name), *value);
            }
        }
        w.writeEndElement(); // alert
    }
}

// Each coming hour as the current condition and the wind are written:
// temperature, code and text as the condition's, speed and direction as
// the wind's.
void writeHours(QXmlStreamWriter &w, const DocumentFacts &facts)
{
    for (const ComingHour &hour : facts.hours) {
        w.writeEmptyElement(ProjectNs, QStringLiteral("hour"));
        w.writeAttribute(QStringLiteral("time"), cityTime(hour.time).toString(Qt::ISODate));
        if (hour.temperature)
            w.writeAttribute(QStringLiteral("temp"), facts.in.temperature(*hour.temperature));
        w.writeAttribute(QStringLiteral("code"), QString::number(hour.condition.code));
        w.writeAttribute(QStringLiteral("text"), hour.condition.text);
        if (hour.windSpeed)
            w.writeAttribute(QStringLiteral("speed"), facts.in.speed(*hour.windSpeed));
        if (hour.windDirection)
            w.writeAttribute(QStringLiteral("direction"), feedWholeText(*hour.windDirection));
    }
}

// The item: the conditions now, the summary, the coming days, the warnings,
// the coming hours and its guid.
void writeItem(QXmlStreamWriter &w, const DocumentFacts &facts, const Location &location,
               const QList<OfficialAlert> &alerts)
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
    writeAlerts(w, alerts);
    writeHours(w, facts);

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
                                 const QJsonObject &airQuality, const QList<CityWarning> &warnings,
                                 const QList<ComingHour> &hours, const QList<OfficialAlert> &alerts)
{
    const DocumentFacts facts = factsOf(answer, location, units, airQuality, warnings, hours);
    QByteArray out;
    QXmlStreamWriter w(&out);
    writeRssStart(w, !facts.warnings.isEmpty() || !facts.hours.isEmpty() || !alerts.isEmpty());
    writeChannelHead(w, facts, location);
    writeConditionsNow(w, facts);
    writeItem(w, facts, location, alerts);
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
