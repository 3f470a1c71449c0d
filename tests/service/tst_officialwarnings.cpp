// The national centre's alerts: CAP documents and indexes the tests write,
// read, screened and judged (what counts, which cities an alert covers);
// the fetcher against feeds on loopback on a fake clock (conditional
// requests, each document once, the looks' spacing, 429 and Retry-After,
// broken answers, a restart); and the documents that carry them.

#include "servicetestdata.h"
#include "testsupport.h"

#include "service/capreader.h"
#include "service/livesource.h"
#include "service/locationtable.h"
#include "service/officialalerts.h"
#include "service/officialwarnings.h"
#include "service/openmeteoclient.h"

#include <QLoggingCategory>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

// 15:00 in the cities' zone.
const QDateTime Now(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);

// One info of a CAP alert the tests write.
struct Info
{
    QString language = QStringLiteral("en-US");
    QString category = QStringLiteral("Met");
    QString event = QStringLiteral("Dust storm");
    QString severity = QStringLiteral("Severe");
    QString expires = QStringLiteral("2026-12-09T21:00:00+03:00");
    QString area; // the whole <area> element's content
    QString headline = QStringLiteral("Dust & sand <over> \"the region\"");
};

QString polygonArea(const QString &points)
{
    return QStringLiteral("<areaDesc>polygon</areaDesc><polygon>%1</polygon>").arg(points);
}

QString circleArea(const QString &circle)
{
    return QStringLiteral("<areaDesc>circle</areaDesc><circle>%1</circle>").arg(circle);
}

QString namedArea(const QString &description)
{
    return QStringLiteral("<areaDesc>%1</areaDesc>").arg(description);
}

// Around Riyadh, and nowhere else.
const QString RiyadhPolygon = polygonArea(QStringLiteral("24.5,46.5 24.5,47.0 25.0,47.0 25.0,46.5 24.5,46.5"));

QString infoXml(const Info &info)
{
    QString xml = QStringLiteral("<info><language>%1</language><category>%2</category><event>%3</event>"
                                 "<urgency>Immediate</urgency><severity>%4</severity><certainty>Observed</certainty>"
                                 "<onset>2026-12-09T15:00:00+03:00</onset>")
                      .arg(info.language, info.category, info.event, info.severity);
    if (!info.expires.isEmpty())
        xml += QStringLiteral("<expires>%1</expires>").arg(info.expires);
    QString headline = info.headline;
    headline.replace(u'&', QStringLiteral("&amp;")).replace(u'<', QStringLiteral("&lt;"));
    xml += QStringLiteral("<senderName>NCM</senderName><headline>%1</headline>"
                          "<description>Visibility   drops\n under 1 km.</description><area>%2</area></info>")
               .arg(headline, info.area.isEmpty() ? RiyadhPolygon : info.area);
    return xml;
}

QByteArray capAlert(const QString &identifier, const QList<Info> &infos,
                    const QString &msgType = QStringLiteral("Alert"), const QString &references = {},
                    const QString &status = QStringLiteral("Actual"),
                    const QString &ns = QStringLiteral("urn:oasis:names:tc:emergency:cap:1.2"))
{
    QString xml = QStringLiteral("<alert xmlns=\"%1\"><identifier>%2</identifier><sender>ncm.gov.sa</sender>"
                                 "<sent>2026-12-09T14:00:00+03:00</sent><status>%3</status><msgType>%4</msgType>"
                                 "<scope>Public</scope>")
                      .arg(ns, identifier, status, msgType);
    if (!references.isEmpty())
        xml += QStringLiteral("<references>%1</references>").arg(references);
    for (const Info &info : infos)
        xml += infoXml(info);
    return (xml + QStringLiteral("</alert>")).toUtf8();
}

QByteArray rssIndex(const QStringList &links, const QByteArray &inlineAlert = {})
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss version=\"2.0\"><channel><title>NCM</title>";
    for (const QString &link : links)
        xml += "<item><title>alert</title><link>" + link.toUtf8() + "</link></item>";
    if (!inlineAlert.isEmpty())
        xml += "<item><title>inline</title>" + inlineAlert + "</item>";
    return xml + "</channel></rss>";
}

QByteArray atomIndex(const QStringList &links, const QByteArray &inlineAlert = {})
{
    QByteArray xml = "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>NCM</title>";
    for (const QString &link : links)
        xml += "<entry><title>alert</title><link rel=\"alternate\" href=\"/page\"/>"
               "<link rel=\"related\" type=\"application/cap+xml\" href=\""
            + link.toUtf8() + "\"/></entry>";
    if (!inlineAlert.isEmpty())
        xml += "<entry><title>inline</title><content type=\"text/xml\">" + inlineAlert + "</content></entry>";
    return xml + "</feed>";
}

