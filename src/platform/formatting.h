#pragma once
// Texts for sizes and times as the lists and panels show them.

#include <cstdint>
#include <string>

namespace platform {

// Below 1024: "N bytes"; else three significant digits with KB, MB, GB, TB,
// PB or EB (1024-based), cut rather than rounded: "1.50 KB", "117 MB".
std::string FormatByteSize(std::uint64_t bytes);
// Whole kilobytes, rounded up, with digit grouping: "1,234 KB".
std::string FormatKBSize(std::uint64_t bytes);
// A file time (100 ns units since 1601) in local time, in the locale's date
// and time form; the long form spells out the day and month. Empty for 0 or
// a time the system cannot convert.
std::string FormatFileTime(std::uint64_t fileTime, bool longForm = false);
// The same time in ISO 8601, UTC, to the second ("2026-12-08T16:02:34Z");
// empty for 0.
std::string FormatIsoTime(std::uint64_t fileTime);

} // namespace platform
