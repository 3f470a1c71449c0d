// Feed bytes as the board takes them in: screened and parsed, every channel
// read, and every channel the board would write stored in a row of a real
// store through the store's write rules, as one city's refresh does it.
//
// The screen, the parse and the reading run within the budget a load gives
// them. No input within the fuzzer's length (a few hundred kilobytes, a
// tenth of what a load takes) may spend it: a document whose cost grows
// faster than its size is a finding, long before libFuzzer's time-out.

#include "fuzzstore.h"
#include "fuzzsupport.h"

#include "feed/documentloader.h"
#include "feed/documentscreen.h"
#include "feed/feedreading.h"
#include "feed/feedwarning.h"
#include "store/weatherstore.h"

#include <QDomDocument>

#include <cmath>
#include <cstdint>

namespace {

// A value a column holds obeys the column's type and width.
void checkHeld(const FieldValue &value, const ColumnInfo &column)
{
    if (value.isNull())
        return;
    switch (column.type) {
    case ColumnInfo::Type::Text:
        FUZZ_CHECK_MESSAGE(value.isText() && !value.toText().isEmpty(), column.name);
        FUZZ_CHECK_MESSAGE(column.size == 0 || value.toText().size() <= column.size, column.name);
        break;
    case ColumnInfo::Type::Single: {
        FUZZ_CHECK_MESSAGE(value.isNumber(), column.name);
        const double number = *value.toNumber();
        FUZZ_CHECK_MESSAGE(std::isfinite(float(number)) && double(float(number)) == number, column.name);
        break;
    }
    case ColumnInfo::Type::Other:
        break;
    }
}

// Writes the values into the current row the way the board does. A value
// the write rules refuse leaves its field as it was; what the update
// stores reads back exactly as it stood in the edited row.
void writeRow(Recordset &rows, const QList<QPair<QString, FieldValue>> &values)
{
    FUZZ_CHECK(rows.edit());
    for (const auto &[name, value] : values) {
        const int index = rows.columnIndex(name);
        FUZZ_CHECK_MESSAGE(index >= 0, name);
        const FieldValue before = rows.value(name);
        if (rows.setValue(name, value))
            checkHeld(rows.value(name), rows.columns().at(index));
        else
            FUZZ_CHECK_MESSAGE(rows.value(name) == before, name);
    }
    QList<FieldValue> edited;
    for (const ColumnInfo &column : rows.columns())
        edited.append(rows.value(column.name));
    FUZZ_CHECK_MESSAGE(rows.update(), rows.lastError());
    for (int i = 0; i < rows.columns().size(); ++i)
        FUZZ_CHECK_MESSAGE(rows.value(rows.columns().at(i).name) == edited.at(i), rows.columns().at(i).name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    quietQt();
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));

    const DocumentVerdict verdict = screenFeedDocument(body);
    WorkBudget budget;
    const QDomDocument document = parseFeedDocument(body, budget);
    const QList<ChannelReadings> channels = readChannels(document, budget);
    FUZZ_CHECK_MESSAGE(!budget.isSpent() && verdict != DocumentVerdict::OutOfTime,
                       QStringLiteral("%1 bytes cost %2 ms").arg(size).arg(double(budget.used().count()) / 1e6));
    // A refused document is a failed fetch: nothing to read.
    if (verdict != DocumentVerdict::Accepted)
        FUZZ_CHECK(document.isNull() && channels.isEmpty());
    // Every channel is an element of that name.
    FUZZ_CHECK(channels.size() <= body.count("channel"));
    if (channels.isEmpty())
        return 0;

    Recordset &rows = fuzzStoreRows();
    writeRow(rows, clearedColumns());
    float windDirIndex = 0.0f;
    for (const ChannelReadings &readings : channels) {
        windDirIndex = windDirIndexAfter(readings, windDirIndex);
        FUZZ_CHECK(windDirIndex >= 0.0f && windDirIndex <= 16.0f && windDirIndex == std::floor(windDirIndex));

        const ChannelOutcome outcome = channelOutcome(readings);
        if (outcome == ChannelOutcome::Stop)
            break;
        if (outcome == ChannelOutcome::Skip)
            continue;

        // A warning read is whole, and the board words it at any moment of
        // its span, on any of its days.
        for (const FeedWarning &w : readings.warnings) {
            FUZZ_CHECK(!warningKindText(w.kind).isEmpty() && w.start < w.end);
            FUZZ_CHECK(warningLine(w, w.start).startsWith(QStringLiteral(u"تنبيه: ")));
            FUZZ_CHECK(!warningTimeWords(w, w.end.addSecs(-1)).isEmpty());
            FUZZ_CHECK(dayWarningText({w}, w.start.toOffsetFromUtc(w.start.offsetFromUtc()).date(), w.start)
                           .startsWith(warningKindText(w.kind)));
        }

        // The centre's alerts read are whole and within what the store keeps,
        // and the board words each at any moment before it expires.
        FUZZ_CHECK(readings.alerts.size() <= AlertLimits::AlertsRead);
        for (const FeedAlert &a : readings.alerts) {
            FUZZ_CHECK(!a.id.isEmpty() && a.id.size() <= AlertLimits::IdLength && !a.id.contains(u' '));
            FUZZ_CHECK(alertColourRank(a.colour) > 0 && a.onset < a.expires);
            for (const FeedAlertText *text : {&a.arabic, &a.english})
                FUZZ_CHECK(text->headline.size() <= AlertLimits::HeadlineLength
                           && text->description.size() <= AlertLimits::DescriptionLength);
            FUZZ_CHECK(alertLine(a, a.onset).startsWith(alertSourceName()));
            FUZZ_CHECK(!dayAlertText({a}, a.onset.toOffsetFromUtc(a.onset.offsetFromUtc()).date(), a.onset).isEmpty());
        }

        // At most a day of hours, kept beside the row by the store's rules.
        FUZZ_CHECK(readings.hours.size() <= ComingHoursRead);
        FUZZ_CHECK(rows.edit());
        FUZZ_CHECK_MESSAGE(
            rows.update({WeatherStore::comingHours().replaceWith(QStringLiteral("RUH"), comingHourRows(readings))}),
            rows.lastError());

        writeRow(rows, filledColumns(readings, windDirIndex));
        const QString cityA = rows.value(QStringLiteral("city_a")).toText();
        const QString segment = tickerSegment(cityA, readings);
        FUZZ_CHECK(segment.startsWith(cityA + QStringLiteral(" : ") + readings.conditionText));
        FUZZ_CHECK(segment.contains(readings.temperature.toText()));
    }
    return 0;
}
