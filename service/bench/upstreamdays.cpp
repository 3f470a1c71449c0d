// forecastd-bench's simulated days: the upstream calls at the board's
// schedule, and outages.

#include "upstreamdays.h"

#include "livesource.h"
#include "locationtable.h"
#include "officialwarnings.h"
#include "openmeteoclient.h"
#include "benchsupport.h"

#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// A day of one machine at the board's schedule (refreshes at minutes 5, 18
// and 28 for all its cities while the board runs), on a clock the bench
// moves minute by minute: what the service asks of the upstream, as the
// upstream counts it. The service is the socket unit's: it ends once no
// board has asked for LiveForecastSource::IdleExitSeconds and no wave is
// under way, and the next request starts a new one, which takes up the
// answers and the ledger the one before kept.
struct DayOfCalls
{
    double weighted = 0; // today's calls as the ledger of the last start has them
    double counted = 0; // as the upstream counted them
    int forecastRequests = 0;
    int airQualityRequests = 0;
    int answered = 0;
    int asked = 0;
    int starts = 0;
    int alertLooks = 0; // looks at the alert feeds (each asks both indexes)
    int mostLooksInAnHour = 0;
};

DayOfCalls runDay(StandInUpstream &upstream, int failingCity, const std::function<bool(const QTime &)> &boardRuns,
                  bool officialWarnings = false)
{
    const int alertCallsBefore = upstream.alertIndexCalls;
    int looksThisHour = 0;
    std::unique_ptr<OfficialWarnings> alerts;
    upstream.failingCity = failingCity;
    const int forecastsBefore = upstream.forecastCalls;
    const int airBefore = upstream.airQualityCalls;
    const double weightedBefore = upstream.weighted();
    OpenMeteoClient client;
    client.setEndpoint(QUrl(upstream.url("/v1/forecast")));
    client.setAirQualityEndpoint(QUrl(upstream.url("/v1/air-quality")));
    const QDateTime day(QDate(2026, 12, 8), QTime(0, 0), Qt::UTC);
    QDateTime now = day;
    const auto clock = [&now] { return now; };
    QTemporaryDir kept; // the service's cache folder, which outlives each start
    std::unique_ptr<LiveForecastSource> source;
    DayOfCalls result;
    for (int minute = 0; minute < 24 * 60; ++minute) {
        now = day.addSecs(minute * 60);
        if (minute % 60 == 0)
            looksThisHour = 0;
        if (source) {
            source->renewIfDue();
            if (alerts) {
                const int before = alerts->looksStarted();
                alerts->lookIfDue();
                waitFor([&alerts] { return !alerts->lookRunning(); }, 20000);
                looksThisHour += alerts->looksStarted() - before;
            }
            if (!source->busy() && source->lastAsked().secsTo(now) > LiveForecastSource::IdleExitSeconds) {
                source.reset(); // the idle exit
                alerts.reset();
            }
        }
        const int clockMinute = now.time().minute();
        if (boardRuns(now.time()) && (clockMinute == 5 || clockMinute == 18 || clockMinute == 28)) {
            if (!source) { // started by the socket at the first request
                source = std::make_unique<LiveForecastSource>(&client, LocationTable::builtIn(), clock);
                source->setCacheDirectory(kept.path());
                ++result.starts;
                if (officialWarnings) {
                    alerts = std::make_unique<OfficialWarnings>(LocationTable::builtIn(), clock);
                    alerts->setSources(
                        {QUrl(upstream.url("/ncm/ar/cap-alerts")), QUrl(upstream.url("/ncm/en/cap-alerts"))});
                    alerts->setCacheDirectory(kept.path());
                    source->setOfficialWarnings(alerts.get());
                    alerts->start();
                    ++looksThisHour;
                }
            }
            for (const Location &location : LocationTable::builtIn().locations()) {
                int status = -1;
                source->document(location, Units::Metric, [&status](const ServedDocument &served) {
                    status = served.status == ServedDocument::Status::Ok ? 1 : 0;
                });
                waitFor([&status] { return status >= 0; }, 20000);
                ++result.asked;
                result.answered += status == 1 ? 1 : 0;
            }
        }
        if (source)
            waitFor([&source] { return !source->waveRunning(); }, 20000);
        result.mostLooksInAnHour = std::max(result.mostLooksInAnHour, looksThisHour);
    }
    source.reset();
    alerts.reset();
    result.alertLooks = (upstream.alertIndexCalls - alertCallsBefore) / 2;
    LiveForecastSource next(&client, LocationTable::builtIn(), clock);
    next.setCacheDirectory(kept.path());
    result.weighted = next.ledger().weightedToday(now);
    result.forecastRequests = upstream.forecastCalls - forecastsBefore;
    result.airQualityRequests = upstream.airQualityCalls - airBefore;
    result.counted = upstream.weighted() - weightedBefore;
    upstream.failingCity = -1;
    return result;
}

