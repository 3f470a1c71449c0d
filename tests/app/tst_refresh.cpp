#include "app/frmWeatherMain.h"
#include "boardfixture.h"
#include "platform/boardlanguage.h"
#include "store/weatherstore.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QRegularExpression>
#include <QtTest>

namespace {
const QString Updating = QStringLiteral(u"جاري تحديث بيانات الطقس .. نرجو الإنتظار");
const QString Offline = QStringLiteral(u"لايوجد اتصال بالسيرفر.. تأكد من اتصال الجهاز بالأنترنت");
const QString Supplication = QStringLiteral(
    u"  اللهم اسقنا غيثاً مغيثاً مريئاً نافعاً غير ضار ،عاجلاً غير آجل اللهم اسق عبادك وبهائمك ، وانشر رحمتك وأحي بلدك الميت  ");
} // namespace

class TestRefresh : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstLoadRefreshesEveryRow();
    void minuteGate_data();
    void minuteGate();
    void offlineTouchesNothing_data();
    void offlineTouchesNothing();
    void boardRecoversAfterAnOfflineStart_data();
    void boardRecoversAfterAnOfflineStart();
    void atMostFiftyOneRows();
    void rowWithoutAddressEndsCleared();
    void readerFillsTheRow();
    void failedFeedClearsTheRow_data();
    void failedFeedClearsTheRow();
    void offlineReaderLeavesTheRow();
    void serviceGoneMidWalk_data();
    void serviceGoneMidWalk();
    void refusedValuesKeepWhatTheClearingLeft();
    void closingDuringARefresh();
    void collapsedRefreshDoesNotResort();
    void storeIsTheSameInEitherLanguage();

private:
    QString storePath() const { return m_dir->filePath(QStringLiteral("wt.dar")); }
    // A loaded board whose timers stand still, so the test drives it.
    std::unique_ptr<frmWeatherMain> loadBoard();
    void serveCities();
    FieldValue column(int row, const QString &name);
    int keptDays(const QString &cityCode);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LoopbackHttpServer> m_server;
    FakeWorld m_world;
    QStringList m_captionsAtRequest;
    frmWeatherMain *m_board = nullptr;
};

void TestRefresh::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_world = FakeWorld();
    m_captionsAtRequest.clear();
    m_board = nullptr;
    QVERIFY(prepareBoardFolder(m_dir->path()));
    m_server = std::make_unique<LoopbackHttpServer>();
    QVERIFY(m_server->listen());
    pointFeedsAt(storePath(), m_server->url(QString()).toString(QUrl::StripTrailingSlash));
    serveCities();
}

void TestRefresh::cleanup()
{
    m_server.reset();
    m_dir.reset();
}

void TestRefresh::serveCities()
{
    // Each city answers with its own temperature: 10 + its place in the seed.
    m_server->handle(QStringLiteral("/forecastrss"), [this](const HttpRequest &request) {
        if (m_board)
            m_captionsAtRequest << m_board->lblWeather()->text();
        const QString id = QUrlQuery(request.query).queryItemValue(QStringLiteral("p"));
        int index = 0;
        for (const WeatherStore::SeedCity &city : WeatherStore::seedCities()) {
            if (city.locationId == id)
                break;
            ++index;
        }
        FeedDocument doc;
        doc.city = id;
        doc.temp = QString::number(10 + index);
        doc.code = index == 2 ? QStringLiteral("11") : QStringLiteral("32");
        HttpResponse response;
        response.body = doc.toXml();
        return response;
    });
}

std::unique_ptr<frmWeatherMain> TestRefresh::loadBoard()
{
    auto board = std::make_unique<frmWeatherMain>(m_world.services(m_dir->path()));
    if (!board->Form_Load())
        return nullptr;
    board->TimerFirstLoad()->setEnabled(false);
    board->TimerWeather()->setEnabled(false);
    m_board = board.get();
    return board;
}

