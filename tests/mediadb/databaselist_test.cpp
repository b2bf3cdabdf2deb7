#include "mediadb/databaselist.h"

#include "io/journal.h"

#include "builders/mediafolder.h"
#include "platform/volumes.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace {

// Records the file operation's questions and errors.
class RecordingUi : public platform::FileOpUi {
public:
    platform::FileOpAnswer confirm(const std::string& text, const std::string&) override {
        messages.push_back(text);
        return platform::FileOpAnswer::Yes;
    }
    void showError(const std::string& text, const std::string&) override {
        messages.push_back(text);
    }
    std::vector<std::string> messages;
};

class DatabaseListTest : public ::testing::Test {
protected:
    std::vector<platform::Volume> volumes() const {
        return {{dir.file("c"), "c"}, {dir.file("d"), "d"}};
    }
    void discover() { list.Discover(volumes()); }

    TempDir dir;
    LogCapture log;
    DatabaseList list;
};

TEST_F(DatabaseListTest, DiscoversTheMediaFoldersOfEveryVolume) {
    MakeFile(dir.file("c/OMFI MediaFiles/msmFMID.pmr"));
    MakeFile(dir.file("d/Avid MediaFiles/MXF/1/msmFMID.pmr"));
    MakeFile(dir.file("d/Avid MediaFiles/MXF/2/msmFMID.pmr"));
    MakeFile(dir.file("d/Avid MediaFiles/MXF/3/MSMFMID.PMR"));
    MakeFile(dir.file("d/Other/msmFMID.pmr"));
    discover();
    ASSERT_EQ(list.size(), 3u);
    ASSERT_EQ(list.ShownOrder(), (std::vector<std::uint32_t>{0, 1, 2}));
    EXPECT_EQ(list.Entry(0)->path, dir.file("c/OMFI MediaFiles/msmFMID.pmr"));
    for (std::uint32_t number : list.ShownOrder())
        EXPECT_TRUE(list.Entry(number)->checked);
    EXPECT_EQ(list.Entry(3), nullptr);
    // Folders 1 and 2 come in the order the file system lists them.
    const std::string second = list.Entry(1)->path;
    EXPECT_TRUE(second == dir.file("d/Avid MediaFiles/MXF/1/msmFMID.pmr") ||
                second == dir.file("d/Avid MediaFiles/MXF/2/msmFMID.pmr"));

    // The exact name is needed to be found, not to be added by hand.
    EXPECT_TRUE(list.AddDatabase(dir.file("d/Avid MediaFiles/MXF/3/MSMFMID.PMR")));
    EXPECT_EQ(list.size(), 4u);
}

TEST_F(DatabaseListTest, OnlyFilesAreDatabasesWhateverTheirName) {
    // A folder of the database's name is searched, not listed; a pipe and a
    // link that leads nowhere are not listed; a link to a database is.
    MakeFile(dir.file("c/OMFI MediaFiles/1/msmFMID.pmr/msmFMID.pmr"));
    MakeFolder(dir.file("c/OMFI MediaFiles/2"));
    ASSERT_EQ(::mkfifo(dir.file("c/OMFI MediaFiles/2/msmFMID.pmr").c_str(), 0600), 0);
    MakeFolder(dir.file("c/OMFI MediaFiles/3"));
    std::filesystem::create_symlink(dir.file("nowhere"),
                                    dir.file("c/OMFI MediaFiles/3/msmFMID.pmr"));
    MakeFile(dir.file("d/AVID MediaFiles/MXF/1/msmFMID.pmr"));
    MakeFolder(dir.file("d/AVID MediaFiles/MXF/2"));
    std::filesystem::create_symlink(dir.file("d/AVID MediaFiles/MXF/1/msmFMID.pmr"),
                                    dir.file("d/AVID MediaFiles/MXF/2/msmFMID.pmr"));
    discover();
    std::vector<std::string> found = list.CheckedPaths();
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found,
              (std::vector<std::string>{dir.file("c/OMFI MediaFiles/1/msmFMID.pmr/msmFMID.pmr"),
                                        dir.file("d/AVID MediaFiles/MXF/1/msmFMID.pmr"),
                                        dir.file("d/AVID MediaFiles/MXF/2/msmFMID.pmr")}));
}

