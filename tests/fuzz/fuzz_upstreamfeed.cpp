// An upstream answer as forecastd turns it into a feed document, read back
// by the board's own reader. Whatever the answer holds, the document is one
// the board accepts, when the board would store its channel the store takes
// every value of it, and the metric and imperial documents agree on all that
// has no unit.
//
// Calls: QJsonDocument::fromJson, observationTime, writeForecastDocument
// (both unit systems, the Riyadh entry of LocationTable::builtIn()), then
// screenFeedDocument, parseFeedDocument, readChannels, channelOutcome,
// windDirIndexAfter, filledColumns and Recordset::setValue.

#include "fuzzstore.h"
#include "fuzzsupport.h"

#include "feed/documentloader.h"
#include "feed/documentscreen.h"
#include "feed/feedreading.h"

#include "service/feeddocument.h"
#include "service/locationtable.h"

#include <QJsonDocument>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    quietQt();
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!json.isObject())
        return 0;
    const QJsonObject answer = json.object();
    static const Location &riyadh = *LocationTable::builtIn().find(QStringLiteral("SAXX0017"));

    if (const std::optional<QDateTime> observed = observationTime(answer))
        FUZZ_CHECK(observed->isValid());

    QList<ChannelReadings> read;
    for (const Units units : {Units::Metric, Units::Imperial}) {
        const QByteArray document = writeForecastDocument(answer, riyadh, units);
        const DocumentVerdict verdict = screenFeedDocument(document);
        FUZZ_CHECK_MESSAGE(verdict == DocumentVerdict::Accepted, QString::fromLatin1(verdictName(verdict)));
        const QList<ChannelReadings> channels = readChannels(parseFeedDocument(document));
        FUZZ_CHECK(channels.size() == 1);
        const ChannelReadings &readings = channels.first();
        FUZZ_CHECK(readings.city == FieldValue::text(riyadh.city));
        read.append(readings);
        if (channelOutcome(readings) != ChannelOutcome::Write)
            continue;

        // Checked against the write rules only; nothing is stored.
        Recordset &rows = fuzzStoreRows();
        FUZZ_CHECK(rows.edit());
        for (const auto &[column, value] : filledColumns(readings, windDirIndexAfter(readings, 0.0f)))
            FUZZ_CHECK_MESSAGE(rows.setValue(column, value), column + QStringLiteral(" refused: ") + value.toText());
        rows.cancelUpdate();
    }

    // Both unit systems tell the same weather: what carries no unit is the same.
    const ChannelReadings &metric = read.at(0);
    const ChannelReadings &imperial = read.at(1);
    FUZZ_CHECK(metric.pubDate == imperial.pubDate);
    FUZZ_CHECK(metric.conditionCode == imperial.conditionCode);
    FUZZ_CHECK(metric.humidity == imperial.humidity);
    FUZZ_CHECK(metric.windDirection == imperial.windDirection);
    FUZZ_CHECK(metric.sunrise == imperial.sunrise && metric.sunset == imperial.sunset);
    FUZZ_CHECK(metric.temperature.isText() == imperial.temperature.isText());
    FUZZ_CHECK(metric.low.isText() == imperial.low.isText() && metric.high.isText() == imperial.high.isText());
    return 0;
}
