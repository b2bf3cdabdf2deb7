#include "mediadb/mediacatalog.h"

#include "builders/mediafolder.h"
#include "support/logcapture.h"
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
std::vector<std::string> contents(const MediaCatalog& catalog) {
    std::vector<std::string> out;
    for (const auto& [name, project] : catalog.Projects()) {
        std::string line = project.name + ":";
        for (const auto& [fileName, record] : project.files)
            line += " " + std::string(record.fileName);
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

    EXPECT_EQ(catalog.LoadDatabase(db1, false, nullptr), MediaCatalog::LoadResult::Loaded);
    EXPECT_TRUE(catalog.isConsistent());
    EXPECT_EQ(catalog.LoadDatabase(db2, false, nullptr), MediaCatalog::LoadResult::Loaded);
    EXPECT_TRUE(catalog.isConsistent());

    // The first record of a name stays; other.omf is missing in folder 2.
    EXPECT_EQ(contents(catalog), (Lines{"P: clip.omf", "Q: clip.omf"}));
    EXPECT_EQ(catalog.FileCount(), 2u);
    EXPECT_EQ(catalog.ProjectCount(), 2u);
    EXPECT_EQ(catalog.TotalSize(), 200u);
    const MediaRecord* clip = catalog.FindFileByName("clip.omf");
    ASSERT_NE(clip, nullptr);
    EXPECT_STREQ(clip->projectName, "P");
    EXPECT_EQ(clip->size, 100u);
    EXPECT_EQ(std::string(clip->folder), folder("1"));
    EXPECT_EQ(catalog.FindFileByName("other.omf"), nullptr);

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
    // A copy being written, or left by a stopped run, is no media file yet.
    MakeFile(folder("m/.tolvane-copy-123@host-AbC123"), 40);
    const std::string db = WriteDatabase(folder("m"), {{"A.omf", "P"}, {"clip.omf", "P"}});
    ASSERT_EQ(catalog.LoadDatabase(db, false, nullptr), MediaCatalog::LoadResult::Loaded);
    std::vector<std::string> got = contents(catalog);
    std::sort(got.begin(), got.end());
    // clip.omf does not match CLIP.OMF: the record is missing, the file unreferenced.
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], "P: A.omf");
    EXPECT_TRUE(got[0] == "**UNREFERENCED FILES: B.omf CLIP.OMF" ||
                got[0] == "**UNREFERENCED FILES: CLIP.OMF B.omf")
        << got[0];
    const MediaRecord* b = catalog.FindFileByName("B.omf");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->projectNameLength, 20u);
    EXPECT_EQ(b->size, 20u);
    EXPECT_TRUE(catalog.isConsistent());
}

TEST_F(MediaCatalogTest, MissingFilesAreDroppedOrKept) {
    MakeFile(folder("m/here.omf"), 5);
    const std::string db = WriteDatabase(folder("m"), {{"gone.omf", "Lost"}, {"here.omf", "P"}});
    ASSERT_EQ(catalog.LoadDatabase(db, false, nullptr), MediaCatalog::LoadResult::Loaded);
    EXPECT_EQ(contents(catalog), (Lines{"P: here.omf"}));
    EXPECT_EQ(catalog.GetRecord(0)->projectNumber, 0u);

    catalog.Reset();
    EXPECT_EQ(catalog.FileCount(), 0u);
    EXPECT_EQ(catalog.GetRecord(0), nullptr);
    ASSERT_EQ(catalog.LoadDatabase(db, true, nullptr), MediaCatalog::LoadResult::Loaded);
    ASSERT_NE(catalog.FindFileByName("gone.omf"), nullptr);
    const MediaRecord& gone = *catalog.FindFileByName("gone.omf");
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
    EXPECT_EQ(catalog.LoadDatabase("", false, nullptr), MediaCatalog::LoadResult::EmptyPath);
    EXPECT_EQ(catalog.LoadDatabase(folder("small/msmFMID.pmr"), false, nullptr),
              MediaCatalog::LoadResult::TooSmall);
    EXPECT_EQ(catalog.LoadDatabase(folder("none/msmFMID.pmr"), false, nullptr),
              MediaCatalog::LoadResult::CannotOpen);
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
    ASSERT_EQ(catalog.LoadDatabase(db, false, &spy), MediaCatalog::LoadResult::Loaded);
    EXPECT_EQ(spy.texts, (Lines{"Indexing Files...", folder("m")}));
    EXPECT_EQ(spy.steps, (std::vector<std::uint64_t>{64}));
    ASSERT_EQ(catalog.Projects().size(), 1u);
    EXPECT_EQ(catalog.Projects().begin()->value.name, longName);
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
    EXPECT_EQ(index.find("b.omf")->folder.str(), folder("t/x/y"));
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
    EXPECT_EQ(index.find("a.omf")->folder.str(), size == 1 ? folder("t") : folder("t/x"));
    // One more folder indexed adds to what the tree put there; a name met
    // again takes its facts.
    MakeFile(folder("u/a.omf"), 9);
    MakeFile(folder("u/u.omf"), 4);
    EXPECT_EQ(catalog.IndexFolder(folder("u")), 0);
    ASSERT_NE(index.find("b.omf"), nullptr);
    ASSERT_NE(index.find("u.omf"), nullptr);
    EXPECT_EQ(index.find("a.omf")->size, 9u);
    EXPECT_EQ(index.find("a.omf")->folder.str(), folder("u"));
}

