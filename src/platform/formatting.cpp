#include "platform/formatting.h"

#include <cstdio>
#include <ctime>

namespace platform {

std::string FormatByteSize(std::uint64_t bytes) {
    if (bytes < 1024)
        return std::to_string(bytes) + " bytes";
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    int unit = 0;
    // Hundredths of the unit, computed without losing the low bits.
    std::uint64_t whole = bytes >> 10;
    std::uint64_t rest = bytes & 1023;
    while (whole >= 1024 && unit < 5) {
        rest = whole & 1023;
        whole >>= 10;
        ++unit;
    }
    const std::uint64_t hundredths = whole * 100 + rest * 100 / 1024;
    char text[32];
    if (whole < 10)
        std::snprintf(text, sizeof text, "%llu.%02llu %s",
                      static_cast<unsigned long long>(hundredths / 100),
                      static_cast<unsigned long long>(hundredths % 100), kUnits[unit]);
    else if (whole < 100)
        std::snprintf(text, sizeof text, "%llu.%llu %s",
                      static_cast<unsigned long long>(hundredths / 100),
                      static_cast<unsigned long long>(hundredths % 100 / 10), kUnits[unit]);
    else
        std::snprintf(text, sizeof text, "%llu %s", static_cast<unsigned long long>(whole),
                      kUnits[unit]);
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

std::string FormatFileTime(std::uint64_t fileTime, bool longForm) {
    if (fileTime == 0)
        return {};
    constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
    const auto seconds = static_cast<std::int64_t>(fileTime / 10000000u) - kSecondsFrom1601To1970;
    const auto t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        return {};
    char text[128];
    const std::size_t n =
        std::strftime(text, sizeof text, longForm ? "%A, %d %B %Y %X" : "%c", &local);
    return std::string(text, n);
}

} // namespace platform
