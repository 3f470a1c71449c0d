#pragma once

#include <QObject>

class CityDetail;
class ComingDays;
class FormLabel;
class HoursCurve;

// What the detail panel shows in its map's place: the city's map, its coming
// days or its coming hours. Two links under the map, beside the map link,
// switch: "الأيام القادمة" and "الساعات القادمة" show the days or the hours,
// and the link of what shows says "الخريطة" and brings the map back. The
// choice holds from one city to the next.
class MapPlace : public QObject
{
    Q_OBJECT
public:
    enum class Shown { Map, Days, Hours };

    MapPlace(CityDetail *panel, ComingDays *days, HoursCurve *hours);

    FormLabel *daysLink() const { return m_daysLink; }
    FormLabel *hoursLink() const { return m_hoursLink; }
    Shown shown() const { return m_shown; }
    void show(Shown what);

Q_SIGNALS:
    // The map was covered by the days or the hours, or shows again.
    void mapCoveredChanged(bool covered);

private:
    void applyLinks();

    FormLabel *m_map;
    ComingDays *m_days;
    HoursCurve *m_hours;
    FormLabel *m_daysLink;
    FormLabel *m_hoursLink;
    Shown m_shown = Shown::Map;
};
