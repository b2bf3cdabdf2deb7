#pragma once
// Integers from file bytes in an explicit byte order, never by casting a
// pointer into file data.

#include <cstdint>

namespace io {

inline std::uint16_t le16(const std::uint8_t* b) {
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

inline std::uint32_t le32(const std::uint8_t* b) {
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

} // namespace io
