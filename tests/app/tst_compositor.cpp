// The built board in a Wayland session, under a headless weston: it starts
// and draws its strip (the black ticker with its green text and the expand
// button) both ways it can take there, X11 through XWayland, which it
// prefers, and Wayland itself, which it falls back to.
#include "boardfixture.h"
#include "displayserver.h"
#include "testsupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The board's strip in a picture of the screen: where the most pixels of the
// ticker's green lie, and how many; and whether the black strip is around
// them.
struct Strip
{
    int green = 0;
    QRect where;
};

Strip findStrip(const QImage &screen)
{
    Strip strip;
    for (int y = 0; y < screen.height(); ++y) {
        for (int x = 0; x < screen.width(); ++x) {
            const QColor c = screen.pixelColor(x, y);
            if (c.green() > 200 && c.red() < 80 && c.blue() < 80) {
                ++strip.green;
                strip.where |= QRect(x, y, 1, 1);
            }
        }
    }
    return strip;
}

} // namespace

class TestCompositor : public QObject
{
    Q_OBJECT

private slots:
    void boardDraws_data();
    void boardDraws();
};

void TestCompositor::boardDraws_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("platform"); // what the board is left to choose from
    QTest::newRow("X11 through XWayland") << int(DisplayServer::WestonXWayland) << QString();
    QTest::newRow("Wayland") << int(DisplayServer::Weston) << QString();
}

void TestCompositor::boardDraws()
{
    QFETCH(int, kind);
    if (!DisplayServer::available(DisplayServer::Kind(kind)))
        QSKIP("weston and xwayland are not installed (scripts/setup)");
    BuiltBoard built;
    const QString program = built.install(qEnvironmentVariable("WEATHER_APP_FOLDER"));
    if (program.isEmpty())
        QSKIP("the executable is not built, or 127.0.0.1:8619 is taken");

    DisplayServer display{DisplayServer::Kind(kind)};
    QVERIFY2(display.start(), qPrintable(display.error()));
    // The session as a desktop's: the board chooses its platform itself.
    QProcessEnvironment environment = display.clientEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    QProcess board;
    board.setProcessEnvironment(environment);
    board.setWorkingDirectory(built.folder());
    board.setProcessChannelMode(QProcess::ForwardedChannels);
    board.start(program, {});
    QVERIFY(board.waitForStarted());

    // The first refresh, then the ticker scrolls its text in green.
    QTRY_COMPARE_WITH_TIMEOUT(feedRequests(built.server()), 24, 60000);
    // Each screenshot looked at once: the strip's green grows and shrinks as
    // the ticker reveals and slides its text, and QTRY_* would take a second
    // picture after the one that passed and fail on it.
    Strip strip;
    QVERIFY(QTest::qWaitFor(
        [&] {
            strip = findStrip(display.screenshot());
            return strip.green > 200;
        },
        20000));
    // It lies in one line a strip high, on black.
    QVERIFY2(strip.where.height() < 30,
             qPrintable(QStringLiteral("green spread over %1 rows").arg(strip.where.height())));
    const QImage screen = display.screenshot();
    const QColor behind = screen.pixelColor(strip.where.center().x(), strip.where.top() - 3);
    QCOMPARE(behind, QColor(Qt::black));
    QCOMPARE(board.state(), QProcess::Running);

    board.terminate();
    QVERIFY(board.waitForFinished(10000));
    QCOMPARE(board.exitStatus(), QProcess::NormalExit);
}

QTEST_MAIN(TestCompositor)
#include "tst_compositor.moc"
