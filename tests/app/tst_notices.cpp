// The board's warnings told through the desktop, against a stand-in
// notification service on a private session bus (ctest runs this under
// dbus-run-session).
#include "app/frmWeatherMain.h"
#include "boardfixture.h"
#include "platform/desktopnotices.h"
#include "store/weatherstore.h"
#include "testsupport.h"

#include <QDBusConnection>
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
// on a connection of its own and records every notice.
class StandInNotifications : public QObject
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
    QElapsedTimer sinceDocument; // started as the warned city's document is answered
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
        return uint(notices.size());
    }

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
    m_warnings.clear();
    QVERIFY(m_standIn.start());
    m_standIn.notices.clear();
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
        if (!doc.warnings.isEmpty() && !m_standIn.sinceDocument.isValid())
            m_standIn.sinceDocument.start();
        HttpResponse response;
        response.body = doc.toXml();
        return response;
    });
}

void TestNotices::cleanup()
{
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
QString warning(const char *kind, const char *start, const char *end)
{
    return QStringLiteral(
               R"(<rorizedivo:warning kind="%1" start="2026-12-%2:00+03:00" end="2026-12-%3:00+03:00" peak="1"/>)")
        .arg(QLatin1String(kind), QLatin1String(start), QLatin1String(end));
}
} // namespace

void TestNotices::tellsEachWarningOnce_data()
{
    // At each step the documents carry these warnings, the board refreshes
    // (a restarted one first), and these notices are sent, as "summary |
    // body".
    QTest::addColumn<QList<QStringList>>("steps"); // {restart?, RUH's, JED's, notices...}
    const QString dust = warning("dust", "08T15:00", "08T21:00");
    const QString dustAnHourOn = warning("dust", "08T16:00", "08T22:00");
    const QString heat = warning("heat", "09T00:00", "10T00:00");
    const QString rain = warning("rain", "09T00:00", "10T00:00");
    const QString toldDust = QStringLiteral(u"تنبيه: عاصفة ترابية في الرياض | اليوم من الساعة 3 مساءً إلى 9 مساءً");
    const QString toldHeat = QStringLiteral(u"تنبيه: موجة حر شديدة في جدة | غداً");
    QTest::newRow("each new warning once") << QList<QStringList>{{"", dust, heat, toldDust, toldHeat}};
    QTest::newRow("not at the next refresh")
        << QList<QStringList>{{"", dust, heat, toldDust, toldHeat}, {"", dust, heat}};
    QTest::newRow("a storm under way, derived again")
        << QList<QStringList>{{"", dust, "", toldDust}, {"", dustAnHourOn, ""}};
    QTest::newRow("not after a restart") << QList<QStringList>{{"", dust, heat, toldDust, toldHeat},
                                                               {"restart", dust, heat}};
    QTest::newRow("another kind for the same city") << QList<QStringList>{
        {"", dust, "", toldDust},
        {"", dust + QLatin1Char('\n') + rain, "", QStringLiteral(u"تنبيه: أمطار غزيرة وسيول محتملة في الرياض | غداً")}};
    QTest::newRow("the same kind at another time")
        << QList<QStringList>{{"", dust, "", toldDust},
                              {"", warning("dust", "09T03:00", "09T05:00"), "",
                               QStringLiteral(u"تنبيه: عاصفة ترابية في الرياض | غداً من الساعة 3 صباحاً إلى 5 صباحاً")}};
    QTest::newRow("a warning gone from the document is not told") << QList<QStringList>{{"", "", ""}};
}

void TestNotices::tellsEachWarningOnce()
{
    QFETCH(QList<QStringList>, steps);
    m_standIn.sinceDocument.invalidate();
    m_standIn.firstNoticeUs = -1;
    std::unique_ptr<frmWeatherMain> board = loadBoard();
    QVERIFY(board);
    int hour = 11;
    for (const QStringList &step : steps) {
        if (step.at(0) == QLatin1String("restart")) {
            board->Form_Unload();
            board.reset();
            board = loadBoard();
            QVERIFY(board);
        }
        m_warnings.insert(QStringLiteral("RUH"), step.at(1));
        m_warnings.insert(QStringLiteral("JED"), step.at(2));
        m_standIn.notices.clear();
        refresh(*board, hour++);
        QVERIFY(m_standIn.settle());
        QStringList told;
        for (const StandInNotifications::Notice &notice : std::as_const(m_standIn.notices)) {
            told << notice.summary + QStringLiteral(" | ") + notice.body;
            QCOMPARE(notice.hints.value(QStringLiteral("desktop-entry")).toString(),
                     QStringLiteral("org.example.rorizedivo"));
            QCOMPARE(notice.actions.value(0), QStringLiteral("default"));
        }
        QCOMPARE(told, step.mid(3));
    }
    if (m_standIn.firstNoticeUs >= 0 && QTest::currentDataTag() == QLatin1String("each new warning once"))
        qInfo("from the warned document's answer to its notice: %lld us", m_standIn.firstNoticeUs);
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
