// An upstream answer as forecastd turns it into a feed document, read back
// by the board's own reader. Whatever the answer holds, the document is one
// the board accepts, when the board would store its channel the store takes
// every value of it, and the metric and imperial documents agree on all that
// has no unit.
//
// An object is one city's answer, written alone and with itself standing as
// the city's air-quality answer too (its current block then says dust). An
// array is a wave's answer for as many cities: OpenMeteoClient::judge splits
// it, and each element it keeps becomes its city's document.
//
// An element with quarter-hour series is served quarter by quarter: each
// quarter it covers, back from its latest, becomes an answer with a current
// block for that quarter (forecastAtQuarter, airQualityAtQuarter with the
// element standing as its own air), written and read back the same way,
// with the warnings the element gives for that quarter (in order, each
// ending after it starts) and its coming hours (whole hours, one after
// another, at most 24, from the quarter's hour); the imperial one after a
// replay has moved them.
//
// Calls: QJsonDocument::fromJson, OpenMeteoClient::judge, observationTime,
// latestQuarter, forecastAtQuarter, airQualityAtQuarter, cityWarnings,
// comingHours, writeForecastDocument (both unit systems), warningsMovedTo,
// hoursMovedTo, then screenFeedDocument,
// parseFeedDocument, readChannels, channelOutcome, windDirIndexAfter,
// filledColumns and Recordset::setValue.

#include "fuzzstore.h"
#include "fuzzsupport.h"

#include "feed/documentloader.h"
#include "feed/documentscreen.h"
#include "feed/feedreading.h"

#include "service/feeddocument.h"
#include "service/locationtable.h"
#include "service/openmeteoclient.h"
#include "service/quarterseries.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdint>

namespace {

void checkCity(const QJsonObject &answer, const Location &location, const QJsonObject &airQuality,
               const QList<CityWarning> &warnings = {}, const QList<ComingHour> &hours = {})
{
    if (const std::optional<QDateTime> observed = observationTime(answer))
        FUZZ_CHECK(observed->isValid());
    for (qsizetype i = 0; i < warnings.size(); ++i) {
        FUZZ_CHECK(warnings[i].start < warnings[i].end);
        FUZZ_CHECK(i == 0 || warnings[i - 1].start <= warnings[i].start);
    }
    for (qsizetype i = 1; i < hours.size(); ++i)
        FUZZ_CHECK(hours[i - 1].time.secsTo(hours[i].time) == 3600);

    QList<ChannelReadings> read;
    for (const Units units : {Units::Metric, Units::Imperial}) {
        QByteArray document = writeForecastDocument(answer, location, units, airQuality, warnings, hours);
        FUZZ_CHECK(document.contains("rorizedivo") == (!warnings.isEmpty() || !hours.isEmpty()));
        if (units == Units::Imperial) {
            const QDateTime later(QDate(2031, 5, 17), QTime(4, 20), Qt::UTC);
            document = hoursMovedTo(warningsMovedTo(document, later), later);
        }
        const DocumentVerdict verdict = screenFeedDocument(document);
        FUZZ_CHECK_MESSAGE(verdict == DocumentVerdict::Accepted, QString::fromLatin1(verdictName(verdict)));
        const QList<ChannelReadings> channels = readChannels(parseFeedDocument(document));
        FUZZ_CHECK(channels.size() == 1);
        const ChannelReadings &readings = channels.first();
        FUZZ_CHECK(readings.city == FieldValue::text(location.city));
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
}

// The quarters a series element covers, the latest eight at most, each as
// the service would serve it.
void checkQuarters(const QJsonObject &element, const Location &location)
{
    static const QDateTime end(QDate(9999, 12, 31), QTime(23, 45), Qt::UTC);
    std::optional<QDateTime> quarter = latestQuarter(element, end);
    for (int i = 0; i < 8 && quarter; ++i) {
        FUZZ_CHECK(*quarter == quarterStart(*quarter) && *quarter <= end);
        const QJsonObject answer = forecastAtQuarter(element, *quarter);
        FUZZ_CHECK(answer.value(QLatin1String("current")).isObject());
        // The current block tells the quarter it was made for.
        const std::optional<QDateTime> observed = observationTime(answer);
        FUZZ_CHECK(!observed || quarterStart(*observed) == *quarter);
        const QList<ComingHour> hours = comingHours(element, element, *quarter);
        FUZZ_CHECK(hours.size() <= ComingHourCount && (hours.isEmpty() || hours.first().time == hourStart(*quarter)));
        checkCity(answer, location, airQualityAtQuarter(element, *quarter), cityWarnings(element, element, *quarter),
                  hours);
        const std::optional<QDateTime> before = latestQuarter(element, quarter->addSecs(-15 * 60));
        FUZZ_CHECK(!before || *before < *quarter);
        quarter = before;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    quietQt();
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QJsonDocument json = QJsonDocument::fromJson(bytes);
    const QList<Location> &cities = LocationTable::builtIn().locations();

    if (json.isArray()) {
        const int asked = int(qBound<qsizetype>(2, json.array().size(), cities.size()));
        const FetchResult wave = OpenMeteoClient::judge(200, bytes, asked);
        if (!wave.ok)
            return 0;
        FUZZ_CHECK(wave.answers.size() == asked && wave.problems.size() == asked);
        for (int i = 0; i < asked; ++i) {
            if (!wave.answers.at(i).isEmpty()) {
                checkCity(wave.answers.at(i), cities.at(i), {});
                checkQuarters(wave.answers.at(i), cities.at(i));
            }
        }
        return 0;
    }
    if (!json.isObject())
        return 0;
    static const Location &riyadh = *LocationTable::builtIn().find(QStringLiteral("SAXX0017"));
    checkCity(json.object(), riyadh, {});
    checkCity(json.object(), riyadh, json.object());
    checkQuarters(json.object(), riyadh);
    return 0;
}
