#pragma once

#include "platform/formcontrols.h"
#include "view/tickerstep.h"

#include <QFrame>

// The strip along the top of the board, FrameWeather: the one-line label
// lblWeather that shows the refresh's progress and, in between refreshes,
// scrolls the ticker text; the ticker's state and its 110 ms timer
// TimerW_lbl. The strip stays in view when the window is collapsed.
class TickerStrip : public QFrame
{
    Q_OBJECT
public:
    static constexpr int WidthTwips = 7100; // the ticker's right bound
    static constexpr int HeightTwips = 390;

    explicit TickerStrip(QWidget *parent = nullptr);

    FormLabel *lblWeather() const { return m_lblWeather; }
    FormTimer *TimerW_lbl() const { return m_timer; }

    // What the ticker scrolls, and where it stands in it.
    QString tickerText() const { return m_text; }
    void setTickerText(const QString &text) { m_text = text; }
    void appendTickerText(const QString &text) { m_text += text; }
    qint32 tickerLength() const { return m_state.length; }
    float tickerStart() const { return m_state.start; }
    // The reveal starts again from the first character, the label at the left.
    void resetTicker();

    // One tick of TimerW_lbl.
    void TimerW_lbl_Timer();

    // While the board cannot be seen no tick wakes it; the ticker goes on
    // from where it stood.
    void setPaused(bool paused) { m_timer->setSuspended(paused); }

    // What a screen reader is told the strip says: the whole text that the
    // ticker scrolls once it scrolls, not the window of it in view; before,
    // what the label shows (the refresh's progress, the offline notice). A
    // new ticker text is told once, at the first tick after a refresh has
    // reset the ticker; the ticks themselves tell nothing.
    QString spokenText() const;

Q_SIGNALS:
    // The strip told screen readers its new text.
    void spokenTextChanged();

private:
    FormLabel *m_lblWeather;
    FormTimer *m_timer;
    QString m_text;
    TickerState m_state;
    bool m_told = false; // the current ticker text was told to screen readers
};
