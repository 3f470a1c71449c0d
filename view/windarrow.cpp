// The wind arrow: a segment that sweeps over the map in the wind's direction.
#include "app/frmWeatherMain.h"

#include "view/windcompass.h"

namespace {
QRectF mapRect(const FormLabel *image)
{
    return QRectF(image->leftTwips(), image->topTwips(), image->widthTwips(), image->heightTwips());
}
} // namespace

void frmWeatherMain::PointWindArrow()
{
    LineWind->setVisible(true);
    LineWind->setVisible(false);
    ArrowSegment arrow{LineWind->x1(), LineWind->y1(), LineWind->x2(), LineWind->y2()};
    if (pointWindArrow(WindDirIndex, arrow, WindDirCode))
        LineWind->setPoints(arrow.x1, arrow.y1, arrow.x2, arrow.y2);
    ArrowX1 = LineWind->x1();
    ArrowX2 = LineWind->x2();
    ArrowY1 = LineWind->y1();
    ArrowY2 = LineWind->y2();
    LineWind->setVisible(true);
}

void frmWeatherMain::TimerWind_Timer()
{
    // The panel is hidden, or no sector: the arrow stops where it is.
    if (!PictureShowDetail->isHidden() || WindDirIndex == 0) {
        TimerWind->setEnabled(false);
        return;
    }
    ArrowSegment arrow{ArrowX1, ArrowY1, ArrowX2, ArrowY2};
    const bool leftTheMap = stepWindArrow(WindDirIndex, arrow, mapRect(ImageMAP));
    LineWind->setPoints(arrow.x1, arrow.y1, arrow.x2, arrow.y2);
    ArrowX1 = LineWind->x1();
    ArrowX2 = LineWind->x2();
    ArrowY1 = LineWind->y1();
    ArrowY2 = LineWind->y2();
    if (leftTheMap)
        PointWindArrow();
}