// How the upstream fails through the day.
enum class Outage {
    NetworkDown, // no connection: refused, as with DNS or the route gone
    Unavailable, // every request answered 503
};

struct OutageDay
{
    double charged = 0; // the day's weighted calls, as the service's ledger has them
    double counted = 0; // as the upstream counted the requests that reached it
    int forecastRequests = 0;
    int airQualityRequests = 0;
    QDateTime budgetSpentAt; // when the budget stopped the waves; invalid: never
    QDateTime freshAgainAt; // when a board next had a fresh document after the network came back
};

// A port on loopback that nothing listens on: a connection to it is
// refused at once.
quint16 refusingPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// One UTC day with a board open all day (its refreshes at minutes 5, 18
// and 28 for all cities) and the upstream failing, on a clock the bench
// moves in steps of 15 s (the renewal timer's own moments, near enough).
// With `backAt` valid, the stand-in upstream answers well from then on, and
// the board goes on into the next day until it has fresh documents again.
OutageDay runOutageDay(StandInUpstream &upstream, Outage outage, const QTime &backAt)
{
    const int forecastsBefore = upstream.forecastCalls;
    const int airBefore = upstream.airQualityCalls;
    const double weightedBefore = upstream.weighted();
    const QString refused = QStringLiteral("http://127.0.0.1:%1").arg(refusingPort());
    OpenMeteoClient client;
    const auto pointAt = [&client](const QString &forecast, const QString &air) {
        client.setEndpoint(QUrl(forecast));
        client.setAirQualityEndpoint(QUrl(air));
    };
    if (outage == Outage::NetworkDown)
        pointAt(refused + QStringLiteral("/v1/forecast"), refused + QStringLiteral("/v1/air-quality"));
    else
        pointAt(upstream.url("/v1/forecast"), upstream.url("/v1/air-quality"));
    upstream.status = 503;

    const QDateTime day(QDate(2026, 12, 8), QTime(0, 0), Qt::UTC);
    QDateTime now = day;
    LiveForecastSource source(&client, LocationTable::builtIn(), [&now] { return now; });
    OutageDay result;
    constexpr int Step = 15;
    constexpr int Day = 24 * 60 * 60;
    const int last = backAt.isValid() ? Day + 8 * 60 * 60 : Day;
    for (int second = 0; second < last && !(second >= Day && result.freshAgainAt.isValid()); second += Step) {
        now = day.addSecs(second);
        if (backAt.isValid() && now.time() == backAt) {
            upstream.status = 200;
            pointAt(upstream.url("/v1/forecast"), upstream.url("/v1/air-quality"));
        }
        source.renewIfDue();
        const int minute = now.time().minute();
        if (now.time().second() == 0 && (minute == 5 || minute == 18 || minute == 28)) {
            for (const Location &location : LocationTable::builtIn().locations()) {
                std::optional<ServedDocument> answer;
                source.document(location, Units::Metric, [&answer](const ServedDocument &served) { answer = served; });
                waitFor([&answer] { return answer.has_value(); }, 20000);
                const bool fresh = answer && answer->status == ServedDocument::Status::Ok && !answer->stale;
                if (fresh && backAt.isValid() && day.secsTo(now) >= QTime(0, 0).secsTo(backAt)
                    && !result.freshAgainAt.isValid())
                    result.freshAgainAt = now;
            }
        }
        waitFor([&source] { return !source.waveRunning(); }, 20000);
        if (!result.budgetSpentAt.isValid() && source.limitedUntil().isValid())
            result.budgetSpentAt = now;
        if (second < Day) { // the figures of the outage's day
            result.charged = source.ledger().weightedToday(now);
            result.forecastRequests = upstream.forecastCalls - forecastsBefore;
            result.airQualityRequests = upstream.airQualityCalls - airBefore;
            result.counted = upstream.weighted() - weightedBefore;
        }
    }
    upstream.status = 200;
    return result;
}

