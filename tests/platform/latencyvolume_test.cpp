#include "latencyvolume/latencyvolume.h"
#include "platform/directory.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <latch>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Run by tests/realmount.sh as root in a mount namespace of its own, with
// /dev/fuse; skipped anywhere else.
bool RunHere() {
    return std::getenv("TOLVANE_TEST_MOUNT") != nullptr &&
           std::getenv("TOLVANE_TEST_FUSE") != nullptr;
}
constexpr const char* kWhereToRun =
    "run by tests/realmount.sh, as root, in a mount namespace, with /dev/fuse";

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void SetModified(const std::string& path, time_t seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// Every entry below root with what a stat tells of it, by path inside root.
std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string path = entry.path().string();
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            tree[path] = "lstat failed";
            continue;
        }
        std::string facts =
            "mode " + std::to_string(st.st_mode) + " size " + std::to_string(st.st_size) +
            " nlink " + std::to_string(st.st_nlink) + " owner " + std::to_string(st.st_uid) + ":" +
            std::to_string(st.st_gid) + " mtime " + std::to_string(st.st_mtim.tv_sec) + "." +
            std::to_string(st.st_mtim.tv_nsec) + " ctime " + std::to_string(st.st_ctim.tv_sec) +
            "." + std::to_string(st.st_ctim.tv_nsec);
        if (S_ISLNK(st.st_mode))
            facts += " -> " + std::filesystem::read_symlink(entry.path()).string();
        tree[path.substr(root.size())] = facts;
    }
    return tree;
}

