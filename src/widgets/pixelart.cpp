#include "widgets/pixelart.h"

#include <QImage>

namespace {

QImage render(const res::PixelArt* art, bool transparentDots) {
    if (art == nullptr)
        return {};
    QImage image(art->width, art->height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < art->height; ++y) {
        for (int x = 0; x < art->width; ++x) {
            const char c = art->rows[static_cast<std::size_t>(y)][x];
            if (transparentDots && c == '.')
                continue;
            for (const auto& [key, colour] : art->palette) {
                if (key == c)
                    image.setPixelColor(x, y, QColor(colour.r, colour.g, colour.b));
            }
        }
    }
    return image;
}

} // namespace

QPixmap BitmapPixmap(int id) {
    return QPixmap::fromImage(render(res::FindBitmap(id), false));
}

QPixmap IconPixmap(int id) {
    return QPixmap::fromImage(IconImage(id));
}

QImage IconImage(int id) {
    return render(res::FindIcon(id), true);
}
