#include "platform/clock.h"

#include <chrono>

namespace platform {
namespace {
const auto g_processStart = std::chrono::steady_clock::now();
}

std::uint32_t ProcessMilliseconds() {
    const auto elapsed = std::chrono::steady_clock::now() - g_processStart;
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

} // namespace platform
