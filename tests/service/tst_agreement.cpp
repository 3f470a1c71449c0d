// The service and the board agree: documents the service writes, read by the
// board's own feed reader and stored in the board's own store, give the
// values the upstream reported, column by column.

#include "servicetestdata.h"

#include "feed/documentloader.h"
#include "feed/feedreading.h"
#include "feed/winddirection.h"
#include "platform/datacontrol.h"
#include "store/weatherstore.h"

#include "service/feeddocument.h"
#include "service/locationtable.h"
#include "service/recordedsource.h"

#include <QDomDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <QtMath>

#include <cmath>

#include <memory>

namespace {

using Expectations = QList<QPair<QString, QString>>;

const QString supplication = QString::fromUtf16(
    u"\u0020\u0627\u0644\u0644\u0647\u0645\u0020\u0635\u064A\u0628\u0627\u0020\u064B\u0020"
    u"\u0646\u0627\u0641\u0639\u0627\u064B\u0020");

// "∅" is no value, "#n" the number n (compared as the store's single
// precision), anything else text.
bool matches(const FieldValue &actual, const QString &expected)
{
    if (expected == QStringLiteral("∅"))
        return actual.isNull();
    if (expected.startsWith(u'#')) {
        const auto number = actual.toNumber();
        return actual.isNumber() && number
            && static_cast<float>(*number) == static_cast<float>(expected.mid(1).toDouble());
    }
    return actual.isText() && actual.toText() == expected;
}

int seedRowOf(const QString &locationId)
{
    const auto &seeds = WeatherStore::seedCities();
    for (int i = 0; i < seeds.size(); ++i) {
        if (seeds[i].locationId == locationId)
            return i;
    }
    return -1;
}

QString windName(float degrees)
{
    return windDirectionName(degrees).name;
}

} // namespace

class TestAgreement : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void columns_data();
    void columns();
    void documentsTheBoardRefuses_data();
    void documentsTheBoardRefuses();
    void demoDocuments_data();
    void demoDocuments();
    void locationTableMatchesTheSeed();
    void alertsTheBoardReads_data();
    void alertsTheBoardReads();

private:
    // Reads a document the way the board does and stores what it would
    // store in the row of the city; fails on any value the store refuses.
    void storeAsTheBoardDoes(const QByteArray &document, const QString &locationId, ChannelReadings *readings);
    // The city's row as the store holds it, by column name in lower case
    // (the board names columns without regard to case).
    QHash<QString, FieldValue> storedRow(const QString &locationId);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_store;
};

// One store for all cases: every case writes all twenty columns of its
// city's row, so nothing of an earlier case can linger in what is checked.
void TestAgreement::initTestCase()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_store = m_dir->filePath(QStringLiteral("wt.dar"));
    QVERIFY(WeatherStore::createStoreFile(m_store));
}

void TestAgreement::storeAsTheBoardDoes(const QByteArray &document, const QString &locationId,
                                        ChannelReadings *readings)
{
    const QList<ChannelReadings> channels = readChannels(parseFeedDocument(document));
    QCOMPARE(channels.size(), 1);
    *readings = channels.first();
    QCOMPARE(channelOutcome(*readings), ChannelOutcome::Write);

    DataControl data;
    QVERIFY(openRows(data, m_store, QString::fromUtf16(WeatherStore::AllRows)));
    Recordset &rows = data.recordset();
    const int row = seedRowOf(locationId);
    QVERIFY(row >= 0);
    for (int i = 0; i < row; ++i)
        rows.moveNext();
    QVERIFY(rows.edit());
    for (const auto &[column, value] : filledColumns(*readings, windDirIndexAfter(*readings, 0)))
        QVERIFY2(rows.setValue(column, value), qPrintable(column + QStringLiteral(" refused: ") + value.toText()));
    QVERIFY(rows.update());
}

QHash<QString, FieldValue> TestAgreement::storedRow(const QString &locationId)
{
    QHash<QString, FieldValue> row;
    DataControl data;
    if (!openRows(data, m_store))
        return row;
    Recordset &rows = data.recordset();
    for (int i = 0; i < seedRowOf(locationId); ++i)
        rows.moveNext();
    for (const ColumnInfo &column : rows.columns())
        row.insert(column.name.toLower(), rows.value(column.name));
    return row;
}

