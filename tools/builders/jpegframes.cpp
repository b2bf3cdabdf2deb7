#include "builders/jpegframes.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <string>

std::vector<std::uint8_t>
EncodeJpegFrame(int width, int height, FrameColours colours, int quality,
                const std::function<void(int x, int y, std::uint8_t* components)>& pixel) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    switch (colours) {
    case FrameColours::Colour:
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        break;
    case FrameColours::Grey:
        cinfo.input_components = 1;
        cinfo.in_color_space = JCS_GRAYSCALE;
        break;
    case FrameColours::Cmyk:
        cinfo.input_components = 4;
        cinfo.in_color_space = JCS_CMYK;
        break;
    }
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const auto components = static_cast<std::size_t>(cinfo.input_components);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * components);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x)
            pixel(x, y, row.data() + static_cast<std::size_t>(x) * components);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<std::uint8_t> bytes(out, out + outSize);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return bytes;
}

std::vector<std::uint8_t> MakeJpegFrame(int width, int height, int seed, int quality) {
    return EncodeJpegFrame(
        width, height, FrameColours::Colour, quality, [&](int x, int y, std::uint8_t* c) {
            c[0] = static_cast<std::uint8_t>((x * 255 / width + seed * 40) & 0xFF);
            c[1] = static_cast<std::uint8_t>((y * 255 / height) & 0xFF);
            c[2] = static_cast<std::uint8_t>((seed * 97) & 0xFF);
        });
}

namespace {

// Digits 0-9 in a 5 x 7 grid, a row per byte, the leftmost column the
// highest of the five bits.
constexpr std::array<std::array<std::uint8_t, 7>, 10> kDigits{{
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
}};

// The seven colour bars of a test card, as red, green, blue.
constexpr std::array<std::array<std::uint8_t, 3>, 7> kBars{{
    {192, 192, 192},
    {192, 192, 0},
    {0, 192, 192},
    {0, 192, 0},
    {192, 0, 192},
    {192, 0, 0},
    {0, 0, 192},
}};

} // namespace

std::vector<std::uint8_t> MakeTestPatternFrame(int width, int height, int frame,
                                               FrameColours colours, int quality) {
    const std::string number = std::to_string(frame);
    // The digits fill about a third of the height, centred, on black.
    const int cell = std::max(1, height / 3 / 7);
    const int textWidth = static_cast<int>(number.size()) * 6 * cell - cell;
    const int textLeft = (width - textWidth) / 2;
    const int textTop = (height - 7 * cell) / 2;
    auto inDigit = [&](int x, int y) {
        const int gx = (x - textLeft) / cell;
        const int gy = (y - textTop) / cell;
        if (x < textLeft || y < textTop || gy >= 7 || gx >= static_cast<int>(number.size()) * 6)
            return false;
        const int digit = number[static_cast<std::size_t>(gx / 6)] - '0';
        const int column = gx % 6;
        return column < 5 &&
               (kDigits[static_cast<std::size_t>(digit)][static_cast<std::size_t>(gy)] >>
                    (4 - column) &
                1) != 0;
    };
    auto inBox = [&](int x, int y) {
        return x >= textLeft - cell && x < textLeft + textWidth + cell && y >= textTop - cell &&
               y < textTop + 8 * cell;
    };
    // The bars move one bar width every seven frames, a seventh of it per frame.
    const int barWidth = std::max(1, width / 7);
    const int shift = frame * barWidth / 7;
    return EncodeJpegFrame(width, height, colours, quality, [&](int x, int y, std::uint8_t* c) {
        std::array<std::uint8_t, 3> rgb =
            kBars[static_cast<std::size_t>(((x + shift) / barWidth) % 7)];
        if (y > height * 3 / 4) // a grey ramp along the bottom
            rgb = {static_cast<std::uint8_t>(x * 255 / width),
                   static_cast<std::uint8_t>(x * 255 / width),
                   static_cast<std::uint8_t>(x * 255 / width)};
        if (inBox(x, y))
            rgb = inDigit(x, y) ? std::array<std::uint8_t, 3>{255, 255, 255}
                                : std::array<std::uint8_t, 3>{16, 16, 16};
        switch (colours) {
        case FrameColours::Colour:
            c[0] = rgb[0];
            c[1] = rgb[1];
            c[2] = rgb[2];
            break;
        case FrameColours::Grey:
            c[0] = static_cast<std::uint8_t>((rgb[0] * 299 + rgb[1] * 587 + rgb[2] * 114) / 1000);
            break;
        case FrameColours::Cmyk:
            c[0] = static_cast<std::uint8_t>(255 - rgb[0]);
            c[1] = static_cast<std::uint8_t>(255 - rgb[1]);
            c[2] = static_cast<std::uint8_t>(255 - rgb[2]);
            c[3] = 255;
            break;
        }
    });
}

PlainJpeg DecodeJpegPlainly(const std::vector<std::uint8_t>& bytes) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    PlainJpeg plain;
    plain.width = static_cast<int>(cinfo.output_width);
    plain.height = static_cast<int>(cinfo.output_height);
    plain.components = cinfo.output_components;
    const std::size_t row =
        static_cast<std::size_t>(plain.width) * static_cast<std::size_t>(plain.components);
    plain.samples.resize(row * static_cast<std::size_t>(plain.height));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW out = plain.samples.data() + row * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &out, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return plain;
}
