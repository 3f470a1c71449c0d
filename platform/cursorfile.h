#pragma once

#include <QCursor>
#include <QString>

#include <optional>

// Loads a Windows cursor file (.cur) with its hot spot; nothing when the file
// is missing or cannot be read.
std::optional<QCursor> loadCursorFile(const QString &path);