FieldValue TestRefresh::column(int row, const QString &name)
{
    DataControl data;
    openRows(data, storePath());
    for (int i = 0; i < row; ++i)
        data.recordset().moveNext();
    return data.recordset().value(name);
}

int TestRefresh::keptDays(const QString &cityCode)
{
    DataControl data;
    openRows(data, storePath());
    return int(WeatherStore::comingDays().rowsOf(data, cityCode).size());
}

void TestRefresh::firstLoadRefreshesEveryRow()
{
    m_world.now = QDateTime(QDate(2026, 12, 7), QTime(10, 40)); // no gate minute: the first load runs anyway
    frmWeatherMain board(m_world.services(m_dir->path()));
    m_board = &board;
    QVERIFY(board.Form_Load());
    QTRY_VERIFY_WITH_TIMEOUT(!board.PictureShowDetail()->isHidden(), 30000);
    QVERIFY(!board.FirstLoad());
    QVERIFY(board.PictureHideDetail()->isHidden());

    // Every city was asked for, in the table's order.
    const QList<HttpRequest> requests = m_server->requests();
    QCOMPARE(requests.size(), 24);
    for (int i = 0; i < 24; ++i)
        QCOMPARE(requests[i].query, QStringLiteral("p=%1&u=c").arg(WeatherStore::seedCities()[i].locationId));
    for (int i = 0; i < 24; ++i) {
        QCOMPARE(column(i, QStringLiteral("Temp")), FieldValue::number(10 + i));
        QVERIFY(column(i, QStringLiteral("URL")).isText());
    }

    // Progress: the zero-based row just done, of 24, and three blanks.
    QCOMPARE(m_captionsAtRequest.first(), Updating);
    for (int i = 1; i < 24; ++i)
        QCOMPARE(m_captionsAtRequest[i], Updating + QStringLiteral(" %1/24   ").arg(i - 1));

    QVERIFY(board.TickerText().startsWith(QStringLiteral(u"أبها : مشمس  10   ....  الجوف : مشمس  11   ....  ")));
    QVERIFY(board.TickerText().contains(
        QStringLiteral(u"الدمام : مطر  12   ....   اللهم صيبا ً نافعاً    .........  الرياض")));
    QVERIFY(board.TickerText().endsWith(QStringLiteral(u"ينبع : مشمس  33   ....   ... ") + Supplication));
    QVERIFY(board.TimerWeather()->isEnabled());
    QVERIFY(board.TimerW_lbl()->isEnabled());
    QVERIFY(board.lblWeather()->isEnabled());
    QVERIFY(!board.TimerFirstLoad()->isEnabled());
    board.close();
}

void TestRefresh::minuteGate_data()
{
    QTest::addColumn<int>("minute");
    QTest::addColumn<bool>("reachedEndBefore"); // whether a refresh has reached the end of its walk before
    QTest::addColumn<bool>("refreshes");
    QTest::newRow(":04") << 4 << true << false;
    QTest::newRow(":05") << 5 << true << true;
    QTest::newRow(":17") << 17 << true << false;
    QTest::newRow(":18") << 18 << true << true;
    QTest::newRow(":28") << 28 << true << true;
    QTest::newRow(":29") << 29 << true << false;
    QTest::newRow(":55") << 55 << true << false;
    // Until a refresh has reached the end, every tick tries.
    QTest::newRow(":17, none reached the end yet") << 17 << false << true;
    QTest::newRow(":05, none reached the end yet") << 5 << false << true;
}

