#include "mxf/mxfreader.h"

#include "builders/databasebuilder.h"
#include "builders/mediafolder.h"
#include "builders/mxfbuilder.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using namespace std::chrono_literals;

using Bytes = std::vector<std::uint8_t>;

class MxfReaderTest : public ::testing::Test {
protected:
    std::string write(const MxfFileDesc& desc, const std::string& name = "clip.mxf") {
        const std::string path = dir.file(name);
        EXPECT_TRUE(WriteMxfFile(path, desc));
        return path;
    }
    static MxfFileDesc clip() {
        MxfFileDesc desc;
        desc.clipName = "Interview take 3";
        desc.projectName = "Harbour Lights";
        desc.tapeName = "TAPE_0042";
        desc.width = 320;
        desc.height = 176;
        desc.frames = 5;
        return desc;
    }
    // The picture of the frame last decoded, top row first.
    struct Picture {
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> bgr;
        int grey(int x, int y) const {
            const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
            return (bgr[at] + bgr[at + 1] + bgr[at + 2]) / 3;
        }
    };
    Picture picture() {
        Picture p;
        p.width = reader.FrameWidth();
        p.height = reader.FrameHeight();
        const std::size_t stride = static_cast<std::size_t>(p.width) * 3;
        p.bgr.assign(stride * p.height, 0);
        EXPECT_TRUE(reader.CopyFrameBgr(p.bgr.data(), static_cast<std::ptrdiff_t>(stride)));
        return p;
    }
    // Whether the picture is frame n: its top-left quarter in n's grey and
    // its bottom-right in the background's (the codec is lossy: within 6).
    static void expectFrame(const Picture& p, int n) {
        EXPECT_NEAR(p.grey(p.width / 4, p.height / 4), MxfMarkGrey(n), 6) << "frame " << n;
        EXPECT_NEAR(p.grey(3 * p.width / 4, 3 * p.height / 4), MxfBackgroundGrey(), 6)
            << "frame " << n;
        EXPECT_NEAR(p.grey(3 * p.width / 4, p.height / 4), MxfBackgroundGrey(), 6) << "frame " << n;
    }

    TempDir dir;
    LogCapture log;
    MxfReader reader;
};

TEST_F(MxfReaderTest, ReadsEveryFactOfAnOpAtomFile) {
    ASSERT_TRUE(reader.Open(write(clip())));
    const MxfFacts& facts = reader.Facts();
    EXPECT_EQ(facts.clipName, "Interview take 3");
    EXPECT_EQ(facts.projectName, "Harbour Lights");
    EXPECT_EQ(facts.sourceName, "TAPE_0042");
    EXPECT_EQ(facts.codecName, "VC3/DNxHD");
    EXPECT_EQ(facts.codecShortName, "dnxhd");
    EXPECT_EQ(facts.frameCount, 5);
    EXPECT_EQ(facts.width, 320);
    EXPECT_EQ(facts.height, 176);
    EXPECT_EQ(facts.frameRateNumerator * 1, 25 * facts.frameRateDenominator);
    EXPECT_TRUE(facts.opAtom);
    EXPECT_TRUE(facts.hasPicture);

    // A name with a colon is a file, not a protocol.
    MxfFileDesc other = clip();
    other.projectName = "Über: Nacht";
    ASSERT_TRUE(reader.Open(write(other, "a:b.mxf")));
    EXPECT_EQ(reader.Facts().projectName, "Über: Nacht");
    reader.Close();
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(reader.Facts().clipName, "");
}

TEST_F(MxfReaderTest, FileWithoutProjectOrTapeAndAnOp1aFile) {
    MxfFileDesc plain = clip();
    plain.projectName.clear();
    plain.tapeName.clear();
    ASSERT_TRUE(reader.Open(write(plain)));
    EXPECT_EQ(reader.Facts().projectName, "");
    EXPECT_EQ(reader.Facts().clipName, "Interview take 3");
    EXPECT_EQ(reader.Facts().frameCount, 5);

    MxfFileDesc op1a = clip();
    op1a.opAtom = false;
    op1a.projectName.clear();
    ASSERT_TRUE(reader.Open(write(op1a, "op1a.mxf")));
    EXPECT_FALSE(reader.Facts().opAtom);
    EXPECT_EQ(reader.Facts().clipName, "Interview take 3");
    EXPECT_EQ(reader.Facts().codecShortName, "dnxhd");
    ASSERT_TRUE(reader.DecodeFrame(4));
    expectFrame(picture(), 4);
}