// What a set of bodies gives, as one line: the links of each, or why it
// was refused, then every alert in force with the cities it covers.
QString judged(const QList<QByteArray> &bodies, Withdrawals *withdrawals)
{
    QStringList parts;
    QList<CapAlert> alerts;
    for (const QByteArray &body : bodies) {
        const CapReading reading = readCap(body, QUrl(QStringLiteral("https://ncm.gov.sa/ar/cap-alerts")));
        if (!reading.ok)
            parts << QStringLiteral("refused: ") + reading.error.section(u':', 0, 0);
        for (const QUrl &link : reading.links)
            parts << QStringLiteral("link ") + link.toString();
        alerts += reading.alerts;
    }
    for (const OfficialAlert &alert : alertsInForce(alerts, LocationTable::builtIn(), Now, withdrawals)) {
        QStringList languages;
        for (const AlertText &text : alert.texts)
            languages << text.language;
        QStringList cities = alert.cities;
        cities.sort();
        parts << QStringLiteral("%1 %2 %3 [%4] %5%6")
                     .arg(alert.identifier, alert.colour(), alert.kind.isEmpty() ? QStringLiteral("-") : alert.kind,
                          languages.join(u','), cities.join(u' '),
                          alert.references.isEmpty() ? QString()
                                                     : QStringLiteral(" replaces ") + alert.references.join(u' '));
    }
    return parts.join(QStringLiteral(" | "));
}

QByteArray nested(int depth)
{
    return QByteArray("<a>").repeated(depth) + QByteArray("</a>").repeated(depth);
}

} // namespace

class TestOfficialWarnings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("forecastd=false")); }
    void init();
    void cleanup();

    void reading_data();
    void reading();
    void cancelOutlivesItsListing();
    void documentCarriesAlerts();
    void fetcher_data();
    void fetcher();
    void keptAcrossRestart();
    void firstDocumentsWaitForTheFirstLook_data();
    void firstDocumentsWaitForTheFirstLook();
    void throughTheSiteCache();
    void incompleteCertificateChain();

private:
    // Looks when one is due (the clock moved on) and waits for it to end.
    void askAndWait(OfficialWarnings &alerts)
    {
        alerts.asked();
        QTRY_VERIFY(!alerts.lookRunning());
    }
    int requestsFor(const QString &path) const
    {
        const QList<HttpRequest> requests = m_feeds->requests();
        return int(
            std::count_if(requests.begin(), requests.end(), [&](const HttpRequest &r) { return r.path == path; }));
    }
    std::unique_ptr<OfficialWarnings> makeAlerts(const QString &cacheDirectory = {})
    {
        auto alerts = std::make_unique<OfficialWarnings>(LocationTable::builtIn(), [this] { return m_now; });
        alerts->setSources({m_feeds->url(QStringLiteral("/ar/cap-alerts"))});
        alerts->setTimeout(3000);
        if (!cacheDirectory.isEmpty())
            alerts->setCacheDirectory(cacheDirectory);
        return alerts;
    }
    QStringList ids(const OfficialWarnings &alerts) const
    {
        QStringList out;
        for (const OfficialAlert &alert : alerts.inForce(m_now))
            out << alert.identifier;
        return out;
    }
    void serveIndex(const QByteArray &body, const QByteArray &etag = "\"v1\"")
    {
        m_feeds->handle(QStringLiteral("/ar/cap-alerts"), [body, etag](const HttpRequest &request) {
            HttpResponse response;
            response.headers << qMakePair(QByteArray("ETag"), etag)
                             << qMakePair(QByteArray("Last-Modified"), QByteArray("Wed, 09 Dec 2026 11:00:00 GMT"));
            if (request.header("If-None-Match") == etag) {
                response.status = 304;
                return response;
            }
            response.contentType = "application/rss+xml";
            response.body = body;
            return response;
        });
    }

    std::unique_ptr<LoopbackHttpServer> m_feeds;
    QDateTime m_now;
};

void TestOfficialWarnings::init()
{
    m_now = Now;
    m_feeds = std::make_unique<LoopbackHttpServer>();
    QVERIFY(m_feeds->listen());
    for (const char *id : {"A1", "A2", "A3"})
        m_feeds->serve(QStringLiteral("/cap/%1.xml").arg(QLatin1String(id)), capAlert(QLatin1String(id), {Info()}), 200,
                       "application/cap+xml");
}

void TestOfficialWarnings::cleanup()
{
    m_feeds.reset();
}