void TestRefresh::minuteGate()
{
    QFETCH(int, minute);
    QFETCH(bool, reachedEndBefore);
    QFETCH(bool, refreshes);
    auto board = loadBoard();
    QVERIFY(board);
    if (reachedEndBefore) {
        board->TimerWeather_Timer();
        m_server->clearRequests();
        board->setTickerText(QString());
    }
    board->setFirstLoad(false);
    board->lblWeather()->setText(QStringLiteral("before"));
    const FieldValue before = column(0, QStringLiteral("Temp"));
    m_world.now = QDateTime(QDate(2026, 12, 7), QTime(13, minute, 30));
    board->TimerWeather_Timer();
    QCOMPARE(m_server->requests().size(), refreshes ? 24 : 0);
    QCOMPARE(board->TickerText().isEmpty(), !refreshes);
    QCOMPARE(column(0, QStringLiteral("Temp")), refreshes ? FieldValue::number(10) : before);
    if (!refreshes)
        QCOMPARE(board->lblWeather()->text(), QStringLiteral("before"));
    // The show button comes with the first refresh that reaches the end.
    QCOMPARE(board->PictureShowDetail()->isHidden(), !reachedEndBefore && !refreshes);
}

Q_DECLARE_METATYPE(OfflineCause)

// Offline, the refresh leaves everything as it is; the notice names the
// cause in its tooltip and description, and rows kept from before say how
// old they are.
void TestRefresh::offlineTouchesNothing_data()
{
    QTest::addColumn<OfflineCause>("cause");
    QTest::addColumn<QString>("published"); // the kept row's pDate
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("why");
    const QString minutesOld = QStringLiteral("Mon, 07 Dec 2026 1:00 pm AST"); // 40 minutes before the clock
    QTest::newRow("no network") << OfflineCause::NoNetwork << minutesOld << Offline
                                << QStringLiteral(u"لا توجد شبكة: خدمة الطقس على هذا الجهاز لا تصل إلى مصدر بياناتها");
    QTest::newRow("no feed service, data three hours old")
        << OfflineCause::ServiceNotRunning << QStringLiteral("Mon, 07 Dec 2026 10:30 am AST")
        << Offline + QStringLiteral(u"   ....  آخر تحديث قبل 3 ساعات")
        << QStringLiteral(u"خدمة الطقس على هذا الجهاز لا تعمل أو تعذّر تشغيلها");
    QTest::newRow("another account's server") << OfflineCause::PortHeldByOther << minutesOld << Offline
                                              << QStringLiteral(u"منفذ خدمة الطقس يشغله خادم حساب آخر على هذا الجهاز");
    QTest::newRow("nobody can tell whose server it is")
        << OfflineCause::OwnerUnknown << minutesOld << Offline
        << QStringLiteral(u"تعذّر معرفة صاحب الخادم على منفذ خدمة الطقس على هذا الجهاز، فلا تُقرأ بياناته");
}

void TestRefresh::offlineTouchesNothing()
{
    QFETCH(OfflineCause, cause);
    QFETCH(QString, published);
    QFETCH(QString, label);
    QFETCH(QString, why);
    {
        DataControl data;
        QVERIFY(openRows(data, storePath()));
        QVERIFY(data.recordset().edit());
        data.recordset().setValue(QStringLiteral("Temp"), FieldValue::number(30));
        data.recordset().setValue(QStringLiteral("pDate"), FieldValue::text(published));
        QVERIFY(data.recordset().update({WeatherStore::comingDays().replaceWith(
            QStringLiteral("AHB"), {{{QStringLiteral("high"), FieldValue::number(31)}}})}));
    }
    m_world.online = false;
    m_world.offlineCause = cause;
    frmWeatherMain board(m_world.services(m_dir->path()));
    QVERIFY(board.Form_Load());
    QTRY_VERIFY(!board.FirstLoad());
    QCOMPARE(board.lblWeather()->text(), label);
    QCOMPARE(board.lblWeather()->toolTip(), why);
    QCOMPARE(board.tickerStrip()->accessibleDescription(), why);
    QCOMPARE(m_server->requests().size(), 0);
    QCOMPARE(column(0, QStringLiteral("Temp")), FieldValue::number(30));
    QCOMPARE(WeatherStore::comingDays().rowsOf(board.Datawt2(), QStringLiteral("AHB")).size(), 1);
    QVERIFY(board.TimerWeather()->isEnabled());
    QVERIFY(!board.TimerW_lbl()->isEnabled());
    // A row with weather can be looked at before any refresh.
    QVERIFY(!board.PictureShowDetail()->isHidden());
    board.close();
}