TEST_F(MxfReaderTest, StepsThroughFramesInOrderAndSeeksAnyFrame) {
    ASSERT_TRUE(reader.Open(write(clip())));
    EXPECT_EQ(reader.FrameNumber(), -1);
    for (int n = 0; n < 5; ++n) {
        ASSERT_TRUE(reader.DecodeFrame(n));
        EXPECT_EQ(reader.FrameNumber(), n);
        EXPECT_EQ(reader.FrameWidth(), 320);
        EXPECT_EQ(reader.FrameHeight(), 176);
        expectFrame(picture(), n);
    }
    for (int n : {3, 0, 4, 4, 1, 2}) {
        ASSERT_TRUE(reader.DecodeFrame(n));
        EXPECT_EQ(reader.FrameNumber(), n);
        expectFrame(picture(), n);
    }
    EXPECT_FALSE(reader.DecodeFrame(5));
    EXPECT_FALSE(reader.DecodeFrame(-1));

    // Rows written bottom-up (a negative stride from the last row) give the
    // same picture, the right way up.
    ASSERT_TRUE(reader.DecodeFrame(2));
    Picture p;
    p.width = reader.FrameWidth();
    p.height = reader.FrameHeight();
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(p.width) * 3;
    p.bgr.assign(static_cast<std::size_t>(stride) * p.height, 0);
    ASSERT_TRUE(reader.CopyFrameBgr(p.bgr.data() + stride * (p.height - 1), -stride));
    // Row 0 of the buffer is now the picture's bottom row.
    EXPECT_NEAR(p.grey(p.width / 4, 3 * p.height / 4), MxfMarkGrey(2), 6);
    EXPECT_NEAR(p.grey(p.width / 4, p.height / 4), MxfBackgroundGrey(), 6);
}

TEST_F(MxfReaderTest, NothingIsWrittenBesideTheRows) {
    // A width that is not a multiple of 8, top-down and bottom-up, into rows
    // of exactly that width with guard bytes before and after.
    MxfFileDesc odd = clip();
    odd.width = 262;
    ASSERT_TRUE(reader.Open(write(odd)));
    ASSERT_TRUE(reader.DecodeFrame(1));
    ASSERT_EQ(reader.FrameWidth(), 262);
    const std::ptrdiff_t row = 262 * 3;
    const std::size_t guard = 64;
    const std::size_t pixels = static_cast<std::size_t>(row) * reader.FrameHeight();
    for (bool bottomUp : {false, true}) {
        std::vector<std::uint8_t> buffer(guard + pixels + guard, 0xAB);
        std::uint8_t* first = buffer.data() + guard;
        ASSERT_TRUE(bottomUp ? reader.CopyFrameBgr(first + pixels - row, -row)
                             : reader.CopyFrameBgr(first, row));
        for (std::size_t i = 0; i < guard; ++i) {
            EXPECT_EQ(buffer[i], 0xAB) << i;
            EXPECT_EQ(buffer[guard + pixels + i], 0xAB) << i;
        }
    }
    // Rows narrower than the frame are refused.
    std::vector<std::uint8_t> narrow(pixels);
    EXPECT_FALSE(reader.CopyFrameBgr(narrow.data(), row - 3));
}

