#include "app/frmWeatherMain.h"
#include "boardfixture.h"
#include "platform/boardlanguage.h"
#include "testsupport.h"
#include "store/weatherstore.h"

#include "view/owncitytoggle.h"
#include "view/tickerstrip.h"
#include "view/warningsign.h"

#include <QAccessible>
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

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
    void warningsAndAge_data();
    void warningsAndAge();
    void comingDaysTakeTheMapsPlace();
    void sortKeys_data();
    void sortKeys();
    void noChosenKeyKeepsTheStatement();
    void toggleKeepsTheChosenOrder();
    void doubleClickExpandsOnce();
    void linkLabelsOpenTheBrowser();
    void tabOrder_data();
    void tabOrder();
    void keysActLikeClicks_data();
    void keysActLikeClicks();
    void gridKeys_data();
    void gridKeys();
    void focusShowsOnlyFromTheKeyboard();
    void accessibleControls_data();
    void accessibleControls();
    void gridIsATable();
    void tickerIsToldOncePerRefresh();

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

namespace {

// Shows the board and makes its window the active one, as a user's click
// on it would: keys go to it from then on.
bool showActive(frmWeatherMain &board)
{
    board.show();
    QApplication::setActiveWindow(&board);
    return QTest::qWaitForWindowActive(&board);
}

// The weather of four cities, in city-name order أبها, الدمام, الرياض, جدة.
const QList<CityWeather> fourCities = {{"RUH", 25, u"مشمس"_qs, 10, u"شمالية"_qs, 14.48f, 1},
                                       {"AHB", 12, u"مطر"_qs, 4.5f, u"جنوبية"_qs, 0, 9},
                                       {"JED", 31, u"غائم"_qs, 8, u"غربية"_qs, 20, 13},
                                       {"DMM", -3.5f, u"غبار"_qs, 2, u"شرقية"_qs, 7, 5}};

} // namespace

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
    storeWeather(
        storePath(),
        {{"RUH", 25, u"مشمس"_qs, 10, u"شمالية"_qs, 14.48f, 1}, {"AHB", 12, u"مطر"_qs, 4.5f, u"جنوبية"_qs, 0, 9}});
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
    openRows(data, store);
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

// Stores a city's row with its side rows, as a refresh does.
void storeSideRows(const QString &store, const QString &code, const SideRowsWrite &sideRows)
{
    DataControl data;
    openRows(data, store);
    data.recordset().findFirst(QStringLiteral("city_code"), code);
    data.recordset().edit();
    data.recordset().setValue(QStringLiteral("DewPoint"), FieldValue::null());
    QVERIFY(data.recordset().update({sideRows}));
}

// Keeps days beside a city's row: "date low high code" each.
void storeDays(const QString &store, const QString &code, const QStringList &days)
{
    QList<SideRows::Row> rows;
    for (const QString &day : days) {
        const QStringList v = day.split(u' ');
        rows.append({{"date", FieldValue::text(v[0] + u' ' + v[1] + u' ' + v[2])},
                     {"low", FieldValue::text(v[3])},
                     {"high", FieldValue::text(v[4])},
                     {"code", FieldValue::text(v[5])}});
    }
    storeSideRows(store, code, WeatherStore::comingDays().replaceWith(code, rows));
}

// Keeps a city's warnings beside its row as a refresh does: "kind start end"
// each, the times as 07T10 (the day of December and the hour, the cities'
// own time).
void storeWarnings(const QString &store, const QString &code, const QStringList &warnings)
{
    const auto at = [](const QString &dayHour) {
        return FieldValue::text(QStringLiteral("2026-12-%1T%2:00:00+03:00").arg(dayHour.left(2), dayHour.mid(3)));
    };
    QList<SideRows::Row> rows;
    for (const QString &warning : warnings) {
        const QStringList v = warning.split(u' ');
        rows.append({{"kind", FieldValue::text(v[0])},
                     {"starts", at(v[1])},
                     {"ends", at(v[2])},
                     {"peak", FieldValue::number(1)}});
    }
    storeSideRows(store, code, WeatherStore::cityWarnings().replaceWith(code, rows));
}

// Keeps a city's alerts of the national centre beside its row as a refresh
// does: "colour start end kind" each, the times as storeWarnings takes them.
// A dust alert's headline is "غبار كثيف", any other's "رياح نشطة".
void storeAlerts(const QString &store, const QString &code, const QStringList &alerts)
{
    const auto at = [](const QString &dayHour) {
        return FieldValue::text(QStringLiteral("2026-12-%1T%2:00:00+03:00").arg(dayHour.left(2), dayHour.mid(3)));
    };
    QList<SideRows::Row> rows;
    for (const QString &alert : alerts) {
        const QStringList v = alert.split(u' ');
        const bool dust = v[3] == QLatin1String("dust");
        rows.append({{"alert_id", FieldValue::text(code + v[0] + v[1])},
                     {"colour", FieldValue::text(v[0])},
                     {"onset", at(v[1])},
                     {"expires", at(v[2])},
                     {"kind", FieldValue::text(v[3])},
                     {"event_a", FieldValue::text(dust ? u"غبار"_qs : u"رياح"_qs)},
                     {"headline_a", FieldValue::text(dust ? u"غبار كثيف"_qs : u"رياح نشطة"_qs)},
                     {"headline_e", FieldValue::text("Alert")}});
    }
    storeSideRows(store, code, WeatherStore::officialAlerts().replaceWith(code, rows));
}

// How a sign or a line is coloured, after its text: nothing for the board's
// amber, else the alert's colour's first letter.
QString colourMark(const QColor &colour)
{
    for (const char *name : {"yellow", "orange", "red"}) {
        if (colour == WarningSign::alertColour(QLatin1String(name)))
            return QString(QLatin1Char(name[0]));
    }
    return QString();
}

// Keeps 24 coming hours beside a city's row from the hour `first` (07T13, as
// the warnings write it): each a degree warmer than the one before, from 20.
void storeHours(const QString &store, const QString &code, const QString &first)
{
    const QDateTime start(QDate(2026, 12, first.left(2).toInt()), QTime(first.mid(3).toInt(), 0), Qt::OffsetFromUTC,
                          3 * 3600);
    QList<SideRows::Row> rows;
    for (int i = 0; i < 24; ++i) {
        rows.append({{"hour", FieldValue::text(start.addSecs(i * 3600).toString(Qt::ISODate))},
                     {"temp", FieldValue::number(20 + i)},
                     {"code", FieldValue::number(32)},
                     {"speed", FieldValue::number(10)},
                     {"direction", FieldValue::number(45)}});
    }
    storeSideRows(store, code, WeatherStore::comingHours().replaceWith(code, rows));
}

