// The board's warnings told through the desktop, against a stand-in
// notification service on a private session bus (ctest runs this under
// dbus-run-session).
#include "app/frmWeatherMain.h"
#include "boardfixture.h"
#include "platform/boardlanguage.h"
#include "platform/desktopnotices.h"
#include "store/weatherstore.h"
#include "testsupport.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");

// The desktop's notification service as the test sees it: it owns the name
// on a connection of its own and records every notice; asked to, it refuses
// the next one (a daemon that crashed) after recording it.
class StandInNotifications : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notice
    {
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };
    QList<Notice> notices;
    QStringList closed; // the summaries of the notices taken back
    bool refuseNext = false;
    uint nextId = 1;
    QHash<uint, QString> summaries; // of every notice shown, by id
    QElapsedTimer sinceDocument; // started as each document is answered, until the first notice
    qint64 firstNoticeUs = -1;

    bool start()
    {
        return m_bus.registerService(Service) && m_bus.registerObject(Path, this, QDBusConnection::ExportAllSlots);
    }
    void stop()
    {
        m_bus.unregisterObject(Path);
        m_bus.unregisterService(Service);
    }
    void invoke(uint id, const QString &action)
    {
        QDBusMessage signal = QDBusMessage::createSignal(Path, Service, QStringLiteral("ActionInvoked"));
        signal << id << action;
        m_bus.send(signal);
    }
    // Everything the board sent so far has arrived: a notice sent after it
    // on the board's connection comes after all of its own.
    bool settle()
    {
        const qsizetype before = notices.size();
        QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
        call << QString() << uint(0) << QString() << QStringLiteral("settle") << QString() << QStringList()
             << QVariantMap() << int(0);
        QDBusConnection::sessionBus().asyncCall(call);
        if (!waitUntil([&] { return notices.size() > before; }, 10000))
            return false;
        notices.removeLast();
        return true;
    }

public Q_SLOTS:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int)
    {
        if (firstNoticeUs < 0 && sinceDocument.isValid())
            firstNoticeUs = sinceDocument.nsecsElapsed() / 1000;
        notices.append({summary, body, actions, hints});
        if (std::exchange(refuseNext, false)) {
            sendErrorReply(QDBusError::Failed, QStringLiteral("the notification daemon went away"));
            return 0;
        }
        summaries.insert(nextId, summary);
        return nextId++;
    }
    void CloseNotification(uint id) { closed << summaries.value(id, QStringLiteral("unknown notice")); }

private:
    QDBusConnection m_bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("stand-in"));
};

} // namespace

class TestNotices : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void tellsEachWarningOnce_data();
    void tellsEachWarningOnce();
    void defaultActionShowsTheCity();
    void runsOnWithoutTheService();

private:
    std::unique_ptr<frmWeatherMain> loadBoard();
    // One refresh, as its timer runs it at a minute that passes the gate.
    void refresh(frmWeatherMain &board, int hour);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LoopbackHttpServer> m_server;
    std::unique_ptr<DesktopNotices> m_notices;
    StandInNotifications m_standIn;
    FakeWorld m_world;
    QHash<QString, QString> m_warnings; // city code -> its warning elements
};

void TestNotices::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_world = FakeWorld();
    m_world.settingsFile = m_dir->filePath(QStringLiteral("config/rorizedivo/rorizedivo.conf"));
    m_warnings.clear();
    QVERIFY(m_standIn.start());
    m_standIn.notices.clear();
    m_standIn.closed.clear();
    m_standIn.summaries.clear();
    m_standIn.nextId = 1;
    m_notices = std::make_unique<DesktopNotices>();
    QVERIFY(prepareBoardFolder(m_dir->path()));
    m_server = std::make_unique<LoopbackHttpServer>();
    QVERIFY(m_server->listen());
    pointFeedsAt(m_dir->filePath(QStringLiteral("wt.dar")),
                 m_server->url(QString()).toString(QUrl::StripTrailingSlash));
    m_server->handle(QStringLiteral("/forecastrss"), [this](const HttpRequest &request) {
        const QString id = QUrlQuery(request.query).queryItemValue(QStringLiteral("p"));
        FeedDocument doc;
        for (const WeatherStore::SeedCity &city : WeatherStore::seedCities()) {
            if (city.locationId == id)
                doc.warnings = m_warnings.value(city.cityCode);
        }
        // Each document names its city as the feed service does.
        if (id == QLatin1String("SAXX0012"))
            doc.city = QStringLiteral("Jeddah");
        if (m_standIn.firstNoticeUs < 0)
            m_standIn.sinceDocument.start();
        HttpResponse response;
        if (doc.warnings == QLatin1String("fail"))
            response.status = 503; // the city's document could not be had
        else
            response.body = doc.toXml();
        return response;
    });
}

