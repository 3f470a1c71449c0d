// How long the window's thread can be held by one hostile feed document
// within the 2 MiB size limit, in every step of fetch, parse and store.
//
// For each worst-case shape the document is served over loopback and loaded
// through DocumentLoader::loadChannels, as a refresh loads it, while a 1 ms
// heartbeat timer on the window's thread records its longest gap (the stall
// a user would feel). The screen, the DOM parse and the reading of the
// channels, which run on the loader's worker, are also timed on their own.
// Every channel that would be written is then written to a temporary store
// the way a refresh writes it (one transaction each, with a yield between),
// timing the longest update. The whole work on the worker (screen, parse
// and read, within the budget a load gives it) is timed in CPU time.
//
//   feedparse-bench [repetitions]      (default 3; the worst run is shown)

#include "feed/documentloader.h"
#include "feed/documentscreen.h"
#include "feed/feedreading.h"
#include "platform/datacontrol.h"
#include "store/weatherstore.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

constexpr qint64 Limit = DocumentLoader::MaximumBytes;

QByteArray channelBody(int i)
{
    return "<channel><title>c" + QByteArray::number(i)
        + "</title><link>http://x/</link><yweather:location city=\"R\"/>"
          "<yweather:wind chill=\"20\" direction=\"90\" speed=\"11\"/>"
          "<yweather:atmosphere humidity=\"9\" visibility=\"10\"/>"
          "<yweather:astronomy sunrise=\"6:00 am\" sunset=\"5:00 pm\"/>"
          "<item><yweather:condition text=\"Fair\" code=\"34\" temp=\"25\" date=\"d\"/>"
          "<yweather:forecast low=\"1\" high=\"2\"/></item></channel>";
}

QByteArray rss(const QByteArray &inside)
{
    return "<?xml version=\"1.0\"?><rss xmlns:yweather=\"y\">" + inside + "</rss>";
}

// Repeats `unit` as often as fits in `budget` bytes.
QByteArray fill(const QByteArray &unit, qint64 budget, int atMost = INT_MAX)
{
    const int n = int(qMin<qint64>(budget / unit.size(), atMost));
    return unit.repeated(n);
}

struct Shape
{
    const char *name;
    QByteArray body;
};

QList<Shape> shapes()
{
    QList<Shape> list;
    list.append({"recorded feed", readFixture(QStringLiteral("real/01-belo-horizonte-c.xml"))});

    const int deep = int(Limit / 7) - 2;
    list.append({"deep, 300k levels", QByteArray("<a>").repeated(deep) + QByteArray("</a>").repeated(deep)});
    list.append({"deep 64, long texts",
                 rss(QByteArray("<a>").repeated(62) + fill(QByteArray(60000, 'x') + "<b/>", Limit - 2000, 30)
                     + QByteArray("</a>").repeated(62))});
    list.append({"wide, 500k elements", rss(fill("<a/>", Limit - 100))});
    list.append({"wide, 10k elements", rss(fill("<a v=\"" + QByteArray(190, 'x') + "\"/>", Limit - 100, 9999))});
    list.append({"many channels", rss(fill(channelBody(1), Limit - 100, FeedLimits::MaximumElements / 11))});
    {
        // Every channel inside the one before, as deep as allowed: each
        // channel's lookups walk all that lies below it.
        QByteArray nested;
        for (int i = 0; i < FeedLimits::MaximumDepth - 4; ++i)
            nested += "<channel><link>l</link>" + fill("<item><x/><y/></item>", 12000, 40);
        for (int i = 0; i < FeedLimits::MaximumDepth - 4; ++i)
            nested += "</channel>";
        list.append({"nested channels", rss(nested)});
    }
    {
        QByteArray tag = "<a";
        for (int i = 0; tag.size() < Limit - 100; ++i)
            tag += " a" + QByteArray::number(i) + "=\"\"";
        list.append({"one tag, 200k attributes", rss(tag + "/>")});
        const auto element = [](int valueBytes) {
            QByteArray element = "<a";
            for (int i = 0; i < FeedLimits::MaximumAttributes; ++i)
                element += " a" + QByteArray::number(i) + "=\"" + QByteArray(valueBytes, 'v') + "\"";
            return element + "/>";
        };
        list.append({"32 attributes each", rss(fill(element(1), Limit - 100))});
        // As many as a document may have, with values long enough to fill it.
        const int elements = FeedLimits::MaximumAttributesInDocument / FeedLimits::MaximumAttributes - 1;
        list.append(
            {"most attributes",
             rss(fill(element(int(Limit / FeedLimits::MaximumAttributesInDocument) - 10), Limit - 100, elements))});
    }
    list.append({"one text of 2 MiB", rss("<title>" + QByteArray(Limit - 100, 'x') + "</title>")});
    list.append({"texts of 64 KiB", rss(fill("<title>" + QByteArray(65000, 'x') + "</title>", Limit - 100))});
    list.append({"attribute of 2 MiB", rss("<a v=\"" + QByteArray(Limit - 100, 'x') + "\"/>")});
    list.append({"character references", rss(fill("<t>" + QByteArray("&#x41;").repeated(4000) + "</t>", Limit - 100))});
    {
        QByteArray decls;
        for (int i = 0; decls.size() < Limit - 200; ++i)
            decls += "<!ENTITY e" + QByteArray::number(i) + " \"x\">";
        list.append({"entity declarations", "<!DOCTYPE rss [" + decls + "]><rss>&e1;</rss>"});
    }
    // Attributes that a count over raw bytes could once be talked past.
    list.append({"DTD comment, attributes", attributesTalkedPast("dtd-comment", Limit)});
    list.append({"DTD instruction, attrs", attributesTalkedPast("dtd-instruction", Limit)});
    list.append({"DTD default attributes", attributesTalkedPast("dtd-defaults", Limit)});
    list.append({"UTF-16, '>' in names", attributesTalkedPast("utf16", Limit)});
    return list;
}

