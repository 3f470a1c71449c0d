#include "platform/cursorfile.h"

#include <QFile>
#include <QImageReader>
#include <QPixmap>

std::optional<QCursor> loadCursorFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray header = file.read(22);
    file.close();

    QImageReader reader(path, "cur");
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;

    // The first directory entry of a cursor file holds its hot spot.
    int hotX = -1;
    int hotY = -1;
    if (header.size() >= 14 && header.at(2) == 2) {
        const auto u16 = [&](int at) { return int(quint8(header.at(at))) | int(quint8(header.at(at + 1))) << 8; };
        hotX = u16(10);
        hotY = u16(12);
    }
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}
