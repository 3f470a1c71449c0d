#include "feed/documentloader.h"
#include "feed/documentscreen.h"
#include "feed/feedreading.h"

#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QStringEncoder>
#include <QTest>
#include <QTimer>

namespace {

const QString feedTarget = QStringLiteral("/forecastrss?p=BRXX0033&u=c");

QByteArray billionLaughs()
{
    QByteArray dtd = "<!ENTITY lol \"lol\">\n";
    for (int i = 1; i <= 9; ++i) {
        const QByteArray previous = i == 1 ? "lol" : "lol" + QByteArray::number(i - 1);
        dtd += "<!ENTITY lol" + QByteArray::number(i) + " \"" + ("&" + previous + ";").repeated(10) + "\">\n";
    }
    return "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [\n" + dtd
        + "]>\n<rss><channel><title>&lol9;</title></channel></rss>";
}

// Each entity stays under Qt's per-entity limit; the many references do not.
QByteArray quadraticBlowup()
{
    return "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [<!ENTITY e \"" + QByteArray(4000, 'x')
        + "\">]>\n<rss><channel><title>" + QByteArray("&e;").repeated(2000) + "</title></channel></rss>";
}

// A well-formed feed of exactly `size` bytes.
QByteArray feedOfSize(qint64 size)
{
    const QByteArray head = "<rss><channel><link>x</link></channel><!--";
    const QByteArray tail = "--></rss>";
    return head + QByteArray(size - head.size() - tail.size(), ' ') + tail;
}

QByteArray rss(const QByteArray &inside)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss><channel>" + inside + "</channel></rss>";
}

QByteArray nested(int levels)
{
    return QByteArray("<a>").repeated(levels) + QByteArray("</a>").repeated(levels);
}

// One element with `count` attributes; every value holds the other kind of quote.
QByteArray attributes(int count)
{
    QByteArray tag = "<a";
    for (int i = 0; i < count; ++i)
        tag += " a" + QByteArray::number(i) + (i % 2 ? "='say \"hi\" &gt;'" : "=\"it's\"");
    return tag + "/>";
}

// A gzip member whose content is `size` zero bytes: a few kilobytes on the
// wire, more than the size limit once inflated.
QByteArray gzipOfZeros(qint64 size)
{
    const QByteArray zlib = qCompress(QByteArray(size, '\0'), 9);
    quint32 crc = 0xffffffffu; // CRC-32 of the content; a zero byte adds nothing to xor in
    for (qint64 i = 0; i < size; ++i) {
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    crc ^= 0xffffffffu;
    QByteArray gzip("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10);
    gzip += zlib.mid(6, zlib.size() - 10); // without qCompress's length, zlib's header and checksum
    for (quint32 word : {crc, quint32(size)})
        for (int b = 0; b < 4; ++b)
            gzip += char((word >> (8 * b)) & 0xff);
    return gzip;
}

// Answers from a hostile or broken server; each must end as a failed fetch.
const QHash<QString, QByteArray> &hostileBodies()
{
    static const QHash<QString, QByteArray> bodies = [] {
        QHash<QString, QByteArray> b;
        b["deep nesting"] = nested(200000);
        b["a little too deep"] = rss(nested(FeedLimits::MaximumDepth));
        b["too many elements"] = rss(QByteArray("<item/>").repeated(FeedLimits::MaximumElements));
        b["attributes in one tag"] = rss(attributes(200000));
        b["long attribute"] = rss("<link v=\"" + QByteArray(1536 * 1024, 'x') + "\"/>");
        b["long text"] = rss("<title>" + QByteArray(1536 * 1024, 'x') + "</title>");
        b["external entity"] = "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY f SYSTEM \"file:///etc/hostname\">]>"
                               "<rss><channel><title>&f;</title></channel></rss>";
        b["invalid UTF-8"] = rss("<title>\xff\xfe\xc3</title>");
        b["NUL character"] = rss(QByteArray("<title>a\0b</title>", 18));
        for (const char *form : {"dtd-comment", "dtd-instruction", "dtd-defaults", "utf16"})
            b[QStringLiteral("attributes talked past, %1").arg(QLatin1String(form))] = attributesTalkedPast(form,
                                                                                                            200000);
        b["HTML page"] = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Hi</title></head>"
                         "<body><p>Weather<br></body></html>";
        return b;
    }();
    return bodies;
}

bool hasChannel(const QDomDocument &document)
{
    return document.elementsByTagName(QStringLiteral("channel")).size() > 0;
}

} // namespace

Q_DECLARE_METATYPE(DocumentVerdict)

class TestDocumentLoader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loadsFeed();
    void followsRedirect();
    void acceptsLimitSize();
    void screensDocuments_data();
    void screensDocuments();
    void workAsksItsBudget_data();
    void workAsksItsBudget();
    void failuresGiveEmptyDocument_data();
    void failuresGiveEmptyDocument();
    void keepsEventsRunningWhileWaiting();
    void abortEndsWait();
    void abortWhenIdleDoesNothing();
    void refusesNestedLoad();
    void survivesDeletionDuringWait();

private:
    LoopbackHttpServer *m_server = nullptr;
};

