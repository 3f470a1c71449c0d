#include "store/weatherstore.h"
#include "testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>
#include <unistd.h>

using namespace WeatherStore;

class TestWeatherStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void seedRows();
    void tableShape();
    void writeRules_data();
    void writeRules();
    void refusedValueKeepsEarlierValueAndOthersAreStored();
    void nullIsDistinctFromEmptyAndZero();
    void columnNamesIgnoreCase();
    void secondCursorSeesWritesAfterRefresh();
    void sortedViews_data();
    void sortedViews();
    void findFirstIsByValueNotSqlText();
    void missingFileOrTableGivesNoRows();
    void existingFileIsLeftAlone();
    void staleLogMeetsNoNewStore();
    void unwritableFolderCreatesNothing();
    void rowsBesideARow_data();
    void rowsBesideARow();

private:
    QString storePath() const { return m_dir->filePath(QStringLiteral("wt.dar")); }
    void fillRow(DataControl &data, int row, const QList<QPair<QString, FieldValue>> &values);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestWeatherStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(createStoreFile(storePath()));
}

void TestWeatherStore::fillRow(DataControl &data, int row, const QList<QPair<QString, FieldValue>> &values)
{
    Recordset &rs = data.recordset();
    rs.moveFirst();
    for (int i = 0; i < row; ++i)
        rs.moveNext();
    QVERIFY(rs.edit());
    for (const auto &[column, value] : values)
        QVERIFY2(rs.setValue(column, value), qPrintable(column));
    QVERIFY(rs.update());
}

void TestWeatherStore::seedRows()
{
    DataControl data;
    QVERIFY(openRows(data, storePath()));
    Recordset &rs = data.recordset();
    QCOMPARE(rs.recordCount(), 24);

    QStringList codes;
    for (int i = 0; !rs.isEof(); ++i, rs.moveNext()) {
        const SeedCity &city = seedCities().at(i);
        QCOMPARE(rs.value(QStringLiteral("city_a")), FieldValue::text(city.cityA));
        QCOMPARE(rs.value(QStringLiteral("city_code")), FieldValue::text(city.cityCode));
        QCOMPARE(rs.value(QStringLiteral("rs_URL")), FieldValue::text(city.feedUrl()));
        QCOMPARE(rs.value(QStringLiteral("map1_URL")), FieldValue::text(city.mapUrl()));
        for (const ColumnInfo &c : columns()) {
            static const QStringList seeded{QStringLiteral("city_a"), QStringLiteral("city_code"),
                                            QStringLiteral("rs_URL"), QStringLiteral("map1_URL")};
            if (!seeded.contains(c.name))
                QVERIFY2(rs.value(c.name).isNull(), qPrintable(c.name));
        }
        QVERIFY(QRegularExpression(QStringLiteral("^[A-Z]{3}$")).match(city.cityCode).hasMatch());
        codes << city.cityCode;
    }
    codes.removeDuplicates();
    QCOMPARE(codes.size(), 24);

    rs.moveFirst();
    QCOMPARE(rs.value(QStringLiteral("city_a")).toText(), QStringLiteral(u"أبها"));
    QCOMPARE(rs.value(QStringLiteral("rs_URL")).toText(),
             QStringLiteral("http://127.0.0.1:8619/forecastrss?p=SAXX0036&u=c"));
    QVERIFY(rs.value(QStringLiteral("map1_URL"))
                .toText()
                .startsWith(QStringLiteral("http://maps.google.com/maps?f=q&hl=en&q=Abha,+Saudi+Arabia&mrt=loc")));
    QVERIFY(rs.value(QStringLiteral("map1_URL")).toText().endsWith(QStringLiteral("&spn=0.053319,0.056992&z=14")));
    rs.moveLast();
    QCOMPARE(rs.value(QStringLiteral("city_a")).toText(), QStringLiteral(u"ينبع"));
}

