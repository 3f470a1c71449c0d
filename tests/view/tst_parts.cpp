// The parts of the board on their own: each holds its controls within its
// bounds, the ticker strip scrolls by itself, and a paused part keeps its
// place; and the window pauses them while it cannot be seen.
#include "app/frmWeatherMain.h"
#include "boardfixture.h"
#include "platform/cursorfile.h"
#include "platform/boardlanguage.h"
#include "platform/formcontrols.h"
#include "view/boardaccessibility.h"
#include "view/citydetail.h"
#include "view/controlkit.h"
#include "view/hourscurve.h"
#include "view/spokentext.h"
#include "view/citygrid.h"
#include "view/tickerstrip.h"
#include "view/windcompasswidget.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

class TestParts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void controlsLieWithinTheirPart_data();
    void controlsLieWithinTheirPart();
    void tickerMovesTheLabel_data();
    void tickerMovesTheLabel();
    void pausedPartsResumeWhereTheyStood();
    void arrowFollowsTheTicker();
    void movedLineLooksTheSame();
    void keptGlyphsDrawAsAPlainLabel_data();
    void keptGlyphsDrawAsAPlainLabel();
    void keptGlyphsLastAWholeCycle();
    void unseenBoardWakesOnlyForTheRefresh();
    void densePictures_data();
    void densePictures();
    void spokenWords_data();
    void spokenWords();
    void hoursAlongTheCurve_data();
    void hoursAlongTheCurve();
};

using PartFactory = std::function<QWidget *()>;
Q_DECLARE_METATYPE(PartFactory)

// The parts on their own, without the window that installs what screen
// readers are told of them.
void TestParts::initTestCase()
{
    installBoardAccessibility();
}

void TestParts::controlsLieWithinTheirPart_data()
{
    // clang-format off
    QTest::addColumn<PartFactory>("make");
    QTest::addColumn<int>("controls");
    QTest::newRow("ticker strip") << PartFactory([] { return new TickerStrip; }) << 1;
    QTest::newRow("city grid") << PartFactory([] { return new CityGrid; }) << 24 + 6 * 24 + 6 + 24; // + a warning sign a row
    QTest::newRow("city detail") << PartFactory([] { return new CityDetail; }) << 7 + 1 + 12 + 13 + 2 + 1 + 1 + 1; // + the warning line, "مدينتي", the alerts' line
    QTest::newRow("wind compass") << PartFactory([] { return new WindCompass(QRectF(CityDetail::MapTwips)); }) << 1 + 1 + 4 + 9;
    // clang-format on
}

// A control that reaches past its part would be cut off where the part ends.
void TestParts::controlsLieWithinTheirPart()
{
    QFETCH(PartFactory, make);
    QFETCH(int, controls);
    const std::unique_ptr<QWidget> part(make());
    const QList<QWidget *> children = part->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(children.size(), controls);
    for (const QWidget *child : children) {
        if (!child->isHidden())
            QVERIFY2(part->rect().contains(child->geometry()), qPrintable(child->objectName()));
    }
    part->show();
    QVERIFY(QTest::qWaitForWindowExposed(part.get()));
}

void TestParts::tickerMovesTheLabel_data()
{
    // Where the label stands at the start, after its first step once the
    // whole window of text is in view, and back at the start: in Arabic it
    // moves right from the strip's left end, in English left from its right
    // end (the label is 6900 twips of the strip's 7100).
    QTest::addColumn<bool>("english");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("stepped");
    QTest::newRow("Arabic") << false << 0 << 100;
    QTest::newRow("English") << true << 200 << 100;
}

