// What the board costs while nobody touches it: the built executable runs
// under Xvfb in an application folder of its own, fed by a loopback feed
// server, and is expanded by a real click (xdotool). Once its ticker has run
// a whole cycle, the CPU time of its process (the scheduler's run time of
// its threads) is taken over a few quiet windows while the ticker scrolls
// and the wind arrow sweeps, then once more collapsed, where only the ticker
// runs. Between the two, the links under the map put the city's coming days,
// then its coming hours, in the map's place (the arrow stops meanwhile) and
// the board is measured so. Each window is printed, then their median and the resident memory.
//
//   idle-bench [seconds] [warm-up seconds]   (defaults 20 and 90)
//
// With --sessions it compares the ways the board can be shown in a Wayland
// session, back to back: X11 under Xvfb (the reference), X11 through
// XWayland under a headless weston, and Wayland itself under that weston.
// It measures the board as it stands after start, collapsed with its ticker
// running (nothing clicks on Wayland), once per way and round, and prints
// each figure with the machine's load average, then the medians:
//
//   idle-bench --sessions [seconds] [warm-up seconds] [rounds]   (20, 90, 3)
//
// The board speaks the language of the bench's environment (LANGUAGE=en:
// English, laid out mirrored), and the clicks go where that language puts
// the buttons and links. It prints how long the board took to show its
// first window.
//
// Every city reports a north-north-east wind of 14.48 km/h, so the arrow
// takes a diagonal path. A refresh that falls into a measurement (the board
// refreshes at minutes 5, 18 and 28) is noticed by the feed requests it
// makes, and that window is taken again.

#include "boardfixture.h"
#include "platform/boardlanguage.h"
#include "displayserver.h"
#include "store/weatherstore.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// CPU time of a process so far, in seconds: the run time the scheduler
// counts for each of its threads, in nanoseconds (the clock ticks of
// /proc/<pid>/stat are 10 ms, too coarse for a board that sleeps).
double cpuSeconds(qint64 pid)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    double seconds = 0;
    bool any = false;
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (!schedstat.open(QIODevice::ReadOnly))
            continue;
        seconds += schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
        any = true;
    }
    return any ? seconds : -1;
}

// Resident memory of a process, in MiB.
double residentMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return -1;
}

QString run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

// How the board reaches the screen.
enum class Route { X11, XWayland, Wayland };

const char *routeName(Route route)
{
    switch (route) {
    case Route::X11:
        return "X11 (Xvfb)";
    case Route::XWayland:
        return "X11 through XWayland (weston)";
    case Route::Wayland:
        return "Wayland (weston)";
    }
    return "";
}

double loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').value(0).toDouble() : -1;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

class Bench
{
public:
    explicit Bench(Route route = Route::X11)
        : m_route(route)
        , m_display(route == Route::X11            ? DisplayServer::Xvfb
                        : route == Route::XWayland ? DisplayServer::WestonXWayland
                                                   : DisplayServer::Weston)
    {
    }

    // One figure of the board collapsed after start: CPU share and MiB
    // resident; false when it could not be measured.
    bool measureCollapsed(int seconds, int warmUpSeconds, double &share, double &resident)
    {
        const QString built = QStringLiteral(WEATHER_APP_FOLDER "/RORizedivo");
        if (!QFile::exists(built) || m_built.install(QFileInfo(built).path()).isEmpty() || !startSession()
            || !startBoard())
            return false;
        if (!waitUntil([this] { return feedRequests(m_built.server()) >= 24; }, 60000)) {
            std::fprintf(stderr, "idle-bench: %s: the board asked for %lld feeds only\n", routeName(m_route),
                         static_cast<long long>(feedRequests(m_built.server())));
            return false;
        }
        sleepInEventLoop(warmUpSeconds * 1000);
        for (int attempt = 0; attempt < 3; ++attempt) {
            double used = 0, elapsed = 0;
            if (!measureWindow(seconds, used, elapsed))
                continue;
            share = 100.0 * used / elapsed;
            resident = residentMiB(m_board.processId());
            return m_board.state() == QProcess::Running;
        }
        return false;
    }

