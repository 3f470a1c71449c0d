// The board as the package installs it: laid out by `cmake --install` in a
// temporary prefix, its menu entry and metadata checked by the desktop's own
// validators, and the installed board started by users whose homes are empty.
#include "boardfixture.h"
#include "platform/datacontrol.h"
#include "platform/networkstate.h"
#include "platform/services.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

constexpr quint16 FeedPort = 8619;

struct Finished
{
    int exitCode = -1; // -1: did not end by itself in time
    QByteArray output;
};

Finished runToEnd(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Finished finished;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
        finished.exitCode = process.exitCode();
    finished.output = process.readAll();
    return finished;
}

// Rows the first refresh has filled; nothing while the board has not yet
// made its store (opening it here first would make an empty file).
int filledRows(const QString &store)
{
    if (!QFile::exists(store))
        return 0;
    DataControl data;
    openRows(data, store, QStringLiteral("select * from wt where len(url) > 0"));
    return data.recordset().recordCount();
}

// A user who has never run the board: an empty home, no XDG settings.
struct User
{
    QTemporaryDir home;
    QProcess board;

    QString folder() const { return home.filePath(QStringLiteral(".local/share/rorizedivo/")); }
    QString store() const { return folder() + QStringLiteral("wt.dar"); }

    void start(const QString &program)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &name : environment.keys()) {
            if (name.startsWith(QLatin1String("XDG_")))
                environment.remove(name);
        }
        environment.insert(QStringLiteral("HOME"), home.path());
        const QString runtime = home.filePath(QStringLiteral("run"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        board.setProcessEnvironment(environment);
        board.setWorkingDirectory(home.path());
        board.setProcessChannelMode(QProcess::ForwardedChannels);
        board.start(program, {});
    }

    bool endsOnTerminate()
    {
        board.terminate();
        return board.waitForFinished(10000) && board.exitStatus() == QProcess::NormalExit && board.exitCode() == 0;
    }
};

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void validators_data();
    void validators();
    void serviceUnitsAreSoundAndSandboxed();
    void answersWithoutADisplay_data();
    void answersWithoutADisplay();
    void releasesAreTheChangelogs();
    void boardsOfTwoUsersFillTheirOwnStores();
    void boardStartsItsServiceWhereNoSocketListens();

private:
    QString installed(const QString &relative) const { return m_prefix.filePath(relative); }

    QTemporaryDir m_prefix;
};

void TestInstall::initTestCase()
{
    const Finished install = runToEnd(
        QStringLiteral(WEATHER_CMAKE),
        {QStringLiteral("--install"), QStringLiteral(WEATHER_BUILD_DIR), QStringLiteral("--prefix"), m_prefix.path()});
    QVERIFY2(install.exitCode == 0, install.output.constData());
}

void TestInstall::validators_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file");

    QTest::newRow("desktop entry") << "desktop-file-validate" << QStringList()
                                   << "share/applications/org.example.rorizedivo.desktop";
    // The desktop matches the window with its entry by the class the board
    // gives its windows: its application name.
    QTest::newRow("desktop entry, window class")
        << "grep" << QStringList{"-qx", "StartupWMClass=" + QString::fromUtf16(ApplicationTitle)}
        << "share/applications/org.example.rorizedivo.desktop";
    QTest::newRow("AppStream metainfo") << "appstreamcli" << QStringList{"validate", "--no-net"}
                                        << "share/metainfo/org.example.rorizedivo.metainfo.xml";
}

void TestInstall::validators()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);

    const QString found = QStandardPaths::findExecutable(program);
    QVERIFY2(!found.isEmpty(), qPrintable(program + QStringLiteral(" is missing: run scripts/setup")));
    const Finished check = runToEnd(found, arguments << installed(file));
    QVERIFY2(check.exitCode == 0, check.output.constData());
    // Warnings fail too, and errors the validator lets pass for now.
    const QRegularExpression finding(QStringLiteral("^[EW]: |error|warning"),
                                     QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    QVERIFY2(!finding.match(QString::fromUtf8(check.output)).hasMatch(), check.output.constData());
}

