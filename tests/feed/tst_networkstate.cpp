#include "platform/networkstate.h"
#include "testsupport.h"

#include <QTest>

class TestNetworkState : public QObject
{
    Q_OBJECT

private slots:
    void defaultRoute_data();
    void defaultRoute();
    void loopbackService();
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

void TestNetworkState::loopbackService()
{
    LoopbackHttpServer server;
    QVERIFY(server.listen());
    QVERIFY(loopbackServiceListening(server.port()));
    QVERIFY(!loopbackServiceListening(unusedLoopbackPort()));
}

QTEST_GUILESS_MAIN(TestNetworkState)
#include "tst_networkstate.moc"
