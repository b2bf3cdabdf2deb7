#pragma once
// The benchmarks' clock: seconds since a moment, from a steady clock.

#include <chrono>

using Clock = std::chrono::steady_clock;

inline double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}
