#pragma once
#include <cstdint>

namespace platform {

// Milliseconds since the process started, from a steady clock.
std::uint32_t ProcessMilliseconds();

} // namespace platform