void TestDocumentLoader::init()
{
    m_server = new LoopbackHttpServer(this);
    QVERIFY(m_server->listen());
    m_server->serve(feedTarget, readFixture("real/01-belo-horizonte-c.xml"));
}

void TestDocumentLoader::cleanup()
{
    delete m_server;
    m_server = nullptr;
}

void TestDocumentLoader::loadsFeed()
{
    DocumentLoader loader;
    const QDomDocument document = loader.load(m_server->url(feedTarget).toString());

    const QList<ChannelReadings> channels = readChannels(document);
    QCOMPARE(channels.size(), 1);
    QCOMPARE(channels.first().city, FieldValue::text("Belo Horizonte"));
    // Qualified names as written: the prefix is part of the element's name.
    QCOMPARE(document.elementsByTagName("yweather:condition").size(), 1);

    QCOMPARE(m_server->requests().size(), 1);
    QCOMPARE(m_server->requests().first().path, QStringLiteral("/forecastrss"));
    QCOMPARE(m_server->requests().first().query, QStringLiteral("p=BRXX0033&u=c"));
}

void TestDocumentLoader::followsRedirect()
{
    m_server->handle("/moved", [this](const HttpRequest &) {
        HttpResponse response;
        response.status = 301;
        response.headers.append({"Location", m_server->url(feedTarget).toEncoded()});
        return response;
    });
    DocumentLoader loader;
    QVERIFY(hasChannel(loader.load(m_server->url("/moved"))));
}

void TestDocumentLoader::acceptsLimitSize()
{
    m_server->serve("/limit", feedOfSize(DocumentLoader::MaximumBytes));
    DocumentLoader loader;
    QVERIFY(hasChannel(loader.load(m_server->url("/limit"))));
}

