#pragma once

#include <QRectF>
#include <QString>

// The wind arrow that sweeps over a city's map picture. Each of the 16
// compass sectors has a fixed start segment near the edge the wind blows
// from and a fixed step per tick in the direction it blows; no trigonometry.
// All coordinates are window twips, positive Y downwards.

struct ArrowSegment
{
    float x1, y1, x2, y2;
};

struct CompassSector
{
    int index; // 1 (wind from the north) to 16, clockwise by 22.5 degrees
    const char *code; // 16-point abbreviation, "N" to "NNW"
    ArrowSegment start;
    float dx, dy; // added to both ends on every tick
    const char *words; // the direction in Arabic, "شمالية شرقية", in the catalogue's context "WindWords"
};

// The sector of a wind direction index, or nullptr unless the index is one
// of the whole numbers 1 to 16 (0 stands for no wind direction).
const CompassSector *compassSector(float windDirIndex);

// Whether an end of the arrow has left the map picture. An end counts as
// outside when it comes closer than 100 twips to the left or top edge, but
// only once it passes the right or bottom edge itself. The map rectangle's
// right and bottom are left + width and top + height.
bool arrowOutsideMap(const ArrowSegment &arrow, const QRectF &map);

// Puts the arrow at its sector's start segment and sets code to the sector's
// abbreviation. For an index that names no sector both are left as they
// are. Returns whether the index named a sector.
bool pointWindArrow(float windDirIndex, ArrowSegment &arrow, QString &code);

// One tick of the sweep: moves both ends by the sector's step ((0, 0) for an
// index that names no sector) and returns true when the arrow has left the
// map, so that the caller points it again (in the same tick).
bool stepWindArrow(float windDirIndex, ArrowSegment &arrow, const QRectF &map);

// The wind in words, the one wording of it the board has: its direction
// ("رياح شمالية شرقية", "رياح بلا اتجاه" without one) and its speed, given
// as its figure's text ("20"; empty when not known), or "سكون" alone for a
// calm. Spoken, for a screen reader: "رياح شمالية، 20 كيلومتر في الساعة";
// written, as the panel shows it: "رياح شمالية 20 كم/س".
enum class WindWording { Spoken, Written };
QString windWords(float windDirIndex, const QString &speed, WindWording how);
