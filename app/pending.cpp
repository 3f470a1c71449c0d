// Handlers that the next steps of the board fill in.
#include "app/frmWeatherMain.h"

void frmWeatherMain::PictureShowDetail_Click() {}
void frmWeatherMain::PictureHideDetail_Click() {}
void frmWeatherMain::ComboSort_Click() {}
void frmWeatherMain::lblCity_Click(int) {}
void frmWeatherMain::TimerWind_Timer() {}
void frmWeatherMain::lblGoogle_Click() {}
void frmWeatherMain::lblQIVurl_Click() {}
void frmWeatherMain::FillCityGrid() {}
void frmWeatherMain::ShowCityDetail() {}
void frmWeatherMain::PointWindArrow() {}