void TestDocumentLoader::screensDocuments_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<DocumentVerdict>("verdict");

    const QDir recorded(fixturePath("real"));
    for (const QString &name : recorded.entryList({"*.xml"}, QDir::Files))
        QTest::newRow(qPrintable(name)) << readFixture("real/" + name) << DocumentVerdict::Accepted;

    using V = DocumentVerdict;
    const int depth = FeedLimits::MaximumDepth;
    const int elements = FeedLimits::MaximumElements;
    const int length = int(FeedLimits::MaximumValueLength);
    QTest::newRow("deepest") << rss(nested(depth - 2)) << V::Accepted;
    QTest::newRow("one level deeper") << rss(nested(depth - 1)) << V::TooDeep;
    QTest::newRow("most elements") << rss(QByteArray("<i/>").repeated(elements - 2)) << V::Accepted;
    QTest::newRow("one element more") << rss(QByteArray("<i/>").repeated(elements - 1)) << V::TooManyElements;
    QTest::newRow("most attributes, quotes inside") << rss(attributes(FeedLimits::MaximumAttributes)) << V::Accepted;
    QTest::newRow("one attribute more") << rss(attributes(FeedLimits::MaximumAttributes + 1)) << V::TooManyAttributes;
    const QByteArray quotes = QByteArray("\"'").repeated(200);
    QTest::newRow("quotes in a comment") << rss("<!--" + quotes + "-->") << V::Accepted;
    QTest::newRow("quotes in CDATA") << rss("<title><![CDATA[" + quotes + "]]></title>") << V::Accepted;
    QTest::newRow("quotes in text") << rss("<title>" + quotes + "</title>") << V::Accepted;
    QTest::newRow("longest attribute") << rss("<a v=\"" + QByteArray(length, 'x') + "\"/>") << V::Accepted;
    QTest::newRow("attribute one longer") << rss("<a v=\"" + QByteArray(length + 1, 'x') + "\"/>") << V::ValueTooLong;
    QTest::newRow("longest text, Arabic") << rss("<title>" + QString(length, QChar(0x0645)).toUtf8() + "</title>") << V::Accepted;
    QTest::newRow("text one longer") << rss("<title>" + QByteArray(length + 1, 'x') + "</title>") << V::ValueTooLong;
    QTest::newRow("text split by a comment") << rss("<title>" + QByteArray(length / 2 + 1, 'x') + "<!-- -->"
                                                   + QByteArray(length / 2, 'x') + "</title>") << V::ValueTooLong;
    QTest::newRow("long comment") << rss("<!--" + QByteArray(4 * length, ' ') + "-->") << V::Accepted;
    QTest::newRow("entity declared") << QByteArray("<!DOCTYPE rss [<!ENTITY e \"x\">]><rss>&e;</rss>") << V::DeclaresDocumentType;
    QTest::newRow("external entity") << hostileBodies()["external entity"] << V::DeclaresDocumentType;
    // Feeds never carry a document type, not even a harmless one.
    QTest::newRow("RSS 0.91 document type")
        << QByteArray("<?xml version=\"1.0\"?>\n<!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS 0.91//EN\" "
                      "\"http://my.netscape.com/publish/formats/rss-0.91.dtd\">\n<rss><channel/></rss>") << V::DeclaresDocumentType;
    QTest::newRow("quote in a comment of the DTD") << attributesTalkedPast("dtd-comment", 400) << V::DeclaresDocumentType;
    QTest::newRow("quote in an instruction of the DTD") << attributesTalkedPast("dtd-instruction", 400) << V::DeclaresDocumentType;
    QTest::newRow("default attributes") << attributesTalkedPast("dtd-defaults", 400) << V::DeclaresDocumentType;
    QTest::newRow("UTF-16, '>' byte in names") << attributesTalkedPast("utf16", 400) << V::ForeignEncoding;
    QTest::newRow("UTF-16 without a mark") << QStringEncoder(QStringConverter::Utf16BE)(QStringLiteral("<rss><channel/></rss>")).operator QByteArray() << V::ForeignEncoding;
    QTest::newRow("UTF-32") << QStringEncoder(QStringConverter::Utf32LE, QStringConverter::Flag::WriteBom)(QStringLiteral("<rss/>")).operator QByteArray() << V::ForeignEncoding;
    QTest::newRow("declared UTF-16") << QByteArray("<?xml version='1.0' encoding='UTF-16'?><rss><channel/></rss>") << V::ForeignEncoding;
    QTest::newRow("declared Latin-1") << QByteArray("<?xml version=\"1.0\" encoding = \"ISO-8859-1\"?><rss><channel/></rss>") << V::ForeignEncoding;
    QTest::newRow("declared utf-8, mark") << QByteArray("\xef\xbb\xbf<?xml version='1.0' encoding='utf-8'?><rss><channel/></rss>") << V::Accepted;
    QTest::newRow("declared ASCII") << QByteArray("<?xml version='1.0' encoding='US-ASCII'?><rss><channel/></rss>") << V::Accepted;
    QTest::newRow("not XML") << QByteArray("Service unavailable") << V::NotWellFormed;
    QTest::newRow("invalid UTF-8") << hostileBodies()["invalid UTF-8"] << V::NotWellFormed;
    QTest::newRow("NUL character") << hostileBodies()["NUL character"] << V::NotWellFormed;
    // clang-format on
}

