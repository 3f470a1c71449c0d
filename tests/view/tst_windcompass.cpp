#include "view/windcompass.h"

#include <QtTest>
#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(ArrowSegment)

namespace {

// The map picture as the window lays it out: right edge 6420, bottom 10440.
const QRectF kMap(315, 3690, 6105, 6750);

bool sameSegment(const ArrowSegment &a, const ArrowSegment &b)
{
    return a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2;
}

QByteArray describe(const ArrowSegment &s)
{
    return QByteArray("(") + QByteArray::number(s.x1) + ", " + QByteArray::number(s.y1) + ") - ("
        + QByteArray::number(s.x2) + ", " + QByteArray::number(s.y2) + ")";
}

} // namespace

class TestWindCompass : public QObject
{
    Q_OBJECT

private slots:
    void sweepRestartsAfterLeavingTheMap_data();
    void sweepRestartsAfterLeavingTheMap();
    void marginIsOneSided_data();
    void marginIsOneSided();
    void indexWithoutSectorLeavesTheArrowStill_data();
    void indexWithoutSectorLeavesTheArrowStill();
};

// For every sector: where the arrow starts, on which tick it first leaves the
// map and where it stands then. The tick counts follow from the start
// segments and steps, so any changed value in the sector table shows here.
void TestWindCompass::sweepRestartsAfterLeavingTheMap_data()
{
    QTest::addColumn<float>("index");
    QTest::addColumn<QString>("code");
    QTest::addColumn<ArrowSegment>("start");
    QTest::addColumn<int>("restartTick");
    QTest::addColumn<ArrowSegment>("outside");

    // clang-format off
    QTest::newRow("1 N: Y reaches 10444") << 1.0f << "N" << ArrowSegment{2655, 3820, 4095, 3820} << 828 << ArrowSegment{2655, 10444, 4095, 10444};
    QTest::newRow("2 NNE") << 2.0f << "NNE" << ArrowSegment{3915, 3810, 5445, 4590} << 1463 << ArrowSegment{989, 9662, 2519, 10442};
    QTest::newRow("3 NE") << 3.0f << "NE" << ArrowSegment{5460, 4035, 6360, 5010} << 1262 << ArrowSegment{412, 9083, 1312, 10058};
    QTest::newRow("4 ENE") << 4.0f << "ENE" << ArrowSegment{5715, 5220, 6240, 6570} << 1326 << ArrowSegment{411, 7872, 936, 9222};
    QTest::newRow("5 E: X 414 within 100 of the left edge") << 5.0f << "E" << ArrowSegment{6330, 6330, 6330, 7665} << 1479 << ArrowSegment{414, 6330, 414, 7665};
    QTest::newRow("6 ESE") << 6.0f << "ESE" << ArrowSegment{6360, 7500, 5850, 8790} << 1088 << ArrowSegment{920, 5324, 410, 6614};
    QTest::newRow("7 SE") << 7.0f << "SE" << ArrowSegment{6360, 9045, 5415, 10155} << 1251 << ArrowSegment{1356, 4041, 411, 5151};
    QTest::newRow("8 SSE") << 8.0f << "SSE" << ArrowSegment{5295, 9570, 3840, 10320} << 1157 << ArrowSegment{2981, 3785, 1526, 4535};
    QTest::newRow("9 S") << 9.0f << "S" << ArrowSegment{4245, 10305, 2535, 10320} << 1629 << ArrowSegment{4245, 3789, 2535, 3804};
    QTest::newRow("10 SSW") << 10.0f << "SSW" << ArrowSegment{2910, 10320, 1380, 9630} << 1461 << ArrowSegment{5832, 4476, 4302, 3786};
    QTest::newRow("11 SW") << 11.0f << "SW" << ArrowSegment{1800, 9870, 630, 8625} << 2311 << ArrowSegment{6422, 5248, 5252, 4003};
    QTest::newRow("12 WSW") << 12.0f << "WSW" << ArrowSegment{1155, 8880, 600, 7365} << 1317 << ArrowSegment{6423, 6246, 5868, 4731};
    QTest::newRow("13 W") << 13.0f << "W" << ArrowSegment{615, 7935, 615, 6285} << 1452 << ArrowSegment{6423, 7935, 6423, 6285};
    QTest::newRow("14 WNW") << 14.0f << "WNW" << ArrowSegment{690, 6870, 1395, 5325} << 1257 << ArrowSegment{5718, 9384, 6423, 7839};
    QTest::newRow("15 NW") << 15.0f << "NW" << ArrowSegment{600, 5385, 1830, 4155} << 1148 << ArrowSegment{5192, 9977, 6422, 8747};
    QTest::newRow("16 NNW: starts 105 below the top edge") << 16.0f << "NNW" << ArrowSegment{1500, 4455, 3120, 3795} << 1198 << ArrowSegment{3896, 10445, 5516, 9785};
    // clang-format on
}

