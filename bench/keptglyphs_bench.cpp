// What the ticker's kept glyphs save: the ticker strip scrolls texts whose
// cycle shows 1,500, 3,000 and 4,000 distinct captions, three cycles each,
// every caption drawn as a tick draws it (offscreen). A cycle whose captions
// all stay kept costs, from the second on, what the 1,500-caption ones do
// per caption; one whose captions are dropped before they come back costs
// what the first cycle did. The plain label, which keeps nothing, is shown
// beside it.
//
//   glyphs-bench [captions...]      (default 1500 3000 4000)

#include "view/tickerstrip.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>

#include <cstdio>

namespace {

// A ticker text of about `length` characters, made of city segments as a
// refresh writes them, with temperatures that vary so that no two captions
// of a cycle are the same.
QString tickerText(int length)
{
    const QStringList cities = {u"أبها"_qs, u"الجوف"_qs, u"الدمام"_qs, u"الرياض"_qs, u"وادي الدواسر"_qs, u"ينبع"_qs};
    const QStringList conditions = {u"مشمس"_qs, u"غبار"_qs, u"عواصف رعدية متفرقة"_qs, u"غائم جزئياً"_qs, u"مطر"_qs};
    QRandomGenerator random(20);
    QString text;
    while (text.size() < length) {
        const QString condition = conditions[random.bounded(int(conditions.size()))];
        text += cities[random.bounded(int(cities.size()))] + QStringLiteral(" : ") + condition + QStringLiteral("  ")
            + QString::number(random.bounded(-9, 49)) + QStringLiteral("   ....  ");
        if (condition == conditions.last())
            text += QStringLiteral(u" اللهم صيبا ً نافعاً    .........  ");
    }
    return text.left(length);
}

struct Cycle
{
    double ms = 0;
    int captions = 0;
};

// One whole cycle of the ticker, each caption drawn.
Cycle runCycle(TickerStrip &strip, QImage &canvas)
{
    Cycle cycle;
    QElapsedTimer clock;
    clock.start();
    do {
        strip.TimerW_lbl_Timer();
        strip.lblWeather()->render(&canvas);
        ++cycle.captions;
    } while (!strip.lblWeather()->text().isEmpty());
    cycle.ms = double(clock.nsecsElapsed()) / 1e6;
    return cycle;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QList<int> lengths;
    for (int i = 1; i < argc; ++i)
        lengths.append(atoi(argv[i]));
    if (lengths.isEmpty())
        lengths = {1500, 3000, 4000};

    std::printf("three ticker cycles, each caption drawn offscreen; us per caption in brackets\n\n");
    std::printf("%8s %-6s %18s %18s %18s %8s %10s\n", "captions", "label", "cycle 1 ms", "cycle 2 ms", "cycle 3 ms",
                "kept", "kept KiB");
    for (int length : lengths) {
        for (bool keeps : {true, false}) {
            TickerStrip strip;
            strip.lblWeather()->setKeepsShapedTexts(keeps);
            strip.setTickerText(tickerText(length));
            strip.resetTicker();
            QImage canvas(strip.lblWeather()->size(), QImage::Format_RGB32);
            Cycle cycles[3];
            for (Cycle &cycle : cycles)
                cycle = runCycle(strip, canvas);
            std::printf("%8d %-6s", cycles[0].captions, keeps ? "kept" : "plain");
            for (const Cycle &cycle : cycles)
                std::printf(" %8.0f (%6.1f)", cycle.ms, cycle.ms * 1000 / cycle.captions);
            std::printf(" %8d %10.0f\n", strip.lblWeather()->keptShapedTextCount(),
                        double(strip.lblWeather()->keptShapedTextBytes()) / 1024);
            std::fflush(stdout);
        }
    }
    return 0;
}
