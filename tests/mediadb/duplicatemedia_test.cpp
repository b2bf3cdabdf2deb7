#include "mediadb/duplicatemedia.h"

#include "builders/mediafolder.h"
#include "mediadb/mediacatalog.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <set>

namespace {

// The groups as a plain reading finds them: for every existing record, with
// a nested loop over all records, whether another existing record has its
// name and size in another folder. Each group is its (name, size) with the
// set of its folders; freed bytes are all copies but one per group.
struct PlainGroups {
    std::map<std::pair<std::string, std::uint64_t>, std::set<std::string>> groups;
    std::uint64_t freed = 0;
};

PlainGroups plainReading(const MediaCatalog& catalog) {
    PlainGroups plain;
    auto exists = [](const MediaRecord& r) { return !IsMissing(r) && !r.folder.empty(); };
    for (std::uint32_t i = 0; i < catalog.FileCount(); ++i) {
        const MediaRecord& a = *catalog.GetRecord(i);
        if (!exists(a))
            continue;
        for (std::uint32_t j = 0; j < catalog.FileCount(); ++j) {
            const MediaRecord& b = *catalog.GetRecord(j);
            if (exists(b) && a.fileName == b.fileName && a.size == b.size &&
                a.folder.view() != b.folder.view())
                plain.groups[{a.fileName.str(), a.size}].insert(a.folder.str());
        }
    }
    for (const auto& [key, folders] : plain.groups)
        plain.freed += key.second * (folders.size() - 1);
    return plain;
}

// The same shape read from the search, checking on the way that every
// group is one name and size, lists each folder once, and that groups come
// in name order.
PlainGroups searched(const MediaCatalog& catalog, const DuplicateMedia& found) {
    PlainGroups out;
    std::size_t listed = 0;
    std::pair<std::string, std::uint64_t> before;
    for (std::size_t g = 0; g < found.GroupCount(); ++g) {
        const std::vector<std::uint32_t> copies = found.Group(g);
        EXPECT_GE(copies.size(), 2u);
        const MediaRecord& first = *catalog.GetRecord(copies.front());
        const std::pair<std::string, std::uint64_t> key{first.fileName.str(), first.size};
        EXPECT_TRUE(g == 0 || before < key) << key.first;
        before = key;
        std::set<std::string>& folders = out.groups[key];
        for (const std::uint32_t index : copies) {
            const MediaRecord& r = *catalog.GetRecord(index);
            EXPECT_EQ(r.fileName.str(), key.first);
            EXPECT_EQ(r.size, key.second);
            EXPECT_FALSE(IsMissing(r));
            EXPECT_TRUE(folders.insert(r.folder.str()).second)
                << "folder twice: " << r.folder.str();
            EXPECT_EQ(found.GroupOf(index), g);
            EXPECT_EQ(found.Copies()[listed++], index);
        }
    }
    EXPECT_EQ(listed, found.Copies().size());
    out.freed = found.FreedBytes();
    return out;
}

using Groups = std::map<std::pair<std::string, std::uint64_t>, std::set<std::string>>;

TEST(DuplicateMedia, CraftedDatabasesMatchAPlainReading) {
    TempDir dir;
    LogCapture log;
    const std::string a = dir.file("A");
    const std::string b = dir.file("B");
    MakeFile(a + "/clip.omf", 100);
    MakeFile(b + "/clip.omf", 100);
    MakeFile(a + "/same.omf", 100); // one name, two sizes: no copy
    MakeFile(b + "/same.omf", 150);
    MakeFile(a + "/orphan.omf", 300); // unreferenced in A, listed in B
    MakeFile(b + "/orphan.omf", 300);
    MakeFile(b + "/gone.omf", 50); // the record of A finds no file
    // A second database of folder A names clip.omf for another project: two
    // records, one file.
    WriteDatabase(a, {{"clip.omf", "R"}});
    std::filesystem::rename(a + "/msmFMID.pmr", a + "/second.pmr");
    const std::string dbA =
        WriteDatabase(a, {{"clip.omf", "P"}, {"same.omf", "P"}, {"gone.omf", "P"}});
    const std::string dbB = WriteDatabase(
        b, {{"clip.omf", "Q"}, {"same.omf", "Q"}, {"orphan.omf", "Q"}, {"gone.omf", "Q"}});

    MediaCatalog catalog;
    // Missing files kept as rows, as with the verify option off.
    for (const std::string& db : {dbA, a + "/second.pmr", dbB})
        ASSERT_EQ(catalog.LoadDatabase(db, true, nullptr), MediaCatalog::LoadResult::Loaded);
    ASSERT_TRUE(catalog.isConsistent());
    const DuplicateMedia& found = catalog.FindDuplicates();
    EXPECT_EQ(searched(catalog, found).groups,
              (Groups{{{"clip.omf", 100}, {a, b}}, {{"orphan.omf", 300}, {a, b}}}));
    EXPECT_EQ(found.FreedBytes(), 400u);
    const PlainGroups plain = plainReading(catalog);
    EXPECT_EQ(searched(catalog, found).groups, plain.groups);
    EXPECT_EQ(found.FreedBytes(), plain.freed);
    // Two records of A's clip.omf, only one of them listed, both of its
    // group: a delete of either knows the file has a copy.
    std::size_t clipsInA = 0;
    for (std::uint32_t i = 0; i < catalog.FileCount(); ++i) {
        const MediaRecord& r = *catalog.GetRecord(i);
        if (r.fileName == std::string("clip.omf") && r.folder.view() == a) {
            ++clipsInA;
            EXPECT_EQ(found.GroupOf(i), 0u);
        }
    }
    EXPECT_EQ(clipsInA, 2u);
    EXPECT_EQ(found.Copies().size(), 4u);

    // A new load forgets the search.
    EXPECT_NE(catalog.Duplicates(), nullptr);
    ASSERT_EQ(catalog.LoadDatabase(dbB, true, nullptr), MediaCatalog::LoadResult::Loaded);
    EXPECT_EQ(catalog.Duplicates(), nullptr);
    catalog.FindDuplicates();
    catalog.Reset();
    EXPECT_EQ(catalog.Duplicates(), nullptr);
}

TEST(DuplicateMedia, RandomCatalogsMatchAPlainReading) {
    std::mt19937 random(20261210);
    for (int round = 0; round < 20; ++round) {
        MediaCatalog catalog;
        const int records = 50 + static_cast<int>(random() % 400);
        for (int i = 0; i < records; ++i) {
            MediaRecord r{};
            // Few names, sizes and folders, so that they meet often; names
            // of one project never repeat, so projects are many.
            r.projectName.SetWhole("P" + std::to_string(i));
            r.fileName.SetWhole("f" + std::to_string(random() % 12) + ".omf");
            r.size = random() % 3;
            if (random() % 8 != 0)
                r.folder.SetWhole("/m/" + std::to_string(random() % 4));
            if (random() % 6 == 0)
                r.attributes = kFileMissing;
            catalog.AddRecord(r, true);
        }
        catalog.RebuildFileArray();
        const DuplicateMedia& found = catalog.FindDuplicates();
        const PlainGroups plain = plainReading(catalog);
        const PlainGroups fast = searched(catalog, found);
        ASSERT_EQ(fast.groups, plain.groups) << "round " << round;
        ASSERT_EQ(fast.freed, plain.freed) << "round " << round;
    }
}

} // namespace
