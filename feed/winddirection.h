#pragma once

#include <QString>

// A wind direction as the board names it: one of sixteen Arabic compass
// names and its sector, 1 (north) to 16 (north-north-west) clockwise in
// steps of 22.5 degrees. Sector 0 means the direction had no name (it was
// negative): the caller keeps the sector it already holds, and the name is
// a single blank.
struct WindDirection
{
    QString name;
    int sector = 0;
};

// Names a direction in degrees. The sectors are centred on the compass
// points; north is split across 0. The degrees are not reduced modulo 360:
// everything above 348.75, 360 and 720 included, is north.
WindDirection windDirectionName(float degrees);