void TestOfficialWarnings::reading_data()
{
    QTest::addColumn<QList<QByteArray>>("bodies");
    QTest::addColumn<QString>("expected");

    Info ar;
    ar.language = QStringLiteral("ar-SA");
    ar.event = QStringLiteral("غبار");
    Info geo;
    geo.category = QStringLiteral("Geo");
    Info expired;
    expired.expires = QStringLiteral("2026-12-09T14:59:00+03:00");
    Info noExpiry;
    noExpiry.expires.clear();
    Info circle;
    circle.area = circleArea(QStringLiteral("21.464,39.186 100"));
    Info qassim;
    qassim.area = namedArea(QStringLiteral("منطقة القصيم"));
    qassim.language = QStringLiteral("ar");
    Info borders;
    borders.area = namedArea(QStringLiteral("Northern Borders Region, Al-Jouf"));
    Info jeddah;
    jeddah.area = namedArea(QStringLiteral("جدة"));
    Info farPolygon;
    farPolygon.area = polygonArea(QStringLiteral("10,10 10,11 11,11 11,10 10,10"));
    Info brokenPolygon; // geometry that can't be read covers nothing, whatever its description says
    brokenPolygon.area = QStringLiteral("<areaDesc>Riyadh</areaDesc><polygon>24.5,46.5 nonsense</polygon>");
    Info moderateRain;
    moderateRain.severity = QStringLiteral("Moderate");
    moderateRain.event = QStringLiteral("أمطار رعدية");
    Info minorCold;
    minorCold.severity = QStringLiteral("Minor");
    minorCold.event = QStringLiteral("Low temperatures");

    const QByteArray a1 = capAlert(QStringLiteral("A1"), {Info()});
    // clang-format off
    QTest::newRow("polygon") << QList<QByteArray>{a1} << "A1 red dust [en] SAXX0017";
    QTest::newRow("circle, great-circle km") << QList<QByteArray>{capAlert(QStringLiteral("C"), {circle})}
        << "C red dust [en] SAXX0012 SAXX0013";
    QTest::newRow("areaDesc names a region in Arabic") << QList<QByteArray>{capAlert(QStringLiteral("Q"), {qassim})}
        << "Q red dust [ar] SAXX0030";
    QTest::newRow("areaDesc names regions in English") << QList<QByteArray>{capAlert(QStringLiteral("N"), {borders})}
        << "N red dust [en] SAXX0005 SAXX0022 SAXX0023 SAXX0024 SAXX0025";
    QTest::newRow("areaDesc names a city") << QList<QByteArray>{capAlert(QStringLiteral("J"), {jeddah})}
        << "J red dust [en] SAXX0012";
    QTest::newRow("polygon over no city") << QList<QByteArray>{capAlert(QStringLiteral("F"), {farPolygon})} << "";
    QTest::newRow("unreadable polygon") << QList<QByteArray>{capAlert(QStringLiteral("B"), {brokenPolygon})} << "";
    QTest::newRow("category Geo") << QList<QByteArray>{capAlert(QStringLiteral("G"), {geo})} << "";
    QTest::newRow("expired") << QList<QByteArray>{capAlert(QStringLiteral("E"), {expired})} << "";
    QTest::newRow("no expires: a day from sent") << QList<QByteArray>{capAlert(QStringLiteral("D"), {noExpiry})}
        << "D red dust [en] SAXX0017";
    QTest::newRow("status Test") << QList<QByteArray>{capAlert(QStringLiteral("T"), {Info()}, QStringLiteral("Alert"), {}, QStringLiteral("Test"))} << "";
    QTest::newRow("msgType Ack") << QList<QByteArray>{capAlert(QStringLiteral("K"), {Info()}, QStringLiteral("Ack"))} << "";
    QTest::newRow("Update replaces") << QList<QByteArray>{a1, capAlert(QStringLiteral("A2"), {Info()}, QStringLiteral("Update"), QStringLiteral("ncm.gov.sa,A1,2026-12-09T14:00:00+03:00"))}
        << "A2 red dust [en] SAXX0017 replaces A1";
    QTest::newRow("Cancel removes, the original still listed") << QList<QByteArray>{a1, capAlert(QStringLiteral("X1"), {Info()}, QStringLiteral("Cancel"), QStringLiteral("ncm.gov.sa,A1,2026-12-09T14:00:00+03:00"))} << "";
    QTest::newRow("both languages, one alert") << QList<QByteArray>{a1, capAlert(QStringLiteral("A1"), {ar})}
        << "A1 red dust [ar,en] SAXX0017";
    QTest::newRow("both languages in one document") << QList<QByteArray>{capAlert(QStringLiteral("A1"), {Info(), ar})}
        << "A1 red dust [ar,en] SAXX0017";
    QTest::newRow("CAP 1.1") << QList<QByteArray>{capAlert(QStringLiteral("V"), {Info()}, QStringLiteral("Alert"), {}, QStringLiteral("Actual"), QStringLiteral("urn:oasis:names:tc:emergency:cap:1.1"))}
        << "V red dust [en] SAXX0017";
    QTest::newRow("another namespace") << QList<QByteArray>{capAlert(QStringLiteral("W"), {Info()}, QStringLiteral("Alert"), {}, QStringLiteral("Actual"), QStringLiteral("urn:example:cap"))}
        << "refused: neither an RSS or Atom index nor a CAP alert";
    QTest::newRow("orange thunder, yellow and no kind") << QList<QByteArray>{capAlert(QStringLiteral("R"), {moderateRain}), capAlert(QStringLiteral("S"), {minorCold})}
        << "R orange thunder [en] SAXX0017 | S yellow - [en] SAXX0017";
    QTest::newRow("RSS index") << QList<QByteArray>{rssIndex({QStringLiteral("/cap/A1.xml"), QStringLiteral("https://ncm.gov.sa/cap/A1.xml"), QStringLiteral("ftp://ncm.gov.sa/x"), QStringLiteral("https://ncm.gov.sa/cap/A2.xml")})}
        << "link https://ncm.gov.sa/cap/A1.xml | link https://ncm.gov.sa/cap/A2.xml";
    QTest::newRow("RSS index, alert inline") << QList<QByteArray>{rssIndex({}, capAlert(QStringLiteral("I"), {Info()}))}
        << "I red dust [en] SAXX0017";
    QTest::newRow("Atom index, CAP link first") << QList<QByteArray>{atomIndex({QStringLiteral("https://ncm.gov.sa/cap/A3.xml")})}
        << "link https://ncm.gov.sa/cap/A3.xml";
    QTest::newRow("Atom index, alert inline") << QList<QByteArray>{atomIndex({}, capAlert(QStringLiteral("I"), {Info()}))}
        << "I red dust [en] SAXX0017";
    QTest::newRow("not well-formed") << QList<QByteArray>{a1.left(a1.size() - 3)} << "refused: not well-formed XML";
    QTest::newRow("HTML") << QList<QByteArray>{QByteArray("<html><body>maintenance</body></html>")}
        << "refused: neither an RSS or Atom index nor a CAP alert";
    QTest::newRow("entities, DTD") << QList<QByteArray>{QByteArray("<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]><rss><channel><title>&b;</title></channel></rss>")}
        << "refused: declares a DTD";
    QTest::newRow("undeclared entity") << QList<QByteArray>{QByteArray("<rss><channel><title>&x;</title></channel></rss>")}
        << "refused: not well-formed XML";
    QTest::newRow("too deep") << QList<QByteArray>{"<rss>" + nested(40) + "</rss>"} << "refused: too deep";
    QTest::newRow("too many attributes in a tag") << QList<QByteArray>{"<rss><channel " + QByteArray("a=\"1\" ").repeated(40) + "/></rss>"}
        << "refused: too many attributes";
    QTest::newRow("more than 500 alerts") << QList<QByteArray>{rssIndex([] { QStringList l; for (int i = 0; i < 501; ++i) l << QStringLiteral("/cap/%1.xml").arg(i); return l; }())}
        << "refused: more than 500 alerts";
    QTest::newRow("larger than 1 MiB") << QList<QByteArray>{rssIndex({}) + QByteArray(1024 * 1024, ' ')}
        << "refused: larger than 1048576 bytes";
    QTest::newRow("UTF-16") << QList<QByteArray>{QByteArray("\xff\xfe<\0r\0s\0s\0/\0>\0", 14)} << "refused: not UTF-8";
    QTest::newRow("a refused feed leaves the other's alerts") << QList<QByteArray>{a1, QByteArray("<rss>")}
        << "refused: not well-formed XML | A1 red dust [en] SAXX0017";
    // clang-format on
}

