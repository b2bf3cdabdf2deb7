#include "platform/sysfile.h"
#include "platform/systemtext.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sys/stat.h>

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
    ASSERT_TRUE(f.open((dir.path() + "/./data").c_str(), 64, error));
    EXPECT_EQ(f.path(), dir.file("data"));
    EXPECT_EQ(f.length(), 10u);
    char buffer[8] = {};
    EXPECT_EQ(f.readAt(6, buffer, 8), 4u);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(f.readAt(10, buffer, 8), 0u);
    EXPECT_EQ(f.movePointer(3), 3u);
    EXPECT_EQ(platform::SystemErrorText(ENOENT), "No such file or directory");
}

} // namespace
