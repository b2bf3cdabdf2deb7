#include "omf/omfreader.h"

#include "builders/databasebuilder.h"
#include "builders/omfbuilder.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class MediaDescriptorTest : public ::testing::Test {
protected:
    OmfReader& open(const MediaFileDesc& desc) {
        const std::string path = dir.file("media.omf");
        BuildMediaFile(desc).write(path);
        EXPECT_TRUE(reader.Open(path.c_str()));
        return reader;
    }
    std::string text(std::uint32_t (OmfReader::*query)(char*, std::uint32_t),
                     std::uint32_t size = 260) {
        std::vector<char> buffer(size);
        (reader.*query)(buffer.data(), size);
        return buffer.data();
    }

    TempDir dir;
    LogCapture log;
    OmfReader reader;
};

TEST(CompressionName, KnownCodesAndHexadecimal) {
    char buffer[30];
    EXPECT_STREQ(CompressionName(0, buffer, sizeof buffer), "Precomp?");
    EXPECT_STREQ(CompressionName(1, buffer, sizeof buffer), "AIFF");
    EXPECT_STREQ(CompressionName(75, buffer, sizeof buffer), "10:1");
    EXPECT_STREQ(CompressionName(162, buffer, sizeof buffer), "mpg30");
    EXPECT_STREQ(CompressionName(81, buffer, sizeof buffer), "51");
    EXPECT_STREQ(CompressionName(255, buffer, sizeof buffer), "ff");
    EXPECT_STREQ(CompressionName(163, buffer, sizeof buffer), "a3");
    EXPECT_STREQ(CompressionName(0xFFFFFFFF, buffer, sizeof buffer), "ffffffff");
}

TEST_F(MediaDescriptorTest, ReadsTheFactsOfATypicalVideoFile) {
    MediaFileDesc desc;
    desc.project = "Documentary 2007";
    desc.clipName = "Interview take 3";
    open(desc);
    EXPECT_EQ(text(&OmfReader::ProjectName, 69), "Documentary 2007");
    EXPECT_EQ(text(&OmfReader::CompositionName, 259), "Interview take 3");
    EXPECT_EQ(text(&OmfReader::SourceName), "C:\\Capture\\clip.avi");
    EXPECT_EQ(reader.ReadMediaDescriptor(), OmfReader::OtherDescriptor);
    EXPECT_STREQ(reader.CompressionText(), "JFIF");
    EXPECT_EQ(reader.CompressionCode(), 75u);
    EXPECT_EQ(reader.FrameCount(), 3);
    EXPECT_EQ(reader.MediaDataObjectId(), 40u);
    EXPECT_EQ(reader.MediaDescriptorObjectId(), 11u);

    ASSERT_TRUE(reader.LoadFrameTable());
    const auto frames = MediaFileFrames(desc);
    for (std::uint32_t i = 0; i < 3; ++i) {
        ASSERT_EQ(reader.FrameSize(i), frames[i].size());
        std::vector<std::uint8_t> bytes(reader.FrameSize(i));
        ASSERT_TRUE(reader.ReadFrame(i, bytes.data(), static_cast<std::uint32_t>(bytes.size())));
        EXPECT_EQ(bytes, frames[i]);
        EXPECT_EQ(bytes[0], 0xFF); // a JPEG start-of-image marker
        EXPECT_EQ(bytes[1], 0xD8);
    }
    EXPECT_EQ(reader.FrameSize(3), 0u);
    EXPECT_EQ(reader.FrameSize(65539), reader.FrameSize(3)); // the index is 16-bit
}

TEST_F(MediaDescriptorTest, CompositionCountsAndMissingAttributes) {
    MediaFileDesc desc;
    desc.compositions = 0;
    desc.project.clear();
    open(desc);
    EXPECT_EQ(reader.CompositionName(nullptr, 0), 0u);
    char small[10];
    EXPECT_EQ(reader.CompositionName(small, sizeof small), 22u);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(text(&OmfReader::CompositionName), "No Compositions Found");
    char project[69];
    EXPECT_EQ(reader.ProjectName(project, sizeof project), 0u);

    desc.compositions = 2;
    open(desc);
    char buffer[40];
    EXPECT_EQ(reader.CompositionName(buffer, sizeof buffer), 13u);
    EXPECT_STREQ(buffer, "Complex File");

    // A project attribute whose name lies at a position is not recognised.
    OmfBuilder b;
    b.classId(50, "ATTB").string(50, 66135, "_PJ_LONG").string(50, 66145, "Hidden");
    b.write(dir.file("attr.omf"));
    ASSERT_TRUE(reader.Open(dir.file("attr.omf").c_str()));
    EXPECT_EQ(reader.ProjectName(project, sizeof project), 0u);
}

