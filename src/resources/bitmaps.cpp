#include "resources/bitmaps.h"

#include "resources/findbyid.h"

#include <array>
#include <utility>

namespace res {
namespace {

// A downward triangle: rows of 7, 5, 3 and 1 pixels.
constexpr std::array<const char*, 4> kTriangle{"#######", ".#####.", "..###..", "...#..."};

constexpr std::array<std::pair<char, Rgb>, 2> kSortedColours{
    std::pair<char, Rgb>{'#', {0, 0, 128}}, std::pair<char, Rgb>{'.', {192, 192, 192}}};
constexpr std::array<std::pair<char, Rgb>, 2> kPlainColours{
    std::pair<char, Rgb>{'#', {171, 171, 171}}, std::pair<char, Rgb>{'.', {205, 205, 205}}};

// The program icon: a strip of film with a media folder's tab.
constexpr std::array<const char*, 32> kIconRows{
    "................................", "................................",
    "..............oooooooooo........", ".............oyyyyyyyyyyo.......",
    "..oooooooooooyyyyyyyyyyyyooooo..", "..oyyyyyyyyyyyyyyyyyyyyyyyyyyo..",
    "..oyyyyyyyyyyyyyyyyyyyyyyyyyyo..", "..okkkkkkkkkkkkkkkkkkkkkkkkkko..",
    "..okwwkwwkwwkwwkwwkwwkwwkwwkko..", "..okkkkkkkkkkkkkkkkkkkkkkkkkko..",
    "..okbbbbbbkbbbbbbkbbbbbbkbbbko..", "..okbbbbbbkbbbbbbkbbbbbbkbbbko..",
    "..okbbccbbkbbccbbkbbccbbkbccko..", "..okbccccbkbccccbkbccccbkbccko..",
    "..okbbccbbkbbccbbkbbccbbkbccko..", "..okbbbbbbkbbbbbbkbbbbbbkbbbko..",
    "..okbbbbbbkbbbbbbkbbbbbbkbbbko..", "..okkkkkkkkkkkkkkkkkkkkkkkkkko..",
    "..okwwkwwkwwkwwkwwkwwkwwkwwkko..", "..okkkkkkkkkkkkkkkkkkkkkkkkkko..",
    "..oyyyyyyyyyyyyyyyyyyyyyyyyyyo..", "..oyyyyyyyyyyyyyyyyyyyyyyyyyyo..",
    "..oyyyyyyyyyyyyyyyyyyyyyyyyyyo..", "..oyyyyyyyyyyyyyyyyyyyyyyyyyyo..",
    "..oyyyyyyyyyyyyyyyyyyyyyyyyyyo..", "..oooooooooooooooooooooooooooo..",
    "................................", "................................",
    "................................", "................................",
    "................................", "................................",
};

constexpr std::array<std::pair<char, Rgb>, 6> kIconColours{
    std::pair<char, Rgb>{'o', {96, 64, 0}},   std::pair<char, Rgb>{'y', {240, 200, 80}},
    std::pair<char, Rgb>{'k', {24, 24, 24}},  std::pair<char, Rgb>{'w', {250, 250, 250}},
    std::pair<char, Rgb>{'b', {40, 90, 170}}, std::pair<char, Rgb>{'c', {130, 200, 250}},
};

constexpr std::array kBitmaps{
    PixelArt{IDB_HEADER_SORTED, 7, 4, kTriangle, kSortedColours},
    PixelArt{IDB_HEADER_PLAIN, 7, 4, kTriangle, kPlainColours},
};

constexpr std::array kIcons{
    PixelArt{IDI_PROGRAM, 32, 32, kIconRows, kIconColours},
};

} // namespace

const PixelArt* FindBitmap(int id) {
    return FindById(kBitmaps, id);
}

const PixelArt* FindIcon(int id) {
    return FindById(kIcons, id);
}

} // namespace res
