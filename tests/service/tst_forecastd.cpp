// The forecastd program itself: options, replay of the bundled demo folder,
// the live path end to end against a fake upstream, and the demo folder
// being what the program renders from its hand-made upstream answers.

#include "servicetestdata.h"
#include "testsupport.h"

#include "service/locationtable.h"
#include "service/serviceconfig.h"
#include "service/servicelog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// Debian's libfaketime (package faketime).
constexpr char FakeTimeLibrary[] = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

struct Fetched
{
    int status = 0;
    QByteArray contentType;
    QByteArray body;
};

Fetched fetch(const QUrl &url)
{
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(QNetworkRequest(url));
    QElapsedTimer waited;
    waited.start();
    while (!reply->isFinished() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    Fetched fetched;
    fetched.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    fetched.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    fetched.body = reply->readAll();
    delete reply;
    return fetched;
}

// Starts forecastd as systemd's socket unit does: the listening socket as
// descriptor 3, LISTEN_FDS=1 and LISTEN_PID naming the service's process
// (the shell's own, which exec keeps). Its standard error goes to `log`.
// The demo documents' own hour, 13:05 AST: a replay at it moves nothing.
const QByteArray DemoHour = "2026-12-07 10:05:00";

pid_t startOnSocket(int listening, const QStringList &arguments, const QString &log,
                    const QByteArray &clockStartsAt = {})
{
    QByteArray start = "LISTEN_PID=$$ LISTEN_FDS=1 ";
    if (!clockStartsAt.isEmpty()) {
        // As start() sets the clock going, below.
        start += "LD_PRELOAD=" + QByteArray(FakeTimeLibrary) + " FAKETIME='@" + clockStartsAt
            + "' FAKETIME_DONT_FAKE_MONOTONIC=1 TZ=UTC ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}"
              "verify_asan_link_order=0\" ";
    }
    start += "exec \"$0\" \"$@\"";
    std::vector<QByteArray> words = {"/bin/sh", "-c", start, FORECASTD_PATH};
    for (const QString &argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const QByteArray logPath = log.toLocal8Bit();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, listening, 3);
    posix_spawn_file_actions_addopen(&actions, 2, logPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

} // namespace

class TestForecastd : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void replaysTheDemoFolder();
    void servesLiveAndRecords_data();
    void servesLiveAndRecords();
    void demoFolderIsWhatTheProgramRenders();
    void refusesBadOptions_data();
    void refusesBadOptions();
    void settingsVerdicts_data();
    void settingsVerdicts();
    void settingsSources_data();
    void settingsSources();
    void masksKeys_data();
    void masksKeys();
    void tellsItsVersionWithoutServing();
    void saysWhenThePortIsTaken();
    void servesOnASocketFromSystemd();

private:
    // Starts the service on a free port, with a cache folder of its own and
    // no configuration file; 0 when it did not come up. With a time, its
    // clock starts at that time (UTC) and runs on from there.
    quint16 start(const QStringList &arguments, const QByteArray &clockStartsAt = {});
    QByteArray m_errors;
    QTemporaryDir m_cache;
    QString m_zone = QStringLiteral("UTC"); // the machine's zone (TZ) under a clock set going
    std::unique_ptr<QProcess> m_service;
};

void TestForecastd::cleanup()
{
    if (m_service) {
        m_service->terminate();
        m_service->waitForFinished(5000);
        m_service.reset();
    }
    // Each test's service starts without the answers of the one before.
    QDir(m_cache.filePath(QStringLiteral("rorizedivo"))).removeRecursively();
}

quint16 TestForecastd::start(const QStringList &arguments, const QByteArray &clockStartsAt)
{
    m_service = std::make_unique<QProcess>();
    m_service->setProgram(QStringLiteral(FORECASTD_PATH));
    QStringList options{QStringLiteral("--port"), QStringLiteral("0")};
    if (!arguments.contains(QLatin1String("--replay")) && !arguments.contains(QLatin1String("--config")))
        options << QStringLiteral("--config") << QStringLiteral("/dev/null");
    m_service->setArguments(options + arguments);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_cache.path());
    if (!clockStartsAt.isEmpty()) {
        // libfaketime moves the wall clock only; timers run as they do.
        environment.insert(QStringLiteral("LD_PRELOAD"), QString::fromLatin1(FakeTimeLibrary));
        environment.insert(QStringLiteral("FAKETIME"), QLatin1Char('@') + QString::fromLatin1(clockStartsAt));
        environment.insert(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
        // Under AddressSanitizer the preloaded library stands before its
        // runtime, which it refuses unless told that this is meant.
        const QString sanitizer = environment.value(QStringLiteral("ASAN_OPTIONS"));
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           sanitizer + (sanitizer.isEmpty() ? "" : ":") + QStringLiteral("verify_asan_link_order=0"));
        environment.insert(QStringLiteral("TZ"), m_zone);
    }
    m_service->setProcessEnvironment(environment);
    m_errors.clear();
    m_service->start();
    const QRegularExpression serving(QStringLiteral("serving http://127\\.0\\.0\\.1:(\\d+)/forecastrss"));
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000 && m_service->state() != QProcess::NotRunning) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        m_service->waitForReadyRead(10);
        m_errors += m_service->readAllStandardError();
        const auto match = serving.match(QString::fromUtf8(m_errors));
        if (match.hasMatch())
            return static_cast<quint16>(match.captured(1).toUInt());
    }
    qWarning("forecastd did not come up: %s", m_errors.constData());
    return 0;
}