TEST_F(MxfReaderTest, DamagedAndForeignFilesFailWithALogLine) {
    // A text file named .mxf.
    const std::string text = dir.file("notes.mxf");
    WriteBytes(text, std::vector<std::uint8_t>(std::begin("just some notes\n"),
                                               std::end("just some notes\n")));
    EXPECT_FALSE(reader.Open(text));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find(text), std::string::npos);
    EXPECT_FALSE(reader.IsOpen());

    // Not a file at all.
    log.clear();
    EXPECT_FALSE(reader.Open(dir.path()));
    EXPECT_EQ(log.lines().size(), 1u);

    // Truncated: within the header metadata it does not open, or opens
    // without facts; within the essence its facts read and the frames
    // beyond the cut do not decode. Neither crashes or hangs.
    const std::string whole = write(clip());
    const auto size = std::filesystem::file_size(whole);
    for (std::uintmax_t cut : {std::uintmax_t{100}, std::uintmax_t{3000}, size / 2, size - 600}) {
        const std::string path = dir.file("cut.mxf");
        std::filesystem::copy_file(whole, path, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::resize_file(path, cut);
        if (!reader.Open(path))
            continue;
        for (int n = 0; n < 5; ++n)
            reader.DecodeFrame(n);
        reader.DecodeFrame(0);
    }
    std::filesystem::copy_file(whole, dir.file("cut.mxf"),
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(dir.file("cut.mxf"), size / 2);
    ASSERT_TRUE(reader.Open(dir.file("cut.mxf")));
    EXPECT_EQ(reader.Facts().clipName, "Interview take 3");
    EXPECT_TRUE(reader.DecodeFrame(0));
    EXPECT_FALSE(reader.DecodeFrame(4));
}

TEST_F(MxfReaderTest, APictureTheDecoderRefusesIsNeverDecoded) {
    // The stored height (local tag 3202, four bytes) made absurd.
    const std::string path = write(clip());
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    const std::uint8_t height[] = {0x32, 0x02, 0x00, 0x04, 0, 0, 0, 176};
    auto at = std::search(bytes.begin(), bytes.end(), std::begin(height), std::end(height));
    ASSERT_NE(at, bytes.end());
    at[4] = 0x30;
    // And the stored width (3203) beyond 2^31.
    const std::uint8_t width[] = {0x32, 0x03, 0x00, 0x04, 0, 0, 0x01, 0x40};
    at = std::search(bytes.begin(), bytes.end(), std::begin(width), std::end(width));
    ASSERT_NE(at, bytes.end());
    at[4] = 0xab;
    WriteBytes(path, bytes);
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(reader.Facts().height, 0x30000000 + 176);
    EXPECT_EQ(reader.Facts().width, 0);
    log.clear();
    for (int n : {0, 1, 0})
        EXPECT_FALSE(reader.DecodeFrame(n));
    EXPECT_EQ(log.lines().size(), 1u); // the decoder did not open: said once
    EXPECT_EQ(reader.FrameWidth(), 0);
}

TEST_F(MxfReaderTest, AReadThatTakesTooLongEnds) {
    const std::string path = write(clip());
    reader.SetTimeLimits(0ms, 0ms);
    EXPECT_FALSE(reader.Open(path));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("within 0 ms"), std::string::npos) << log.lines()[0];

    reader.SetTimeLimits(MxfReader::kOpenTime, 0ms);
    ASSERT_TRUE(reader.Open(path));
    log.clear();
    EXPECT_FALSE(reader.DecodeFrame(3));
    EXPECT_EQ(log.lines().size(), 1u);
    reader.SetTimeLimits(MxfReader::kOpenTime, MxfReader::kFrameTime);
    ASSERT_TRUE(reader.DecodeFrame(3));
    expectFrame(picture(), 3);
}

