// The HTTP surface: status codes, content types, keep-alive, bounds on
// connections and time, and replay and record behind it.

#include "servicetestdata.h"

#include "service/feedserver.h"
#include "service/forecastsource.h"
#include "service/locationtable.h"
#include "service/recordedsource.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QLoggingCategory>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A source whose answers the test decides.
class StubSource : public ForecastSource
{
public:
    enum class Mode { Ok, Unavailable, Later };
    static inline const QDateTime LastModified{QDate(2026, 12, 7), QTime(10, 0), Qt::UTC};
    Mode mode = Mode::Ok;
    int retryAfter = 0;
    int calls = 0;
    bool waveUnderWay = false;
    QList<QPair<QByteArray, Callback>> waiting;

    static QByteArray bodyFor(const Location &location, Units units)
    {
        return "<rss>" + location.id.toLatin1() + (units == Units::Imperial ? "-f" : "") + "</rss>";
    }

    void document(const Location &location, Units units, Callback callback) override
    {
        ++calls;
        ServedDocument served;
        served.status = ServedDocument::Status::Ok;
        served.body = bodyFor(location, units);
        served.lastModified = LastModified;
        served.maxAgeSeconds = 600;
        switch (mode) {
        case Mode::Ok:
            callback(served);
            break;
        case Mode::Unavailable:
            served.status = ServedDocument::Status::Unavailable;
            served.body.clear();
            served.retryAfterSeconds = retryAfter;
            callback(served);
            break;
        case Mode::Later:
            waiting.append({served.body, std::move(callback)});
            break;
        }
    }

    QByteArray metrics() override { return "stub_upstream_requests_total 7\n"; }
    bool busy() const override { return waveUnderWay; }

    void health(HealthCallback callback) override
    {
        if (mode == Mode::Unavailable)
            callback({false, QStringLiteral("the upstream cannot be reached and no forecast is left to serve")});
        else
            callback({true, QStringLiteral("24 of 24 cities served, 24 fresh")});
    }

    void answerWaiting()
    {
        const auto pending = std::exchange(waiting, {});
        for (const auto &[body, callback] : pending)
            answer(body, callback);
    }

    void answerFirst()
    {
        const auto [body, callback] = waiting.takeFirst();
        answer(body, callback);
    }

private:
    static void answer(const QByteArray &body, const Callback &callback)
    {
        ServedDocument served;
        served.status = ServedDocument::Status::Ok;
        served.body = body;
        callback(served);
    }
};

struct Answer
{
    int status = 0;
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

// A plain client socket, so that requests can be anything, even broken.
class RawClient
{
public:
    explicit RawClient(quint16 port) { m_socket.connectToHost(QHostAddress::LocalHost, port); }

    void send(const QByteArray &bytes) { m_socket.write(bytes); }

    // The next whole answer; status 0 when none came within the time.
    // A HEAD answer has no body whatever its Content-Length says.
    Answer next(bool headOnly = false, int timeoutMs = 5000)
    {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < timeoutMs) {
            m_buffer += m_socket.readAll();
            const qsizetype end = m_buffer.indexOf("\r\n\r\n");
            if (end >= 0) {
                Answer answer;
                const QList<QByteArray> lines = m_buffer.left(end).split('\n');
                answer.status = lines.first().mid(9, 3).toInt();
                for (qsizetype i = 1; i < lines.size(); ++i) {
                    const qsizetype colon = lines[i].indexOf(':');
                    answer.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
                }
                const qsizetype length = headOnly ? 0 : answer.headers.value("content-length").toLongLong();
                if (m_buffer.size() >= end + 4 + length) {
                    answer.body = m_buffer.mid(end + 4, length);
                    m_buffer.remove(0, end + 4 + length);
                    return answer;
                }
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        }
        return {};
    }

    // Whether the server closed the connection within the time.
    bool closedWithin(int timeoutMs)
    {
        QElapsedTimer waited;
        waited.start();
        while (m_socket.state() != QAbstractSocket::UnconnectedState && waited.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return m_socket.state() == QAbstractSocket::UnconnectedState;
    }

    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    QByteArray m_buffer;
};

QByteArray get(const QByteArray &target, const QByteArray &extra = {})
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "Connection: close\r\n\r\n";
}

} // namespace

class TestFeedServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void answers_data();
    void answers();
    void revalidatesWithItsOwnTag();
    void keepAliveAndPipelining();
    void http10ClosesByDefault();
    void laterAnswersKeepTheirOrder();
    void clientGoneBeforeTheAnswer();
    void serverGoneWithClientsOpen();
    void moreClientsThanConnections();
    void slowAndIdleClientsAreClosed_data();
    void slowAndIdleClientsAreClosed();
    void newClientsGetRoom_data();
    void newClientsGetRoom();
    void replayServesRecordedFiles();
    void recordsWhatItServes();
    void idleExitWaits_data();
    void idleExitWaits();

private:
    std::unique_ptr<StubSource> m_source;
    std::unique_ptr<FeedServer> m_server;
};

void TestFeedServer::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("forecastd=false"));
}

void TestFeedServer::init()
{
    m_server.reset();
    m_source = std::make_unique<StubSource>();
    m_server = std::make_unique<FeedServer>(LocationTable::builtIn(), m_source.get());
    QVERIFY(m_server->listen(QHostAddress::LocalHost, 0));
}

void TestFeedServer::answers_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body"); // what the body must contain
    QTest::addColumn<int>("sourceCalls");

    const int ok = int(StubSource::Mode::Ok);
    const QByteArray xml = "text/xml; charset=utf-8";
    const QByteArray text = "text/plain; charset=utf-8";

    QTest::newRow("feed, metric") << get("/forecastrss?p=SAXX0017&u=c") << ok << 200 << xml << QByteArray("<rss>SAXX0017</rss>") << 1;
    QTest::newRow("feed, imperial") << get("/forecastrss?p=SAXX0017&u=f") << ok << 200 << xml << QByteArray("<rss>SAXX0017-f</rss>") << 1;
    QTest::newRow("units default to metric") << get("/forecastrss?p=SAXX0012") << ok << 200 << xml << QByteArray("<rss>SAXX0012</rss>") << 1;
    QTest::newRow("case of id and unit") << get("/forecastrss?u=F&p=saxx0017") << ok << 200 << xml << QByteArray("<rss>SAXX0017-f</rss>") << 1;
    QTest::newRow("percent-encoded id") << get("/forecastrss?p=%53AXX0017&u=c") << ok << 200 << xml << QByteArray("<rss>SAXX0017</rss>") << 1;
    QTest::newRow("other parameters ignored") << get("/forecastrss?p=SAXX0017&u=c&w=2&") << ok << 200 << xml << QByteArray("<rss>SAXX0017</rss>") << 1;
    QTest::newRow("absolute form") << get("http://127.0.0.1:8619/forecastrss?p=SAXX0017&u=c") << ok << 200 << xml << QByteArray("<rss>SAXX0017</rss>") << 1;
    QTest::newRow("HEAD") << QByteArray("HEAD /forecastrss?p=SAXX0017&u=c HTTP/1.1\r\nConnection: close\r\n\r\n") << ok << 200 << xml << QByteArray() << 1;
    QTest::newRow("unknown location: error document") << get("/forecastrss?p=XXXX0000&u=c") << ok << 200 << xml
                                                      << QByteArray("<title>City not found</title>\n   <description>Invalid Input /forecastrss?p=XXXX0000&amp;u=c</description>") << 0;
    QTest::newRow("source has nothing") << get("/forecastrss?p=SAXX0017&u=c") << int(StubSource::Mode::Unavailable) << 503 << text << QByteArray("SAXX0017") << 1;

    const QByteArray feed = "/forecastrss?p=SAXX0017&u=c";
    QTest::newRow("conditional, any tag") << get(feed, "If-None-Match: *\r\n") << ok << 304 << QByteArray() << QByteArray() << 1;
    QTest::newRow("conditional, other tags") << get(feed, "If-None-Match: \"a\", W/\"b\"\r\n") << ok << 200 << xml << QByteArray("<rss>") << 1;
    QTest::newRow("conditional, not modified since") << get(feed, "If-Modified-Since: Mon, 07 Dec 2026 10:00:00 GMT\r\n") << ok << 304 << QByteArray() << QByteArray() << 1;
    QTest::newRow("conditional, modified since") << get(feed, "If-Modified-Since: Mon, 07 Dec 2026 09:59:59 GMT\r\n") << ok << 200 << xml << QByteArray("<rss>") << 1;
    QTest::newRow("conditional, no date") << get(feed, "If-Modified-Since: yesterday\r\n") << ok << 200 << xml << QByteArray("<rss>") << 1;
    QTest::newRow("conditional, a tag wins over a date") << get(feed, "If-None-Match: \"a\"\r\nIf-Modified-Since: Tue, 08 Dec 2026 10:00:00 GMT\r\n")
                                                          << ok << 200 << xml << QByteArray("<rss>") << 1;
    QTest::newRow("health") << get("/health") << ok << 200 << text << QByteArray("200 OK: 24 of 24 cities served") << 0;
    QTest::newRow("metrics") << get("/metrics") << ok << 200 << QByteArray("text/plain; version=0.0.4; charset=utf-8")
                             << QByteArray("stub_upstream_requests_total 7\n# HELP forecastd_build_info") << 0;
    QTest::newRow("metrics, the version") << get("/metrics") << ok << 200 << QByteArray("text/plain; version=0.0.4; charset=utf-8")
                                          << QByteArray("\nforecastd_build_info{version=\"" FORECASTD_VERSION "\"} 1\n") << 0;
    QTest::newRow("health, nothing to serve") << get("/health?from=board") << int(StubSource::Mode::Unavailable) << 503 << text
                                              << QByteArray("503 Service Unavailable: the upstream cannot be reached") << 0;
    QTest::newRow("unknown path") << get("/weather?p=SAXX0017") << ok << 404 << text << QByteArray() << 0;
    QTest::newRow("root") << get("/") << ok << 404 << text << QByteArray() << 0;
    QTest::newRow("below the feed path") << get("/forecastrss/SAXX0017") << ok << 404 << text << QByteArray() << 0;
    QTest::newRow("no query") << get("/forecastrss") << ok << 400 << text << QByteArray("p is missing") << 0;
    QTest::newRow("no p") << get("/forecastrss?u=c") << ok << 400 << text << QByteArray("p is missing") << 0;
    QTest::newRow("empty p") << get("/forecastrss?p=&u=c") << ok << 400 << text << QByteArray("p is empty") << 0;
    QTest::newRow("p twice") << get("/forecastrss?p=SAXX0017&p=SAXX0012&u=c") << ok << 400 << text << QByteArray("more than once") << 0;
    QTest::newRow("u twice") << get("/forecastrss?p=SAXX0017&u=c&u=f") << ok << 400 << text << QByteArray("more than once") << 0;
    QTest::newRow("u neither c nor f") << get("/forecastrss?p=SAXX0017&u=k") << ok << 400 << text << QByteArray("c or f") << 0;
    QTest::newRow("overlong query") << get("/forecastrss?p=SAXX0017&u=c&pad=" + QByteArray(300, 'a')) << ok << 400 << text << QByteArray("too long") << 0;
    QTest::newRow("bytes outside ASCII") << get("/forecastrss?p=SAXX\xd8\xa7&u=c") << ok << 400 << text << QByteArray() << 0;
    QTest::newRow("POST") << QByteArray("POST /forecastrss?p=SAXX0017 HTTP/1.1\r\nContent-Length: 0\r\nConnection: close\r\n\r\n") << ok << 405 << text << QByteArray() << 0;
    QTest::newRow("GET with a body") << QByteArray("GET /forecastrss?p=SAXX0017 HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello") << ok << 400 << text << QByteArray("no body") << 0;
    QTest::newRow("unknown HTTP version") << QByteArray("GET /forecastrss?p=SAXX0017 HTTP/2.0\r\n\r\n") << ok << 400 << text << QByteArray() << 0;
    QTest::newRow("not HTTP at all") << QByteArray("HELLO\r\n\r\n") << ok << 400 << text << QByteArray() << 0;
    QTest::newRow("header line without colon") << QByteArray("GET /forecastrss?p=SAXX0017 HTTP/1.1\r\nHost\r\n\r\n") << ok << 400 << text << QByteArray() << 0;
    QTest::newRow("head too large") << get("/forecastrss?p=SAXX0017", "X-Padding: " + QByteArray(9000, 'x') + "\r\n") << ok << 400 << text << QByteArray("too large") << 0;
    // clang-format on
}

