// The built program as a user's machine runs it: started in its own
// application folder, fed by a feed server on the seed host
// (127.0.0.1:8619, the only port the board reads), closed by SIGTERM.
// Some rows feed a few cities what a hostile server would send: those
// cities end cleared like any failed fetch, the refresh goes on to the last
// city, and the board still ends normally on SIGTERM, at whatever moment of
// a refresh it comes, well within the watchdog's grace.
#include "boardfixture.h"
#include "store/weatherstore.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

// The cities that get the hostile answer, by row.
const QList<int> attacked = {1, 7, 13, 19};

QByteArray hostileDocument(const QString &attack)
{
    if (attack == "deep")
        return QByteArray("<a>").repeated(200000) + QByteArray("</a>").repeated(200000);
    if (attack == "attributes") {
        QByteArray tag = "<rss><channel><a";
        for (int i = 0; tag.size() < 1500000; ++i)
            tag += " a" + QByteArray::number(i) + "=\"\"";
        return tag + "/></channel></rss>";
    }
    if (attack == "laughs") {
        QByteArray dtd = "<!ENTITY l0 \"lol\">";
        for (int i = 1; i <= 9; ++i)
            dtd += "<!ENTITY l" + QByteArray::number(i) + " \"" + ("&l" + QByteArray::number(i - 1) + ";").repeated(10)
                + "\">";
        return "<!DOCTYPE rss [" + dtd + "]><rss><channel><title>&l9;</title></channel></rss>";
    }
    if (attack == "nested") {
        // Channels inside channels, as deep as a document may go, none with a city.
        QByteArray doc = "<rss>";
        for (int i = 0; i < 60; ++i)
            doc += "<channel><link>l</link>" + QByteArray("<item><x/><y/></item>").repeated(40);
        return doc + QByteArray("</channel>").repeated(60) + "</rss>";
    }
    if (attack == "utf8")
        return "<rss><channel><title>\xff\xfe</title></channel></rss>";
    // What once talked the attribute count past, at the size limit: minutes
    // of work each, before the screen refused them.
    const qint64 limit = 2 * 1024 * 1024 - 100;
    if (attack.startsWith("dtd-") || attack == "utf16")
        return attributesTalkedPast(attack.toLatin1(), limit);
    if (attack == "references") {
        // Accepted, and as costly to screen and parse as a document may be.
        const QByteArray text = "<t>" + QByteArray("&#x41;").repeated(4000) + "</t>";
        return "<rss>" + text.repeated(int(limit / text.size())) + "</rss>";
    }
    return {};
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void refreshFillsTheStore_data();
    void refreshFillsTheStore();
    void terminationDuringARefresh_data();
    void terminationDuringARefresh();

private:
    // Starts the built board in a fresh application folder whose feeds point
    // at m_server; false (with a skip) when the executable is not built.
    bool startBoard();
    int filledRows() const;
    int feedRequests() const { return ::feedRequests(*m_server); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LoopbackHttpServer> m_server;
    std::unique_ptr<QProcess> m_board;
    QString m_store;
};

void TestEndToEnd::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<LoopbackHttpServer>();
    if (!m_server->listen(WeatherStore::FeedPort))
        QSKIP("127.0.0.1:8619 is taken (a feed service running?); the board reads its feeds there");
    serveEveryCity(*m_server, QStringLiteral("21.5"));
    m_board = std::make_unique<QProcess>();
}

bool TestEndToEnd::startBoard()
{
    const QString built = qEnvironmentVariable("WEATHER_APP_FOLDER") + QStringLiteral("/RORizedivo");
    if (!QFile::exists(built))
        return false;
    const QString program = m_dir->filePath(QStringLiteral("RORizedivo"));
    m_store = m_dir->filePath(QStringLiteral("wt.dar"));
    if (!QFile::copy(built, program) || !prepareBoardFolder(m_dir->path()))
        return false;

    m_board->setWorkingDirectory(m_dir->path());
    m_board->setProcessChannelMode(QProcess::ForwardedChannels);
    m_board->start(program, {});
    return m_board->waitForStarted();
}

int TestEndToEnd::filledRows() const
{
    DataControl data;
    openRows(data, m_store, QStringLiteral("select * from wt where len(url) > 0"));
    return data.recordset().recordCount();
}

void TestEndToEnd::refreshFillsTheStore_data()
{
    QTest::addColumn<QString>("attack");
    QTest::newRow("ordinary feeds") << "";
    QTest::newRow("200,000 nested elements") << "deep";
    QTest::newRow("attributes in one tag") << "attributes";
    QTest::newRow("entity bomb") << "laughs";
    QTest::newRow("channels nested deep") << "nested";
    QTest::newRow("invalid UTF-8") << "utf8";
    QTest::newRow("50 MiB") << "huge";
    QTest::newRow("quote in a comment of the DTD") << "dtd-comment";
    QTest::newRow("default attributes") << "dtd-defaults";
    QTest::newRow("UTF-16, '>' byte in names") << "utf16";
}

