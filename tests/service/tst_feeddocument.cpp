// The converter: Open-Meteo answers in, feed documents out.

#include "servicetestdata.h"

#include "service/conditions.h"
#include "service/feeddocument.h"
#include "service/feedformat.h"
#include "service/locationtable.h"
#include "service/quarterseries.h"

#include <QDir>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

class TestFeedDocument : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void golden_data();
    void golden();
    void errorDocument();

    void everyWmoCode();
    void warnings_data();
    void warnings();

    void clockText_data();
    void clockText();
    void publicationTimeFitsTheBoardsColumn();
    void unnamedZoneIsShownInGmt();
    void temperatureText_data();
    void temperatureText();
    void conversions_data();
    void conversions();
    void zoneText_data();
    void zoneText();
    void coordinateText_data();
    void coordinateText();

    void observationTimes_data();
    void observationTimes();

private:
    QTemporaryDir m_scratch;
};

void TestFeedDocument::initTestCase()
{
    // A host whose zone has daylight saving, unlike the cities': nothing
    // written may depend on it (29 March 2026, 2:00 to 3:00, does not exist
    // in Berlin).
    qputenv("TZ", "Europe/Berlin");
    tzset();
    QVERIFY(!QDateTime(QDate(2026, 3, 29), QTime(2, 30)).isValid());
}

// Golden files: each recorded or hand-made answer (with the air-quality
// answer beside it, where there is one), written for a city in one unit with
// the warnings of its quarter, must give exactly the expected document; the
// answers without warnings give what they gave before warnings existed. Set FORECAST_UPDATE_GOLDEN=1
// to write the expected files anew (then read every change before keeping it).
void TestFeedDocument::golden_data()
{
    // clang-format off
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("locationId");
    QTest::addColumn<bool>("imperial");
    QTest::addColumn<QString>("expected");

    QTest::newRow("recorded: no variables asked") << "open-meteo-01-minimal-no-variables.json" << "SAXX0017" << false << "minimal-c.xml";
    QTest::newRow("recorded: trailing nulls") << "open-meteo-02-16-days-trailing-nulls.json" << "SAXX0017" << false << "trailing-nulls-c.xml";
    QTest::newRow("recorded: full, metric") << "open-meteo-03-full-current-hourly-daily.json" << "SAXX0017" << false << "full-c.xml";
    QTest::newRow("recorded: full, imperial") << "open-meteo-03-full-current-hourly-daily.json" << "SAXX0017" << true << "full-f.xml";
    QTest::newRow("Riyadh by day, metric") << "riyadh-day.json" << "SAXX0017" << false << "riyadh-day-c.xml";
    QTest::newRow("Riyadh by day, imperial") << "riyadh-day.json" << "SAXX0017" << true << "riyadh-day-f.xml";
    QTest::newRow("Abha, rain at night, metric") << "abha-night-rain.json" << "SAXX0036" << false << "abha-night-rain-c.xml";
    QTest::newRow("Abha, rain at night, imperial") << "abha-night-rain.json" << "SAXX0036" << true << "abha-night-rain-f.xml";
    QTest::newRow("Turaif, snow near zero, metric") << "turaif-cold-night.json" << "SAXX0022" << false << "turaif-cold-night-c.xml";
    QTest::newRow("Turaif, snow near zero, imperial") << "turaif-cold-night.json" << "SAXX0022" << true << "turaif-cold-night-f.xml";
    QTest::newRow("Tabuk, nulls everywhere") << "tabuk-nulls.json" << "SAXX0027" << false << "tabuk-nulls-c.xml";
    QTest::newRow("Jeddah, unknown codes, no is_day") << "jeddah-unknown-code.json" << "SAXX0012" << false << "jeddah-unknown-code-c.xml";
    QTest::newRow("Dammam, answer in other units, metric") << "dammam-other-units.json" << "SAXX0002" << false << "dammam-other-units-c.xml";
    QTest::newRow("Dammam, answer in other units, imperial") << "dammam-other-units.json" << "SAXX0002" << true << "dammam-other-units-f.xml";
    QTest::newRow("Riyadh, numbers beyond any reading") << "riyadh-huge-numbers.json" << "SAXX0017" << true << "riyadh-huge-numbers-f.xml";
    QTest::newRow("Riyadh, heat, gusts and a dust storm") << "riyadh-storm.json" << "SAXX0017" << false << "riyadh-storm-c.xml";
    // clang-format on
}