TEST(LatencyVolume, ShowsTheFolderAsItIsRefusesChangesAndGoesAwayWhileFilesAreOpen) {
    if (!RunHere())
        GTEST_SKIP() << kWhereToRun;
    TempDir source;
    TempDir dir;
    const std::string volumeRoot = dir.file("volume");
    ASSERT_EQ(::mkdir(volumeRoot.c_str(), 0755), 0);
    for (const char* folder : {"A", "A/B", "Empty", "Many"})
        ASSERT_EQ(::mkdir(source.file(folder).c_str(), 0755), 0);
    // Larger than one read and one readahead window, in a pattern that shows
    // a read answered from the wrong offset.
    std::string clip;
    for (int i = 0; clip.size() < 700 * 1000; ++i)
        clip += std::to_string(i) + ',';
    WriteFile(source.file("A/clip 1.omf"), clip);
    WriteFile(source.file("A/B/deep.mxf"), std::string(1234, 'd'));
    WriteFile(source.file("empty.txt"), "");
    ASSERT_EQ(::symlink("clip 1.omf", source.file("A/link").c_str()), 0);
    ASSERT_EQ(::chown(source.file("A/B/deep.mxf").c_str(), 1234, 5678), 0);
    ASSERT_EQ(::chmod(source.file("empty.txt").c_str(), 0600), 0);
    // More names than one answer to READDIR holds, even the largest the
    // kernel asks for: the listing is read on in several requests, from the
    // offsets the volume gave.
    const std::string longName(200, 'n');
    for (int i = 0; i < 700; ++i) {
        const std::string file = source.file("Many/" + std::to_string(i) + longName + ".mxf");
        WriteFile(file, std::string(static_cast<std::size_t>(i), 'm'));
        SetModified(file, 1600000000 + i, 123456789 - i);
    }
    SetModified(source.file("A/clip 1.omf"), 1500000000, 999999999);
    SetModified(source.file("A/link"), 1400000000, 1);

    std::optional<LatencyVolume> volume;
    volume.emplace(volumeRoot, source.path(), 100us);
    if (!volume->mounted())
        GTEST_SKIP() << "no FUSE volume can be mounted here: " << volume->failure();
    ASSERT_EQ(volume->failure(), "");

    const std::map<std::string, std::string> seen = Tree(volumeRoot);
    EXPECT_EQ(seen.size(), 708u);
    EXPECT_EQ(seen, Tree(source.path()));
    EXPECT_EQ(ReadFile(volumeRoot + "/A/clip 1.omf"), clip);
    EXPECT_EQ(ReadFile(volumeRoot + "/A/link"), clip);

    errno = 0;
    EXPECT_EQ(::open((volumeRoot + "/empty.txt").c_str(), O_WRONLY), -1);
    EXPECT_EQ(errno, EROFS);
    errno = 0;
    EXPECT_EQ(::mkdir((volumeRoot + "/A/new").c_str(), 0755), -1);
    EXPECT_EQ(errno, EROFS);
    errno = 0;
    EXPECT_EQ(::unlink((volumeRoot + "/A/B/deep.mxf").c_str()), -1);
    EXPECT_EQ(errno, EROFS);
    errno = 0;
    EXPECT_EQ(::truncate((volumeRoot + "/A/clip 1.omf").c_str(), 0), -1);
    EXPECT_EQ(errno, EROFS);
    EXPECT_EQ(ReadFile(source.file("A/clip 1.omf")), clip);

    // A file still open on the volume does not hold it up: it goes at once,
    // and the file's reads fail instead of waiting.
    const int held = ::open((volumeRoot + "/A/B/deep.mxf").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    const Clock::time_point start = Clock::now();
    volume.reset();
    EXPECT_LT(Clock::now() - start, 2s);
    char byte = 0;
    EXPECT_EQ(::read(held, &byte, 1), -1);
    ::close(held);
    struct stat mountPoint {};
    struct stat above {};
    ASSERT_EQ(::stat(volumeRoot.c_str(), &mountPoint), 0);
    ASSERT_EQ(::stat(dir.path().c_str(), &above), 0);
    EXPECT_EQ(mountPoint.st_dev, above.st_dev) << "still mounted";
}

// The mount point volumeRoot, and a folder of source holding count files,
// file i named and filled as fileOf(i) says.
template <class FileOf>
void MakeFolderOfFiles(const TempDir& source, const std::string& volumeRoot,
                       const std::string& folder, int count, FileOf fileOf) {
    ASSERT_EQ(::mkdir(volumeRoot.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(source.file(folder).c_str(), 0755), 0);
    for (int i = 0; i < count; ++i) {
        const auto [name, bytes] = fileOf(i);
        WriteFile(source.file(folder + "/" + name), bytes);
    }
}

TEST(LatencyVolume, WaitsTheLatencyBeforeEachAnswerAndServesManyRequestsAtOnce) {
    if (!RunHere())
        GTEST_SKIP() << kWhereToRun;
    // Long enough that the scheduling of a loaded two-core machine is small
    // beside it.
    constexpr auto kLatency = 20ms;
    constexpr int kCallers = 32;
    TempDir source;
    TempDir dir;
    const std::string volumeRoot = dir.file("volume");
    MakeFolderOfFiles(source, volumeRoot, "names", kCallers + 1,
                      [](int i) { return std::make_pair(std::to_string(i), std::string("x")); });
    LatencyVolume volume(volumeRoot, source.path(), kLatency);
    if (!volume.mounted())
        GTEST_SKIP() << "no FUSE volume can be mounted here: " << volume.failure();
    ASSERT_EQ(volume.failure(), "");
    struct stat st {};
    ASSERT_EQ(::stat((volumeRoot + "/names").c_str(), &st), 0);

    // One stat of a name not yet looked up: one round trip, one latency.
    const std::uint64_t before = volume.requests();
    Clock::time_point start = Clock::now();
    ASSERT_EQ(::stat((volumeRoot + "/names/0").c_str(), &st), 0);
    EXPECT_GE(Clock::now() - start, kLatency);
    EXPECT_EQ(volume.requests() - before, 1u);
    // A name that is not there costs the round trip too.
    start = Clock::now();
    EXPECT_NE(::stat((volumeRoot + "/names/missing").c_str(), &st), 0);
    EXPECT_GE(Clock::now() - start, kLatency);

    // Many callers at once, each on a name of its own in one folder: the
    // lookups are answered together, not one latency after another.
    std::latch ready(kCallers + 1);
    std::vector<int> results(kCallers, -1);
    std::vector<std::thread> callers;
    for (int i = 0; i < kCallers; ++i) {
        callers.emplace_back([&, i] {
            struct stat own {};
            ready.arrive_and_wait();
            results[static_cast<std::size_t>(i)] =
                ::stat((volumeRoot + "/names/" + std::to_string(i + 1)).c_str(), &own);
        });
    }
    start = Clock::now();
    ready.arrive_and_wait();
    for (std::thread& caller : callers)
        caller.join();
    const auto took = Clock::now() - start;
    EXPECT_EQ(results, std::vector<int>(kCallers, 0));
    EXPECT_LT(took, 8 * kLatency);
    // 32 lookups within 8 latencies: at least 4 of them were served at once.
    EXPECT_GE(volume.mostInFlight(), 4);
}

} // namespace

// A folder on a volume that answers slowly, but answers, is listed whole:
// each question to it ends in time for the deadline, however many names the
// folder has and however slowly its facts come.
TEST(LatencyVolume, AFolderOnASlowVolumeThatAnswersIsListedWhole) {
    if (!RunHere())
        GTEST_SKIP() << kWhereToRun;
    // One request at a time, 1,024 names would take 26 s.
    constexpr auto kLatency = 25ms;
    constexpr int kFiles = 1200;
    TempDir source;
    TempDir dir;
    const std::string volumeRoot = dir.file("volume");
    MakeFolderOfFiles(source, volumeRoot, "many", kFiles, [](int i) {
        return std::make_pair(std::to_string(i) + ".mxf",
                              std::string(static_cast<std::size_t>(i % 7), 'm'));
    });
    LatencyVolume volume(volumeRoot, source.path(), kLatency);
    if (!volume.mounted())
        GTEST_SKIP() << "no FUSE volume can be mounted here: " << volume.failure();
    std::vector<platform::DirEntry> entries;
    int error = 0;
    ASSERT_TRUE(platform::ListDirectoryInTime(volumeRoot + "/many", entries, error))
        << std::strerror(error);
    std::map<std::string, std::uint64_t> sizes;
    for (const platform::DirEntry& entry : entries) {
        if (entry.name != "." && entry.name != "..")
            sizes[entry.name] = entry.size;
    }
    ASSERT_EQ(sizes.size(), static_cast<std::size_t>(kFiles));
    for (int i = 0; i < kFiles; ++i)
        EXPECT_EQ(sizes[std::to_string(i) + ".mxf"], static_cast<std::uint64_t>(i % 7)) << i;
}
