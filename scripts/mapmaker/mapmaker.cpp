// Writes the place names onto one map picture of the board, in Arabic: the
// city of the picture (marked), the other cities in view, the seas and the
// neighbouring countries. GMT draws the map itself but cannot join Arabic
// letters or order them right to left, so the names are drawn here with Qt's
// text engine. scripts/make-maps builds and runs this program.
//
//   mapmaker <base.png> <areas.png> <places.txt> <out.png> [<preview.png>]
//            [--double <base@2x.png> <out@2x.png>]
//   mapmaker --centre
//
// base.png    the map as GMT drew it, 407x450, with no names on it
// areas.png   the same view in flat colours without anti-aliasing: water pure
//             blue (#0000ff), each country in a colour of its own
// places.txt  one place a line, the fields separated by '|', positions in
//             pixels from the top left corner of the picture:
//               city|<name>|<x>|<y>             the city of the picture
//               town|<name>|<x>|<y>             another city, shown small
//               sea|<name>|<x> <y>|<x> <y>...   a sea and points that lie in it
//               country|<name>|#rrggbb          a country, its colour in areas.png
// out.png     the finished picture
// preview.png the finished picture with the wind compass drawn over it as the
//             detail panel shows it, for a look
// --double    the same map drawn at twice the size (814x900) gets the same
//             names in the same places, drawn at twice the size, for screens
//             of two device pixels to the pixel
// --centre    prints where the centre of the wind compass lies on the picture,
//             "<x> <y>" in pixels: the maps put their city there
//
// The detail panel draws the letters N, E, S and W of its wind compass and
// the compass's centre over the picture; no name may sit under them. Names
// also stay clear of each other, of the city dots and inside the picture. A
// name that finds no such place is left out, except the marked city's, whose
// absence is an error. Before writing, every name is checked against these
// rules once more, and a breach is an error too.

#include <QColor>
#include <QFile>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <QVector>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>

namespace {

constexpr int PictureWidth = 407;
constexpr int PictureHeight = 450;

// --- What the detail panel draws over the picture ----------------------------
// In window twips, 15 a pixel, each value rounded to whole pixels as the board
// rounds it; the same numbers as the board's layout in view/citydetail.cpp
// (ImageMAP) and view/windcompasswidget.cpp (the compass lines Line0_270...
// and the letters Label2 to Label5).
// When that layout moves the compass, change them here and remake the maps.
constexpr int MapLeft = 315;
constexpr int MapTop = 3690;
constexpr int CompassX = 3360;
constexpr int CompassY = 6960;
constexpr int CompassRadius = 1400;
constexpr int LetterSide = 300;

int pixels(double twips)
{
    return int(twips / 15 + (twips >= 0 ? 0.5 : -0.5));
}

QPointF toPicture(double x, double y)
{
    return QPointF(pixels(x) - pixels(MapLeft), pixels(y) - pixels(MapTop));
}

struct CompassLetter
{
    const char *letter;
    int left, top;
};

constexpr CompassLetter compassLetters[] = {
    {"N", CompassX - LetterSide / 2, CompassY - CompassRadius - 330},
    {"E", CompassX + CompassRadius + 30, CompassY - LetterSide / 2},
    {"S", CompassX - LetterSide / 2, CompassY + CompassRadius + 30},
    {"W", CompassX - CompassRadius - 330, CompassY - LetterSide / 2},
};

QRectF letterBox(const CompassLetter &l)
{
    return QRectF(toPicture(l.left, l.top), QSizeF(pixels(LetterSide), pixels(LetterSide)));
}

QPointF compassCentre()
{
    return toPicture(CompassX, CompassY);
}

constexpr qreal CompassReach = CompassRadius / 15.0 + 4; // the lines' ends, and a little room

// Where names must not go: each letter's whole box (whatever font draws the
// letter, it stays in there) and a square around the centre, where the eight
// lines of the compass crowd together.
QVector<QRectF> keepOutZones()
{
    constexpr qreal letterPad = 2;
    constexpr qreal centreHalf = 12;
    QVector<QRectF> zones;
    for (const CompassLetter &l : compassLetters)
        zones.append(letterBox(l).adjusted(-letterPad, -letterPad, letterPad, letterPad));
    const QPointF centre = compassCentre();
    zones.append(QRectF(centre - QPointF(centreHalf, centreHalf), QSizeF(2 * centreHalf, 2 * centreHalf)));
    return zones;
}

// Where the letter itself is drawn, in the middle of its box: a city dot
// there would be hidden.
QVector<QRectF> letterCores()
{
    constexpr qreal inset = 4;
    QVector<QRectF> cores;
    for (const CompassLetter &l : compassLetters)
        cores.append(letterBox(l).adjusted(inset, inset, -inset, -inset));
    return cores;
}

// Whether the box reaches into the circle of the compass, where its lines
// cross the picture.
bool withinCompass(const QRectF &box)
{
    const QPointF c = compassCentre();
    const qreal dx = std::max({box.left() - c.x(), 0.0, c.x() - box.right()});
    const qreal dy = std::max({box.top() - c.y(), 0.0, c.y() - box.bottom()});
    return dx * dx + dy * dy < CompassReach * CompassReach;
}

void drawCompass(QPainter &painter)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 128, 0), 1, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 8; ++i) {
        const double bearing = qDegreesToRadians(22.5 * i);
        const double dx = CompassRadius * qSin(bearing);
        const double dy = -CompassRadius * qCos(bearing);
        painter.drawLine(toPicture(CompassX + dx, CompassY + dy), toPicture(CompassX - dx, CompassY - dy));
    }
    QFont font(QStringLiteral("Noto Sans"));
    font.setPixelSize(13);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    for (const CompassLetter &l : compassLetters)
        painter.drawText(letterBox(l), Qt::AlignCenter, QLatin1String(l.letter));
    painter.restore();
}

