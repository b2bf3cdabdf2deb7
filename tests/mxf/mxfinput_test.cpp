#include "mxf/mxfinput.h"

#include "builders/databasebuilder.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

extern "C" {
#include <libavformat/avio.h>
}

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// The smallest index table segment the demuxer keeps: its index stream id.
constexpr std::uint8_t kSmallSet[25] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x53, 0x01, 0x01, 0x0d,
                                        0x01, 0x02, 0x01, 0x01, 0x10, 0x01, 0x00, 8,    0x3f,
                                        0x06, 0,    4,    0,    0,    0,    7};

class MxfInputTest : public ::testing::Test {
protected:
    // A file of `sets` small sets after 1000 bytes of filler, and 5000 after.
    std::string writeSets(std::size_t sets) {
        Bytes bytes(1000, 0x11);
        for (std::size_t i = 0; i < sets; ++i)
            bytes.insert(bytes.end(), std::begin(kSmallSet), std::end(kSmallSet));
        bytes.resize(bytes.size() + 5000, 0x22);
        const std::string path = dir.file("sets.mxf");
        WriteBytes(path, bytes);
        return path;
    }
    // Reads from `from` to the end as the demuxer would, in 4096-byte
    // asks; the bytes delivered until the first failure.
    static std::size_t readAll(MxfInput& input, std::int64_t from = 0) {
        AVIOContext* context = input.Context();
        avio_seek(context, from, SEEK_SET);
        std::vector<unsigned char> buffer(4096);
        std::size_t delivered = 0;
        for (;;) {
            const int got = avio_read(context, buffer.data(), static_cast<int>(buffer.size()));
            if (got <= 0)
                return delivered;
            delivered += static_cast<std::size_t>(got);
        }
    }

    TempDir dir;
    MxfDeadline deadline{std::chrono::steady_clock::now() + 60s};
};

TEST_F(MxfInputTest, MetadataSetsBeyondTheLimitAreNotPassedOn) {
    const std::size_t limit = MxfInput::kMaxMetadataSets;
    const std::size_t size = 1000 + 25 * limit + 5000;
    {
        // As many as allowed pass, read twice over: bytes read again after a
        // seek back are not counted again.
        MxfInput input(deadline);
        ASSERT_EQ(input.Open(writeSets(limit)), 0);
        input.SetChecking(true);
        EXPECT_EQ(readAll(input), size);
        EXPECT_EQ(readAll(input, 500), size - 500);
        EXPECT_EQ(input.Refusal(), "");
    }
    {
        // One more: nothing from the read that holds it on is delivered.
        MxfInput input(deadline);
        ASSERT_EQ(input.Open(writeSets(limit + 1)), 0);
        input.SetChecking(true);
        const std::size_t delivered = readAll(input);
        const std::size_t extra = 1000 + 25 * limit;
        EXPECT_LE(delivered, extra);
        EXPECT_GT(delivered + 2 * 4096, extra);
        EXPECT_EQ(input.Refusal(), "more metadata sets than any real file holds");
        EXPECT_EQ(readAll(input), 0u);
    }
    {
        // Unchecked, as when the demuxer reads essence: all of it.
        MxfInput input(deadline);
        ASSERT_EQ(input.Open(writeSets(limit + 1)), 0);
        EXPECT_EQ(readAll(input), size + 25);
    }
}

TEST_F(MxfInputTest, ReadsEndAtTheDeadline) {
    MxfInput input(deadline);
    ASSERT_EQ(input.Open(writeSets(10)), 0);
    std::vector<unsigned char> buffer(100);
    EXPECT_EQ(avio_read(input.Context(), buffer.data(), 100), 100);
    // What the first read brought is still there; nothing more comes.
    deadline.end = std::chrono::steady_clock::now() - 1ms;
    EXPECT_EQ(readAll(input, 100), 4096u - 100);
    EXPECT_TRUE(deadline.expired);
}

// Against the rates written out: a fraction is a video rate in any form,
// and nothing else is.
TEST(VideoRates, AreTheRatesPicturesAreMadeAtInAnyForm) {
    for (const auto& [num, den] : {std::pair{24, 1},
                                   {25, 1},
                                   {30, 1},
                                   {50, 1},
                                   {60, 1},
                                   {24000, 1001},
                                   {30000, 1001},
                                   {60000, 1001},
                                   {50000, 2000},
                                   {60000, 2002},
                                   {48, 1},
                                   {120000, 1001}}) {
        EXPECT_TRUE(IsVideoRate(num, den)) << num << "/" << den;
    }
    for (const auto& [num, den] : {std::pair{48000, 1},
                                   {44100, 1},
                                   {25000, 1001},
                                   {2997, 100},
                                   {0, 0},
                                   {25, 0},
                                   {-25, -1},
                                   {1, 25},
                                   {23976, 1000}}) {
        EXPECT_FALSE(IsVideoRate(num, den)) << num << "/" << den;
    }
}

} // namespace