void TestFeedServer::answers()
{
    QFETCH(QByteArray, request);
    QFETCH(int, mode);
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(int, sourceCalls);
    const QByteArray text = "text/plain; charset=utf-8";

    m_source->mode = StubSource::Mode(mode);
    RawClient client(m_server->port());
    client.send(request);
    const bool headOnly = request.startsWith("HEAD");
    const Answer answer = client.next(headOnly);
    QCOMPARE(answer.status, status);
    QCOMPARE(answer.headers.value("content-type"), contentType);
    QVERIFY2(answer.body.contains(body), answer.body.constData());
    QCOMPARE(m_source->calls, sourceCalls);
    if (headOnly) {
        QCOMPARE(
            answer.headers.value("content-length"),
            QByteArray::number(StubSource::bodyFor(*LocationTable::builtIn().find("SAXX0017"), Units::Metric).size()));
        QVERIFY(client.closedWithin(2000));
        QVERIFY(client.socket().readAll().isEmpty());
    }
    if (status == 503 && request.contains("/forecastrss"))
        QCOMPARE(answer.headers.value("retry-after"), QByteArray("60"));
    if ((status == 200 || status == 304) && contentType != text && request.contains("p=SAXX")) {
        // What a cache needs to keep the document and to ask whether it changed.
        QVERIFY(answer.headers.value("etag").startsWith('"'));
        QCOMPARE(answer.headers.value("last-modified"), QByteArray("Mon, 07 Dec 2026 10:00:00 GMT"));
        QCOMPARE(answer.headers.value("cache-control"), QByteArray("max-age=600"));
    }
    if (status == 405)
        QCOMPARE(answer.headers.value("allow"), QByteArray("GET, HEAD"));
    if (status == 400 || status == 405)
        QVERIFY(client.closedWithin(2000) || answer.headers.value("connection") == "close");
}

