// Writes the board's scenes as PNG pictures: the references of the golden
// screenshot test, and the README's picture.
//   board-screenshots <folder> [<readme picture>]
// With QT_SCALE_FACTOR=2 it draws the board on a screen of two device pixels
// to the pixel and writes <scene>@2x.png (no README picture).
#include "boardscenes.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: board-screenshots <folder> [<readme picture>]\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    folder.mkpath(QStringLiteral("."));
    const auto scenes = renderBoardScenes();
    if (scenes.isEmpty()) {
        std::fprintf(stderr, "board-screenshots: the board could not be set up\n");
        return 1;
    }
    for (const auto &[name, image] : scenes) {
        const QString path = folder.filePath(name + sceneSuffix() + QStringLiteral(".png"));
        if (!image.save(path)) {
            std::fprintf(stderr, "board-screenshots: cannot write %s\n", qPrintable(path));
            return 1;
        }
        if (argc > 2 && sceneSuffix().isEmpty() && name == QLatin1String(ReadmeScene)
            && !image.save(QString::fromLocal8Bit(argv[2]))) {
            std::fprintf(stderr, "board-screenshots: cannot write %s\n", argv[2]);
            return 1;
        }
    }
    std::printf("%lld pictures in %s\n", static_cast<long long>(scenes.size()), qPrintable(folder.absolutePath()));
    return 0;
}