void TestForecastd::replaysTheDemoFolder()
{
    const quint16 port = start({QStringLiteral("--replay"), serviceSamplesPath(QStringLiteral("demo"))});
    QVERIFY(port);
    // Published in the hour it is asked in, in Riyadh's time.
    const auto thisHour = [] {
        const QDateTime riyadh = QDateTime::currentDateTimeUtc().toOffsetFromUtc(3 * 3600);
        return QLocale::c().toString(QDateTime(riyadh.date(), QTime(riyadh.time().hour(), 0)),
                                     QStringLiteral("ddd, dd MMM yyyy h:mm ap"))
            + QStringLiteral(" AST");
    };
    const QString before = thisHour();
    const Fetched fetched = fetch(QUrl(QStringLiteral("http://127.0.0.1:%1/forecastrss?p=SAXX0017&u=c").arg(port)));
    const QString after = thisHour();
    QCOMPARE(fetched.status, 200);
    QCOMPARE(fetched.contentType, QByteArray("text/xml; charset=utf-8"));
    const QString published = QRegularExpression(QStringLiteral("<pubDate>([^<]+)</pubDate>"))
                                  .match(QString::fromUtf8(fetched.body))
                                  .captured(1);
    QVERIFY2(published == before || published == after, qPrintable(published));
    QVERIFY(fetched.body.contains("<title>Weather - Riyadh, SA</title>"));
    QCOMPARE(fetch(QUrl(QStringLiteral("http://127.0.0.1:%1/forecastrss?p=SAXX0017&u=f").arg(port))).status, 503);

    // In the documents' own hour, each is replayed as it was recorded, byte
    // for byte, its warnings and hours included.
    if (!QFileInfo::exists(QLatin1String(FakeTimeLibrary)))
        QSKIP("libfaketime is not installed (scripts/setup installs it)");
    cleanup();
    const quint16 demo = start({QStringLiteral("--replay"), serviceSamplesPath(QStringLiteral("demo"))}, DemoHour);
    QVERIFY(demo);
    for (const char *id : {"SAXX0017", "SAXX0030"}) {
        const Fetched recorded = fetch(
            QUrl(QStringLiteral("http://127.0.0.1:%1/forecastrss?p=%2&u=c").arg(demo).arg(QLatin1String(id))));
        QCOMPARE(recorded.status, 200);
        QCOMPARE(recorded.body, readWhole(serviceSamplesPath(QStringLiteral("demo/%1.xml").arg(QLatin1String(id)))));
    }
}

// The documents are the cities' whatever the machine's zone, one its zone
// database lacks too: every time at +03:00.
void TestForecastd::servesLiveAndRecords_data()
{
    QTest::addColumn<QString>("zone");
    QTest::newRow("UTC") << "UTC";
    QTest::newRow("a zone the machine can't find") << "Nowhere/Atlantis";
}