void TestNotices::cleanup()
{
    setBoardLanguage(BoardLanguage::Arabic);
    m_server.reset();
    m_notices.reset();
    m_standIn.stop();
    m_dir.reset();
}

std::unique_ptr<frmWeatherMain> TestNotices::loadBoard()
{
    BoardServices services = m_world.services(m_dir->path());
    services.notices = m_notices.get();
    auto board = std::make_unique<frmWeatherMain>(services);
    if (!board->Form_Load())
        return nullptr;
    board->TimerFirstLoad()->setEnabled(false);
    board->TimerWeather()->setEnabled(false);
    return board;
}

void TestNotices::refresh(frmWeatherMain &board, int hour)
{
    m_world.now = QDateTime(QDate(2026, 12, 8), QTime(hour, 5), Qt::OffsetFromUTC, 3 * 3600);
    board.TimerWeather_Timer();
    board.TimerWeather()->setEnabled(false);
}

namespace {
QString warning(const char *kind, const char *start, const char *end, const char *peak = "1")
{
    return QStringLiteral(R"(<rorizedivo:warning kind="%1" start="2026-12-%2:00+03:00" end="2026-12-%3:00+03:00" )"
                          R"(peak="%4"/>)")
        .arg(QLatin1String(kind), QLatin1String(start), QLatin1String(end), QLatin1String(peak));
}
// An alert of the national centre over the day's afternoon, as the feed
// service writes it: red or another colour, its end (the day and hour, as
// warning() takes them), the alerts it replaces.
QString alert(const char *id, const char *colour, const char *expires = "08T21:00", const char *references = "",
              const char *headline = "تنبيه: غبار على المنطقة")
{
    return QStringLiteral(R"(<rorizedivo:alert id="%1" colour="%2" severity="Severe" urgency="Immediate" )"
                          R"(onset="2026-12-08T15:00:00+03:00" expires="2026-12-%3:00+03:00" kind="dust"%4>)"
                          R"(<rorizedivo:text lang="ar" sender="المركز-الوطني-للأرصاد" event="غبار" headline="%5"/>)"
                          R"(<rorizedivo:text lang="en" sender="NCM" event="Dust" headline="Dust over the region"/>)"
                          R"(</rorizedivo:alert>)")
        .arg(QLatin1String(id), QLatin1String(colour), QLatin1String(expires),
             *references ? QStringLiteral(R"( references="%1")").arg(QLatin1String(references)) : QString(),
             QString::fromUtf8(headline));
}
} // namespace

