#pragma once
// JPEG (JFIF) frames made with libjpeg, for media files in tests, benchmarks
// and the sample media.

#include <cstdint>
#include <functional>
#include <vector>

enum class FrameColours { Colour, Grey, Cmyk };

// A width x height colour picture whose pixels follow from seed.
std::vector<std::uint8_t> MakeJpegFrame(int width, int height, int seed, int quality = 75);

// A frame whose pixel (x, y) has the components the function gives (1, 3 or
// 4 of them as colours says, in the order libjpeg takes them).
std::vector<std::uint8_t>
EncodeJpegFrame(int width, int height, FrameColours colours, int quality,
                const std::function<void(int x, int y, std::uint8_t* components)>& pixel);

// A test pattern for frame number frame: colour bars that move with the
// frame number and the number itself in large digits, so that every frame
// is told apart at a glance.
std::vector<std::uint8_t> MakeTestPatternFrame(int width, int height, int frame,
                                               FrameColours colours = FrameColours::Colour,
                                               int quality = 85);

// libjpeg's own reading of a frame, top row first, in the library's default
// output colours: the reference decoded pictures are compared with.
struct PlainJpeg {
    int width = 0;
    int height = 0;
    int components = 0;
    std::vector<std::uint8_t> samples;
    const std::uint8_t* at(int x, int y) const {
        return samples.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                 static_cast<std::size_t>(x)) *
                                    static_cast<std::size_t>(components);
    }
};
PlainJpeg DecodeJpegPlainly(const std::vector<std::uint8_t>& bytes);
