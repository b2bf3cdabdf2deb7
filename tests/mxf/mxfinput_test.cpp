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

// Local sets written out: a picture descriptor (CDCI) and timeline tracks,
// read as the demuxer would have them passed.
class MxfHeaderFactsTest : public MxfInputTest {
protected:
    static void item(Bytes& set, std::uint16_t tag, const Bytes& value) {
        set.insert(set.end(), {std::uint8_t(tag >> 8), std::uint8_t(tag),
                               std::uint8_t(value.size() >> 8), std::uint8_t(value.size())});
        set.insert(set.end(), value.begin(), value.end());
    }
    // A set of that class with a two-byte BER length of `length`, or of
    // its items' when 0.
    static Bytes set(std::uint8_t setClass, const Bytes& items, std::size_t length = 0) {
        Bytes bytes{0x06, 0x0e, 0x2b, 0x34, 0x02, 0x53, 0x01,     0x01,
                    0x0d, 0x01, 0x01, 0x01, 0x01, 0x01, setClass, 0x00};
        const std::size_t n = length != 0 ? length : items.size();
        bytes.insert(bytes.end(), {0x82, std::uint8_t(n >> 8), std::uint8_t(n)});
        bytes.insert(bytes.end(), items.begin(), items.end());
        return bytes;
    }
    MxfHeaderFacts read(const std::vector<Bytes>& sets) {
        Bytes bytes(1000, 0x11);
        for (const Bytes& one : sets)
            bytes.insert(bytes.end(), one.begin(), one.end());
        bytes.resize(bytes.size() + 5000, 0x22);
        const std::string path = dir.file("header.mxf");
        WriteBytes(path, bytes);
        MxfInput input(deadline);
        EXPECT_EQ(input.Open(path), 0);
        input.SetChecking(true);
        EXPECT_EQ(readAll(input), bytes.size());
        return input.HeaderFacts();
    }
    static Bytes rate(std::uint32_t num, std::uint32_t den) {
        Bytes items;
        item(items, 0x4b01,
             {std::uint8_t(num >> 24), std::uint8_t(num >> 16), std::uint8_t(num >> 8),
              std::uint8_t(num), std::uint8_t(den >> 24), std::uint8_t(den >> 16),
              std::uint8_t(den >> 8), std::uint8_t(den)});
        return set(0x3b, items);
    }
};

TEST_F(MxfHeaderFactsTest, TheDescriptorsSizeAndTheFirstVideoEditRate) {
    Bytes items;
    item(items, 0x3209, {0, 0, 0x07, 0x80}); // 1920
    item(items, 0x3208, {0, 0, 0x02, 0x1c}); // 540, a field
    item(items, 0x320c, {1});                // separate fields
    MxfHeaderFacts facts = read({rate(48000, 1), rate(30000, 1001), set(0x28, items), rate(25, 1)});
    EXPECT_EQ(facts.displayWidth, 1920u);
    EXPECT_EQ(facts.displayHeight, 540u);
    EXPECT_EQ(facts.frameLayout, 1);
    EXPECT_EQ(facts.videoRateNumerator, 30000);
    EXPECT_EQ(facts.videoRateDenominator, 1001);

    // The set ends before its height: what lies after it is not the set's.
    facts = read({set(0x28, items, 8)});
    EXPECT_EQ(facts.displayWidth, 1920u);
    EXPECT_EQ(facts.displayHeight, 0u);
    EXPECT_EQ(facts.frameLayout, -1);
    // An item whose size runs past the set ends the reading there.
    Bytes runaway;
    item(runaway, 0x3c0a, Bytes(4, 0));
    runaway[3] = 0xff;
    runaway.insert(runaway.end(), items.begin(), items.end());
    EXPECT_EQ(read({set(0x29, runaway)}).displayWidth, 0u);
    // Beyond the items any writer makes, nothing more is looked at.
    Bytes many;
    for (int i = 0; i < MxfInput::kMaxSegmentItems; ++i)
        item(many, 0x3c0a, {});
    many.insert(many.end(), items.begin(), items.end());
    EXPECT_EQ(read({set(0x28, many)}).displayWidth, 0u);
    // Only picture descriptors (not a sound descriptor, 0x48) give a size,
    // and only the first.
    EXPECT_EQ(read({set(0x48, items)}).displayWidth, 0u);
    Bytes other;
    item(other, 0x3209, {0, 0, 0x02, 0x80});
    EXPECT_EQ(read({set(0x28, items), set(0x51, other)}).displayWidth, 1920u);
    // No track at a video rate: none.
    facts = read({rate(48000, 1), rate(0, 0)});
    EXPECT_EQ(facts.videoRateDenominator, 0);
}

} // namespace