// A client that kept the document asks with its tag: 304 while the
// document is the same, the document again once it changed; documents
// served are counted.
void TestFeedServer::revalidatesWithItsOwnTag()
{
    RawClient client(m_server->port());
    const QByteArray feed = "GET /forecastrss?p=SAXX0012&u=c HTTP/1.1\r\nHost: x\r\n";
    client.send(feed + "\r\n");
    const QByteArray tag = client.next().headers.value("etag");
    client.send(feed + "If-None-Match: " + tag + "\r\n\r\n");
    const Answer same = client.next();
    QCOMPARE(same.status, 304);
    QCOMPARE(same.headers.value("etag"), tag);
    QVERIFY(same.body.isEmpty());
    client.send("GET /forecastrss?p=SAXX0012&u=f HTTP/1.1\r\nIf-None-Match: " + tag + "\r\n\r\n");
    QCOMPARE(client.next().status, 200);
    client.send("GET /metrics HTTP/1.1\r\n\r\n");
    const QByteArray metrics = client.next().body;
    QVERIFY2(metrics.contains("forecastd_documents_served_total{freshness=\"fresh\"} 3\n"), metrics.constData());
    QVERIFY(metrics.contains("forecastd_documents_served_total{freshness=\"stale\"} 0\n"));
}

void TestFeedServer::keepAliveAndPipelining()
{
    RawClient client(m_server->port());
    client.send("GET /forecastrss?p=SAXX0017&u=c HTTP/1.1\r\nHost: x\r\n\r\n"
                "GET /nowhere HTTP/1.1\r\nHost: x\r\n\r\n"
                "GET /forecastrss?p=SAXX0012&u=f HTTP/1.1\r\nHost: x\r\n\r\n");
    const Answer first = client.next();
    const Answer second = client.next();
    const Answer third = client.next();
    QCOMPARE(first.body, QByteArray("<rss>SAXX0017</rss>"));
    QCOMPARE(first.headers.value("connection"), QByteArray("keep-alive"));
    QCOMPARE(second.status, 404);
    QCOMPARE(third.body, QByteArray("<rss>SAXX0012-f</rss>"));
    QVERIFY(!client.closedWithin(100));

    client.send(get("/forecastrss?p=SAXX0013"));
    QCOMPARE(client.next().body, QByteArray("<rss>SAXX0013</rss>"));
    QVERIFY(client.closedWithin(2000));
}

void TestFeedServer::http10ClosesByDefault()
{
    RawClient client(m_server->port());
    client.send("GET /forecastrss?p=SAXX0017&u=c HTTP/1.0\r\n\r\n");
    const Answer answer = client.next();
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.headers.value("connection"), QByteArray("close"));
    QVERIFY(client.closedWithin(2000));

    RawClient keeping(m_server->port());
    keeping.send("GET /forecastrss?p=SAXX0017&u=c HTTP/1.0\r\nConnection: keep-alive\r\n\r\n");
    QCOMPARE(keeping.next().headers.value("connection"), QByteArray("keep-alive"));
    QVERIFY(!keeping.closedWithin(100));
}