void TestParts::tickerMovesTheLabel()
{
    QFETCH(bool, english);
    QFETCH(int, start);
    QFETCH(int, stepped);
    setBoardLanguage(english ? BoardLanguage::English : BoardLanguage::Arabic);
    const auto arabicAgain = qScopeGuard([] { setBoardLanguage(BoardLanguage::Arabic); });
    TickerStrip strip;
    strip.setTickerText(QString(200, QLatin1Char('x')));
    strip.resetTicker();
    for (int tick = 0; tick < 76 + 118; ++tick)
        strip.TimerW_lbl_Timer();
    QCOMPARE(strip.tickerStart(), 119.0f);
    QCOMPARE(strip.lblWeather()->text().size(), 81);
    QCOMPARE(strip.lblWeather()->leftTwips(), start);
    strip.TimerW_lbl_Timer();
    QCOMPARE(strip.lblWeather()->leftTwips(), stepped);
    QCOMPARE(strip.lblWeather()->x(), twipsToPixels(stepped));
    strip.TimerW_lbl_Timer();
    QCOMPARE(strip.lblWeather()->leftTwips(), english ? stepped - 100 : stepped + 100);
    for (int tick = 2; tick < 70; ++tick)
        strip.TimerW_lbl_Timer();
    QCOMPARE(strip.lblWeather()->leftTwips(), start);
    QCOMPARE(strip.lblWeather()->text(), QString());
    QCOMPARE(strip.tickerLength(), 5);
}

void TestParts::pausedPartsResumeWhereTheyStood()
{
    TickerStrip strip;
    strip.setTickerText(QString(200, QLatin1Char('x')));
    strip.resetTicker();
    strip.TimerW_lbl()->setEnabled(true);
    WindCompass compass{QRectF(CityDetail::MapTwips)};
    compass.setSweepAllowed([] { return true; });
    compass.showWind(1.0f, 14.48f); // north, every 71 ms
    QTRY_VERIFY(strip.tickerLength() > 10 && compass.LineWind()->y1() > 3820 + 10 * 8);

    strip.setPaused(true);
    compass.setPaused(true);
    const qint32 length = strip.tickerLength();
    const float y = compass.LineWind()->y1();
    QTest::qWait(400);
    QCOMPARE(strip.tickerLength(), length);
    QCOMPARE(compass.LineWind()->y1(), y);
    // Paused is not stopped: both timers are still on, only their ticks wait.
    QVERIFY(strip.TimerW_lbl()->isEnabled() && !strip.TimerW_lbl()->isTicking());
    QVERIFY(compass.TimerWind()->isEnabled() && !compass.TimerWind()->isTicking());

    strip.setPaused(false);
    compass.setPaused(false);
    QVERIFY(strip.TimerW_lbl()->isTicking() && compass.TimerWind()->isTicking());
    QTRY_VERIFY(strip.tickerLength() > length && compass.LineWind()->y1() > y);
    QVERIFY(compass.LineWind()->y1() < y + 400 / 71 * 8 + 100); // on from where it stood, not from the start
}

void TestParts::arrowFollowsTheTicker()
{
    TickerStrip strip;
    strip.setTickerText(QStringLiteral("text"));
    WindCompass compass{QRectF(CityDetail::MapTwips)};
    compass.followFrames(strip.TimerW_lbl());
    compass.showWind(1.0f, 45.0f); // north, every 10 ms: several steps to each 110 ms tick
    strip.TimerW_lbl()->setEnabled(true);
    QVERIFY(compass.TimerWind()->isEnabled() && !compass.TimerWind()->isTicking());
    // Only the ticker's ticks move the arrow, by the steps missed since the last.
    QTRY_VERIFY(compass.LineWind()->y1() >= 3820 + 4 * 8);
    QCOMPARE(std::fmod(compass.LineWind()->y1() - 3820, 8.0f), 0.0f);

    // A stopped ticker (a refresh runs) hands the arrow back its own timer.
    strip.TimerW_lbl()->setEnabled(false);
    QVERIFY(compass.TimerWind()->isTicking());
    const float y = compass.LineWind()->y1();
    QTRY_VERIFY(compass.LineWind()->y1() > y);
}