void TestForecastd::servesLiveAndRecords()
{
    QFETCH(QString, zone);
    m_zone = zone;
    LoopbackHttpServer upstream;
    QVERIFY(upstream.listen());
    serveSampleAnswers(upstream);
    QTemporaryDir record;
    if (!QFileInfo::exists(QLatin1String(FakeTimeLibrary)))
        QSKIP("libfaketime is not installed (scripts/setup installs it)");
    // The settings file gives the air-quality upstream, a key, a budget and
    // the national centre's alert feed (the demo's alert, a CAP document);
    // the command line's forecast upstream wins over the file's.
    upstream.serve(QStringLiteral("/alerts.xml"), readWhole(serviceSamplesPath(QStringLiteral("upstream/alerts.xml"))),
                   200, "application/cap+xml");
    const QString config = record.filePath(QStringLiteral("forecastd.conf"));
    QFile settings(config);
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("forecast-upstream = http://127.0.0.1:9/nowhere\n# a comment\nair-quality-upstream = "
                   + upstream.url(QStringLiteral("/v1/air-quality")).toEncoded()
                   + "\napi-key = K3y\ndaily-budget = 1234\nofficial-warnings = "
                   + upstream.url(QStringLiteral("/alerts.xml")).toEncoded() + "\n");
    settings.close();
    // 13:05 AST, the hour of the sample answers' current conditions.
    const quint16 port = start({QStringLiteral("--upstream"), upstream.url(QStringLiteral("/v1/forecast")).toString(),
                                QStringLiteral("--config"), config, QStringLiteral("--record"), record.path()},
                               "2026-12-07 10:05:00");
    QVERIFY(port);
    const auto feed = [port](const char *id) {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/forecastrss?p=%2&u=c").arg(port).arg(QLatin1String(id)));
    };

    // The same answers rendered by the program at build time for the demo;
    // Qassim in its dust, from the air-quality answer, with the centre's
    // alert of it. Both are recorded.
    for (const char *id : {"SAXX0036", "SAXX0030"}) {
        const Fetched fetched = fetch(feed(id));
        QCOMPARE(fetched.status, 200);
        const QString name = QLatin1String(id) + QStringLiteral(".xml");
        QCOMPARE(fetched.body, readWhole(serviceSamplesPath(QStringLiteral("demo/") + name)));
        QCOMPARE(readWhole(QDir(record.path()).filePath(name)), fetched.body);
    }
    QVERIFY(readWhole(QDir(record.path()).filePath(QStringLiteral("SAXX0030.xml"))).contains("code=\"19\""));
    // One wave: a forecast and an air-quality request; and one look at the
    // alert feed, without the key.
    const auto weatherRequests = [&upstream] {
        QList<HttpRequest> weather;
        for (const HttpRequest &request : upstream.requests()) {
            if (request.path != QLatin1String("/alerts.xml"))
                weather << request;
        }
        return weather;
    };
    QCOMPARE(weatherRequests().size(), 2);
    for (const HttpRequest &request : upstream.requests()) {
        QVERIFY(request.header("User-Agent").startsWith("forecastd/"));
        QCOMPARE(QUrlQuery(request.query).queryItemValue(QStringLiteral("apikey")),
                 request.path == QLatin1String("/alerts.xml") ? QString() : QStringLiteral("K3y"));
    }
    QCOMPARE(upstream.requests().size(), 3);
    const QByteArray metrics = fetch(QUrl(QStringLiteral("http://127.0.0.1:%1/metrics").arg(port))).body;
    QVERIFY2(metrics.contains("forecastd_daily_budget_weighted_calls 1234\n"), metrics.constData());
    QVERIFY(metrics.contains("forecastd_upstream_weighted_calls_today{api=\"forecast\"} 36\n"));

    // Served from the cache the second time; healthy; the answers kept on disk.
    QCOMPARE(fetch(feed("SAXX0036")).status, 200);
    QCOMPARE(weatherRequests().size(), 2);
    QCOMPARE(fetch(QUrl(QStringLiteral("http://127.0.0.1:%1/health").arg(port))).status, 200);
    QVERIFY(QFile::exists(m_cache.filePath(QStringLiteral("rorizedivo/forecastd/forecasts.json"))));
}

