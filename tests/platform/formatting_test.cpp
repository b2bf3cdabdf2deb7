#include "platform/formatting.h"

#include <gtest/gtest.h>

namespace {

TEST(Formatting, ByteSizesWithThreeSignificantDigits) {
    EXPECT_EQ(platform::FormatByteSize(0), "0 bytes");
    EXPECT_EQ(platform::FormatByteSize(999), "999 bytes");
    EXPECT_EQ(platform::FormatByteSize(1024), "1.00 KB");
    EXPECT_EQ(platform::FormatByteSize(1536), "1.50 KB");
    EXPECT_EQ(platform::FormatByteSize(10 * 1024 + 1023), "10.9 KB");
    EXPECT_EQ(platform::FormatByteSize(1048576), "1.00 MB");
    EXPECT_EQ(platform::FormatByteSize(123456789), "117 MB");
    EXPECT_EQ(platform::FormatByteSize(5ull << 40), "5.00 TB");
    EXPECT_EQ(platform::FormatByteSize(~0ull), "15.9 EB");
}

TEST(Formatting, FromAThousandOfAUnitTheNextUnitShows) {
    // Never four digits: 1000 of a unit and more show as the next unit.
    EXPECT_EQ(platform::FormatByteSize(1000), "0.97 KB");
    EXPECT_EQ(platform::FormatByteSize(1023), "0.99 KB");
    EXPECT_EQ(platform::FormatByteSize(1023999), "999 KB");
    EXPECT_EQ(platform::FormatByteSize(1024000), "0.97 MB");
    EXPECT_EQ(platform::FormatByteSize(1048575), "0.99 MB");
    EXPECT_EQ(platform::FormatByteSize(1000ull << 20), "0.97 GB");
    EXPECT_EQ(platform::FormatByteSize(1000ull << 50), "0.97 EB");
    for (std::uint64_t bytes = 1; bytes != 0 && bytes < (1ull << 63); bytes = bytes * 3 + 7) {
        const std::string text = platform::FormatByteSize(bytes);
        const std::size_t digits = text.find_first_not_of("0123456789");
        EXPECT_LE(digits, 3u) << text;
    }
}

TEST(Formatting, KilobytesAndTimes) {
    EXPECT_EQ(platform::FormatKBSize(0), "0 KB");
    EXPECT_EQ(platform::FormatKBSize(1), "1 KB");
    EXPECT_EQ(platform::FormatKBSize(1024), "1 KB");
    EXPECT_EQ(platform::FormatKBSize(1234567 * 1024ull), "1,234,567 KB");
    EXPECT_EQ(platform::FormatFileTime(0), "");
    // 2007-02-10 12:00:00 UTC as a file time.
    const std::uint64_t t = (1171108800ull + 11644473600ull) * 10000000ull;
    const std::string text = platform::FormatFileTime(t);
    EXPECT_NE(text.find("2007"), std::string::npos) << text;
    EXPECT_NE(platform::FormatFileTime(t, true).find("2007"), std::string::npos);
}

} // namespace