void TestFeedServer::laterAnswersKeepTheirOrder()
{
    m_source->mode = StubSource::Mode::Later;
    RawClient client(m_server->port());
    client.send("GET /forecastrss?p=SAXX0017 HTTP/1.1\r\n\r\nGET /forecastrss?p=SAXX0012 HTTP/1.1\r\n\r\n");
    QTRY_COMPARE(m_source->calls, 1); // the second waits for the first
    QTest::qWait(50);
    QCOMPARE(m_source->calls, 1);
    m_source->answerWaiting();
    QCOMPARE(client.next().body, QByteArray("<rss>SAXX0017</rss>"));
    QTRY_COMPARE(m_source->calls, 2);
    m_source->answerWaiting();
    QCOMPARE(client.next().body, QByteArray("<rss>SAXX0012</rss>"));
}

void TestFeedServer::clientGoneBeforeTheAnswer()
{
    m_source->mode = StubSource::Mode::Later;
    {
        RawClient client(m_server->port());
        client.send(get("/forecastrss?p=SAXX0017"));
        QTRY_COMPARE(m_source->calls, 1);
        client.socket().abort();
    }
    QTRY_COMPARE(m_server->openConnections(), 0);
    m_source->answerWaiting(); // must reach nobody, and break nothing

    m_source->mode = StubSource::Mode::Ok;
    RawClient again(m_server->port());
    again.send(get("/forecastrss?p=SAXX0017"));
    QCOMPARE(again.next().status, 200);
}

void TestFeedServer::serverGoneWithClientsOpen()
{
    // One client waits for its answer, one is idle after its answer; the
    // server goes away with both open.
    m_source->mode = StubSource::Mode::Later;
    RawClient waiting(m_server->port());
    waiting.send(get("/forecastrss?p=SAXX0017"));
    QTRY_COMPARE(m_source->calls, 1);
    m_source->mode = StubSource::Mode::Ok;
    RawClient idle(m_server->port());
    idle.send("GET /forecastrss?p=SAXX0012 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QCOMPARE(idle.next().status, 200);
    QCOMPARE(m_server->openConnections(), 2);

    const quint16 port = m_server->port();
    m_server.reset();
    QVERIFY(waiting.closedWithin(2000));
    QVERIFY(idle.closedWithin(2000));
    m_source->answerWaiting(); // must reach nobody, and break nothing
    QTest::qWait(50);

    // Nothing listens on the port any more.
    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!late.waitForConnected(2000));
}

void TestFeedServer::moreClientsThanConnections()
{
    // Clients beyond the bound wait; none is refused or dropped.
    m_source->mode = StubSource::Mode::Later;
    const int clients = FeedServer::MaximumConnections + 20;
    std::vector<std::unique_ptr<RawClient>> all;
    for (int i = 0; i < clients; ++i) {
        all.push_back(std::make_unique<RawClient>(m_server->port()));
        all.back()->send(get("/forecastrss?p=SAXX0017"));
    }
    QTRY_COMPARE(m_source->calls, FeedServer::MaximumConnections);
    QTest::qWait(100);
    QCOMPARE(m_source->calls, FeedServer::MaximumConnections);
    QCOMPARE(m_server->openConnections(), FeedServer::MaximumConnections);

    m_source->mode = StubSource::Mode::Ok;
    m_source->answerWaiting();
    for (auto &client : all)
        QCOMPARE(client->next().status, 200);
    QCOMPARE(m_source->calls, clients);
}

void TestFeedServer::slowAndIdleClientsAreClosed_data()
{
    // One of the two times is short, the other far beyond the test.
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("answers"); // read before the wait
    QTest::addColumn<bool>("shortHeadTime");
    QTest::addColumn<bool>("closed");

    const QByteArray request = "GET /forecastrss?p=SAXX0017 HTTP/1.1\r\n\r\n";
    const QByteArray half = "GET /forecastrss?p=SAXX0017 HTTP/1.1\r\nHo";
    QTest::newRow("nothing sent: head time") << QByteArray() << 0 << true << true;
    QTest::newRow("half a head: head time") << half << 0 << true << true;
    QTest::newRow("answered, idle: idle time") << request << 1 << false << true;
    QTest::newRow("answered, idle: not the head time") << request << 1 << true << false;
    QTest::newRow("answered, half the next head: head time") << request + half << 1 << true << true;
}