void TestAgreement::columns_data()
{
    // clang-format off
    QTest::addColumn<QString>("answerPath");
    QTest::addColumn<QString>("locationId");
    QTest::addColumn<bool>("imperial");
    QTest::addColumn<Expectations>("expected");
    QTest::addColumn<bool>("prayer");

    const QString sampleRiyadh = serviceSamplesPath(QStringLiteral("upstream/SAXX0017.json"));
    QTest::newRow("Riyadh sample, metric")
        << sampleRiyadh << "SAXX0017" << false
        << Expectations{{"city_e", "Riyadh"}, {"pDate", "Mon, 07 Dec 2026 1:00 pm AST"},
                        {"temp", "#25"}, {"temp_low", "#13"}, {"temp_high", "#26"},
                        {"Condition", QString::fromUtf16(u"صحو")}, {"Condition_Code", "#34"},
                        {"Wind_Speed", "#13.7"}, {"Wind_Dirctn", windName(31)}, {"wCatg", "#2"},
                        {"Wind_DirctnIndex", "31"}, {"Wind_Chill", "#25"}, {"Humidity", "#21"},
                        {"Visibility", "#24"}, {"sunrise", "6:25 am"}, {"sunset", "5:05 pm"},
                        {"Loc_Lat", "24.6838"}, {"Loc_Long", "46.7118"}, {"ttl", "#15"},
                        {"URL", "https://open-meteo.com/"}}
        << false;
    QTest::newRow("Riyadh sample, imperial")
        << sampleRiyadh << "SAXX0017" << true
        << Expectations{{"temp", "#76"}, {"temp_low", "#56"}, {"temp_high", "#79"},
                        {"Wind_Speed", "#8.51"}, {"Wind_Chill", "#76"}, {"Visibility", "#15"},
                        {"Condition_Code", "#34"}}
        << false;
    QTest::newRow("Qassim sample, a dust storm")
        << serviceSamplesPath(QStringLiteral("upstream/SAXX0030.json")) << "SAXX0030" << false
        << Expectations{{"Condition", QString::fromUtf16(u"غبار")}, {"Condition_Code", "#19"}, {"temp", "#21"},
                        {"Wind_Speed", "#41.8"}, {"Loc_Lat", "26.326"}, {"Loc_Long", "43.975"}}
        << false;
    QTest::newRow("Abha, rain at night")
        << serviceFixturePath(QStringLiteral("upstream/abha-night-rain.json")) << "SAXX0036" << false
        << Expectations{{"city_e", "Abha"}, {"pDate", "Tue, 20 Jan 2026 9:15 pm AST"},
                        {"temp", "#10"}, {"temp_low", "#9"}, {"temp_high", "#16"},
                        {"Condition", QString::fromUtf16(u"مطر")}, {"Condition_Code", "#12"},
                        {"Wind_Speed", "#7.9"}, {"Wind_Dirctn", windName(135)}, {"wCatg", "#7"},
                        {"Wind_DirctnIndex", "135"}, {"Wind_Chill", "#9"}, {"Humidity", "#94"},
                        {"Visibility", "#4"}, {"sunrise", "6:45 am"}, {"sunset", "6:01 pm"}}
        << true;
    // 0.4 °C must not read as the board's "no temperature" (exactly 0).
    QTest::newRow("Turaif, just above freezing")
        << serviceFixturePath(QStringLiteral("upstream/turaif-cold-night.json")) << "SAXX0022" << false
        << Expectations{{"temp", "#0.4"}, {"temp_low", "#0"}, {"Wind_Chill", "#-5"},
                        {"Condition", QString::fromUtf16(u"ثلوج")}, {"Condition_Code", "#16"},
                        {"Visibility", "#3"}}
        << false;
    // Nothing known is invented: the columns stay empty (Visibility 0 is the
    // board's own reading of a missing atmosphere).
    QTest::newRow("Tabuk, nulls everywhere")
        << serviceFixturePath(QStringLiteral("upstream/tabuk-nulls.json")) << "SAXX0027" << false
        << Expectations{{"city_e", "Tabuk"}, {"pDate", "Tue, 10 Mar 2026 9:00 am AST"},
                        {"temp", QString::fromUtf16(u"∅")}, {"temp_low", QString::fromUtf16(u"∅")},
                        {"temp_high", QString::fromUtf16(u"∅")},
                        {"Condition", QString::fromUtf16(u"غير متاح")}, {"Condition_Code", "#3200"},
                        {"Wind_Speed", QString::fromUtf16(u"∅")}, {"Wind_Chill", QString::fromUtf16(u"∅")},
                        {"Humidity", QString::fromUtf16(u"∅")}, {"Visibility", "#0"},
                        {"sunrise", "6:20 am"}, {"sunset", QString::fromUtf16(u"∅")},
                        {"Loc_Lat", "28.3859"}, {"Loc_Long", "36.5731"}}
        << false;
    // clang-format on
}

