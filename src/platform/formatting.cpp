#include "platform/formatting.h"

#include <cstdio>
#include <ctime>

namespace platform {

namespace {
// The size times 100 and the scale up to 1000 * 1024^6 need more than 64
// bits; a GCC and clang extension.
__extension__ typedef unsigned __int128 Uint128;
} // namespace

std::string FormatByteSize(std::uint64_t bytes) {
    // The unit is the smallest in which the size is below 1000, so that the
    // number never has more than three digits before its point.
    static const char* const kUnits[] = {"bytes", "KB", "MB", "GB", "TB", "PB", "EB"};
    int unit = 0;
    Uint128 scale = 1;
    while (unit < 6 && bytes >= 1000 * scale) {
        scale *= 1024;
        ++unit;
    }
    char text[32];
    if (unit == 0) {
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
        return text;
    }
    // Hundredths of the unit, cut (not rounded), as three significant digits.
    const auto hundredths =
        static_cast<unsigned long long>(static_cast<Uint128>(bytes) * 100 / scale);
    if (hundredths < 1000)
        std::snprintf(text, sizeof text, "%llu.%02llu %s", hundredths / 100, hundredths % 100,
                      kUnits[unit]);
    else if (hundredths < 10000)
        std::snprintf(text, sizeof text, "%llu.%llu %s", hundredths / 100, hundredths % 100 / 10,
                      kUnits[unit]);
    else
        std::snprintf(text, sizeof text, "%llu %s", hundredths / 100, kUnits[unit]);
    return text;
}

std::string FormatKBSize(std::uint64_t bytes) {
    const std::uint64_t kb = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
    std::string digits = std::to_string(kb);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0)
            grouped.push_back(',');
        grouped.push_back(digits[i]);
    }
    return grouped + " KB";
}

namespace {

constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;

std::time_t unixTime(std::uint64_t fileTime) {
    return static_cast<std::time_t>(static_cast<std::int64_t>(fileTime / 10000000u) -
                                    kSecondsFrom1601To1970);
}

} // namespace

std::string FormatIsoTime(std::uint64_t fileTime) {
    if (fileTime == 0)
        return {};
    const std::time_t t = unixTime(fileTime);
    std::tm utc{};
    if (gmtime_r(&t, &utc) == nullptr)
        return {};
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(text, n);
}

std::string FormatFileTime(std::uint64_t fileTime, bool longForm) {
    if (fileTime == 0)
        return {};
    const std::time_t t = unixTime(fileTime);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        return {};
    char text[128];
    const std::size_t n =
        std::strftime(text, sizeof text, longForm ? "%A, %d %B %Y %X" : "%c", &local);
    return std::string(text, n);
}

} // namespace platform
