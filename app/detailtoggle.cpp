// Expanding the strip to the whole board and collapsing it back.
#include "app/frmWeatherMain.h"

#include <QComboBox>

void frmWeatherMain::PictureShowDetail_Click()
{
    if (m_unloaded)
        return;
    // The first expansion chooses the city-name order, which sorts at once.
    if (ComboSort->currentIndex() == -1)
        ComboSort->setCurrentIndex(0);
    setOuterSizeTwips(ExpandedWidth, ExpandedHeight);
    PictureShowDetail->setVisible(false);
    PictureHideDetail->setVisible(true);
    FillCityGrid();
    ShowCityDetail();
}

void frmWeatherMain::PictureHideDetail_Click()
{
    if (m_unloaded)
        return;
    // Nothing stops: the ticker and the refresh go on behind the strip.
    setOuterSizeTwips(CollapsedWidth, CollapsedHeight);
    PictureShowDetail->setVisible(true);
    PictureHideDetail->setVisible(false);
}