// "22:50 AST", in Riyadh's time; "03:05 AST the next day" past the
// outage's day (8 December there).
QString riyadhTime(const QDateTime &utc)
{
    if (!utc.isValid())
        return QStringLiteral("never");
    const QDateTime riyadh = utc.addSecs(3 * 60 * 60);
    return riyadh.toString(QStringLiteral("HH:mm 'AST'"))
        + (riyadh.date() > QDate(2026, 12, 8) ? QStringLiteral(" the next day") : QString());
}

} // namespace

void reportOutageDays(StandInUpstream &upstream)
{
    // The service's warnings of each failed wave would fill the page.
    QLoggingCategory::setFilterRules(QStringLiteral("forecastd.warning=false"));
    std::printf("an outage of a whole UTC day with a board open, at a budget of %.0f weighted calls:\n",
                LiveForecastSource::DefaultDailyBudget);
    const QTime evening(20, 0); // 23:00 in Riyadh
    const struct
    {
        const char *name;
        Outage outage;
        QTime backAt;
    } days[] = {{"network down all day:", Outage::NetworkDown, QTime()},
                {"upstream answering 503 all day:", Outage::Unavailable, QTime()},
                {"network back at 23:00 AST:", Outage::NetworkDown, evening}};
    for (const auto &row : days) {
        const OutageDay day = runOutageDay(upstream, row.outage, row.backAt);
        std::printf("  %-32s %.1f weighted calls charged (the upstream counted %.1f: %d forecast and %d air-quality "
                    "requests reached it); budget spent at %s",
                    row.name, day.charged, day.counted, day.forecastRequests, day.airQualityRequests,
                    qPrintable(riyadhTime(day.budgetSpentAt)));
        if (row.backAt.isValid())
            std::printf("; fresh documents again at %s", qPrintable(riyadhTime(day.freshAgainAt)));
        std::printf("\n");
    }
    QLoggingCategory::setFilterRules(QString());
}

void reportDaysOfCalls(StandInUpstream &upstream)
{
    std::printf("upstream calls of one machine in a day at the board's schedule, the service ending after %d idle "
                "minutes and started again by the next request (at most 1,500 weighted calls; the free API allows "
                "fewer than 10,000 a day per address):\n",
                LiveForecastSource::IdleExitSeconds / 60);
    const auto allDay = [](const QTime &) { return true; };
    // A board on from 08:00 to 12:00 and from 14:00 to 22:00 AST: the
    // service ends in each pause and overnight.
    const auto withPauses = [](const QTime &utc) {
        return (utc >= QTime(5, 0) && utc < QTime(9, 0)) || (utc >= QTime(11, 0) && utc < QTime(19, 0));
    };
    const struct
    {
        const char *name;
        int failing;
        std::function<bool(const QTime &)> boardRuns;
        bool officialWarnings;
    } days[] = {{"board on all day:", -1, allDay, false},
                {"one city always failing:", 8, allDay, false},
                {"board on 08-12 and 14-22 AST:", -1, withPauses, false},
                {"all day, official warnings:", -1, allDay, true},
                {"08-12, 14-22, official warnings:", -1, withPauses, true}};
    for (const auto &row : days) {
        const DayOfCalls day = runDay(upstream, row.failing, row.boardRuns, row.officialWarnings);
        std::printf("  %-32s %.1f weighted calls (ledger %.1f; %d forecast and %d air-quality requests); "
                    "%d start(s) of the service; %d of %d documents served",
                    row.name, day.counted, day.weighted, day.forecastRequests, day.airQualityRequests, day.starts,
                    day.answered, day.asked);
        if (row.officialWarnings)
            std::printf("; %d looks at the 2 alert feeds (%.1f an hour, at most %d in one hour)", day.alertLooks,
                        day.alertLooks / 24.0, day.mostLooksInAnHour);
        std::printf("\n");
    }
}
