#include "builders/databasebuilder.h"
#include "io/bufferedfile.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using Lines = std::vector<std::string>;

std::vector<std::uint8_t> countingBytes(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

class BufferedFileTest : public ::testing::Test {
protected:
    std::string makeFile(const std::vector<std::uint8_t>& bytes, const std::string& name = "f") {
        const std::string path = dir.file(name);
        WriteBytes(path, bytes);
        return path;
    }
    TempDir dir;
    LogCapture log;
};

TEST_F(BufferedFileTest, ReadsStopAtTheEndOfAShortFileWithoutAMessage) {
    const auto bytes = countingBytes(10);
    BufferedFile f;
    ASSERT_TRUE(f.Open(makeFile(bytes).c_str(), 0));
    EXPECT_EQ(f.GetLength(), 10u);
    std::uint8_t out[100] = {};
    EXPECT_EQ(f.Read(out, 4), 4u);
    EXPECT_TRUE(std::equal(out, out + 4, bytes.begin()));
    EXPECT_EQ(f.Read(out, 100), 6u);
    EXPECT_TRUE(std::equal(out, out + 6, bytes.begin() + 4));
    EXPECT_EQ(f.Read(out, 1), 0u);
    EXPECT_EQ(f.GetPosition(), 10u);
    EXPECT_EQ(log.lines(), Lines{});
}

TEST_F(BufferedFileTest, SeekModesClampAndRefuseAsDocumented) {
    BufferedFile f;
    ASSERT_TRUE(f.Open(makeFile(countingBytes(100)).c_str(), 0));
    EXPECT_EQ(f.Seek(40, BufferedFile::SeekMode::Begin), 40u);
    EXPECT_EQ(f.Seek(-1, BufferedFile::SeekMode::Begin), 40u);
    EXPECT_EQ(f.Seek(200, BufferedFile::SeekMode::Begin), 100u);
    EXPECT_EQ(f.Seek(3, BufferedFile::SeekMode::Begin), 3u);
    EXPECT_EQ(f.Seek(0, BufferedFile::SeekMode::Current), 3u);
    EXPECT_EQ(f.Seek(-5, BufferedFile::SeekMode::Current), 0u);
    EXPECT_EQ(f.Seek(7, BufferedFile::SeekMode::Current), 7u);
    EXPECT_EQ(f.Seek(1000, BufferedFile::SeekMode::Current), 100u);
    EXPECT_EQ(f.Seek(1, BufferedFile::SeekMode::End), 100u);
    EXPECT_EQ(f.Seek(-30, BufferedFile::SeekMode::End), 70u);
    EXPECT_EQ(f.Seek(-1000, BufferedFile::SeekMode::End), 0u);
    EXPECT_EQ(f.Seek(12, BufferedFile::SeekMode::Begin), 12u);
    EXPECT_EQ(f.GetPosition(), 12u);
    EXPECT_EQ(log.lines(), (Lines{"Bad seek", "Bad seek", "Bad seek"}));
}

TEST_F(BufferedFileTest, AClosedReaderReadsNothingAndRefusesSeeks) {
    BufferedFile f;
    std::uint8_t out[4];
    EXPECT_EQ(f.Read(out, 4), 0u);
    EXPECT_EQ(f.GetLength(), 0u);
    EXPECT_EQ(f.GetPosition(), 0u);
    EXPECT_EQ(log.lines(), Lines{});
    EXPECT_EQ(f.Seek(5, BufferedFile::SeekMode::Begin), 0u);
    EXPECT_EQ(log.lines(), Lines{"Bad seek"});
}

TEST_F(BufferedFileTest, FailedOpensWriteTwoLinesAndLeaveTheReaderClosed) {
    BufferedFile f;
    const std::string missing = dir.file("missing.pmr");
    EXPECT_FALSE(f.Open(missing.c_str(), 0));
    EXPECT_EQ(f.GetLength(), 0u);
    EXPECT_FALSE(f.Open(dir.path().c_str(), 0));
    EXPECT_FALSE(f.Open(std::string(300, 'x').c_str(), 0));
    const Lines lines = log.lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "Orrin File->Open error : ");
    EXPECT_EQ(lines[1], missing + ": No such file or directory");
    EXPECT_EQ(lines[2], "Orrin File->Open error : ");
    EXPECT_EQ(lines[3], dir.path() + ": Is a directory");
    EXPECT_NE(lines[5].find("File name too long"), std::string::npos);
    EXPECT_FALSE(f.IsOpen());
}

