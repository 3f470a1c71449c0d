#include "app/frmWeatherMain.h"
#include "boardfixture.h"
#include "store/weatherstore.h"

#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestBoard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstExpansionSortsByCityName();
    void gridFill_data();
    void gridFill();
    void gridWords_data();
    void gridWords();
    void detailOfAFullRow();
    void windPace_data();
    void windPace();
    void detailOfARowWithoutValues();
    void detailWithoutCurrentRow();
    void sounds_data();
    void sounds();
    void mapPictures();
    void clickingCities();
    void arrowSweepsAndStops();
    void sortKeys_data();
    void sortKeys();
    void noChosenKeyKeepsTheStatement();
    void toggleKeepsTheChosenOrder();
    void doubleClickExpandsOnce();
    void linkLabelsOpenTheBrowser();

private:
    std::unique_ptr<frmWeatherMain> loadBoard();
    QString storePath() const { return m_dir->filePath(QStringLiteral("wt.dar")); }

    std::unique_ptr<QTemporaryDir> m_dir;
    FakeWorld m_world;
};

void TestBoard::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_world = FakeWorld();
    QVERIFY(prepareBoardFolder(m_dir->path()));
}

void TestBoard::cleanup()
{
    m_dir.reset();
}

std::unique_ptr<frmWeatherMain> TestBoard::loadBoard()
{
    auto board = std::make_unique<frmWeatherMain>(m_world.services(m_dir->path()));
    if (!board->Form_Load())
        return nullptr;
    board->TimerFirstLoad()->setEnabled(false);
    board->TimerWeather()->setEnabled(false);
    return board;
}

void TestBoard::firstExpansionSortsByCityName()
{
    storeWeather(storePath(), {{"RUH", 25, u"مشمس"_qs, 10, u"شمالية"_qs, 14.48f, 1},
                               {"AHB", 12, u"مطر"_qs, 4.5f, u"جنوبية"_qs, 0, 9}});
    auto board = loadBoard();
    QVERIFY(board);
    board->PictureShowDetail()->setVisible(true);
    board->PictureShowDetail_Click();
    QCOMPARE(board->ComboSort()->currentIndex(), 0);
    QCOMPARE(board->lblCity(0)->text(), QStringLiteral(u"أبها"));
    QCOMPARE(board->lblCity(1)->text(), QStringLiteral(u"الرياض"));
}

namespace {
// Adds rows with a feed link beyond the 24 seed cities.
void addCities(const QString &store, int count)
{
    DataControl data;
    data.setDatabaseName(store);
    data.setRecordSource(QStringLiteral("select * from wt"));
    data.refresh();
    for (int i = 0; i < count; ++i) {
        data.recordset().addNew();
        data.recordset().setValue(QStringLiteral("city_a"), FieldValue::text(QStringLiteral("Z%1").arg(i)));
        data.recordset().setValue(QStringLiteral("city_code"), FieldValue::text(QStringLiteral("Z%1").arg(i)));
        data.recordset().setValue(QStringLiteral("URL"), FieldValue::text(QStringLiteral("http://x/")));
        data.recordset().update();
    }
}

QStringList seedCodes(int count)
{
    QStringList codes;
    for (int i = 0; i < count; ++i)
        codes << WeatherStore::seedCities()[i].cityCode;
    return codes;
}

void setColumn(const QString &store, const QString &code, const QString &column, const FieldValue &value)
{
    DataControl data;
    data.setDatabaseName(store);
    data.setRecordSource(QStringLiteral("select * from wt"));
    data.refresh();
    QVERIFY(data.recordset().findFirst(QStringLiteral("city_code"), code));
    data.recordset().edit();
    QVERIFY(data.recordset().setValue(column, value));
    QVERIFY(data.recordset().update());
}
} // namespace

