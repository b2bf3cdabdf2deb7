#pragma once
// Small pictures held as data: the column-header marks and the program icon.

#include <cstdint>
#include <span>

namespace res {

inline constexpr int IDB_HEADER_SORTED = 145;
inline constexpr int IDB_HEADER_PLAIN = 146;
inline constexpr int IDI_PROGRAM = 5;

struct Rgb {
    std::uint8_t r, g, b;
};

// A picture as rows of characters, each character a colour of the palette
// ('.' and any character without a colour are transparent in icons).
struct PixelArt {
    int id;
    int width;
    int height;
    std::span<const char* const> rows;
    std::span<const std::pair<char, Rgb>> palette;
};

const PixelArt* FindBitmap(int id);
const PixelArt* FindIcon(int id);

} // namespace res