// The system units as systemd reads them (the service's program pointed at
// the one installed here), and the service's sandbox as systemd rates it:
// an exposure of 2.0 or less of its 10 (the threshold counts tenths).
void TestInstall::serviceUnitsAreSoundAndSandboxed()
{
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty())
        QSKIP("systemd-analyze is missing (package systemd)");
    QTemporaryDir units;
    for (const char *unit : {"rorizedivo-forecastd.socket", "rorizedivo-forecastd.service"}) {
        QFile in(installed(QStringLiteral("lib/systemd/system/") + QLatin1String(unit)));
        QVERIFY(in.open(QIODevice::ReadOnly));
        QFile out(units.filePath(QLatin1String(unit)));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(in.readAll().replace("/usr/bin/rorizedivo-forecastd",
                                       installed(QStringLiteral("bin/rorizedivo-forecastd")).toUtf8()));
    }
    const QString service = units.filePath(QStringLiteral("rorizedivo-forecastd.service"));
    const Finished verify = runToEnd(analyze,
                                     {QStringLiteral("verify"), QStringLiteral("--man=no"),
                                      units.filePath(QStringLiteral("rorizedivo-forecastd.socket")), service});
    QVERIFY2(verify.exitCode == 0 && verify.output.isEmpty(), verify.output.constData());
    const Finished security = runToEnd(
        analyze,
        {QStringLiteral("security"), QStringLiteral("--offline=true"), QStringLiteral("--threshold=20"), service});
    QVERIFY2(security.exitCode == 0, security.output.right(400).constData());
    // Settings it cannot take end it with status 2, which is not restarted.
    QFile unit(service);
    QVERIFY(unit.open(QIODevice::ReadOnly) && unit.readAll().contains("\nRestartPreventExitStatus=2\n"));
    // The settings stay readable by root alone: they may hold an API key.
    QCOMPARE(QFile::permissions(installed(QStringLiteral("etc/rorizedivo/forecastd.conf"))),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

// Help and version, as a terminal or a package script asks for them: no
// display, no window, the package's version; a command line the board does
// not take, or no display at all, said in a line and status 2, no abort.
void TestInstall::answersWithoutADisplay_data()
{
    // clang-format off
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("argument"); // empty: none
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("said");

    QTest::newRow("board, version") << "bin/rorizedivo" << "--version" << 0 << QByteArray("rorizedivo " WEATHER_VERSION "\n");
    QTest::newRow("board, help") << "bin/rorizedivo" << "--help" << 0 << QByteArray("Usage: rorizedivo");
    QTest::newRow("board, unknown option") << "bin/rorizedivo" << "--bogus" << 2 << QByteArray("rorizedivo: unknown option: --bogus\n");
    QTest::newRow("board, no display") << "bin/rorizedivo" << "" << 2 << QByteArray("rorizedivo: no display");
    QTest::newRow("service, version") << "bin/rorizedivo-forecastd" << "--version" << 0 << QByteArray("rorizedivo-forecastd " WEATHER_VERSION "\n");
    // clang-format on
}

void TestInstall::answersWithoutADisplay()
{
    QFETCH(QString, program);
    QFETCH(QString, argument);
    QFETCH(int, status);
    QFETCH(QByteArray, said);

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    process.setProcessEnvironment(environment);
    process.start(installed(program), argument.isEmpty() ? QStringList() : QStringList{argument});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    const QByteArray output = status == 0 ? process.readAllStandardOutput() : process.readAllStandardError();
    QVERIFY2(status == 0 ? output.startsWith(said) : output.contains(said), output.constData());
}

// The software centre and the package's changelog tell the same releases:
// the newest is this version, and each has as many points in AppStream as
// the changelog has items for it.
void TestInstall::releasesAreTheChangelogs()
{
    using Release = QPair<QString, int>; // version, items
    const Finished changelog = runToEnd(
        QStringLiteral("gzip"),
        {QStringLiteral("-dc"), installed(QStringLiteral("share/doc/rorizedivo/changelog.gz"))});
    QCOMPARE(changelog.exitCode, 0);
    QList<Release> told;
    const QRegularExpression entry(QStringLiteral("^rorizedivo \\(([^)]+)\\) "));
    for (const QString &line : QString::fromUtf8(changelog.output).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = entry.match(line);
        if (match.hasMatch())
            told.append({match.captured(1), 0});
        else if (line.startsWith(QLatin1String("  * ")) && !told.isEmpty())
            ++told.last().second;
    }

    QFile metainfo(installed(QStringLiteral("share/metainfo/org.example.rorizedivo.metainfo.xml")));
    QVERIFY(metainfo.open(QIODevice::ReadOnly));
    QList<Release> listed;
    QXmlStreamReader xml(&metainfo);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("release"))
            listed.append({xml.attributes().value(QLatin1String("version")).toString(), 0});
        else if (xml.name() == QLatin1String("li") && !listed.isEmpty())
            ++listed.last().second;
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));

    QVERIFY(!told.isEmpty());
    QCOMPARE(told.constFirst().first, QStringLiteral(WEATHER_VERSION));
    QCOMPARE(listed, told);
}