namespace {
// One tick of a board's life: the clock's minute and the network at the
// tick, then the feed requests made so far and whether the expand button
// shows.
struct Tick
{
    int minute;
    bool online;
    int requests;
    bool shown;
};
using Ticks = QList<Tick>;
} // namespace
Q_DECLARE_METATYPE(Ticks)

// A board started before the network is up fills itself at the next tick
// that finds it online, whatever the minute, and its expand button appears
// then; from there on the minute gate holds.
void TestRefresh::boardRecoversAfterAnOfflineStart_data()
{
    // clang-format off
    QTest::addColumn<Ticks>("ticks"); // the first is the first load's
    QTest::newRow("online at start") << Ticks{{40, true, 24, true}, {41, true, 24, true}, {5, true, 48, true}};
    QTest::newRow("offline at start, online at the next tick")
        << Ticks{{40, false, 0, false}, {41, true, 24, true}, {42, true, 24, true}};
    QTest::newRow("offline for three ticks")
        << Ticks{{40, false, 0, false}, {41, false, 0, false}, {5, false, 0, false}, {6, true, 24, true},
                 {7, true, 24, true}, {18, true, 48, true}};
    // clang-format on
}

void TestRefresh::boardRecoversAfterAnOfflineStart()
{
    QFETCH(Ticks, ticks);
    auto board = loadBoard();
    QVERIFY(board);
    for (int i = 0; i < ticks.size(); ++i) {
        const Tick &tick = ticks[i];
        m_world.now = QDateTime(QDate(2026, 12, 7), QTime(10, tick.minute, 20));
        m_world.online = tick.online;
        if (i == 0)
            board->TimerFirstLoad_Timer();
        else
            board->TimerWeather_Timer();
        const QString at = QStringLiteral("tick %1").arg(i);
        QVERIFY2(!board->FirstLoad(), qPrintable(at));
        QVERIFY2(m_server->requests().size() == tick.requests, qPrintable(at));
        QVERIFY2(board->PictureShowDetail()->isHidden() == !tick.shown, qPrintable(at));
        if (tick.online)
            QVERIFY2(board->TickerText().endsWith(Supplication) == tick.shown, qPrintable(at));
        else
            QVERIFY2(board->lblWeather()->text() == Offline || tick.shown, qPrintable(at));
    }
}

void TestRefresh::atMostFiftyOneRows()
{
    {
        DataControl data;
        QVERIFY(openRows(data, storePath()));
        for (int i = 0; i < 36; ++i) {
            data.recordset().addNew();
            data.recordset().setValue(QStringLiteral("city_a"), FieldValue::text(QStringLiteral("X%1").arg(i)));
            data.recordset().setValue(
                QStringLiteral("rs_URL"),
                FieldValue::text(m_server->url(QStringLiteral("/forecastrss?p=EXTRA%1&u=c").arg(i)).toString()));
            QVERIFY(data.recordset().update());
        }
    }
    auto board = loadBoard();
    QVERIFY(board);
    board->TimerWeather_Timer();
    QCOMPARE(m_server->requests().size(), 51);
    QCOMPARE(board->lblWeather()->text(), Updating + QStringLiteral(" 50/60   "));
    QVERIFY(column(50, QStringLiteral("URL")).isText());
    QVERIFY(column(51, QStringLiteral("URL")).isNull());
}

void TestRefresh::rowWithoutAddressEndsCleared()
{
    {
        DataControl data;
        QVERIFY(openRows(data, storePath()));
        data.recordset().moveNext();
        data.recordset().edit();
        data.recordset().setValue(QStringLiteral("rs_URL"), FieldValue::null());
        QVERIFY(data.recordset().update());
    }
    auto board = loadBoard();
    QVERIFY(board);
    board->TimerWeather_Timer();
    QCOMPARE(m_server->requests().size(), 23);
    QVERIFY(column(1, QStringLiteral("URL")).isNull());
    QCOMPARE(column(1, QStringLiteral("Temp")), FieldValue::number(0));
    QVERIFY(column(1, QStringLiteral("city_e")).isNull());
    QCOMPARE(column(2, QStringLiteral("Temp")), FieldValue::number(12));
    QVERIFY(!board->TickerText().contains(QStringLiteral(u"الجوف")));
}