struct Figures
{
    double screenMs = 0, domMs = 0, readMs = 0, workMs = 0, storeMs = 0, stallMs = 0;
    int channels = 0;
    DocumentVerdict verdict = DocumentVerdict::Accepted;
    bool outOfTime = false;
};

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

Figures measure(const Shape &shape, LoopbackHttpServer &server, DataControl &store)
{
    Figures f;
    QElapsedTimer t;
    t.start();
    f.verdict = screenFeedDocument(shape.body);
    f.screenMs = msSince(t);
    t.restart();
    const QDomDocument parsed = parseFeedDocument(shape.body);
    f.domMs = msSince(t) - f.screenMs;
    if (f.domMs < 0)
        f.domMs = 0;

    // The whole load on the window's thread, with a heartbeat.
    server.serve(QStringLiteral("/f"), shape.body);
    DocumentLoader loader;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(1);
    QElapsedTimer beat;
    double longest = 0;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longest = qMax(longest, msSince(beat));
        beat.restart();
    });
    heartbeat.start();
    beat.start();
    const QList<ChannelReadings> channels = loader.loadChannels(server.url(QStringLiteral("/f")));
    QCoreApplication::processEvents();
    longest = qMax(longest, msSince(beat));
    heartbeat.stop();
    f.stallMs = longest;
    f.channels = int(channels.size());

    t.restart();
    readChannels(parsed);
    f.readMs = msSince(t);

    // The work as the loader's worker does it, within its budget.
    WorkBudget budget;
    readChannels(parseFeedDocument(shape.body, budget), budget);
    f.workMs = double(budget.used().count()) / 1e6;
    f.outOfTime = budget.isSpent();

    Recordset &row = store.recordset();
    float sector = 0;
    for (const ChannelReadings &readings : channels) {
        sector = windDirIndexAfter(readings, sector);
        if (channelOutcome(readings) == ChannelOutcome::Stop)
            break;
        if (channelOutcome(readings) == ChannelOutcome::Skip)
            continue;
        t.restart();
        row.edit();
        for (const auto &[column, value] : filledColumns(readings, sector))
            row.setValue(column, value);
        row.update();
        f.storeMs = qMax(f.storeMs, msSince(t));
    }
    return f;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int repetitions = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    if (qEnvironmentVariableIsEmpty("WEATHER_FIXTURES"))
        qputenv("WEATHER_FIXTURES", QByteArray(WEATHER_SOURCE_DIR "/tests/fixtures"));

    LoopbackHttpServer server;
    server.listen();
    QTemporaryDir dir;
    const QString storePath = dir.filePath(QStringLiteral("wt.dar"));
    WeatherStore::createStoreFile(storePath);
    DataControl store;
    openRows(store, storePath, QString::fromUtf16(WeatherStore::AllRows));

    std::printf("worst of %d runs; screen, DOM and read run on the loader's worker, work is their CPU\n"
                "time together within the budget of %lld ms (* spent it); the stall is the window thread's\n"
                "longest gap during the whole load; store is its longest update\n\n",
                repetitions, static_cast<long long>(FeedLimits::MaximumWork.count()));
    std::printf("%-26s %9s %-20s %9s %9s %9s %8s %9s %9s %9s\n", "shape", "bytes", "verdict", "screen ms", "DOM ms",
                "stall ms", "channels", "read ms", "work ms", "store ms");
    double worstStall = 0, worstMain = 0, worstWork = 0;
    for (const Shape &shape : shapes()) {
        Figures worst;
        for (int i = 0; i < repetitions; ++i) {
            const Figures f = measure(shape, server, store);
            worst.verdict = f.verdict;
            worst.channels = f.channels;
            worst.screenMs = qMax(worst.screenMs, f.screenMs);
            worst.domMs = qMax(worst.domMs, f.domMs);
            worst.stallMs = qMax(worst.stallMs, f.stallMs);
            worst.readMs = qMax(worst.readMs, f.readMs);
            worst.workMs = qMax(worst.workMs, f.workMs);
            worst.outOfTime = worst.outOfTime || f.outOfTime;
            worst.storeMs = qMax(worst.storeMs, f.storeMs);
        }
        worstStall = qMax(worstStall, worst.stallMs);
        worstMain = qMax(worstMain, worst.storeMs);
        worstWork = qMax(worstWork, worst.workMs);
        std::printf("%-26s %9lld %-20s %9.1f %9.1f %9.1f %8d %9.1f %8.1f%c %9.1f\n", shape.name,
                    static_cast<long long>(shape.body.size()), verdictName(worst.verdict), worst.screenMs, worst.domMs,
                    worst.stallMs, worst.channels, worst.readMs, worst.workMs, worst.outOfTime ? '*' : ' ',
                    worst.storeMs);
        std::fflush(stdout);
    }
    std::printf("\nwindow's thread: longest stall during a load %.1f ms, longest store update %.1f ms\n"
                "worker: longest work on one document %.1f ms of CPU time\n",
                worstStall, worstMain, worstWork);
    return 0;
}