void TestBoard::gridFill_data()
{
    QTest::addColumn<int>("filled");
    QTest::addColumn<int>("extra");
    QTest::addColumn<QString>("picked");
    QTest::addColumn<int>("currentAfter"); // -1: no current row

    QTest::newRow("empty view") << 0 << 0 << QString() << -1;
    QTest::newRow("empty view, picked") << 0 << 0 << QStringLiteral("RUH") << -1;
    QTest::newRow("10 rows") << 10 << 0 << QString() << -1;
    QTest::newRow("10 rows, picked in view") << 10 << 0 << QStringLiteral("RUH") << 3;
    QTest::newRow("10 rows, picked not in view") << 10 << 0 << QStringLiteral("YNB") << 0;
    QTest::newRow("24 rows") << 24 << 0 << QString() << 23;
    QTest::newRow("30 rows") << 24 << 6 << QString() << 23;
    QTest::newRow("30 rows, picked") << 24 << 6 << QStringLiteral("TIF") << 4;
}

void TestBoard::gridFill()
{
    QFETCH(int, filled);
    QFETCH(int, extra);
    QFETCH(QString, picked);
    QFETCH(int, currentAfter);

    QList<CityWeather> cities;
    for (const QString &code : seedCodes(filled))
        cities.append({code, 20, u"صحو"_qs, 5, u"شمالية"_qs, 3, 1});
    storeWeather(storePath(), cities);
    addCities(storePath(), extra);

    auto board = loadBoard();
    QVERIFY(board);
    board->Datawt2().setRecordSource(QStringLiteral("select * from wt where len(url) > 0"));
    board->setSelectedCityCode(picked);
    board->FillCityGrid();

    const int shown = std::min(filled + extra, 24);
    for (int i = 0; i < 24; ++i) {
        QCOMPARE(board->lblCity(i)->text().isEmpty(), i >= shown);
        QCOMPARE(board->lblWind_Speed(i)->text().isEmpty(), i >= shown);
    }
    if (shown > 0)
        QCOMPARE(board->lblCity(0)->text(), WeatherStore::seedCities()[0].cityA);
    if (currentAfter < 0)
        QVERIFY(!board->Datawt2().recordset().hasCurrentRow());
    else
        QCOMPARE(board->Datawt2().recordset().position(), currentAfter);
}

void TestBoard::gridWords_data()
{
    QTest::addColumn<FieldValue>("temp");
    QTest::addColumn<FieldValue>("visibility");
    QTest::addColumn<FieldValue>("speed");
    QTest::addColumn<QString>("tempText");
    QTest::addColumn<QString>("visibilityText");
    QTest::addColumn<QString>("speedText");

    const auto n = [](double v) { return FieldValue::number(v); };
    QTest::newRow("whole numbers") << n(33) << n(9) << n(6) << "33" << "9" << "6";
    QTest::newRow("fractions") << n(14.48) << n(9.5) << n(0.5) << "14.48" << "9.5" << "0.5";
    QTest::newRow("good and calm") << n(-3) << n(10) << n(0) << "-3" << u"جيدة"_qs << u"سكون"_qs;
    QTest::newRow("far") << n(0) << n(16) << n(60) << "0" << u"جيدة"_qs << "60";
    QTest::newRow("no values") << FieldValue::null() << FieldValue::null() << FieldValue::null() << "" << "" << "";
}

void TestBoard::gridWords()
{
    QFETCH(FieldValue, temp);
    QFETCH(FieldValue, visibility);
    QFETCH(FieldValue, speed);
    QFETCH(QString, tempText);
    QFETCH(QString, visibilityText);
    QFETCH(QString, speedText);

    storeWeather(storePath(), {{"RUH", 1, u"غبار"_qs, 1, u"غربية"_qs, 1, 13}});
    setColumn(storePath(), "RUH", "Temp", temp);
    setColumn(storePath(), "RUH", "Visibility", visibility);
    setColumn(storePath(), "RUH", "Wind_Speed", speed);
    auto board = loadBoard();
    QVERIFY(board);
    board->ComboSort()->setCurrentIndex(0);
    QCOMPARE(board->lblCity(0)->text(), QStringLiteral(u"الرياض"));
    QCOMPARE(board->lblCondition(0)->text(), QStringLiteral(u"غبار"));
    QCOMPARE(board->lblWind_Dirct(0)->text(), QStringLiteral(u"غربية"));
    QCOMPARE(board->lblTemp(0)->text(), tempText);
    QCOMPARE(board->lblVisibility(0)->text(), visibilityText);
    QCOMPARE(board->lblWind_Speed(0)->text(), speedText);
    // The panel words the same values the same way.
    board->lblCity_Click(0);
    QCOMPARE(board->lblTempD()->text(), tempText);
    QCOMPARE(board->lblVisibilityD()->text(), visibilityText);
    QCOMPARE(board->lblWind_SpeedD()->text(), speedText.isEmpty() ? u"سكون"_qs : speedText);
}

