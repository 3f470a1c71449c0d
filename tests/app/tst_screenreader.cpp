// The built board as a screen reader reaches it: under Xvfb, in a D-Bus
// session of its own, with Qt's AT-SPI bridge on, atspiwalk.py walks the
// window from the desktop and finds every control a person acts on, named:
// in Arabic, and in English (LANGUAGE=en), where nothing in view is said in
// Arabic letters and the grid's city column stands first, at the left.
#include "boardfixture.h"
#include "displayserver.h"
#include "testsupport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestScreenReader : public QObject
{
    Q_OBJECT

private slots:
    void everyControlIsReachedAndNamed_data();
    void everyControlIsReachedAndNamed();
};

void TestScreenReader::everyControlIsReachedAndNamed_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("Arabic") << QStringLiteral("ar");
    QTest::newRow("English") << QStringLiteral("en");
}

void TestScreenReader::everyControlIsReachedAndNamed()
{
    QFETCH(QString, language);
    const QString session = QStandardPaths::findExecutable(QStringLiteral("dbus-run-session"));
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import pyatspi")});
    if (session.isEmpty() || !probe.waitForFinished(20000) || probe.exitCode() != 0
        || !DisplayServer::available(DisplayServer::Xvfb))
        QSKIP("needs dbus-run-session, at-spi2-core, python3-pyatspi and Xvfb (scripts/setup)");

    BuiltBoard built;
    const QString program = built.install(qEnvironmentVariable("WEATHER_APP_FOLDER"));
    if (program.isEmpty())
        QSKIP("the executable is not built, or 127.0.0.1:8619 is taken");
    DisplayServer display(DisplayServer::Xvfb);
    QVERIFY2(display.start(), qPrintable(display.error()));

    QProcess walk;
    walk.setProcessEnvironment(display.clientEnvironment());
    walk.start(session,
               {QStringLiteral("--"), QStringLiteral("/usr/bin/python3"), QStringLiteral(ATSPI_WALK), program,
                built.folder(), language});
    QVERIFY(walk.waitForStarted());
    // The loopback server answers the board's feeds meanwhile.
    QTRY_VERIFY_WITH_TIMEOUT(walk.state() == QProcess::NotRunning, 240000);
    const QString said = QString::fromUtf8(walk.readAllStandardOutput());
    qInfo().noquote() << said;
    QVERIFY2(walk.exitStatus() == QProcess::NormalExit && walk.exitCode() == 0,
             qPrintable(said + QString::fromUtf8(walk.readAllStandardError())));
    QVERIFY(said.contains(QStringLiteral("32 of 32 controls reached and named")));
}

QTEST_MAIN(TestScreenReader)
#include "tst_screenreader.moc"
