#pragma once

// The board at a fixed moment with fixed weather for its 24 cities, drawn
// offscreen: the collapsed strip, the expanded board with chosen cities,
// each of the six sorts, the keyboard in the grid (the only scene with the
// focus frame), and warnings after a later refresh, with the city shown
// marked as the person's own. The golden screenshot test compares these
// pictures with its references; `board-screenshots` writes them (and the
// README's).

#include <QImage>
#include <QList>
#include <QPair>
#include <QString>

// Every scene, by name ("collapsed", "expanded-RUH", "sort-0", ...), in a
// fixed order. Empty when the board could not be set up.
QList<QPair<QString, QImage>> renderBoardScenes();

// The picture the README shows.
inline constexpr char ReadmeScene[] = "expanded-RUH";

// What the file names of the scenes end in: "@2x" on a screen of two device
// pixels to the pixel (QT_SCALE_FACTOR=2), nothing on an ordinary one.
QString sceneSuffix();