void TestEndToEnd::refreshFillsTheStore()
{
    QFETCH(QString, attack);
    const QList<int> hostile = attack.isEmpty() ? QList<int>() : attacked;
    for (int i : hostile) {
        const QString target = QStringLiteral("/forecastrss?p=%1&u=c").arg(WeatherStore::seedCities()[i].locationId);
        if (attack == "huge")
            m_server->huge(target, 50);
        else
            m_server->serve(target, hostileDocument(attack));
    }
    if (!startBoard())
        QSKIP("the executable is not built");

    QTRY_COMPARE_WITH_TIMEOUT(feedRequests(), 24, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(filledRows(), 24 - int(hostile.size()), 30000);

    m_board->terminate();
    QVERIFY(m_board->waitForFinished(10000));
    QCOMPARE(m_board->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_board->exitCode(), 0);

    DataControl data;
    QVERIFY(openRows(data, m_store));
    QCOMPARE(data.recordset().recordCount(), 24);
    int i = 0;
    for (Recordset &rs = data.recordset(); !rs.isEof(); rs.moveNext(), ++i) {
        QCOMPARE(rs.value(QStringLiteral("city_code")).toText(), WeatherStore::seedCities()[i].cityCode);
        if (hostile.contains(i)) {
            QCOMPARE(rs.value(QStringLiteral("Temp")), FieldValue::number(0));
            QCOMPARE(rs.value(QStringLiteral("Condition")), FieldValue::null());
        } else {
            QCOMPARE(rs.value(QStringLiteral("city_e")).toText(), WeatherStore::seedCities()[i].locationId);
            QCOMPARE(rs.value(QStringLiteral("Temp")), FieldValue::number(21.5));
            QCOMPARE(rs.value(QStringLiteral("Condition")).toText(), QStringLiteral(u"مشمس"));
        }
    }
    QCOMPARE(feedRequests(), 24);
}

// SIGTERM at any moment of a refresh, hostile documents included, ends the
// board by its own unload (a normal exit, where the watchdog's would be a
// crash exit after its grace) and leaves the store whole: every row as the
// refresh left it, filled, cleared before its fetch, or not yet reached,
// in table order, and the hostile city never filled.
void TestEndToEnd::terminationDuringARefresh_data()
{
    // clang-format off
    QTest::addColumn<QString>("attack"); // what the second city's feed sends
    QTest::addColumn<int>("request");    // SIGTERM when this request comes in (1 is the first city's)
    QTest::addColumn<int>("delayMs");    // and this long after it

    QTest::newRow("ordinary feeds, first request") << "" << 1 << 0;
    QTest::newRow("ordinary feeds, half-way") << "" << 12 << 5;
    QTest::newRow("a feed that hangs") << "hang" << 2 << 100;
    for (const char *attack : {"dtd-comment", "dtd-instruction", "dtd-defaults", "utf16", "references", "attributes"}) {
        QTest::addRow("%s, as it is asked for", attack) << attack << 2 << 0;
        QTest::addRow("%s, as it is worked on", attack) << attack << 2 << 30;
    }
    // clang-format on
}

void TestEndToEnd::terminationDuringARefresh()
{
    QFETCH(QString, attack);
    QFETCH(int, request);
    QFETCH(int, delayMs);
    const int hostile = 1;
    const QString target = QStringLiteral("/forecastrss?p=%1&u=c").arg(WeatherStore::seedCities()[hostile].locationId);
    if (attack == "hang")
        m_server->hang(target);
    else if (!attack.isEmpty())
        m_server->serve(target, hostileDocument(attack));
    // Once, as the feed request named comes in; the board's health checks
    // of the service between its feeds do not count.
    QElapsedTimer sinceSignal;
    connect(m_server.get(), &LoopbackHttpServer::requestReceived, this, [&](const HttpRequest &received) {
        if (received.path == QLatin1String("/forecastrss") && feedRequests() == request)
            QTimer::singleShot(delayMs, this, [this, &sinceSignal] {
                // Never kill(0): a board that has ended has no process id,
                // and 0 would signal this test's whole process group.
                if (const qint64 pid = m_board->processId(); pid > 0) {
                    sinceSignal.start();
                    ::kill(pid_t(pid), SIGTERM);
                }
            });
    });
    if (!startBoard())
        QSKIP("the executable is not built");

    QTRY_VERIFY_WITH_TIMEOUT(m_board->state() == QProcess::NotRunning, 30000);
    QVERIFY2(m_board->exitStatus() == QProcess::NormalExit,
             qPrintable(QStringLiteral("ended by signal %1, %2 ms after the termination request")
                            .arg(m_board->exitCode())
                            .arg(sinceSignal.elapsed())));
    QCOMPARE(m_board->exitCode(), 0);

    DataControl data;
    QVERIFY(openRows(data, m_store));
    QCOMPARE(data.recordset().recordCount(), 24);
    enum State { Filled, Cleared, Untouched };
    State previous = Filled;
    int i = 0;
    for (Recordset &rs = data.recordset(); !rs.isEof(); rs.moveNext(), ++i) {
        QCOMPARE(rs.value(QStringLiteral("city_code")).toText(), WeatherStore::seedCities()[i].cityCode);
        const FieldValue temp = rs.value(QStringLiteral("Temp"));
        State state = Untouched;
        if (temp == FieldValue::number(21.5)) {
            state = Filled;
            QCOMPARE(rs.value(QStringLiteral("city_e")).toText(), WeatherStore::seedCities()[i].locationId);
            QVERIFY(attack.isEmpty() || i != hostile);
        } else if (temp == FieldValue::number(0)) {
            state = Cleared;
            QVERIFY(rs.value(QStringLiteral("Condition")).isNull());
        } else {
            QVERIFY2(temp.isNull(), qPrintable(temp.toText()));
        }
        // Table order: nothing filled after a row not reached, and a row the
        // refresh was still fetching is the last it touched, unless it failed.
        QVERIFY2(state >= previous || (previous == Cleared && i - 1 == hostile && !attack.isEmpty()),
                 qPrintable(QStringLiteral("row %1").arg(i)));
        previous = state;
    }
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
