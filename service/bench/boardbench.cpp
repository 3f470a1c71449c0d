// forecastd-bench --board.

#include "boardbench.h"

#include "benchsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

namespace {

// Rows of the board's store that hold a temperature (a row being refreshed
// is cleared to 0 first); -1 while the store cannot be read.
int storedRows(const QString &path)
{
    if (!QFileInfo::exists(path))
        return -1;
    sqlite3 *db = nullptr;
    int rows = -1;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 20);
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, "select count(*) from wt where Temp <> 0", -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW)
            rows = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return rows;
}

bool copyFolder(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    const QDir source(from);
    for (const QFileInfo &entry : source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = QDir(to).filePath(entry.fileName());
        if (entry.isDir() ? !copyFolder(entry.filePath(), target) : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

// Starts the board in a fresh copy of its application folder (no store yet)
// and waits for its 24th stored row. Returns the milliseconds from its start,
// or -1 when the rows did not come within a minute.
double boardToFullRows(const QString &boardPath, const QString &folder, int cities)
{
    QDir(folder).removeRecursively();
    if (!copyFolder(QFileInfo(boardPath).absolutePath(), folder)) {
        std::fprintf(stderr, "cannot copy the board's folder %s\n", qPrintable(QFileInfo(boardPath).absolutePath()));
        return -1;
    }
    QFile::remove(QDir(folder).filePath(QStringLiteral("wt.dar")));
    QProcess board;
    board.setProgram(QDir(folder).filePath(QFileInfo(boardPath).fileName()));
    board.setWorkingDirectory(folder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    board.setProcessEnvironment(environment);
    board.setProcessChannelMode(QProcess::ForwardedChannels);
    const QString store = QDir(folder).filePath(QStringLiteral("wt.dar"));

    QElapsedTimer sinceStart;
    board.start();
    sinceStart.start();
    int rows = -1;
    const bool filled = waitFor([&] { return (rows = storedRows(store)) >= cities; }, 60000);
    const double ms = sinceStart.nsecsElapsed() / 1e6;
    if (!filled)
        std::printf("only %d of %d rows stored after %.0f ms\n", std::max(rows, 0), cities, ms);
    board.terminate();
    board.waitForFinished(5000);
    return filled ? ms : -1;
}

} // namespace

int runBoardCase(int delayMs, const QString &boardPath, const QString &forecastdPath)
{
    constexpr quint16 FeedPort = 8619; // where the board's store sends it
    const int cities = int(LocationTable::builtIn().locations().size());

    QTemporaryDir scratch;
    const QString folder = scratch.filePath(QStringLiteral("app"));
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, FeedPort)) {
            std::fprintf(stderr, "127.0.0.1:%u is taken; the board's feeds point there, so the bench needs it\n",
                         FeedPort);
            return 1;
        }
    }

    LoopThread upstreamThread;
    std::unique_ptr<StandInUpstream> upstream;
    upstreamThread.run([&] {
        upstream = std::make_unique<StandInUpstream>(delayMs);
        upstream->listen();
    });

    // The real service, with a cache folder of its own so that it starts cold.
    QProcess service;
    service.setProgram(forecastdPath);
    QStringList arguments{QStringLiteral("--port"), QString::number(FeedPort), QStringLiteral("--upstream"),
                          upstream->url("/v1/forecast")};
    {
        QProcess help;
        help.start(forecastdPath, {QStringLiteral("--help")});
        help.waitForFinished(5000);
        if (help.readAllStandardOutput().contains("--air-quality-upstream"))
            arguments << QStringLiteral("--air-quality-upstream") << upstream->url("/v1/air-quality");
    }
    service.setArguments(arguments);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), scratch.filePath(QStringLiteral("cache")));
    service.setProcessEnvironment(environment);
    service.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    QByteArray serviceSaid;
    service.start();
    if (!waitFor(
            [&] {
                service.waitForReadyRead(5);
                serviceSaid += service.readAllStandardError();
                return serviceSaid.contains("serving http://") || service.state() == QProcess::NotRunning;
            },
            10000)
        || service.state() == QProcess::NotRunning) {
        std::fprintf(stderr, "forecastd did not come up: %s\n", serviceSaid.constData());
        return 1;
    }

    std::printf("upstream delay %d ms; board %s; service %s; application folder in %s\n", delayMs,
                qPrintable(boardPath), qPrintable(forecastdPath), qPrintable(QDir::tempPath()));
    const double coldMs = boardToFullRows(boardPath, folder, cities);
    if (coldMs >= 0)
        std::printf(
            "cold start: %d rows stored %.0f ms after the board's start; %d forecast + %d air-quality upstream calls\n",
            cities, coldMs, int(upstream->forecastCalls), int(upstream->airQualityCalls));
    service.readAllStandardError();

    // The board's own share: the same again, the service's cache now warm.
    const double aloneMs = boardToFullRows(boardPath, folder, cities);
    if (aloneMs >= 0)
        std::printf("the board alone (started anew, the service's cache warm): %.0f ms\n", aloneMs);

    // The board's next refresh within 15 minutes, against the same service.
    int failures = 0;
    const int before = upstream->forecastCalls + upstream->airQualityCalls;
    const double soonMs = refreshAll(FeedPort, &failures);
    std::printf("refresh right after: %.0f ms for %d cities; %d upstream calls%s\n", soonMs, cities,
                upstream->forecastCalls + upstream->airQualityCalls - before, failures ? " (some not 200!)" : "");
    service.terminate();
    service.waitForFinished(5000);

    // The board's refresh at :28 after one at :05, two quarters later: the
    // same code in process, on a clock moved minute by minute with a moment
    // for the service to act at each.
    std::atomic<qint64> clockMs{QDateTime(QDate(2026, 12, 7), QTime(10, 5), Qt::UTC).toMSecsSinceEpoch()};
    InProcessService inProcess(upstream->url("/v1/forecast"), upstream->url("/v1/air-quality"), &clockMs);
    refreshAll(inProcess.port, &failures);
    for (int minute = 1; minute <= 23; ++minute) {
        clockMs += 60 * 1000;
        inProcess.thread.run([&] { inProcess.clockMoved(); });
        QThread::msleep(minute == 15 ? 3 * delayMs + 500 : 20);
    }
    const int beforeLate = upstream->forecastCalls + upstream->airQualityCalls;
    const double lateMs = refreshAll(inProcess.port, &failures);
    std::printf("refresh 23 minutes later: %.0f ms for %d cities; %d upstream calls in it, %d since the first%s\n",
                lateMs, cities, upstream->forecastCalls + upstream->airQualityCalls - beforeLate,
                upstream->forecastCalls + upstream->airQualityCalls - before, failures ? " (some not 200!)" : "");

    upstreamThread.run([&] { upstream.reset(); });
    return coldMs >= 0 ? 0 : 1;
}