void TestFeedServer::slowAndIdleClientsAreClosed()
{
    QFETCH(QByteArray, sent);
    QFETCH(int, answers);
    QFETCH(bool, shortHeadTime);
    QFETCH(bool, closed);

    m_server->setTimeouts(shortHeadTime ? 100 : 60000, shortHeadTime ? 60000 : 100);
    RawClient client(m_server->port());
    client.send(sent);
    for (int i = 0; i < answers; ++i)
        QCOMPARE(client.next().status, 200);
    if (closed)
        QVERIFY(client.closedWithin(5000));
    else
        QVERIFY(!client.closedWithin(500));
    QCOMPARE(m_source->calls, answers);
}

void TestFeedServer::newClientsGetRoom_data()
{
    // The connections open when a new client comes, in the order they were
    // opened: h sent half a head, s sent nothing, b waits for its answer,
    // i was answered and is idle, l waited for its answer until the others
    // were open, and is idle since. `closed` marks the one closed for the
    // new client.
    QTest::addColumn<QByteArray>("open");
    QTest::addColumn<QByteArray>("closed");

    QTest::newRow("half a head") << QByteArray("bhb") << QByteArray(".x.");
    QTest::newRow("the older of two half heads") << QByteArray("hhb") << QByteArray("x..");
    QTest::newRow("silent, after a moment") << QByteArray("bsb") << QByteArray(".x.");
    QTest::newRow("idle after its answer") << QByteArray("bib") << QByteArray(".x.");
    QTest::newRow("waited longest, not opened first") << QByteArray("lhb") << QByteArray(".x.");
    QTest::newRow("all busy: the new client waits") << QByteArray("bbb") << QByteArray("...");
}

void TestFeedServer::newClientsGetRoom()
{
    QFETCH(QByteArray, open);
    QFETCH(QByteArray, closed);

    m_server->setConnectionLimit(int(open.size()));
    m_source->mode = StubSource::Mode::Later;
    const QByteArray request = "GET /forecastrss?p=SAXX0017 HTTP/1.1\r\n\r\n";
    std::vector<std::unique_ptr<RawClient>> clients;
    for (const char kind : open) {
        clients.push_back(std::make_unique<RawClient>(m_server->port()));
        RawClient &client = *clients.back();
        if (kind == 'h')
            client.send("GET /forecastrss?p=SAXX0017 HTTP/1.1\r\nHo");
        if (kind == 'b' || kind == 'l') {
            const int waiting = int(m_source->waiting.size());
            client.send(request);
            QTRY_COMPARE(m_source->waiting.size(), waiting + 1);
        }
        if (kind == 'i') {
            m_source->mode = StubSource::Mode::Ok;
            client.send(request);
            QCOMPARE(client.next().status, 200);
            m_source->mode = StubSource::Mode::Later;
        }
        QTRY_COMPARE(m_server->openConnections(), int(clients.size()));
    }
    if (open.contains('l')) {
        m_source->answerFirst();
        QCOMPARE(clients[open.indexOf('l')]->next().status, 200);
    }
    QTest::qWait(50); // the service reads what was sent

    m_source->mode = StubSource::Mode::Ok;
    RawClient newcomer(m_server->port());
    newcomer.send(get("/forecastrss?p=SAXX0012"));
    const bool room = closed.contains('x');
    QCOMPARE(newcomer.next(false, room ? 5000 : 300).status, room ? 200 : 0);
    for (qsizetype i = 0; i < open.size(); ++i) {
        if (closed[i] == 'x')
            QVERIFY2(clients[i]->closedWithin(2000), qPrintable(QString::number(i)));
        else
            QVERIFY2(clients[i]->socket().state() == QAbstractSocket::ConnectedState, qPrintable(QString::number(i)));
    }
    QVERIFY(m_server->openConnections() <= open.size());

    if (!room) {
        // Once the others are answered, the one left waiting is served too.
        m_source->answerWaiting();
        QCOMPARE(newcomer.next().status, 200);
    }
}