void TestRefresh::readerFillsTheRow()
{
    m_server->serve(QStringLiteral("/beverly"), readFixture(QStringLiteral("real/03-beverly-hills-90210-c.xml")));
    auto board = loadBoard();
    QVERIFY(board);
    board->DataWt().refresh();
    board->setCurrentFeedUrl(m_server->url(QStringLiteral("/beverly")).toString());
    board->setWindDirIndex(3);
    board->UpdateCityFromFeed();

    const QList<QPair<QString, FieldValue>> expected = {
        {"city_a", FieldValue::text(u"أبها"_qs)},
        {"city_e", FieldValue::text("Beverly Hills")},
        {"pDate", FieldValue::text("Wed, 01 Jun 2011 2:50 pm PDT")},
        {"Temp", FieldValue::number(17)},
        {"temp_low", FieldValue::number(12)},
        {"temp_high", FieldValue::number(21)},
        {"Condition", FieldValue::text(u"صحو"_qs)},
        {"Condition_Code", FieldValue::number(34)},
        {"Wind_Speed", FieldValue::number(double(14.48f))},
        {"Wind_Dirctn", FieldValue::text(u"جنوبية غربية"_qs)},
        {"wCatg", FieldValue::number(11)},
        {"Wind_DirctnIndex", FieldValue::text("230")},
        {"Wind_Chill", FieldValue::number(17)},
        {"Humidity", FieldValue::number(65)},
        {"Visibility", FieldValue::number(16)},
        {"DewPoint", FieldValue::null()},
        {"sunrise", FieldValue::text("5:42 am")},
        {"sunset", FieldValue::text("7:57 pm")},
        {"Loc_Lat", FieldValue::text("34.08")},
        {"Loc_Long", FieldValue::text("-118.4")},
        {"ttl", FieldValue::number(60)},
        {"URL",
         FieldValue::text(
             "http://us.rd.yahoo.com/dailynews/rss/weather/Beverly_Hills__CA/*http://weather.yahoo.com/forecast/USCA0090_c.html")},
    };
    for (const auto &[name, value] : expected)
        QVERIFY2(column(0, name) == value, qPrintable(name + QStringLiteral(": ") + column(0, name).toText()));
    QCOMPARE(board->WindDirIndex(), 11.0f);
    QCOMPARE(board->TickerText(), QStringLiteral(u"أبها : صحو  17   ....  "));
}

void TestRefresh::failedFeedClearsTheRow_data()
{
    // clang-format off
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("said"); // what the log tells of the city; nothing when empty

    QTest::newRow("404 page") << "/missing" << "AHB: no feed from http://.*/missing: HTTP 404";
    QTest::newRow("not XML") << "/garbage" << "AHB: no feed from .*: not XML";
    QTest::newRow("error document") << "/error" << "";
    QTest::newRow("temperature 0") << "/zero" << "";
    QTest::newRow("empty address") << "" << "AHB: no feed from : not an http\\(s\\) address";
    // clang-format on
}