void TestNotices::tellsEachWarningOnce_data()
{
    // At each step the documents carry these warnings, the board refreshes
    // (restarted first, or restarted after its first close, or with the
    // person's own cities chosen, or with the notification service refusing
    // the notice, at 11:05 and an hour later each step, or at the hour
    // given), and these notices are sent, as "summary | body", the body's
    // lines joined by " / ".
    QTest::addColumn<QList<QStringList>>("steps"); // {what, RUH's, JED's, notices...}
    // clang-format off
    const QString dust = warning("dust", "08T15:00", "08T21:00", "1450");
    const QString dustAnHourOn = warning("dust", "08T16:00", "08T22:00", "1450");
    const QString heat = warning("heat", "09T00:00", "10T00:00", "48.6");
    const QString rain = warning("rain", "09T00:00", "10T00:00", "35.2");
    const QString rainToday = warning("rain", "08T00:00", "09T00:00", "22");
    const QString wind = warning("wind", "09T00:00", "10T00:00", "75");
    const QString thunder = warning("thunder", "08T00:00", "09T00:00", "95");
    const QString dustLine = u"الرياض: عاصفة ترابية اليوم من الساعة 3 مساءً إلى 9 مساءً، الغبار 1450 ميكروغرام/م³"_qs;
    const QString heatLine = u"جدة: موجة حر شديدة غداً، العظمى 49°"_qs;
    const QString toldDust = u"تنبيه: عاصفة ترابية في الرياض | "_qs + dustLine;
    const QString toldBoth = u"تنبيه: عاصفة ترابية في الرياض وتنبيه آخر | "_qs + dustLine + u" / "_qs + heatLine;
    const auto n = [](const QString &a, const QString &b) { return a + QLatin1Char('\n') + b; };
    QTest::newRow("a refresh's warnings in one notice") << QList<QStringList>{{"", dust, heat, toldBoth}};
    QTest::newRow("not at the next refresh") << QList<QStringList>{{"", dust, heat, toldBoth}, {"", dust, heat}};
    QTest::newRow("a storm under way, derived again")
        << QList<QStringList>{{"", dust, "", toldDust}, {"", dustAnHourOn, ""}};
    QTest::newRow("not after a restart") << QList<QStringList>{{"", dust, heat, toldBoth}, {"restart", dust, heat}};
    QTest::newRow("another kind for the same city") << QList<QStringList>{{"", dust, "", toldDust},
        {"", n(dust, rain), "", u"تنبيه: أمطار غزيرة وسيول محتملة في الرياض | الرياض: أمطار غزيرة وسيول محتملة غداً، 35 مم"_qs}};
    QTest::newRow("the same kind at another time") << QList<QStringList>{{"", dust, "", toldDust},
        {"", warning("dust", "09T03:00", "09T05:00", "1100"), "",
         u"تنبيه: عاصفة ترابية في الرياض | الرياض: عاصفة ترابية غداً من الساعة 3 صباحاً إلى 5 صباحاً، الغبار 1100 ميكروغرام/م³"_qs}};
    QTest::newRow("a warning gone from the document is not told") << QList<QStringList>{{"", "", ""}};
    // Two days of one kind in one document are told as one, over both days;
    // a day more of a told one is news, and told over the whole span.
    QTest::newRow("two days of one kind") << QList<QStringList>{{"", "", n(rainToday, rain),
        u"تنبيه: أمطار غزيرة وسيول محتملة في جدة | جدة: أمطار غزيرة وسيول محتملة اليوم وغداً، 35 مم"_qs}, {"", "", n(rainToday, rain)}};
    QTest::newRow("a day more is news") << QList<QStringList>{
        {"", "", rainToday, u"تنبيه: أمطار غزيرة وسيول محتملة في جدة | جدة: أمطار غزيرة وسيول محتملة اليوم، 22 مم"_qs},
        {"", "", n(n(rainToday, rain), warning("rain", "10T00:00", "11T00:00", "20")),
         u"تنبيه: أمطار غزيرة وسيول محتملة في جدة | جدة: أمطار غزيرة وسيول محتملة من اليوم حتى الخميس، 35 مم"_qs}};
    // What was told follows its warning: a storm whose end moves later is
    // the same storm after its first end has passed; one that came after a
    // told storm ended is news. So is a peak a band higher, not a smaller rise.
    QTest::newRow("an end that moves later, and the refresh after the told end") << QList<QStringList>{
        {"at 15", dust, "", toldDust}, {"at 16", warning("dust", "08T16:00", "08T23:00", "1450"), ""},
        {"at 21", warning("dust", "08T21:00", "08T23:00", "1450"), ""}, {"at 22", warning("dust", "08T22:00", "08T23:00", "1450"), ""}};
    QTest::newRow("a storm after the told one ended") << QList<QStringList>{{"at 15", dust, "", toldDust}, {"at 21", "", ""},
        {"at 22", warning("dust", "08T22:00", "08T23:00", "1450"), "",
         u"تنبيه: عاصفة ترابية في الرياض | الرياض: عاصفة ترابية اليوم من الساعة 10 مساءً إلى 11 مساءً، الغبار 1450 ميكروغرام/م³"_qs}};
    QTest::newRow("a peak that rises") << QList<QStringList>{{"", dust, heat, toldBoth},
        {"", warning("dust", "08T15:00", "08T21:00", "1900"), warning("heat", "09T00:00", "10T00:00", "49.9")},
        {"", warning("dust", "08T15:00", "08T21:00", "2300"), warning("heat", "09T00:00", "10T00:00", "50.2"),
         u"تنبيه: عاصفة ترابية في الرياض وتنبيه آخر | الرياض: عاصفة ترابية اليوم من الساعة 3 مساءً إلى 9 مساءً، "
         u"الغبار 2300 ميكروغرام/م³ / جدة: موجة حر شديدة غداً، العظمى 50°"_qs},
        {"", warning("dust", "08T15:00", "08T21:00", "2300"), warning("heat", "09T00:00", "10T00:00", "50.2")}};
    // Told only once the service has shown it: refused, it is tried again.
    QTest::newRow("a failed Notify") << QList<QStringList>{{"refuse", dust, "", toldDust}, {"", dust, "", toldDust},
                                                           {"", dust, ""}};
    // With a city chosen, only its warnings are told; with none, every city's again.
    QTest::newRow("a chosen city") << QList<QStringList>{{"mine JED", dust, heat, u"تنبيه: موجة حر شديدة في جدة | "_qs + heatLine},
                                                         {"", dust, heat}, {"mine", dust, heat, toldDust}};
    QTest::newRow("the chosen city after the store's reset") << QList<QStringList>{{"mine JED", dust, ""}, {"first close", dust, heat,
        u"تنبيه: موجة حر شديدة في جدة | "_qs + heatLine}};
    QTest::newRow("a refresh with three new warnings") << QList<QStringList>{{"", dust, "", toldDust},
        {"", n(dust, heat), n(wind, thunder), u"تنبيه: موجة حر شديدة في الرياض وتنبيهان آخران | الرياض: موجة حر شديدة غداً، العظمى 49° / "
         u"جدة: عواصف رعدية اليوم / جدة: رياح شديدة غداً، هبات حتى 75 كم/س"_qs}};
    // In English (the board restarted in it), with English plurals; what
    // was told in one language is not told again in the other.
    const QString dustEnglish = u"Riyadh: Dust storm today from 3 PM to 9 PM, dust 1450 µg/m³"_qs;
    const QString heatEnglish = u"Jeddah: Extreme heat tomorrow, high 49°"_qs;
    QTest::newRow("in English") << QList<QStringList>{{"en", dust, heat,
        u"Warning: Dust storm in Riyadh and 1 more warning | "_qs + dustEnglish + u" / "_qs + heatEnglish}};
    QTest::newRow("in English, three more") << QList<QStringList>{{"en", n(dust, heat), n(wind, thunder),
        u"Warning: Dust storm in Riyadh and 3 more warnings | "_qs + dustEnglish + u" / Riyadh: Extreme heat tomorrow, high 49° / "
        u"Jeddah: Thunderstorms today / Jeddah: Strong wind tomorrow, gusts up to 75 km/h"_qs}};
    QTest::newRow("in English, over two days and on a weekday") << QList<QStringList>{{"en", "",
        n(n(rainToday, rain), warning("rain", "10T00:00", "11T00:00", "20")),
        u"Warning: Heavy rain, flash floods likely in Jeddah | Jeddah: Heavy rain, flash floods likely from today to Thu, 35 mm"_qs},
        {"", warning("dust", "10T03:00", "10T05:00", "1100"), "",
         u"Warning: Dust storm in Riyadh | Riyadh: Dust storm on Thu from 3 AM to 5 AM, dust 1100 µg/m³"_qs}};
    QTest::newRow("told in Arabic, not again in English") << QList<QStringList>{{"", dust, heat, toldBoth},
        {"en", dust, heat}};
    QTest::newRow("told in English, not again in Arabic") << QList<QStringList>{{"en", dust, "",
        u"Warning: Dust storm in Riyadh | "_qs + dustEnglish}, {"ar", dust, ""}};
    QTest::newRow("four") << QList<QStringList>{{"", n(dust, heat), n(wind, thunder),
        u"تنبيه: عاصفة ترابية في الرياض و3 تنبيهات أخرى | "_qs + dustLine + u" / الرياض: موجة حر شديدة غداً، العظمى 49° / "
        u"جدة: عواصف رعدية اليوم / جدة: رياح شديدة غداً، هبات حتى 75 كم/س"_qs}};

    // The centre's alerts: first in the notice, a line each naming every
    // city that carries it, red ones critical; told once per identifier.
    const QString alertSummary = u"تنبيه من المركز الوطني للأرصاد: غبار في الرياض"_qs;
    const QString afternoon = u"اليوم من الساعة 3 مساءً إلى 9 مساءً"_qs;
    const QString alertLine = u"الرياض: تنبيه: غبار على المنطقة "_qs + afternoon;
    const QString toldRed = alertSummary + u" [critical] | "_qs + alertLine;
    const QString toldYellow = alertSummary + u" | "_qs + alertLine;
    const QString red = alert("2.49.0.1", "red");
    const QString yellow = alert("2.49.0.1", "yellow");
    QTest::newRow("an alert ahead of a warning, red is critical") << QList<QStringList>{
        {"", red, heat, alertSummary + u" وتنبيه آخر [critical] | "_qs + alertLine + u" / "_qs + heatLine}, {"", red, heat},
        {"restart", red, heat}};
    QTest::newRow("an alert over two cities, one line") << QList<QStringList>{
        {"", yellow, yellow, alertSummary + u" | الرياض، جدة: تنبيه: غبار على المنطقة "_qs + afternoon}};
    QTest::newRow("an update that raises the colour is news") << QList<QStringList>{{"", yellow, "", toldYellow},
        {"", alert("2.49.0.2", "red", "08T21:00", "2.49.0.1", "تنبيه أحمر"), "",
         alertSummary + u" [critical] | الرياض: تنبيه أحمر "_qs + afternoon}, {"", alert("2.49.0.2", "red", "08T21:00", "2.49.0.1"), ""}};
    QTest::newRow("an update that moves the end is news") << QList<QStringList>{{"", yellow, "", toldYellow},
        {"", alert("2.49.0.2", "yellow", "08T23:00", "2.49.0.1"), "",
         alertSummary + u" | الرياض: تنبيه: غبار على المنطقة اليوم من الساعة 3 مساءً إلى 11 مساءً"_qs}};
    // An update that says nothing new stands for the alert it replaces: its
    // Cancel takes back the notice that told that one.
    QTest::newRow("an update that says nothing new is not news") << QList<QStringList>{{"", red, "", toldRed},
        {"", alert("2.49.0.2", "orange", "08T21:00", "2.49.0.1"), ""}, {"", "", "", u"closed: "_qs + alertSummary}};
    QTest::newRow("a cancel closes its notice") << QList<QStringList>{{"", red, "", toldRed},
        {"", "", "", u"closed: "_qs + alertSummary}, {"", "", ""}};
    QTest::newRow("a notice of two alerts stays while one holds") << QList<QStringList>{
        {"", n(red, alert("2.49.0.3", "yellow", "08T20:00")), "",
         alertSummary + u" وتنبيه آخر [critical] | "_qs + alertLine + u" / الرياض: تنبيه: غبار على المنطقة اليوم من الساعة 3 مساءً إلى 8 مساءً"_qs},
        {"", red, ""}, {"", "", "", u"closed: "_qs + alertSummary + u" وتنبيه آخر"_qs}};
    QTest::newRow("a city whose document failed does not cancel") << QList<QStringList>{{"", yellow, "", toldYellow},
        {"", "fail", ""}, {"", yellow, ""}};
    QTest::newRow("an alert of a city not chosen") << QList<QStringList>{{"mine JED", red, heat, u"تنبيه: موجة حر شديدة في جدة | "_qs + heatLine},
        {"", red, heat}, {"mine", red, heat, toldRed}};
    QTest::newRow("a derived warning of the alert's kind and hours is not told apart") << QList<QStringList>{
        {"", n(red, dust), "", toldRed}, {"", n(red, dust), ""}};
    // clang-format on
}