// --- Names --------------------------------------------------------------------

enum class Kind { City, Town, Sea, Country };

struct Place
{
    Kind kind;
    QString name;
    QPointF at; // city, town
    QVector<QPointF> seeds; // sea
    QRgb colour = 0; // country
};

struct Style
{
    const char *family;
    int pixelSize;
    bool bold;
    QColor ink;
    qreal halo; // 0: a white frame instead of a halo
};

Style styleOf(Kind kind)
{
    switch (kind) {
    case Kind::City:
        return {"Noto Sans Arabic", 17, true, Qt::black, 0};
    case Kind::Town:
        return {"Noto Sans Arabic", 13, false, QColor(0x1e, 0x1e, 0x1e), 2};
    case Kind::Sea:
        return {"Noto Naskh Arabic", 15, true, QColor(0xd8, 0xe6, 0xf3), 1.5};
    case Kind::Country:
        return {"Noto Sans Arabic", 13, true, QColor(0x5a, 0x48, 0x2a), 1.5};
    }
    return {"Noto Sans Arabic", 13, false, Qt::black, 2};
}

constexpr qreal FramePadX = 5;
constexpr qreal FramePadY = 3;

struct Label
{
    Kind kind;
    QString name;
    QPainterPath path; // the letters, in picture pixels
    QRectF box; // all it covers: letters and halo or frame
};

