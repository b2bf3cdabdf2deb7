#include "app/cataloglists.h"
#include "app/listexport.h"
#include "panelfixture.h"

#include "builders/databasebuilder.h"
#include "builders/mediafolder.h"
#include "resources/menus.h"
#include "support/csvreader.h"

#include <QAction>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ListExportTest : public PanelFixture {
protected:
    void SetUp() override {
        media = dir.file("vol/OMFI MediaFiles/1");
        MakeFolder(media);
        MakeFile(media + "/" + awkward, 1234567);
        MakeFile(media + "/b.omf", 10);
        MakeFile(media + "/c.omf", 4096);
        WriteDatabase(media, {{"b.omf", "Plain"}, {"c.omf", "Plain"}, {"gone.omf", "Plain"}});
        ASSERT_TRUE(window.Initialise());
        window.show();
        window.OnCommand(res::ID_VERIFY_FILES); // off: the missing file is listed too
        ListView& projects = window.Lists().ProjectList();
        window.Lists().SelectAllRows(projects);
    }
    CsvRows exportList(int command) {
        const std::string path = dir.file("out.csv");
        prompter.choose(path);
        window.OnCommand(command);
        return ReadCsv(readText(path));
    }

    std::string media;
    // A name with a comma, quotes and a line break, and one non-ASCII letter.
    const std::string awkward = "take, \"one\"\nfinal é.omf";
};

TEST_F(ListExportTest, TheMediaListRoundTripsInTheShownOrderWithExactValues) {
    ListView& files = window.Lists().FileList();
    ASSERT_EQ(files.RowCount(), 4);
    window.Lists().SortList(files, static_cast<int>(MediaColumn::Size));
    const CsvRows rows = exportList(res::ID_EXPORT_MEDIA_LIST);
    ASSERT_EQ(rows.size(), 5u);
    const std::vector<std::string>& header = rows[0];
    ASSERT_EQ(static_cast<int>(header.size()), files.ColumnCount() + 3);
    EXPECT_EQ(header[0], "Media File");
    EXPECT_EQ(std::vector<std::string>(header.end() - 3, header.end()),
              (std::vector<std::string>{"Size (bytes)", "Creation Date (UTC)", "Full Path"}));
    for (int row = 0; row < files.RowCount(); ++row) {
        const std::vector<std::string>& line = rows[static_cast<std::size_t>(row) + 1];
        ASSERT_EQ(line.size(), header.size());
        for (int column = 0; column < files.ColumnCount(); ++column)
            EXPECT_EQ(line[static_cast<std::size_t>(column)], files.Text(row, column));
    }
    const auto awkwardRow = std::find_if(rows.begin(), rows.end(),
                                         [&](const auto& line) { return line[0] == awkward; });
    ASSERT_NE(awkwardRow, rows.end());
    const std::size_t n = header.size();
    EXPECT_EQ((*awkwardRow)[n - 3], "1234567");
    EXPECT_TRUE(
        std::regex_match((*awkwardRow)[n - 2], std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")))
        << (*awkwardRow)[n - 2];
    EXPECT_EQ((*awkwardRow)[n - 1], media + "/" + awkward);
    // The missing file: no date, no path.
    const auto gone = std::find_if(rows.begin(), rows.end(),
                                   [](const auto& line) { return line[0] == "gone.omf"; });
    ASSERT_NE(gone, rows.end());
    EXPECT_EQ((*gone)[n - 2], "");
    EXPECT_EQ((*gone)[n - 1], "");
    EXPECT_EQ(prompter.questions().back().text, "Export Media List");
}

TEST_F(ListExportTest, TheProjectListAndFailuresToWrite) {
    const CsvRows rows = exportList(res::ID_EXPORT_PROJECT_LIST);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Project", "Size", "Size (bytes)", "Files"}));
    EXPECT_EQ(rows[1][0], "**UNREFERENCED FILES");
    EXPECT_EQ(rows[1][2], "1234567");
    EXPECT_EQ(rows[2], (std::vector<std::string>{"Plain", window.Lists().ProjectList().Text(1, 1),
                                                 "4106", "3"}));

    // Cancelled: nothing written, nothing said.
    const std::size_t asked = prompter.questions().size();
    window.OnCommand(res::ID_EXPORT_MEDIA_LIST);
    EXPECT_EQ(prompter.questions().size(), asked + 1);
    // Into a folder that does not exist: the user is told, nothing is left.
    prompter.choose(dir.file("none/out.csv"));
    window.OnCommand(res::ID_EXPORT_MEDIA_LIST);
    ASSERT_EQ(prompter.questions().size(), asked + 3);
    EXPECT_EQ(
        prompter.questions().back().text.rfind("Could not write " + dir.file("none/out.csv"), 0),
        0u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("none")));
    // Over an existing file: replaced whole, no temporary file left.
    std::ofstream(dir.file("old.csv")) << std::string(100000, 'x');
    prompter.choose(dir.file("old.csv"));
    window.OnCommand(res::ID_EXPORT_PROJECT_LIST);
    EXPECT_EQ(ReadCsv(readText(dir.file("old.csv"))), rows);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 3); // vol, out.csv, old.csv
    // Both commands are in the menus.
    EXPECT_NE(window.MenuAction(res::ID_EXPORT_MEDIA_LIST), nullptr);
}

} // namespace