void TestFeedDocument::golden()
{
    QFETCH(QString, answer);
    QFETCH(QString, locationId);
    QFETCH(bool, imperial);
    QFETCH(QString, expected);

    const Location *location = LocationTable::builtIn().find(locationId);
    QVERIFY(location);
    const QJsonObject upstream = upstreamAnswer(answer);
    QVERIFY(!upstream.isEmpty());
    const QString airFile = QString(answer).replace(QStringLiteral(".json"), QStringLiteral("-air-quality.json"));
    const QJsonObject air = QFile::exists(serviceFixturePath(QStringLiteral("upstream/") + airFile))
        ? upstreamAnswer(airFile)
        : QJsonObject();
    const auto observed = observationTime(upstream);
    const QList<CityWarning> warnings = observed ? cityWarnings(upstream, air, quarterStart(*observed))
                                                 : QList<CityWarning>();
    const QByteArray written = writeForecastDocument(upstream, *location, imperial ? Units::Imperial : Units::Metric,
                                                     air, warnings);

    const QString expectedPath = serviceFixturePath(QStringLiteral("expected/") + expected);
    if (qEnvironmentVariableIsSet("FORECAST_UPDATE_GOLDEN")) {
        QFile out(expectedPath);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(written);
        return;
    }
    const QByteArray wanted = readWhole(expectedPath);
    if (written != wanted) {
        const QString actualPath = m_scratch.filePath(expected);
        QFile out(actualPath);
        if (out.open(QIODevice::WriteOnly))
            out.write(written);
        QFAIL(qPrintable(QStringLiteral("differs from %1; written: %2").arg(expectedPath, actualPath)));
    }
}

void TestFeedDocument::errorDocument()
{
    // The request target is echoed; what a client typed must not break the XML.
    const QByteArray written = writeErrorDocument(QStringLiteral("/forecastrss?p=XX<0>&u=c\"'"));
    QCOMPARE(written, readWhole(serviceFixturePath(QStringLiteral("expected/error.xml"))));
}

void TestFeedDocument::everyWmoCode()
{
    // The Riyadh answer with each WMO code from -1 to 100 (and none), by day
    // and by night, through the whole writer; the condition each one gives
    // is compared with the expected list, with the forecast (always the day
    // form) and with the condition when the air carries 500 μg/m³ of dust.
    QJsonObject answer = upstreamAnswer(QStringLiteral("riyadh-day.json"));
    const Location &riyadh = *LocationTable::builtIn().find(QStringLiteral("SAXX0017"));
    const QJsonObject dusty =
        QJsonDocument::fromJson(R"({"current_units":{"dust":"μg/m³"},"current":{"dust":500}})").object();
    QByteArray conditions;
    for (int wmo = -1; wmo <= 101; ++wmo) {
        for (const bool day : {true, false}) {
            const QJsonValue code = wmo == 101 ? QJsonValue(QJsonValue::Null) : QJsonValue(wmo);
            QJsonObject current = answer.value(QStringLiteral("current")).toObject();
            current.insert(QStringLiteral("weather_code"), code);
            current.insert(QStringLiteral("is_day"), day ? 1 : 0);
            answer.insert(QStringLiteral("current"), current);
            QJsonObject daily = answer.value(QStringLiteral("daily")).toObject();
            daily.insert(QStringLiteral("weather_code"), QJsonArray{code});
            answer.insert(QStringLiteral("daily"), daily);

            QByteArray line = "wmo " + (wmo == 101 ? QByteArray("none") : QByteArray::number(wmo))
                + (day ? " day:  " : " night:");
            const QByteArray written = writeForecastDocument(answer, riyadh, Units::Metric);
            const QByteArray withDust = writeForecastDocument(answer, riyadh, Units::Metric, dusty);
            for (const auto &[document, element] : {std::pair(written, QByteArray("<yweather:condition ")),
                                                    std::pair(written, QByteArray("<yweather:forecast ")),
                                                    std::pair(withDust, QByteArray("<yweather:condition "))}) {
                const qsizetype at = document.indexOf(element);
                QVERIFY(at >= 0);
                const QByteArray tag = document.mid(at, document.indexOf("/>", at) - at);
                const qsizetype text = tag.indexOf(" text=");
                line += " " + tag.mid(text + 1, tag.indexOf(" temp=") > 0 ? tag.indexOf(" temp=") - text - 1 : -1);
            }
            conditions += line + '\n';
        }
    }
    const QString expectedPath = serviceFixturePath(QStringLiteral("expected/wmo-conditions.txt"));
    if (qEnvironmentVariableIsSet("FORECAST_UPDATE_GOLDEN")) {
        QFile out(expectedPath);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(conditions);
        return;
    }
    const QList<QByteArray> expected = readWhole(expectedPath).split('\n');
    const QList<QByteArray> actual = conditions.split('\n');
    QCOMPARE(actual.size(), expected.size());
    for (qsizetype i = 0; i < actual.size(); ++i)
        QCOMPARE(actual[i], expected[i]);
}