void TestRefresh::failedFeedClearsTheRow()
{
    QFETCH(QString, target);
    QFETCH(QString, said);
    m_server->serve(QStringLiteral("/missing"), "<html><body>Not here</body></html>", 404, "text/html");
    m_server->serve(QStringLiteral("/garbage"), "<rss><channel><title>cut");
    m_server->serve(QStringLiteral("/error"), readFixture(QStringLiteral("real/10-error-city-not-found.xml")));
    FeedDocument zero;
    zero.temp = QStringLiteral("0");
    m_server->serve(QStringLiteral("/zero"), zero.toXml());

    auto board = loadBoard();
    QVERIFY(board);
    // A first refresh fills the row; the failing one that follows clears it.
    board->TimerWeather_Timer();
    QCOMPARE(column(0, QStringLiteral("Temp")), FieldValue::number(10));
    QCOMPARE(keptDays(QStringLiteral("AHB")), 2);
    board->DataWt().refresh();
    board->setCurrentFeedUrl(target.isEmpty() ? QString() : m_server->url(target).toString());
    board->setTickerText(QString());
    if (!said.isEmpty())
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(said));
    board->UpdateCityFromFeed();

    for (const char *cleared :
         {"city_e", "pDate", "Condition", "Wind_Dirctn", "sunrise", "sunset", "Loc_Lat", "Loc_Long", "URL"})
        QVERIFY2(column(0, QLatin1String(cleared)).isNull(), cleared);
    for (const char *zeroed : {"Temp", "Condition_Code", "Wind_Speed", "Wind_Chill", "Humidity", "Visibility", "ttl"})
        QCOMPARE(column(0, QLatin1String(zeroed)), FieldValue::number(0));
    // These four keep what the last good refresh stored.
    QCOMPARE(column(0, QStringLiteral("temp_low")), FieldValue::number(12));
    QCOMPARE(column(0, QStringLiteral("temp_high")), FieldValue::number(27));
    QCOMPARE(column(0, QStringLiteral("wCatg")), FieldValue::number(2));
    QCOMPARE(column(0, QStringLiteral("Wind_DirctnIndex")), FieldValue::text(QStringLiteral("30")));
    QCOMPARE(board->TickerText(), QString());
    QCOMPARE(keptDays(QStringLiteral("AHB")), 0); // the days go with the row's values
    QCOMPARE(column(1, QStringLiteral("Temp")), FieldValue::number(11)); // no other row touched
    QCOMPARE(keptDays(QStringLiteral("AJF")), 2);
}

void TestRefresh::offlineReaderLeavesTheRow()
{
    auto board = loadBoard();
    QVERIFY(board);
    board->TimerWeather_Timer();
    m_world.online = false;
    board->DataWt().refresh();
    board->setCurrentFeedUrl(m_server->url(QStringLiteral("/forecastrss?p=SAXX0036&u=c")).toString());
    board->setTickerText(QStringLiteral("kept"));
    m_server->clearRequests();
    board->UpdateCityFromFeed();
    QCOMPARE(m_server->requests().size(), 0);
    QCOMPARE(board->TickerText(), QStringLiteral("kept"));
    QVERIFY(column(0, QStringLiteral("URL")).isText());
}

// The service goes away after the third feed of a walk. A walk whose feeds
// take a second asks again before the next city and keeps the other rows;
// in a quick walk the service's word holds, and its feeds decide.
void TestRefresh::serviceGoneMidWalk_data()
{
    QTest::addColumn<int>("feedSeconds");
    QTest::addColumn<int>("requests");

    QTest::newRow("slow feeds: asked again, rows kept") << 1 << 3;
    QTest::newRow("quick feeds: the word holds") << 0 << 24;
}

void TestRefresh::serviceGoneMidWalk()
{
    QFETCH(int, feedSeconds);
    QFETCH(int, requests);

    auto board = loadBoard();
    QVERIFY(board);
    board->TimerWeather_Timer();
    m_server->clearRequests();
    m_server->handle(QStringLiteral("/forecastrss"), [this, feedSeconds](const HttpRequest &) {
        m_world.now = m_world.now.addSecs(feedSeconds);
        m_world.online = m_server->requests().size() < 3; // gone after the third
        HttpResponse response;
        response.body = FeedDocument().toXml();
        return response;
    });
    board->TimerWeather_Timer();
    QCOMPARE(m_server->requests().size(), requests);
    if (requests < 24)
        QCOMPARE(column(3, QStringLiteral("Temp")), FieldValue::number(13)); // kept from the refresh before
}