void TestWeatherStore::tableShape()
{
    // What any SQLite client sees: one table wt, 25 columns in order.
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open_v2(storePath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "select name from sqlite_master where type='table'", -1, &st, nullptr);
    QStringList tables;
    while (sqlite3_step(st) == SQLITE_ROW)
        tables << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    QCOMPARE(tables,
             (QStringList{QStringLiteral("wt"), QStringLiteral("wt_days"), QStringLiteral("wt_hours"),
                          QStringLiteral("wt_warn"), QStringLiteral("wt_alert")}));

    sqlite3_prepare_v2(db, "pragma table_info(wt)", -1, &st, nullptr);
    QStringList names;
    QStringList types;
    while (sqlite3_step(st) == SQLITE_ROW) {
        names << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 1)));
        types << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 2)));
    }
    sqlite3_finalize(st);
    // A plain client can still filter and sort on the text columns.
    QCOMPARE(
        sqlite3_prepare_v2(db, "select count(*) from wt where city_code = 'RUH' order by city_a", -1, &st, nullptr),
        SQLITE_OK);
    QCOMPARE(sqlite3_step(st), SQLITE_ROW);
    QCOMPARE(sqlite3_column_int(st, 0), 1);
    sqlite3_finalize(st);
    sqlite3_close(db);

    QCOMPARE(names.size(), 25);
    QCOMPARE(names.first(), QStringLiteral("city_a"));
    QCOMPARE(names.at(4), QStringLiteral("Temp"));
    QCOMPARE(names.at(16), QStringLiteral("DewPoint"));
    QCOMPARE(names.last(), QStringLiteral("rs_URL"));
    QCOMPARE(types.at(2), QStringLiteral("TEXT(3) COLLATE NOCASE").section(QLatin1Char(' '), 0, 0));
    QCOMPARE(types.at(4), QStringLiteral("REAL"));
}

void TestWeatherStore::writeRules_data()
{
    // clang-format off
    QTest::addColumn<QString>("column");
    QTest::addColumn<FieldValue>("written");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<FieldValue>("stored");

    const QString s25(25, QLatin1Char('x'));
    const QString s26(26, QLatin1Char('x'));
    QTest::newRow("text at its size") << "city_e" << FieldValue::text(s25) << true << FieldValue::text(s25);
    QTest::newRow("text one over") << "city_e" << FieldValue::text(s26) << false << FieldValue::null();
    QTest::newRow("arabic counts code units") << "city_code" << FieldValue::text(QStringLiteral(u"أبه")) << true
                                              << FieldValue::text(QStringLiteral(u"أبه"));
    QTest::newRow("latitude of 9") << "Loc_Lat" << FieldValue::text(QStringLiteral("-19.95001")) << false << FieldValue::null();
    QTest::newRow("latitude of 8") << "Loc_Lat" << FieldValue::text(QStringLiteral("-19.9500")) << true
                                   << FieldValue::text(QStringLiteral("-19.9500"));
    // A leading zero-width no-break space is text like any other, not a
    // byte order mark to drop.
    QTest::newRow("text starting with U+FEFF") << "pDate" << FieldValue::text(QChar(0xfeff) + QStringLiteral("Wed"))
                                               << true << FieldValue::text(QChar(0xfeff) + QStringLiteral("Wed"));
    QTest::newRow("zero-length text") << "city_e" << FieldValue::text(QString()) << false << FieldValue::null();
    QTest::newRow("number to text") << "Wind_DirctnIndex" << FieldValue::number(30) << true << FieldValue::text(QStringLiteral("30"));
    QTest::newRow("fraction to text") << "Wind_DirctnIndex" << FieldValue::number(22.5) << true
                                      << FieldValue::text(QStringLiteral("22.5"));
    QTest::newRow("numeric text to single") << "Temp" << FieldValue::text(QStringLiteral("25")) << true << FieldValue::number(25);
    QTest::newRow("decimal text to single") << "Wind_Speed" << FieldValue::text(QStringLiteral("14.48")) << true
                                            << FieldValue::number(double(14.48f));
    QTest::newRow("negative text to single") << "Temp" << FieldValue::text(QStringLiteral("-3")) << true << FieldValue::number(-3);
    QTest::newRow("word to single") << "Temp" << FieldValue::text(QStringLiteral("warm")) << false << FieldValue::null();
    QTest::newRow("empty to single") << "Humidity" << FieldValue::text(QString()) << false << FieldValue::null();
    QTest::newRow("comma decimal to single") << "Temp" << FieldValue::text(QStringLiteral("1,5")) << false << FieldValue::null();
    QTest::newRow("overflow to single") << "Temp" << FieldValue::number(1e40) << false << FieldValue::null();
    QTest::newRow("number to single") << "Condition_Code" << FieldValue::number(3200) << true << FieldValue::number(3200);
    QTest::newRow("null to text") << "city_e" << FieldValue::null() << true << FieldValue::null();
    QTest::newRow("unset is stored as null") << "Temp" << FieldValue() << true << FieldValue::null();
    QTest::newRow("unknown column") << "NoSuchColumn" << FieldValue::text(QStringLiteral("x")) << false << FieldValue();
    // clang-format on
}

