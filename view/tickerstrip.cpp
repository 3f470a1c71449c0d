#include "view/tickerstrip.h"

#include "platform/boardlanguage.h"
#include "view/controlkit.h"

#include <QAccessible>
#include <QCoreApplication>

using namespace ControlKit;

TickerStrip::TickerStrip(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("FrameWeather"));
    makeBlack(this);
    setGeometry(twipsRect(0, 0, WidthTwips, HeightTwips));
    setAutoFillBackground(true);

    m_lblWeather = makeLabel(this, QStringLiteral("lblWeather"), QRect(75, 45, 6900, 285), QString(), Green,
                             sansSerif(9.75));
    // The text starts at the label's left edge, and the last Arabic letters
    // reach a little past their advance: a margin keeps their tails in view.
    m_lblWeather->setContentsMargins(FormLabel::TextGap, 0, 0, 0);
    // Its size never changes: a new text then asks for no new layout. It
    // draws its own black, so a new text does not draw the frame again.
    m_lblWeather->setFixedSize(m_lblWeather->size());
    m_lblWeather->setAutoFillBackground(true);
    // The strip speaks for it (spokenText()): a label without a name of its
    // own would tell screen readers of every caption, ten a second.
    m_lblWeather->setAccessibleName(QCoreApplication::translate("TickerStrip", "نشرة الطقس"));
    setAccessibleDescription(QCoreApplication::translate("TickerStrip", "نشرة الطقس"));
    // Every caption comes back each cycle of the ticker.
    m_lblWeather->setKeepsShapedTexts(true);

    mirrorControls(this, WidthTwips);

    m_timer = new FormTimer(110, this);
    m_timer->setObjectName(QStringLiteral("TimerW_lbl"));
    connect(m_timer, &FormTimer::timeout, this, &TickerStrip::TimerW_lbl_Timer);
}

// The ticker's steps are reckoned as in Arabic, where the label moves right
// from the strip's left end; in English it moves left from the right end.
int TickerStrip::shownLeft(int left) const
{
    return boardReadsLeftToRight() ? WidthTwips - left - m_lblWeather->widthTwips() : left;
}

void TickerStrip::resetTicker()
{
    m_lblWeather->setLeftTwips(shownLeft(0));
    m_state = TickerState();
    m_told = false;
}

void TickerStrip::setTickerText(const QString &text)
{
    m_text = text;
    composeScrolled();
}

void TickerStrip::appendTickerText(const QString &text)
{
    m_text += text;
    composeScrolled();
}

void TickerStrip::setAgeNote(const QString &note)
{
    if (note == m_ageNote)
        return;
    m_ageNote = note;
    composeScrolled();
    m_told = false; // screen readers hear the new word at the next tick
}

void TickerStrip::composeScrolled()
{
    m_scrolled = m_ageNote.isEmpty() || m_text.isEmpty() ? m_text : m_ageNote + QStringLiteral("   ....  ") + m_text;
}

QString TickerStrip::spokenText() const
{
    return m_timer->isEnabled() && !m_scrolled.isEmpty() ? m_scrolled : m_lblWeather->text();
}

void TickerStrip::TimerW_lbl_Timer()
{
    m_state.left = shownLeft(m_lblWeather->leftTwips());
    const QString caption = tickerStep(m_scrolled, m_state, WidthTwips);
    m_lblWeather->setText(caption);
    m_lblWeather->setLeftTwips(shownLeft(m_state.left));
    if (!m_told) {
        m_told = true;
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
        Q_EMIT spokenTextChanged();
    }
}
