// The live source and its client against a fake upstream on loopback:
// request shape, answers of every kind, caching, sharing, the in-flight
// bound, back-off, Retry-After and stale serving. Time is a fake clock, so
// nothing here waits for real minutes.

#include "servicetestdata.h"
#include "testsupport.h"

#include "feed/documentloader.h"

#include "service/livesource.h"
#include "service/locationtable.h"
#include "service/openmeteoclient.h"

#include <QDomDocument>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTest>
#include <QThread>
#include <QUrlQuery>

#include <memory>

namespace {

// The sample answer for Riyadh was observed at 13:00 AST, 10:00 UTC.
const QDateTime Observed(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC);

QByteArray riyadhAnswer()
{
    return readWhole(serviceSamplesPath(QStringLiteral("upstream/SAXX0017.json")));
}

const Location &city(const char *id)
{
    return *LocationTable::builtIn().find(QString::fromLatin1(id));
}

// A huge answer, and how much of it the upstream may get written. What it
// has written includes what the connection holds unread, the kernel's
// buffers at both ends: on loopback several MiB, growing with what has gone
// through, and filled the sooner the slower the client is to close. So the
// bound is a share of the answer rather than something near the client's
// limit; the limit itself is pinned by the rows at and one byte past it.
constexpr int HugeMebibytes = 64;
constexpr qint64 HugeWrittenAtMost = qint64(HugeMebibytes) * 1024 * 1024 / 4;

// A fake upstream in a thread of its own, so that it goes on writing while
// the client's thread is busy.
class ThreadedUpstream
{
public:
    ThreadedUpstream()
    {
        m_context.moveToThread(&m_thread);
        m_thread.start();
        run([this] {
            m_server = new LoopbackHttpServer;
            m_listening = m_server->listen();
        });
    }

    ~ThreadedUpstream()
    {
        run([this] { delete m_server; });
        m_thread.quit();
        m_thread.wait();
    }

    // Runs `work` in the upstream's thread and waits for it.
    template<typename Work>
    void run(Work work)
    {
        QMetaObject::invokeMethod(&m_context, work, Qt::BlockingQueuedConnection);
    }

    bool listening() const { return m_listening; }
    LoopbackHttpServer *server() const { return m_server; }

    QUrl url(const QString &target)
    {
        QUrl url;
        run([this, &url, &target] { url = m_server->url(target); });
        return url;
    }

    qint64 bodyBytesSent()
    {
        qint64 sent = 0;
        run([this, &sent] { sent = m_server->bodyBytesSent(); });
        return sent;
    }

private:
    QThread m_thread;
    QObject m_context;
    LoopbackHttpServer *m_server = nullptr;
    bool m_listening = false;
};

} // namespace

class TestLiveForecasts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void requestShape();
    void upstreamAnswers_data();
    void upstreamAnswers();
    void hugeAnswerWhileTheClientIsBusy_data();
    void hugeAnswerWhileTheClientIsBusy();
    void cachedForFifteenMinutes();
    void oneCallPerCityAtATime();
    void atMostFourInFlight();
    void backsOffExponentially();
    void failuresOfOneWaveCountOnce();
    void honoursRetryAfter();
    void staleDocumentsForThreeHours();
    void staleNeedsAPublicationTime();

private:
    // Asks the source and waits (in the event loop) for its answer.
    ServedDocument ask(const Location &location, Units units = Units::Metric);
    void advance(int seconds) { m_now = m_now.addSecs(seconds); }
    int upstreamCalls() const { return m_upstream->requests().size(); }

    std::unique_ptr<LoopbackHttpServer> m_upstream;
    std::unique_ptr<OpenMeteoClient> m_client;
    std::unique_ptr<LiveForecastSource> m_source;
    QDateTime m_now;
};

void TestLiveForecasts::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("forecastd=false"));
}

void TestLiveForecasts::init()
{
    m_source.reset();
    m_client.reset();
    m_upstream = std::make_unique<LoopbackHttpServer>();
    QVERIFY(m_upstream->listen());
    m_client = std::make_unique<OpenMeteoClient>();
    m_client->setEndpoint(m_upstream->url(QStringLiteral("/v1/forecast")));
    m_client->setTimeout(2000);
    m_now = Observed.addSecs(5 * 60);
    m_source = std::make_unique<LiveForecastSource>(m_client.get(), [this] { return m_now; });
}