void TestAgreement::columns()
{
    QFETCH(QString, answerPath);
    QFETCH(QString, locationId);
    QFETCH(bool, imperial);
    QFETCH(Expectations, expected);
    QFETCH(bool, prayer);

    const QJsonObject answer = QJsonDocument::fromJson(readWhole(answerPath)).object();
    QVERIFY(!answer.isEmpty());
    // The city's air-quality answer, where the sample has one beside it.
    const QString airPath = QString(answerPath).replace(QStringLiteral(".json"), QStringLiteral("-air-quality.json"));
    const QJsonObject air = QFile::exists(airPath) ? QJsonDocument::fromJson(readWhole(airPath)).object()
                                                   : QJsonObject();
    const Location *location = LocationTable::builtIn().find(locationId);
    QVERIFY(location);
    ChannelReadings readings;
    storeAsTheBoardDoes(writeForecastDocument(answer, *location, imperial ? Units::Imperial : Units::Metric, air),
                        locationId, &readings);
    if (QTest::currentTestFailed())
        return;

    const QHash<QString, FieldValue> row = storedRow(locationId);
    for (const auto &[column, value] : expected) {
        QVERIFY2(row.contains(column.toLower()), qPrintable(column));
        const FieldValue actual = row.value(column.toLower());
        QVERIFY2(matches(actual, value),
                 qPrintable(QStringLiteral("%1: stored %2, expected %3").arg(column, actual.toText(), value)));
    }
    const QString segment = tickerSegment(QStringLiteral("x"), readings);
    QCOMPARE(segment.contains(supplication), prayer);
}

void TestAgreement::documentsTheBoardRefuses_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("document");
    const Location &riyadh = *LocationTable::builtIn().find(QStringLiteral("SAXX0017"));
    QTest::newRow("unknown location") << writeErrorDocument(QStringLiteral("/forecastrss?p=NOPE&u=c"));
    QTest::newRow("answer without current conditions")
        << writeForecastDocument(upstreamAnswer(QStringLiteral("open-meteo-01-minimal-no-variables.json")), riyadh,
                                 Units::Metric);
    // clang-format on
}

void TestAgreement::documentsTheBoardRefuses()
{
    // The board must leave the city cleared rather than fill it with guesses.
    QFETCH(QByteArray, document);
    const QList<ChannelReadings> channels = readChannels(parseFeedDocument(document));
    QCOMPARE(channels.size(), 1);
    QCOMPARE(channelOutcome(channels.first()), ChannelOutcome::Stop);
}

void TestAgreement::demoDocuments_data()
{
    QTest::addColumn<QString>("locationId");
    for (const Location &location : LocationTable::builtIn().locations())
        QTest::newRow(qPrintable(location.city)) << location.id;
}

void TestAgreement::demoDocuments()
{
    // Every bundled sample fills its city's row completely.
    QFETCH(QString, locationId);
    const QByteArray document = readWhole(
        serviceSamplesPath(QStringLiteral("demo/") + recordedFileName(locationId, Units::Metric)));
    ChannelReadings readings;
    storeAsTheBoardDoes(document, locationId, &readings);
    if (QTest::currentTestFailed())
        return;
    const Location *location = LocationTable::builtIn().find(locationId);
    const QHash<QString, FieldValue> row = storedRow(locationId);
    QCOMPARE(row.value(QStringLiteral("city_e")), FieldValue::text(location->city));
    QCOMPARE(row.size(), WeatherStore::columns().size());
    for (const QString column : {"pDate", "temp", "temp_low", "temp_high", "Condition", "Wind_Speed", "Wind_Dirctn",
                                 "Wind_Chill", "Humidity", "sunrise", "sunset", "Loc_Lat", "Loc_Long", "URL"}) {
        QVERIFY2(!row.value(column.toLower()).isMissing(), qPrintable(column));
    }
    QVERIFY(row.value(QStringLiteral("condition_code")).toNumber() != 3200.0);
}

void TestAgreement::locationTableMatchesTheSeed()
{
    // The service knows exactly the board's cities, at the places its map
    // addresses show (the geocode= point, else the ll= centre); two of those
    // points lie far from their towns (a map view, an airport), and there the
    // service asks for the town, a few tens of kilometres away.
    const QStringList movedToTheTown{QStringLiteral("SAXX0030"), QStringLiteral("SAXX0034")};
    const LocationTable &table = LocationTable::builtIn();
    QCOMPARE(table.locations().size(), WeatherStore::seedCities().size());
    for (const WeatherStore::SeedCity &seed : WeatherStore::seedCities()) {
        const Location *location = table.find(seed.locationId);
        QVERIFY2(location, qPrintable(seed.locationId));
        const QUrlQuery query(seed.mapQuery.mid(1));
        QStringList point = query.queryItemValue(QStringLiteral("geocode")).split(u',');
        if (point.size() == 3)
            point.removeFirst();
        else
            point = query.queryItemValue(QStringLiteral("ll")).split(u',');
        QCOMPARE(point.size(), 2);
        const double north = (location->latitude - point[0].toDouble()) * 111.2;
        const double east = (location->longitude - point[1].toDouble()) * 111.2
            * std::cos(qDegreesToRadians(location->latitude));
        const double kilometres = std::hypot(north, east);
        if (movedToTheTown.contains(seed.locationId))
            QVERIFY2(kilometres > 15 && kilometres < 50, qPrintable(seed.locationId));
        else
            QVERIFY2(kilometres < 1e-3, qPrintable(seed.locationId));
        QCOMPARE(location->timezone, QStringLiteral("Asia/Riyadh"));
    }
}