// A line keeps the picture of its shape: a move by whole pixels draws the
// same pixels elsewhere, and a new colour or pen draws anew.
void TestParts::movedLineLooksTheSame()
{
    QWidget area;
    area.resize(200, 200);
    QPalette black = area.palette();
    black.setColor(QPalette::Window, Qt::black);
    area.setPalette(black);
    area.setAutoFillBackground(true);
    auto *line = new FormLine(&area);
    line->setKeepsPicture(true);
    line->setPenWidth(3);
    line->setColor(Qt::red);
    const auto drawnAt = [&](int dx) {
        constexpr float Pixel = 15; // twips
        line->setPoints(300 + dx * Pixel, 300, 1200 + dx * Pixel, 900);
        return area.grab(QRect(20 + dx, 20, 60 + 1, 40 + 1)).toImage();
    };
    const auto lit = [](const QImage &image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += image.pixel(x, y) != qRgb(0, 0, 0);
        return count;
    };
    const QImage first = drawnAt(0);
    QCOMPARE(first.pixelColor(30, 20), QColor(Qt::red)); // the middle of the line
    QCOMPARE(drawnAt(37), first);
    QCOMPARE(drawnAt(0), first);
    line->setColor(Qt::green);
    QCOMPARE(drawnAt(0).pixelColor(30, 20), QColor(Qt::green));
    line->setPenWidth(1);
    QVERIFY(lit(drawnAt(0)) < lit(first) / 2);
}

// The ticker keeps the glyphs of its captions: every caption of a whole
// cycle, drawn again from what was kept, is the plain label's picture.
void TestParts::keptGlyphsDrawAsAPlainLabel_data()
{
    QTest::addColumn<QString>("text");
    const QString supplication = QStringLiteral(u"   اللهم صيبا ً نافعاً    .........  ");
    QTest::newRow("cities") << QStringLiteral(u"أبها : مشمس  10   ....  الجوف : غبار  -3   ....  ") + supplication
            + QStringLiteral(u"الدمام : عواصف رعدية متفرقة  112   ....  وادي الدواسر : غائم جزئياً  33   ....  ");
    // Captions that start with a number or a Latin word read left to right
    // and stand at the label's other edge.
    QTest::newRow("numbers and Latin first") << QStringLiteral(u"12 km/h NNE  رياح  45   Open-Meteo.com  -7 ....  ");
    // One word longer than the label is cut at its edge.
    QTest::newRow("wider than the label") << QString(120, QChar(0x0645)) + QStringLiteral(u" ") + QString(120, u'W');
}

void TestParts::keptGlyphsDrawAsAPlainLabel()
{
    QFETCH(QString, text);
    TickerStrip kept;
    TickerStrip plain;
    QVERIFY(kept.lblWeather()->keepsShapedTexts());
    plain.lblWeather()->setKeepsShapedTexts(false);
    const auto sameLook = [&] { return kept.lblWeather()->grab().toImage() == plain.lblWeather()->grab().toImage(); };
    for (TickerStrip *strip : {&kept, &plain}) {
        strip->setTickerText(text);
        strip->resetTicker();
    }
    int captions = 0;
    for (int cycle = 0; cycle < 2; ++cycle) {
        do {
            kept.TimerW_lbl_Timer();
            plain.TimerW_lbl_Timer();
            QCOMPARE(kept.lblWeather()->text(), plain.lblWeather()->text());
            if (!sameLook())
                QFAIL(qPrintable(QStringLiteral("caption drawn differently: ") + kept.lblWeather()->text()));
            ++captions;
        } while (!kept.lblWeather()->text().isEmpty());
    }
    QVERIFY(captions > text.size());
    QVERIFY(kept.lblWeather()->keptShapedTextCount() > 0);

    // Another font shapes anew.
    QFont bold = kept.lblWeather()->font();
    bold.setBold(true);
    kept.lblWeather()->setFont(bold);
    plain.lblWeather()->setFont(bold);
    QCOMPARE(kept.lblWeather()->keptShapedTextCount(), 0);
    kept.lblWeather()->setText(text.left(60));
    plain.lblWeather()->setText(text.left(60));
    QVERIFY(sameLook());
}

