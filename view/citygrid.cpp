// The city grid: 24 rows of labels filled from the sorted view Datawt2.
#include "app/frmWeatherMain.h"

#include "view/celltext.h"

void frmWeatherMain::FillCityGrid()
{
    for (int i = 0; i < GridRows; ++i) {
        for (auto *column : {&lblCity, &lblCondition, &lblTemp, &lblVisibility, &lblWind_Dirct, &lblWind_Speed})
            (*column)[i]->clear();
    }

    Datawt2.refresh();
    Recordset &rows = Datawt2.recordset();
    for (qint16 i = 0; !rows.isEof();) {
        lblCity[i]->setText(rows.value(QStringLiteral("city_a")).toText());
        lblCondition[i]->setText(rows.value(QStringLiteral("Condition")).toText());
        lblTemp[i]->setText(rows.value(QStringLiteral("temp")).toText());
        lblVisibility[i]->setText(visibilityText(rows.value(QStringLiteral("Visibility"))));
        lblWind_Dirct[i]->setText(rows.value(QStringLiteral("wind_dirctn")).toText());
        lblWind_Speed[i]->setText(windSpeedText(rows.value(QStringLiteral("wind_speed"))));
        ++i;
        // The 24th row stays current: with nothing picked, the panel shows
        // the last city of the grid.
        if (i > GridRows - 1)
            break;
        rows.moveNext();
    }

    // Back to the city the user picked, wherever the order put it.
    if (!SelectedCityCode.isEmpty()) {
        rows.findFirst(QStringLiteral("city_code"), SelectedCityCode);
        if (rows.noMatch())
            Datawt2.refresh();
    }
}