void TestOfficialWarnings::reading()
{
    QFETCH(QList<QByteArray>, bodies);
    QFETCH(QString, expected);
    Withdrawals withdrawals;
    QCOMPARE(judged(bodies, &withdrawals), expected);
}

// A Cancel that has left the feed still holds the original back.
void TestOfficialWarnings::cancelOutlivesItsListing()
{
    const QByteArray a1 = capAlert(QStringLiteral("A1"), {Info()});
    const QByteArray cancel = capAlert(QStringLiteral("X1"), {Info()}, QStringLiteral("Cancel"),
                                       QStringLiteral("ncm.gov.sa,A1,2026-12-09T14:00:00+03:00"));
    Withdrawals withdrawals;
    QCOMPARE(judged({a1, cancel}, &withdrawals), QString());
    QCOMPARE(judged({a1}, &withdrawals), QString());
    Withdrawals none;
    QCOMPARE(judged({a1}, &none), QStringLiteral("A1 red dust [en] SAXX0017"));
}

// The alert as the document carries it: the contract's attributes, its
// times in +03:00 whatever the host's zone, escaped text, the description
// folded and cut at a word.
void TestOfficialWarnings::documentCarriesAlerts()
{
    Info en;
    Info ar;
    ar.language = QStringLiteral("ar");
    ar.event = QStringLiteral("غبار");
    ar.headline = QStringLiteral("تنبيه أحمر");
    CapReading reading = readCap(capAlert(QStringLiteral("2.49.0.0.682.0.1"), {en, ar}, QStringLiteral("Update"),
                                          QStringLiteral("ncm.gov.sa,2.49.0.0.682.0.0,2026-12-09T12:00:00+03:00")));
    QVERIFY(reading.ok);
    reading.alerts[0].infos[0].description = QString(290, u'x') + QStringLiteral(" words beyond the cut");
    Withdrawals withdrawals;
    const QList<OfficialAlert> alerts = alertsInForce(reading.alerts, LocationTable::builtIn(), Now, &withdrawals);
    QCOMPARE(alerts.size(), 1);

    const QByteArray document = writeForecastDocument(
        QJsonDocument::fromJson(readWhole(serviceSamplesPath(QStringLiteral("upstream/SAXX0017.json")))).object(),
        *LocationTable::builtIn().find(QStringLiteral("SAXX0017")), Units::Metric, {}, {}, {}, alerts);
    const QByteArray expected =
        "<rorizedivo:alert id=\"2.49.0.0.682.0.1\" colour=\"red\" severity=\"Severe\" urgency=\"Immediate\" "
        "onset=\"2026-12-09T15:00:00+03:00\" expires=\"2026-12-09T21:00:00+03:00\" kind=\"dust\" "
        "references=\"2.49.0.0.682.0.0\">\n"
        "    <rorizedivo:text lang=\"ar\" sender=\"NCM\" event=\"غبار\" headline=\"تنبيه أحمر\" "
        "description=\"Visibility drops under 1 km.\"/>\n"
        "    <rorizedivo:text lang=\"en\" sender=\"NCM\" event=\"Dust storm\" "
        "headline=\"Dust &amp; sand &lt;over&gt; &quot;the region&quot;\" description=\""
        + QByteArray(290, 'x') + " words…\"/>\n   </rorizedivo:alert>";
    QVERIFY2(document.contains(expected), document.mid(document.indexOf("<rorizedivo:alert"), 900).constData());
    QVERIFY(document.indexOf("<rorizedivo:alert") > document.lastIndexOf("<yweather:forecast"));
    QVERIFY(!writeForecastDocument({}, *LocationTable::builtIn().find(QStringLiteral("SAXX0017")), Units::Metric)
                 .contains("rorizedivo"));
}

