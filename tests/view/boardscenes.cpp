#include "boardscenes.h"

#include "app/frmWeatherMain.h"
#include "boardfixture.h"
#include "platform/boardlanguage.h"
#include "store/weatherstore.h"
#include "testsupport.h"
#include "view/celltext.h"
#include "view/owncitytoggle.h"

#include <QComboBox>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QAbstractItemView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

#include <memory>

namespace {

// The weather each city's feed reports; a city without a row gets no feed.
struct CityFeed
{
    const char *code;
    const char *temp;
    int condition;
    const char *windDegrees;
    const char *windSpeed;
    const char *visibility;
};

// Chosen to show every kind of value: the longest condition and wind
// names, rain and thunder, three-digit and negative temperatures, calm,
// good visibility and fractions.
constexpr CityFeed cityFeeds[] = {
    {"RUH", "25", 32, "22.5", "14.48", "9.99"}, // north-north-east, the longest wind name
    {"AHB", "12", 12, "200", "30", "4.5"}, // rain
    {"JED", "31.5", 38, "290", "22", "10"}, // scattered thunderstorms, the longest condition
    {"DMM", "103", 36, "100", "7", "16.09"}, // three digits
    {"TRI", "-12.5", 16, "350", "41", "2"}, // negative
    {"AJF", "-3", 17, "330", "0", "8"}, // calm
    {"TIF", "18", 29, "135", "11", "10"}, // the wind box: SE 11 Kph
    {"URY", "9", 20, "60", "5", "0.2"},
    {"ELQ", "22", 19, "315", "56.5", "1"}, // dust
    {"AQI", "27", 34, "30", "19", "9"},
    {"MED", "33", 33, "270", "12", "10"},
    {"EJH", "26", 30, "250", "25", "10"},
    {"BHH", "29", 31, "160", "9", "10"},
    {"TUU", "14", 27, "340", "17", "10"},
    {"GIZ", "35", 40, "225", "15", "7"},
    {"HAS", "16", 26, "10", "8", "10"},
    {"RAB", "30", 32, "300", "21", "10"},
    {"RAH", "11", 21, "80", "13", "6"},
    {"SHW", "34", 36, "110", "28", "10"},
    {"RAE", "10", 28, "45", "6", "10"},
    {"QCA", "36", 32, "190", "10", "10"},
    {"EAM", "28", 4, "170", "33", "3"}, // thunderstorms
    // WAE: a bare feed, see bareFeed().
    {"YNB", "32", 34, "280", "18", "10"},
};

// Riyadh's coming days: the longest condition, a negative low and a day
// without its high.
constexpr char riyadhDays[] = R"(<yweather:forecast day="Mon" date="7 Dec 2026" low="12" high="27" code="32"/>)"
                              R"(<yweather:forecast day="Tue" date="8 Dec 2026" low="14" high="29" code="30"/>)"
                              R"(<yweather:forecast day="Wed" date="9 Dec 2026" low="16" high="31" code="38"/>)"
                              R"(<yweather:forecast day="Thu" date="10 Dec 2026" low="-2" high="24" code="19"/>)"
                              R"(<yweather:forecast day="Fri" date="11 Dec 2026" low="9" code="4"/>)";

// The coming hours from 13:00 on 7 December: Riyadh's winter day and clear
// night, and Qassim's dust until its storm passes at 18:00 with the wind.
struct HourFeed
{
    int temp;
    int code;
    int windSpeed;
};
constexpr HourFeed riyadhHours[24] = {
    {25, 32, 14}, {26, 32, 15}, {26, 32, 16}, {25, 32, 14}, {23, 32, 12}, {21, 31, 10}, {19, 31, 9},  {18, 31, 8},
    {17, 31, 8},  {16, 31, 7},  {15, 31, 7},  {14, 31, 6},  {14, 31, 6},  {13, 31, 5},  {13, 31, 5},  {12, 31, 6},
    {12, 31, 6},  {13, 32, 8},  {15, 32, 10}, {18, 34, 12}, {20, 30, 13}, {22, 30, 14}, {23, 32, 15}, {24, 32, 15}};
constexpr HourFeed qassimHours[24] = {
    {22, 19, 56}, {23, 19, 58}, {23, 19, 52}, {22, 19, 47}, {20, 19, 40}, {18, 31, 30}, {16, 31, 22}, {15, 31, 18},
    {14, 31, 15}, {13, 31, 13}, {12, 31, 12}, {11, 31, 10}, {10, 31, 9},  {10, 31, 9},  {9, 31, 8},   {9, 31, 8},
    {9, 31, 9},   {10, 32, 11}, {12, 32, 13}, {15, 32, 15}, {18, 34, 16}, {20, 34, 17}, {21, 32, 17}, {22, 32, 16}};

QString hoursOf(const QString &code)
{
    const HourFeed *hours = code == QLatin1String("RUH") ? riyadhHours
        : code == QLatin1String("ELQ")                   ? qassimHours
                                                         : nullptr;
    if (!hours)
        return QString();
    const QDateTime first(QDate(2026, 12, 7), QTime(13, 0), Qt::OffsetFromUTC, 3 * 3600);
    QString elements;
    for (int i = 0; i < 24; ++i) {
        elements += QStringLiteral(R"(<rorizedivo:hour time="%1" temp="%2" code="%3" speed="%4" direction="%5"/>)")
                        .arg(first.addSecs(i * 3600).toString(Qt::ISODate))
                        .arg(hours[i].temp)
                        .arg(hours[i].code)
                        .arg(hours[i].windSpeed)
                        .arg(code == QLatin1String("RUH") ? 22.5 : 315);
    }
    return elements;
}

const CityFeed *feedFor(const QString &code)
{
    for (const CityFeed &city : cityFeeds) {
        if (code == QLatin1String(city.code))
            return &city;
    }
    return nullptr;
}

// A feed that names the city and its temperature and nothing more: its row
// is shown with every other value empty.
QByteArray bareFeed(const QString &code, const QString &city)
{
    return QStringLiteral("<rss xmlns:yweather=\"http://xml.weather.yahoo.com/ns/rss/1.0\"><channel>"
                          "<link>http://weather.example/%1</link><yweather:location city=\"%2\"/>"
                          "<item><yweather:condition temp=\"17\"/></item></channel></rss>")
        .arg(code, city)
        .toUtf8();
}

class Scene
{
public:
    // In English the documents name their cities as the feed service does;
    // in Arabic, where the board shows its own names, by their codes.
    explicit Scene(bool english = false)
        : m_english(english)
    {
    }

