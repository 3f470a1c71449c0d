#pragma once

#include "capreader.h"

#include <QString>
#include <QStringList>

struct Location;

// Which cities an alert's area covers. An area with a polygon or a circle
// covers the cities inside it (great-circle distance for a circle); one
// with neither covers the cities whose region, or the city itself, its
// description names, in Arabic or English. The words for "region" are
// passed over ("منطقة الرياض" names Riyadh, as "Riyadh Region" does), and
// the names are compared as whole words, letter forms folded: hamza on
// alef, taa marbuta and alef maqsura, diacritics and tatweel, case.
bool areaCovers(const CapArea &area, const Location &location);

// The words of a name or a description as they are compared.
QStringList placeWords(const QString &text);

// Great-circle distance in km on a sphere of the Earth's mean radius.
double greatCircleKm(double latitude1, double longitude1, double latitude2, double longitude2);