// Looks at one feed listing two documents, then a second answer after
// `advances` (seconds the clock moves before each ask).
void TestOfficialWarnings::fetcher_data()
{
    QTest::addColumn<int>("status"); // of the index's second answer: 200 new, 304, or an error
    QTest::addColumn<QByteArray>("body"); // with 200
    QTest::addColumn<QList<int>>("advances");
    QTest::addColumn<int>("indexRequests");
    QTest::addColumn<int>("documentRequests");
    QTest::addColumn<QStringList>("inForce");

    const QStringList both{QStringLiteral("A1"), QStringLiteral("A2")};
    // clang-format off
    QTest::newRow("unchanged: 304, no document again") << 304 << QByteArray() << QList<int>{300} << 2 << 2 << both;
    QTest::newRow("never sooner than 5 minutes") << 304 << QByteArray() << QList<int>{60, 120, 119} << 1 << 2 << both;
    QTest::newRow("every 5 minutes while asked") << 304 << QByteArray() << QList<int>{300, 300, 300} << 4 << 2 << both;
    QTest::newRow("a new document fetched, the old ones not") << 200 << rssIndex({QStringLiteral("/cap/A1.xml"), QStringLiteral("/cap/A3.xml")})
        << QList<int>{300} << 2 << 3 << QStringList{QStringLiteral("A1"), QStringLiteral("A3")};
    QTest::newRow("429: Retry-After obeyed") << 429 << QByteArray() << QList<int>{300, 600, 599, 1} << 3 << 2 << both;
    QTest::newRow("503 keeps the last good set") << 503 << QByteArray() << QList<int>{300} << 2 << 2 << both;
    QTest::newRow("broken index keeps the last good set") << 200 << QByteArray("<rss><channel>") << QList<int>{300} << 2 << 2 << both;
    QTest::newRow("hostile index keeps the last good set") << 200 << QByteArray("<!DOCTYPE x [<!ENTITY a \"a\">]><rss/>") << QList<int>{300} << 2 << 2 << both;
    QTest::newRow("an empty index ends them") << 200 << rssIndex({}) << QList<int>{300} << 2 << 2 << QStringList();
    // clang-format on
}