void TestAgreement::alertsTheBoardReads_data()
{
    // clang-format off
    QTest::addColumn<QString>("severity");
    QTest::addColumn<QStringList>("languages"); // of the texts the service writes
    QTest::addColumn<QString>("read"); // what the board reads: "id colour onset expires kind refs | ar | en"
    const QString times = QStringLiteral("2026-12-07T15:00:00+03:00 2026-12-07T21:00:00+03:00");
    const QString arabic = u"المركز الوطني للأرصاد|غبار|تنبيه أحمر: أتربة \"مثارة\" & رياح|"_qs + QString(299, u'س') + u"…"_qs;
    const QString english = u"NCM|Dust|Red alert: <raised> dust|Winds & dust"_qs;
    QTest::newRow("both languages") << "Extreme" << QStringList{"ar", "en"}
        << u"2.49.0.1 red "_qs + times + u" dust 2.49.0.0 2.49.0.00 | "_qs + arabic + u" | "_qs + english;
    QTest::newRow("English alone") << "Moderate" << QStringList{"en"}
        << u"2.49.0.1 orange "_qs + times + u" dust 2.49.0.0 2.49.0.00 |  | "_qs + english;
    QTest::newRow("an unknown severity is yellow") << "Unknown" << QStringList{"ar"}
        << u"2.49.0.1 yellow "_qs + times + u" dust 2.49.0.0 2.49.0.00 | "_qs + arabic + u" | "_qs;
    // clang-format on
}

void TestAgreement::alertsTheBoardReads()
{
    // The service's alert elements, escaped by its writer and in the cities'
    // zone whatever the alert's, are what the board's reader takes.
    QFETCH(QString, severity);
    QFETCH(QStringList, languages);
    QFETCH(QString, read);
    OfficialAlert alert;
    alert.identifier = QStringLiteral("2.49.0.1");
    alert.severity = severity;
    alert.urgency = QStringLiteral("Immediate");
    alert.onset = QDateTime(QDate(2026, 12, 7), QTime(12, 0), Qt::UTC);
    alert.expires = QDateTime(QDate(2026, 12, 7), QTime(18, 0), Qt::UTC);
    alert.kind = QStringLiteral("dust");
    alert.references = QStringList{QStringLiteral("2.49.0.0"), QStringLiteral("2.49.0.00")};
    for (const QString &language : languages) {
        if (language == QLatin1String("ar"))
            alert.texts.append({language, u"المركز الوطني للأرصاد"_qs, u"غبار"_qs,
                                u"تنبيه أحمر: أتربة \"مثارة\" & رياح"_qs, QString(299, u'س') + u"…"_qs});
        else
            alert.texts.append({language, u"NCM"_qs, u"Dust"_qs, u"Red alert: <raised> dust"_qs, u"Winds & dust"_qs});
    }
    const Location &riyadh = *LocationTable::builtIn().find(QStringLiteral("SAXX0017"));
    const QJsonObject answer =
        QJsonDocument::fromJson(readWhole(serviceSamplesPath(QStringLiteral("upstream/SAXX0017.json")))).object();
    ChannelReadings readings;
    storeAsTheBoardDoes(writeForecastDocument(answer, riyadh, Units::Metric, {}, {}, {}, {alert}),
                        QStringLiteral("SAXX0017"), &readings);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(readings.alerts.size(), 1);
    const FeedAlert &a = readings.alerts.first();
    const auto text = [](const FeedAlertText &t) {
        return t.isEmpty() ? QString() : QStringList{t.sender, t.event, t.headline, t.description}.join(u'|');
    };
    QCOMPARE(QStringList({a.id, a.colour, a.onset.toString(Qt::ISODate), a.expires.toString(Qt::ISODate), a.kind,
                          a.references.join(u' '), QStringLiteral("|"), text(a.arabic), QStringLiteral("|"),
                          text(a.english)})
                 .join(u' '),
             read);
    QCOMPARE(a.severity, severity);
    QCOMPARE(a.urgency, QStringLiteral("Immediate"));
}

QTEST_GUILESS_MAIN(TestAgreement)
#include "tst_agreement.moc"