void TestNotices::tellsEachWarningOnce()
{
    QFETCH(QList<QStringList>, steps);
    m_standIn.firstNoticeUs = -1;
    std::unique_ptr<frmWeatherMain> board = loadBoard();
    QVERIFY(board);
    int hour = 11;
    for (const QStringList &step : steps) {
        const QString what = step.at(0);
        // The language is chosen at start: the board starts again in it.
        if (what == QLatin1String("en") || what == QLatin1String("ar")) {
            board->Form_Unload();
            board.reset();
            setBoardLanguage(what == QLatin1String("en") ? BoardLanguage::English : BoardLanguage::Arabic);
            board = loadBoard();
            QVERIFY(board);
            pointFeedsAt(m_dir->filePath(QStringLiteral("wt.dar")),
                         m_server->url(QString()).toString(QUrl::StripTrailingSlash));
        }
        if (what == QLatin1String("restart") || what == QLatin1String("first close")) {
            // The first close on a machine discards the store; the next start makes it anew.
            if (what == QLatin1String("first close"))
                QVERIFY(QFile::remove(m_dir->filePath(QStringLiteral("qivwtv61.txt"))));
            board->Form_Unload();
            board.reset();
            board = loadBoard();
            QVERIFY(board);
            pointFeedsAt(m_dir->filePath(QStringLiteral("wt.dar")),
                         m_server->url(QString()).toString(QUrl::StripTrailingSlash));
        }
        if (what.startsWith(QLatin1String("mine"))) {
            for (const QString &code : board->boardWarnings()->ownCities())
                board->boardWarnings()->setOwnCity(code, false);
            board->boardWarnings()->setOwnCity(what.mid(5), true);
        }
        if (what.startsWith(QLatin1String("at ")))
            hour = what.mid(3).toInt();
        m_standIn.refuseNext = what == QLatin1String("refuse");
        m_warnings.insert(QStringLiteral("RUH"), step.at(1));
        m_warnings.insert(QStringLiteral("JED"), step.at(2));
        m_standIn.notices.clear();
        refresh(*board, hour++);
        QVERIFY(m_standIn.settle());
        QStringList told;
        for (const StandInNotifications::Notice &notice : std::as_const(m_standIn.notices)) {
            const bool critical = notice.hints.value(QStringLiteral("urgency")).toInt() == 2;
            told << notice.summary + (critical ? QStringLiteral(" [critical]") : QString()) + QStringLiteral(" | ")
                    + QString(notice.body).replace(u'\n', QStringLiteral(" / "));
            QCOMPARE(notice.hints.value(QStringLiteral("desktop-entry")).toString(),
                     QStringLiteral("org.example.rorizedivo"));
            QCOMPARE(notice.actions.value(0), QStringLiteral("default"));
        }
        for (const QString &closed : std::as_const(m_standIn.closed))
            told << QStringLiteral("closed: ") + closed;
        m_standIn.closed.clear();
        QCOMPARE(told, step.mid(3));
    }
    if (m_standIn.firstNoticeUs >= 0 && QTest::currentDataTag() == QLatin1String("a refresh's warnings in one notice"))
        qInfo("from the refresh's last document's answer to its notice: %lld us", m_standIn.firstNoticeUs);
}