void TestOfficialWarnings::fetcher()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QList<int>, advances);
    QFETCH(int, indexRequests);
    QFETCH(int, documentRequests);
    QFETCH(QStringList, inForce);

    serveIndex(rssIndex({QStringLiteral("/cap/A1.xml"), QStringLiteral("/cap/A2.xml")}));
    const auto alerts = makeAlerts();
    alerts->start();
    QVERIFY(alerts->firstLookPending());
    QTRY_VERIFY(!alerts->lookRunning());
    QCOMPARE(ids(*alerts), QStringList({QStringLiteral("A1"), QStringLiteral("A2")}));

    if (status == 304) {
        // The validators of the first answer make the next one 304.
    } else if (status == 200) {
        serveIndex(body, "\"v2\"");
    } else {
        m_feeds->handle(QStringLiteral("/ar/cap-alerts"), [status](const HttpRequest &) {
            HttpResponse response;
            response.status = status;
            response.headers << qMakePair(QByteArray("Retry-After"), QByteArray("1200"));
            return response;
        });
    }
    for (int seconds : advances) {
        m_now = m_now.addSecs(seconds);
        askAndWait(*alerts);
        if (status == 429 && alerts->looksStarted() >= 2)
            serveIndex(rssIndex({QStringLiteral("/cap/A1.xml"), QStringLiteral("/cap/A2.xml")}));
    }
    QCOMPARE(requestsFor(QStringLiteral("/ar/cap-alerts")), indexRequests);
    const QList<HttpRequest> requests = m_feeds->requests();
    if (requests.size() > 3) {
        QCOMPARE(requests.at(3).header("If-None-Match"), QByteArray("\"v1\""));
        QCOMPARE(requests.at(3).header("If-Modified-Since"), QByteArray("Wed, 09 Dec 2026 11:00:00 GMT"));
    }
    QCOMPARE(requestsFor(QStringLiteral("/cap/A1.xml")) + requestsFor(QStringLiteral("/cap/A2.xml"))
                 + requestsFor(QStringLiteral("/cap/A3.xml")),
             documentRequests);
    QCOMPARE(ids(*alerts), inForce);
    QVERIFY(
        alerts->metrics(m_now).contains("forecastd_official_alerts_in_force " + QByteArray::number(inForce.size())));
}

// A restart with the feed down serves what the last good look found, until
// it expires; one with the feed up asks it with the kept validators.
void TestOfficialWarnings::keptAcrossRestart()
{
    QTemporaryDir cache;
    serveIndex(rssIndex({QStringLiteral("/cap/A1.xml")}));
    {
        const auto alerts = makeAlerts(cache.path());
        alerts->start();
        QTRY_VERIFY(!alerts->lookRunning());
        QCOMPARE(ids(*alerts), QStringList{QStringLiteral("A1")});
    }
    m_now = m_now.addSecs(600);
    {
        const auto alerts = makeAlerts(cache.path());
        QCOMPARE(ids(*alerts), QStringList{QStringLiteral("A1")});
        alerts->start();
        QTRY_VERIFY(!alerts->lookRunning());
        QCOMPARE(m_feeds->requests().last().header("If-None-Match"), QByteArray("\"v1\""));
        QCOMPARE(requestsFor(QStringLiteral("/cap/A1.xml")), 1);
    }
    m_feeds->handle(QStringLiteral("/ar/cap-alerts"), [](const HttpRequest &) {
        return HttpResponse{503, {}, {}, {}};
    });
    // Started again within 5 minutes of the last look, it looks no sooner
    // than that look's time allows.
    m_now = m_now.addSecs(OfficialWarnings::LookSeconds - 1);
    const auto alerts = makeAlerts(cache.path());
    alerts->start();
    QVERIFY(!alerts->lookRunning() && !alerts->firstLookPending());
    m_now = m_now.addSecs(1);
    askAndWait(*alerts);
    QCOMPARE(alerts->looksStarted(), 1);
    QCOMPARE(ids(*alerts), QStringList{QStringLiteral("A1")});
    QCOMPARE(alerts->forCity(QStringLiteral("SAXX0017"), m_now).size(), 1);
    QVERIFY(alerts->metrics(m_now).contains("forecastd_official_warning_looks_total{outcome=\"failed\"} 1"));
    m_now = QDateTime(QDate(2026, 12, 9), QTime(18, 0), Qt::UTC); // 21:00 +03:00, when it expires
    QCOMPARE(ids(*alerts), QStringList());
}

