// Opens any bytes as an MXF file, reads its facts, decodes its first frames
// and draws one into a small picture, as the information panel does.
#include "fuzzinput.h"
#include "graphics/dibimage.h"
#include "mxf/mxfreader.h"

#include <QImage>
#include <QPainter>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MxfReader reader;
    if (!reader.Open(WriteFuzzInput(data, size)))
        return 0;
    const MxfFacts& facts = reader.Facts();
    if (facts.frameCount < 0 || (facts.hasPicture && (facts.width < 0 || facts.height < 0)))
        __builtin_trap();
    if (facts.displayWidth < 0 || facts.displayHeight < 0 || facts.channels < 0 ||
        facts.sampleRate < 0 || facts.sampleCount < 0)
        __builtin_trap();
    // The first frame, the one after it (read on), and frame 0 again (sought).
    for (std::int64_t n : {0, 1, 0}) {
        if (!reader.DecodeFrame(n))
            continue;
        if (reader.FrameNumber() < n)
            __builtin_trap();
        DibImage image;
        if (!image.Create(reader.FrameWidth(), reader.FrameHeight(), 24))
            continue;
        if (!reader.CopyFrameBgr(image.Row(image.Height() - 1),
                                 -static_cast<std::ptrdiff_t>(image.Stride())))
            continue;
        QImage target(37, 23, QImage::Format_RGB32);
        QPainter painter(&target);
        image.Draw(&painter, 0, 0, 37, 23);
    }
    return 0;
}
