#pragma once
#include <cstddef>

namespace platform {

// Paths are 8-bit texts of at most 259 characters plus the terminator. A path
// that does not fit is refused, never cut short into another path.
inline constexpr std::size_t kMaxPath = 260;

inline bool FitsPathLimit(std::size_t length) {
    return length < kMaxPath;
}

} // namespace platform