ServedDocument TestLiveForecasts::ask(const Location &location, Units units)
{
    std::optional<ServedDocument> answer;
    m_source->document(location, units, [&answer](const ServedDocument &served) { answer = served; });
    QElapsedTimer waited;
    waited.start();
    while (!answer && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!answer) {
        qWarning("no answer within 10 s");
        return {};
    }
    return *answer;
}

void TestLiveForecasts::requestShape()
{
    m_upstream->serve(QStringLiteral("/v1/forecast"), riyadhAnswer(), 200, "application/json");
    QCOMPARE(ask(city("SAXX0036")).status, ServedDocument::Status::Ok);
    QCOMPARE(upstreamCalls(), 1);

    const HttpRequest request = m_upstream->requests().first();
    QCOMPARE(request.path, QStringLiteral("/v1/forecast"));
    const QUrlQuery query(request.query);
    QCOMPARE(query.queryItemValue(QStringLiteral("latitude")), QStringLiteral("18.2333"));
    QCOMPARE(query.queryItemValue(QStringLiteral("longitude")), QStringLiteral("42.6500"));
    QCOMPARE(query.queryItemValue(QStringLiteral("current"), QUrl::FullyDecoded),
             QStringLiteral("temperature_2m,relative_humidity_2m,apparent_temperature,is_day,weather_code,"
                            "pressure_msl,wind_speed_10m,wind_direction_10m,visibility"));
    QCOMPARE(query.queryItemValue(QStringLiteral("daily"), QUrl::FullyDecoded),
             QStringLiteral("weather_code,temperature_2m_max,temperature_2m_min,sunrise,sunset"));
    QCOMPARE(query.queryItemValue(QStringLiteral("timezone"), QUrl::FullyDecoded), QStringLiteral("Asia/Riyadh"));
    QCOMPARE(query.queryItemValue(QStringLiteral("forecast_days")), QStringLiteral("5"));
    QVERIFY(request.header("User-Agent").startsWith("forecastd/"));
    QCOMPARE(request.header("Accept"), QByteArray("application/json"));
}

void TestLiveForecasts::upstreamAnswers_data()
{
    QTest::addColumn<QString>("upstream");
    QTest::addColumn<bool>("served");

    QTest::newRow("good answer") << "good" << true;
    QTest::newRow("nulls in every value") << "nulls" << true;
    QTest::newRow("error text appended to a 200") << "appended" << false;
    QTest::newRow("error object with 200") << "error-200" << false;
    QTest::newRow("400 with the error object") << "error-400" << false;
    QTest::newRow("429 too many requests") << "429" << false;
    QTest::newRow("500") << "500" << false;
    QTest::newRow("truncated JSON") << "truncated" << false;
    QTest::newRow("JSON array") << "array" << false;
    QTest::newRow("no current block") << "no-current" << false;
    QTest::newRow("empty body") << "empty" << false;
    QTest::newRow("answer as large as allowed") << "at-limit" << true;
    QTest::newRow("answer one byte too large") << "past-limit" << false;
    QTest::newRow("huge, length announced") << "huge" << false;
    QTest::newRow("huge, length not announced") << "huge-unannounced" << false;
    QTest::newRow("connection closed without answer") << "closed" << false;
    QTest::newRow("connection refused") << "refused" << false;
    QTest::newRow("no answer in time") << "hang" << false;
}

