// The built program as a user's machine runs it: started in its own
// application folder, fed by a loopback feed server, closed by SIGTERM.
#include "boardfixture.h"
#include "store/weatherstore.h"
#include "testsupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void firstRefreshFillsTheStore();
};

void TestEndToEnd::firstRefreshFillsTheStore()
{
    const QString built = qEnvironmentVariable("WEATHER_APP_FOLDER") + QStringLiteral("/RORizedivo");
    if (!QFile::exists(built))
        QSKIP("the executable is not built");
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("RORizedivo"));
    const QString store = dir.filePath(QStringLiteral("wt.dar"));
    QVERIFY(QFile::copy(built, program));
    QVERIFY(WeatherStore::createStoreFile(store));
    QFile marker(dir.filePath(QStringLiteral("qivwtv61.txt")));
    QVERIFY(marker.open(QIODevice::WriteOnly));
    marker.close();

    LoopbackHttpServer server;
    QVERIFY(server.listen());
    pointFeedsAt(store, server.url(QString()).toString(QUrl::StripTrailingSlash));
    server.handle(QStringLiteral("/forecastrss"), [](const HttpRequest &request) {
        FeedDocument doc;
        doc.city = QUrlQuery(request.query).queryItemValue(QStringLiteral("p"));
        doc.temp = QStringLiteral("21.5");
        HttpResponse response;
        response.body = doc.toXml();
        return response;
    });

    QProcess board;
    board.setWorkingDirectory(dir.path());
    board.setProcessChannelMode(QProcess::ForwardedChannels);
    board.start(program, {});
    QVERIFY(board.waitForStarted());

    const auto filledRows = [&] {
        DataControl data;
        data.setDatabaseName(store);
        data.setRecordSource(QStringLiteral("select * from wt where len(url) > 0"));
        data.refresh();
        return data.recordset().recordCount();
    };
    QTRY_COMPARE_WITH_TIMEOUT(filledRows(), 24, 30000);

    board.terminate();
    QVERIFY(board.waitForFinished(10000));
    QCOMPARE(board.exitStatus(), QProcess::NormalExit);
    QCOMPARE(board.exitCode(), 0);

    DataControl data;
    data.setDatabaseName(store);
    data.setRecordSource(QStringLiteral("select * from wt"));
    QVERIFY(data.refresh());
    QCOMPARE(data.recordset().recordCount(), 24);
    int i = 0;
    for (Recordset &rs = data.recordset(); !rs.isEof(); rs.moveNext(), ++i) {
        QCOMPARE(rs.value(QStringLiteral("city_e")).toText(), WeatherStore::seedCities()[i].locationId);
        QCOMPARE(rs.value(QStringLiteral("Temp")), FieldValue::number(21.5));
        QCOMPARE(rs.value(QStringLiteral("Condition")).toText(), QStringLiteral(u"مشمس"));
    }
    QCOMPARE(server.requests().size(), 24);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