void TestForecastd::demoFolderIsWhatTheProgramRenders()
{
    QTemporaryDir out;
    QProcess render;
    render.start(QStringLiteral(FORECASTD_PATH),
                 {QStringLiteral("--render"), serviceSamplesPath(QStringLiteral("upstream")),
                  QStringLiteral("--output"), out.path()});
    QVERIFY(render.waitForFinished(20000));
    QCOMPARE(render.exitCode(), 0);

    const QStringList demo =
        QDir(serviceSamplesPath(QStringLiteral("demo"))).entryList({QStringLiteral("*.xml")}, QDir::Files);
    QCOMPARE(demo.size(), LocationTable::builtIn().locations().size());
    for (const Location &location : LocationTable::builtIn().locations()) {
        const QString name = location.id + QStringLiteral(".xml");
        QVERIFY2(
            readWhole(QDir(out.path()).filePath(name)) == readWhole(serviceSamplesPath(QStringLiteral("demo/") + name)),
            qPrintable(name + QStringLiteral(" is not what forecastd --render writes; render the demo folder again")));
    }
}

void TestForecastd::refusesBadOptions_data()
{
    // clang-format off
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("config"); // the text of the file given by --config; none when empty
    QTest::addColumn<QByteArray>("said");   // what standard error must tell

    QTest::newRow("unknown setting") << QStringList() << QByteArray("# the budget\n\ndaily-budgte = 10\n") << QByteArray(".conf:3: no such setting: daily-budgte");
    QTest::newRow("line without =") << QStringList() << QByteArray("forecast-upstream https://x.example/\n") << QByteArray(".conf:1: not a line of the form key = value");
    QTest::newRow("budget not a number") << QStringList() << QByteArray("daily-budget = lots") << QByteArray(".conf:1: not a number");
    QTest::newRow("budget of nothing") << QStringList() << QByteArray("daily-budget = 0") << QByteArray(".conf:1:");
    QTest::newRow("key with a blank") << QStringList() << QByteArray("api-key = a b") << QByteArray(".conf:1: an API key is");
    QTest::newRow("setting twice") << QStringList() << QByteArray("daily-budget = 500\ndaily-budget = 600\n") << QByteArray(".conf:2: daily-budget is given again (first on line 1)");
    QTest::newRow("upstream in the file not http") << QStringList() << QByteArray("forecast-upstream = ftp://x.example/") << QByteArray(".conf:1: not an http(s) address");
    QTest::newRow("configuration file missing") << QStringList{"--config", "/nonexistent/forecastd.conf"} << QByteArray() << QByteArray("/nonexistent/forecastd.conf");
    QTest::newRow("daily budget option not a number") << QStringList{"--daily-budget", "-3"} << QByteArray() << QByteArray("--daily-budget");
    QTest::newRow("official warning feed not http") << QStringList{"--official-warnings", "https://ncm.gov.sa/ar/cap-alerts", "--official-warnings", "file:///tmp/x"} << QByteArray() << QByteArray("--official-warnings: address 2 of the feeds is not an http(s) address");
    QTest::newRow("port not a number") << QStringList{"--port", "eighty"} << QByteArray() << QByteArray();
    QTest::newRow("port too large") << QStringList{"--port", "70000"} << QByteArray() << QByteArray();
    QTest::newRow("replay folder missing") << QStringList{"--replay", "/nonexistent/forecasts"} << QByteArray() << QByteArray();
    QTest::newRow("upstream not http") << QStringList{"--upstream", "ftp://127.0.0.1/forecast"} << QByteArray() << QByteArray();
    QTest::newRow("air-quality upstream not http") << QStringList{"--air-quality-upstream", "file:///tmp/air"} << QByteArray() << QByteArray();
    QTest::newRow("replay and upstream") << QStringList{"--replay", "/tmp", "--upstream", "http://127.0.0.1/"} << QByteArray() << QByteArray();
    QTest::newRow("replay and air-quality upstream") << QStringList{"--replay", "/tmp", "--air-quality-upstream", "http://127.0.0.1/"} << QByteArray() << QByteArray();
    QTest::newRow("render without output") << QStringList{"--render", "/tmp"} << QByteArray() << QByteArray();
    QTest::newRow("idle exit not a number of seconds") << QStringList{"--idle-exit", "-5"} << QByteArray() << QByteArray();
    // clang-format on
}