namespace {

// Riyadh's daily values for 14 to 16 July 2026, today being the 14th.
QJsonObject days(const char *key, const QJsonArray &values)
{
    return QJsonObject{{QStringLiteral("utc_offset_seconds"), 10800},
                       {QStringLiteral("daily"),
                        QJsonObject{{QStringLiteral("time"), QJsonArray{"2026-07-14", "2026-07-15", "2026-07-16"}},
                                    {QLatin1String(key), values}}}};
}

// Riyadh's hourly dust from `hour` o'clock on the 14th (past 23 the 15th).
QJsonObject dustFrom(int hour, const QList<double> &values)
{
    QJsonArray times;
    for (int i = 0; i < values.size(); ++i)
        times.append(QDateTime(QDate(2026, 7, 14), QTime(0, 0), Qt::UTC)
                         .addSecs((hour + i) * 3600)
                         .toString(QStringLiteral("yyyy-MM-dd'T'HH:mm")));
    QJsonArray dust;
    for (double value : values)
        dust.append(value);
    return QJsonObject{
        {QStringLiteral("utc_offset_seconds"), 10800},
        {QStringLiteral("hourly_units"), QJsonObject{{QStringLiteral("dust"), "\u03bcg/m\u00b3"}}},
        {QStringLiteral("hourly"), QJsonObject{{QStringLiteral("time"), times}, {QStringLiteral("dust"), dust}}}};
}

} // namespace