// A cycle of 4,000 ticker captions comes round with every caption still
// kept; texts of weather gone by give way, the least recently shown first,
// and what is kept stays within its bytes.
void TestParts::keptGlyphsLastAWholeCycle()
{
    TickerStrip strip;
    FormLabel *label = strip.lblWeather();
    QImage canvas(label->size(), QImage::Format_RGB32);
    const auto show = [&](const QString &caption) {
        label->setText(caption);
        label->render(&canvas);
    };
    const QString city = QStringLiteral(u"وادي الدواسر : عواصف رعدية متفرقة  ");
    for (int cycle = 0; cycle < 3; ++cycle) {
        for (int caption = 0; caption < 4000; ++caption) {
            const QString text = city + QString::number(caption);
            if (cycle > 0 && !label->hasKeptShapedText(text))
                QFAIL(qPrintable(QStringLiteral("shaped again in cycle %1: caption %2").arg(cycle).arg(caption)));
            show(text);
        }
    }
    QCOMPARE(label->keptShapedTextCount(), 4000);

    // Weeks of changing weather, in long texts so that they outgrow the bound.
    const QString week = QString(2000, QChar(0x0645));
    for (int shown = 0; label->keptShapedTextBytes() + 100 * 1024 < FormLabel::ShapedTextBytes; ++shown)
        show(week + QString::number(shown));
    for (int shown = 0; shown < 200; ++shown)
        show(week + QStringLiteral("-") + QString::number(shown));
    QVERIFY(label->keptShapedTextBytes() <= FormLabel::ShapedTextBytes);
    QVERIFY(label->keptShapedTextCount() < 4000);
}

void TestParts::unseenBoardWakesOnlyForTheRefresh()
{
    QTemporaryDir dir;
    QVERIFY(prepareBoardFolder(dir.path()));
    FakeWorld world;
    frmWeatherMain board(world.services(dir.path()));
    QVERIFY(board.Form_Load());
    board.TimerFirstLoad()->setEnabled(false);
    board.show();
    QVERIFY(QTest::qWaitForWindowExposed(&board));
    const auto ticking = [&board] {
        return QList<bool>{board.TimerWeather()->isTicking(), board.TimerW_lbl()->isTicking(),
                           board.TimerWind()->isTicking()};
    };
    board.setWindDirIndex(1);
    board.TimerWind()->setEnabled(true);
    QCOMPARE(ticking(), (QList<bool>{true, false, true}));
    board.showMinimized();
    QTRY_COMPARE(ticking(), (QList<bool>{true, false, false}));
    board.showNormal();
    QTRY_COMPARE(ticking(), (QList<bool>{true, false, true}));

    // With the ticker running the arrow moves on its ticks.
    board.TimerW_lbl()->setEnabled(true);
    QCOMPARE(ticking(), (QList<bool>{true, true, false}));
    board.hide();
    QCOMPARE(ticking(), (QList<bool>{true, false, false}));
    board.show();
    QCOMPARE(ticking(), (QList<bool>{true, true, false}));
    board.close();
}

