// Writes the program's icon as PNG files of the sizes desktops look for,
// into OUT/<size>x<size>/apps/tolvane.png. Whole multiples of the drawn size
// keep its pixels square; other sizes are smoothed.
#include "resources/bitmaps.h"
#include "widgets/pixelart.h"

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_icons OUT_FOLDER\n");
        return 2;
    }
    const QImage icon = IconImage(res::IDI_PROGRAM);
    if (icon.isNull()) {
        std::fprintf(stderr, "render_icons: the program has no icon\n");
        return 1;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const bool whole = size % icon.width() == 0;
        const QImage scaled =
            icon.scaled(size, size, Qt::IgnoreAspectRatio,
                        whole ? Qt::FastTransformation : Qt::SmoothTransformation);
        const QString folder = out + QStringLiteral("/%1x%1/apps").arg(size);
        if (!QDir().mkpath(folder) || !scaled.save(folder + QStringLiteral("/tolvane.png"))) {
            std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