void TestDocumentLoader::screensDocuments()
{
    QFETCH(QByteArray, body);
    QFETCH(DocumentVerdict, verdict);
    QCOMPARE(screenFeedDocument(body), verdict);
    QCOMPARE(parseFeedDocument(body).isNull(), verdict != DocumentVerdict::Accepted);
}

// Screening, parsing and reading ask the budget all along: at least once
// per piece of the body, and once per channel. Whichever check finds it
// given up (or out of time) is the last, and the document fails.
void TestDocumentLoader::workAsksItsBudget_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("fewestChecks");
    const int pieces = int(DocumentLoader::MaximumBytes / BudgetedBody::PieceBytes);
    QTest::newRow("recorded feed") << readFixture("real/01-belo-horizonte-c.xml") << 3;
    QTest::newRow("texts near the size limit") << feedOfSize(DocumentLoader::MaximumBytes) << 2 * pieces;
    QTest::newRow("many channels")
        << rss(QByteArray("</channel><channel><link>x</link>").repeated(2000)) << 2000;
    // clang-format on
}

void TestDocumentLoader::workAsksItsBudget()
{
    QFETCH(QByteArray, body);
    QFETCH(int, fewestChecks);
    // The whole work (as a load does it) with a budget given up from the
    // check numbered `givenUpAt` on; the checks made, and what came of it.
    const auto work = [&body](int givenUpAt) {
        int checks = 0;
        WorkBudget budget([&] { return ++checks >= givenUpAt; });
        const bool read = !readChannels(parseFeedDocument(body, budget), budget).isEmpty();
        return std::pair{checks, read};
    };
    const auto [checks, read] = work(INT_MAX);
    QVERIFY(read);
    QVERIFY2(checks >= fewestChecks, qPrintable(QString::number(checks)));
    for (int givenUpAt : {1, checks / 2, checks})
        QCOMPARE(work(givenUpAt), std::pair(givenUpAt, false));

    WorkBudget noTime({}, std::chrono::nanoseconds(0));
    QCOMPARE(screenFeedDocument(body, noTime), DocumentVerdict::OutOfTime);
    WorkBudget givenUp([] { return true; });
    QVERIFY(parseFeedDocument(body, givenUp).isNull());
    QCOMPARE(givenUp.reason(), DocumentVerdict::GivenUp);
}

