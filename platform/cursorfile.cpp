#include "platform/cursorfile.h"

#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPixmap>

namespace {

// One picture of the file's directory: its width and hot spot.
struct CursorEntry
{
    int width = 0;
    int hotX = -1;
    int hotY = -1;
};

QList<CursorEntry> readDirectory(const QByteArray &head)
{
    const auto u16 = [&](int at) { return int(quint8(head.at(at))) | int(quint8(head.at(at + 1))) << 8; };
    QList<CursorEntry> entries;
    if (head.size() < 6 || u16(2) != 2)
        return entries;
    const int count = u16(4);
    for (int i = 0; i < count && 6 + 16 * (i + 1) <= head.size(); ++i) {
        const int at = 6 + 16 * i;
        entries.append({quint8(head.at(at)) == 0 ? 256 : int(quint8(head.at(at))), u16(at + 4), u16(at + 6)});
    }
    return entries;
}

} // namespace

std::optional<QCursor> loadCursorFile(const QString &path, qreal devicePixelRatio)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = file.read(6 + 16 * 8);
    file.close();
    const QList<CursorEntry> entries = readDirectory(head);

    // The first picture, or on a dense screen the one twice its size.
    int chosen = 0;
    for (int i = 1; devicePixelRatio > 1 && i < entries.size(); ++i) {
        if (entries[i].width == 2 * entries[0].width)
            chosen = i;
    }
    QImageReader reader(path, "cur");
    if (chosen > 0 && !reader.jumpToImage(chosen))
        chosen = 0;
    QImage image = reader.read();
    if (image.isNull() && chosen > 0) {
        chosen = 0;
        image = QImageReader(path, "cur").read();
    }
    if (image.isNull())
        return std::nullopt;

    // The directory entry of the picture holds its hot spot.
    const CursorEntry entry = entries.value(chosen);
    int hotX = entry.hotX;
    int hotY = entry.hotY;
    if (chosen > 0) {
        image.setDevicePixelRatio(2);
        // Qt takes the hot spot of a dense cursor in device independent
        // pixels, except on X11, whose cursor it makes from the picture's
        // own pixels and the hot spot as given (seen with Qt 6.4).
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            hotX /= 2;
            hotY /= 2;
        }
    }
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}