void TestNotices::defaultActionShowsTheCity()
{
    m_warnings.insert(QStringLiteral("JED"), warning("heat", "09T00:00", "10T00:00"));
    std::unique_ptr<frmWeatherMain> board = loadBoard();
    QVERIFY(board);
    refresh(*board, 11);
    QVERIFY(m_standIn.settle());
    QCOMPARE(m_standIn.notices.size(), 1);
    QVERIFY(board->PictureHideDetail()->isHidden());
    m_standIn.invoke(1, QStringLiteral("default"));
    QTRY_VERIFY(!board->PictureHideDetail()->isHidden());
    QCOMPARE(board->lblCityD()->text(), QStringLiteral(u"جدة"));
    QCOMPARE(board->cityDetail()->lblWarningD()->text(), QStringLiteral(u"تنبيه: موجة حر شديدة غداً"));
}

void TestNotices::runsOnWithoutTheService()
{
    m_standIn.stop();
    m_warnings.insert(QStringLiteral("RUH"), warning("dust", "08T10:00", "08T21:00"));
    std::unique_ptr<frmWeatherMain> board = loadBoard();
    QVERIFY(board);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^no desktop notifications: ")));
    refresh(*board, 11);
    // The answer that no service owns the name comes back; said once.
    QTRY_VERIFY(board->stripWarningSign()->isVisibleTo(board.get()));
    m_warnings.insert(QStringLiteral("JED"), warning("heat", "09T00:00", "10T00:00"));
    refresh(*board, 12);
    QVERIFY(board->refreshReachedEnd());
    QCOMPARE(board->stripWarningSign()->accessibleName(),
             QStringLiteral(u"الرياض، تنبيه: عاصفة ترابية اليوم حتى 9 مساءً"));
    QVERIFY(m_standIn.start());
    QVERIFY(m_standIn.settle());
}

QTEST_MAIN(TestNotices)
#include "tst_notices.moc"
