#pragma once

#include <QCursor>
#include <QString>

#include <optional>

// Loads a Windows cursor file (.cur) with its hot spot; nothing when the file
// is missing or cannot be read. A file may hold the cursor at several sizes:
// on a screen of more than one device pixel to the pixel, the one twice the
// size of the first is taken where there is one, so that the cursor stays
// sharp at the size it has on an ordinary screen.
std::optional<QCursor> loadCursorFile(const QString &path, qreal devicePixelRatio = 1);
