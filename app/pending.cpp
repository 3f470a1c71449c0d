// Handlers that the next steps of the board fill in.
#include "app/frmWeatherMain.h"

void frmWeatherMain::TimerFirstLoad_Timer()
{
    TimerFirstLoad->setEnabled(false);
    TimerWeather_Timer();
    FirstLoad = false;
}

void frmWeatherMain::TimerWeather_Timer() {}
void frmWeatherMain::TimerW_lbl_Timer() {}
void frmWeatherMain::PictureShowDetail_Click() {}
void frmWeatherMain::PictureHideDetail_Click() {}
void frmWeatherMain::ComboSort_Click() {}
void frmWeatherMain::lblCity_Click(int) {}
void frmWeatherMain::TimerWind_Timer() {}
void frmWeatherMain::lblGoogle_Click() {}
void frmWeatherMain::lblQIVurl_Click() {}
QString frmWeatherMain::Condition_Code(float) const { return QString(); }
QString frmWeatherMain::WindDirectionName(float) { return QString(); }
void frmWeatherMain::UpdateCityFromFeed() {}
void frmWeatherMain::FillCityGrid() {}
void frmWeatherMain::ShowCityDetail() {}
void frmWeatherMain::PointWindArrow() {}