QFont fontOf(const Style &style)
{
    QFont font(QString::fromLatin1(style.family));
    font.setPixelSize(style.pixelSize);
    font.setBold(style.bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// The shaped name with its baseline at y 0, and the box it covers there.
Label shape(Kind kind, const QString &name)
{
    const Style style = styleOf(kind);
    Label label{kind, name, QPainterPath(), QRectF()};
    label.path.addText(0, 0, fontOf(style), name);
    const QRectF ink = label.path.boundingRect();
    label.box = style.halo > 0 ? ink.adjusted(-style.halo, -style.halo, style.halo, style.halo)
                               : ink.adjusted(-FramePadX, -FramePadY, FramePadX, FramePadY);
    return label;
}

// Moves the label so that its box has its top left corner at the point.
void moveTo(Label &label, const QPointF &topLeft)
{
    const QPointF by = topLeft - label.box.topLeft();
    label.path.translate(by);
    label.box.translate(by);
}

// --- Room on the picture ---------------------------------------------------------

constexpr qreal EdgeMargin = 3; // from the picture's edge (it has a 1 px border)
constexpr qreal LabelGap = 2; // between two names, or a name and a dot
constexpr qreal CityDotRadius = 8; // what a dot covers, its white ring included
constexpr qreal TownDotRadius = 4;
constexpr qreal DotGap = LabelGap + 0.5; // from a dot's covered square to its name

QRectF around(const QPointF &centre, qreal radius)
{
    return QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
}

class Room
{
public:
    Room()
        : m_keepOut(keepOutZones())
        , m_cores(letterCores())
    {
    }

    bool inside(const QRectF &box) const
    {
        return box.left() >= EdgeMargin && box.top() >= EdgeMargin && box.right() <= PictureWidth - EdgeMargin
            && box.bottom() <= PictureHeight - EdgeMargin;
    }

    bool underCompass(const QRectF &box) const
    {
        return std::any_of(m_keepOut.begin(), m_keepOut.end(), [&](const QRectF &z) { return z.intersects(box); });
    }

    bool underLetter(const QRectF &dot) const
    {
        return std::any_of(m_cores.begin(), m_cores.end(), [&](const QRectF &c) { return c.intersects(dot); });
    }

    bool onTaken(const QRectF &box) const
    {
        const QRectF grown = box.adjusted(-LabelGap, -LabelGap, LabelGap, LabelGap);
        return std::any_of(m_taken.begin(), m_taken.end(), [&](const QRectF &t) { return t.intersects(grown); });
    }

    bool free(const QRectF &box) const { return inside(box) && !underCompass(box) && !onTaken(box); }

    void take(const QRectF &box) { m_taken.append(box); }

private:
    QVector<QRectF> m_keepOut;
    QVector<QRectF> m_cores;
    QVector<QRectF> m_taken;
};

// The top left corner of a box of the given size that takes the given side
// of a dot, d away from the dot's centre across or down; on a diagonal side
// both, so that the box clears the dot's square.
enum class Side { Right, Left, Below, Above, BelowRight, AboveRight, BelowLeft, AboveLeft };

QPointF besideDot(Side side, const QPointF &dot, qreal d, const QSizeF &size)
{
    const qreal w = size.width(), h = size.height();
    const qreal x = dot.x(), y = dot.y();
    switch (side) {
    case Side::Right:
        return {x + d, y - h / 2};
    case Side::Left:
        return {x - d - w, y - h / 2};
    case Side::Below:
        return {x - w / 2, y + d};
    case Side::Above:
        return {x - w / 2, y - d - h};
    case Side::BelowRight:
        return {x + d, y + d};
    case Side::AboveRight:
        return {x + d, y - d - h};
    case Side::BelowLeft:
        return {x - d - w, y + d};
    case Side::AboveLeft:
        return {x - d - w, y - d - h};
    }
    return dot;
}

// A mask of the picture's pixels with a summed-area table, to ask quickly
// whether a rectangle lies wholly within the mask.
class Area
{
public:
    explicit Area(const QVector<bool> &mask)
        : m_sums((PictureWidth + 1) * (PictureHeight + 1), 0)
    {
        double sx = 0, sy = 0;
        for (int y = 0; y < PictureHeight; ++y) {
            int row = 0;
            for (int x = 0; x < PictureWidth; ++x) {
                const bool in = mask[y * PictureWidth + x];
                row += in;
                m_sums[(y + 1) * (PictureWidth + 1) + x + 1] = m_sums[y * (PictureWidth + 1) + x + 1] + row;
                if (in) {
                    sx += x + 0.5;
                    sy += y + 0.5;
                    ++m_count;
                }
            }
        }
        if (m_count)
            m_centroid = QPointF(sx / m_count, sy / m_count);
    }

    int count() const { return m_count; }
    QPointF centroid() const { return m_centroid; }

    // Every pixel that the rectangle touches, widened by the margin, is in the mask.
    bool holds(const QRectF &r, int margin) const
    {
        const int x0 = int(std::floor(r.left())) - margin, y0 = int(std::floor(r.top())) - margin;
        const int x1 = int(std::ceil(r.right())) + margin, y1 = int(std::ceil(r.bottom())) + margin;
        if (x0 < 0 || y0 < 0 || x1 > PictureWidth || y1 > PictureHeight)
            return false;
        const auto at = [&](int x, int y) { return m_sums[y * (PictureWidth + 1) + x]; };
        return at(x1, y1) - at(x0, y1) - at(x1, y0) + at(x0, y0) == (x1 - x0) * (y1 - y0);
    }

private:
    QVector<int> m_sums;
    int m_count = 0;
    QPointF m_centroid;
};

constexpr QRgb Water = 0xff0000ff;
constexpr int AreaMargin = 4; // pixels between a sea or country name and the area's edge
constexpr int LeastArea = 1500; // pixels: a smaller piece of an area gets no name

QVector<bool> waterFrom(const QImage &areas, const QVector<QPointF> &seeds)
{
    QVector<bool> mask(PictureWidth * PictureHeight, false);
    QVector<QPoint> stack;
    for (const QPointF &seed : seeds) {
        const QPoint p(int(std::floor(seed.x())), int(std::floor(seed.y())));
        if (p.x() >= 0 && p.y() >= 0 && p.x() < PictureWidth && p.y() < PictureHeight)
            stack.append(p);
    }
    while (!stack.isEmpty()) {
        const QPoint p = stack.takeLast();
        if (p.x() < 0 || p.y() < 0 || p.x() >= PictureWidth || p.y() >= PictureHeight)
            continue;
        const int i = p.y() * PictureWidth + p.x();
        if (mask[i] || areas.pixel(p) != Water)
            continue;
        mask[i] = true;
        stack.append(
            {QPoint(p.x() + 1, p.y()), QPoint(p.x() - 1, p.y()), QPoint(p.x(), p.y() + 1), QPoint(p.x(), p.y() - 1)});
    }
    return mask;
}

QVector<bool> countryIn(const QImage &areas, QRgb colour)
{
    QVector<bool> mask(PictureWidth * PictureHeight, false);
    for (int y = 0; y < PictureHeight; ++y) {
        for (int x = 0; x < PictureWidth; ++x)
            mask[y * PictureWidth + x] = areas.pixel(x, y) == (colour | 0xff000000);
    }
    return mask;
}

// The free spot for the label nearest the middle of the area, out of the
// compass's circle if the area leaves room there.
bool placeInArea(Label &label, const Area &area, const Room &room)
{
    if (area.count() < LeastArea)
        return false;
    const QSizeF size = label.box.size();
    std::optional<QPointF> best;
    qreal bestDistance = 0;
    for (int y = 0; y + size.height() <= PictureHeight; ++y) {
        for (int x = 0; x + size.width() <= PictureWidth; ++x) {
            const QRectF box(QPointF(x, y), size);
            if (!area.holds(box, AreaMargin) || !room.free(box))
                continue;
            const QPointF d = box.center() - area.centroid();
            const qreal distance = std::hypot(d.x(), d.y()) + (withinCompass(box) ? 2 * CompassReach : 0);
            if (!best || distance < bestDistance) {
                best = box.topLeft();
                bestDistance = distance;
            }
        }
    }
    if (best)
        moveTo(label, *best);
    return bool(best);
}

// The colour that covers most of the rectangle on the picture: the ground a
// name stands on, for its halo, so that grid lines stop short of the letters.
QColor groundUnder(const QImage &picture, const QRectF &box)
{
    QHash<QRgb, int> counts;
    const QRect r = box.toAlignedRect().intersected(picture.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x)
            ++counts[picture.pixel(x, y)];
    }
    QRgb best = qRgb(255, 255, 255);
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            best = it.key();
        }
    }
    return QColor::fromRgb(best);
}