void TestWeatherStore::writeRules()
{
    QFETCH(QString, column);
    QFETCH(FieldValue, written);
    QFETCH(bool, accepted);
    QFETCH(FieldValue, stored);

    DataControl data;
    QVERIFY(openRows(data, storePath()));
    QVERIFY(data.recordset().edit());
    QCOMPARE(data.recordset().setValue(column, written), accepted);
    QVERIFY(data.recordset().update());

    // Read back through a fresh cursor: what the file holds.
    DataControl other;
    QVERIFY(openRows(other, storePath()));
    QCOMPARE(other.recordset().value(column), stored);
}

void TestWeatherStore::refusedValueKeepsEarlierValueAndOthersAreStored()
{
    DataControl data;
    QVERIFY(openRows(data, storePath()));
    fillRow(data, 3, {{QStringLiteral("Loc_Lat"), FieldValue::text(QStringLiteral("24.68"))}});

    Recordset &rs = data.recordset();
    QVERIFY(rs.edit());
    QVERIFY(rs.setValue(QStringLiteral("Loc_Lat"), FieldValue::null()));
    QVERIFY(!rs.setValue(QStringLiteral("Loc_Lat"), FieldValue::text(QStringLiteral("24.683833"))));
    QVERIFY(rs.setValue(QStringLiteral("Loc_Long"), FieldValue::text(QStringLiteral("46.71"))));
    QVERIFY(!rs.setValue(QStringLiteral("Temp"), FieldValue::text(QStringLiteral("n/a"))));
    QVERIFY(rs.update());
    // The refused latitude leaves what the edit held before it: the no value written first.
    QCOMPARE(rs.value(QStringLiteral("Loc_Lat")), FieldValue::null());
    QCOMPARE(rs.value(QStringLiteral("Loc_Long")), FieldValue::text(QStringLiteral("46.71")));
    QCOMPARE(rs.value(QStringLiteral("city_a")).toText(), QStringLiteral(u"الرياض"));
    QVERIFY(rs.value(QStringLiteral("Temp")).isNull());

    // Outside an edit nothing is written.
    QVERIFY(!rs.setValue(QStringLiteral("Loc_Long"), FieldValue::text(QStringLiteral("1"))));
    QVERIFY(!rs.update());
}

void TestWeatherStore::nullIsDistinctFromEmptyAndZero()
{
    DataControl data;
    QVERIFY(openRows(data, storePath()));
    fillRow(data, 0,
            {{QStringLiteral("Temp"), FieldValue::number(0)}, {QStringLiteral("Humidity"), FieldValue::null()}});
    QVERIFY(data.refresh());
    const FieldValue temp = data.recordset().value(QStringLiteral("Temp"));
    const FieldValue humidity = data.recordset().value(QStringLiteral("Humidity"));
    QVERIFY(temp.isNumber());
    QCOMPARE(*temp.toNumber(), 0.0);
    QVERIFY(humidity.isNull());
    QVERIFY(data.recordset().value(QStringLiteral("city_e")).isNull());
    QVERIFY(data.recordset().value(QStringLiteral("city_e")) != FieldValue::text(QString()));
}