    bool setUp()
    {
        if (!m_dir.isValid() || !m_server.listen())
            return false;
        const QString folder = m_dir.path() + QLatin1Char('/');
        if (!prepareBoardFolder(folder))
            return false;
        const QString store = folder + QString::fromUtf16(WeatherStore::FileName);
        pointFeedsAt(store, m_server.url(QString()).toString(QUrl::StripTrailingSlash));
        // The map pictures lie in the folder, as an installation leaves them.
        const QDir maps(QStringLiteral(WEATHER_SOURCE_DIR "/assets/maps"));
        for (const QString &name : maps.entryList({QStringLiteral("*.tmg")}, QDir::Files))
            QFile::copy(maps.filePath(name), folder + name);

        for (const auto &city : WeatherStore::seedCities())
            serveFeed(city);

        // The cities' own time, five minutes after the documents were published.
        m_world.now = QDateTime(QDate(2026, 12, 7), QTime(13, 5), Qt::OffsetFromUTC, 3 * 3600);
        m_board = std::make_unique<frmWeatherMain>(m_world.services(m_dir.path()));
        if (!m_board->Form_Load())
            return false;
        m_board->show();
        // Once shown, the window takes its frame off its outer size.
        QTest::qWait(400);
        // The strip while the first feed loads, before any count.
        QTimer::singleShot(0, m_board.get(), [this] { m_progress = grab(); });
        // The first refresh, as its timer would run it, then no timer runs on
        // its own: every scene is the same moment.
        m_board->TimerFirstLoad_Timer();
        stopTimers();
        for (int i = 0; i < 90; ++i)
            m_board->TimerW_lbl_Timer();
        return true;
    }

    QImage collapsed() { return grab(); }
    QImage progress() const { return m_progress; }

    // The sort list, opened.
    QImage sortList()
    {
        m_board->ComboSort()->showPopup();
        QCoreApplication::processEvents();
        QWidget *popup = m_board->ComboSort()->view()->window();
        const QImage image = popup->grab().toImage().convertToFormat(QImage::Format_RGB32);
        m_board->ComboSort()->hidePopup();
        return image;
    }

    QImage expanded(int sortKey, const QString &cityCode)
    {
        if (!m_board->PictureHideDetail()->isVisible())
            m_board->PictureShowDetail_Click();
        m_board->ComboSort()->setCurrentIndex(sortKey);
        if (!cityCode.isEmpty()) {
            for (int i = 0; i < frmWeatherMain::GridRows; ++i) {
                if (m_board->cityGrid()->cityCode(i) == cityCode)
                    m_board->lblCity_Click(i);
            }
        }
        stopTimers();
        return grab();
    }