// --- Reading the places ------------------------------------------------------------

std::optional<QVector<Place>> readPlaces(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "mapmaker: cannot read %s\n", qPrintable(path));
        return std::nullopt;
    }
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    QVector<Place> places;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const QStringList f = line.split(QLatin1Char('|'));
        const auto point = [](const QString &text, QPointF &p) {
            const QStringList xy = text.simplified().split(QLatin1Char(' '));
            bool okX = false, okY = false;
            if (xy.size() == 2)
                p = QPointF(xy[0].toDouble(&okX), xy[1].toDouble(&okY));
            return okX && okY;
        };
        Place place{Kind::Town, f.value(1), QPointF(), {}, 0};
        bool ok = f.size() >= 3 && !place.name.isEmpty();
        if (ok && (f[0] == QLatin1String("city") || f[0] == QLatin1String("town")) && f.size() == 4) {
            place.kind = f[0] == QLatin1String("city") ? Kind::City : Kind::Town;
            ok = point(f[2] + QLatin1Char(' ') + f[3], place.at);
        } else if (ok && f[0] == QLatin1String("sea")) {
            place.kind = Kind::Sea;
            for (int i = 2; ok && i < f.size(); ++i) {
                QPointF p;
                ok = point(f[i], p);
                place.seeds.append(p);
            }
        } else if (ok && f[0] == QLatin1String("country") && f.size() == 3 && QColor::isValidColorName(f[2])) {
            place.kind = Kind::Country;
            place.colour = QColor::fromString(f[2]).rgb();
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "mapmaker: %s: cannot read: %s\n", qPrintable(path), qPrintable(line));
            return std::nullopt;
        }
        places.append(place);
    }
    return places;
}

