#include "mediadb/mediacatalog.h"

#include "support/logcapture.h"
#include "support/mediafolder.h"
#include "support/progressspy.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <list>
#include <random>

namespace {

using Lines = std::vector<std::string>;

// Projects and their files in the catalog's order, as "project: file file".
std::vector<std::string> contents(MediaCatalog& catalog) {
    std::vector<std::string> out;
    for (bool more = catalog.FirstProject(); more; more = catalog.NextProject()) {
        const std::string name = catalog.CurrentProject()->name;
        std::string line = name + ":";
        for (bool f = catalog.FirstFileOfProject(name); f; f = catalog.NextFileOfProject())
            line += " " + std::string(catalog.CurrentFile()->fileName);
        out.push_back(line);
    }
    return out;
}

class MediaCatalogTest : public ::testing::Test {
protected:
    std::string folder(const std::string& name) { return dir.file(name); }

    TempDir dir;
    LogCapture log;
    MediaCatalog catalog;
};

TEST_F(MediaCatalogTest, MergesProjectsAcrossDatabasesAndCountsDuplicates) {
    MakeFile(folder("1/clip.omf"), 100);
    MakeFile(folder("2/clip.omf"), 50);
    const std::string db1 = WriteDatabase(folder("1"), {{"clip.omf", "P"}, {"clip.omf", "Q"}});
    const std::string db2 = WriteDatabase(folder("2"), {{"clip.omf", "P"}, {"other.omf", "P"}});

    EXPECT_EQ(catalog.LoadDatabase(db1.c_str(), false, nullptr), MediaCatalog::Loaded);
    EXPECT_TRUE(catalog.isConsistent());
    EXPECT_EQ(catalog.LoadDatabase(db2.c_str(), false, nullptr), MediaCatalog::Loaded);
    EXPECT_TRUE(catalog.isConsistent());

    // The first record of a name stays; other.omf is missing in folder 2.
    EXPECT_EQ(contents(catalog), (Lines{"P: clip.omf", "Q: clip.omf"}));
    EXPECT_EQ(catalog.FileCount(), 2u);
    EXPECT_EQ(catalog.ProjectCount(), 2u);
    EXPECT_EQ(catalog.TotalSize(), 200u);
    ASSERT_TRUE(catalog.FindFileByName("clip.omf"));
    EXPECT_STREQ(catalog.FoundFile()->projectName, "P");
    EXPECT_EQ(catalog.FoundFile()->size, 100u);
    EXPECT_EQ(std::string(catalog.FoundFile()->folder), folder("1"));

    EXPECT_EQ(log.lines(), (Lines{"------------<OPENING FILE>----------------", db1, "P", "Q",
                                  "------------------<OK!>-------------------",
                                  "------------<OPENING FILE>----------------", db2,
                                  "Found 1 dup(s)", "------------------<OK!>-------------------"}));
}

TEST_F(MediaCatalogTest, CollectsUnreferencedFilesOfTheDatabaseFolder) {
    MakeFile(folder("m/A.omf"), 10);
    MakeFile(folder("m/B.omf"), 20);
    MakeFile(folder("m/CLIP.OMF"), 30);
    MakeFolder(folder("m/sub"));
    MakeFile(folder("m/sub/inner.omf"));
    MakeFile(folder("m/msmMMOB.mdb"));
    const std::string db = WriteDatabase(folder("m"), {{"A.omf", "P"}, {"clip.omf", "P"}});
    ASSERT_EQ(catalog.LoadDatabase(db.c_str(), false, nullptr), MediaCatalog::Loaded);
    std::vector<std::string> got = contents(catalog);
    std::sort(got.begin(), got.end());
    // clip.omf does not match CLIP.OMF: the record is missing, the file unreferenced.
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], "P: A.omf");
    EXPECT_TRUE(got[0] == "**UNREFERENCED FILES: B.omf CLIP.OMF" ||
                got[0] == "**UNREFERENCED FILES: CLIP.OMF B.omf")
        << got[0];
    ASSERT_TRUE(catalog.FindFileByName("B.omf"));
    EXPECT_EQ(catalog.FoundFile()->projectNameLength, 20u);
    EXPECT_EQ(catalog.FoundFile()->size, 20u);
    EXPECT_TRUE(catalog.isConsistent());
}