void TestWeatherStore::columnNamesIgnoreCase()
{
    DataControl data;
    QVERIFY(openRows(data, storePath()));
    fillRow(data, 0,
            {{QStringLiteral("temp"), FieldValue::number(21)},
             {QStringLiteral("wind_chill"), FieldValue::number(-2)},
             {QStringLiteral("url"), FieldValue::text(QStringLiteral("http://x/"))}});
    Recordset &rs = data.recordset();
    QCOMPARE(rs.value(QStringLiteral("Temp")), FieldValue::number(21));
    QCOMPARE(rs.value(QStringLiteral("TEMP")), FieldValue::number(21));
    QCOMPARE(rs.value(QStringLiteral("Wind_Chill")), FieldValue::number(-2));
    QCOMPARE(rs.value(QStringLiteral("URL")).toText(), QStringLiteral("http://x/"));
    QCOMPARE(rs.value(QStringLiteral("rs_url")), rs.value(QStringLiteral("rs_URL")));
    QCOMPARE(rs.value(QStringLiteral("map1_url")), rs.value(QStringLiteral("map1_URL")));
}

void TestWeatherStore::secondCursorSeesWritesAfterRefresh()
{
    DataControl writer;
    DataControl reader;
    for (DataControl *d : {&writer, &reader})
        QVERIFY(openRows(*d, storePath()));
    reader.recordset().moveLast();
    fillRow(writer, 2, {{QStringLiteral("Temp"), FieldValue::number(33)}});
    // The reader's own position is untouched, and the write shows after its refresh.
    QCOMPARE(reader.recordset().position(), 23);
    QVERIFY(reader.refresh());
    reader.recordset().moveNext();
    reader.recordset().moveNext();
    QCOMPARE(reader.recordset().value(QStringLiteral("temp")), FieldValue::number(33));

    // A row deleted behind the reader's back is reported, not taken as stored.
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(storePath()).constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, "DELETE FROM wt WHERE city_code = 'AHB'", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    Recordset &rs = reader.recordset();
    QVERIFY(rs.findFirst(QStringLiteral("city_code"), QStringLiteral("AHB")));
    QVERIFY(rs.edit());
    QVERIFY(rs.setValue(QStringLiteral("Temp"), FieldValue::number(40)));
    QVERIFY(!rs.update());
    QVERIFY(!rs.lastError().isEmpty());
}

void TestWeatherStore::sortedViews_data()
{
    // clang-format off
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QStringList>("expectedCodes");

    // Rows with a URL: RUH, JED, DMM, AHB, TIF (TIF has NULL keys); others are filtered out.
    QTest::newRow("city name") << "select * from wt where len(url) > 0 order by city_a"
                               << QStringList{"AHB", "DMM", "RUH", "TIF", "JED"};
    QTest::newRow("temperature nulls first") << "select * from wt where len(url) > 0 order by temp"
                                             << QStringList{"TIF", "DMM", "AHB", "JED", "RUH"};
    QTest::newRow("wind direction as text") << "select * from wt where len(url) > 0 order by wind_dirctn"
                                            << QStringList{"TIF", "JED", "DMM", "RUH", "AHB"};
    QTest::newRow("wind speed") << "select * from wt where len(url) > 0 order by wind_speed"
                                << QStringList{"TIF", "RUH", "AHB", "DMM", "JED"};
    QTest::newRow("condition linguistic order") << "select * from wt where len(url) > 0 order by Condition"
                                                << QStringList{"TIF", "AHB", "JED", "DMM", "RUH"};
    QTest::newRow("visibility") << "select * from wt where len(url) > 0 order by Visibility"
                                << QStringList{"TIF", "JED", "DMM", "AHB", "RUH"};
    // clang-format on
}

