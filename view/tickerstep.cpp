#include "view/tickerstep.h"

#include "platform/numbertext.h"

namespace {

constexpr qint32 kGrowthLimit = 80; // grows while at most this, so the full window is 81
constexpr int kMoveStep = 100; // twips per tick once the window has reached the end
constexpr int kRightMargin = 155; // twips kept clear at the frame's right edge

// The characters of text from the 1-based position start, at most length of
// them: fewer where the text ends, none when start lies beyond it.
// The start is a single converted to a whole position the way the board's
// string functions always converted a single, to nearest with halves to the
// even neighbour; the ticker only ever holds whole starts, so the rounding
// cannot shift the window in practice. A start below 1 cannot arise (it begins
// at 1 and only grows) and gives an empty window.
QString tickerWindow(const QString &text, float start, qint32 length)
{
    const double position = roundHalfEven(double(start));
    if (!(position >= 1) || position > text.size() || length <= 0)
        return QString();
    return text.mid(int(position) - 1, length);
}

} // namespace

QString tickerStep(const QString &text, TickerState &state, int frameWidth)
{
    QString caption;
    if (state.length <= kGrowthLimit) {
        caption = tickerWindow(text, state.start, state.length);
        state.length += 1;
    } else {
        caption = tickerWindow(text, state.start, state.length);
        // In double precision, as the sum of a single and a long always was.
        // The slide stops one character early: for a text longer than 82
        // characters the last one is never in view while the label moves.
        if (double(state.start) + double(state.length) >= double(text.size()))
            state.left += kMoveStep;
        else
            state.start += 1;
    }

    if (state.left + kRightMargin > frameWidth || text.isEmpty()) {
        state = TickerState();
        caption.clear();
    }
    return caption;
}
