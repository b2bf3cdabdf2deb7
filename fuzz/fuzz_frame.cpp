// Decodes any bytes as a JPEG frame and draws what it decodes, stretched and
// unscaled, into a small picture with a clip.
#include "graphics/dibimage.h"

#include <QImage>
#include <QPainter>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const DibImage image(data, size, DibImage::Type::Jpeg);
    if (!image.IsValid())
        return 0;
    const std::size_t pixels = image.Stride() * static_cast<std::size_t>(image.Height());
    if (image.Block().size() < DibImage::kHeaderSize + pixels ||
        static_cast<std::uint64_t>(image.Width()) * static_cast<std::uint64_t>(image.Height()) >
            DibImage::kPixelsPerByte * size)
        __builtin_trap();
    QImage target(37, 23, QImage::Format_RGB32);
    target.fill(Qt::black);
    QPainter painter(&target);
    image.Draw(&painter, 0, 0, 37, 23);
    painter.setClipRect(QRect(5, 3, 20, 11));
    image.Draw(&painter, -9, -4, 61, 40);
    if (image.Width() <= 64 && image.Height() <= 64)
        image.Draw(&painter, 1, 1, image.Width(), image.Height());
    return 0;
}