void TestWeatherStore::sortedViews()
{
    QFETCH(QString, statement);
    QFETCH(QStringList, expectedCodes);

    DataControl writer;
    QVERIFY(openRows(writer, storePath()));
    const auto url = FieldValue::text(QStringLiteral("http://feed/"));
    // Seed order: 0 AHB, 2 DMM, 3 RUH, 4 TIF, 12 JED.
    fillRow(writer, 0,
            {{"URL", url},
             {"Temp", FieldValue::number(20)},
             {"Wind_Dirctn", FieldValue::text(u"شمالية"_qs)},
             {"Wind_Speed", FieldValue::number(9)},
             {"Condition", FieldValue::text(u"b"_qs)},
             {"Visibility", FieldValue::number(8)}});
    fillRow(writer, 2,
            {{"URL", url},
             {"Temp", FieldValue::number(-3)},
             {"Wind_Dirctn", FieldValue::text(u"جنوبية غربية"_qs)},
             {"Wind_Speed", FieldValue::number(14.48)},
             {"Condition", FieldValue::text(u"é"_qs)},
             {"Visibility", FieldValue::number(5)}});
    fillRow(writer, 3,
            {{"URL", url},
             {"Temp", FieldValue::number(25)},
             {"Wind_Dirctn", FieldValue::text(u"شرقية"_qs)},
             {"Wind_Speed", FieldValue::number(0)},
             {"Condition", FieldValue::text(u"F"_qs)},
             {"Visibility", FieldValue::number(10)}});
    fillRow(writer, 4, {{"URL", url}});
    fillRow(writer, 12,
            {{"URL", url},
             {"Temp", FieldValue::number(24.5)},
             {"Wind_Dirctn", FieldValue::text(u"جنوبية"_qs)},
             {"Wind_Speed", FieldValue::number(30)},
             {"Condition", FieldValue::text(u"C"_qs)},
             {"Visibility", FieldValue::number(1)}});
    // An empty URL can only come from another writer; it is filtered like no value.
    sqlite3 *db = openStoreConnection(storePath(), false);
    QVERIFY(db);
    sqlite3_exec(db, "update wt set URL = '' where city_code = 'YNB'", nullptr, nullptr, nullptr);
    sqlite3_close(db);

    DataControl view;
    QVERIFY2(openRows(view, storePath(), statement), qPrintable(view.lastError()));
    QStringList codes;
    for (Recordset &rs = view.recordset(); !rs.isEof(); rs.moveNext())
        codes << rs.value(QStringLiteral("city_code")).toText();
    QCOMPARE(codes, expectedCodes);
}

void TestWeatherStore::findFirstIsByValueNotSqlText()
{
    DataControl data;
    QVERIFY(openRows(data, storePath()));
    Recordset &rs = data.recordset();
    QVERIFY(rs.findFirst(QStringLiteral("city_a"), QStringLiteral(u"جدة")));
    QVERIFY(!rs.noMatch());
    QCOMPARE(rs.value(QStringLiteral("city_code")).toText(), QStringLiteral("JED"));

    const int before = rs.position();
    QVERIFY(!rs.findFirst(QStringLiteral("city_a"), QStringLiteral("x' or '1'='1")));
    QVERIFY(rs.noMatch());
    QCOMPARE(rs.position(), before);
    QVERIFY(!rs.findFirst(QStringLiteral("city_code"), QString()));
    QVERIFY(!rs.findFirst(QStringLiteral("city_code"), QStringLiteral("jed"))); // code unit for code unit
}

