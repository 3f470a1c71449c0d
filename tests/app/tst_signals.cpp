// Termination requests end the process whether or not its main thread gets
// to them: normally through the event loop, at once when it is stuck.
#include "platform/signalwatcher.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <csignal>

class TestSignals : public QObject
{
    Q_OBJECT

private slots:
    void termination_data();
    void termination();
};

void TestSignals::termination_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("signalsSent");
    QTest::addColumn<bool>("endsBySignal");

    for (const auto &[name, number] : {std::pair{"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}, {"SIGHUP", SIGHUP}}) {
        QTest::addRow("%s, responsive", name) << "responsive" << number << 1 << false;
        QTest::addRow("%s, stuck", name) << "stuck" << number << 1 << true;
    }
    // The first request was taken, so it gives no grounds; the second, never
    // taken, does.
    QTest::newRow("SIGTERM taken, then stuck") << "stuck-after" << SIGTERM << 2 << true;
}

void TestSignals::termination()
{
    QFETCH(QString, mode);
    QFETCH(int, signalNumber);
    QFETCH(int, signalsSent);
    QFETCH(bool, endsBySignal);

    QProcess child;
    child.start(QStringLiteral(SIGNAL_CHILD), {mode});
    QVERIFY(child.waitForStarted());
    QByteArray output;
    const auto said = [&](const char *word) { return (output += child.readAllStandardOutput()).contains(word); };
    QTRY_VERIFY_WITH_TIMEOUT(said("ready"), 10000);

    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < signalsSent; ++i) {
        ::kill(pid_t(child.processId()), signalNumber);
        if (i + 1 < signalsSent)
            QTRY_VERIFY_WITH_TIMEOUT(said("taken"), 10000);
    }
    QVERIFY(child.waitForFinished(15000));
    if (endsBySignal) {
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QCOMPARE(child.exitCode(), signalNumber);
        // Not before the grace time: the main thread had its chance.
        QVERIFY(clock.elapsed() >= SignalWatcher::GraceMs - 200);
    } else {
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
    }
}

QTEST_GUILESS_MAIN(TestSignals)
#include "tst_signals.moc"
