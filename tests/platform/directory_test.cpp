#include "platform/directory.h"
#include "platform/fileoperation.h"
#include "platform/volumes.h"

#include "builders/mediafolder.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <set>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

namespace {

const platform::DirEntry* entryNamed(const std::vector<platform::DirEntry>& entries,
                                     const std::string& name) {
    for (const auto& e : entries) {
        if (e.name == name)
            return &e;
    }
    return nullptr;
}

TEST(Directory, ListsEntriesWithTheirFacts) {
    TempDir dir;
    MakeFile(dir.file("clip.omf"), 1234);
    MakeFile(dir.file(".hidden"), 1);
    MakeFolder(dir.file("sub"));
    MakeFile(dir.file("locked.omf"), 3);
    ::chmod(dir.file("locked.omf").c_str(), 0444);
    std::filesystem::create_symlink(dir.file("clip.omf"), dir.file("link.omf"));

    std::vector<platform::DirEntry> entries;
    int error = 0;
    ASSERT_TRUE(platform::ListDirectory(dir.path(), entries, error));
    EXPECT_EQ(entries.size(), 7u); // ".", ".." and five entries
    ASSERT_NE(entryNamed(entries, "."), nullptr);
    EXPECT_EQ(entryNamed(entries, "..")->attributes, platform::kAttrDirectory);
    const auto* clip = entryNamed(entries, "clip.omf");
    EXPECT_EQ(clip->size, 1234u);
    EXPECT_EQ(clip->attributes, 0u);
    EXPECT_GT(clip->creationTime, platform::FileTimeFromUnix(1600000000, 0));
    EXPECT_EQ(entryNamed(entries, ".hidden")->attributes, platform::kAttrHidden);
    EXPECT_EQ(entryNamed(entries, "sub")->attributes, platform::kAttrDirectory);
    EXPECT_EQ(entryNamed(entries, "sub")->size, 0u);
    const auto* link = entryNamed(entries, "link.omf");
    EXPECT_TRUE(link->isLink);
    EXPECT_EQ(link->size, 1234u);
    if (::geteuid() != 0) { // root may write anything
        EXPECT_EQ(entryNamed(entries, "locked.omf")->attributes, platform::kAttrReadOnly);
    }

    EXPECT_FALSE(platform::ListDirectory(dir.file("nothing"), entries, error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_TRUE(entries.empty());

    EXPECT_EQ(platform::FileTimeFromUnix(0, 0), 116444736000000000u);
    EXPECT_EQ(platform::FileTimeFromUnix(1, 999), 116444736010000009u);
    EXPECT_EQ(platform::FolderOf("/a/b/c"), "/a/b");
    EXPECT_EQ(platform::FolderOf("/a"), "/");
    EXPECT_EQ(platform::JoinPath("/", "x"), "/x");
    EXPECT_EQ(platform::JoinPath("/m", "x"), "/m/x");
}

// Listed in time, batch by batch, a folder of more entries than a batch
// holds gives what one plain listing gives, in the same order; a folder that
// cannot be listed fails the same.
TEST(Directory, AListingInTimeGivesWhatAPlainListingGives) {
    TempDir dir;
    for (int i = 0; i < 2100; ++i)
        MakeFile(dir.file("f" + std::to_string(i) + ".omf"), static_cast<std::size_t>(i));
    MakeFolder(dir.file("sub"));
    std::vector<platform::DirEntry> plain;
    std::vector<platform::DirEntry> inTime;
    int error = 0;
    ASSERT_TRUE(platform::ListDirectory(dir.path(), plain, error));
    std::optional<platform::FolderStamp> before;
    ASSERT_TRUE(platform::ListDirectoryInTime(dir.path(), inTime, error, platform::ListDetail::Full,
                                              &before));
    EXPECT_TRUE(before && before == platform::FolderStampInTime(dir.path()));
    ASSERT_EQ(inTime.size(), plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(inTime[i].name, plain[i].name);
        EXPECT_EQ(inTime[i].size, plain[i].size);
        EXPECT_EQ(inTime[i].attributes, plain[i].attributes);
    }
    EXPECT_FALSE(platform::ListDirectoryInTime(dir.file("none"), inTime, error,
                                               platform::ListDetail::Full, &before));
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(before);
    EXPECT_TRUE(inTime.empty());
}

TEST(Volumes, ReadsMountedVolumesWithoutPseudoFileSystems) {
    const std::string text = "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                             "23 22 0:5 / /proc rw - proc proc rw\n"
                             "24 22 0:6 / /sys rw - sysfs sysfs rw\n"
                             "30 22 8:17 / /media/user/MEDIA\\040DRIVE rw - exfat /dev/sdb1 rw\n"
                             "31 22 0:40 / /mnt/share rw - cifs //server/share rw\n"
                             "32 22 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
                             "33 22 8:1 / /media/user/MEDIA\\040DRIVE rw - exfat /dev/sdb1 rw\n"
                             "34 22 0:7 / /run/media rw - tmpfs tmpfs rw\n"
                             "35 22 0:8 / /dev/pts rw - devpts devpts rw\n"
                             "36 22 0:9 / /dev rw - devtmpfs udev rw\n"
                             "37 22 0:10 / /dev/shm rw - tmpfs tmpfs rw\n"
                             "38 22 0:11 / /sys/fs/cgroup rw - tmpfs tmpfs rw\n"
                             "39 22 0:12 / /run rw - tmpfs tmpfs rw\n"
                             "40 22 0:13 / /run/user/1000 rw - tmpfs tmpfs rw\n"
                             "41 22 8:33 / /run/media/user/CARD rw - vfat /dev/sdc1 rw\n"
                             "42 22 0:14 / /runs rw - tmpfs tmpfs rw\n"
                             "43 22 0:15 / /proc/sys/fs/binfmt_misc rw - tmpfs tmpfs rw\n"
                             "garbage\n";
    const auto volumes = platform::ParseMountInfo(text);
    // Nothing below /proc, /sys, /dev or /run is a drive, but the removable
    // drives under /run/media, whatever their file system.
    std::vector<std::string> roots;
    for (const platform::Volume& v : volumes)
        roots.push_back(v.root);
    EXPECT_EQ(roots, (std::vector<std::string>{"/", "/media/cdrom", "/media/user/MEDIA DRIVE",
                                               "/mnt/share", "/run/media", "/run/media/user/CARD",
                                               "/runs"}));
    ASSERT_EQ(volumes.size(), 7u);
    EXPECT_EQ(volumes[0].root, "/");
    EXPECT_EQ(volumes[1].root, "/media/cdrom");
    EXPECT_EQ(volumes[1].type, platform::VolumeType::CdRom);
    EXPECT_EQ(volumes[2].root, "/media/user/MEDIA DRIVE");
    EXPECT_EQ(volumes[2].label, "MEDIA DRIVE");
    EXPECT_EQ(volumes[2].type, platform::VolumeType::Fixed);
    EXPECT_EQ(volumes[3].type, platform::VolumeType::Network);
    // A memory-backed volume can hold media like any other.
    EXPECT_EQ(volumes[4].root, "/run/media");
    EXPECT_EQ(volumes[4].type, platform::VolumeType::Fixed);
    EXPECT_FALSE(platform::MountedVolumes().empty());
}

TEST(Volumes, NoTwoVolumesShareAName) {
    // Names stand for drive letters: a store puts each volume's files below
    // its name.
    const std::string text = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                             "2 1 8:2 / /mnt/a/media rw - ext4 /dev/sdb1 rw\n"
                             "3 1 8:3 / /mnt/b/media rw - ext4 /dev/sdc1 rw\n"
                             "4 1 8:4 / /srv/x/a/media rw - ext4 /dev/sdd1 rw\n"
                             "5 1 8:5 / /srv/a_media rw - ext4 /dev/sde1 rw\n"
                             "6 1 8:6 / /media/DRIVE rw - ext4 /dev/sdf1 rw\n";
    const auto volumes = platform::ParseMountInfo(text);
    ASSERT_EQ(volumes.size(), 6u);
    std::set<std::string> labels;
    for (const platform::Volume& v : volumes) {
        EXPECT_TRUE(labels.insert(v.label).second) << v.root << " " << v.label;
        if (v.root != "/") {
            EXPECT_EQ(v.label.find('/'), std::string::npos) << v.label;
        }
    }
    // A name nobody else has stays the last part of the mount point.
    EXPECT_TRUE(labels.count("DRIVE"));
}

} // namespace