    // Riyadh's coming days in the place of its map.
    QImage comingDays()
    {
        expanded(0, QStringLiteral("RUH"));
        m_board->mapPlace()->show(MapPlace::Shown::Days);
        const QImage image = grab();
        m_board->mapPlace()->show(MapPlace::Shown::Map);
        stopTimers();
        return image;
    }

    // Riyadh's coming hours in the place of its map, its third hour
    // highlighted as the keyboard leaves it.
    QImage comingHours(const QString &cityCode)
    {
        expanded(0, cityCode);
        m_board->mapPlace()->show(MapPlace::Shown::Hours);
        m_board->comingHours()->setHighlighted(2);
        const QImage image = grab();
        m_board->mapPlace()->show(MapPlace::Shown::Map);
        stopTimers();
        return image;
    }

    // The keyboard in the grid, on purpose: the focus frame around the city
    // that the keys moved to and the panel shows.
    QImage keyboardInGrid()
    {
        expanded(0, QString());
        QApplication::setActiveWindow(m_board.get());
        m_board->cityGrid()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(m_board->cityGrid(), Qt::Key_End);
        QTest::keyClick(m_board->cityGrid(), Qt::Key_Up);
        stopTimers();
        return grab();
    }

    // The next refresh brings a dust storm to Qassim and tomorrow's heat to
    // Sharurah: their signs in the strip and the grid, and Qassim's line in
    // the panel, where the person has marked Qassim "مدينتي".
    QImage warnings()
    {
        for (const auto &city : WeatherStore::seedCities())
            serveFeed(city, warningsOf(city.cityCode));
        m_board->TimerWeather_Timer();
        stopTimers();
        for (int i = 0; i < 90; ++i)
            m_board->TimerW_lbl_Timer();
        expanded(0, QStringLiteral("ELQ"));
        m_board->cityDetail()->ownCity()->click();
        return grab();
    }

    // The centre's alerts come with the next refresh: a red dust alert over
    // Riyadh, which also has heavy rain of its own tomorrow, and a yellow
    // wind alert over Jeddah: the signs in their colours, Riyadh's line
    // with the alert ahead, and its hours with the alert's span.
    QImage alerts(MapPlace::Shown shown)
    {
        if (shown == MapPlace::Shown::Map) {
            for (const auto &city : WeatherStore::seedCities())
                serveFeed(city, warningsOf(city.cityCode) + alertsOf(city.cityCode));
            m_board->TimerWeather_Timer();
            stopTimers();
            for (int i = 0; i < 90; ++i)
                m_board->TimerW_lbl_Timer();
        }
        expanded(0, QStringLiteral("RUH"));
        m_board->mapPlace()->show(shown);
        const QImage image = grab();
        m_board->mapPlace()->show(MapPlace::Shown::Map);
        stopTimers();
        return image;
    }

private:
    static QString alertsOf(const QString &code)
    {
        const auto alert = [](const char *id, const char *colour, const char *kind, const QString &event,
                              const QString &headline) {
            return QStringLiteral(
                       R"(<rorizedivo:alert id="2.49.0.0.682.0.2026.12.07.%1" colour="%2" )"
                       R"(severity="Severe" urgency="Immediate" onset="2026-12-07T14:00:00+03:00" )"
                       R"(expires="2026-12-07T22:00:00+03:00" kind="%3">)"
                       R"(<rorizedivo:text lang="ar" sender="المركز الوطني للأرصاد" event="%4" headline="%5"/>)"
                       R"(</rorizedivo:alert>)")
                .arg(QLatin1String(id), QLatin1String(colour), QLatin1String(kind), event, headline);
        };
        if (code == QLatin1String("RUH"))
            return QStringLiteral(R"(<rorizedivo:warning kind="rain" start="2026-12-08T00:00:00+03:00" )"
                                  R"(end="2026-12-09T00:00:00+03:00" peak="24"/>)")
                + alert("1", "red", "dust", QStringLiteral(u"غبار"), QStringLiteral(u"تنبيه أحمر: أتربة مثارة"));
        if (code == QLatin1String("JED"))
            return alert("2", "yellow", "wind", QStringLiteral(u"رياح"), QStringLiteral(u"تنبيه أصفر: رياح نشطة"));
        return QString();
    }

    static QString warningsOf(const QString &code)
    {
        if (code == QLatin1String("ELQ"))
            return QStringLiteral(R"(<rorizedivo:warning kind="dust" start="2026-12-07T12:00:00+03:00" )"
                                  R"(end="2026-12-07T18:00:00+03:00" peak="1450"/>)");
        if (code == QLatin1String("SHW"))
            return QStringLiteral(R"(<rorizedivo:warning kind="heat" start="2026-12-08T00:00:00+03:00" )"
                                  R"(end="2026-12-09T00:00:00+03:00" peak="48.5"/>)");
        return QString();
    }