void setColumn(const QString &store, const QString &code, const QString &column, const FieldValue &value)
{
    DataControl data;
    openRows(data, store);
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
    // clang-format off
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
    // clang-format on
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
    storeWeather(
        storePath(),
        {{"AHB", 20, u"صحو"_qs, 5, u"شمالية"_qs, 14.48f, 1}, {"RUH", 20, u"صحو"_qs, 5, u"شمالية"_qs, speed, 1}});
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
    storeWeather(storePath(),
                 {{"RUH", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 1},
                  {"JED", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 1},
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
    // A picture replaced is read anew, even for the city already shown.
    QVERIFY(image.scaled(50, 20).save(board->AppFolder() + QStringLiteral("wtIMG/RUH.tmg"), "PNG"));
    board->lblCity_Click(1);
    QCOMPARE(board->ImageMAP()->pixmap().size(), QSize(50, 20));
    board->lblCity_Click(2);
    QCOMPARE(board->ImageMAP()->pixmap().size(), QSize(50, 20)); // the previous picture stays
    board->lblCity_Click(0);
    QVERIFY(board->ImageMAP()->pixmap().isNull());
    QVERIFY(board->TimerWind()->isEnabled()); // the arrow still moves over an empty map
}

void TestBoard::clickingCities()
{
    storeWeather(storePath(),
                 {{"RUH", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 1}, {"JED", 31, u"صحو"_qs, 4, u"جنوبية"_qs, 10, 9}});
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
    storeWeather(storePath(),
                 {{"RUH", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 1}, {"JED", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 0}});
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

// What the window marks, by the store and the clock (13:40 in the cities):
// the strip's sign for the first city warned of, the grid's signs and
// dimmed rows, the panel's line, and the age said ahead of the ticker.
void TestBoard::warningsAndAge_data()
{
    // clang-format off
    QTest::addColumn<QString>("clock"); // the machine's, in UTC on 7 Dec (13:40 in the cities)
    QTest::addColumn<QStringList>("warnings"); // "CODE kind start end", or "CODE alert:colour start end kind"
    QTest::addColumn<QString>("mine"); // the person's own city, if any
    QTest::addColumn<QStringList>("published"); // "CODE time" of 7 Dec, AST
    QTest::addColumn<QString>("sign"); // the strip sign's name (and colour mark); empty: hidden
    QTest::addColumn<QStringList>("marked"); // grid rows: the city, ! for the sign (and its colour mark), ~ dimmed
    QTest::addColumn<QString>("line"); // the panel's line for الرياض: "alerts colour | warnings" with alerts
    QTest::addColumn<QString>("age");
    QTest::addColumn<QStringList>("days"); // الرياض's coming days that say a warning
    // الرياض's curve, its hours kept from 13:00: its first hour ("الآن" for
    // the current one), how many it shows, and the hours it shades.
    QTest::addColumn<QString>("curve");
    const QString dust = u"تنبيه: عاصفة ترابية اليوم حتى 9 مساءً"_qs;
    const QString dustToday = u"اليوم: عاصفة ترابية من الساعة 10 صباحاً إلى 9 مساءً"_qs;
    const QString overMidnight = u"تنبيه: عاصفة ترابية اليوم من الساعة 10 مساءً إلى غداً الساعة 3 صباحاً"_qs;
    const QString rainy = u"تنبيه: أمطار غزيرة وسيول محتملة اليوم"_qs;
    QTest::newRow("nothing to mark") << "10:40" << QStringList() << "" << QStringList() << "" << QStringList() << "" << "" << QStringList() << u"الآن 24"_qs;
    QTest::newRow("a dust storm under way") << "10:40" << QStringList{"RUH dust 07T10 07T21"} << "" << QStringList()
        << u"الرياض، "_qs + dust << QStringList{u"الرياض !"_qs} << dust << "" << QStringList{dustToday} << u"الآن 24 0-8"_qs;
    QTest::newRow("a warning that has ended") << "10:40" << QStringList{"RUH dust 07T08 07T12"} << "" << QStringList()
        << "" << QStringList() << "" << "" << QStringList() << u"الآن 24"_qs;
    QTest::newRow("tomorrow's, the strip's for the first city")
        << "10:40" << QStringList{"JED heat 08T00 09T00", "AHB wind 08T00 09T00"} << "" << QStringList()
        << u"أبها، تنبيه: رياح شديدة غداً"_qs << QStringList{u"أبها !"_qs, u"جدة !"_qs} << "" << "" << QStringList() << u"الآن 24"_qs;
    QTest::newRow("the strip's for the person's own city first")
        << "10:40" << QStringList{"JED heat 08T00 09T00", "AHB wind 08T00 09T00"} << "JED" << QStringList()
        << u"جدة، تنبيه: موجة حر شديدة غداً"_qs << QStringList{u"أبها !"_qs, u"جدة !"_qs} << "" << "" << QStringList() << u"الآن 24"_qs;
    QTest::newRow("an own city without a warning") << "10:40" << QStringList{"AHB wind 08T00 09T00"} << "JED" << QStringList()
        << u"أبها، تنبيه: رياح شديدة غداً"_qs << QStringList{u"أبها !"_qs} << "" << "" << QStringList() << u"الآن 24"_qs;
    QTest::newRow("two kinds for one city") << "10:40" << QStringList{"RUH dust 07T10 07T21", "RUH heat 08T00 09T00"} << ""
        << QStringList() << u"الرياض، "_qs + dust + u"، تنبيه: موجة حر شديدة غداً"_qs << QStringList{u"الرياض !"_qs}
        << dust + u"، تنبيه: موجة حر شديدة غداً"_qs << "" << QStringList{dustToday, u"غداً: موجة حر شديدة"_qs} << u"الآن 24 0-8 11-23"_qs;
    QTest::newRow("two days of one kind, said as one") << "10:40"
        << QStringList{"RUH rain 07T00 08T00", "RUH rain 08T00 09T00"} << "" << QStringList()
        << u"الرياض، تنبيه: أمطار غزيرة وسيول محتملة اليوم وغداً"_qs << QStringList{u"الرياض !"_qs}
        << u"تنبيه: أمطار غزيرة وسيول محتملة اليوم وغداً"_qs << ""
        << QStringList{u"اليوم: أمطار غزيرة وسيول محتملة"_qs, u"غداً: أمطار غزيرة وسيول محتملة"_qs} << u"الآن 24 0-23"_qs;
    QTest::newRow("dust over midnight") << "10:40" << QStringList{"RUH dust 07T22 08T03"} << "" << QStringList()
        << u"الرياض، "_qs + overMidnight << QStringList{u"الرياض !"_qs} << overMidnight << ""
        << QStringList{u"اليوم: عاصفة ترابية من الساعة 10 مساءً"_qs, u"غداً: عاصفة ترابية حتى 3 صباحاً"_qs} << u"الآن 24 9-14"_qs;
    // 22:00 UTC is 1 am on the 8th in the cities: their today, whatever the machine's date.
    QTest::newRow("the cities' day at 22:00 UTC") << "22:00" << QStringList{"RUH rain 08T00 09T00"} << ""
        << QStringList() << u"الرياض، "_qs + rainy << QStringList{u"الرياض !"_qs} << rainy << ""
        << QStringList{u"اليوم: أمطار غزيرة وسيول محتملة"_qs} << u"الآن 12 0-11"_qs;
    QTest::newRow("data four hours old") << "10:40" << QStringList() << "" << QStringList{"RUH 9:00 am"}
        << "" << QStringList{u"الرياض ~"_qs} << "" << u"آخر تحديث قبل 4 ساعات"_qs << QStringList() << u"الآن 24"_qs;
    QTest::newRow("an hour old is not old") << "10:40" << QStringList() << "" << QStringList{"RUH 12:40 pm"}
        << "" << QStringList() << "" << "" << QStringList() << u"الآن 24"_qs;
    QTest::newRow("the newest data says the age") << "10:40" << QStringList() << "" << QStringList{"RUH 9:00 am", "JED 11:00 am"}
        << "" << QStringList{u"الرياض ~"_qs, u"جدة ~"_qs} << "" << u"آخر تحديث قبل ساعتين"_qs << QStringList() << u"الآن 24"_qs;
    QTest::newRow("old and warned") << "10:40" << QStringList{"JED rain 07T00 08T00"} << "" << QStringList{"JED 6:00 am"}
        << u"جدة، تنبيه: أمطار غزيرة وسيول محتملة اليوم"_qs << QStringList{u"جدة !~"_qs} << ""
        << u"آخر تحديث قبل 7 ساعات"_qs << QStringList() << u"الآن 24"_qs;
    // The centre's alerts: first, in their colour, the strongest one's on the strip.
    const QString alertDust = u"المركز الوطني للأرصاد، اليوم حتى 9 مساءً: غبار كثيف"_qs;
    const QString alertDustToday = u"اليوم: غبار من الساعة 10 صباحاً إلى 9 مساءً"_qs;
    QTest::newRow("an alert ahead of a warning") << "10:40" << QStringList{"RUH heat 08T00 09T00", "RUH alert:red 07T10 07T21 dust"}
        << "" << QStringList() << u"الرياض، "_qs + alertDust + u"، تنبيه: موجة حر شديدة غداً r"_qs << QStringList{u"الرياض !r"_qs}
        << alertDust + u" r | تنبيه: موجة حر شديدة غداً"_qs << ""
        << QStringList{alertDustToday, u"غداً: موجة حر شديدة"_qs} << u"الآن 24 11-23 0-8r"_qs;
    QTest::newRow("the strongest alert leads the strip") << "10:40"
        << QStringList{"RUH alert:yellow 07T10 07T21 dust", "JED alert:red 08T00 09T00 wind", "JED alert:orange 08T00 09T00 dust"}
        << "" << QStringList() << u"جدة، المركز الوطني للأرصاد، غداً حتى منتصف الليل: رياح نشطة، المركز الوطني للأرصاد، غداً حتى منتصف الليل: غبار كثيف r"_qs
        << QStringList{u"الرياض !y"_qs, u"جدة !r"_qs} << alertDust + u" y | "_qs << "" << QStringList{alertDustToday} << u"الآن 24 0-8y"_qs;
    QTest::newRow("an alert that has expired") << "10:40" << QStringList{"RUH alert:red 07T08 07T12 dust"} << ""
        << QStringList() << "" << QStringList() << "" << "" << QStringList() << u"الآن 24"_qs;
    QTest::newRow("a warning of the alert's kind and hours stands aside") << "10:40"
        << QStringList{"RUH dust 07T10 07T21", "RUH alert:orange 07T10 07T21 dust"} << "" << QStringList()
        << u"الرياض، "_qs + alertDust + u" o"_qs << QStringList{u"الرياض !o"_qs} << alertDust + u" o | "_qs << ""
        << QStringList{alertDustToday} << u"الآن 24 0-8o"_qs;
    // clang-format on
}

void TestBoard::warningsAndAge()
{
    QFETCH(QString, clock);
    QFETCH(QStringList, warnings);
    QFETCH(QString, mine);
    QFETCH(QStringList, published);
    QFETCH(QString, sign);
    QFETCH(QStringList, marked);
    QFETCH(QString, line);
    QFETCH(QString, age);
    QFETCH(QStringList, days);
    QFETCH(QString, curve);
    m_world.now = QDateTime(QDate(2026, 12, 7), QTime::fromString(clock, QStringLiteral("hh:mm")), Qt::UTC);
    storeWeather(storePath(), fourCities);
    storeHours(storePath(), "RUH", "07T13");
    storeDays(storePath(), "RUH", {"7 Dec 2026 12 27 32", "8 Dec 2026 13 29 11", "9 Dec 2026 14 30 32"});
    QHash<QString, QStringList> byCity;
    QHash<QString, QStringList> alertsByCity;
    for (const QString &w : warnings) {
        if (w.mid(4).startsWith(QLatin1String("alert:")))
            alertsByCity[w.left(3)] << w.mid(10);
        else
            byCity[w.left(3)] << w.mid(4);
    }
    for (auto it = byCity.cbegin(); it != byCity.cend(); ++it)
        storeWarnings(storePath(), it.key(), it.value());
    for (auto it = alertsByCity.cbegin(); it != alertsByCity.cend(); ++it)
        storeAlerts(storePath(), it.key(), it.value());
    for (const QString &p : published)
        setColumn(storePath(), p.left(3), "pDate", FieldValue::text(u"Mon, 07 Dec 2026 "_qs + p.mid(4) + u" AST"_qs));
    auto board = loadBoard();
    QVERIFY(board);
    board->boardWarnings()->setOwnCity(mine, true);
    QCOMPARE(board->stripWarningSign()->isHidden(), sign.isEmpty());
    const QString stripColour = colourMark(board->stripWarningSign()->colour());
    QCOMPARE(board->stripWarningSign()->accessibleName() + (stripColour.isEmpty() ? QString() : u' ' + stripColour),
             sign);
    QCOMPARE(board->tickerStrip()->ageNote(), age);

    board->PictureShowDetail_Click();
    QStringList seen;
    for (int i = 0; i < 4; ++i) {
        const WarningSign *gridSign = board->cityGrid()->warningSign(i);
        const QString marks = (gridSign->isHidden() ? QString() : u'!' + colourMark(gridSign->colour()))
            + (board->cityGrid()->rowDimmed(i) ? "~" : "");
        if (!marks.isEmpty())
            seen << board->lblCity(i)->text() + u' ' + marks;
    }
    QCOMPARE(seen, marked);
    board->lblCity_Click(2); // الرياض
    const FormLabel *alertLine = board->cityDetail()->lblAlertD();
    const FormLabel *warningLine = board->cityDetail()->lblWarningD();
    QCOMPARE(alertLine->isHidden(), alertLine->text().isEmpty());
    QCOMPARE(warningLine->isHidden(), warningLine->text().isEmpty());
    // The alert's line whole, as its tooltip and screen readers have it;
    // shown whole, or cut short where the row ends.
    const QString wholeAlert = alertLine->toolTip();
    QCOMPARE(alertLine->accessibleName(), wholeAlert);
    QVERIFY(alertLine->text() == wholeAlert
            || (alertLine->text().endsWith(u'…') && wholeAlert.startsWith(alertLine->text().chopped(1))));
    QCOMPARE(alertLine->isHidden()
                 ? warningLine->text()
                 : wholeAlert + u' ' + colourMark(alertLine->foreColor()) + u" | "_qs + warningLine->text(),
             line);
    // The alerts come first as the panel is read: in the warnings' row, the
    // warnings under it.
    if (!alertLine->isHidden() && !warningLine->isHidden())
        QVERIFY(alertLine->geometry().bottom() < warningLine->geometry().top());
    QStringList warnedDays;
    for (int r = 0; r < board->comingDays()->shownRows(); ++r) {
        const auto *warning = board->comingDays()->findChild<FormLabel *>(QStringLiteral("lblDayWarning(%1)").arg(r));
        if (!warning->isHidden())
            warnedDays << board->comingDays()->cell(0, r)->text() + u": "_qs + warning->text();
    }
    QCOMPARE(warnedDays, days);
    const HoursCurve *hours = board->comingHours();
    QStringList drawn{hours->startsNow() ? u"الآن"_qs : hours->hour(0).hour.toString(),
                      QString::number(hours->shownHours())};
    for (const HoursCurve::Shade &shade : hours->shades())
        drawn << QStringLiteral("%1-%2").arg(shade.from).arg(shade.to) + colourMark(shade.sign);
    QCOMPARE(drawn.join(u' '), curve);
}

// The days or the hours take the place of the map and its arrow, whose
// timer stops, for every city shown until a link gives the map back.
void TestBoard::comingDaysTakeTheMapsPlace()
{
    storeWeather(storePath(),
                 {{"RUH", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 1}, {"JED", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 3}});
    // Yesterday's day, kept from an earlier refresh, is left out; a day
    // without its high shows without it.
    storeDays(storePath(), "RUH",
              {"6 Dec 2026 1 2 32", "7 Dec 2026 12 27 32", "8 Dec 2026 13 x 11", "9 Dec 2026 -2 24 4"});
    storeDays(storePath(), "JED", {"7 Dec 2026 20 30 36"});
    auto board = loadBoard();
    QVERIFY(board);
    board->PictureShowDetail()->setVisible(true);
    board->PictureShowDetail_Click();
    board->lblCity_Click(0); // الرياض
    ComingDays *days = board->comingDays();
    QVERIFY(days->isHidden() && !board->ImageMAP()->isHidden() && board->TimerWind()->isEnabled());

    FormLabel *link = board->mapPlace()->daysLink();
    link->click();
    QVERIFY(!days->isHidden() && board->ImageMAP()->isHidden() && board->LineWind()->isHidden());
    QVERIFY(!board->TimerWind()->isEnabled());
    QCOMPARE(link->text(), u"الخريطة"_qs);
    QStringList shown;
    for (int r = 0; r < days->shownRows(); ++r) {
        for (int c = 0; c < ComingDays::Columns; ++c)
            shown << days->cell(c, r)->text();
    }
    QCOMPARE(shown,
             (QStringList{u"اليوم"_qs, u"مشمس"_qs, "27°C", "12°C", u"غداً"_qs, u"مطر"_qs, "", "13°C", u"الأربعاء"_qs,
                          u"عواصف رعدية"_qs, "24°C", "-2°C"}));

    board->lblCity_Click(1); // جدة: the choice holds, with its own days
    QVERIFY(!days->isHidden() && !board->TimerWind()->isEnabled() && board->LineWind()->isHidden());
    QCOMPARE(days->shownRows(), 1);
    QCOMPARE(days->cell(2, 0)->text(), "30°C");

    link->click();
    QVERIFY(days->isHidden() && !board->ImageMAP()->isHidden() && !board->LineWind()->isHidden());
    QVERIFY(board->TimerWind()->isEnabled());
    QCOMPARE(board->LineWind()->x1(), 5460.0f); // north-east, from its start
    QCOMPARE(link->text(), u"الأيام القادمة"_qs);

    // The hours, then straight to the days: the map stays covered and the
    // arrow stopped all the while.
    FormLabel *hoursLink = board->mapPlace()->hoursLink();
    hoursLink->click();
    QVERIFY(!board->comingHours()->isHidden() && days->isHidden() && board->ImageMAP()->isHidden());
    QVERIFY(!board->TimerWind()->isEnabled() && board->LineWind()->isHidden());
    QCOMPARE(hoursLink->text(), u"الخريطة"_qs);
    link->click();
    QVERIFY(board->comingHours()->isHidden() && !days->isHidden() && board->ImageMAP()->isHidden());
    QVERIFY(!board->TimerWind()->isEnabled() && board->LineWind()->isHidden());
    QCOMPARE(hoursLink->text(), u"الساعات القادمة"_qs);
}

void TestBoard::sortKeys_data()
{
    // clang-format off
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("city") << 0 << "select * from wt where len(url) > 0 order by city_a" << QStringList{"AHB", "DMM", "RUH", "JED"};
    QTest::newRow("condition") << 1 << "select * from wt where len(url) > 0 order by Condition" << QStringList{"JED", "DMM", "RUH", "AHB"};
    QTest::newRow("temperature") << 2 << "select * from wt where len(url) > 0 order by temp" << QStringList{"JED", "DMM", "AHB", "RUH"};
    QTest::newRow("visibility") << 3 << "select * from wt where len(url) > 0 order by Visibility" << QStringList{"JED", "RUH", "AHB", "DMM"};
    QTest::newRow("wind direction") << 4 << "select * from wt where len(url) > 0 order by wind_dirctn" << QStringList{"JED", "DMM", "AHB", "RUH"};
    QTest::newRow("wind speed") << 5 << "select * from wt where len(url) > 0 order by wind_speed" << QStringList{"JED", "RUH", "AHB", "DMM"};
    // clang-format on
}

void TestBoard::sortKeys()
{
    QFETCH(int, position);
    QFETCH(QString, statement);
    QFETCH(QStringList, order);
    storeWeather(storePath(),
                 {{"AHB", 20, u"مطر"_qs, 8, u"شرقية"_qs, 9, 5},
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
    storeWeather(storePath(),
                 {{"AHB", 20, u"مطر"_qs, 8, u"شرقية"_qs, 9, 5}, {"RUH", 25, u"غبار"_qs, 2, u"غربية"_qs, 3, 13}});
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

    storeWeather(storePath(),
                 {{"RUH", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 1}, {"TIF", 25, u"صحو"_qs, 4, u"شمالية"_qs, 10, 1}});
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
    QCOMPARE(m_world.launches,
             (QList<Launch>{{web, {WeatherStore::seedCities()[3].mapUrl()}},
                            {web, {board->lblQIVurl()->text()}},
                            {web, {QString()}}}));
    QVERIFY(m_world.messages.isEmpty());
}

void TestBoard::tabOrder_data()
{
    // clang-format off
    QTest::addColumn<bool>("expanded");
    QTest::addColumn<bool>("backwards");
    QTest::addColumn<QStringList>("focused"); // where the focus stands, then after each Tab
    QTest::addColumn<bool>("english");
    // Collapsed, only the button can be reached: the rest lies out of view.
    QTest::newRow("collapsed") << false << false << QStringList{"PictureShowDetail", "PictureShowDetail"} << false;
    // A warning in force (جدة's, below): its sign at the strip's end comes after the button.
    QTest::newRow("collapsed, a warning") << false << false
                                          << QStringList{"PictureShowDetail", "StripWarningSign", "PictureShowDetail"} << false;
    QTest::newRow("expanded, a warning") << true << false
                                         << QStringList{"PictureHideDetail", "StripWarningSign", "ComboSort"} << false;
    QTest::newRow("expanded") << true << false
                              << QStringList{"PictureHideDetail", "ComboSort", "CityGrid", "OwnCity", "lblGoogle",
                                             "lblDays", "lblHours", "lblQIVurl", "PictureHideDetail"} << false;
    QTest::newRow("expanded, Shift+Tab") << true << true
                                         << QStringList{"PictureHideDetail", "lblQIVurl", "lblHours", "lblDays", "lblGoogle",
                                                        "OwnCity", "CityGrid", "ComboSort", "PictureHideDetail"} << false;
    // English reads left to right and the board is mirrored: the same
    // order now runs from the left, the strip's button at its left end.
    QTest::newRow("expanded, in English") << true << false
                              << QStringList{"PictureHideDetail", "ComboSort", "CityGrid", "OwnCity", "lblGoogle",
                                             "lblDays", "lblHours", "lblQIVurl", "PictureHideDetail"} << true;
    QTest::newRow("collapsed, a warning, in English") << false << false
                                          << QStringList{"PictureShowDetail", "StripWarningSign", "PictureShowDetail"} << true;
    // clang-format on
}

void TestBoard::tabOrder()
{
    QFETCH(bool, expanded);
    QFETCH(bool, backwards);
    QFETCH(QStringList, focused);
    QFETCH(bool, english);
    storeWeather(storePath(), fourCities);
    setBoardLanguage(english ? BoardLanguage::English : BoardLanguage::Arabic);
    const auto arabicAgain = qScopeGuard([] { setBoardLanguage(BoardLanguage::Arabic); });
    if (focused.contains(QLatin1String("StripWarningSign")))
        storeWarnings(storePath(), "JED", {"heat 08T00 09T00"});
    auto board = loadBoard();
    QVERIFY(board);
    QVERIFY(showActive(*board));
    // Rows with weather show the button before any refresh.
    QCOMPARE(QApplication::focusWidget(), board->PictureShowDetail());
    if (expanded) {
        board->PictureShowDetail_Click();
        board->lblCity_Click(2); // a city with a map: its link shows
    }
    QStringList seen{QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString()};
    while (seen.size() < focused.size()) {
        QTest::keyClick(QApplication::focusWidget(), backwards ? Qt::Key_Backtab : Qt::Key_Tab,
                        backwards ? Qt::ShiftModifier : Qt::NoModifier);
        seen << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
    }
    QCOMPARE(seen, focused);
    // Each stop after the button lies further along the line as the board
    // reads it, until the maker's link at the top band's far end.
    if (expanded && !backwards) {
        const auto x = [&board](const char *name) {
            const QWidget *control = board->findChild<QWidget *>(QLatin1String(name));
            return control->mapTo(board.get(), control->rect().center()).x();
        };
        const bool rightwards = x("lblQIVurl") > x("ComboSort");
        QCOMPARE(rightwards, english);
        QCOMPARE(x("OwnCity") > x("CityGrid"), english);
    }
}

void TestBoard::keysActLikeClicks_data()
{
    // clang-format off
    QTest::addColumn<bool>("expanded");
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("expandedAfter");
    QTest::addColumn<QString>("focusAfter");
    QTest::addColumn<QString>("opened"); // the address the browser got, if any
    const QString map = WeatherStore::seedCities()[3].mapUrl();
    const QString maker = QStringLiteral("https://rorizedivo.example.org");
    // The button that takes the pressed one's place takes the focus too.
    QTest::newRow("Enter expands") << false << "PictureShowDetail" << int(Qt::Key_Return) << true << "PictureHideDetail" << "";
    QTest::newRow("Space expands") << false << "PictureShowDetail" << int(Qt::Key_Space) << true << "PictureHideDetail" << "";
    QTest::newRow("keypad Enter collapses") << true << "PictureHideDetail" << int(Qt::Key_Enter) << false << "PictureShowDetail" << "";
    QTest::newRow("Enter on the map link") << true << "lblGoogle" << int(Qt::Key_Return) << true << "lblGoogle" << map;
    QTest::newRow("Space on the maker's link") << true << "lblQIVurl" << int(Qt::Key_Space) << true << "lblQIVurl" << maker;
    QTest::newRow("Space on the days link") << true << "lblDays" << int(Qt::Key_Space) << true << "lblDays" << "";
    QTest::newRow("Enter on the hours link") << true << "lblHours" << int(Qt::Key_Return) << true << "lblHours" << "";
    QTest::newRow("another key does nothing") << true << "lblQIVurl" << int(Qt::Key_A) << true << "lblQIVurl" << "";
    // "مدينتي" makes الرياض the person's own city, by Space or a click.
    QTest::newRow("Space on my city") << true << "OwnCity" << int(Qt::Key_Space) << true << "OwnCity" << "";
    QTest::newRow("a click on my city") << true << "OwnCity" << 0 << true << "" << "";
    // The strip's sign (for جدة's warning) expands the board on جدة; it stays in view.
    QTest::newRow("Enter on the warning sign") << false << "StripWarningSign" << int(Qt::Key_Return) << true << "StripWarningSign" << "";
    QTest::newRow("a click on the warning sign") << false << "StripWarningSign" << 0 << true << "" << "";
    // Tab from the list; the mouse then collapses the board (below), which
    // hides the grid that had the focus: the button takes it.
    QTest::newRow("Tab from the list") << true << "ComboSort" << int(Qt::Key_Tab) << true << "CityGrid" << "";
    // clang-format on
}

void TestBoard::keysActLikeClicks()
{
    QFETCH(bool, expanded);
    QFETCH(QString, control);
    QFETCH(int, key);
    QFETCH(bool, expandedAfter);
    QFETCH(QString, focusAfter);
    QFETCH(QString, opened);
    qputenv("BROWSER", "/opt/browser/bin/web");
    storeWeather(storePath(), fourCities);
    storeWarnings(storePath(), "JED", {"heat 08T00 09T00"});
    auto board = loadBoard();
    QVERIFY(board);
    QVERIFY(showActive(*board));
    if (expanded) {
        board->PictureShowDetail_Click();
        board->lblCity_Click(2); // الرياض, whose map the link opens
    }
    auto *target = board->findChild<QWidget *>(control);
    QVERIFY(target);
    const bool sign = control == QLatin1String("StripWarningSign");
    if (key == 0) {
        QTest::mouseClick(target, Qt::LeftButton);
    } else {
        target->setFocus(Qt::TabFocusReason);
        // The keypad's Enter comes with the keypad's modifier.
        QTest::keyClick(target, Qt::Key(key), key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    }
    QCOMPARE(board->outerSizeTwips().width() == frmWeatherMain::ExpandedWidth, expandedAfter);
    if (key != 0)
        QCOMPARE(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(), focusAfter);
    if (sign)
        QCOMPARE(board->lblCityD()->text(), u"جدة"_qs);
    const MapPlace::Shown shown = control == QLatin1String("lblDays") ? MapPlace::Shown::Days
        : control == QLatin1String("lblHours")                        ? MapPlace::Shown::Hours
                                                                      : MapPlace::Shown::Map;
    QCOMPARE(board->mapPlace()->shown(), shown);
    QCOMPARE(board->boardWarnings()->ownCities(),
             control == QLatin1String("OwnCity") ? QStringList{"RUH"} : QStringList());
    QCOMPARE(m_world.launches.size(), opened.isEmpty() ? 0 : 1);
    if (!opened.isEmpty())
        QCOMPARE(m_world.launches.first().second, QStringList{opened});
    // Collapsed by the mouse now: whatever out of view had the focus gives it to the button.
    board->PictureHideDetail_Click();
    if (key != 0)
        QCOMPARE(QApplication::focusWidget(), sign ? target : board->PictureShowDetail());
    qunsetenv("BROWSER");
}

void TestBoard::gridKeys_data()
{
    QTest::addColumn<int>("clicked"); // the row clicked with the mouse first, -1 none
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("city");
    const auto keys = [](std::initializer_list<Qt::Key> list) {
        QList<int> k;
        for (Qt::Key key : list)
            k << int(key);
        return k;
    };
    QTest::newRow("Down from no city") << -1 << keys({Qt::Key_Down}) << 0 << "AHB";
    QTest::newRow("Up from no city") << -1 << keys({Qt::Key_Up}) << 0 << "AHB";
    QTest::newRow("Down, Down") << -1 << keys({Qt::Key_Down, Qt::Key_Down}) << 1 << "DMM";
    QTest::newRow("End: the last city, not the last row") << -1 << keys({Qt::Key_End}) << 3 << "JED";
    QTest::newRow("Down past the last stays") << -1 << keys({Qt::Key_End, Qt::Key_Down}) << 3 << "JED";
    QTest::newRow("Up past the first stays") << -1 << keys({Qt::Key_Home, Qt::Key_Up}) << 0 << "AHB";
    QTest::newRow("Home") << -1 << keys({Qt::Key_End, Qt::Key_Home}) << 0 << "AHB";
    QTest::newRow("on from the city clicked") << 2 << keys({Qt::Key_Down}) << 3 << "JED";
    QTest::newRow("Up from the city clicked") << 2 << keys({Qt::Key_Up}) << 1 << "DMM";
    QTest::newRow("Enter shows the city again") << 1 << keys({Qt::Key_Return}) << 1 << "DMM";
}

// Each key shows its city exactly as a click on its name does: the panel,
// the picked city kept across sorts, the sound.
void TestBoard::gridKeys()
{
    QFETCH(int, clicked);
    QFETCH(QList<int>, keys);
    QFETCH(int, row);
    QFETCH(QString, city);
    storeWeather(storePath(), fourCities);
    auto board = loadBoard();
    QVERIFY(board);
    QVERIFY(showActive(*board));
    board->PictureShowDetail()->setVisible(true);
    board->PictureShowDetail_Click(); // four rows: the panel shows no city
    QCOMPARE(board->cityGrid()->currentRow(), -1);
    if (clicked >= 0)
        QTest::mouseClick(board->lblCity(clicked), Qt::LeftButton);
    board->cityGrid()->setFocus(Qt::TabFocusReason);
    m_world.sounds.clear();
    for (int key : keys)
        QTest::keyClick(board->cityGrid(), Qt::Key(key));
    QCOMPARE(board->cityGrid()->currentRow(), row);
    QCOMPARE(board->SelectedCityCode(), city);
    QCOMPARE(board->lblCityD()->text(), board->lblCity(row)->text());

    // The same as a click: clicking that row now changes nothing.
    const auto panel = [&board] {
        QStringList texts;
        for (FormLabel *label : {board->lblCityD(), board->lblTempD(), board->lblWind_SpeedD(),
                                 board->lblWindDirc_Speed(), board->lblGoogle()})
            texts << label->text() << QString::number(board->LineWind()->y1());
        return texts << board->SelectedCityCode();
    };
    const QStringList byKeys = panel();
    board->lblCity_Click(row);
    QCOMPARE(panel(), byKeys);
    if (city == QLatin1String("AHB"))
        QVERIFY(m_world.sounds.contains(board->AppFolder() + QStringLiteral("rain.wav")));
}

void TestBoard::focusShowsOnlyFromTheKeyboard()
{
    storeWeather(storePath(), fourCities);
    auto board = loadBoard();
    QVERIFY(board);
    QVERIFY(showActive(*board));
    board->PictureShowDetail()->setVisible(true);
    auto *frame = board->findChild<QWidget *>(QStringLiteral("FocusFrame"));
    QVERIFY(frame);
    // The button has the focus, given by the board, not by a key: nothing shows.
    QCOMPARE(QApplication::focusWidget(), board->PictureShowDetail());
    QVERIFY(frame->isHidden());

    QTest::keyClick(board->PictureShowDetail(), Qt::Key_Return);
    QVERIFY(frame->isVisible());
    QCOMPARE(frame->geometry(), board->PictureHideDetail()->geometry());
    // In the grid the frame stands around the current city's name.
    board->cityGrid()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(board->cityGrid(), Qt::Key_End);
    QCOMPARE(frame->parentWidget(), board->cityGrid());
    QCOMPARE(frame->geometry(), board->lblCity(3)->geometry());
    // The mouse takes over: the frame goes until the next key.
    QTest::mouseClick(board->lblCity(1), Qt::LeftButton);
    QVERIFY(frame->isHidden());
    QCOMPARE(board->cityGrid()->currentRow(), 1);
    QTest::keyClick(board->cityGrid(), Qt::Key_Up);
    QVERIFY(frame->isVisible());
    QCOMPARE(frame->geometry(), board->lblCity(0)->geometry());

    // Screen readers meet the controls, not the frame, the boxes or the lines.
    for (QWidget *part : {static_cast<QWidget *>(board.get()), static_cast<QWidget *>(board->cityDetail())}) {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(part);
        for (int i = 0; i < iface->childCount(); ++i)
            QVERIFY2(iface->child(i)->role() != QAccessible::Client && iface->child(i)->role() != QAccessible::Border,
                     qPrintable(iface->child(i)->object()->objectName()));
    }
}

using ControlOf = std::function<QObject *(frmWeatherMain &)>;
Q_DECLARE_METATYPE(ControlOf)

void TestBoard::accessibleControls_data()
{
    // clang-format off
    QTest::addColumn<ControlOf>("control");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("labelledBy"); // the name of the caption that labels it
    // A table's rows, its four column headers and how its first row is said.
    QTest::addColumn<QStringList>("table");
    const auto row = [](const char *what, ControlOf control, QAccessible::Role role, const QString &name,
                        const QString &label = QString(), const QStringList &table = {}) {
        QTest::newRow(what) << control << int(role) << name << label << table;
    };
    row("expand button", [](frmWeatherMain &b) { return b.PictureShowDetail(); }, QAccessible::Button, u"عرض التفاصيل"_qs);
    row("collapse button", [](frmWeatherMain &b) { return b.PictureHideDetail(); }, QAccessible::Button, u"إخفاء التفاصيل"_qs);
    row("sort list", [](frmWeatherMain &b) { return b.ComboSort(); }, QAccessible::ComboBox, u"اسم المدينة"_qs,
        u"رتب حسب"_qs);
    row("map link", [](frmWeatherMain &b) { return b.lblGoogle(); }, QAccessible::Link,
        u"أضغط هنا لمشاهدة الرياض من خلال Google"_qs);
    row("maker's link", [](frmWeatherMain &b) { return b.lblQIVurl(); }, QAccessible::Link, u"موقع صانع البرنامج"_qs);
    row("days link", [](frmWeatherMain &b) { return b.mapPlace()->daysLink(); }, QAccessible::Link, u"عرض الأيام القادمة"_qs);
    row("coming days", [](frmWeatherMain &b) { b.mapPlace()->daysLink()->click(); return b.comingDays(); },
        QAccessible::Table, u"الأيام القادمة"_qs, QString(),
        {"2", u"اليوم"_qs, u"الحالة"_qs, u"العظمى"_qs, u"الصغرى"_qs,
         u"اليوم، مشمس، 27 درجة، سالب 4 درجة، عاصفة ترابية من الساعة 10 صباحاً إلى 9 مساءً"_qs});
    row("hours link", [](frmWeatherMain &b) { return b.mapPlace()->hoursLink(); }, QAccessible::Link, u"عرض الساعات القادمة"_qs);
    row("coming hours", [](frmWeatherMain &b) { b.mapPlace()->hoursLink()->click(); return b.comingHours(); },
        QAccessible::Table, u"الساعات القادمة"_qs, QString(),
        {"24", u"الساعة"_qs, u"الحالة"_qs, u"الحرارة"_qs, u"الرياح"_qs,
         u"الآن، 1 مساءً، مشمس، 20 درجة، رياح شمالية شرقية، 10 كيلومتر في الساعة"_qs});
    row("city", [](frmWeatherMain &b) { return b.lblCityD(); }, QAccessible::StaticText, u"الرياض"_qs);
    row("temperature", [](frmWeatherMain &b) { return b.lblTempD(); }, QAccessible::StaticText, u"25 درجة"_qs,
        u"درجة الحرارة بالدرجة المئوية"_qs);
    row("below zero", [](frmWeatherMain &b) { return b.lblTemp_LowD(); }, QAccessible::StaticText, u"سالب 4 درجة"_qs,
        u"صغرى"_qs);
    row("humidity", [](frmWeatherMain &b) { return b.lblHumidityD(); }, QAccessible::StaticText, u"40 بالمئة"_qs,
        u"الرطوبة بالمئة"_qs);
    row("visibility in words", [](frmWeatherMain &b) { return b.lblVisibilityD(); }, QAccessible::StaticText, u"جيدة"_qs,
        u"مدى الرؤية بالكيلومتر"_qs);
    row("wind speed", [](frmWeatherMain &b) { return b.lblWind_SpeedD(); }, QAccessible::StaticText,
        u"14.48 كيلومتر في الساعة"_qs, u"السرعة"_qs);
    row("wind direction", [](frmWeatherMain &b) { return b.lblWind_DirctD(); }, QAccessible::StaticText, u"شمالية"_qs,
        u"الرياح"_qs);
    row("map", [](frmWeatherMain &b) { return b.ImageMAP(); }, QAccessible::Graphic, u"خريطة الرياض"_qs);
    row("compass", [](frmWeatherMain &b) { return b.windCompass(); }, QAccessible::Graphic,
        u"رياح شمالية، 14 كيلومتر في الساعة"_qs);
    row("ticker", [](frmWeatherMain &b) { return b.tickerStrip(); }, QAccessible::StatusBar, u"الرياض : مشمس  25   ....  "_qs);
    row("warning sign", [](frmWeatherMain &b) { return b.stripWarningSign(); }, QAccessible::Button,
        u"الرياض، تنبيه: عاصفة ترابية اليوم حتى 9 مساءً"_qs);
    row("warning line", [](frmWeatherMain &b) { return b.cityDetail()->lblWarningD(); }, QAccessible::StaticText,
        u"تنبيه: عاصفة ترابية اليوم حتى 9 مساءً"_qs);
    row("my city", [](frmWeatherMain &b) { return b.cityDetail()->ownCity(); }, QAccessible::CheckBox, u"مدينتي"_qs);
    // clang-format on
}

void TestBoard::accessibleControls()
{
    QFETCH(ControlOf, control);
    QFETCH(int, role);
    QFETCH(QString, name);
    QFETCH(QString, labelledBy);
    QFETCH(QStringList, table);
    storeWeather(storePath(), {{"RUH", 25, u"مشمس"_qs, 10, u"شمالية"_qs, 14.48f, 1}});
    setColumn(storePath(), "RUH", "Humidity", FieldValue::number(40));
    setColumn(storePath(), "RUH", "temp_low", FieldValue::number(-4));
    storeDays(storePath(), "RUH", {"7 Dec 2026 -4 27 32", "8 Dec 2026 13 29 11"});
    storeWarnings(storePath(), "RUH", {"dust 07T10 07T21"});
    storeHours(storePath(), "RUH", "07T13");
    auto board = loadBoard();
    QVERIFY(board);
    board->PictureShowDetail_Click();
    board->lblCity_Click(0);
    board->setTickerText(u"الرياض : مشمس  25   ....  "_qs);
    board->TimerW_lbl()->setEnabled(true); // the ticker runs: the whole text, not what scrolls into view
    board->TimerW_lbl_Timer();

    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(control(*board));
    QVERIFY(iface);
    QCOMPARE(int(iface->role()), role);
    QCOMPARE(iface->text(QAccessible::Name), name);
    QStringList labels;
    for (const auto &[other, relation] : iface->relations(QAccessible::Label))
        labels << other->text(QAccessible::Name);
    QCOMPARE(labels, labelledBy.isEmpty() ? QStringList() : QStringList{labelledBy});
    // Whatever can be done with the mouse can be done by a screen reader: press.
    const bool pressable = role == QAccessible::Button || role == QAccessible::Link || role == QAccessible::ComboBox;
    QCOMPARE(iface->actionInterface()
                 && iface->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()),
             pressable);
    // A check box tells its state, and a screen reader switches it.
    QCOMPARE(bool(iface->state().checkable), role == QAccessible::CheckBox);
    if (iface->state().checkable) {
        QVERIFY(!iface->state().checked);
        iface->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QVERIFY(iface->state().checked);
        QCOMPARE(board->boardWarnings()->ownCities(), QStringList{"RUH"});
    }
    // A table: rows under their four column headers, each headed by its first cell.
    QCOMPARE(bool(iface->tableInterface()), !table.isEmpty());
    if (QAccessibleTableInterface *t = iface->tableInterface()) {
        QStringList seen{QString::number(t->rowCount())};
        for (int c = 0; c < 4; ++c)
            seen << t->cellAt(1, c)->tableCellInterface()->columnHeaderCells().value(0)->text(QAccessible::Name);
        seen << t->rowDescription(0);
        QCOMPARE(seen, table);
        QCOMPARE(t->cellAt(1, 2)->tableCellInterface()->rowHeaderCells().value(0), t->cellAt(1, 0));
    }
    // The compass and the ticker are one whole each: their lines, letters and label are no objects.
    if (role == QAccessible::Graphic || role == QAccessible::StatusBar)
        QCOMPARE(iface->childCount(), 0);
}

void TestBoard::gridIsATable()
{
    storeWeather(storePath(), fourCities);
    storeWarnings(storePath(), "DMM", {"dust 07T10 07T21"});
    storeAlerts(storePath(), "RUH", {"red 07T10 07T21 dust"});
    auto board = loadBoard();
    QVERIFY(board);
    board->PictureShowDetail_Click();
    QAccessibleInterface *grid = QAccessible::queryAccessibleInterface(board->cityGrid());
    QVERIFY(grid && grid->tableInterface());
    QCOMPARE(grid->role(), QAccessible::Table);
    QAccessibleTableInterface *table = grid->tableInterface();
    QCOMPARE(table->rowCount(), 24);
    QCOMPARE(table->columnCount(), 6);
    // The decorative row bands are not in it: six headers and the cells.
    QCOMPARE(grid->childCount(), 6 + 24 * 6);
    QStringList headers;
    for (int c = 0; c < 6; ++c) {
        QAccessibleInterface *header = grid->child(c);
        QCOMPARE(header->role(), QAccessible::ColumnHeader);
        headers << header->text(QAccessible::Name);
        QCOMPARE(table->cellAt(5, c)->tableCellInterface()->columnHeaderCells().value(0), header);
    }
    QCOMPARE(headers,
             (QStringList{u"المدينة"_qs, u"حالة الطقس"_qs, u"درجة الحرارة بالدرجة المئوية"_qs,
                          u"مدى الرؤية بالكيلومتر"_qs, u"إتجاه الرياح"_qs, u"سرعة الرياح"_qs}));

    // Row 1 is الدمام: each cell in its column's words, the city heading its
    // row and saying its warning.
    QStringList cells;
    for (int c = 0; c < 6; ++c) {
        QAccessibleInterface *cell = table->cellAt(1, c);
        QCOMPARE(cell->role(), QAccessible::Cell);
        QCOMPARE(cell->tableCellInterface()->rowIndex(), 1);
        QCOMPARE(cell->tableCellInterface()->columnIndex(), c);
        QCOMPARE(grid->indexOfChild(cell), 6 + 6 + c);
        QCOMPARE(cell->parent(), grid);
        cells << cell->text(QAccessible::Name);
    }
    QCOMPARE(cells,
             (QStringList{u"الدمام، تنبيه: عاصفة ترابية اليوم حتى 9 مساءً"_qs, u"غبار"_qs, u"سالب 3.5 درجة"_qs,
                          u"2 كيلومتر"_qs, u"شرقية"_qs, u"7 كيلومتر في الساعة"_qs}));
    QCOMPARE(table->cellAt(1, 3)->tableCellInterface()->rowHeaderCells().value(0), table->cellAt(1, 0));
    QCOMPARE(table->rowDescription(0), u"أبها، مطر، 12 درجة، 4.5 كيلومتر، جنوبية، سكون"_qs);
    QCOMPARE(
        table->rowDescription(1),
        u"الدمام، تنبيه: عاصفة ترابية اليوم حتى 9 مساءً، غبار، سالب 3.5 درجة، 2 كيلومتر، شرقية، 7 كيلومتر في الساعة"_qs);
    // The centre's alert, with its source, the same way.
    QCOMPARE(table->rowDescription(2),
             u"الرياض، المركز الوطني للأرصاد، اليوم حتى 9 مساءً: غبار كثيف، مشمس، 25 درجة، جيدة، شمالية، 14.48 "
             u"كيلومتر في الساعة"_qs);
    QCOMPARE(table->rowDescription(10), QString()); // an empty row says nothing

    // A screen reader presses a city as a click would.
    QAccessibleInterface *jeddah = table->cellAt(3, 0);
    QVERIFY(jeddah->actionInterface());
    jeddah->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(board->SelectedCityCode(), QStringLiteral("JED"));
    QVERIFY(table->isRowSelected(3));
    QVERIFY(!table->cellAt(5, 0)->actionInterface() || table->cellAt(5, 0)->actionInterface()->actionNames().isEmpty());
}

// The ticker tells a screen reader its text once a refresh, however many
// ticks scroll it.
void TestBoard::tickerIsToldOncePerRefresh()
{
    // Every feed fails at once, and the walk goes on to its end (nothing
    // listening on the feed port would end it as offline).
    pointFeedsAt(storePath(), QStringLiteral("ftp://127.0.0.1:1"));
    auto board = loadBoard();
    QVERIFY(board);
    QSignalSpy told(board->tickerStrip(), &TickerStrip::spokenTextChanged);
    m_world.now = QDateTime(QDate(2026, 12, 7), QTime(10, 5));
    for (int refresh = 1; refresh <= 2; ++refresh) {
        board->TimerFirstLoad_Timer(); // the refresh: every feed fails, the text is the supplication
        QCOMPARE(told.size(), refresh - 1);
        for (int tick = 0; tick < 400; ++tick)
            board->TimerW_lbl_Timer();
        QCOMPARE(told.size(), refresh);
    }
    // The label's own captions would be told at every tick: it is named once and for all.
    QVERIFY(!board->lblWeather()->accessibleName().isEmpty());
    QCOMPARE(QAccessible::queryAccessibleInterface(board->tickerStrip())->text(QAccessible::Name), board->TickerText());
}

QTEST_MAIN(TestBoard)
#include "tst_board.moc"
