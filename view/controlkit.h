#pragma once

#include "platform/formcontrols.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>

// What the board's controls are made of: its colours, its two typefaces and
// the labels, boxes and lines, each placed in twips of its parent.
namespace ControlKit {

inline const QColor Black(0, 0, 0);
inline const QColor White(255, 255, 255);
inline const QColor Yellow(255, 255, 0);
inline const QColor Green(0, 255, 0);
inline const QColor LightGreen(128, 255, 128);
inline const QColor Orange(255, 128, 0);
inline const QColor DarkOrange(192, 96, 0);
inline const QColor Cyan(128, 255, 255);
inline const QColor RowBand(40, 40, 48);
inline const QColor BoxBorder(70, 70, 80);
inline const QColor NoFill(0, 0, 0, 0);

QFont tahoma(double points, bool bold = false);
QFont sansSerif(double points, bool bold = false);

// A plain-text label; Arabic ones read right to left and hug their right edge.
FormLabel *makeLabel(QWidget *parent, const QString &name, const QRect &twips, const QString &caption,
                     const QColor &color, const QFont &font, bool rightToLeft = true);
// A box with a one-pixel border, filled or not (NoFill).
QFrame *makeShape(QWidget *parent, const QString &name, const QRect &twips, const QColor &border, const QColor &fill);
FormLine *makeLine(QWidget *parent, const QString &name, float x1, float y1, float x2, float y2, const QColor &color,
                   int width = 1);
// The width that holds a label's caption with the text gap either side.
int captionWidthTwips(const FormLabel *label);

// A place given in the window's twips, in the twips of a part whose top-left
// corner stands at (partLeft, partTop) of the window.
inline QRect placeWithin(int partLeft, int partTop, int left, int top, int width, int height)
{
    return QRect(left - partLeft, top - partTop, width, height);
}

// In English, which reads left to right, the board is laid out mirrored:
// each part places its controls as in Arabic and then mirrors them across
// itself, and the window mirrors the parts. A control is mirrored across
// `axisTwips` (the left and the right end of the span it is mirrored in,
// added up, in its parent's twips): its left edge goes where its right edge
// was seen from the other end. A label's twips and margins follow; a line's
// two ends are mirrored. Nothing is mirrored in Arabic.
void mirrorAcross(QWidget *control, int axisTwips);
// Every control of `part`, across its width in twips.
void mirrorControls(QWidget *part, int widthTwips);

// A picture, read by its content whatever its extension. On a screen of more
// than one device pixel to the pixel, its companion drawn at twice the size,
// "name@2x.ext" beside "name.ext", is taken where there is one that reads:
// Qt draws it at the same place and size, from twice the pixels.
QImage readPicture(const QString &path, qreal devicePixelRatio);

// A part of the window on its own: black behind its controls, drawn by the
// window when it lies in the window, by itself when shown alone.
void makeBlack(QWidget *part);

} // namespace ControlKit