void TestLiveForecasts::upstreamAnswers()
{
    QFETCH(QString, upstream);
    QFETCH(bool, served);

    const QString target = QStringLiteral("/v1/forecast");
    const QByteArray json = "application/json";
    const QByteArray good = riyadhAnswer();
    const QByteArray errorObject = R"({"error":true,"reason":"Latitude must be in range of -90 to 90°."})";
    if (upstream == QLatin1String("good"))
        m_upstream->serve(target, good, 200, json);
    else if (upstream == QLatin1String("nulls"))
        m_upstream->serve(target, readWhole(serviceFixturePath(QStringLiteral("upstream/tabuk-nulls.json"))), 200, json);
    else if (upstream == QLatin1String("appended"))
        m_upstream->serve(target, good + "\nerror: the database is being updated\n", 200, json);
    else if (upstream == QLatin1String("error-200"))
        m_upstream->serve(target, errorObject, 200, json);
    else if (upstream == QLatin1String("error-400"))
        m_upstream->serve(target, errorObject, 400, json);
    else if (upstream == QLatin1String("429"))
        m_upstream->serve(target, R"({"error":true,"reason":"Daily API request limit exceeded."})", 429, json);
    else if (upstream == QLatin1String("500"))
        m_upstream->serve(target, "Internal Server Error", 500, "text/plain");
    else if (upstream == QLatin1String("truncated"))
        m_upstream->serve(target, good.left(good.size() / 2), 200, json);
    else if (upstream == QLatin1String("array"))
        m_upstream->serve(target, "[" + good + "]", 200, json);
    else if (upstream == QLatin1String("no-current"))
        m_upstream->serve(target, readWhole(serviceFixturePath(QStringLiteral("upstream/open-meteo-01-minimal-no-variables.json"))), 200, json);
    else if (upstream == QLatin1String("empty"))
        m_upstream->serve(target, QByteArray(), 200, json);
    else if (upstream == QLatin1String("at-limit"))
        m_upstream->serve(target, good.leftJustified(OpenMeteoClient::MaximumAnswerBytes, ' '), 200, json);
    else if (upstream == QLatin1String("past-limit"))
        m_upstream->serve(target, good.leftJustified(OpenMeteoClient::MaximumAnswerBytes + 1, ' '), 200, json);
    else if (upstream == QLatin1String("huge"))
        m_upstream->huge(target, HugeMebibytes, true);
    else if (upstream == QLatin1String("huge-unannounced"))
        m_upstream->huge(target, HugeMebibytes, false);
    else if (upstream == QLatin1String("closed"))
        m_upstream->closeImmediately(target);
    else if (upstream == QLatin1String("refused"))
        m_client->setEndpoint(QUrl(QStringLiteral("http://127.0.0.1:%1/v1/forecast").arg(unusedLoopbackPort())));
    else if (upstream == QLatin1String("hang")) {
        m_upstream->hang(target);
        m_client->setTimeout(200);
    }

    const ServedDocument answer = ask(city("SAXX0017"));
    if (served) {
        QCOMPARE(answer.status, ServedDocument::Status::Ok);
        QVERIFY(!parseFeedDocument(answer.body).isNull());
        QVERIFY(!m_source->backoffUntil().isValid());
    } else {
        QCOMPARE(answer.status, ServedDocument::Status::Unavailable);
        QVERIFY(answer.body.isEmpty());
        QCOMPARE(answer.retryAfterSeconds, LiveForecastSource::FirstBackoffSeconds);
        QCOMPARE(m_source->backoffUntil(), m_now.addSecs(LiveForecastSource::FirstBackoffSeconds));
    }
    // A huge answer is not read to its end.
    QVERIFY2(m_upstream->bodyBytesSent() <= HugeWrittenAtMost,
             qPrintable(QStringLiteral("%1 bytes written").arg(m_upstream->bodyBytesSent())));
}

void TestLiveForecasts::hugeAnswerWhileTheClientIsBusy_data()
{
    QTest::addColumn<bool>("announced");
    QTest::newRow("length announced") << true;
    QTest::newRow("length not announced") << false;
}

void TestLiveForecasts::hugeAnswerWhileTheClientIsBusy()
{
    // The client's thread is busy for a second as the answer begins, as it
    // may be on a loaded machine or in a slow build; meanwhile the network
    // layer must not go on taking the answer.
    QFETCH(bool, announced);
    const QString target = QStringLiteral("/v1/forecast");
    ThreadedUpstream upstream;
    QVERIFY(upstream.listening());
    upstream.run([&] { upstream.server()->huge(target, HugeMebibytes, announced); });
    m_client->setEndpoint(upstream.url(target));
    QObject busy;
    connect(upstream.server(), &LoopbackHttpServer::requestReceived, &busy, [] { QThread::msleep(1000); });

    const ServedDocument answer = ask(city("SAXX0017"));
    QCOMPARE(answer.status, ServedDocument::Status::Unavailable);
    QCOMPARE(m_source->backoffUntil(), m_now.addSecs(LiveForecastSource::FirstBackoffSeconds));
    const qint64 written = upstream.bodyBytesSent();
    QVERIFY2(written <= HugeWrittenAtMost, qPrintable(QStringLiteral("%1 bytes written").arg(written)));
}