// The first documents after start wait for the first look, while the
// hour's wave goes out, and carry the alerts it found; the upstream is
// asked what it would be asked without them.
void TestOfficialWarnings::firstDocumentsWaitForTheFirstLook_data()
{
    QTest::addColumn<bool>("feedHangs");
    QTest::newRow("the feed answers") << false;
    // The wait is bounded: the document goes without alerts.
    QTest::newRow("the feed hangs") << true;
}

void TestOfficialWarnings::firstDocumentsWaitForTheFirstLook()
{
    QFETCH(bool, feedHangs);
    LoopbackHttpServer upstream;
    QVERIFY(upstream.listen());
    serveSampleAnswers(upstream);
    OpenMeteoClient client;
    client.setEndpoint(upstream.url(QStringLiteral("/v1/forecast")));
    client.setAirQualityEndpoint(upstream.url(QStringLiteral("/v1/air-quality")));
    m_now = QDateTime(QDate(2026, 12, 7), QTime(10, 0), Qt::UTC);
    LiveForecastSource source(&client, LocationTable::builtIn(), [this] { return m_now; });
    Info info;
    info.expires = QStringLiteral("2026-12-07T21:00:00+03:00");
    serveIndex(rssIndex({}, capAlert(QStringLiteral("A1"), {info})));
    if (feedHangs)
        m_feeds->hang(QStringLiteral("/ar/cap-alerts"));
    const auto alerts = makeAlerts();
    alerts->setFirstLookWait(300);
    source.setOfficialWarnings(alerts.get());
    alerts->start();
    std::optional<ServedDocument> served;
    source.document(*LocationTable::builtIn().find(QStringLiteral("SAXX0017")), Units::Metric,
                    [&served](const ServedDocument &document) { served = document; });
    QTRY_VERIFY(served.has_value());
    QCOMPARE(served->status, ServedDocument::Status::Ok);
    QCOMPARE(upstream.requests().size(), 2); // the forecast and the air, once
    if (feedHangs) {
        QVERIFY(alerts->lookRunning());
        QVERIFY(!served->body.contains("rorizedivo:alert"));
        return;
    }
    QVERIFY2(served->body.contains("<rorizedivo:alert id=\"A1\""), served->body.constData());
    QVERIFY(source.metrics().contains("forecastd_official_alerts_in_force 1"));

    std::optional<ServedDocument> other;
    source.document(*LocationTable::builtIn().find(QStringLiteral("SAXX0012")), Units::Metric,
                    [&other](const ServedDocument &document) { other = document; });
    QTRY_VERIFY(other.has_value());
    QVERIFY(!other->body.contains("rorizedivo:alert"));
}

// Two machines behind the site cache (the real nginx, as scripts/site-cache
// runs it) cost the feeds what one costs: the index and each document asked
// once, and a machine's conditional request answered by the cache.
void TestOfficialWarnings::throughTheSiteCache()
{
    if (QStandardPaths::findExecutable(QStringLiteral("nginx"),
                                       {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")})
            .isEmpty())
        QSKIP("nginx is not installed (scripts/setup installs nginx-light)");
    serveIndex(rssIndex({QStringLiteral("/cap/A1.xml")}));
    const quint16 port = unusedLoopbackPort();
    QProcess cache;
    cache.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SITE_CACHE_WARNINGS"),
                       QStringLiteral("http://127.0.0.1:%1").arg(m_feeds->port()));
    cache.setProcessEnvironment(environment);
    cache.start(QStringLiteral(SITE_CACHE_SCRIPT),
                {QString::number(port), QStringLiteral("http://127.0.0.1:9/v1/forecast"),
                 QStringLiteral("http://127.0.0.1:9/v1/air-quality")});
    const auto stop = qScopeGuard([&cache] {
        cache.terminate();
        cache.waitForFinished(5000);
    });
    QTcpSocket probe;
    QVERIFY(waitUntil([&] { return (probe.connectToHost(QHostAddress::LocalHost, port), probe.waitForConnected(100)); },
                      10000));

    const QUrl via(QStringLiteral("http://127.0.0.1:%1/official-warnings/").arg(port));
    const auto first = makeAlerts();
    const auto second = makeAlerts();
    for (OfficialWarnings *machine : {first.get(), second.get()}) {
        machine->setVia(via);
        machine->start();
        QTRY_VERIFY(!machine->lookRunning());
        QCOMPARE(ids(*machine), QStringList{QStringLiteral("A1")});
    }
    m_now = m_now.addSecs(OfficialWarnings::LookSeconds);
    askAndWait(*first);
    QCOMPARE(first->looksStarted(), 2);
    QVERIFY(first->metrics(m_now).contains("{outcome=\"unchanged\"} 1"));
    QCOMPARE(requestsFor(QStringLiteral("/ar/cap-alerts")), 1);
    QCOMPARE(requestsFor(QStringLiteral("/cap/A1.xml")), 1);
}

namespace {

QStringList journalLines;

void keepJournal(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "forecastd") == 0)
        journalLines << message;
}