TEST_F(DatabaseListTest, CheckMarksStayUntilRefreshChecksAllAgain) {
    MakeFile(dir.file("c/OMFI MediaFiles/1/msmFMID.pmr"));
    MakeFile(dir.file("c/OMFI MediaFiles/2/msmFMID.pmr"));
    discover();
    const std::vector<std::uint32_t> shown = list.ShownOrder();
    ASSERT_EQ(shown.size(), 2u);
    DatabaseEntry& first = *list.Entry(shown[0]);
    first.checked = false;
    EXPECT_EQ(list.CheckedPaths(), (std::vector<std::string>{list.Entry(shown[1])->path}));
    // Adding a listed path again changes nothing, not even its check mark.
    EXPECT_FALSE(list.AddDatabase(first.path));
    EXPECT_EQ(list.CheckedPaths().size(), 1u);
    list.SetAllChecked(false);
    EXPECT_TRUE(list.CheckedPaths().empty());
    list.SetAllChecked(true);
    EXPECT_EQ(list.CheckedPaths().size(), 2u);
    first.checked = false;
    discover();
    EXPECT_EQ(list.CheckedPaths().size(), 2u);
}

TEST_F(DatabaseListTest, TwentyDatabasesKeepTheOrderOfTheirBuckets) {
    for (int i = 0; i < 20; ++i)
        list.AddDatabase("/db/" + std::to_string(i));
    // Shown, the list's order is turned round.
    std::vector<std::uint32_t> expected{16, 17, 18, 19};
    for (std::uint32_t i = 0; i < 16; ++i)
        expected.push_back(i);
    EXPECT_EQ(list.ShownOrder(), expected);
    std::vector<std::string> order = list.CheckedPaths();
    ASSERT_EQ(order.size(), 20u);
    EXPECT_EQ(order.front(), "/db/15");
    EXPECT_EQ(order[15], "/db/0");
    EXPECT_EQ(order[16], "/db/19");
    EXPECT_EQ(order.back(), "/db/16");
}

TEST_F(DatabaseListTest, AddsByHandOnceAndRefusesWhatCannotBeADatabase) {
    EXPECT_TRUE(list.AddDatabase(dir.file("x/msmFMID.pmr")));
    EXPECT_FALSE(list.AddDatabase(dir.file("x/msmFMID.pmr")));
    EXPECT_EQ(list.size(), 1u);
    EXPECT_FALSE(list.AddDatabase(""));
    EXPECT_FALSE(list.AddDatabase("/" + std::string(300, 'p')));
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(log.lines().size(), 1u); // the refused long path
}

TEST_F(DatabaseListTest, DeletesCheckedDatabasesWithTheirCompanions) {
    RecordingUi ui;
    MakeFile(dir.file("c/OMFI MediaFiles/1/msmFMID.pmr"));
    MakeFile(dir.file("c/OMFI MediaFiles/1/msmMMOB.mdb"));
    MakeFile(dir.file("c/OMFI MediaFiles/1/clip.omf"));
    MakeFile(dir.file("c/OMFI MediaFiles/2/msmFMID.pmr"));
    MakeFile(dir.file("c/OMFI MediaFiles/3/msmFMID.pmr"));
    MakeFile(dir.file("c/OMFI MediaFiles/3/msmMMOB.mdb"));
    discover();
    for (std::uint32_t number : list.ShownOrder()) {
        DatabaseEntry* entry = list.Entry(number);
        entry->checked = entry->path.find("/3/") == std::string::npos;
    }
    EXPECT_EQ(list.DeleteChecked(ui), platform::FileOpResult::Done);
    namespace fs = std::filesystem;
    EXPECT_FALSE(fs::exists(dir.file("c/OMFI MediaFiles/1/msmFMID.pmr")));
    EXPECT_FALSE(fs::exists(dir.file("c/OMFI MediaFiles/1/msmMMOB.mdb")));
    EXPECT_TRUE(fs::exists(dir.file("c/OMFI MediaFiles/1/clip.omf")));
    EXPECT_FALSE(fs::exists(dir.file("c/OMFI MediaFiles/2/msmFMID.pmr")));
    EXPECT_TRUE(fs::exists(dir.file("c/OMFI MediaFiles/3/msmFMID.pmr")));
    EXPECT_TRUE(fs::exists(dir.file("c/OMFI MediaFiles/3/msmMMOB.mdb")));
    EXPECT_TRUE(ui.messages.empty());
    // Each file deleted has its line in the journal, the run's own.
    std::vector<std::string> journaled;
    ReadJournal(JournalPath(), [&](JournalEntry&& e) {
        if (e.source.starts_with(dir.path()) && e.operation == "delete database" &&
            e.result == "done")
            journaled.push_back(e.source);
    });
    std::sort(journaled.begin(), journaled.end());
    EXPECT_EQ(journaled, (std::vector<std::string>{dir.file("c/OMFI MediaFiles/1/msmFMID.pmr"),
                                                   dir.file("c/OMFI MediaFiles/1/msmMMOB.mdb"),
                                                   dir.file("c/OMFI MediaFiles/2/msmFMID.pmr")}));
    // Only the database left unchecked is found again.
    discover();
    EXPECT_EQ(list.CheckedPaths(),
              std::vector<std::string>{dir.file("c/OMFI MediaFiles/3/msmFMID.pmr")});
}

} // namespace
