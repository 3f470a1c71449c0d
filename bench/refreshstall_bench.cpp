// How long a refresh holds the window's thread at one stretch, with the
// panel showing the map, the coming days or the coming hours: the board is
// built in this process (offscreen), fed by a loopback server with every
// city's document (its coming days, its 24 hours and, for Riyadh, a dust
// storm), expanded on Riyadh, and refreshed as its timer would at minute 5.
// It runs once with no alert of the national centre in the documents, and
// once with `alerts` of them in force, each over three cities (Riyadh among
// those of the first), with both languages' texts at their full length.
// A 1 ms heartbeat on the window's thread records the longest gap between
// two of its ticks during the refresh: the longest the window could not
// paint or take a click.
//
//   refresh-bench [rounds] [alerts]   (default 10 and 10; the worst and the
//                                      median are printed)

#include "app/boardwarnings.h"
#include "app/frmWeatherMain.h"
#include "boardfixture.h"
#include "store/weatherstore.h"
#include "testsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

struct Stalls
{
    QList<double> longest; // ms, one per round
};

// The alerts of city `index` (in the seed order) when `count` are in force,
// alert a covering the cities a, a + 1 and a + 2 (Riyadh, the first city, is
// covered by the first). Written as the feed service writes them.
QString alertElements(int index, int count, int cities)
{
    const QString words = QStringLiteral(u"رياح نشطة مثيرة للأتربة والغبار تحد من مدى الرؤية الأفقية ");
    const QString description = words.repeated(300 / words.size()).left(299) + QStringLiteral(u"…");
    const QString english = QStringLiteral("Active winds raising dust and sand, reducing horizontal visibility ");
    const QString descriptionE = english.repeated(300 / english.size()).left(299) + QStringLiteral(u"…");
    static const char *const colours[] = {"red", "orange", "yellow"};
    QString xml;
    for (int a = 0; a < count; ++a) {
        const int offset = (index - a + cities) % cities;
        if (offset > 2)
            continue;
        xml +=
            QStringLiteral(
                R"(<rorizedivo:alert id="2.49.0.0.682.0.2026.12.07.%1" colour="%2" severity="Severe" )"
                R"(urgency="Immediate" onset="2026-12-07T%3:00:00+03:00" expires="2026-12-08T%3:00:00+03:00" kind="dust">)"
                R"(<rorizedivo:text lang="ar" sender="المركز الوطني للأرصاد" event="غبار" )"
                R"(headline="تنبيه: رياح نشطة مثيرة للأتربة والغبار على المنطقة %1" description="%4"/>)"
                R"(<rorizedivo:text lang="en" sender="NCM" event="Dust" )"
                R"(headline="Alert: active winds raising dust over region %1" description="%5"/>)"
                R"(</rorizedivo:alert>)")
                .arg(QString::number(100 + a), QLatin1String(colours[a % 3]),
                     QStringLiteral("%1").arg(12 + a % 8, 2, 10, QLatin1Char('0')), description, descriptionE);
    }
    return xml;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const int alerts = argc > 2 ? std::clamp(atoi(argv[2]), 0, 20) : 10;

    QTemporaryDir dir;
    LoopbackHttpServer server;
    const QString folder = dir.path() + QLatin1Char('/');
    if (!dir.isValid() || !server.listen() || !prepareBoardFolder(folder)) {
        std::fprintf(stderr, "refresh-bench: cannot set up a board folder and a loopback server\n");
        return 1;
    }
    pointFeedsAt(folder + QString::fromUtf16(WeatherStore::FileName),
                 server.url(QString()).toString(QUrl::StripTrailingSlash));
    const QDateTime first(QDate(2026, 12, 7), QTime(13, 0), Qt::OffsetFromUTC, 3 * 3600);
    const auto serveDocuments = [&](int alertCount) {
        const QVector<WeatherStore::SeedCity> &cities = WeatherStore::seedCities();
        int riyadh = 0;
        while (riyadh < cities.size() - 1 && cities.at(riyadh).cityCode != QLatin1String("RUH"))
            ++riyadh;
        for (int i = 0; i < cities.size(); ++i) {
            const WeatherStore::SeedCity &city = cities.at(i);
            FeedDocument doc;
            doc.city = city.cityCode;
            doc.hours = hourElements(first);
            if (city.cityCode == QLatin1String("RUH"))
                doc.warnings = QStringLiteral(R"(<rorizedivo:warning kind="dust" start="2026-12-07T15:00:00+03:00" )"
                                              R"(end="2026-12-07T21:00:00+03:00" peak="1450"/>)");
            // Riyadh first: the alerts are laid over the cities from there.
            const int index = (i - riyadh + int(cities.size())) % int(cities.size());
            doc.warnings += alertElements(index, alertCount, int(cities.size()));
            server.serve(QStringLiteral("/forecastrss?p=%1&u=c").arg(city.locationId), doc.toXml());
        }
    };
    serveDocuments(0);

    FakeWorld world;
    world.now = QDateTime(QDate(2026, 12, 7), QTime(13, 5), Qt::OffsetFromUTC, 3 * 3600);
    frmWeatherMain board(world.services(dir.path()));
    if (!board.Form_Load()) {
        std::fprintf(stderr, "refresh-bench: the board did not load\n");
        return 1;
    }
    board.show();
    board.TimerFirstLoad_Timer();
    board.PictureShowDetail_Click();
    board.lblCity_Click(3); // الرياض, in the city-name order

    for (const int inForce : alerts > 0 ? QList<int>{0, alerts} : QList<int>{0}) {
        serveDocuments(inForce);
        board.TimerWeather_Timer(); // the documents of this run, read once before the rounds
        QSet<QString> ids;
        int covered = 0;
        for (const auto &city : WeatherStore::seedCities()) {
            const QList<FeedAlert> kept = board.boardWarnings()->alertsOf(city.cityCode);
            covered += kept.isEmpty() ? 0 : 1;
            for (const FeedAlert &alert : kept)
                ids.insert(alert.id);
        }
        std::printf("(the board keeps %lld alerts over %d cities; Riyadh's line: %s)\n", qlonglong(ids.size()), covered,
                    qPrintable(board.boardWarnings()->alertLineOf(QStringLiteral("RUH")).left(60)));
        std::printf("the window's thread during a refresh of 24 cities, %d of the centre's alerts in force: its "
                    "longest stretch without a turn of its event loop\n%-14s %10s %10s\n",
                    inForce, "panel shows", "median ms", "worst ms");
        for (const auto &[name, shown] :
             {std::pair{"the map", MapPlace::Shown::Map}, std::pair{"the days", MapPlace::Shown::Days},
              std::pair{"the hours", MapPlace::Shown::Hours}}) {
            board.mapPlace()->show(shown);
            QList<double> longest;
            for (int r = 0; r < rounds; ++r) {
                QElapsedTimer clock;
                double last = 0;
                double worst = 0;
                QTimer heartbeat;
                heartbeat.setTimerType(Qt::PreciseTimer);
                double worstEnd = 0;
                QObject::connect(&heartbeat, &QTimer::timeout, [&] {
                    const double now = clock.nsecsElapsed() / 1e6;
                    if (now - last > worst) {
                        worst = now - last;
                        worstEnd = now;
                    }
                    last = now;
                });
                heartbeat.start(1);
                clock.start();
                board.TimerWeather_Timer();
                // What the refresh left to paint is part of it.
                QCoreApplication::processEvents();
                const double total = clock.nsecsElapsed() / 1e6;
                if (total - last > worst) {
                    worst = total - last;
                    worstEnd = total;
                }
                heartbeat.stop();
                if (qEnvironmentVariableIsSet("REFRESH_BENCH_WHERE"))
                    std::printf("   round %d: worst %.1f ms ending at %.1f of %.1f ms\n", r, worst, worstEnd, total);
                longest << worst;
            }
            std::printf("%-14s %10.1f %10.1f\n", name, median(longest),
                        *std::max_element(longest.begin(), longest.end()));
            QElapsedTimer t;
            t.start();
            board.ComboSort_Click();
            const double sortMs = t.nsecsElapsed() / 1e6;
            t.start();
            board.repaint();
            std::printf("   ComboSort_Click %.1f ms, repaint %.1f ms\n", sortMs, t.nsecsElapsed() / 1e6);
        }
    }
    return 0;
}