void TestLiveForecasts::cachedForFifteenMinutes()
{
    m_upstream->serve(QStringLiteral("/v1/forecast"), riyadhAnswer(), 200, "application/json");
    const ServedDocument first = ask(city("SAXX0017"));
    QCOMPARE(first.status, ServedDocument::Status::Ok);
    QCOMPARE(upstreamCalls(), 1);

    advance(LiveForecastSource::FreshSeconds - 1);
    QCOMPARE(ask(city("SAXX0017")).body, first.body);
    const ServedDocument imperial = ask(city("SAXX0017"), Units::Imperial);
    QVERIFY(imperial.body.contains("temperature=\"F\""));
    QCOMPARE(upstreamCalls(), 1);

    // Another city is a call of its own.
    QCOMPARE(ask(city("SAXX0012")).status, ServedDocument::Status::Ok);
    QCOMPARE(upstreamCalls(), 2);

    advance(1);
    QCOMPARE(ask(city("SAXX0017")).status, ServedDocument::Status::Ok);
    QCOMPARE(upstreamCalls(), 3);
}

void TestLiveForecasts::oneCallPerCityAtATime()
{
    m_upstream->serve(QStringLiteral("/v1/forecast"), riyadhAnswer(), 200, "application/json");
    QList<ServedDocument> answers;
    auto collect = [&answers](const ServedDocument &served) { answers.append(served); };
    m_source->document(city("SAXX0017"), Units::Metric, collect);
    m_source->document(city("SAXX0017"), Units::Imperial, collect);
    m_source->document(city("SAXX0017"), Units::Metric, collect);
    QTRY_COMPARE(answers.size(), 3);
    QCOMPARE(upstreamCalls(), 1);
    for (const ServedDocument &answer : answers)
        QCOMPARE(answer.status, ServedDocument::Status::Ok);
    QVERIFY(answers[0].body.contains("temperature=\"C\""));
    QVERIFY(answers[1].body.contains("temperature=\"F\""));
    QCOMPARE(answers[2].body, answers[0].body);
}

void TestLiveForecasts::atMostFourInFlight()
{
    m_upstream->hang(QStringLiteral("/v1/forecast"));
    m_client->setTimeout(300);
    int answered = 0;
    const QList<Location> &all = LocationTable::builtIn().locations();
    for (int i = 0; i < 10; ++i)
        m_source->document(all[i], Units::Metric, [&answered](const ServedDocument &) { ++answered; });

    QTest::qWait(150);
    QCOMPARE(upstreamCalls(), OpenMeteoClient::MaximumInFlight);
    QCOMPARE(m_client->inFlight(), OpenMeteoClient::MaximumInFlight);
    QTRY_COMPARE_WITH_TIMEOUT(answered, 10, 5000);
    QCOMPARE(upstreamCalls(), 10);
    QCOMPARE(m_client->inFlight(), 0);
}

void TestLiveForecasts::backsOffExponentially()
{
    m_upstream->serve(QStringLiteral("/v1/forecast"), "busy", 503, "text/plain");
    QCOMPARE(ask(city("SAXX0017")).retryAfterSeconds, 30);
    QCOMPARE(upstreamCalls(), 1);

    advance(29);
    const ServedDocument waiting = ask(city("SAXX0017"));
    QCOMPARE(waiting.status, ServedDocument::Status::Unavailable);
    QCOMPARE(waiting.retryAfterSeconds, 1);
    QCOMPARE(upstreamCalls(), 1); // left alone, for every city
    QCOMPARE(ask(city("SAXX0012")).status, ServedDocument::Status::Unavailable);
    QCOMPARE(upstreamCalls(), 1);

    advance(1);
    QCOMPARE(ask(city("SAXX0017")).retryAfterSeconds, 60);
    QCOMPARE(upstreamCalls(), 2);
    advance(59);
    ask(city("SAXX0017"));
    QCOMPARE(upstreamCalls(), 2);
    advance(1);
    QCOMPARE(ask(city("SAXX0017")).retryAfterSeconds, 120);
    QCOMPARE(upstreamCalls(), 3);

    // The pause grows no further than 15 minutes.
    for (int i = 0; i < 8; ++i) {
        advance(m_now.secsTo(m_source->backoffUntil()));
        ask(city("SAXX0017"));
    }
    QCOMPARE(m_now.secsTo(m_source->backoffUntil()), LiveForecastSource::LongestBackoffSeconds);

    // One good answer ends it; the next failure starts again at 30 s.
    advance(m_now.secsTo(m_source->backoffUntil()));
    m_upstream->serve(QStringLiteral("/v1/forecast"), riyadhAnswer(), 200, "application/json");
    QCOMPARE(ask(city("SAXX0017")).status, ServedDocument::Status::Ok);
    QCOMPARE(m_source->consecutiveFailures(), 0);
    m_upstream->serve(QStringLiteral("/v1/forecast"), "busy", 503, "text/plain");
    QCOMPARE(ask(city("SAXX0012")).retryAfterSeconds, 30);
}