TEST_F(MxfReaderTest, IndexSegmentsDeclaringMoreThanTheFileHoldsAreRefused) {
    const std::string plain = write(clip());
    const std::string path = dir.file("crafted.mxf");
    // Opens the file with these segments added to its footer.
    auto open = [&](const std::vector<Bytes>& segments) {
        Bytes added;
        for (const Bytes& segment : segments)
            added.insert(added.end(), segment.begin(), segment.end());
        std::filesystem::copy_file(plain, path, std::filesystem::copy_options::overwrite_existing);
        EXPECT_TRUE(AddAfterLastIndexSegment(path, added));
        log.clear();
        return reader.Open(path);
    };
    auto expectRefused = [&](const std::vector<Bytes>& segments, const std::string& why) {
        EXPECT_FALSE(open(segments));
        EXPECT_FALSE(reader.IsOpen());
        EXPECT_EQ(log.lines(), std::vector<std::string>{"MXF: " + path + " not read: " + why});
    };
    const std::string tooMany = "index table segments declare more edit units than the file holds";
    // Every segment here is as long as the next.
    const std::size_t segmentSize = MxfIndexSegment(3, 0, 1, 1).size();
    const std::uint64_t most = (std::filesystem::file_size(plain) + segmentSize) / 11;

    // Eighty million edit units with one entry: the demuxer would take 2.7 GB.
    expectRefused({MxfIndexSegment(3, 80000000, 1, 1)}, tooMany);
    // As many as the file could hold entries for opens, and reads as the
    // plain file does; one more does not.
    ASSERT_TRUE(open({MxfIndexSegment(3, most, 1, 1)}));
    EXPECT_EQ(reader.Facts().clipName, "Interview take 3");
    EXPECT_EQ(reader.Facts().frameCount, 5);
    ASSERT_TRUE(reader.DecodeFrame(3));
    expectFrame(picture(), 3);
    expectRefused({MxfIndexSegment(3, most + 1, 1, 1)}, tooMany);
    // A duration that is negative as a signed number.
    expectRefused({MxfIndexSegment(3, ~std::uint64_t{0}, 1, 1)}, tooMany);
    // Four tables, each within the file, together beyond it.
    const std::uint64_t quarter =
        (std::filesystem::file_size(plain) + 4 * segmentSize) / 11 / 4 + 1;
    expectRefused({MxfIndexSegment(3, quarter, 1, 1), MxfIndexSegment(4, quarter, 1, 1),
                   MxfIndexSegment(5, quarter, 1, 1), MxfIndexSegment(6, quarter, 1, 1)},
                  tooMany);
    // An entry array stating more entries than its segment holds.
    expectRefused({MxfIndexSegment(3, 1, 100000, 1)},
                  "an index table segment declares more entries than it holds");
    // A duration without entries costs the demuxer nothing: opens.
    EXPECT_TRUE(open({MxfIndexSegment(3, 80000000, 0, 0)}));
}

// The picture's size as shown, not as stored, and its rate, for the rates
// the editing application records at.
TEST_F(MxfReaderTest, PicturesGiveTheirDisplayedSizeAndTheirRate) {
    struct Case {
        int width, height, num, den, frames;
    };
    for (const Case& c : {Case{320, 176, 25, 1, 3}, Case{320, 180, 30000, 1001, 4},
                          Case{256, 200, 24000, 1001, 5}}) {
        MxfFileDesc desc = clip();
        desc.width = c.width;
        desc.height = c.height;
        desc.frameRateNumerator = c.num;
        desc.frameRateDenominator = c.den;
        desc.frames = c.frames;
        ASSERT_TRUE(reader.Open(write(desc)));
        const MxfFacts& facts = reader.Facts();
        EXPECT_EQ(facts.displayWidth, c.width);
        EXPECT_EQ(facts.displayHeight, c.height);
        // The demuxer's size is the stored one, whole lines of 16.
        EXPECT_EQ(facts.height, (c.height + 15) / 16 * 16);
        EXPECT_EQ(std::int64_t{facts.frameRateNumerator} * c.den,
                  std::int64_t{c.num} * facts.frameRateDenominator)
            << facts.frameRateNumerator << "/" << facts.frameRateDenominator;
        EXPECT_EQ(facts.frameCount, c.frames);
        EXPECT_FALSE(facts.hasSound);
    }
}