    int exec(int seconds, int warmUpSeconds)
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        m_xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
        const QString built = QStringLiteral(WEATHER_APP_FOLDER "/RORizedivo");
        if (xvfb.isEmpty() || m_xdotool.isEmpty() || !QFile::exists(built)) {
            std::printf("skipped: needs Xvfb, xdotool (scripts/setup xdotool) and the built board\n");
            return 0;
        }
        if (m_built.install(QFileInfo(built).path()).isEmpty() || !startSession())
            return 1;
        std::printf("in %s\n", m_english ? "English" : "Arabic");
        QElapsedTimer sinceStart;
        sinceStart.start();
        if (!startBoard())
            return 1;
        if (waitUntil([this] { return windowSize().contains(QLatin1Char('x')); }, 30000))
            std::printf("%-34s %6lld ms from start\n", "first window", static_cast<long long>(sinceStart.elapsed()));

        // The first refresh fills every row, then the expand button shows.
        if (!waitUntil([this] { return feedRequests(m_built.server()) >= 24; }, 60000)) {
            std::fprintf(stderr, "idle-bench: the board asked for %lld feeds only\n",
                         static_cast<long long>(feedRequests(m_built.server())));
            return 1;
        }
        sleepInEventLoop(2000);
        if (!clickUntil(QStringLiteral("975x757"))) {
            std::fprintf(stderr, "idle-bench: the board did not expand (%s)\n", qPrintable(windowSize()));
            return 1;
        }
        // The board runs for hours and its ticker shows the same captions
        // every cycle: the first cycle after a refresh, which draws each
        // caption for the first time, passes before the measurement.
        if (warmUpSeconds > 0) {
            std::printf("  (the ticker runs one cycle first: %d s)\n", warmUpSeconds);
            std::fflush(stdout);
            sleepInEventLoop(warmUpSeconds * 1000);
        }
        report("expanded, ticker and wind arrow", seconds);
        // The link under the map, at the panel's bottom left: the days, then the map again.
        // (In English at its bottom right.)
        const int daysLink = m_english ? 926 : 45;
        const int hoursLink = m_english ? 821 : 150;
        clickAt(daysLink, 730);
        report("expanded, ticker and coming days", seconds);
        clickAt(daysLink, 730);
        // The hours' link beside it: the hours' curve, then the map again.
        clickAt(hoursLink, 730);
        report("expanded, ticker and coming hours", seconds);
        clickAt(hoursLink, 730);
        if (!clickUntil(QStringLiteral("506x59")))
            std::fprintf(stderr, "idle-bench: the board did not collapse (%s)\n", qPrintable(windowSize()));
        else
            report("collapsed, ticker only", seconds);
        return 0;
    }

    ~Bench()
    {
        if (m_board.state() != QProcess::NotRunning) {
            m_board.terminate();
            if (!m_board.waitForFinished(10000))
                m_board.kill();
        }
    }