void TestDocumentLoader::failuresGiveEmptyDocument_data()
{
    // clang-format off
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("address");  // a target on the server, or a whole address
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<QString>("reason"); // how the log tells it begins; any reason when empty

    const int usual = DocumentLoader::DefaultTimeoutMs;
    QTest::newRow("404 with an HTML page") << "404" << "/f" << usual << QString("HTTP 404");
    QTest::newRow("500 with a feed") << "500" << "/f" << usual << QString("HTTP 500");
    QTest::newRow("nothing scripted") << "" << "/nothing" << usual << QString("HTTP 404");
    QTest::newRow("connection refused") << "" << "refused" << usual << QString("connection: ");
    QTest::newRow("closed without an answer") << "close" << "/f" << usual << QString("connection: ");
    QTest::newRow("hangs") << "hang" << "/f" << 300 << QString("no whole answer within 300 ms");
    QTest::newRow("trickles") << "trickle" << "/f" << 500 << QString("no whole answer within 500 ms");
    QTest::newRow("50 MiB with length") << "huge" << "/f" << usual << QString("larger than 2097152 bytes");
    QTest::newRow("50 MiB without length") << "huge-unannounced" << "/f" << usual << QString("larger than 2097152 bytes");
    QTest::newRow("one byte over the limit") << "over" << "/f" << usual << QString("larger than 2097152 bytes");
    QTest::newRow("truncated XML") << "truncated" << "/f" << usual << QString("not XML");
    QTest::newRow("plain text") << "text" << "/f" << usual << QString("not XML");
    QTest::newRow("empty body") << "empty" << "/f" << usual << QString("not XML");
    QTest::newRow("billion laughs") << "laughs" << "/f" << usual << QString("screened: declares a DTD");
    QTest::newRow("quadratic blowup") << "quadratic" << "/f" << usual << QString("screened: declares a DTD");
    QTest::newRow("redirect loop") << "loop" << "/f" << usual << QString("");
    QTest::newRow("empty address") << "" << "" << usual << QString("not an http(s) address");
    QTest::newRow("file scheme") << "" << "file:///etc/hostname" << usual << QString("not an http(s) address");
    QTest::newRow("ftp scheme") << "" << "ftp://127.0.0.1/f" << usual << QString("not an http(s) address");
    QTest::newRow("no host") << "" << "http:///f" << usual << QString("not an http(s) address");
    for (auto body = hostileBodies().cbegin(); body != hostileBodies().cend(); ++body)
        QTest::newRow(qPrintable(body.key())) << "body:" + body.key() << "/f" << usual << QString();
    QTest::newRow("redirect to a file") << "to-file" << "/f" << usual << QString("");
    QTest::newRow("gzip bomb") << "gzip" << "/f" << usual << QString("");
    QTest::newRow("garbage status line") << "garbage" << "/f" << usual << QString("");
    QTest::newRow("body shorter than its length") << "short" << "/f" << usual << QString("");
    QTest::newRow("connection reset") << "reset" << "/f" << usual << QString("");
    // clang-format on
}