void TestBoard::detailOfAFullRow()
{
    storeWeather(storePath(), {{"RUH", 25, u"مشمس"_qs, 16, u"شمالية"_qs, 14.48f, 1}});
    setColumn(storePath(), "RUH", "pDate", FieldValue::text("Mon, 07 Dec 2026 1:00 pm AST"));
    setColumn(storePath(), "RUH", "temp_low", FieldValue::number(12));
    setColumn(storePath(), "RUH", "temp_high", FieldValue::number(27.5));
    setColumn(storePath(), "RUH", "Humidity", FieldValue::number(40));
    setColumn(storePath(), "RUH", "Wind_Chill", FieldValue::number(23));
    setColumn(storePath(), "RUH", "sunrise", FieldValue::text("6:31 am"));
    setColumn(storePath(), "RUH", "sunset", FieldValue::text("5:12 pm"));
    auto board = loadBoard();
    QVERIFY(board);
    board->ComboSort()->setCurrentIndex(0);
    board->lblCity_Click(0);

    QCOMPARE(board->lblCityD()->text(), QStringLiteral(u"الرياض"));
    QCOMPARE(board->lblConditionD()->text(), QStringLiteral(u"مشمس"));
    QCOMPARE(board->lblPdateD()->text(), QStringLiteral("Mon, 07 Dec 2026 1:00 pm AST"));
    QCOMPARE(board->lblTemp_LowD()->text(), QStringLiteral("12"));
    QCOMPARE(board->lblTemp_HighD()->text(), QStringLiteral("27.5"));
    QCOMPARE(board->lblHumidityD()->text(), QStringLiteral("40"));
    QCOMPARE(board->lblWind_ShillD()->text(), QStringLiteral("23"));
    QCOMPARE(board->lblSunRiseD()->text(), QStringLiteral("6:31 am"));
    QCOMPARE(board->lblSunSetD()->text(), QStringLiteral("5:12 pm"));
    QCOMPARE(board->lblWind_DirctD()->text(), QStringLiteral(u"شمالية"));
    QCOMPARE(board->lblWindDirc_Speed()->text(), QStringLiteral("N  14 Kph"));
    QCOMPARE(board->WindDirIndex(), 1.0f);
    QCOMPARE(board->TimerWind()->interval(), 71);
    QVERIFY(board->TimerWind()->isEnabled());
    QVERIFY(!board->LineWind()->isHidden());
    QVERIFY(!board->lblGoogle()->isHidden());
    QCOMPARE(board->lblGoogle()->text(), QStringLiteral(u"أضغط هنا لمشاهدة الرياض من خلال Google"));
    QCOMPARE(board->lblGoogle()->tag(), WeatherStore::seedCities()[3].mapUrl());
    QVERIFY(m_world.sounds.isEmpty());
}

void TestBoard::windPace_data()
{
    QTest::addColumn<float>("speed");
    QTest::addColumn<int>("interval");
    QTest::addColumn<bool>("ticking");
    QTest::addColumn<QString>("caption");
    QTest::newRow("calm") << 0.0f << 3000 << true << "N  0 Kph";
    QTest::newRow("2.25 rounds to even") << 2.25f << 96 << true << "N  2 Kph";
    QTest::newRow("14.48") << 14.48f << 71 << true << "N  14 Kph";
    QTest::newRow("14.5 rounds to even") << 14.5f << 71 << true << "N  14 Kph";
    QTest::newRow("49.75 stands still") << 49.75f << 0 << false << "N  50 Kph";
    QTest::newRow("60 keeps the earlier interval") << 60.0f << 71 << true << "N  60 Kph";
    QTest::newRow("absurd speed") << 1e10f << 71 << true << "N  10000000000 Kph";
}

