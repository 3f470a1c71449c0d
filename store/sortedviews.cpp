// The six orders of the grid, chosen in ComboSort.
#include "app/frmWeatherMain.h"

#include <QComboBox>

namespace {
// Only cities whose last refresh found the feed's link are listed.
const char16_t *const sortStatements[6] = {
    u"select * from wt where len(url) > 0 order by city_a",
    u"select * from wt where len(url) > 0 order by Condition",
    u"select * from wt where len(url) > 0 order by temp",
    u"select * from wt where len(url) > 0 order by Visibility",
    u"select * from wt where len(url) > 0 order by wind_dirctn",
    u"select * from wt where len(url) > 0 order by wind_speed",
};
const QColor MarkedHeader(255, 255, 0);
const QColor Header(255, 255, 255);
} // namespace

void frmWeatherMain::ComboSort_Click()
{
    if (m_unloaded)
        return;
    for (int c = 0; c < 6; ++c)
        Label1[c]->setForeColor(Header);
    // With nothing chosen the view keeps the statement it had.
    const int position = ComboSort->currentIndex();
    if (position >= 0 && position < 6) {
        Datawt2.setRecordSource(QString::fromUtf16(sortStatements[position]));
        Label1[position]->setForeColor(MarkedHeader);
    }
    FillCityGrid();
    ShowCityDetail();
}
