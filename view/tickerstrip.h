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

    // The weather text the refresh composed, and where the ticker stands in
    // what it scrolls.
    QString tickerText() const { return m_text; }
    void setTickerText(const QString &text);
    void appendTickerText(const QString &text);
    // A word on the data's age ("آخر تحديث قبل 3 ساعات"), scrolled ahead of
    // the weather text while there is one; empty: none. A new word goes on
    // from where the ticker stands.
    QString ageNote() const { return m_ageNote; }
    void setAgeNote(const QString &note);
    // What the ticker scrolls: the age note, then the weather text.
    QString scrolledText() const { return m_scrolled; }
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
    void composeScrolled();
    int shownLeft(int left) const;

    QString m_text;
    QString m_ageNote;
    QString m_scrolled;
    TickerState m_state;
    bool m_told = false; // the current ticker text was told to screen readers
};