void TestBoard::windPace()
{
    QFETCH(float, speed);
    QFETCH(int, interval);
    QFETCH(bool, ticking);
    QFETCH(QString, caption);
    storeWeather(storePath(), {{"AHB", 20, u"صحو"_qs, 5, u"شمالية"_qs, 14.48f, 1}, {"RUH", 20, u"صحو"_qs, 5, u"شمالية"_qs, speed, 1}});
    auto board = loadBoard();
    QVERIFY(board);
    board->ComboSort()->setCurrentIndex(0);
    board->Datawt2().recordset().moveFirst();
    board->ShowCityDetail(); // Abha: 71 ms
    board->Datawt2().recordset().moveNext();
    board->ShowCityDetail(); // Riyadh
    QCOMPARE(board->TimerWind()->interval(), interval);
    QCOMPARE(board->TimerWind()->isTicking(), ticking);
    QCOMPARE(board->lblWindDirc_Speed()->text(), caption);
}

void TestBoard::detailOfARowWithoutValues()
{
    setColumn(storePath(), "JED", "URL", FieldValue::text("http://x/"));
    auto board = loadBoard();
    QVERIFY(board);
    board->setWindDirCode(QStringLiteral("SW"));
    board->ComboSort()->setCurrentIndex(0);
    board->lblCity_Click(0);
    QCOMPARE(board->lblCityD()->text(), QStringLiteral(u"جدة"));
    for (FormLabel *label : {board->lblConditionD(), board->lblTempD(), board->lblHumidityD(), board->lblVisibilityD(),
                             board->lblWind_DirctD(), board->lblPdateD()})
        QVERIFY2(label->text().isEmpty(), qPrintable(label->objectName()));
    QCOMPARE(board->lblWind_SpeedD()->text(), QStringLiteral(u"سكون"));
    QCOMPARE(board->WindDirIndex(), 0.0f);
    QCOMPARE(board->lblWindDirc_Speed()->text(), QStringLiteral("SW  0 Kph"));
    QCOMPARE(board->TimerWind()->interval(), 3000);
}

void TestBoard::detailWithoutCurrentRow()
{
    storeWeather(storePath(), {{"RUH", 25, u"أمطار متقطعة"_qs, 4, u"شمالية"_qs, 10, 1}});
    auto board = loadBoard();
    QVERIFY(board);
    board->ComboSort()->setCurrentIndex(0); // one row shown: the cursor ends past it
    QVERIFY(!board->Datawt2().recordset().hasCurrentRow());
    QVERIFY(board->lblCityD()->text().isEmpty());
    QVERIFY(board->lblConditionD()->text().isEmpty());
    QCOMPARE(board->lblWind_SpeedD()->text(), QStringLiteral(u"سكون"));
    QCOMPARE(board->TimerWind()->interval(), 3000);
    QCOMPARE(board->lblWindDirc_Speed()->text(), QStringLiteral("  0 Kph"));
    QVERIFY(board->ImageMAP()->pixmap().isNull());
    QVERIFY(board->lblGoogle()->isHidden());
    QVERIFY(m_world.sounds.isEmpty());
}

void TestBoard::sounds_data()
{
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QStringList>("played");
    QTest::newRow("scattered showers") << u"أمطار متقطعة"_qs << QStringList{"rain.wav"};
    QTest::newRow("thunderstorms") << u"عواصف رعدية"_qs << QStringList{"thunder.wav"};
    QTest::newRow("rain and snow") << u"مطر وثلوج"_qs << QStringList{"rain.wav"};
    QTest::newRow("rainy snow") << u"ثلوج ممطرة متقطعة"_qs << QStringList{"rain.wav"};
    QTest::newRow("both: thunder last") << u"مطر رعدية"_qs << QStringList{"rain.wav", "thunder.wav"};
    QTest::newRow("dust") << u"غبار"_qs << QStringList{};
    QTest::newRow("thunder without storm") << u"رعود"_qs << QStringList{};
}