void TestInstall::boardsOfTwoUsersFillTheirOwnStores()
{
    LoopbackHttpServer server;
    if (!server.listen(FeedPort))
        QSKIP("127.0.0.1:8619 is taken (a feed service running?); the installed board reads its feeds there");
    serveEveryCity(server, QStringLiteral("21.5"));

    // Each user has a folder and a lock of their own: both boards run.
    User amal, badr;
    amal.start(installed(QStringLiteral("bin/rorizedivo")));
    badr.start(installed(QStringLiteral("bin/rorizedivo")));
    QVERIFY(amal.board.waitForStarted());
    QVERIFY(badr.board.waitForStarted());
    for (const User *user : {&amal, &badr})
        QTRY_COMPARE_WITH_TIMEOUT(filledRows(user->store()), 24, 30000);

    // The folder holds the store and reaches the installed read-only files.
    // Each city's map, and its companion at twice the size.
    const QStringList pictures = QDir(amal.folder() + QStringLiteral("wtIMG")).entryList({QStringLiteral("*.tmg")});
    QCOMPARE(pictures.size(), 2 * 24);
    QVERIFY(pictures.contains(QStringLiteral("RUH.tmg")) && pictures.contains(QStringLiteral("RUH@2x.tmg")));
    for (const QString &picture : pictures)
        QVERIFY2(QFileInfo(amal.folder() + QStringLiteral("wtIMG/") + picture).isReadable(), qPrintable(picture));
    QVERIFY(QFileInfo(amal.folder() + QStringLiteral("thunder.wav")).isReadable());
    QCOMPARE(QDir(installed(QStringLiteral("bin"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList({"rorizedivo", "rorizedivo-forecastd"}));

    QVERIFY(amal.endsOnTerminate());
    QVERIFY(badr.endsOnTerminate());
    // The unload steps ran in the user's folder: the first close left its marker.
    QVERIFY(QFile::exists(amal.folder() + QStringLiteral("qivwtv61.txt")));
    // Every feed came from this server: no service was started beside it.
    QVERIFY(server.requests().size() >= 48);
}

void TestInstall::boardStartsItsServiceWhereNoSocketListens()
{
    if (loopbackPortListening(FeedPort))
        QSKIP("127.0.0.1:8619 is taken (a feed service running?)");
    // The installed service, made to replay the recorded demo feeds rather
    // than ask the internet.
    const QString service = installed(QStringLiteral("bin/rorizedivo-forecastd"));
    QVERIFY(QFile::rename(service, service + QStringLiteral(".real")));
    QFile wrapper(service);
    QVERIFY(wrapper.open(QIODevice::WriteOnly));
    wrapper.write("#!/bin/sh\nexec \"$0.real\" --replay '" WEATHER_DEMO_FEEDS "' \"$@\"\n");
    wrapper.close();
    QVERIFY(wrapper.setPermissions(wrapper.permissions() | QFile::ExeOwner));

    User user;
    user.start(installed(QStringLiteral("bin/rorizedivo")));
    QVERIFY(user.board.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(filledRows(user.store()), 24, 30000);
    QVERIFY(loopbackPortListening(FeedPort));

    // The board stops the service it started before it ends.
    QVERIFY(user.endsOnTerminate());
    QVERIFY(!loopbackPortListening(FeedPort));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