// On a screen of more than one device pixel to the pixel each picture comes
// from its companion at twice the size, and looks the same size.
void TestParts::densePictures_data()
{
    QTest::addColumn<QString>("path"); // %APP%: the built application folder
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<qreal>("pictureRatio");
    const qreal one = 1, two = 2;
    QTest::newRow("button") << ":/assets/show-detail.gif" << one << QSize(24, 24) << one;
    QTest::newRow("button at 200 %") << ":/assets/show-detail.gif" << two << QSize(48, 48) << two;
    QTest::newRow("button at 150 %") << ":/assets/hide-detail.gif" << qreal(1.5) << QSize(48, 48) << two;
    QTest::newRow("map of the peninsula at 200 %") << ":/assets/default-map.jpg" << two << QSize(814, 900) << two;
    QTest::newRow("city map") << "%APP%/wtIMG/RUH.tmg" << one << QSize(407, 450) << one;
    QTest::newRow("city map at 200 %") << "%APP%/wtIMG/RUH.tmg" << two << QSize(814, 900) << two;
    QTest::newRow("no companion: the picture itself") << "%TMP%/only.tmg" << two << QSize(40, 30) << one;
    QTest::newRow("a companion that cannot be read") << "%TMP%/broken.tmg" << two << QSize(40, 30) << one;
    QTest::newRow("cursor") << "%APP%/H_POINT.CUR" << one << QSize(32, 32) << one;
    QTest::newRow("cursor at 200 %") << "%APP%/H_POINT.CUR" << two << QSize(64, 64) << two;
}

void TestParts::densePictures()
{
    QFETCH(QString, path);
    QFETCH(qreal, ratio);
    QFETCH(QSize, pixels);
    QFETCH(qreal, pictureRatio);
    QTemporaryDir dir;
    QImage small(40, 30, QImage::Format_RGB32);
    small.fill(Qt::blue);
    QVERIFY(small.save(dir.filePath(QStringLiteral("only.tmg")), "PNG"));
    QVERIFY(small.save(dir.filePath(QStringLiteral("broken.tmg")), "PNG"));
    QFile broken(dir.filePath(QStringLiteral("broken@2x.tmg")));
    QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a picture") > 0);
    broken.close();
    path.replace(QStringLiteral("%APP%"), qEnvironmentVariable("WEATHER_APP_FOLDER"));
    path.replace(QStringLiteral("%TMP%"), dir.path());

    if (path.endsWith(QLatin1String(".CUR"))) {
        const std::optional<QCursor> cursor = loadCursorFile(path, ratio);
        QVERIFY(cursor);
        QCOMPARE(cursor->pixmap().size(), pixels);
        QCOMPARE(cursor->pixmap().devicePixelRatio(), pictureRatio);
        // The finger tip, wherever the picture puts it.
        QCOMPARE(cursor->hotSpot() * (QGuiApplication::platformName() == QLatin1String("xcb") ? 1 : pictureRatio),
                 QPoint(11, 1) * pictureRatio);
        return;
    }
    const QImage picture = ControlKit::readPicture(path, ratio);
    QCOMPARE(picture.size(), pixels);
    QCOMPARE(picture.devicePixelRatio(), pictureRatio);
}

using Speech = QString (*)(const QString &);
Q_DECLARE_METATYPE(Speech)

void TestParts::spokenWords_data()
{
    // clang-format off
    QTest::addColumn<Speech>("speech");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("said");
    QTest::newRow("degrees") << Speech(spokenDegrees) << "25" << u"25 درجة"_qs;
    QTest::newRow("below zero") << Speech(spokenDegrees) << "-12.5" << u"سالب 12.5 درجة"_qs;
    QTest::newRow("no value") << Speech(spokenDegrees) << "" << "";
    QTest::newRow("kilometres") << Speech(spokenKilometres) << "9.5" << u"9.5 كيلومتر"_qs;
    QTest::newRow("good visibility is a word") << Speech(spokenKilometres) << u"جيدة"_qs << u"جيدة"_qs;
    QTest::newRow("speed") << Speech(spokenSpeed) << "14.48" << u"14.48 كيلومتر في الساعة"_qs;
    QTest::newRow("calm is a word") << Speech(spokenSpeed) << u"سكون"_qs << u"سكون"_qs;
    QTest::newRow("percent") << Speech(spokenPercent) << "40" << u"40 بالمئة"_qs;
    QTest::newRow("caption in Celsius") << Speech(spokenCaption) << u"درجة الحرارة (c)"_qs << u"درجة الحرارة بالدرجة المئوية"_qs;
    QTest::newRow("caption in km") << Speech(spokenCaption) << u"مدى الرؤية / كم"_qs << u"مدى الرؤية بالكيلومتر"_qs;
    QTest::newRow("caption in percent") << Speech(spokenCaption) << u"الرطوبة %"_qs << u"الرطوبة بالمئة"_qs;
    QTest::newRow("caption with two blanks") << Speech(spokenCaption) << u"برودة  الرياح (c)"_qs
                                             << u"برودة الرياح بالدرجة المئوية"_qs;
    // clang-format on
}

