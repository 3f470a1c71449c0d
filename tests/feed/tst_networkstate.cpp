#include "platform/networkstate.h"
#include "testsupport.h"

#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(FeedServiceState)

class TestNetworkState : public QObject
{
    Q_OBJECT

private slots:
    void defaultRoute_data();
    void defaultRoute();
    void feedService_data();
    void feedService();
};

void TestNetworkState::defaultRoute_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<bool>("found");

    const QByteArray head = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    const QByteArray lan = "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
    QTest::newRow("default route") << head + "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n" + lan << true;
    QTest::newRow("default route last") << head + lan + "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n" << true;
    QTest::newRow("only the local network") << head + lan << false;
    QTest::newRow("default route down") << head + "eth0\t00000000\t010200C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n" << false;
    QTest::newRow("zero destination, narrow mask") << head + "eth0\t00000000\t00000000\t0001\t0\t0\t0\t000000FF\t0\t0\t0\n" << false;
    QTest::newRow("header only") << head << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestNetworkState::defaultRoute()
{
    QFETCH(QByteArray, table);
    QFETCH(bool, found);
    QCOMPARE(routeTableHasDefaultRoute(table), found);
}

// The board's online check asks the feed service on loopback; only a 503
// (nothing left to serve) makes it offline, and the wait lets the event
// loop run.
void TestNetworkState::feedService_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<FeedServiceState>("state");

    QTest::newRow("nothing listens") << "none" << FeedServiceState::NotListening;
    QTest::newRow("healthy") << "200" << FeedServiceState::Serving;
    QTest::newRow("nothing to serve") << "503" << FeedServiceState::NothingToServe;
    QTest::newRow("a server without /health") << "404" << FeedServiceState::Serving;
    QTest::newRow("no answer in time") << "hang" << FeedServiceState::Serving;
    QTest::newRow("closed without an answer") << "close" << FeedServiceState::Serving;
}

void TestNetworkState::feedService()
{
    QFETCH(QString, server);
    QFETCH(FeedServiceState, state);

    LoopbackHttpServer service;
    QVERIFY(service.listen());
    const QString health = QStringLiteral("/health");
    if (server == QLatin1String("200"))
        service.serve(health, "200 OK: 24 of 24 cities served, 24 fresh\n", 200, "text/plain");
    else if (server == QLatin1String("503"))
        service.serve(health, "503 Service Unavailable: the upstream cannot be reached\n", 503, "text/plain");
    else if (server == QLatin1String("hang"))
        service.hang(health);
    else if (server == QLatin1String("close"))
        service.closeImmediately(health);
    const quint16 port = server == QLatin1String("none") ? unusedLoopbackPort() : service.port();

    bool ticked = false;
    QTimer::singleShot(10, [&ticked] { ticked = true; });
    QCOMPARE(feedServiceState(port, 300), state);
    if (server == QLatin1String("hang"))
        QVERIFY(ticked); // the window's timers ran while the check waited
    if (state == FeedServiceState::NothingToServe)
        QVERIFY(!boardIsOnline(port));
    if (server != QLatin1String("none"))
        QCOMPARE(service.requests().value(0).target(), health);
}

QTEST_GUILESS_MAIN(TestNetworkState)
#include "tst_networkstate.moc"