// Every threshold at, just below and just above it, in the quarter of
// 14 July 2026, 3:45 pm in Riyadh; each warning as "kind start end peak".
void TestFeedDocument::warnings_data()
{
    // clang-format off
    QTest::addColumn<QJsonObject>("forecast");
    QTest::addColumn<QJsonObject>("air");
    QTest::addColumn<QStringList>("expected");
    const QString today = QStringLiteral("2026-07-14T00:00:00+03:00 2026-07-15T00:00:00+03:00 ");
    const QString tomorrow = QStringLiteral("2026-07-15T00:00:00+03:00 2026-07-16T00:00:00+03:00 ");

    QTest::newRow("heat at 48") << days("temperature_2m_max", {48}) << QJsonObject() << QStringList{"heat " + today + "48"};
    QTest::newRow("heat below") << days("temperature_2m_max", {47.9}) << QJsonObject() << QStringList();
    QTest::newRow("heat above, tomorrow") << days("temperature_2m_max", {40, 48.1}) << QJsonObject() << QStringList{"heat " + tomorrow + "48.1"};
    QTest::newRow("rain at 20") << days("precipitation_sum", {20}) << QJsonObject() << QStringList{"rain " + today + "20"};
    QTest::newRow("rain below") << days("precipitation_sum", {19.9}) << QJsonObject() << QStringList();
    QTest::newRow("rain above") << days("precipitation_sum", {20.1}) << QJsonObject() << QStringList{"rain " + today + "20.1"};
    QTest::newRow("thunder at 95") << days("weather_code", {95}) << QJsonObject() << QStringList{"thunder " + today + "95"};
    QTest::newRow("thunder just below, 94") << days("weather_code", {94}) << QJsonObject() << QStringList();
    QTest::newRow("thunder with heavy hail, 99") << days("weather_code", {99}) << QJsonObject() << QStringList{"thunder " + today + "99"};
    QTest::newRow("wind at 60") << days("wind_gusts_10m_max", {60}) << QJsonObject() << QStringList{"wind " + today + "60"};
    QTest::newRow("wind below") << days("wind_gusts_10m_max", {59.9}) << QJsonObject() << QStringList();
    QTest::newRow("wind above") << days("wind_gusts_10m_max", {60.1}) << QJsonObject() << QStringList{"wind " + today + "60.1"};
    QTest::newRow("days beyond tomorrow ignored") << days("temperature_2m_max", {30, 30, 50}) << QJsonObject() << QStringList();
    QTest::newRow("dust at 1000, one hour") << QJsonObject() << dustFrom(15, {999, 1000, 999})
        << QStringList{"dust 2026-07-14T16:00:00+03:00 2026-07-14T17:00:00+03:00 1000"};
    QTest::newRow("dust below") << QJsonObject() << dustFrom(15, {999.9, 999.9}) << QStringList();
    QTest::newRow("dust above, under way") << QJsonObject() << dustFrom(15, {1000.1, 10})
        << QStringList{"dust 2026-07-14T15:00:00+03:00 2026-07-14T16:00:00+03:00 1000.1"};
    QTest::newRow("dust over midnight is one storm") << QJsonObject() << dustFrom(22, {1200, 1450, 1100, 900})
        << QStringList{"dust 2026-07-14T22:00:00+03:00 2026-07-15T01:00:00+03:00 1450"};
    QList<double> ahead(26, 0.0); // 14:00 today to 15:00 tomorrow
    ahead[0] = 1500; // past
    ahead[2] = 1100;
    ahead[4] = 1200;
    ahead[5] = 1300;
    ahead[25] = 1500; // 24 hours after the quarter's hour
    QTest::newRow("dust: two storms, none past or beyond 24 hours") << QJsonObject() << dustFrom(14, ahead)
        << QStringList{"dust 2026-07-14T16:00:00+03:00 2026-07-14T17:00:00+03:00 1100",
                       "dust 2026-07-14T18:00:00+03:00 2026-07-14T20:00:00+03:00 1300"};
    // Two kinds in a city, by start and then in the order of kinds.
    QJsonObject both = days("temperature_2m_max", {49.2});
    QJsonObject daily = both.value(QStringLiteral("daily")).toObject();
    daily.insert(QStringLiteral("wind_gusts_10m_max"), QJsonArray{72.5});
    both.insert(QStringLiteral("daily"), daily);
    QTest::newRow("heat, wind and dust") << both << dustFrom(17, {1300})
        << QStringList{"heat " + today + "49.2", "wind " + today + "72.5", "dust 2026-07-14T17:00:00+03:00 2026-07-14T18:00:00+03:00 1300"};
    // clang-format on
}

void TestFeedDocument::warnings()
{
    QFETCH(QJsonObject, forecast);
    QFETCH(QJsonObject, air);
    QFETCH(QStringList, expected);
    QStringList found;
    for (const CityWarning &w : cityWarnings(forecast, air, QDateTime(QDate(2026, 7, 14), QTime(12, 45), Qt::UTC)))
        found << QStringLiteral("%1 %2 %3 %4")
                     .arg(warningKindName(w.kind), w.start.toString(Qt::ISODate), w.end.toString(Qt::ISODate),
                          feedDecimalText(w.peak, 1));
    QCOMPARE(found, expected);
}

void TestFeedDocument::clockText_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("text");
    QTest::newRow("midnight") << QTime(0, 5) << "12:05 am";
    QTest::newRow("morning") << QTime(6, 31) << "6:31 am";
    QTest::newRow("noon") << QTime(12, 0) << "12:00 pm";
    QTest::newRow("afternoon") << QTime(13, 0) << "1:00 pm";
    QTest::newRow("late") << QTime(23, 59) << "11:59 pm";
}

void TestFeedDocument::clockText()
{
    QFETCH(QTime, time);
    QFETCH(QString, text);
    QCOMPARE(feedClockText(time), text);
    QVERIFY(feedClockText(time).size() <= 8); // the board's sunrise and sunset columns
}

