#include "feed/winddirection.h"

#include <limits>

namespace {

struct Interval
{
    float from;
    bool fromIncluded;
    float to;
    bool toIncluded;
    const char *name;
    int sector;

    bool contains(float degrees) const
    {
        return (fromIncluded ? degrees >= from : degrees > from) && (toIncluded ? degrees <= to : degrees < to);
    }
};

} // namespace

WindDirection windDirectionName(float degrees)
{
    constexpr float infinity = std::numeric_limits<float>::infinity();
    // Tested in this order, first match wins. The bounds are not uniform on
    // purpose: north starts at 0 inclusive, and 303.75 itself is north-west
    // (15), because west-north-west (14) stops short of it while north-west
    // includes it. Everything above 348.75 is north again; directions are
    // never reduced modulo 360.
    static const Interval intervals[] = {
        {0.0f, true, 11.25f, true, QT_TRANSLATE_NOOP("WindWords", "شمالية"), 1}, // north
        {11.25f, false, 33.75f, true, QT_TRANSLATE_NOOP("WindWords", "شمالية شمالية شرقية"), 2}, // north-north-east
        {33.75f, false, 56.25f, true, QT_TRANSLATE_NOOP("WindWords", "شمالية شرقية"), 3}, // north-east
        {56.25f, false, 78.75f, true, QT_TRANSLATE_NOOP("WindWords", "شرقية شمالية شرقية"), 4}, // east-north-east
        {78.75f, false, 101.25f, true, QT_TRANSLATE_NOOP("WindWords", "شرقية"), 5}, // east
        {101.25f, false, 123.75f, true, QT_TRANSLATE_NOOP("WindWords", "شرقية جنوبية شرقية"), 6}, // east-south-east
        {123.75f, false, 146.25f, true, QT_TRANSLATE_NOOP("WindWords", "جنوبية شرقية"), 7}, // south-east
        {146.25f, false, 168.75f, true, QT_TRANSLATE_NOOP("WindWords", "جنوبية جنوبية شرقية"), 8}, // south-south-east
        {168.75f, false, 191.25f, true, QT_TRANSLATE_NOOP("WindWords", "جنوبية"), 9}, // south
        {191.25f, false, 213.75f, true, QT_TRANSLATE_NOOP("WindWords", "جنوبية جنوبية غربية"), 10}, // south-south-west
        {213.75f, false, 236.25f, true, QT_TRANSLATE_NOOP("WindWords", "جنوبية غربية"), 11}, // south-west
        {236.25f, false, 258.75f, true, QT_TRANSLATE_NOOP("WindWords", "غربية جنوبية غربية"), 12}, // west-south-west
        {258.75f, false, 281.25f, true, QT_TRANSLATE_NOOP("WindWords", "غربية"), 13}, // west
        {281.25f, false, 303.75f, false, QT_TRANSLATE_NOOP("WindWords", "غربية شمالية غربية"), 14}, // west-north-west
        {303.75f, true, 326.25f, true, QT_TRANSLATE_NOOP("WindWords", "شمالية غربية"), 15}, // north-west
        {326.25f, false, 348.75f, true, QT_TRANSLATE_NOOP("WindWords", "شمالية شمالية غربية"), 16}, // north-north-west
        {348.75f, false, infinity, true, QT_TRANSLATE_NOOP("WindWords", "شمالية"), 1}, // north again, no upper bound
    };

    for (const Interval &interval : intervals) {
        if (interval.contains(degrees))
            return {QString::fromUtf8(interval.name), interval.sector};
    }
    // Negative (or NaN): no name, and the caller's sector stays as it was.
    return {QStringLiteral(" "), 0};
}