TEST_F(MediaCatalogTest, MissingFilesAreDroppedOrKept) {
    MakeFile(folder("m/here.omf"), 5);
    const std::string db = WriteDatabase(folder("m"), {{"gone.omf", "Lost"}, {"here.omf", "P"}});
    ASSERT_EQ(catalog.LoadDatabase(db.c_str(), false, nullptr), MediaCatalog::Loaded);
    EXPECT_EQ(contents(catalog), (Lines{"P: here.omf"}));
    EXPECT_EQ(catalog.GetRecord(0)->projectNumber, 0u);

    catalog.Reset();
    EXPECT_EQ(catalog.FileCount(), 0u);
    EXPECT_EQ(catalog.GetRecord(0), nullptr);
    ASSERT_EQ(catalog.LoadDatabase(db.c_str(), true, nullptr), MediaCatalog::Loaded);
    ASSERT_TRUE(catalog.FindFileByName("gone.omf"));
    const MediaRecord& gone = *catalog.FoundFile();
    EXPECT_EQ(gone.attributes, -1);
    EXPECT_EQ(gone.size, 0u);
    EXPECT_STREQ(gone.folder, "");
    EXPECT_EQ(gone.projectNumber, 0u); // numbering starts again after Reset
    EXPECT_EQ(gone.catalogIndex, 0u);
    EXPECT_EQ(catalog.ProjectCount(), 2u);
    EXPECT_EQ(catalog.GetRecord(1)->size, 5u);
    EXPECT_EQ(catalog.GetRecord(2), nullptr);
    EXPECT_EQ(catalog.GetMediaFileSize(2), 0u);
    EXPECT_TRUE(catalog.isConsistent());
}

TEST_F(MediaCatalogTest, ReportsDatabasesThatCannotBeLoaded) {
    MakeFile(folder("small/msmFMID.pmr"), 29);
    EXPECT_EQ(catalog.LoadDatabase("", false, nullptr), MediaCatalog::EmptyPath);
    EXPECT_EQ(catalog.LoadDatabase(folder("small/msmFMID.pmr").c_str(), false, nullptr),
              MediaCatalog::TooSmall);
    EXPECT_EQ(catalog.LoadDatabase(folder("none/msmFMID.pmr").c_str(), false, nullptr),
              MediaCatalog::CannotOpen);
    const Lines lines = log.lines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[2], "File is too small");
    EXPECT_EQ(lines[5], "Orrin File->Open error : ");
    EXPECT_EQ(catalog.FileCount(), 0u);
}

TEST_F(MediaCatalogTest, ReportsProgressAndKeepsLongProjectNames) {
    const std::string longName(60, 'L');
    MakeFile(folder("m/a.omf"));
    const std::string db = WriteDatabase(folder("m"), {{"a.omf", longName}});
    ProgressSpy spy;
    ASSERT_EQ(catalog.LoadDatabase(db.c_str(), false, &spy), MediaCatalog::Loaded);
    EXPECT_EQ(spy.texts, (Lines{"Indexing Files...", folder("m")}));
    EXPECT_EQ(spy.steps, (std::vector<std::uint64_t>{64}));
    ASSERT_TRUE(catalog.FirstProject());
    EXPECT_EQ(catalog.CurrentProject()->name, longName);
}

TEST_F(MediaCatalogTest, IndexesAFolderTreeWithoutFollowingLinkedFolders) {
    MakeFile(folder("t/a.omf"), 1);
    MakeFile(folder("t/x/a.omf"), 2);
    MakeFile(folder("t/x/y/b.omf"), 3);
    std::filesystem::create_directory_symlink(folder("t"), folder("t/x/loop"));
    catalog.IndexFolderTree(folder("t"));
    const auto& index = catalog.DiskIndex();
    EXPECT_EQ(index.size(), 2u);
    ASSERT_NE(index.find("b.omf"), nullptr);
    EXPECT_EQ(*index.find("b.omf")->folder, folder("t/x/y"));
    EXPECT_EQ(index.find("x"), nullptr);
    // A folder whose path does not fit is left out with a log line, never cut short.
    std::string deep = folder("t/x");
    while (deep.size() < 262)
        deep += "/ddddddddd";
    MakeFile(deep + "/deep.omf");
    catalog.ClearDiskIndex();
    log.clear();
    catalog.IndexFolderTree(folder("t"));
    EXPECT_EQ(index.find("deep.omf"), nullptr);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("Path too long: " + folder("t/x/ddddddddd"), 0), 0u);
    // a.omf is met twice; whichever the walk met last is kept.
    const std::uint64_t size = index.find("a.omf")->size;
    EXPECT_EQ(*index.find("a.omf")->folder, size == 1 ? folder("t") : folder("t/x"));
}

// The catalog's order of projects and files is the bucket map's: compared
// with a plain list of 17 buckets, each filled at its head.
TEST(BucketMap, OrdersLikeSeventeenBucketsNewestFirst) {
    std::mt19937 rng(5);
    StringMap<int> map;
    std::array<std::list<std::string>, 17> plain;
    for (int i = 0; i < 3000; ++i) {
        std::string key = "k" + std::to_string(rng() % 2000);
        if (rng() % 7 == 0)
            key += "\xE9"; // a byte that counts as negative in the hash
        const auto [value, created] = map.insert(key);
        if (created) {
            *value = i;
            plain[StringKeyTraits::bucket(key) % 17].push_front(key);
        }
        ASSERT_EQ(created, *value == i);
    }
    std::vector<std::string> expected;
    for (const auto& bucket : plain)
        expected.insert(expected.end(), bucket.begin(), bucket.end());
    std::vector<std::string> got;
    for (const auto& [key, value] : map)
        got.push_back(key);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(StringKeyTraits::bucket("ab"), 97u * 33 + 98);
    EXPECT_EQ(StringKeyTraits::bucket("\xFF"), 0xFFFFFFFFu);
}

} // namespace