void TestFeedDocument::publicationTimeFitsTheBoardsColumn()
{
    QCOMPARE(feedDateTimeText(QDate(2026, 12, 7), QTime(13, 0), QStringLiteral("AST")),
             QStringLiteral("Mon, 07 Dec 2026 1:00 pm AST"));
    // The board keeps at most 30 characters; the longest clock is "12:59 pm"
    // and zones are at most four characters.
    int longest = 0;
    for (int day = 0; day < 7; ++day) {
        for (int hour = 0; hour < 24; ++hour) {
            const QString text = feedDateTimeText(QDate(2026, 12, 7 + day), QTime(hour, 59), QStringLiteral("AST"));
            longest = std::max<int>(longest, text.size());
        }
    }
    QVERIFY(longest <= 30);
    QVERIFY(feedDateTimeText(QDate(2026, 12, 27), QTime(12, 59), QStringLiteral("CEST")).size() <= 30);
}

void TestFeedDocument::unnamedZoneIsShownInGmt()
{
    // 12:45 at +05:30 is 07:15 GMT; the staleness clock is unaffected.
    const QJsonObject answer = QJsonDocument::fromJson(R"({"utc_offset_seconds":19800,
        "timezone":"Asia/Kolkata","timezone_abbreviation":"GMT+5:30",
        "current":{"time":"2026-12-27T12:45","temperature_2m":21.0,"weather_code":0,"is_day":1}})")
                                   .object();
    const QByteArray written = writeForecastDocument(answer, *LocationTable::builtIn().find(QStringLiteral("SAXX0017")),
                                                     Units::Metric);
    QVERIFY(written.contains("<pubDate>Sun, 27 Dec 2026 7:15 am GMT</pubDate>"));
    QVERIFY(written.contains("SAXX0017_2026_12_27_07_15_GMT"));
    QCOMPARE(*observationTime(answer), QDateTime(QDate(2026, 12, 27), QTime(7, 15), Qt::UTC));
}

void TestFeedDocument::temperatureText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("rounds up") << 17.7 << "18";
    QTest::newRow("half away from zero") << -2.5 << "-3";
    QTest::newRow("hot") << 44.6 << "45";
    QTest::newRow("zero is zero") << 0.0 << "0";
    QTest::newRow("half rounds away") << 0.5 << "1";
    // Not zero, but would round to it: the board would drop the city.
    QTest::newRow("just above zero") << 0.4 << "0.4";
    QTest::newRow("just below zero") << -0.3 << "-0.3";
    QTest::newRow("hundredths") << -0.04 << "-0.04";
}

void TestFeedDocument::temperatureText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(feedTemperatureText(value), text);
}

void TestFeedDocument::conversions_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("expected");
    QTest::newRow("freezing point") << feedWholeText(celsiusToFahrenheit(0)) << "32";
    QTest::newRow("below zero F") << feedWholeText(celsiusToFahrenheit(-20)) << "-4";
    QTest::newRow("body heat") << feedWholeText(celsiusToFahrenheit(37)) << "99";
    QTest::newRow("beyond any whole number") << feedWholeText(-1e300) << "";
    QTest::newRow("speed") << feedDecimalText(kmhToMph(100), 2) << "62.14";
    QTest::newRow("visibility km") << feedDecimalText(metresToKilometres(24140), 2) << "24.14";
    QTest::newRow("visibility mi") << feedDecimalText(metresToMiles(24140), 2) << "15";
    QTest::newRow("standard pressure") << feedDecimalText(hectopascalsToInchesOfMercury(1013.25), 2) << "29.92";
    QTest::newRow("trailing zeros dropped") << feedDecimalText(1030.40, 2) << "1030.4";
    QTest::newRow("no minus zero") << feedDecimalText(-0.001, 2) << "0";
    // The wind chill of the old feeds: Van Alstyne, 38 °F with 13 mph.
    QTest::newRow("wind chill, cold and windy")
        << feedWholeText(celsiusToFahrenheit(windChillCelsius((38 - 32) * 5.0 / 9.0, 13 * 1.609344))) << "30";
    QTest::newRow("wind chill, calm") << feedWholeText(windChillCelsius(-5, 4.8)) << "-5";
    QTest::newRow("wind chill, too warm for it") << feedWholeText(windChillCelsius(10.1, 40)) << "10";
    QTest::newRow("wind chill, at 10 degrees") << feedWholeText(windChillCelsius(10, 40)) << "6";
}