// --- Laying out and drawing ---------------------------------------------------------

struct Dot
{
    QPointF at;
    qreal radius;
    bool marked;
};

struct Layout
{
    QVector<Dot> dots;
    QVector<Label> labels; // in the order they are drawn
};

// Takes the first free spot beside the dot: the sides in the order given,
// each at the least distance first and up to `further` pixels further out.
bool placeBeside(Label &label, const QPointF &dot, qreal radius, std::initializer_list<Side> sides, int further,
                 const Room &room, const std::function<bool(const QRectF &)> &acceptable)
{
    for (Side side : sides) {
        for (int extra = 0; extra <= further; ++extra) {
            const QSizeF size = label.box.size();
            const QRectF box(besideDot(side, dot, radius + DotGap + extra, size), size);
            if (room.free(box) && acceptable(box)) {
                moveTo(label, box.topLeft());
                return true;
            }
        }
    }
    return false;
}

bool lay(const QVector<Place> &places, const QImage &areas, Layout &layout)
{
    Room room;
    const auto city = std::find_if(places.begin(), places.end(), [](const Place &p) { return p.kind == Kind::City; });
    if (city == places.end()) {
        std::fprintf(stderr, "mapmaker: no city to mark\n");
        return false;
    }

    // The other cities in the picture, nearest first.
    QVector<Place> towns;
    for (const Place &p : places) {
        if (p.kind == Kind::Town && QRectF(0, 0, PictureWidth, PictureHeight).contains(p.at))
            towns.append(p);
    }
    const auto distance = [&](const Place &p) {
        const QPointF d = p.at - city->at;
        return d.x() * d.x() + d.y() * d.y();
    };
    std::sort(towns.begin(), towns.end(), [&](const Place &a, const Place &b) { return distance(a) < distance(b); });
    // A city whose dot comes this close to the marked city's dot or name is left out.
    const auto crowds = [](const Place &t, const QRectF &box) {
        return around(t.at, TownDotRadius + 2 * LabelGap).intersects(box);
    };

    // The marked city's name: beside its dot, clear of the compass and, if
    // it can be, of the other cities' dots.
    room.take(around(city->at, CityDotRadius));
    layout.dots.append({city->at, CityDotRadius, true});
    Label cityLabel = shape(Kind::City, city->name);
    const std::initializer_list<Side> citySides = {Side::AboveRight, Side::AboveLeft, Side::BelowRight, Side::BelowLeft,
                                                   Side::Right,      Side::Left,      Side::Above,      Side::Below};
    const auto coversNoTown = [&](const QRectF &box) {
        return std::none_of(towns.begin(), towns.end(), [&](const Place &t) { return crowds(t, box); });
    };
    if (!placeBeside(cityLabel, city->at, CityDotRadius, citySides, 12, room, coversNoTown)
        && !placeBeside(cityLabel, city->at, CityDotRadius, citySides, 12, room, [](const QRectF &) { return true; })) {
        std::fprintf(stderr, "mapmaker: no room for the name of %s\n", qPrintable(city->name));
        return false;
    }
    room.take(cityLabel.box);

    // The other cities' dots, except where one would crowd the marked city,
    // hide under a compass letter or touch the edge.
    QVector<Place> shown;
    for (const Place &t : towns) {
        const QRectF dot = around(t.at, TownDotRadius);
        if (room.inside(dot) && !room.underLetter(dot) && !crowds(t, cityLabel.box)
            && !crowds(t, around(city->at, CityDotRadius))) {
            shown.append(t);
            room.take(dot);
            layout.dots.append({t.at, TownDotRadius, false});
        }
    }

    // Their names beside them, towards the middle of the picture first. A
    // city whose name finds no room loses its dot too.
    QVector<Label> townLabels;
    for (const Place &t : shown) {
        Label label = shape(Kind::Town, t.name);
        const bool eastern = t.at.x() > PictureWidth / 2.0;
        const std::initializer_list<Side> sides = eastern
            ? std::initializer_list<Side>{Side::Left,      Side::Right,     Side::Below,      Side::Above,
                                          Side::BelowLeft, Side::AboveLeft, Side::BelowRight, Side::AboveRight}
            : std::initializer_list<Side>{Side::Right,      Side::Left,       Side::Below,     Side::Above,
                                          Side::BelowRight, Side::AboveRight, Side::BelowLeft, Side::AboveLeft};
        if (placeBeside(label, t.at, TownDotRadius, sides, 4, room, [](const QRectF &) { return true; })) {
            room.take(label.box);
            townLabels.append(label);
        } else {
            layout.dots.removeIf([&](const Dot &d) { return d.at == t.at && !d.marked; });
        }
    }

    // Seas, then the countries around, each in the middle of its visible part.
    for (const Place &p : places) {
        if (p.kind != Kind::Sea && p.kind != Kind::Country)
            continue;
        Label label = shape(p.kind, p.name);
        const Area area(p.kind == Kind::Sea ? waterFrom(areas, p.seeds) : countryIn(areas, p.colour));
        if (placeInArea(label, area, room)) {
            room.take(label.box);
            layout.labels.append(label);
        }
    }
    layout.labels += townLabels;
    layout.labels.append(cityLabel);
    return true;
}