void TestFeedServer::replayServesRecordedFiles()
{
    QTemporaryDir dir;
    const QByteArray recorded = readWhole(serviceSamplesPath(QStringLiteral("demo/SAXX0017.xml")));
    QVERIFY(!recorded.isEmpty());
    QFile file(dir.filePath(QStringLiteral("SAXX0017.xml")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(recorded);
    file.close();

    // Served in the hour it was written (1 pm in Riyadh), it is served as written.
    ReplayForecastSource replay(dir.path(), [] { return QDateTime(QDate(2026, 12, 7), QTime(10, 30), Qt::UTC); });
    FeedServer server(LocationTable::builtIn(), &replay);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));

    RawClient client(server.port());
    client.send("GET /forecastrss?p=SAXX0017&u=c HTTP/1.1\r\n\r\n"
                "GET /forecastrss?p=SAXX0017&u=f HTTP/1.1\r\n\r\n"
                "GET /forecastrss?p=SAXX0012&u=c HTTP/1.1\r\n\r\n");
    const Answer metric = client.next();
    QCOMPARE(metric.status, 200);
    QCOMPARE(metric.body, recorded);
    QCOMPARE(client.next().status, 503); // no SAXX0017-f.xml
    QCOMPARE(client.next().status, 503); // no SAXX0012.xml

    // Replayed later, a document is one of the hour it is asked in: its
    // times that hour, its coming days from that day. The demo's dust storm
    // in Qassim, under way at 1 pm on 7 December, with the centre's alert
    // of it, and Sharurah's heat that day, are in force whenever they are
    // replayed; at the time they were
    // written they are as written.
    QDateTime now;
    ReplayForecastSource clocked(dir.path(), [&now] { return now; });
    const QList<std::tuple<QString, QByteArray, QByteArray>> moved{
        {"SAXX0030", R"(kind="dust" start="2026-12-07T13:00:00+03:00" end="2026-12-07T21:00:00+03:00")",
         R"(kind="dust" start="2027-03-02T01:00:00+03:00" end="2027-03-02T09:00:00+03:00")"},
        {"SAXX0039", R"(kind="heat" start="2026-12-07T00:00:00+03:00" end="2026-12-08T00:00:00+03:00")",
         R"(kind="heat" start="2027-03-02T00:00:00+03:00" end="2027-03-03T00:00:00+03:00")"},
        {"SAXX0017", "", ""}};
    // 1:30 am on 2 March in Saudi time, 85 days on; the coming hours from
    // 1 am, as many as were written.
    const auto movedTimes = [](QByteArray document) {
        for (int hour = 0; hour < 24; ++hour) {
            const auto element = [hour](const QDate &date, int clock) {
                return R"(<rorizedivo:hour time=")"
                    + QDateTime(date, QTime(clock, 0), Qt::OffsetFromUTC, 3 * 3600)
                          .addSecs(hour * 3600)
                          .toString(Qt::ISODate)
                          .toUtf8();
            };
            document.replace(element(QDate(2026, 12, 7), 13), element(QDate(2027, 3, 2), 1));
        }
        // The centre's alert over Qassim moves with the dust storm.
        document.replace(R"(onset="2026-12-07T13:00:00+03:00" expires="2026-12-07T21:00:00+03:00")",
                         R"(onset="2027-03-02T01:00:00+03:00" expires="2027-03-02T09:00:00+03:00")");
        document.replace("Mon, 07 Dec 2026 1:00 pm AST", "Tue, 02 Mar 2027 1:00 am AST");
        document.replace(" at 1:00 pm AST</title>", " at 1:00 am AST</title>");
        for (int day = 0; day < 5; ++day) {
            const auto forecast = [](const QDate &date) {
                return QStringLiteral(R"(<yweather:forecast day="%1" date="%2")")
                    .arg(QLocale::c().toString(date, QStringLiteral("ddd")),
                         QLocale::c().toString(date, QStringLiteral("d MMM yyyy")))
                    .toUtf8();
            };
            document.replace(forecast(QDate(2026, 12, 7 + day)), forecast(QDate(2027, 3, 2).addDays(day)));
        }
        return document;
    };
    const auto replayedAt = [&](const QString &id, const QDateTime &at) {
        now = at;
        QByteArray body;
        clocked.document(*LocationTable::builtIn().find(id), Units::Metric,
                         [&body](const ServedDocument &served) { body = served.body; });
        return body;
    };
    for (const auto &[id, written, replayed] : moved) {
        const QString name = id + QStringLiteral(".xml");
        const QByteArray demo = readWhole(serviceSamplesPath(QStringLiteral("demo/") + name));
        QVERIFY(demo.contains(written));
        QVERIFY(QFile::exists(dir.filePath(name))
                || QFile::copy(serviceSamplesPath(QStringLiteral("demo/") + name), dir.filePath(name)));
        QCOMPARE(replayedAt(id, QDateTime(QDate(2026, 12, 7), QTime(10, 59), Qt::UTC)), demo);
        const QByteArray expected = movedTimes(written.isEmpty() ? demo : QByteArray(demo).replace(written, replayed));
        QVERIFY(expected.contains("<pubDate>Tue, 02 Mar 2027 1:00 am AST</pubDate>"));
        QVERIFY(expected.contains(R"(<yweather:forecast day="Sat" date="6 Mar 2027")"));
        QVERIFY(expected.contains(R"(<rorizedivo:hour time="2027-03-02T01:00:00+03:00")"));
        if (id == QLatin1String("SAXX0030"))
            QVERIFY(expected.contains(R"(onset="2027-03-02T01:00:00+03:00" expires="2027-03-02T09:00:00+03:00")"));
        QCOMPARE(replayedAt(id, QDateTime(QDate(2027, 3, 1), QTime(22, 30), Qt::UTC)), expected);
    }
}