void TestWeatherStore::missingFileOrTableGivesNoRows()
{
    DataControl missing;
    missing.setDatabaseName(m_dir->filePath(QStringLiteral("nothing.dar")));
    missing.setRecordSource(QStringLiteral("select * from wt"));
    QVERIFY(!missing.refresh());
    QVERIFY(missing.recordset().isEof());
    QVERIFY(missing.recordset().value(QStringLiteral("city_a")).isUnset());
    QVERIFY(!missing.recordset().edit());
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("nothing.dar"))));

    const QString other = m_dir->filePath(QStringLiteral("other.dar"));
    sqlite3 *db = openStoreConnection(other, true);
    sqlite3_exec(db, "create table something (a text)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    DataControl noTable;
    noTable.setDatabaseName(other);
    noTable.setRecordSource(QStringLiteral("select * from wt"));
    QVERIFY(!noTable.refresh());
    QCOMPARE(noTable.recordset().recordCount(), 0);

    QFile garbage(m_dir->filePath(QStringLiteral("garbage.dar")));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, 'z'));
    garbage.close();
    DataControl notADatabase;
    notADatabase.setDatabaseName(garbage.fileName());
    notADatabase.setRecordSource(QStringLiteral("select * from wt"));
    QVERIFY(!notADatabase.refresh());
    QVERIFY(notADatabase.recordset().isEof());
}

// A store whose process was killed leaves its write-ahead log behind. When
// the store is then deleted and made anew, the old log must not be replayed
// into the new file.
void TestWeatherStore::staleLogMeetsNoNewStore()
{
    const QString log = storePath() + QStringLiteral("-wal");
    const QString kept = storePath() + QStringLiteral(".kept-wal");
    {
        DataControl writer;
        QVERIFY(openRows(writer, storePath()));
        fillRow(writer, 0, {{QStringLiteral("Temp"), FieldValue::number(44)}});
        QVERIFY(QFile::exists(log));
        QVERIFY(QFile::copy(log, kept)); // as a kill would leave it
    }
    QVERIFY(removeStoreFile(storePath()));
    QVERIFY(QFile::rename(kept, log));
    QVERIFY(createStoreFile(storePath()));
    QVERIFY(!QFile::exists(log));

    DataControl reader;
    QVERIFY(openRows(reader, storePath()));
    QCOMPARE(reader.recordset().recordCount(), 24);
    QCOMPARE(reader.recordset().value(QStringLiteral("Temp")), FieldValue::null());
}

void TestWeatherStore::existingFileIsLeftAlone()
{
    DataControl data;
    QVERIFY(openRows(data, storePath()));
    fillRow(data, 0, {{QStringLiteral("Temp"), FieldValue::number(17)}});
    data.closeDatabase();

    QVERIFY(createStoreFile(storePath()));
    QVERIFY(data.refresh());
    QCOMPARE(data.recordset().recordCount(), 24);
    QCOMPARE(data.recordset().value(QStringLiteral("Temp")), FieldValue::number(17));
}