void TestForecastd::refusesBadOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, config);
    QFETCH(QByteArray, said);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("forecastd.conf"));
    if (!config.isEmpty()) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(config) == config.size());
        arguments << QStringLiteral("--config") << file;
    }
    QProcess process;
    process.start(QStringLiteral(FORECASTD_PATH), arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    const QByteArray errors = process.readAllStandardError();
    QVERIFY(!errors.isEmpty());
    QVERIFY2(errors.contains(said), errors.constData());
}

// What --check-config says of a settings file is what the service says when
// it starts with it, naming the file and the line and never a value.
void TestForecastd::settingsVerdicts_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QByteArray>("said");   // empty: the file is good
    QTest::addColumn<QByteArray>("secret"); // what must not be told

    QTest::newRow("good") << QByteArray("# a site cache\nforecast-upstream = http://127.0.0.1:9/v1/forecast\napi-key = S3CRETKEY123\n") << QByteArray() << QByteArray("S3CRETKEY123");
    QTest::newRow("key written without =") << QByteArray("\napi-key: S3CRETKEY123\n") << QByteArray(".conf:2: not a line of the form key = value") << QByteArray("S3CRETKEY123");
    QTest::newRow("key where the name goes") << QByteArray("S3CRETKEY123 = 1\n") << QByteArray(".conf:1: no such setting (") << QByteArray("S3CRETKEY123");
    QTest::newRow("address with a key, not http") << QByteArray("forecast-upstream = ftp://x.example/?apikey=S3CRETKEY123") << QByteArray(".conf:1: not an http(s) address") << QByteArray("S3CRETKEY123");
    QTest::newRow("official warnings turned off") << QByteArray("official-warnings =\n") << QByteArray() << QByteArray("S3CRET");
    QTest::newRow("official warnings through a site cache") << QByteArray("official-warnings = https://ncm.gov.sa/ar/cap-alerts  https://ncm.gov.sa/en/cap-alerts\nofficial-warnings-cache = http://cache.example:8620/official-warnings/\n") << QByteArray() << QByteArray("S3CRET");
    QTest::newRow("official warning address not http") << QByteArray("official-warnings = https://ncm.gov.sa/ar/cap-alerts ftp://x.example/?k=S3CRET\n") << QByteArray(".conf:1: address 2 of the feeds is not an http(s) address") << QByteArray("S3CRET");
    QTest::newRow("official warnings' certificates missing") << QByteArray("official-warnings-ca = /nonexistent/S3CRET.pem\n") << QByteArray(".conf:1: the certificates' file cannot be read") << QByteArray("S3CRET");
    QTest::newRow("official warnings' certificates none") << QByteArray("official-warnings-ca = /dev/null\n") << QByteArray(".conf:1: the certificates' file holds no PEM certificate") << QByteArray("S3CRET");
    QTest::newRow("budget below one wave") << QByteArray("daily-budget = 59.5") << QByteArray(".conf:1: the daily budget is smaller than one wave of 60 weighted calls") << QByteArray("59.5");
    // clang-format on
}

void TestForecastd::settingsVerdicts()
{
    QFETCH(QByteArray, config);
    QFETCH(QByteArray, said);
    QFETCH(QByteArray, secret);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("forecastd.conf"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(config) == config.size());
    out.close();

    QProcess check;
    check.start(QStringLiteral(FORECASTD_PATH), {QStringLiteral("--check-config"), file});
    QVERIFY(check.waitForFinished(10000));
    const QByteArray verdict = check.readAllStandardError();
    QCOMPARE(check.exitCode(), said.isEmpty() ? 0 : 1);
    QVERIFY2(verdict.contains(said.isEmpty() ? QByteArray("the settings are good") : said), verdict.constData());
    QVERIFY2(!verdict.contains(secret), verdict.constData());
    if (said.isEmpty())
        return;

    QProcess service;
    service.start(QStringLiteral(FORECASTD_PATH), {QStringLiteral("--config"), file, QStringLiteral("--port"), "0"});
    QVERIFY(service.waitForFinished(10000));
    QCOMPARE(service.exitCode(), 2);
    const QByteArray errors = service.readAllStandardError();
    QVERIFY2(errors.contains(file.toLocal8Bit() + said.mid(5)) && !errors.contains(secret), errors.constData());
}

