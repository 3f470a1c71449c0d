#include "app/frmWeatherMain.h"

#include "app/tickerstep.h"

void frmWeatherMain::TimerW_lbl_Timer()
{
    TickerState state{TickerLength, TickerStart, lblWeather->leftTwips()};
    const QString caption = tickerStep(TickerText, state, FrameWeatherWidth);
    lblWeather->setText(caption);
    lblWeather->setLeftTwips(state.left);
    TickerLength = state.length;
    TickerStart = state.start;
}