// Every name once more against the rules, independently of how it was placed.
bool verify(const Layout &layout)
{
    const Room room;
    bool ok = true;
    const auto fail = [&](const Label &l, const char *why) {
        std::fprintf(stderr, "mapmaker: the name %s %s\n", qPrintable(l.name), why);
        ok = false;
    };
    for (int i = 0; i < layout.labels.size(); ++i) {
        const Label &l = layout.labels[i];
        if (!l.box.contains(l.path.boundingRect()))
            fail(l, "spills out of its box");
        if (!room.inside(l.box))
            fail(l, "leaves the picture");
        if (room.underCompass(l.box))
            fail(l, "lies under the wind compass");
        for (int j = i + 1; j < layout.labels.size(); ++j) {
            if (l.box.intersects(layout.labels[j].box))
                fail(l, "overlaps another name");
        }
        for (const Dot &d : layout.dots) {
            if (around(d.at, d.radius).intersects(l.box))
                fail(l, "covers a city's dot");
        }
    }
    return ok;
}

// Draws the dots and names on the picture, which is `scale` times the size
// of the layout; a name's halo takes the ground of the layout's own picture.
void draw(QImage &picture, const Layout &layout, const QImage &ground, qreal scale = 1)
{
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    for (const Dot &d : layout.dots) {
        if (d.marked) {
            painter.setPen(QPen(Qt::white, 2));
            painter.setBrush(QColor(0xdd, 0x10, 0x10));
            painter.drawEllipse(d.at, 6.5, 6.5);
        } else {
            painter.setPen(QPen(Qt::white, 1));
            painter.setBrush(QColor(0x55, 0x55, 0x55));
            painter.drawEllipse(d.at, 3.2, 3.2);
        }
    }
    for (const Label &l : layout.labels) {
        const Style style = styleOf(l.kind);
        if (style.halo > 0) {
            const QColor halo = l.kind == Kind::Town ? QColor(Qt::white) : groundUnder(ground, l.box);
            painter.strokePath(l.path, QPen(halo, 2 * style.halo, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        } else {
            painter.setPen(QPen(Qt::black, 1));
            painter.setBrush(Qt::white);
            painter.drawRect(l.box.adjusted(0.5, 0.5, -0.5, -0.5));
        }
        painter.fillPath(l.path, style.ink);
    }
}

bool checkFonts()
{
    for (Kind kind : {Kind::City, Kind::Town, Kind::Sea, Kind::Country}) {
        const Style style = styleOf(kind);
        const QFontInfo info(fontOf(style));
        if (info.family() != QLatin1String(style.family)) {
            std::fprintf(stderr, "mapmaker: the font %s is missing (Debian: fonts-noto-core)\n", style.family);
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // Draws into pictures only; no window, no display needed.
    if (argc == 2 && std::strcmp(argv[1], "--centre") == 0) {
        std::printf("%g %g\n", compassCentre().x(), compassCentre().y());
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments();
    QString doubleBase, doubleOut;
    if (const qsizetype at = args.indexOf(QStringLiteral("--double")); at >= 0 && at + 2 < args.size()) {
        doubleBase = args[at + 1];
        doubleOut = args[at + 2];
        args.remove(at, 3);
    }
    if (args.size() != 5 && args.size() != 6) {
        std::fprintf(stderr,
                     "usage: mapmaker <base.png> <areas.png> <places.txt> <out.png> [<preview.png>]\n"
                     "                [--double <base@2x.png> <out@2x.png>]\n"
                     "       mapmaker --centre\n");
        return 2;
    }
    if (!checkFonts())
        return 1;

    QImage picture(args[1]);
    QImage areas(args[2]);
    if (picture.size() != QSize(PictureWidth, PictureHeight) || areas.isNull()) {
        std::fprintf(stderr, "mapmaker: %s must be a %dx%d picture and %s a picture\n", qPrintable(args[1]),
                     PictureWidth, PictureHeight, qPrintable(args[2]));
        return 1;
    }
    picture = picture.convertToFormat(QImage::Format_RGB32);
    // GMT's cropping may leave the flat picture a pixel larger; it covers the
    // same view, like the base picture before it was brought to size.
    areas = areas.convertToFormat(QImage::Format_RGB32)
                .scaled(PictureWidth, PictureHeight, Qt::IgnoreAspectRatio, Qt::FastTransformation);

    const std::optional<QVector<Place>> places = readPlaces(args[3]);
    if (!places)
        return 1;
    Layout layout;
    if (!lay(*places, areas, layout) || !verify(layout))
        return 1;
    const QImage ground = picture.copy();
    draw(picture, layout, ground);
    if (!picture.save(args[4])) {
        std::fprintf(stderr, "mapmaker: cannot write %s\n", qPrintable(args[4]));
        return 1;
    }
    if (!doubleBase.isEmpty()) {
        QImage sharp(doubleBase);
        if (sharp.size() != QSize(2 * PictureWidth, 2 * PictureHeight)) {
            std::fprintf(stderr, "mapmaker: %s must be a %dx%d picture\n", qPrintable(doubleBase), 2 * PictureWidth,
                         2 * PictureHeight);
            return 1;
        }
        // Qt reads "@2x" in the file's name as two device pixels to the
        // pixel and would scale the drawing once more.
        sharp.setDevicePixelRatio(1);
        sharp = sharp.convertToFormat(QImage::Format_RGB32);
        draw(sharp, layout, ground, 2);
        if (!sharp.save(doubleOut)) {
            std::fprintf(stderr, "mapmaker: cannot write %s\n", qPrintable(doubleOut));
            return 1;
        }
    }
    for (const Label &l : layout.labels)
        std::printf("  %s\n", qPrintable(l.name));
    if (args.size() == 6) {
        QPainter painter(&picture);
        drawCompass(painter);
        painter.end();
        if (!picture.save(args[5])) {
            std::fprintf(stderr, "mapmaker: cannot write %s\n", qPrintable(args[5]));
            return 1;
        }
    }
    return 0;
}