void TestParts::spokenWords()
{
    QFETCH(Speech, speech);
    QFETCH(QString, shown);
    QFETCH(QString, said);
    QCOMPARE(speech(shown), said);
}

// The curve's hours from the clock's, and the keys along them: the hours
// kept run from 13:00 in the cities, each a degree warmer, the fifth
// without a temperature. Left goes to a later hour (they run leftwards),
// and the screen reader's focus follows with the hour's values.
void TestParts::hoursAlongTheCurve_data()
{
    // clang-format off
    QTest::addColumn<int>("minutes"); // the clock, after 13:00 in the cities
    QTest::addColumn<int>("missing"); // an hour not kept, counted from 13:00; -1: none
    QTest::addColumn<int>("offset"); // the hours written at this offset from UTC, in hours
    QTest::addColumn<QString>("keys"); // Left, Right, Home, End
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("said"); // the highlighted hour as a screen reader hears it
    QTest::addColumn<int>("placed"); // where it is drawn, in hours from the first shown
    QTest::addColumn<bool>("english"); // the hours run rightwards: Right goes to a later hour
    const QString wind = u"رياح شمالية شرقية، 10 كيلومتر في الساعة"_qs;
    QTest::newRow("the current hour first") << 40 << -1 << 3 << "" << 24 << u"الآن، 1 مساءً، مشمس، 20 درجة، "_qs + wind << 0 << false;
    QTest::newRow("Left to a later hour") << 40 << -1 << 3 << "LL" << 24 << u"3 مساءً، مشمس، 22 درجة، "_qs + wind << 2 << false;
    QTest::newRow("Right of the first stays") << 40 << -1 << 3 << "R" << 24 << u"الآن، 1 مساءً، مشمس، 20 درجة، "_qs + wind << 0 << false;
    QTest::newRow("an hour without a temperature") << 40 << -1 << 3 << "LLLLRL" << 24 << u"5 مساءً، مشمس، "_qs + wind << 4 << false;
    QTest::newRow("End, and Left past it") << 40 << -1 << 3 << "EL" << 24 << u"12 ظهراً، مشمس، 43 درجة، "_qs + wind << 23 << false;
    QTest::newRow("Home again") << 40 << -1 << 3 << "EH" << 24 << u"الآن، 1 مساءً، مشمس، 20 درجة، "_qs + wind << 0 << false;
    QTest::newRow("hours gone by are left out") << 130 << -1 << 3 << "" << 22 << u"الآن، 3 مساءً، مشمس، 22 درجة، "_qs + wind << 0 << false;
    QTest::newRow("before the first hour, none is now") << -70 << -1 << 3 << "" << 24 << u"1 مساءً، مشمس، 20 درجة، "_qs + wind << 0 << false;
    QTest::newRow("all gone by") << 24 * 60 << -1 << 3 << "L" << 0 << "" << -1 << false;
    // The keys step over the gap of a missing hour; the hours after it stay at their time.
    QTest::newRow("a missing hour") << 40 << 2 << 3 << "LL" << 23 << u"4 مساءً، مشمس، 23 درجة، "_qs + wind << 3 << false;
    QTest::newRow("hours written at +00:00, shown on the cities' clock") << 40 << -1 << 0 << "L" << 24 << u"2 مساءً، مشمس، 21 درجة، "_qs + wind << 1 << false;
    QTest::newRow("a missing hour, the last") << 40 << 2 << 3 << "E" << 23 << u"12 ظهراً، مشمس، 43 درجة، "_qs + wind << 23 << false;
    const QString windEnglish = u"Northeast wind, 10 kilometres per hour"_qs;
    QTest::newRow("in English, Right to a later hour") << 40 << -1 << 3 << "RR" << 24 << u"3 PM, Sunny, 22 degrees, "_qs + windEnglish << 2 << true;
    QTest::newRow("in English, Left of the first stays") << 40 << -1 << 3 << "L" << 24 << u"Now, 1 PM, Sunny, 20 degrees, "_qs + windEnglish << 0 << true;
    QTest::newRow("in English, an hour without a temperature") << 40 << -1 << 3 << "RRRRLR" << 24 << u"5 PM, Sunny, "_qs + windEnglish << 4 << true;
    QTest::newRow("in English, a missing hour") << 40 << 2 << 3 << "RR" << 23 << u"4 PM, Sunny, 23 degrees, "_qs + windEnglish << 3 << true;
    QTest::newRow("in English, End") << 40 << -1 << 3 << "E" << 24 << u"12 PM, Sunny, 43 degrees, "_qs + windEnglish << 23 << true;
    // clang-format on
}