// Where a service takes its settings from, as it was started.
void TestForecastd::settingsSources_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("credential"); // the system unit's copy; none when empty
    QTest::addColumn<QByteArray>("system");     // "-": no file; "!": one that cannot be read
    QTest::addColumn<QByteArray>("user");       // none when empty
    QTest::addColumn<QString>("said");          // the error, or the warning; empty: nothing
    QTest::addColumn<double>("budget");         // when read; 0: not read

    const QByteArray bad = "daily-budget = 3000\napi-key: S3CRETKEY123\n";
    QTest::newRow("unit's copy, named as the system file") << bad << QByteArray("daily-budget = 4000") << QByteArray() << "/etc/rorizedivo/forecastd.conf:2: not a line" << 0.0;
    QTest::newRow("unit's copy, the user's not read") << QByteArray("daily-budget = 3000") << QByteArray("-") << QByteArray("daily-budget = 2000") << QString() << 3000.0;
    QTest::newRow("unit's default, no settings file") << QByteArray("# No /etc/rorizedivo/forecastd.conf: the service runs on its defaults.") << QByteArray("-") << QByteArray("daily-budget = 2000") << QString() << 5000.0;
    QTest::newRow("system file unreadable: skipped") << QByteArray() << QByteArray("!") << QByteArray() << "system: " << 5000.0;
    QTest::newRow("system file unreadable, the user's read") << QByteArray() << QByteArray("!") << QByteArray("daily-budget = 2000") << "system: " << 2000.0;
    QTest::newRow("the user's over the system's") << QByteArray() << QByteArray("daily-budget = 3000\napi-key = k") << QByteArray("daily-budget = 2000") << QString() << 2000.0;
    QTest::newRow("neither") << QByteArray() << QByteArray("-") << QByteArray() << QString() << 5000.0;
    QTest::newRow("the user's bad") << QByteArray() << QByteArray("-") << bad << "user.conf:2: not a line" << 0.0;
    QTest::newRow("system file bad: not skipped") << QByteArray() << bad << QByteArray() << "system:2: not a line" << 0.0;
    // clang-format on
}

void TestForecastd::settingsSources()
{
    QFETCH(QByteArray, credential);
    QFETCH(QByteArray, system);
    QFETCH(QByteArray, user);
    QFETCH(QString, said);
    QFETCH(double, budget);
    QTemporaryDir folder;
    const auto write = [&folder](const QString &name, const QByteArray &text) {
        QFile out(folder.filePath(name));
        return out.open(QIODevice::WriteOnly) && out.write(text) == text.size();
    };
    ServiceConfig::Sources sources;
    sources.systemPath = folder.filePath(QStringLiteral("system"));
    if (!credential.isEmpty()) {
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("credentials")));
        QVERIFY(write(QStringLiteral("credentials/forecastd.conf"), credential));
        sources.credentialsDirectory = folder.filePath(QStringLiteral("credentials"));
        sources.systemPath = QString::fromLatin1(ServiceConfig::DefaultPath);
    } else if (system == "!") {
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("system"))); // root reads any file, but no folder
    } else if (system != "-") {
        QVERIFY(write(QStringLiteral("system"), system));
    }
    sources.userPath = folder.filePath(QStringLiteral("user.conf"));
    if (!user.isEmpty())
        QVERIFY(write(QStringLiteral("user.conf"), user));

    ServiceConfig config;
    QStringList warnings;
    QString error;
    const bool read = config.readFrom(sources, &warnings, &error);
    QCOMPARE(read, budget > 0);
    const QString told = read ? warnings.join(u'\n') : error;
    QVERIFY2(said.isEmpty() ? told.isEmpty() : told.contains(said), qPrintable(told));
    QVERIFY(warnings.size() <= 1 && !told.contains(QLatin1String("S3CRETKEY123")));
    QVERIFY(!told.contains(QLatin1String("credentials")));
    if (read)
        QCOMPARE(config.dailyBudget, budget);
}