    void serveFeed(const WeatherStore::SeedCity &city, const QString &warnings = QString())
    {
        const QString target = QStringLiteral("/forecastrss?p=%1&u=c").arg(city.locationId);
        const CityFeed *feed = feedFor(city.cityCode);
        if (!feed) {
            m_server.serve(target, bareFeed(city.cityCode, feedCity(city.cityCode)));
            return;
        }
        FeedDocument doc;
        doc.city = feedCity(city.cityCode);
        doc.temp = QLatin1String(feed->temp);
        doc.code = QString::number(feed->condition);
        doc.windDirection = QLatin1String(feed->windDegrees);
        doc.windSpeed = QLatin1String(feed->windSpeed);
        doc.visibility = QLatin1String(feed->visibility);
        doc.warnings = warnings;
        doc.hours = hoursOf(city.cityCode);
        if (city.cityCode == QLatin1String("RUH"))
            doc.forecast = QString::fromUtf8(riyadhDays);
        m_server.serve(target, doc.toXml());
    }

    QString feedCity(const QString &code) const { return m_english ? englishCityName(code) : code; }

    void stopTimers()
    {
        for (FormTimer *timer :
             {m_board->TimerFirstLoad(), m_board->TimerWeather(), m_board->TimerW_lbl(), m_board->TimerWind()})
            timer->setEnabled(false);
    }

    QImage grab()
    {
        QCoreApplication::processEvents();
        return m_board->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    QTemporaryDir m_dir;
    LoopbackHttpServer m_server;
    FakeWorld m_world;
    std::unique_ptr<frmWeatherMain> m_board;
    QImage m_progress;
    bool m_english;
};

} // namespace

QString sceneSuffix()
{
    return qApp->devicePixelRatio() > 1 ? QStringLiteral("@%1x").arg(qApp->devicePixelRatio()) : QString();
}

QList<QPair<QString, QImage>> renderBoardScenes()
{
    Scene scene;
    if (!scene.setUp())
        return {};
    QList<QPair<QString, QImage>> scenes;
    scenes.append({QStringLiteral("progress"), scene.progress()});
    scenes.append({QStringLiteral("collapsed"), scene.collapsed()});
    for (const char *code : {"RUH", "AHB", "WAE"})
        scenes.append({QStringLiteral("expanded-%1").arg(QLatin1String(code)), scene.expanded(0, QLatin1String(code))});
    for (int key = 0; key < 6; ++key)
        scenes.append({QStringLiteral("sort-%1").arg(key), scene.expanded(key, QString())});
    scenes.append({QStringLiteral("sort-list"), scene.sortList()});
    scenes.append({QStringLiteral("days-RUH"), scene.comingDays()});
    scenes.append({QStringLiteral("hours-RUH"), scene.comingHours(QStringLiteral("RUH"))});
    scenes.append({QStringLiteral("keyboard-grid"), scene.keyboardInGrid()});
    // The only scenes with warnings, and so last: the board's marks, then
    // Qassim's dust storm shaded behind its hours.
    scenes.append({QStringLiteral("warnings-ELQ"), scene.warnings()});
    scenes.append({QStringLiteral("hours-ELQ"), scene.comingHours(QStringLiteral("ELQ"))});
    // Then the centre's alerts beside them.
    scenes.append({QStringLiteral("alerts-RUH"), scene.alerts(MapPlace::Shown::Map)});
    scenes.append({QStringLiteral("alerts-hours-RUH"), scene.alerts(MapPlace::Shown::Hours)});
    scenes.append({QStringLiteral("alerts-days-RUH"), scene.alerts(MapPlace::Shown::Days)});

    // The board in English, laid out left to right: a board of its own, made
    // once the language is chosen, as at start.
    setBoardLanguage(BoardLanguage::English);
    {
        Scene english(true);
        if (english.setUp()) {
            scenes.append({QStringLiteral("en-collapsed"), english.collapsed()});
            scenes.append({QStringLiteral("en-expanded-RUH"), english.expanded(0, QStringLiteral("RUH"))});
            scenes.append({QStringLiteral("en-days-RUH"), english.comingDays()});
            scenes.append({QStringLiteral("en-hours-RUH"), english.comingHours(QStringLiteral("RUH"))});
            scenes.append({QStringLiteral("en-warnings-ELQ"), english.warnings()});
            scenes.append({QStringLiteral("en-hours-ELQ"), english.comingHours(QStringLiteral("ELQ"))});
            scenes.append({QStringLiteral("en-alerts-RUH"), english.alerts(MapPlace::Shown::Map)});
        } else {
            scenes.clear();
        }
    }
    setBoardLanguage(BoardLanguage::Arabic);
    return scenes;
}
