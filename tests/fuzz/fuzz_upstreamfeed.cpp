// An upstream answer as forecastd turns it into a feed document, read back
// by the board's own reader. Whatever the answer holds, the document is one
// the board accepts, and when the board would store its channel, the store
// takes every value of it.
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

    for (const Units units : {Units::Metric, Units::Imperial}) {
        const QByteArray document = writeForecastDocument(answer, riyadh, units);
        const DocumentVerdict verdict = screenFeedDocument(document);
        FUZZ_CHECK_MESSAGE(verdict == DocumentVerdict::Accepted, QString::fromLatin1(verdictName(verdict)));
        const QList<ChannelReadings> channels = readChannels(parseFeedDocument(document));
        FUZZ_CHECK(channels.size() == 1);
        const ChannelReadings &readings = channels.first();
        FUZZ_CHECK(readings.city == FieldValue::text(riyadh.city));
        if (channelOutcome(readings) != ChannelOutcome::Write)
            continue;

        // Checked against the write rules only; nothing is stored.
        Recordset &rows = fuzzStoreRows();
        FUZZ_CHECK(rows.edit());
        for (const auto &[column, value] : filledColumns(readings, windDirIndexAfter(readings, 0.0f)))
            FUZZ_CHECK_MESSAGE(rows.setValue(column, value), column + QStringLiteral(" refused: ") + value.toText());
        rows.cancelUpdate();
    }
    return 0;
}