void TestFeedDocument::conversions()
{
    QFETCH(QString, written);
    QFETCH(QString, expected);
    QCOMPARE(written, expected);
}

void TestFeedDocument::zoneText_data()
{
    // clang-format off
    QTest::addColumn<QString>("timezone");
    QTest::addColumn<QString>("abbreviation");
    QTest::addColumn<int>("offset"); // -1: none given
    QTest::addColumn<QString>("zone");
    QTest::newRow("Saudi time") << "Asia/Riyadh" << "GMT+3" << 10800 << "AST";
    QTest::newRow("short abbreviation") << "America/New_York" << "EST" << -18000 << "EST";
    QTest::newRow("long abbreviation") << "Europe/Amsterdam" << "GMT+2" << 7200 << "+02";
    QTest::newRow("half hour: too long to name") << "Asia/Kolkata" << "GMT+5:30" << 19800 << "";
    QTest::newRow("west") << "America/Caracas" << "GMT-4" << -14400 << "-04";
    QTest::newRow("utc") << "UTC" << "" << 0 << "GMT";
    QTest::newRow("nothing known") << "" << "" << -1 << "";
    // clang-format on
}

void TestFeedDocument::zoneText()
{
    QFETCH(QString, timezone);
    QFETCH(QString, abbreviation);
    QFETCH(int, offset);
    QFETCH(QString, zone);
    QCOMPARE(feedZoneText(timezone, abbreviation, offset == -1 ? std::nullopt : std::optional<int>(offset)), zone);
}

void TestFeedDocument::coordinateText_data()
{
    QTest::addColumn<double>("degrees");
    QTest::addColumn<QString>("text");
    QTest::newRow("four decimals") << 24.683833 << "24.6838";
    QTest::newRow("short") << -19.95 << "-19.95";
    QTest::newRow("cut to eight characters") << -118.41234 << "-118.412";
}

void TestFeedDocument::coordinateText()
{
    QFETCH(double, degrees);
    QFETCH(QString, text);
    QCOMPARE(feedCoordinateText(degrees), text);
}

void TestFeedDocument::observationTimes_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QDateTime>("observed");
    QTest::newRow("Saudi time") << QByteArray(R"({"utc_offset_seconds":10800,"current":{"time":"2026-07-14T15:45"}})")
                                << QDateTime(QDate(2026, 7, 14), QTime(12, 45), Qt::UTC);
    QTest::newRow("across midnight") << QByteArray(R"({"utc_offset_seconds":10800,"current":{"time":"2026-07-15T01:00"}})")
                                     << QDateTime(QDate(2026, 7, 14), QTime(22, 0), Qt::UTC);
    QTest::newRow("no offset") << QByteArray(R"({"current":{"time":"2026-07-14T15:45"}})") << QDateTime();
    QTest::newRow("null time") << QByteArray(R"({"utc_offset_seconds":0,"current":{"time":null}})") << QDateTime();
    QTest::newRow("no current") << QByteArray(R"({"utc_offset_seconds":0})") << QDateTime();
    QTest::newRow("not a time") << QByteArray(R"({"utc_offset_seconds":0,"current":{"time":"soon"}})") << QDateTime();
    // Not a time in Berlin, where the host is, but in Riyadh.
    QTest::newRow("in the host's daylight saving gap")
        << QByteArray(R"({"utc_offset_seconds":10800,"current":{"time":"2026-03-29T02:30"}})")
        << QDateTime(QDate(2026, 3, 28), QTime(23, 30), Qt::UTC);
    // clang-format on
}

void TestFeedDocument::observationTimes()
{
    QFETCH(QByteArray, answer);
    QFETCH(QDateTime, observed);
    const QJsonObject object = QJsonDocument::fromJson(answer).object();
    const auto time = observationTime(object);
    QCOMPARE(time.has_value(), observed.isValid());
    // The document gives its publication time whenever there is one.
    if (time) {
        QCOMPARE(*time, observed);
        QVERIFY(writeForecastDocument(object, *LocationTable::builtIn().find(QStringLiteral("SAXX0017")), Units::Metric)
                    .contains("<pubDate>"));
    }
}

QTEST_GUILESS_MAIN(TestFeedDocument)
#include "tst_feeddocument.moc"
