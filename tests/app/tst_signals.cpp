// Termination requests end the process whether or not its main thread gets
// to them: normally through the event loop, GraceMs after the first request
// when it is stuck anywhere, whatever requests follow.
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
    QTest::addColumn<QString>("sending"); // once; a stream until the end; a flood once the first is taken
    QTest::addColumn<bool>("endsBySignal");

    for (const auto &[name, number] : {std::pair{"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}, {"SIGHUP", SIGHUP}}) {
        QTest::addRow("%s, responsive", name) << "responsive" << number << "once" << false;
        QTest::addRow("%s, stuck", name) << "stuck" << number << "once" << true;
    }
    // Taking the request does not stand the watchdog down: the process has
    // not ended yet.
    QTest::newRow("taken, then stuck") << "stuck-after" << SIGTERM << "once" << true;
    QTest::newRow("taken, stuck at the end") << "stuck-at-end" << SIGTERM << "once" << true;
    QTest::newRow("taken, never ends") << "ignores" << SIGTERM << "once" << true;
    // Each request taken at once: they put the deadline off no more.
    QTest::newRow("a stream, taken, never ends") << "ignores" << SIGTERM << "stream" << true;
    // Thousands of requests while the window's thread is busy fill the
    // handler's pipe; the handler drops the rest rather than wait there.
    QTest::newRow("a flood while busy") << "waits-for-line" << SIGTERM << "flood" << false;
}

void TestSignals::termination()
{
    QFETCH(QString, mode);
    QFETCH(int, signalNumber);
    QFETCH(QString, sending);
    QFETCH(bool, endsBySignal);

    QProcess child;
    child.start(QStringLiteral(SIGNAL_CHILD), {mode});
    QVERIFY(child.waitForStarted());
    QByteArray output;
    const auto said = [&](const char *word) { return (output += child.readAllStandardOutput()).contains(word); };
    QTRY_VERIFY_WITH_TIMEOUT(said("ready"), 10000);

    const pid_t pid = pid_t(child.processId());
    QElapsedTimer clock;
    clock.start();
    ::kill(pid, signalNumber);
    if (sending == "stream") {
        while (!child.waitForFinished(100) && clock.elapsed() < 15000)
            ::kill(pid, signalNumber);
    } else if (sending == "flood") {
        QTRY_VERIFY_WITH_TIMEOUT(said("taken"), 10000);
        for (int i = 0; i < 20000; ++i)
            ::kill(pid, signalNumber);
        child.write("go\n");
    }
    QVERIFY(child.state() == QProcess::NotRunning || child.waitForFinished(15000));
    if (endsBySignal) {
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QCOMPARE(child.exitCode(), signalNumber);
        // Not before the grace time: the process had its chance; and not
        // much after it, whatever followed the first request.
        QVERIFY(clock.elapsed() >= SignalWatcher::GraceMs - 200);
        QVERIFY2(clock.elapsed() < SignalWatcher::GraceMs + 2000, qPrintable(QString::number(clock.elapsed())));
    } else {
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
    }
}

QTEST_GUILESS_MAIN(TestSignals)
#include "tst_signals.moc"