TEST_F(MediaCatalogTest, LinksCountAsWhereTheDatabaseIsListed) {
    namespace fs = std::filesystem;
    // The database is reached through a link in another folder: the media
    // beside the listed database are matched, not those beside its target.
    MakeFile(folder("real/clip.omf"), 7);
    const std::string db = WriteDatabase(folder("real"), {{"clip.omf", "P"}, {"here.omf", "P"}});
    MakeFile(folder("listed/here.omf"), 3);
    fs::create_symlink(db, folder("listed/msmFMID.pmr"));
    // A link that leads nowhere is no file: its record is missing.
    fs::create_symlink(folder("nowhere.omf"), folder("listed/clip.omf"));
    ASSERT_EQ(catalog.LoadDatabase(folder("listed/msmFMID.pmr"), true, nullptr),
              MediaCatalog::LoadResult::Loaded);
    const MediaRecord* here = catalog.FindFileByName("here.omf");
    ASSERT_NE(here, nullptr);
    EXPECT_EQ(std::string(here->folder), folder("listed"));
    EXPECT_EQ(here->size, 3u);
    const MediaRecord* clip = catalog.FindFileByName("clip.omf");
    ASSERT_NE(clip, nullptr);
    EXPECT_EQ(clip->attributes, -1);
    EXPECT_STREQ(clip->folder, "");
    EXPECT_EQ(catalog.FileCount(), 2u); // no unreferenced files: the link is no file
    EXPECT_EQ(catalog.ProjectCount(), 1u);
    EXPECT_TRUE(catalog.isConsistent());
}

} // namespace

namespace {

TEST(RecordText, KeepsTheLimitsAndCuttingRulesOfItsField) {
    RecordText<8> field; // seven bytes and a terminator
    EXPECT_TRUE(field.SetWhole("1234567"));
    EXPECT_EQ(field.view(), "1234567");
    EXPECT_FALSE(field.SetWhole("12345678"));
    EXPECT_TRUE(field.empty()); // never cut short
    EXPECT_STREQ(field.c_str(), "");

    // Cut to fit, never inside a character: "é" is two bytes at 6 and 7.
    field.Set("abcdef\xC3\xA9xyz");
    EXPECT_EQ(field.view(), "abcdef");
    field.Set("abcde\xC3\xA9xyz");
    EXPECT_EQ(field.view(), "abcde\xC3\xA9");

    // A shared text that does not fit leaves the field empty too; one that
    // fits is the same text, not a copy.
    const SharedText longer("12345678");
    EXPECT_FALSE(field.Share(longer));
    EXPECT_TRUE(field.empty());
    const SharedText fits("folder");
    EXPECT_TRUE(field.Share(fits));
    EXPECT_TRUE(field.shared().sharesWith(fits));

    // Copies share; the text lives as long as any holder.
    RecordText<8> copy;
    {
        RecordText<8> source;
        source.SetWhole("clip");
        copy = source;
        EXPECT_TRUE(copy.shared().sharesWith(source.shared()));
    }
    EXPECT_EQ(copy.view(), "clip");
}

} // namespace
