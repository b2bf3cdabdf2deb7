#pragma once
// JPEG (JFIF) frames made with libjpeg, for media files in tests.

#include <cstdint>
#include <vector>

// A width x height colour picture whose pixels follow from seed.
std::vector<std::uint8_t> MakeJpegFrame(int width, int height, int seed, int quality = 75);