void TestLiveForecasts::failuresOfOneWaveCountOnce()
{
    // A board asking for three cities while the upstream is down must not
    // push the pause to two minutes at once.
    m_upstream->serve(QStringLiteral("/v1/forecast"), "down", 500, "text/plain");
    int answered = 0;
    for (const char *id : {"SAXX0017", "SAXX0012", "SAXX0013"})
        m_source->document(city(id), Units::Metric, [&answered](const ServedDocument &) { ++answered; });
    QTRY_COMPARE(answered, 3);
    QCOMPARE(upstreamCalls(), 3);
    QCOMPARE(m_source->consecutiveFailures(), 1);
    QCOMPARE(m_now.secsTo(m_source->backoffUntil()), 30);
}

void TestLiveForecasts::honoursRetryAfter()
{
    m_upstream->handle(QStringLiteral("/v1/forecast"), [](const HttpRequest &) {
        HttpResponse response;
        response.status = 429;
        response.contentType = "application/json";
        response.body = R"({"error":true,"reason":"Minutely API request limit exceeded."})";
        response.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("300")));
        return response;
    });
    QCOMPARE(ask(city("SAXX0017")).retryAfterSeconds, 300);
    advance(299);
    ask(city("SAXX0017"));
    QCOMPARE(upstreamCalls(), 1);
    advance(1);
    ask(city("SAXX0017"));
    QCOMPARE(upstreamCalls(), 2);
}

void TestLiveForecasts::staleDocumentsForThreeHours()
{
    m_upstream->serve(QStringLiteral("/v1/forecast"), riyadhAnswer(), 200, "application/json");
    const ServedDocument fresh = ask(city("SAXX0017"));
    QCOMPARE(fresh.status, ServedDocument::Status::Ok);

    m_upstream->serve(QStringLiteral("/v1/forecast"), "down", 500, "text/plain");
    advance(20 * 60);
    ServedDocument stale = ask(city("SAXX0017"));
    QCOMPARE(stale.status, ServedDocument::Status::Ok);
    QCOMPARE(stale.body, fresh.body);
    QCOMPARE(upstreamCalls(), 2);

    // During the pause too, without asking the upstream.
    advance(10);
    QCOMPARE(ask(city("SAXX0017"), Units::Imperial).status, ServedDocument::Status::Ok);
    QCOMPARE(upstreamCalls(), 2);

    // Its age is told by its own publication time (13:00 AST), not by when
    // it was fetched.
    m_now = Observed.addSecs(LiveForecastSource::StaleLimitSeconds - 60);
    QCOMPARE(ask(city("SAXX0017")).status, ServedDocument::Status::Ok);
    m_now = Observed.addSecs(LiveForecastSource::StaleLimitSeconds + 60);
    stale = ask(city("SAXX0017"));
    QCOMPARE(stale.status, ServedDocument::Status::Unavailable);
    QVERIFY(stale.body.isEmpty());

    // The upstream back: a fresh document again.
    m_now = m_source->backoffUntil();
    m_upstream->serve(QStringLiteral("/v1/forecast"), riyadhAnswer(), 200, "application/json");
    QCOMPARE(ask(city("SAXX0017")).status, ServedDocument::Status::Ok);
}

void TestLiveForecasts::staleNeedsAPublicationTime()
{
    QJsonObject answer = QJsonDocument::fromJson(riyadhAnswer()).object();
    QJsonObject current = answer.value(QStringLiteral("current")).toObject();
    current.insert(QStringLiteral("time"), QJsonValue::Null);
    answer.insert(QStringLiteral("current"), current);
    m_upstream->serve(QStringLiteral("/v1/forecast"), QJsonDocument(answer).toJson(), 200, "application/json");
    QCOMPARE(ask(city("SAXX0017")).status, ServedDocument::Status::Ok);

    m_upstream->serve(QStringLiteral("/v1/forecast"), "down", 500, "text/plain");
    advance(LiveForecastSource::FreshSeconds + 1);
    QCOMPARE(ask(city("SAXX0017")).status, ServedDocument::Status::Unavailable);
}

QTEST_GUILESS_MAIN(TestLiveForecasts)
#include "tst_liveforecasts.moc"