void TestParts::hoursAlongTheCurve()
{
    QFETCH(int, minutes);
    QFETCH(int, missing);
    QFETCH(int, offset);
    QFETCH(QString, keys);
    QFETCH(int, shown);
    QFETCH(QString, said);
    QFETCH(int, placed);
    QFETCH(bool, english);
    setBoardLanguage(english ? BoardLanguage::English : BoardLanguage::Arabic);
    const auto arabicAgain = qScopeGuard([] { setBoardLanguage(BoardLanguage::Arabic); });
    QWidget window;
    CityDetail panel(&window);
    HoursCurve curve(&panel);
    const QDateTime first(QDate(2026, 7, 14), QTime(13, 0), Qt::OffsetFromUTC, 3 * 3600);
    QList<ComingHour> hours;
    for (int i = 0; i < 24; ++i) {
        const FieldValue temperature = i == 4 ? FieldValue::null() : FieldValue::number(20 + i);
        if (i != missing)
            hours << ComingHour{first.addSecs(i * 3600).toOffsetFromUtc(offset * 3600), temperature, u"مشمس"_qs,
                                FieldValue::number(10), 3};
    }
    curve.setHours(hours, first.addSecs(minutes * 60));
    curve.show();
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    curve.setFocus();
    const QHash<QChar, Qt::Key> key{{'L', Qt::Key_Left}, {'R', Qt::Key_Right}, {'H', Qt::Key_Home}, {'E', Qt::Key_End}};
    for (const QChar k : keys)
        QTest::keyClick(&curve, key.value(k));
    QCOMPARE(curve.shownHours(), shown);
    QAccessibleInterface *focused = QAccessible::queryAccessibleInterface(&curve)->focusChild();
    QCOMPARE(focused ? focused->text(QAccessible::Description) : QString(), said);
    if (focused)
        QCOMPARE(focused->tableCellInterface()->rowIndex(), curve.highlighted());
    if (placed < 0)
        return;
    // Drawn as it reads: each later hour further left in Arabic, further
    // right in English. An hour's width is the space between the first two,
    // both kept.
    const auto along = [&curve, english](int index) {
        return english ? curve.pointOf(index).x() - curve.pointOf(0).x()
                       : curve.pointOf(0).x() - curve.pointOf(index).x();
    };
    const qreal hourWidth = along(1);
    QVERIFY(hourWidth > 0);
    QCOMPARE(along(curve.highlighted()), placed * hourWidth);
}

QTEST_MAIN(TestParts)
#include "tst_parts.moc"