// With openssl in `folder`: a root CA, an intermediate it signed, and
// 127.0.0.1's certificate signed by the intermediate, which the server
// sends alone, as a server that leaves the intermediate out of its chain.
bool makeChain(const QString &folder)
{
    const auto openssl = [&folder](const QString &arguments) {
        QProcess process;
        process.setWorkingDirectory(folder);
        process.start(QStringLiteral("openssl"), arguments.split(u' ', Qt::SkipEmptyParts));
        return process.waitForFinished(30000) && process.exitCode() == 0;
    };
    const QString request = QStringLiteral(
        "req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 ");
    return openssl(request + QStringLiteral("-subj /CN=Test-Root -keyout root.key -out root.crt"))
        && openssl(request
                   + QStringLiteral("-subj /CN=Test-Intermediate -keyout intermediate.key -out intermediate.crt "
                                    "-addext basicConstraints=critical,CA:TRUE -CA root.crt -CAkey root.key"))
        && openssl(request
                   + QStringLiteral("-subj /CN=127.0.0.1 -keyout leaf.key -out leaf.crt "
                                    "-addext subjectAltName=IP:127.0.0.1 -addext basicConstraints=CA:FALSE "
                                    "-CA intermediate.crt -CAkey intermediate.key"));
}

} // namespace

// A chain without its intermediate fails with one line that says so, however
// many looks it fails; the intermediate given for these feeds mends it.
void TestOfficialWarnings::incompleteCertificateChain()
{
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        QSKIP("openssl is not installed");
    QTemporaryDir folder;
    QVERIFY(makeChain(folder.path()));
    LoopbackHttpServer feeds;
    QVERIFY(feeds.useTls(folder.filePath(QStringLiteral("leaf.crt")), folder.filePath(QStringLiteral("leaf.key"))));
    QVERIFY(feeds.listen());
    feeds.serve(QStringLiteral("/ar/cap-alerts"), rssIndex({}, capAlert(QStringLiteral("A1"), {Info()})));

    OfficialWarnings alerts(LocationTable::builtIn(), [this] { return m_now; });
    alerts.setSources({QUrl(QStringLiteral("https://127.0.0.1:%1/ar/cap-alerts").arg(feeds.port()))});
    alerts.setTimeout(5000);
    alerts.setExtraCertificates(QSslCertificate::fromPath(folder.filePath(QStringLiteral("root.crt"))));
    QLoggingCategory::setFilterRules(QStringLiteral("forecastd.warning=true"));
    journalLines.clear();
    const QtMessageHandler before = qInstallMessageHandler(keepJournal);
    const auto restore = qScopeGuard([before] {
        qInstallMessageHandler(before);
        QLoggingCategory::setFilterRules(QStringLiteral("forecastd=false"));
    });
    alerts.start();
    QTRY_VERIFY(!alerts.lookRunning());
    m_now = m_now.addSecs(OfficialWarnings::LookSeconds);
    askAndWait(alerts);
    QCOMPARE(alerts.looksStarted(), 2);
    QCOMPARE(journalLines.size(), 1);
    QVERIFY2(journalLines.first().contains(QLatin1String("the certificate chain of 127.0.0.1 is incomplete: the issuer "
                                                         "\"Test-Intermediate\" is not known here")),
             qPrintable(journalLines.first()));
    QVERIFY(ids(alerts).isEmpty());

    OfficialWarnings mended(LocationTable::builtIn(), [this] { return m_now; });
    mended.setSources(alerts.sources());
    mended.setExtraCertificates(QSslCertificate::fromPath(folder.filePath(QStringLiteral("root.crt")))
                                + QSslCertificate::fromPath(folder.filePath(QStringLiteral("intermediate.crt"))));
    mended.start();
    QTRY_VERIFY(!mended.lookRunning());
    QCOMPARE(ids(mended), QStringList{QStringLiteral("A1")});
}

QTEST_GUILESS_MAIN(TestOfficialWarnings)
#include "tst_officialwarnings.moc"