void TestWeatherStore::unwritableFolderCreatesNothing()
{
    if (geteuid() == 0)
        QSKIP("root writes into read-only folders");
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    QVERIFY(!createStoreFile(dir.filePath(QStringLiteral("wt.dar"))));
    QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QTEST_GUILESS_MAIN(TestWeatherStore)
#include "tst_weatherstore.moc"

void TestWeatherStore::rowsBesideARow_data()
{
    QTest::addColumn<QString>("side"); // the table beside wt
    QTest::addColumn<bool>("oldStore"); // made before that table was
    QTest::addColumn<QString>("code"); // the code of the row stored
    QTest::addColumn<QList<SideRows::Row>>("days"); // what goes beside it
    QTest::addColumn<QStringList>("kept"); // RUH's rows read back after: "day date low high code", ...

    const auto day = [](const char *name, const char *low, const char *high) {
        return SideRows::Row{{"day", FieldValue::text(name)},
                             {"date", FieldValue::text("7 Dec 2026")},
                             {"low", FieldValue::text(low)},
                             {"high", FieldValue::text(high)},
                             {"code", FieldValue::text("32")}};
    };
    const QList<SideRows::Row> five{day("Mon", "12", "27"), day("Tue", "13", "28"), day("Wed", "14", "29"),
                                    day("Thu", "15", "30"), day("Fri", "16", "31")};
    QTest::newRow("five days") << "wt_days" << false << "RUH" << five
                               << QStringList{"Mon 7 Dec 2026 12 27 32", "Tue 7 Dec 2026 13 28 32",
                                              "Wed 7 Dec 2026 14 29 32", "Thu 7 Dec 2026 15 30 32",
                                              "Fri 7 Dec 2026 16 31 32"};
    QTest::newRow("fewer") << "wt_days" << false << "RUH" << five.mid(0, 2)
                           << QStringList{"Mon 7 Dec 2026 12 27 32", "Tue 7 Dec 2026 13 28 32"};
    QTest::newRow("a value refused or missing")
        << "wt_days" << false << "RUH"
        << QList<SideRows::Row>{day("Mon", "warm", "27"), {{"day", FieldValue::text("Tue")}}}
        << QStringList{"Mon 7 Dec 2026 ∅ 27 32", "Tue ∅ ∅ ∅ ∅"};
    QTest::newRow("cleared") << "wt_days" << false << "RUH" << QList<SideRows::Row>{} << QStringList{};
    QTest::newRow("another city's row") << "wt_days" << false << "JED" << five.mid(0, 1) << QStringList{"∅ ∅ 1 2 ∅"};
    QTest::newRow("a store made before the table")
        << "wt_days" << true << "RUH" << five.mid(0, 1) << QStringList{"Mon 7 Dec 2026 12 27 32"};

    // The coming hours: their hour with its offset, temperature, condition, wind speed and direction.
    const auto hour = [](const char *time, const char *temp) {
        return SideRows::Row{{"hour", FieldValue::text(time)},
                             {"temp", FieldValue::text(temp)},
                             {"code", FieldValue::text("19")},
                             {"speed", FieldValue::text("41.8")},
                             {"direction", FieldValue::text("315")}};
    };
    const QList<SideRows::Row> hours{hour("2026-12-07T13:00:00+03:00", "21"),
                                     hour("2026-12-07T14:00:00+03:00", "22.5")};
    QTest::newRow("hours in their order")
        << "wt_hours" << false << "RUH" << hours
        << QStringList{"2026-12-07T13:00:00+03:00 21 19 41.8 315", "2026-12-07T14:00:00+03:00 22.5 19 41.8 315"};
    QTest::newRow("an hour's value refused")
        << "wt_hours" << false << "RUH" << QList<SideRows::Row>{hour("2026-12-07T13:00:00+03:00", "hot")}
        << QStringList{"2026-12-07T13:00:00+03:00 ∅ 19 41.8 315"};
    QTest::newRow("another city's hours") << "wt_hours" << false << "JED" << hours << QStringList{"∅ ∅ 1 2 ∅"};
    QTest::newRow("a store made before the hours")
        << "wt_hours" << true << "RUH" << hours.mid(1) << QStringList{"2026-12-07T14:00:00+03:00 22.5 19 41.8 315"};

    // The centre's alerts: identifier, colour, severity, urgency, onset,
    // expiry, kind, what it replaces, and each language's four texts.
    const auto alert = [](const char *id, const QString &headline) {
        return SideRows::Row{{"alert_id", FieldValue::text(id)},
                             {"colour", FieldValue::text("red")},
                             {"severity", FieldValue::text("Severe")},
                             {"urgency", FieldValue::text("Immediate")},
                             {"onset", FieldValue::text("2026-12-07T15:00:00+03:00")},
                             {"expires", FieldValue::text("2026-12-07T21:00:00+03:00")},
                             {"kind", FieldValue::text("dust")},
                             {"refs", FieldValue::text("2.49.0.1 2.49.0.2")},
                             {"sender_a", FieldValue::text(u"المركز الوطني للأرصاد"_qs)},
                             {"event_a", FieldValue::text(u"غبار"_qs)},
                             {"headline_a", FieldValue::text(headline)},
                             {"description_a", FieldValue::text(QString(400, u'س'))},
                             {"sender_e", FieldValue::text("NCM")},
                             {"event_e", FieldValue::text("Dust")},
                             {"headline_e", FieldValue::text("Red alert")}};
    };
    const QString kept = u" red Severe Immediate 2026-12-07T15:00:00+03:00 2026-12-07T21:00:00+03:00 dust "
                         u"2.49.0.1 2.49.0.2 المركز الوطني للأرصاد غبار %1 "_qs
        + QString(400, u'س') + u" NCM Dust Red alert ∅"_qs;
    QTest::newRow("an alert in both languages")
        << "wt_alert" << false << "RUH" << QList<SideRows::Row>{alert("2.49.0.3", u"تنبيه أحمر"_qs)}
        << QStringList{u"2.49.0.3"_qs + kept.arg(u"تنبيه أحمر"_qs)};
    QTest::newRow("a headline longer than its column")
        << "wt_alert" << false << "RUH" << QList<SideRows::Row>{alert("2.49.0.3", QString(301, u'ت'))}
        << QStringList{u"2.49.0.3"_qs + kept.arg(u"∅"_qs)};
    QTest::newRow("another city's alerts")
        << "wt_alert" << false << "JED" << QList<SideRows::Row>{alert("2.49.0.3", u"تنبيه"_qs)}
        << QStringList{u"∅ ∅ 1 2 ∅ ∅ ∅ ∅ ∅ ∅ ∅ ∅ ∅ ∅ ∅ ∅"_qs};
    QTest::newRow("a store made before the alerts")
        << "wt_alert" << true << "RUH" << QList<SideRows::Row>{alert("2.49.0.4", u"تنبيه"_qs)}
        << QStringList{u"2.49.0.4"_qs + kept.arg(u"تنبيه"_qs)};
}

void TestWeatherStore::rowsBesideARow()
{
    QFETCH(QString, side);
    QFETCH(bool, oldStore);
    QFETCH(QString, code);
    QFETCH(QList<SideRows::Row>, days);
    QFETCH(QStringList, kept);
    const SideRows &table = side == QLatin1String("wt_hours") ? comingHours()
        : side == QLatin1String("wt_alert")                   ? officialAlerts()
                                                              : comingDays();
    QCOMPARE(table.table(), side);
    if (oldStore) {
        sqlite3 *db = openStoreConnection(storePath(), false);
        QCOMPARE(sqlite3_exec(db, qPrintable(QStringLiteral("drop table ") + side), nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
    }
    DataControl data;
    QVERIFY(openRows(data, storePath()));
    Recordset &rs = data.recordset();
    QVERIFY(rs.findFirst(QStringLiteral("city_code"), QStringLiteral("RUH")));
    // RUH's days before: ones that must go, or stay when another city's row is stored.
    if (!oldStore) {
        QVERIFY(rs.edit());
        rs.setValue(QStringLiteral("Temp"), FieldValue::number(1));
        // Values in the table's third and fourth columns (the days' low and high).
        QVERIFY(rs.update({table.replaceWith(
            QStringLiteral("RUH"),
            {{{table.columns()[2].name, FieldValue::text("1")}, {table.columns()[3].name, FieldValue::text("2")}}})}));
    }
    QVERIFY(rs.findFirst(QStringLiteral("city_code"), code));
    QVERIFY(rs.edit());
    rs.setValue(QStringLiteral("Temp"), FieldValue::number(25));
    QVERIFY(rs.update({table.replaceWith(code, days)}));
    QCOMPARE(rs.value(QStringLiteral("Temp")), FieldValue::number(25));

    QStringList read;
    for (const QVector<FieldValue> &row : table.rowsOf(data, QStringLiteral("RUH"))) {
        QStringList values;
        for (const FieldValue &v : row)
            values << (v.isNull() ? QStringLiteral("∅") : v.toText());
        read << values.join(u' ');
    }
    QCOMPARE(read, kept);
    QVERIFY(table.rowsOf(data, QStringLiteral("ruh")).isEmpty()); // codes as written, no other city's
}
