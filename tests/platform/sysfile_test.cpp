#include "platform/sysfile.h"
#include "platform/systemtext.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

TEST(SysFile, RefusesWhatIsNotARegularFileWithoutBlocking) {
    TempDir dir;
    platform::SysFile f;
    platform::OpenError error;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(f.open(fifo.c_str(), 0, error));
    EXPECT_EQ(error.describe(), fifo + ": Not a regular file");
    EXPECT_FALSE(f.open(dir.path().c_str(), 0, error));
    EXPECT_EQ(error.systemCode, EISDIR);
    EXPECT_FALSE(f.open("", 0, error));
    EXPECT_FALSE(f.isOpen());
}

TEST(SysFile, PathsOverTheLimitAreRefusedNotShortened) {
    TempDir dir;
    std::string path = dir.path() + "/";
    path += std::string(259 - path.size(), 'a');
    std::ofstream(path) << "x";
    platform::SysFile f;
    platform::OpenError error;
    EXPECT_TRUE(f.open(path.c_str(), 0, error)); // 259 characters fit
    const std::string longer = path + "b";
    EXPECT_FALSE(f.open(longer.c_str(), 0, error));
    EXPECT_EQ(error.systemCode, ENAMETOOLONG);
}

TEST(SysFile, ReadsAtOffsetsAndResolvesItsPath) {
    TempDir dir;
    std::ofstream(dir.file("data")) << "0123456789";
    platform::SysFile f;
    platform::OpenError error;
    ASSERT_TRUE(f.open((dir.path() + "/./data").c_str(), 0, error));
    EXPECT_EQ(f.path(), dir.file("data"));
    EXPECT_EQ(f.length(), 10u);
    char buffer[8] = {};
    EXPECT_EQ(f.readAt(6, buffer, 8), 4u);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(f.readAt(10, buffer, 8), 0u);
    EXPECT_EQ(platform::SystemErrorText(ENOENT), "No such file or directory");
}

// Read in time, through its chunks, a file gives the very bytes a plain
// reading gives, at any offset and length, chunk borders and the end
// included; what it refuses, it refuses the same.
TEST(SysFile, ReadInTimeGivesWhatAPlainReadingGives) {
    TempDir dir;
    const std::size_t chunk = platform::SysFile::kAnsweredChunk;
    std::string bytes(2 * chunk + 1234, '\0');
    std::uint32_t seed = 7;
    for (char& c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    std::ofstream(dir.file("data"), std::ios::binary) << bytes;
    platform::SysFile plain;
    platform::SysFile inTime;
    platform::OpenError error;
    ASSERT_TRUE(plain.open(dir.file("data").c_str(), 0, error));
    ASSERT_TRUE(inTime.open(dir.file("data").c_str(), platform::SysFile::kAnswerInTime, error));
    EXPECT_EQ(inTime.length(), plain.length());
    const std::vector<std::pair<std::uint64_t, std::size_t>> reads = {
        {0, 10},         {chunk - 3, 7},         {chunk, chunk},     {5, 2 * chunk + 5000},
        {2 * chunk, 99}, {bytes.size() - 1, 10}, {bytes.size(), 10}, {bytes.size() + 7, 3},
        {17, 0},         {chunk + 1, 3 * chunk}};
    for (const auto& [offset, count] : reads) {
        std::string a(count, '\0');
        std::string b(count, '\0');
        const std::size_t gotPlain = plain.readAt(offset, a.data(), count);
        const std::size_t gotInTime = inTime.readAt(offset, b.data(), count);
        EXPECT_EQ(gotInTime, gotPlain) << offset << "+" << count;
        EXPECT_EQ(b.substr(0, gotInTime), a.substr(0, gotPlain)) << offset << "+" << count;
    }
    EXPECT_EQ(inTime.readError(), 0);

    // Read on in order, in steps that straddle chunks of every size, then
    // back at the start and on again: the chunks grow, the bytes stay.
    const std::size_t largest = platform::SysFile::kLargestAnsweredChunk;
    bytes.resize(3 * largest + 777);
    for (std::size_t i = 2 * chunk + 1234; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 31 + (i >> 9));
    std::ofstream(dir.file("large"), std::ios::binary) << bytes;
    ASSERT_TRUE(inTime.open(dir.file("large").c_str(), platform::SysFile::kAnswerInTime, error));
    for (const std::uint64_t first : {std::uint64_t{0}, std::uint64_t{12345}}) {
        std::string read;
        std::string step(10007, '\0');
        for (std::uint64_t at = first;;) {
            const std::size_t got = inTime.readAt(at, step.data(), step.size());
            read.append(step, 0, got);
            at += got;
            if (got < step.size())
                break;
        }
        EXPECT_TRUE(read == bytes.substr(first)) << "from " << first;
    }
    EXPECT_LT(inTime.systemReads(), 2 * bytes.size() / chunk / 4);
    EXPECT_GE(inTime.systemReads(), 2 * (bytes.size() / largest));
    EXPECT_EQ(inTime.readError(), 0);
    EXPECT_FALSE(inTime.open(dir.path().c_str(), platform::SysFile::kAnswerInTime, error));
    EXPECT_EQ(error.systemCode, EISDIR);
    EXPECT_FALSE(inTime.open(dir.file("none").c_str(), platform::SysFile::kAnswerInTime, error));
    EXPECT_EQ(error.systemCode, ENOENT);
}

} // namespace