TEST_F(BufferedFileTest, OpeningASecondFileClosesTheFirst) {
    BufferedFile f;
    ASSERT_TRUE(f.Open(makeFile({1, 2, 3}, "a").c_str(), 0));
    std::uint8_t b = 0;
    ASSERT_EQ(f.Read(&b, 1), 1u);
    ASSERT_TRUE(f.Open(makeFile({9, 8}, "b").c_str(), 0));
    EXPECT_EQ(f.GetPosition(), 0u);
    EXPECT_EQ(f.GetLength(), 2u);
    EXPECT_EQ(f.GetFilePath(), dir.file("b"));
    ASSERT_EQ(f.Read(&b, 1), 1u);
    EXPECT_EQ(b, 9);
}

TEST_F(BufferedFileTest, TwoByteReadsAtEveryOffsetCostOneSystemReadPerWindow) {
    const auto bytes = countingBytes(64 * 1024 + 13);
    BufferedFile f;
    ASSERT_TRUE(f.Open(makeFile(bytes).c_str(), 0));
    for (std::size_t p = 0; p + 2 <= bytes.size(); ++p) {
        f.Seek(static_cast<std::int64_t>(p), BufferedFile::SeekMode::Begin);
        std::uint8_t two[2];
        ASSERT_EQ(f.Read(two, 2), 2u);
        ASSERT_EQ(two[0], bytes[p]);
        ASSERT_EQ(two[1], bytes[p + 1]);
    }
    EXPECT_LE(f.SystemReads(), bytes.size() / 2048 + 2);
    // Each byte came from the system once, but for the last window's overlap.
    EXPECT_GE(f.BytesRead(), bytes.size());
    EXPECT_LE(f.BytesRead(), bytes.size() + 2048);
}

TEST_F(BufferedFileTest, ReadsAcrossTheWindowEndAndLargerThanTheWindow) {
    const auto bytes = countingBytes(9000);
    BufferedFile f;
    ASSERT_TRUE(f.Open(makeFile(bytes).c_str(), 0));
    std::vector<std::uint8_t> out(5000);
    ASSERT_EQ(f.Read(out.data(), 1), 1u);
    f.Seek(2047, BufferedFile::SeekMode::Begin);
    const auto before = f.SystemReads();
    ASSERT_EQ(f.Read(out.data(), 2), 2u);
    EXPECT_EQ(f.SystemReads(), before + 1);
    EXPECT_EQ(out[0], bytes[2047]);
    EXPECT_EQ(out[1], bytes[2048]);

    f.Seek(0, BufferedFile::SeekMode::Begin);
    ASSERT_EQ(f.Read(out.data(), 1), 1u);
    f.Seek(100, BufferedFile::SeekMode::Begin);
    ASSERT_EQ(f.Read(out.data(), 5000), 5000u);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), bytes.begin() + 100));
    EXPECT_EQ(f.GetPosition(), 5100u);
}

// Random seeks and reads compared with the same reads from memory.
TEST_F(BufferedFileTest, AgreesWithPlainReadsUnderRandomAccess) {
    const auto bytes = countingBytes(20000);
    BufferedFile f;
    ASSERT_TRUE(f.Open(makeFile(bytes).c_str(), 0));
    std::mt19937 rng(7);
    std::uint64_t pos = 0;
    std::vector<std::uint8_t> out(6000);
    for (int step = 0; step < 20000; ++step) {
        if (rng() % 3 == 0) {
            pos = rng() % (bytes.size() + 50);
            pos = std::min<std::uint64_t>(pos, bytes.size());
            ASSERT_EQ(f.Seek(static_cast<std::int64_t>(pos), BufferedFile::SeekMode::Begin), pos);
        }
        const auto n = static_cast<std::uint32_t>(rng() % 4 == 0 ? rng() % 6000 : rng() % 300);
        const std::uint32_t expected =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(n, bytes.size() - pos));
        ASSERT_EQ(f.Read(out.data(), n), expected) << "at " << pos << " n " << n;
        ASSERT_TRUE(std::equal(out.begin(), out.begin() + expected, bytes.begin() + pos));
        pos += expected;
        ASSERT_EQ(f.GetPosition(), pos);
    }
    EXPECT_EQ(log.lines(), Lines{});
}

} // namespace