private:
    bool startSession()
    {
        if (m_display.start()) {
            m_environment = m_display.clientEnvironment();
            return true;
        }
        std::fprintf(stderr, "idle-bench: %s: %s\n", routeName(m_route), qPrintable(m_display.error()));
        return false;
    }

    bool startBoard()
    {
        m_board.setProcessEnvironment(m_environment);
        m_board.setWorkingDirectory(m_built.folder());
        m_board.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_board.start(m_built.program(), {});
        return m_board.waitForStarted();
    }

    QString windowSize()
    {
        const QString geometry = run(m_xdotool,
                                     {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("QIV Weather"),
                                      QStringLiteral("getwindowgeometry")},
                                     m_environment);
        const int at = geometry.indexOf(QStringLiteral("Geometry: "));
        return at < 0 ? geometry : geometry.mid(at + 10).section(QLatin1Char('\n'), 0, 0).trimmed();
    }

    // Clicks at a place of the window, which stands at the screen's corner,
    // then moves the pointer off it.
    void clickAt(int x, int y)
    {
        run(m_xdotool,
            {QStringLiteral("mousemove"), QString::number(x), QString::number(y), QStringLiteral("click"),
             QStringLiteral("1"), QStringLiteral("mousemove"), QStringLiteral("1200"), QStringLiteral("1000")},
            m_environment);
    }

    // Clicks the expand (or collapse) button at the right end of the strip
    // (the left in English), then moves the pointer off the window.
    bool clickUntil(const QString &size)
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            run(m_xdotool,
                {QStringLiteral("mousemove"), QString::number(m_english ? 13 : 485), QStringLiteral("13"),
                 QStringLiteral("click"), QStringLiteral("1"), QStringLiteral("mousemove"), QStringLiteral("1200"),
                 QStringLiteral("1000")},
                m_environment);
            if (waitUntil([&] { return windowSize() == size; }, 3000))
                return true;
        }
        return false;
    }

    // The CPU seconds the board used in a window of that many seconds, and
    // the seconds it lasted; false when a refresh fell into it (the board
    // asked for feeds) or the board is gone.
    bool measureWindow(int seconds, double &used, double &elapsed)
    {
        m_built.server().clearRequests();
        const double before = cpuSeconds(m_board.processId());
        QElapsedTimer clock;
        clock.start();
        sleepInEventLoop(seconds * 1000);
        used = cpuSeconds(m_board.processId()) - before;
        elapsed = clock.elapsed() / 1000.0;
        return m_built.server().requests().isEmpty() && before >= 0 && used >= 0;
    }

    // Several windows of the given length, each printed, then their median:
    // one window can catch the machine doing something else.
    void report(const char *what, int seconds)
    {
        constexpr int Windows = 3;
        sleepInEventLoop(3000); // what the click set in motion settles
        std::vector<double> shares;
        for (int attempt = 0; attempt < Windows + 3 && int(shares.size()) < Windows; ++attempt) {
            double used = 0, elapsed = 0;
            if (!measureWindow(seconds, used, elapsed)) {
                std::printf("  (a refresh ran during the measurement; measuring again)\n");
                continue;
            }
            shares.push_back(100.0 * used / elapsed);
            std::printf("  %-32s %6.2f %% of one core (%.3f s CPU in %.1f s)\n", what, shares.back(), used, elapsed);
            std::fflush(stdout);
        }
        if (shares.empty())
            return;
        std::sort(shares.begin(), shares.end());
        std::printf("%-34s %6.2f %% of one core (median of %zu), %.1f MiB resident\n", what, shares[shares.size() / 2],
                    shares.size(), residentMiB(m_board.processId()));
        std::fflush(stdout);
    }

    Route m_route;
    BuiltBoard m_built;
    DisplayServer m_display;
    QProcess m_board;
    QProcessEnvironment m_environment;
    QString m_xdotool;
    const bool m_english = languageForDesktop(QLocale::system().uiLanguages()) == BoardLanguage::English;
};

} // namespace

// The ways into a Wayland session, back to back and round after round, so
// that what else the machine does weighs on all of them alike.
int compareSessions(int seconds, int warmUpSeconds, int rounds)
{
    const Route routes[] = {Route::X11, Route::XWayland, Route::Wayland};
    std::vector<double> shares[3], residents[3], loads;
    for (int round = 1; round <= rounds; ++round) {
        for (int r = 0; r < 3; ++r) {
            double share = 0, resident = 0;
            Bench bench(routes[r]);
            const double load = loadAverage();
            if (!bench.measureCollapsed(seconds, warmUpSeconds, share, resident)) {
                std::printf("  round %d  %-32s not measured\n", round, routeName(routes[r]));
                continue;
            }
            shares[r].push_back(share);
            residents[r].push_back(resident);
            loads.push_back(load);
            std::printf("  round %d  %-32s %6.2f %% of one core, %5.1f MiB resident (load %.2f)\n", round,
                        routeName(routes[r]), share, resident, load);
            std::fflush(stdout);
        }
    }
    std::printf("collapsed, ticker only, median of %d rounds (load average %.2f to %.2f):\n", rounds,
                loads.empty() ? 0.0 : *std::min_element(loads.begin(), loads.end()),
                loads.empty() ? 0.0 : *std::max_element(loads.begin(), loads.end()));
    for (int r = 0; r < 3; ++r)
        std::printf("  %-32s %6.2f %% of one core, %5.1f MiB resident\n", routeName(routes[r]), median(shares[r]),
                    median(residents[r]));
    return 0;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--sessions") == 0) {
        const int seconds = argc > 2 ? qMax(1, atoi(argv[2])) : 20;
        const int warmUpSeconds = argc > 3 ? qMax(0, atoi(argv[3])) : 90;
        const int rounds = argc > 4 ? qMax(1, atoi(argv[4])) : 3;
        return compareSessions(seconds, warmUpSeconds, rounds);
    }
    const int seconds = argc > 1 ? qMax(1, atoi(argv[1])) : 20;
    const int warmUpSeconds = argc > 2 ? qMax(0, atoi(argv[2])) : 90;
    Bench bench;
    return bench.exec(seconds, warmUpSeconds);
}
