#pragma once

#include "feed/feedalert.h"
#include "feed/feedwarning.h"
#include "platform/feeddate.h"
#include "platform/fieldvalue.h"

#include <QList>
#include <QPair>
#include <QString>

class QDomDocument;
class QDomElement;
class WorkBudget;

// One coming day of the feed: a "yweather:forecast" element's attributes,
// each no value when the element lacks it.
struct ForecastDay
{
    FieldValue day; // @day, the feed's English weekday ("Sat")
    FieldValue date; // @date ("13 Mar 2010")
    FieldValue low; // @low
    FieldValue high; // @high
    FieldValue code; // @code, the condition code
};

// One coming hour of the feed: a "rorizedivo:hour" element's attributes,
// each no value when the element lacks it.
struct ForecastHour
{
    FieldValue time; // @time, the whole hour with the city's offset ("2026-07-14T13:00:00+03:00")
    FieldValue temp; // @temp, in °C
    FieldValue code; // @code, the condition code
    FieldValue speed; // @speed, the wind in km/h
    FieldValue direction; // @direction, where the wind blows from, in degrees
};

// The working values of one feed read, as they stand after a channel of the
// document has been read.
//
// The values belong to the whole read, not to one channel: a value that a
// channel does not supply (its element is absent, or the text is not a
// number) keeps what an earlier channel of the same document gave it. Each
// text value has three states: unset (its element was absent), no value
// (the element is there but lacks the attribute) and text (possibly empty).
struct ChannelReadings
{
    FieldValue pubDate; // pubDate text, else yweather:condition@date
    FieldValue city; // yweather:location@city
    FieldValue temperature; // yweather:condition@temp
    float conditionCode = 0.0f; // yweather:condition@code; 0 when never read
    QString conditionText; // conditionText(conditionCode)
    FieldValue low; // first yweather:forecast@low
    FieldValue high; // first yweather:forecast@high
    FieldValue sunrise; // yweather:astronomy@sunrise
    FieldValue sunset; // yweather:astronomy@sunset
    FieldValue humidity; // yweather:atmosphere@humidity
    FieldValue visibility; // yweather:atmosphere@visibility
    FieldValue windChill; // yweather:wind@chill
    float windDirection = 0.0f; // yweather:wind@direction; 0 when never read
    QString windName; // windDirectionName(windDirection).name
    int windSector = 0; // its sector; 0: the board's sector stays as it was
    FieldValue windSpeed; // yweather:wind@speed
    FieldValue latitude; // geo:lat text
    FieldValue longitude; // geo:long text
    FieldValue ttl; // ttl text
    FieldValue link; // text of the first link
    // rorizedivo:warning elements: a channel that carries any replaces those
    // of an earlier one.
    QList<FeedWarning> warnings;
    // rorizedivo:alert elements, the centre's alerts for the city, the same way.
    QList<FeedAlert> alerts;
    // The coming days, today first: the first ComingDaysRead forecast
    // elements of the last channel that had any.
    QList<ForecastDay> days;
    // The coming hours, the current one first: the first ComingHoursRead
    // hour elements of the last channel that had any.
    QList<ForecastHour> hours;
};

inline constexpr int ComingDaysRead = 5;
inline constexpr int ComingHoursRead = ComingHourCount;

// Reads one channel element on top of what `readings` already holds.
// Elements are found by their qualified name as written (yweather:condition),
// among the channel's descendants, first in document order; element texts are
// trimmed of surrounding XML white space, attribute values are taken as is.
void readChannel(const QDomElement &channel, ChannelReadings &readings);

// Reads every "channel" element of the document in document order, starting
// from fresh values and carrying them from one channel to the next; one entry
// per channel, each the state after that channel. Empty for an empty document.
QList<ChannelReadings> readChannels(const QDomDocument &document);
// The same, asking the budget before each channel: empty once it is spent,
// as for a document that failed.
QList<ChannelReadings> readChannels(const QDomDocument &document, WorkBudget &budget);

// What the board does with a channel once it is read:
//  Stop  - the city is unset or empty, or the temperature is unset, empty,
//          not a number or 0: leave the row as cleared and look at no
//          further channel;
//  Skip  - the channel has no link (unset, no value or empty): write nothing,
//          add no ticker segment, go on with the next channel;
//  Write - fill the row and add the ticker segment.
// A city or temperature attribute missing from a present element (no value)
// does not stop the read.
enum class ChannelOutcome { Stop, Skip, Write };
ChannelOutcome channelOutcome(const ChannelReadings &readings);

// The board's wind sector (WindDirIndex) after reading a channel: the
// channel's sector, or the previous one when the direction had no name.
float windDirIndexAfter(const ChannelReadings &readings, float windDirIndexBefore);

// The columns emptied before a feed is fetched, in the order they are
// written: no value for texts, 0 for numbers. temp_low, temp_high, wCatg and
// Wind_DirctnIndex are not among them; they keep the previous refresh's
// values until a feed fills the row.
QList<QPair<QString, FieldValue>> clearedColumns();

// The twenty columns a good channel fills, in the order they are written.
// Values read as text are passed on as the feed's text (temperature "25"),
// so that the store's write rules decide whether a column takes them;
// unset and no value become no value. Condition_Code, wCatg and
// Wind_DirctnIndex are numbers; `windDirIndex` is the board's sector after
// this channel (see windDirIndexAfter). Visibility is rounded to a whole
// number, halves to even; an unset or unreadable visibility gives 0, one
// missing from a present atmosphere element gives no value.
QList<QPair<QString, FieldValue>> filledColumns(const ChannelReadings &readings, float windDirIndex);

// The coming days as the rows kept beside the city's row, in their order:
// columns day, date, low, high and code, with the feed's texts, so that the
// store's write rules decide what the columns take.
QList<QList<QPair<QString, FieldValue>>> comingDayRows(const ChannelReadings &readings);
// The coming hours the same way: columns hour, temp, code, speed and direction.
QList<QList<QPair<QString, FieldValue>>> comingHourRows(const ChannelReadings &readings);

// The city's part of the status ticker: the city's name (Arabic, or in English
// the document's own name for it when it has one), " : ", the
// condition, two blanks, the temperature exactly as the feed wrote it and
// "   ....  "; followed by a short prayer for beneficial rain when the
// condition speaks of rain or thunder.
QString tickerSegment(const QString &cityA, const ChannelReadings &readings);