void TestRefresh::refusedValuesKeepWhatTheClearingLeft()
{
    // A latitude of 9 characters and a city name of 26 do not fit their
    // columns: those two stay as the clearing left them, the rest is stored.
    QByteArray xml = FeedDocument().toXml();
    xml.replace("<geo:lat>24.68</geo:lat>", "<geo:lat>24.683833</geo:lat>");
    xml.replace("<pubDate>Mon, 07 Dec 2026 1:00 pm AST</pubDate>",
                "<pubDate>Monday, 07 December 2026 1:00 pm AST</pubDate>");
    xml.replace("humidity=\"40\"", "humidity=\"many\"");
    m_server->serve(QStringLiteral("/long"), xml);
    auto board = loadBoard();
    QVERIFY(board);
    board->DataWt().refresh();
    board->setCurrentFeedUrl(m_server->url(QStringLiteral("/long")).toString());
    // Each refused value is told with its column and why.
    QTest::ignoreMessage(
        QtInfoMsg, QRegularExpression(QStringLiteral("column Loc_Lat refused a value: 9 characters, past its \\d+")));
    QTest::ignoreMessage(
        QtInfoMsg, QRegularExpression(QStringLiteral("column pDate refused a value: \\d+ characters, past its \\d+")));
    QTest::ignoreMessage(QtInfoMsg,
                         QRegularExpression(QStringLiteral("column Humidity refused a value: not a number")));
    board->UpdateCityFromFeed();
    QVERIFY(column(0, QStringLiteral("Loc_Lat")).isNull());
    QVERIFY(column(0, QStringLiteral("pDate")).isNull());
    QCOMPARE(column(0, QStringLiteral("Humidity")), FieldValue::number(0));
    QCOMPARE(column(0, QStringLiteral("Loc_Long")), FieldValue::text(QStringLiteral("46.71")));
    QCOMPARE(column(0, QStringLiteral("Temp")), FieldValue::number(25));
    QVERIFY(column(0, QStringLiteral("URL")).isText());
}

void TestRefresh::closingDuringARefresh()
{
    m_server->hang(QStringLiteral("/forecastrss?p=SAXX0002&u=c")); // the third city never answers
    auto board = loadBoard();
    QVERIFY(board);
    connect(m_server.get(), &LoopbackHttpServer::requestReceived, board.get(), [&](const HttpRequest &request) {
        if (request.query.contains(QStringLiteral("SAXX0002")))
            QTimer::singleShot(50, board.get(), [&] { board->close(); });
    });
    QElapsedTimer clock;
    clock.start();
    board->TimerWeather_Timer();
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(board->isUnloaded());
    QCOMPARE(m_server->requests().size(), 3);
    QVERIFY(!board->TimerWeather()->isEnabled());
    QVERIFY(!board->TimerW_lbl()->isEnabled());

    // Rows done before the close keep their values, the waiting one stays
    // cleared, and nothing after it was touched.
    QCOMPARE(column(1, QStringLiteral("Temp")), FieldValue::number(11));
    QCOMPARE(column(2, QStringLiteral("Temp")), FieldValue::number(0));
    QVERIFY(column(3, QStringLiteral("Temp")).isNull());
    board->Form_Unload();
}

void TestRefresh::collapsedRefreshDoesNotResort()
{
    auto board = loadBoard();
    QVERIFY(board);
    board->Datawt2().setRecordSource(QStringLiteral("select * from wt where len(url) > 0 order by temp"));
    board->Datawt2().refresh();
    QCOMPARE(board->Datawt2().recordset().recordCount(), 0);
    board->TimerWeather_Timer();
    // Collapsed: the sorted view is not asked again until the next expansion.
    QCOMPARE(board->Datawt2().recordset().recordCount(), 0);
}

