#include "feed/feedreading.h"

#include "feed/conditionwords.h"
#include "feed/documentscreen.h"
#include "feed/winddirection.h"
#include "platform/boardlanguage.h"
#include "platform/numbertext.h"

#include <QCoreApplication>

#include <QDomDocument>
#include <QDomElement>
#include <QDomNodeList>

#include <cmath>
#include <optional>

namespace {

bool isXmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Only XML white space counts: a no-break space is part of the text.
QString trimmedXml(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isXmlSpace(text.at(begin)))
        ++begin;
    while (end > begin && isXmlSpace(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// Lookups go by the name as written, prefix included, exactly as the feeds
// have always been read; the namespace URIs are never consulted.
QDomElement firstElement(const QDomElement &channel, const QString &name)
{
    return channel.elementsByTagName(name).item(0).toElement();
}

bool isEmptyText(const FieldValue &value)
{
    return value.isText() && value.toText().isEmpty();
}

// A feed number: point as decimal separator, finite. "nan" and "inf" are
// not numbers a feed sends.
std::optional<double> feedNumber(const QString &text)
{
    const std::optional<double> number = parseNumber(text);
    if (number && std::isfinite(*number))
        return number;
    return std::nullopt;
}

// Each read below changes its value only when it succeeds, so a value
// missing from this channel keeps what an earlier channel gave it.

void readText(const QDomElement &channel, const QString &element, FieldValue &value)
{
    const QDomElement e = firstElement(channel, element);
    if (!e.isNull())
        value = FieldValue::text(trimmedXml(e.text()));
}

void readAttribute(const QDomElement &channel, const QString &element, const QString &attribute, FieldValue &value)
{
    const QDomElement e = firstElement(channel, element);
    if (e.isNull())
        return;
    value = e.hasAttribute(attribute) ? FieldValue::text(e.attribute(attribute)) : FieldValue::null();
}

void readSingle(const QDomElement &channel, const QString &element, const QString &attribute, float &value)
{
    const QDomElement e = firstElement(channel, element);
    if (e.isNull() || !e.hasAttribute(attribute))
        return;
    const std::optional<double> number = feedNumber(e.attribute(attribute));
    if (number && std::isfinite(float(*number)))
        value = float(*number);
}

FieldValue attributeOf(const QDomElement &e, const QString &name)
{
    return e.hasAttribute(name) ? FieldValue::text(e.attribute(name)) : FieldValue::null();
}

// The first `most` elements of that name, each made into an entry by
// `entry`; a channel without any leaves what an earlier one gave.
template <typename Entry, typename Make>
void readEntries(const QDomElement &channel, const QString &name, int most, QList<Entry> &entries, Make entry)
{
    const QDomNodeList elements = channel.elementsByTagName(name);
    if (elements.isEmpty())
        return;
    entries.clear();
    for (int i = 0; i < elements.size() && i < most; ++i)
        entries.append(entry(elements.item(i).toElement()));
}

void readDays(const QDomElement &channel, QList<ForecastDay> &days)
{
    readEntries(channel, QStringLiteral("yweather:forecast"), ComingDaysRead, days, [](const QDomElement &e) {
        return ForecastDay{attributeOf(e, QStringLiteral("day")), attributeOf(e, QStringLiteral("date")),
                           attributeOf(e, QStringLiteral("low")), attributeOf(e, QStringLiteral("high")),
                           attributeOf(e, QStringLiteral("code"))};
    });
}

void readHours(const QDomElement &channel, QList<ForecastHour> &hours)
{
    readEntries(channel, QStringLiteral("rorizedivo:hour"), ComingHoursRead, hours, [](const QDomElement &e) {
        return ForecastHour{attributeOf(e, QStringLiteral("time")), attributeOf(e, QStringLiteral("temp")),
                            attributeOf(e, QStringLiteral("code")), attributeOf(e, QStringLiteral("speed")),
                            attributeOf(e, QStringLiteral("direction"))};
    });
}

FieldValue orNoValue(const FieldValue &value)
{
    return value.hasValue() ? value : FieldValue::null();
}

FieldValue roundedVisibility(const FieldValue &visibility)
{
    // A visibility attribute missing from a present atmosphere element is no
    // value, and rounding no value gives no value, so the column is emptied.
    // Only an absent element (unset) rounds to 0. Text that is not a number
    // cannot be rounded, and the column keeps the 0 it was cleared to.
    if (visibility.isNull())
        return FieldValue::null();
    if (visibility.isText()) {
        if (const std::optional<double> number = feedNumber(visibility.toText())) {
            const double rounded = roundHalfEven(*number);
            if (std::isfinite(float(rounded)))
                return FieldValue::number(rounded);
        }
    }
    return FieldValue::number(0);
}

} // namespace

void readChannel(const QDomElement &channel, ChannelReadings &r)
{
    const QString condition = QStringLiteral("yweather:condition");
    const QString forecast = QStringLiteral("yweather:forecast");
    const QString astronomy = QStringLiteral("yweather:astronomy");
    const QString atmosphere = QStringLiteral("yweather:atmosphere");
    const QString wind = QStringLiteral("yweather:wind");

    readText(channel, QStringLiteral("pubDate"), r.pubDate);
    readAttribute(channel, QStringLiteral("yweather:location"), QStringLiteral("city"), r.city);
    readAttribute(channel, condition, QStringLiteral("temp"), r.temperature);
    readSingle(channel, condition, QStringLiteral("code"), r.conditionCode);
    r.conditionText = conditionText(r.conditionCode);
    // Some feeds carry no pubDate; the condition's own date says the same.
    if (r.pubDate.isUnset() || isEmptyText(r.pubDate))
        readAttribute(channel, condition, QStringLiteral("date"), r.pubDate);
    readAttribute(channel, forecast, QStringLiteral("low"), r.low);
    readAttribute(channel, forecast, QStringLiteral("high"), r.high);
    readAttribute(channel, astronomy, QStringLiteral("sunrise"), r.sunrise);
    readAttribute(channel, astronomy, QStringLiteral("sunset"), r.sunset);
    readAttribute(channel, atmosphere, QStringLiteral("humidity"), r.humidity);
    readAttribute(channel, atmosphere, QStringLiteral("visibility"), r.visibility);
    readAttribute(channel, wind, QStringLiteral("chill"), r.windChill);
    readSingle(channel, wind, QStringLiteral("direction"), r.windDirection);
    const WindDirection direction = windDirectionName(r.windDirection);
    r.windName = direction.name;
    r.windSector = direction.sector;
    readAttribute(channel, wind, QStringLiteral("speed"), r.windSpeed);
    readText(channel, QStringLiteral("geo:lat"), r.latitude);
    readText(channel, QStringLiteral("geo:long"), r.longitude);
    readText(channel, QStringLiteral("ttl"), r.ttl);
    readText(channel, QStringLiteral("link"), r.link);
    if (QList<FeedWarning> warnings = readWarnings(channel); !warnings.isEmpty())
        r.warnings = std::move(warnings);
    if (QList<FeedAlert> alerts = readAlerts(channel); !alerts.isEmpty())
        r.alerts = std::move(alerts);
    readDays(channel, r.days);
    readHours(channel, r.hours);
}

QList<ChannelReadings> readChannels(const QDomDocument &document)
{
    WorkBudget budget;
    return readChannels(document, budget);
}

QList<ChannelReadings> readChannels(const QDomDocument &document, WorkBudget &budget)
{
    QList<ChannelReadings> result;
    ChannelReadings readings;
    const QDomNodeList channels = document.elementsByTagName(QStringLiteral("channel"));
    const int count = channels.size();
    for (int i = 0; i < count; ++i) {
        // One channel's lookups walk at most the document's few thousand
        // elements: a millisecond or two between two checks.
        if (budget.isSpent())
            return {};
        readChannel(channels.item(i).toElement(), readings);
        result.append(readings);
    }
    return result;
}

ChannelOutcome channelOutcome(const ChannelReadings &r)
{
    if (r.city.isUnset() || isEmptyText(r.city))
        return ChannelOutcome::Stop;
    if (!r.temperature.isNull()) {
        // A feed that says 0 degrees is taken for a broken one.
        const std::optional<double> temperature = r.temperature.toNumber();
        if (!temperature || !std::isfinite(*temperature) || *temperature == 0.0)
            return ChannelOutcome::Stop;
    }
    if (r.link.isMissing() || isEmptyText(r.link))
        return ChannelOutcome::Skip;
    return ChannelOutcome::Write;
}

float windDirIndexAfter(const ChannelReadings &readings, float windDirIndexBefore)
{
    return readings.windSector != 0 ? float(readings.windSector) : windDirIndexBefore;
}

QList<QPair<QString, FieldValue>> clearedColumns()
{
    const FieldValue none = FieldValue::null();
    const FieldValue zero = FieldValue::number(0);
    return {
        {QStringLiteral("city_e"), none},
        {QStringLiteral("pDate"), none},
        {QStringLiteral("Temp"), zero},
        {QStringLiteral("Condition"), none},
        {QStringLiteral("Condition_Code"), zero},
        {QStringLiteral("Wind_Speed"), zero},
        {QStringLiteral("Wind_Dirctn"), none},
        {QStringLiteral("Wind_Chill"), zero},
        {QStringLiteral("Humidity"), zero},
        {QStringLiteral("Visibility"), zero},
        {QStringLiteral("sunrise"), none},
        {QStringLiteral("sunset"), none},
        {QStringLiteral("Loc_Lat"), none},
        {QStringLiteral("Loc_Long"), none},
        {QStringLiteral("ttl"), zero},
        {QStringLiteral("URL"), none},
    };
}

QList<QPair<QString, FieldValue>> filledColumns(const ChannelReadings &r, float windDirIndex)
{
    return {
        {QStringLiteral("city_e"), orNoValue(r.city)},
        {QStringLiteral("pDate"), orNoValue(r.pubDate)},
        {QStringLiteral("Temp"), orNoValue(r.temperature)},
        {QStringLiteral("temp_low"), orNoValue(r.low)},
        {QStringLiteral("temp_high"), orNoValue(r.high)},
        {QStringLiteral("Condition"), FieldValue::text(r.conditionText)},
        {QStringLiteral("Condition_Code"), FieldValue::number(r.conditionCode)},
        {QStringLiteral("Wind_Speed"), orNoValue(r.windSpeed)},
        {QStringLiteral("Wind_Dirctn"), FieldValue::text(r.windName)},
        {QStringLiteral("wCatg"), FieldValue::number(windDirIndex)},
        // A text column: the store keeps the number's decimal text ("30").
        {QStringLiteral("Wind_DirctnIndex"), FieldValue::number(r.windDirection)},
        {QStringLiteral("Wind_Chill"), orNoValue(r.windChill)},
        {QStringLiteral("Humidity"), orNoValue(r.humidity)},
        {QStringLiteral("Visibility"), roundedVisibility(r.visibility)},
        {QStringLiteral("sunrise"), orNoValue(r.sunrise)},
        {QStringLiteral("sunset"), orNoValue(r.sunset)},
        {QStringLiteral("Loc_Lat"), orNoValue(r.latitude)},
        {QStringLiteral("Loc_Long"), orNoValue(r.longitude)},
        {QStringLiteral("ttl"), orNoValue(r.ttl)},
        {QStringLiteral("URL"), orNoValue(r.link)},
    };
}

QList<QList<QPair<QString, FieldValue>>> comingDayRows(const ChannelReadings &r)
{
    QList<QList<QPair<QString, FieldValue>>> rows;
    for (const ForecastDay &d : r.days) {
        rows.append({{QStringLiteral("day"), d.day},
                     {QStringLiteral("date"), d.date},
                     {QStringLiteral("low"), d.low},
                     {QStringLiteral("high"), d.high},
                     {QStringLiteral("code"), d.code}});
    }
    return rows;
}

QList<QList<QPair<QString, FieldValue>>> comingHourRows(const ChannelReadings &r)
{
    QList<QList<QPair<QString, FieldValue>>> rows;
    for (const ForecastHour &h : r.hours) {
        rows.append({{QStringLiteral("hour"), h.time},
                     {QStringLiteral("temp"), h.temp},
                     {QStringLiteral("code"), h.code},
                     {QStringLiteral("speed"), h.speed},
                     {QStringLiteral("direction"), h.direction}});
    }
    return rows;
}

QString tickerSegment(const QString &cityA, const ChannelReadings &r)
{
    // The ticker speaks the board's language: in English the city is named
    // as its document names it, and the condition word is translated.
    const QString feedName = r.city.isText() ? r.city.toText().trimmed() : QString();
    const QString city = boardReadsLeftToRight() && !feedName.isEmpty() ? feedName : cityA;
    QString segment = city + QStringLiteral(" : ")
        + QCoreApplication::translate("ConditionWords", r.conditionText.toUtf8().constData()) + QStringLiteral("  ")
        + r.temperature.toText() + QStringLiteral("   ....  ");
    if (conditionSpeaksOfRain(r.conditionText)) {
        // "O God, let it be a beneficial rain". The tanween mark U+064B
        // stands alone between two blanks, as the board has always shown it.
        segment += QCoreApplication::translate("FeedReading", " اللهم صيبا ً نافعاً ") + QStringLiteral("   .........  ");
    }
    return segment;
}