void TestForecastd::masksKeys_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("masked");

    QTest::newRow("in the query") << "live from https://x.example/v1/forecast?apikey=S3CRET&a=1 and more"
                                  << "live from https://x.example/v1/forecast?apikey=***&a=1 and more";
    QTest::newRow("last, any case") << "Error transferring http://h/f?latitude=1&APIKEY=S3CRET - server replied"
                                    << "Error transferring http://h/f?latitude=1&APIKEY=*** - server replied";
    QTest::newRow("percent-encoded") << "http://h/f?api%5Fkey%3DS3CRET"
                                     << "http://h/f?api%5Fkey%3D***";
    QTest::newRow("the word alone") << "an apikey is letters"
                                    << "an apikey is letters";
}

void TestForecastd::masksKeys()
{
    QFETCH(QString, line);
    QFETCH(QString, masked);
    QCOMPARE(maskSecrets(line), masked);
}

void TestForecastd::tellsItsVersionWithoutServing()
{
    QProcess process;
    process.start(QStringLiteral(FORECASTD_PATH), {QStringLiteral("--version")});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput().trimmed(), QByteArray("forecastd " FORECASTD_VERSION));
}

void TestForecastd::saysWhenThePortIsTaken()
{
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    QProcess process;
    process.start(QStringLiteral(FORECASTD_PATH),
                  {QStringLiteral("--port"), QString::number(taken.serverPort()), QStringLiteral("--replay"),
                   serviceSamplesPath(QStringLiteral("demo"))});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardError().contains("cannot listen on 127.0.0.1:"));
}

void TestForecastd::servesOnASocketFromSystemd()
{
    // The socket is made here, as systemd makes it, on a descriptor above 3
    // (dup2 onto the same number would keep it closed on exec).
    const int made = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    QVERIFY(made >= 0);
    const int listening = ::fcntl(made, F_DUPFD_CLOEXEC, 10);
    ::close(made);
    QVERIFY(listening >= 10);
    const auto closeSocket = qScopeGuard([listening] { ::close(listening); });
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QCOMPARE(::bind(listening, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    QCOMPARE(::listen(listening, 16), 0);
    QCOMPARE(::getsockname(listening, reinterpret_cast<sockaddr *>(&address), &length), 0);
    const quint16 port = ntohs(address.sin_port);

    QTemporaryDir scratch;
    const QString log = scratch.filePath(QStringLiteral("forecastd.log"));
    if (!QFileInfo::exists(QLatin1String(FakeTimeLibrary)))
        QSKIP("libfaketime is not installed (scripts/setup installs it)");
    const pid_t pid = startOnSocket(listening,
                                    {QStringLiteral("--replay"), serviceSamplesPath(QStringLiteral("demo")),
                                     QStringLiteral("--idle-exit"), QStringLiteral("1")},
                                    log, DemoHour);
    QVERIFY(pid > 0);
    int status = 0;
    bool ended = false;
    const auto stop = qScopeGuard([&] {
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
    });

    const Fetched fetched = fetch(QUrl(QStringLiteral("http://127.0.0.1:%1/forecastrss?p=SAXX0017&u=c").arg(port)));
    QCOMPARE(fetched.status, 200);
    QCOMPARE(fetched.body, readWhole(serviceSamplesPath(QStringLiteral("demo/SAXX0017.xml")))); // replayed in its hour

    // A second without a request, and it ends by itself.
    QElapsedTimer waited;
    waited.start();
    while (!ended && waited.elapsed() < 15000) {
        ended = ::waitpid(pid, &status, WNOHANG) == pid;
        QTest::qWait(20);
    }
    QVERIFY2(ended, readWhole(log).constData());
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    const QByteArray said = readWhole(log);
    QVERIFY2(said.contains("on the socket systemd handed over") && said.contains("no request for 1 s"),
             said.constData());
}

QTEST_GUILESS_MAIN(TestForecastd)
#include "tst_forecastd.moc"