void TestDocumentLoader::failuresGiveEmptyDocument()
{
    QFETCH(QString, setup);
    QFETCH(QString, address);
    QFETCH(int, timeoutMs);
    QFETCH(QString, reason);

    const QByteArray feed = readFixture("real/01-belo-horizonte-c.xml");
    if (setup == "404")
        m_server->serve("/f", "<html><body><h1>Not Found</h1></body></html>", 404, "text/html");
    else if (setup == "500")
        m_server->serve("/f", feed, 500);
    else if (setup == "close")
        m_server->closeImmediately("/f");
    else if (setup == "hang")
        m_server->hang("/f");
    else if (setup == "trickle")
        m_server->trickle("/f");
    else if (setup == "huge")
        m_server->huge("/f", 50);
    else if (setup == "huge-unannounced")
        m_server->huge("/f", 50, false);
    else if (setup == "over")
        m_server->serve("/f", feedOfSize(DocumentLoader::MaximumBytes + 1));
    else if (setup == "truncated")
        m_server->serve("/f", feed.left(feed.size() / 2));
    else if (setup == "text")
        m_server->serve("/f", "Service unavailable", 200, "text/plain");
    else if (setup == "empty")
        m_server->serve("/f", QByteArray());
    else if (setup == "laughs")
        m_server->serve("/f", billionLaughs());
    else if (setup == "quadratic")
        m_server->serve("/f", quadraticBlowup());
    else if (setup.startsWith("body:"))
        m_server->serve("/f", hostileBodies()[setup.mid(5)]);
    else if (setup == "to-file")
        m_server->raw("/f", "HTTP/1.1 302 Found\r\nLocation: file:///etc/hostname\r\nContent-Length: 0\r\n\r\n");
    else if (setup == "gzip") {
        const QByteArray bomb = gzipOfZeros(DocumentLoader::MaximumBytes + 4096);
        m_server->raw("/f",
                      "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Encoding: gzip\r\nContent-Length: "
                          + QByteArray::number(bomb.size()) + "\r\n\r\n" + bomb);
    } else if (setup == "garbage")
        m_server->raw("/f", "HTTP/1.1 ??? Whatever\r\n\r\n" + feed);
    else if (setup == "short")
        m_server->raw("/f",
                      "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(feed.size() * 2) + "\r\n\r\n" + feed);
    else if (setup == "reset")
        m_server->raw("/f",
                      "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(feed.size()) + "\r\n\r\n"
                          + feed.left(feed.size() / 2),
                      true);
    else if (setup == "loop")
        m_server->handle("/f", [this](const HttpRequest &) {
            HttpResponse response;
            response.status = 302;
            response.headers.append({"Location", m_server->url("/f").toEncoded()});
            return response;
        });

    QString url = address;
    if (address == "refused")
        url = QStringLiteral("http://127.0.0.1:%1/f").arg(unusedLoopbackPort());
    else if (address.startsWith(u'/'))
        url = m_server->url(address).toString();

    DocumentLoader loader;
    loader.setTimeout(timeoutMs);
    QElapsedTimer clock;
    clock.start();
    const QDomDocument document = loader.load(url);

    QVERIFY(document.isNull());
    QVERIFY(readChannels(document).isEmpty());
    // Every failure says why, for the log.
    QVERIFY2(!loader.lastFailure().isEmpty() && loader.lastFailure().startsWith(reason),
             qPrintable(loader.lastFailure()));
    if (setup.startsWith("body:") || setup == "gzip")
        QVERIFY(loader.loadChannels(QUrl(url)).isEmpty());
    QVERIFY2(clock.elapsed() < qMin(timeoutMs, 5000) + 2000, qPrintable(QString::number(clock.elapsed())));
    // An oversized body is dropped early, not read to its end.
    QVERIFY(m_server->bodyBytesSent() < 20 * 1024 * 1024);
    QVERIFY(!loader.isWaiting());
}

// Waiting for a feed is the board's yield: timers keep firing meanwhile.
void TestDocumentLoader::keepsEventsRunningWhileWaiting()
{
    m_server->hang("/f");
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(20);

    DocumentLoader loader;
    loader.setTimeout(400);
    QVERIFY(loader.load(m_server->url("/f")).isNull());
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
}

void TestDocumentLoader::abortEndsWait()
{
    m_server->hang("/f");
    DocumentLoader loader;
    bool waitingWhenAborted = false;
    QTimer::singleShot(100, &loader, [&] {
        waitingWhenAborted = loader.isWaiting();
        loader.abort();
    });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(loader.load(m_server->url("/f")).isNull());
    QVERIFY(waitingWhenAborted);
    QVERIFY(clock.elapsed() < 5000);

    // The loader is usable again afterwards.
    QVERIFY(hasChannel(loader.load(m_server->url(feedTarget))));
}

void TestDocumentLoader::abortWhenIdleDoesNothing()
{
    DocumentLoader loader;
    loader.abort();
    QVERIFY(hasChannel(loader.load(m_server->url(feedTarget))));
}

void TestDocumentLoader::refusesNestedLoad()
{
    m_server->hang("/f");
    DocumentLoader loader;
    bool nestedWasEmpty = false;
    QTimer::singleShot(50, &loader, [&] {
        nestedWasEmpty = loader.load(m_server->url(feedTarget)).isNull();
        loader.abort();
    });
    QVERIFY(loader.load(m_server->url("/f")).isNull());
    QVERIFY(nestedWasEmpty);
}

// The window may go away while a refresh waits for a feed.
void TestDocumentLoader::survivesDeletionDuringWait()
{
    m_server->hang("/f");
    {
        auto *loader = new DocumentLoader;
        QTimer::singleShot(50, [loader] { delete loader; });
        QVERIFY(loader->load(m_server->url("/f")).isNull());
    }
    {
        QNetworkAccessManager manager;
        auto *loader = new DocumentLoader(&manager);
        QTimer::singleShot(50, [loader] { delete loader; });
        QVERIFY(loader->load(m_server->url("/f")).isNull());
    }
}

QTEST_GUILESS_MAIN(TestDocumentLoader)
#include "tst_documentloader.moc"
