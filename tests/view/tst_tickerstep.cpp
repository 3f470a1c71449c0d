#include "view/tickerstep.h"

#include <QtTest>

namespace {

// A text of distinct characters (Arabic block and beyond), so that every
// window of it is recognisable.
QString distinctText(int length)
{
    QString text;
    for (int i = 0; i < length; ++i)
        text.append(QChar(0x0621 + i));
    return text;
}

bool isFresh(const TickerState &state)
{
    const TickerState fresh;
    return state.length == fresh.length && state.start == fresh.start && state.left == fresh.left;
}

} // namespace

class TestTickerStep : public QObject
{
    Q_OBJECT

private slots:
    void fullCycle_data();
    void fullCycle();
    void startIsRoundedHalfToEven_data();
    void startIsRoundedHalfToEven();
    void emptyTextKeepsTheTickerReset_data();
    void emptyTextKeepsTheTickerReset();
    void startBeyondTheTextMovesAnEmptyLabel();
    void freshStateInTheMiddleOfTheMoveRevealsTheNewText();
};

// One whole cycle, tick by tick: reveal, slide, move, and the reset on the
// move's last tick, followed by the first tick of the next reveal.
void TestTickerStep::fullCycle_data()
{
    QTest::addColumn<int>("textLength");
    QTest::addColumn<int>("frameWidth");
    QTest::addColumn<int>("slideTicks");
    QTest::addColumn<int>("moveStart"); // 1-based start of the window the move shows
    QTest::addColumn<int>("moveTicks");

    QTest::newRow("10 characters: no slide, the whole text moves") << 10 << 7100 << 0 << 1 << 70;
    QTest::newRow("82 characters: the move starts at once") << 82 << 7100 << 0 << 1 << 70;
    QTest::newRow("83 characters: one slide tick") << 83 << 7100 << 1 << 2 << 70;
    QTest::newRow("200 characters: windows 1..118, then 119..199 moves") << 200 << 7100 << 118 << 119 << 70;
    // left + 155 > 1000 first holds at left 900.
    QTest::newRow("narrow frame ends the move early") << 200 << 1000 << 118 << 119 << 9;
    // Reaching the margin exactly does not reset: 7000 + 155 = 7155 is not beyond 7155.
    QTest::newRow("frame width 7155 needs one more step") << 200 << 7155 << 118 << 119 << 71;
}

void TestTickerStep::fullCycle()
{
    QFETCH(int, textLength);
    QFETCH(int, frameWidth);
    QFETCH(int, slideTicks);
    QFETCH(int, moveStart);
    QFETCH(int, moveTicks);

    const QString text = distinctText(textLength);
    TickerState state;

    // Reveal: 76 ticks with lengths 5 to 80, the label at the frame's left edge.
    for (int tick = 0; tick < 76; ++tick) {
        const int shown = qMin(5 + tick, textLength);
        QCOMPARE(tickerStep(text, state, frameWidth), text.left(shown));
        QCOMPARE(state.length, 6 + tick);
        QCOMPARE(state.start, 1.0f);
        QCOMPARE(state.left, 0);
    }
    QCOMPARE(state.length, 81);

    // Slide: an 81-character window one character further each tick.
    for (int tick = 0; tick < slideTicks; ++tick) {
        QCOMPARE(tickerStep(text, state, frameWidth), text.mid(tick, 81));
        QCOMPARE(state.start, float(tick + 2));
        QCOMPARE(state.left, 0);
    }

    // Move: the last window, the label 100 twips further right each tick.
    const QString lastWindow = text.mid(moveStart - 1, 81);
    if (textLength > 82)
        QCOMPARE(lastWindow.size(), 81); // one short of the end: the last character is not shown
    for (int tick = 1; tick < moveTicks; ++tick) {
        QCOMPARE(tickerStep(text, state, frameWidth), lastWindow);
        QCOMPARE(state.start, float(moveStart));
        QCOMPARE(state.length, 81);
        QCOMPARE(state.left, 100 * tick);
    }

    // The step that crosses the right margin resets in the same tick.
    QCOMPARE(tickerStep(text, state, frameWidth), QString());
    QVERIFY(isFresh(state));

    // And the next tick begins the reveal again.
    QCOMPARE(tickerStep(text, state, frameWidth), text.left(5));
    QCOMPARE(state.length, 6);
}

void TestTickerStep::startIsRoundedHalfToEven_data()
{
    QTest::addColumn<float>("start");
    QTest::addColumn<int>("position");

    QTest::newRow("whole") << 3.0f << 3;
    QTest::newRow("below half") << 3.4f << 3;
    QTest::newRow("above half") << 3.6f << 4;
    QTest::newRow("half to even, down") << 2.5f << 2;
    QTest::newRow("half to even, up") << 3.5f << 4;
    QTest::newRow("rounds up to the first position") << 0.6f << 1;
}

void TestTickerStep::startIsRoundedHalfToEven()
{
    QFETCH(float, start);
    QFETCH(int, position);

    const QString text = distinctText(30);
    TickerState state;
    state.start = start;
    QCOMPARE(tickerStep(text, state), text.mid(position - 1, 5));
}

void TestTickerStep::emptyTextKeepsTheTickerReset_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<float>("start");
    QTest::addColumn<int>("left");

    QTest::newRow("fresh") << 5 << 1.0f << 0;
    QTest::newRow("revealing") << 40 << 1.0f << 0;
    QTest::newRow("sliding") << 81 << 50.0f << 0;
    QTest::newRow("moving") << 81 << 119.0f << 3000;
}

void TestTickerStep::emptyTextKeepsTheTickerReset()
{
    QFETCH(int, length);
    QFETCH(float, start);
    QFETCH(int, left);

    TickerState state{length, start, left};
    for (int tick = 0; tick < 3; ++tick) {
        QCOMPARE(tickerStep(QString(), state), QString());
        QVERIFY(isFresh(state));
    }
}

void TestTickerStep::startBeyondTheTextMovesAnEmptyLabel()
{
    const QString text = distinctText(50);
    TickerState state{81, 60.0f, 0};
    for (int tick = 1; tick < 70; ++tick) {
        QCOMPARE(tickerStep(text, state), QString());
        QCOMPARE(state.left, 100 * tick);
        QCOMPARE(state.start, 60.0f);
    }
    tickerStep(text, state);
    QVERIFY(isFresh(state));
}

void TestTickerStep::freshStateInTheMiddleOfTheMoveRevealsTheNewText()
{
    const QString oldText = distinctText(90);
    TickerState state;
    for (int tick = 0; tick < 76 + 8 + 30; ++tick)
        tickerStep(oldText, state);
    QVERIFY(state.left > 0); // well into the move

    // A refresh puts the reset values in place and composes a new text.
    state = TickerState();
    const QString newText = distinctText(120).mid(7);
    QCOMPARE(tickerStep(newText, state), newText.left(5));
    QCOMPARE(state.left, 0);
    QCOMPARE(state.length, 6);
}

QTEST_APPLESS_MAIN(TestTickerStep)
#include "tst_tickerstep.moc"