void TestBoard::sounds()
{
    QFETCH(QString, condition);
    QFETCH(QStringList, played);
    storeWeather(storePath(), {{"RUH", 25, condition, 4, u"شمالية"_qs, 10, 1}});
    auto board = loadBoard();
    QVERIFY(board);
    board->ComboSort()->setCurrentIndex(0);
    board->lblCity_Click(0);
    QStringList expected;
    for (const QString &name : played)
        expected << board->AppFolder() + name;
    QCOMPARE(m_world.sounds, expected);
}

void TestBoard::mapPictures()
{
    storeWeather(storePath(), {{"RUH", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 1}, {"JED", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 1},
                               {"AHB", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 1}});
    auto board = loadBoard();
    QVERIFY(board);
    // Riyadh's picture is a PNG under its .tmg name; Jeddah's cannot be read; Abha has none.
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QVERIFY(image.save(board->AppFolder() + QStringLiteral("wtIMG/RUH.tmg"), "PNG"));
    QFile broken(board->AppFolder() + QStringLiteral("wtIMG/JED.tmg"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();

    board->ComboSort()->setCurrentIndex(0); // أبها, الرياض, جدة
    board->lblCity_Click(1);
    QCOMPARE(board->ImageMAP()->pixmap().size(), QSize(40, 30));
    board->lblCity_Click(2);
    QCOMPARE(board->ImageMAP()->pixmap().size(), QSize(40, 30)); // the previous picture stays
    board->lblCity_Click(0);
    QVERIFY(board->ImageMAP()->pixmap().isNull());
    QVERIFY(board->TimerWind()->isEnabled()); // the arrow still moves over an empty map
}

void TestBoard::clickingCities()
{
    storeWeather(storePath(), {{"RUH", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 1}, {"JED", 31, u"صحو"_qs, 4, u"جنوبية"_qs, 10, 9}});
    auto board = loadBoard();
    QVERIFY(board);
    board->ComboSort()->setCurrentIndex(0);
    board->lblCity_Click(1);
    QCOMPARE(board->SelectedCityCode(), QStringLiteral("JED"));
    QCOMPARE(board->lblCityD()->text(), QStringLiteral(u"جدة"));
    // Another order keeps the picked city in the panel.
    board->ComboSort()->setCurrentIndex(2);
    QCOMPARE(board->lblCity(0)->text(), QStringLiteral(u"الرياض"));
    QCOMPARE(board->lblCityD()->text(), QStringLiteral(u"جدة"));

    // An empty row finds nothing: the message, and nothing picked any more.
    board->lblCity_Click(5);
    QCOMPARE(m_world.messages, QStringList{u"لم يتم العثور على السجل"_qs});
    QVERIFY(board->SelectedCityCode().isEmpty());
    QCOMPARE(board->lblCityD()->text(), QStringLiteral(u"جدة"));
}

void TestBoard::arrowSweepsAndStops()
{
    storeWeather(storePath(), {{"RUH", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 1}, {"JED", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 0}});
    setColumn(storePath(), "JED", "wCatg", FieldValue::null());
    auto board = loadBoard();
    QVERIFY(board);
    board->PictureShowDetail()->setVisible(true);
    board->PictureShowDetail_Click();
    board->lblCity_Click(0); // الرياض, north
    QCOMPARE(board->WindDirCode(), QStringLiteral("N"));
    QCOMPARE(board->LineWind()->y1(), 3820.0f);
    for (int tick = 1; tick < 828; ++tick)
        board->TimerWind_Timer();
    QCOMPARE(board->LineWind()->y1(), 3820.0f + 827 * 8);
    board->TimerWind_Timer(); // 10444 is beyond the map: back to the start in the same tick
    QCOMPARE(board->LineWind()->y1(), 3820.0f);
    QCOMPARE(board->LineWind()->x2(), 4095.0f);

    // Collapsing stops the arrow at its next tick, where it stands.
    board->TimerWind_Timer();
    board->PictureHideDetail_Click();
    QVERIFY(board->TimerWind()->isEnabled());
    board->TimerWind_Timer();
    QVERIFY(!board->TimerWind()->isEnabled());
    QCOMPARE(board->LineWind()->y1(), 3828.0f);

    // A city without a sector: the arrow stays where it was and stops.
    board->PictureShowDetail_Click();
    board->lblCity_Click(1); // جدة
    QCOMPARE(board->WindDirIndex(), 0.0f);
    QVERIFY(board->TimerWind()->isEnabled());
    board->TimerWind_Timer();
    QVERIFY(!board->TimerWind()->isEnabled());
}

void TestBoard::sortKeys_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("city") << 0 << "select * from wt where len(url) > 0 order by city_a" << QStringList{"AHB", "DMM", "RUH", "JED"};
    QTest::newRow("condition") << 1 << "select * from wt where len(url) > 0 order by Condition" << QStringList{"JED", "DMM", "RUH", "AHB"};
    QTest::newRow("temperature") << 2 << "select * from wt where len(url) > 0 order by temp" << QStringList{"JED", "DMM", "AHB", "RUH"};
    QTest::newRow("visibility") << 3 << "select * from wt where len(url) > 0 order by Visibility" << QStringList{"JED", "RUH", "AHB", "DMM"};
    QTest::newRow("wind direction") << 4 << "select * from wt where len(url) > 0 order by wind_dirctn" << QStringList{"JED", "DMM", "AHB", "RUH"};
    QTest::newRow("wind speed") << 5 << "select * from wt where len(url) > 0 order by wind_speed" << QStringList{"JED", "RUH", "AHB", "DMM"};
}

void TestBoard::sortKeys()
{
    QFETCH(int, position);
    QFETCH(QString, statement);
    QFETCH(QStringList, order);
    storeWeather(storePath(), {{"AHB", 20, u"مطر"_qs, 8, u"شرقية"_qs, 9, 5},
                               {"DMM", 14, u"عاصف"_qs, 12, u"جنوبية"_qs, 30, 9},
                               {"RUH", 25, u"غبار"_qs, 2, u"غربية"_qs, 0, 13}});
    setColumn(storePath(), "JED", "URL", FieldValue::text("http://x/")); // every key of Jeddah holds no value

    auto board = loadBoard();
    QVERIFY(board);
    board->ComboSort()->setCurrentIndex(position);
    QCOMPARE(board->Datawt2().recordSource(), statement);
    for (int c = 0; c < 6; ++c)
        QCOMPARE(board->Label1(c)->foreColor(), c == position ? QColor(255, 255, 0) : QColor(255, 255, 255));
    QStringList shown;
    for (int i = 0; i < 24 && !board->lblCity(i)->text().isEmpty(); ++i) {
        for (const WeatherStore::SeedCity &city : WeatherStore::seedCities()) {
            if (city.cityA == board->lblCity(i)->text())
                shown << city.cityCode;
        }
    }
    QCOMPARE(shown, order);
}

void TestBoard::noChosenKeyKeepsTheStatement()
{
    auto board = loadBoard();
    QVERIFY(board);
    board->ComboSort_Click();
    QCOMPARE(board->Datawt2().recordSource(), QStringLiteral("select * from wt"));
    QCOMPARE(board->lblCity(0)->text(), QStringLiteral(u"أبها")); // unfiltered, stored order
    board->ComboSort()->setCurrentIndex(2);
    board->ComboSort()->setCurrentIndex(-1);
    QCOMPARE(board->Datawt2().recordSource(), QStringLiteral("select * from wt where len(url) > 0 order by temp"));
    for (int c = 0; c < 6; ++c)
        QCOMPARE(board->Label1(c)->foreColor(), QColor(255, 255, 255));
}

void TestBoard::toggleKeepsTheChosenOrder()
{
    storeWeather(storePath(), {{"AHB", 20, u"مطر"_qs, 8, u"شرقية"_qs, 9, 5}, {"RUH", 25, u"غبار"_qs, 2, u"غربية"_qs, 3, 13}});
    auto board = loadBoard();
    QVERIFY(board);
    board->PictureShowDetail()->setVisible(true);
    board->PictureShowDetail_Click();
    QCOMPARE(board->outerSizeTwips(), QSize(14630, 11350));
    QVERIFY(board->PictureShowDetail()->isHidden());
    QVERIFY(!board->PictureHideDetail()->isHidden());
    QCOMPARE(board->ComboSort()->currentText(), QStringLiteral(u"اسم المدينة"));

    board->ComboSort()->setCurrentIndex(5);
    QCOMPARE(board->lblCity(0)->text(), QStringLiteral(u"الرياض"));
    board->PictureHideDetail_Click();
    QCOMPARE(board->outerSizeTwips(), QSize(7590, 885));
    QVERIFY(!board->PictureShowDetail()->isHidden());
    QVERIFY(board->PictureHideDetail()->isHidden());
    setColumn(storePath(), "RUH", "Wind_Speed", FieldValue::number(50)); // a refresh stored new values meanwhile
    board->PictureShowDetail_Click();
    QCOMPARE(board->ComboSort()->currentIndex(), 5);
    QCOMPARE(board->lblCity(0)->text(), QStringLiteral(u"أبها"));
    QCOMPARE(board->lblWind_Speed(1)->text(), QStringLiteral("50"));
}

void TestBoard::doubleClickExpandsOnce()
{
    auto board = loadBoard();
    QVERIFY(board);
    board->PictureShowDetail()->setVisible(true);
    board->show();
    QVERIFY(QTest::qWaitForWindowExposed(board.get()));
    // The second click of a double click lands on the collapse button, now in the same place.
    QTest::mouseClick(board->PictureShowDetail(), Qt::LeftButton);
    QVERIFY(!board->PictureHideDetail()->isHidden());
    QTest::mouseDClick(board->PictureHideDetail(), Qt::LeftButton);
    QTest::mouseRelease(board->PictureHideDetail(), Qt::LeftButton);
    QVERIFY(!board->PictureHideDetail()->isHidden());
    QCOMPARE(board->outerSizeTwips(), QSize(14630, 11350));
    // A plain click still collapses.
    QTest::mouseClick(board->PictureHideDetail(), Qt::LeftButton);
    QVERIFY(board->PictureHideDetail()->isHidden());
}

void TestBoard::linkLabelsOpenTheBrowser()
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_CONFIG_DIRS", home.filePath("etc").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("share").toUtf8());
    qputenv("XDG_DATA_DIRS", home.filePath("usr").toUtf8());
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", home.path().toUtf8());
    qputenv("BROWSER", "/opt/browser/bin/web --new-window");

    storeWeather(storePath(), {{"RUH", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 1}, {"TIF", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 1}});
    auto board = loadBoard();
    QVERIFY(board);
    board->ComboSort()->setCurrentIndex(0);
    board->lblCity_Click(0);
    board->lblGoogle_Click();
    board->lblQIVurl_Click();
    board->lblGoogle()->setTag(QString());
    board->lblGoogle_Click();
    qunsetenv("BROWSER");
    board->lblGoogle_Click(); // no browser at all: nothing happens
    qputenv("PATH", path);

    using Launch = QPair<QString, QStringList>;
    const QString web = QStringLiteral("/opt/browser/bin/web");
    QCOMPARE(m_world.launches, (QList<Launch>{{web, {WeatherStore::seedCities()[3].mapUrl()}},
                                              {web, {board->lblQIVurl()->text()}},
                                              {web, {QString()}}}));
    QVERIFY(m_world.messages.isEmpty());
}

QTEST_MAIN(TestBoard)
#include "tst_board.moc"