TEST_F(MediaDescriptorTest, AudioTapesAndUnusualDescriptors) {
    MediaFileDesc audio;
    audio.descriptorClass = "AIFD";
    open(audio);
    EXPECT_EQ(reader.ReadMediaDescriptor(), OmfReader::AiffDescriptor);
    EXPECT_EQ(reader.CompressionCode(), 1u);
    EXPECT_STREQ(reader.CompressionText(), "AIFD");

    MediaFileDesc noCode;
    noCode.compressionCode = 0;
    noCode.compressionText = std::string(20, 'c'); // too long: the class id stays
    open(noCode);
    EXPECT_EQ(reader.ReadMediaDescriptor(), OmfReader::OtherDescriptor);
    EXPECT_EQ(reader.CompressionCode(), 0u);
    EXPECT_STREQ(reader.CompressionText(), "MDES");

    MediaFileDesc tape;
    tape.descriptorClass = "MDTP";
    tape.tapeName = "TAPE 042";
    tape.sourcePath.clear();
    open(tape);
    EXPECT_EQ(text(&OmfReader::SourceName), "file source"); // the tape descriptor's own mob

    MediaFileDesc noLocator;
    noLocator.sourcePath.clear();
    open(noLocator);
    char buffer[260];
    EXPECT_EQ(reader.SourceName(buffer, sizeof buffer), 0u);

    OmfBuilder noMedia;
    noMedia.classId(5, "XXXX");
    noMedia.write(dir.file("nomedia.omf"));
    ASSERT_TRUE(reader.Open(dir.file("nomedia.omf").c_str()));
    EXPECT_EQ(reader.ReadMediaDescriptor(), OmfReader::NoDescriptor);
    EXPECT_STREQ(reader.CompressionText(), "N/A");
    EXPECT_EQ(reader.CompressionCode(), 0u);
    EXPECT_FALSE(reader.LoadFrameTable());
}

TEST_F(MediaDescriptorTest, OneFrameFilesKeepTheirTableInATrailer) {
    MediaFileDesc desc;
    desc.frames = 1;
    desc.frameIndex = false;
    desc.layout = 1;
    open(desc);
    ASSERT_EQ(reader.ReadMediaDescriptor(), OmfReader::OtherDescriptor);
    ASSERT_TRUE(reader.LoadFrameTable());
    ASSERT_EQ(reader.FrameTable().size(), 2u);
    const auto frame = MediaFileFrames(desc)[0];
    ASSERT_EQ(reader.FrameSize(0), frame.size());
    std::vector<std::uint8_t> bytes(frame.size());
    ASSERT_TRUE(reader.ReadFrame(0, bytes.data(), static_cast<std::uint32_t>(bytes.size())));
    EXPECT_EQ(bytes, frame);

    // One entry: the frame ends where the trailer begins.
    desc.layout = 0;
    open(desc);
    reader.ReadMediaDescriptor();
    ASSERT_TRUE(reader.LoadFrameTable());
    ASSERT_EQ(reader.FrameTable().size(), 1u);
    EXPECT_EQ(reader.FrameSize(0), frame.size());

    // A trailer whose count is not the expected one gives no table: the
    // file holds one entry, the layout value asks for two.
    OmfBuilder b = BuildMediaFile(desc);
    b.immediate(11, 67790, 65610, 1);
    b.write(dir.file("mismatch.omf"));
    ASSERT_TRUE(reader.Open(dir.file("mismatch.omf").c_str()));
    reader.ReadMediaDescriptor();
    EXPECT_FALSE(reader.LoadFrameTable());
    EXPECT_EQ(reader.FrameSize(0), 0u);
}

TEST_F(MediaDescriptorTest, FrameTablesThatPointOutsideTheFileGiveNoFrames) {
    MediaFileDesc desc;
    desc.jpegFrames = false;
    OmfBuilder b = BuildMediaFile(desc);
    // A second frame index object whose entries decrease and run past the end.
    std::vector<std::uint8_t> index{3, 0, 0xF0, 0xFF, 0xFF, 0x7F, 10,
                                    0, 0, 0,    0xFF, 0xFF, 0xFF, 0xFF};
    b.positioned(40, 67950, 65735, index); // replaces the good one
    b.write(dir.file("bad.omf"));
    ASSERT_TRUE(reader.Open(dir.file("bad.omf").c_str()));
    reader.ReadMediaDescriptor();
    ASSERT_TRUE(reader.LoadFrameTable());
    EXPECT_EQ(reader.FrameSize(0), 0u);
    EXPECT_EQ(reader.FrameSize(1), 0u);
    EXPECT_EQ(reader.FrameSize(2), 0u);
    std::uint8_t buffer[16];
    EXPECT_FALSE(reader.ReadFrame(0, buffer, sizeof buffer));
    EXPECT_FALSE(reader.ReadFrame(7, buffer, sizeof buffer));
}

// Mob ids a reader must look up one by one, each far from the last: a small
// file that would read its bytes thousands of times over is read about
// twice and says why it has no descriptor.
TEST_F(MediaDescriptorTest, MobIdsThatWouldReadTheFileOverAndOverAreCutShort) {
    OmfBuilder b;
    b.mobTable(omf::kPropMediaData, {{{1, 2, 3}, 50}});
    const std::uint32_t near = b.data(std::vector<std::uint8_t>(12));
    b.data(std::vector<std::uint8_t>(64 * 1024));
    const std::uint32_t far = b.data(std::vector<std::uint8_t>(12));
    for (std::uint32_t i = 0; i < 30000; ++i)
        b.raw(50, 100000 + i, omf::kTypeMobId, i % 2 == 0 ? near : far, 12);
    b.write(dir.file("ids.omf"));
    ASSERT_TRUE(reader.Open(dir.file("ids.omf").c_str()));
    const std::uint64_t opened = reader.BytesRead();
    EXPECT_EQ(reader.ReadMediaDescriptor(), OmfReader::NoDescriptor);
    EXPECT_LE(reader.BytesRead() - opened, 2 * reader.FileSize() + (16u << 20) + 4096);
    EXPECT_EQ(log.lines().back(), "Mob ids read the file over again: no media descriptor");
}

} // namespace
