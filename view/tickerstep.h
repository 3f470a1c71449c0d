#pragma once

#include <QString>
#include <QtGlobal>

// Where the status strip's ticker stands between two ticks. The refresh puts
// a fresh TickerState in place before it restarts the ticker timer, so every
// new text is revealed from its first character.
struct TickerState
{
    qint32 length = 5; // characters shown; grows to 81 while the text is revealed
    float start = 1; // 1-based position of the first character shown; always whole
    int left = 0; // left edge of lblWeather in its frame, twips
};

// One 110 ms tick of the ticker: reveals the text five characters and more at
// a time, then slides an 81-character window along it, then moves the label
// right in 100-twip steps until it passes the frame's right margin, and
// starts over. Returns the caption that lblWeather shows after the tick and
// updates the state, including the label's new left position.
QString tickerStep(const QString &text, TickerState &state, int frameWidth = 7100);