// The picture descriptor's items changed in place: a field layout doubles
// the height given, and a display size of 0 is none.
TEST_F(MxfReaderTest, FieldLayoutsAndMissingDisplaySizes) {
    MxfFileDesc desc = clip();
    desc.height = 180;
    const std::string path = write(desc);
    std::ifstream in(path, std::ios::binary);
    const Bytes plain((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Every copy of an item (header and footer metadata) replaced.
    auto patched = [](const Bytes& item, const Bytes& by, Bytes bytes) {
        int found = 0;
        for (auto it = std::search(bytes.begin(), bytes.end(), item.begin(), item.end());
             it != bytes.end(); it = std::search(it + 1, bytes.end(), item.begin(), item.end())) {
            std::copy(by.begin(), by.end(), it);
            ++found;
        }
        EXPECT_GT(found, 0);
        return bytes;
    };
    const Bytes fullFrame{0x32, 0x0c, 0x00, 0x01, 0x00};
    const Bytes displayHeight{0x32, 0x08, 0x00, 0x04, 0, 0, 0, 180};
    const Bytes fieldHeight{0x32, 0x08, 0x00, 0x04, 0, 0, 0, 90};
    const Bytes displayWidth{0x32, 0x09, 0x00, 0x04, 0, 0, 0x01, 0x40};
    const Bytes noWidth{0x32, 0x09, 0x00, 0x04, 0, 0, 0, 0};
    // Separate fields of 90 lines each; a segmented frame the same.
    for (const std::uint8_t fields : {std::uint8_t{1}, std::uint8_t{4}}) {
        const Bytes layout{0x32, 0x0c, 0x00, 0x01, fields};
        WriteBytes(path, patched(displayHeight, fieldHeight, patched(fullFrame, layout, plain)));
        ASSERT_TRUE(reader.Open(path));
        EXPECT_EQ(reader.Facts().displayHeight, 180) << int{fields};
        EXPECT_EQ(reader.Facts().displayWidth, 320);
    }
    // A single field (2) is one field's height.
    const Bytes singleField{0x32, 0x0c, 0x00, 0x01, 2};
    WriteBytes(path, patched(displayHeight, fieldHeight, patched(fullFrame, singleField, plain)));
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(reader.Facts().displayHeight, 90);
    // No display width: the stored size.
    WriteBytes(path, patched(displayWidth, noWidth, plain));
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(reader.Facts().displayWidth, 320);
    EXPECT_EQ(reader.Facts().displayHeight, 192);
}

TEST_F(MxfReaderTest, SoundFilesGiveChannelsSampleRateSamplesAndTheirVideoRate) {
    struct Case {
        int bits, num, den;
        std::int64_t samples;
    };
    // Whole frames of the timecode's rate: the muxer declares its duration
    // in those (30 frames of 29.97 are 48,048 samples).
    for (const Case& c :
         {Case{16, 25, 1, 96000}, Case{24, 30000, 1001, 48048}, Case{16, 24000, 1001, 2 * 48048}}) {
        MxfSoundDesc desc;
        desc.clipName = "Voice";
        desc.projectName = "Harbour Lights";
        desc.bitsPerSample = c.bits;
        desc.samples = c.samples;
        desc.timecodeRateNumerator = c.num;
        desc.timecodeRateDenominator = c.den;
        const std::string path = dir.file("sound_A1.mxf");
        ASSERT_TRUE(WriteMxfSoundFile(path, desc));
        ASSERT_TRUE(reader.Open(path));
        const MxfFacts& facts = reader.Facts();
        EXPECT_EQ(facts.clipName, "Voice");
        EXPECT_EQ(facts.projectName, "Harbour Lights");
        EXPECT_TRUE(facts.opAtom);
        EXPECT_FALSE(facts.hasPicture);
        EXPECT_TRUE(facts.hasSound);
        EXPECT_EQ(facts.codecShortName, c.bits == 24 ? "pcm_s24le" : "pcm_s16le");
        EXPECT_EQ(facts.channels, 1);
        EXPECT_EQ(facts.sampleRate, 48000);
        EXPECT_EQ(facts.sampleCount, c.samples);
        EXPECT_EQ(std::int64_t{facts.timecodeRateNumerator} * c.den,
                  std::int64_t{c.num} * facts.timecodeRateDenominator);
        EXPECT_EQ(facts.width, 0);
        EXPECT_EQ(facts.frameCount, 0);
        EXPECT_FALSE(reader.DecodeFrame(0));

        // Without a video rate among the tracks' edit rates (each turned
        // into 48000/1 in place), the duration is told at 25.
        std::ifstream in(path, std::ios::binary);
        Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        const Bytes editRate{0x4b, 0x01, 0x00, 0x08};
        for (auto it = std::search(bytes.begin(), bytes.end(), editRate.begin(), editRate.end());
             it != bytes.end();
             it = std::search(it + 1, bytes.end(), editRate.begin(), editRate.end())) {
            const Bytes samples{0, 0, 0xbb, 0x80, 0, 0, 0, 1};
            std::copy(samples.begin(), samples.end(), it + 4);
        }
        WriteBytes(path, bytes);
        ASSERT_TRUE(reader.Open(path));
        EXPECT_EQ(reader.Facts().timecodeRateNumerator, 25);
        EXPECT_EQ(reader.Facts().timecodeRateDenominator, 1);
    }
}

} // namespace