// The store keeps the feed's values whatever the board speaks: the same
// documents refreshed in Arabic and in English leave the same rows, in wt
// and beside it, every value code unit for code unit.
void TestRefresh::storeIsTheSameInEitherLanguage()
{
    const QDateTime now(QDate(2026, 12, 8), QTime(13, 5), Qt::OffsetFromUTC, 3 * 3600);
    m_server->handle(QStringLiteral("/forecastrss"), [now](const HttpRequest &request) {
        const QString id = QUrlQuery(request.query).queryItemValue(QStringLiteral("p"));
        FeedDocument doc;
        doc.city = id == QLatin1String("SAXX0012") ? QStringLiteral("Jeddah")
            : id == QLatin1String("SAXX0036")      ? QStringLiteral("Abha")
                                                   : QStringLiteral("Riyadh");
        doc.code = id == QLatin1String("SAXX0012") ? QStringLiteral("38") : QStringLiteral("19");
        doc.windDirection = id == QLatin1String("SAXX0012") ? QStringLiteral("200") : QStringLiteral("30");
        doc.hours = hourElements(QDateTime(now.date(), QTime(13, 0), Qt::OffsetFromUTC, 3 * 3600));
        doc.warnings = QStringLiteral(R"(<rorizedivo:warning kind="dust" start="2026-12-08T12:00:00+03:00" )"
                                      R"(end="2026-12-08T18:00:00+03:00" peak="1450"/>)");
        HttpResponse response;
        response.body = doc.toXml();
        return response;
    });
    const auto refreshedRows = [&](BoardLanguage language, QString *ticker) {
        setBoardLanguage(language);
        QStringList rows;
        {
            m_world.now = now;
            auto board = loadBoard();
            if (!board)
                return rows;
            board->TimerWeather_Timer();
            *ticker = board->TickerText();
            board->Form_Unload();
        }
        m_board = nullptr;
        setBoardLanguage(BoardLanguage::Arabic);
        DataControl data;
        if (!openRows(data, storePath()))
            return rows;
        Recordset &wt = data.recordset();
        for (wt.moveFirst(); !wt.isEof(); wt.moveNext()) {
            QStringList values;
            for (const ColumnInfo &column : WeatherStore::columns())
                values << column.name + u'=' + wt.value(column.name).toText();
            rows << values.join(u'|');
        }
        for (const WeatherStore::SeedCity &city : WeatherStore::seedCities()) {
            for (const SideRows *side :
                 {&WeatherStore::comingDays(), &WeatherStore::comingHours(), &WeatherStore::cityWarnings()}) {
                for (const QVector<FieldValue> &kept : side->rowsOf(data, city.cityCode)) {
                    QStringList values{city.cityCode};
                    for (const FieldValue &value : kept)
                        values << value.toText();
                    rows << values.join(u'|');
                }
            }
        }
        return rows;
    };
    QString arabicTicker;
    const QStringList arabic = refreshedRows(BoardLanguage::Arabic, &arabicTicker);
    // A store made anew, as the first close leaves it for the next start.
    QVERIFY(WeatherStore::removeStoreFile(storePath()));
    QVERIFY(WeatherStore::createStoreFile(storePath()));
    pointFeedsAt(storePath(), m_server->url(QString()).toString(QUrl::StripTrailingSlash));
    QString englishTicker;
    const QStringList english = refreshedRows(BoardLanguage::English, &englishTicker);

    QCOMPARE(arabic.size(), 24 + 24 * (2 + 24 + 1));
    QCOMPARE(english, arabic);
    QVERIFY(arabic.first().contains(u"Condition=غبار|"_qs));
    // The refresh did speak each language: its ticker is the board's.
    QVERIFY2(arabicTicker.startsWith(u"أبها : غبار  25   ....  "_qs), qPrintable(arabicTicker.left(40)));
    QVERIFY2(englishTicker.startsWith(u"Abha : Dust  25   ....  "_qs), qPrintable(englishTicker.left(40)));
    QVERIFY(englishTicker.contains(u"Jeddah : Scattered thunderstorms  25   ....   May it be a beneficial rain "_qs));
}

QTEST_MAIN(TestRefresh)
#include "tst_refresh.moc"