void TestFeedServer::recordsWhatItServes()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("recorded"));
    RecordingForecastSource recording(m_source.get(), folder);
    FeedServer server(LocationTable::builtIn(), &recording);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));

    RawClient client(server.port());
    client.send("GET /forecastrss?p=SAXX0017&u=c HTTP/1.1\r\n\r\nGET /forecastrss?p=SAXX0017&u=f HTTP/1.1\r\n\r\n");
    QCOMPARE(client.next().status, 200);
    QCOMPARE(client.next().status, 200);
    m_source->mode = StubSource::Mode::Unavailable;
    client.send("GET /forecastrss?p=SAXX0012&u=c HTTP/1.1\r\n\r\n");
    QCOMPARE(client.next().status, 503);

    QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name),
             QStringList({QStringLiteral("SAXX0017-f.xml"), QStringLiteral("SAXX0017.xml")}));
    QCOMPARE(readWhole(QDir(folder).filePath(QStringLiteral("SAXX0017.xml"))), QByteArray("<rss>SAXX0017</rss>"));

    // What was recorded replays as it was served.
    ReplayForecastSource replay(folder);
    FeedServer replaying(LocationTable::builtIn(), &replay);
    QVERIFY(replaying.listen(QHostAddress::LocalHost, 0));
    RawClient again(replaying.port());
    again.send("GET /forecastrss?p=SAXX0017&u=f HTTP/1.1\r\n\r\n");
    QCOMPARE(again.next().body, QByteArray("<rss>SAXX0017-f</rss>"));
}

// The idle exit comes once nothing has been asked for the interval, and
// never while a client is connected or the source is asking its upstream;
// from then on the server takes nothing from the listen queue, where a
// client that comes before the exit waits for the next start.
void TestFeedServer::idleExitWaits_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("waveUnderWay");

    QTest::newRow("nothing under way") << false << false;
    QTest::newRow("a client connected") << true << false;
    QTest::newRow("a wave under way") << false << true;
}

void TestFeedServer::idleExitWaits()
{
    QFETCH(bool, connected);
    QFETCH(bool, waveUnderWay);
    int exits = 0;
    connect(m_server.get(), &FeedServer::idleTimeout, this, [&exits] { ++exits; });
    m_source->waveUnderWay = waveUnderWay;
    auto client = std::make_unique<RawClient>(m_server->port());
    QVERIFY(client->socket().waitForConnected(2000));
    if (!connected)
        client.reset();
    QTRY_COMPARE(m_server->openConnections(), connected ? 1 : 0);
    m_server->setIdleInterval(50);
    if (connected || waveUnderWay) {
        QTest::qWait(300);
        QCOMPARE(exits, 0);
        client.reset();
        m_source->waveUnderWay = false;
    }
    QTRY_COMPARE(exits, 1);
    m_server->setIdleInterval(0);
    RawClient late(m_server->port());
    late.send("GET /health HTTP/1.1\r\n\r\n");
    QCOMPARE(late.next(false, 300).status, 0);
    QCOMPARE(m_server->openConnections(), 0);
}

QTEST_GUILESS_MAIN(TestFeedServer)
#include "tst_feedserver.moc"