void TestWindCompass::sweepRestartsAfterLeavingTheMap()
{
    QFETCH(float, index);
    QFETCH(QString, code);
    QFETCH(ArrowSegment, start);
    QFETCH(int, restartTick);
    QFETCH(ArrowSegment, outside);

    const CompassSector *sector = compassSector(index);
    QVERIFY(sector);
    QCOMPARE(sector->index, int(index));

    ArrowSegment arrow{0, 0, 0, 0};
    QString shownCode = QStringLiteral("old");
    QVERIFY(pointWindArrow(index, arrow, shownCode));
    QVERIFY2(sameSegment(arrow, start), describe(arrow));
    QCOMPARE(shownCode, code);
    QVERIFY2(!arrowOutsideMap(arrow, kMap), describe(arrow));

    for (int tick = 1; tick < restartTick; ++tick) {
        if (stepWindArrow(index, arrow, kMap))
            QFAIL(qPrintable(QStringLiteral("left the map early on tick %1 at ").arg(tick) + describe(arrow)));
    }
    QVERIFY(stepWindArrow(index, arrow, kMap));
    QVERIFY2(sameSegment(arrow, outside), describe(arrow));

    // The caller points it again in the same tick: back to the start.
    QVERIFY(pointWindArrow(index, arrow, shownCode));
    QVERIFY2(sameSegment(arrow, start), describe(arrow));
}

void TestWindCompass::marginIsOneSided_data()
{
    QTest::addColumn<ArrowSegment>("arrow");
    QTest::addColumn<bool>("outside");

    // Inside: left/top margins at 415 and 3790, right/bottom edges at 6420 and 10440.
    QTest::newRow("both ends on the inner limits") << ArrowSegment{415, 3790, 6420, 10440} << false;
    QTest::newRow("ends swapped") << ArrowSegment{6420, 10440, 415, 3790} << false;
    QTest::newRow("x1 within the left margin") << ArrowSegment{414, 5000, 3000, 5000} << true;
    QTest::newRow("x2 within the left margin") << ArrowSegment{3000, 5000, 414, 5000} << true;
    QTest::newRow("x1 beyond the right edge") << ArrowSegment{6421, 5000, 3000, 5000} << true;
    QTest::newRow("x2 beyond the right edge") << ArrowSegment{3000, 5000, 6421, 5000} << true;
    QTest::newRow("y1 within the top margin") << ArrowSegment{3000, 3789, 3000, 5000} << true;
    QTest::newRow("y2 within the top margin") << ArrowSegment{3000, 5000, 3000, 3789} << true;
    QTest::newRow("y1 beyond the bottom edge") << ArrowSegment{3000, 10441, 3000, 5000} << true;
    QTest::newRow("y2 beyond the bottom edge") << ArrowSegment{3000, 5000, 3000, 10441} << true;
    QTest::newRow("fraction into the margin") << ArrowSegment{414.5f, 5000, 3000, 5000} << true;
}

void TestWindCompass::marginIsOneSided()
{
    QFETCH(ArrowSegment, arrow);
    QFETCH(bool, outside);
    QCOMPARE(arrowOutsideMap(arrow, kMap), outside);
}

// 0 means no wind direction; other values cannot come from the direction
// table but must not move or re-point the arrow either.
void TestWindCompass::indexWithoutSectorLeavesTheArrowStill_data()
{
    QTest::addColumn<float>("index");
    QTest::addColumn<ArrowSegment>("arrow");
    QTest::addColumn<bool>("outside");

    const ArrowSegment inside{1000, 5000, 2000, 6000};
    const ArrowSegment beyond{7000, 5000, 8000, 6000};
    QTest::newRow("0") << 0.0f << inside << false;
    QTest::newRow("-1") << -1.0f << inside << false;
    QTest::newRow("17") << 17.0f << inside << false;
    QTest::newRow("0.5") << 0.5f << inside << false;
    QTest::newRow("1.5") << 1.5f << inside << false;
    QTest::newRow("16.000002") << std::nextafter(16.0f, 17.0f) << inside << false;
    QTest::newRow("NaN") << std::numeric_limits<float>::quiet_NaN() << inside << false;
    QTest::newRow("infinity") << std::numeric_limits<float>::infinity() << inside << false;
    QTest::newRow("outside the map, stays outside") << 20.0f << beyond << true;
}

void TestWindCompass::indexWithoutSectorLeavesTheArrowStill()
{
    QFETCH(float, index);
    QFETCH(ArrowSegment, arrow);
    QFETCH(bool, outside);

    QVERIFY(!compassSector(index));

    const ArrowSegment before = arrow;
    QString code = QStringLiteral("WSW");
    QVERIFY(!pointWindArrow(index, arrow, code));
    QVERIFY(sameSegment(arrow, before));
    QCOMPARE(code, QStringLiteral("WSW"));

    for (int tick = 0; tick < 3; ++tick) {
        QCOMPARE(stepWindArrow(index, arrow, kMap), outside);
        QVERIFY2(sameSegment(arrow, before), describe(arrow));
    }
}

QTEST_APPLESS_MAIN(TestWindCompass)
#include "tst_windcompass.moc"
