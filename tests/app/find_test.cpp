// The find bar over the media file list, on the sample media: what it finds
// is compared with a plain reading of every row's shown texts, and the
// counts, the selection, the runs on the selected files, the export and the
// sorting are checked to follow the rows it shows.

#include "app/findbar.h"
#include "app/listexport.h"
#include "app/mainwindow.h"
#include "builders/samplemedia.h"
#include "mediadb/mediacatalog.h"
#include "platform/formatting.h"
#include "platform/volumes.h"
#include "resources/dialogtemplate.h"
#include "resources/menus.h"
#include "support/csvreader.h"
#include "support/scriptedprompter.h"
#include "support/tempdir.h"
#include "widgets/sortablelistview.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using Indexes = std::vector<std::uint32_t>;

// The columns whose texts a find searches.
const std::vector<MediaColumn> kSearched{MediaColumn::FileName,    MediaColumn::NameInBin,
                                         MediaColumn::Status,      MediaColumn::Path,
                                         MediaColumn::Compression, MediaColumn::ProjectName,
                                         MediaColumn::SourceName,  MediaColumn::Duration,
                                         MediaColumn::Resolution,  MediaColumn::FrameRate};

std::string lowered(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

Indexes rowsOf(const ListView& list) {
    Indexes out;
    for (int r = 0; r < list.RowCount(); ++r)
        out.push_back(list.ItemData(r));
    return out;
}

// The rows of an unfiltered list that show the text in a searched column
// and have the status, read as the user reads them.
Indexes plainReading(const ListView& list, const std::string& text, FindStatus status) {
    Indexes out;
    for (int r = 0; r < list.RowCount(); ++r) {
        auto shown = [&](MediaColumn c) { return list.Text(r, static_cast<int>(c)); };
        bool hasStatus = true;
        if (status == FindStatus::Missing)
            hasStatus = shown(MediaColumn::Status) == "Not Exist";
        else if (status == FindStatus::Locked)
            hasStatus = shown(MediaColumn::Status) == "!Locked";
        else if (status == FindStatus::Unreferenced)
            hasStatus = shown(MediaColumn::ProjectName) == "**UNREFERENCED FILES";
        bool found = false;
        for (MediaColumn c : kSearched)
            found = found || lowered(shown(c)).find(lowered(text)) != std::string::npos;
        if (hasStatus && found)
            out.push_back(list.ItemData(r));
    }
    return out;
}

class FindTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(WriteSampleMedia(dir.file("MEDIA")).empty());
        // A file nobody may write shows "!Locked".
        ASSERT_EQ(::chmod(dir.file("MEDIA/OMFI MediaFiles/1/MV00001_V1.omf").c_str(), 0444), 0);
        ASSERT_TRUE(window.Initialise());
        window.resize(1200, 700);
        window.show();
        window.OnCommand(res::ID_VERIFY_FILES); // off: SCAN! lists the missing files too
        window.Lists().ProjectList().SelectAllRows();
        ASSERT_GT(files().RowCount(), 10);
        ASSERT_NE(window.Finder(), nullptr);
    }

    ListView& files() { return window.Lists().FileList(); }
    FindBar& bar() { return *window.Finder(); }
    std::string labelText(int id) { return window.ControlAs<QLabel>(id)->text().toStdString(); }
    // Types into the bar as the user does, then Enter instead of the pause.
    void type(const std::string& text) {
        bar().TextLine().setFocus();
        QTest::keyClicks(&bar().TextLine(), QString::fromStdString(text));
        QTest::keyClick(&bar().TextLine(), Qt::Key_Return);
    }
    void clearText() {
        bar().TextLine().clear();
        bar().FindNow();
    }
    std::uint64_t selectedSizes() {
        std::uint64_t total = 0;
        for (int r : files().SelectedRows())
            total += window.Catalog().GetRecord(files().ItemData(r))->size;
        return total;
    }

    TempDir dir;
    ScriptedPrompter prompter;
    Services services{prompter, [this] {
                          return std::vector<platform::Volume>{{dir.file("MEDIA"), "MEDIA"}};
                      }};
    MainWindow window{services};
};

TEST_F(FindTest, TypingFindsWhatAPlainReadingOfTheShownTextsFinds) {
    const int all = files().RowCount();
    window.OnCommand(res::ID_FIND);
    ASSERT_TRUE(bar().isVisible());
    // Letters added one by one narrow; a letter taken away, or a text typed
    // anew, tests every row again.
    const std::vector<std::string> texts{
        "d",         "do",    "doc",     "doc0000", "doc", "DOC00001", "mv",  "Spot",    "hdcam 0",
        "not exist", "!LOCK", "lock",    "unref",   "**",  "omfi m",   "dnx", "Music V", "_v1.",
        "zzz",       ".DIR.", "00:00:0", "x 1",     "25",  ";",        "1"};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        window.CloseFindBar();
        const Indexes expected = plainReading(files(), text, FindStatus::All);
        ASSERT_EQ(files().RowCount(), all);
        window.OpenFindBar();
        type(text);
        EXPECT_EQ(rowsOf(files()), expected);
        EXPECT_EQ(labelText(res::IDC_FILE_COUNT), std::to_string(expected.size()) + " item(s)");
    }
    // The same texts typed on without closing the bar: every step compared.
    window.CloseFindBar();
    std::vector<Indexes> expected;
    for (const std::string& text : texts)
        expected.push_back(plainReading(files(), text, FindStatus::All));
    window.OpenFindBar();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        bar().TextLine().setText(QString::fromStdString(texts[i]));
        bar().FindNow();
        EXPECT_EQ(rowsOf(files()), expected[i]) << texts[i];
    }
    EXPECT_EQ(files().AllRowCount(), all);
}

TEST_F(FindTest, TypingPausesBeforeTheRowsAreFiltered) {
    QApplication::setActiveWindow(&window);
    files().setFocus();
    QTest::keyClick(&files(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(bar().isVisible());
    EXPECT_TRUE(bar().TextLine().hasFocus());
    const Indexes expected = plainReading(files(), "com", FindStatus::All);
    QSignalSpy finds(&bar(), &FindBar::findRequested);
    QTest::keyClicks(&bar().TextLine(), QStringLiteral("com"));
    EXPECT_EQ(finds.count(), 0); // not one find for each letter
    ASSERT_TRUE(finds.wait(2000));
    EXPECT_EQ(finds.count(), 1);
    EXPECT_EQ(rowsOf(files()), expected);
}

TEST_F(FindTest, TheStatusChoiceKeepsToMissingLockedOrUnreferencedFiles) {
    window.OpenFindBar();
    for (const std::string text : {"", "omf", "0"}) {
        for (FindStatus status :
             {FindStatus::Missing, FindStatus::Locked, FindStatus::Unreferenced, FindStatus::All}) {
            SCOPED_TRACE(text + " " + std::to_string(static_cast<int>(status)));
            window.CloseFindBar();
            const Indexes expected = plainReading(files(), text, status);
            window.OpenFindBar();
            bar().TextLine().setText(QString::fromStdString(text));
            bar().StatusChoice().setCurrentIndex(static_cast<int>(status));
            bar().FindNow();
            EXPECT_EQ(rowsOf(files()), expected);
            if (status != FindStatus::All) {
                EXPECT_FALSE(expected.empty());
            }
        }
    }
}

TEST_F(FindTest, EscapeShowsEveryRowAgainAndTheLayoutAsItWas) {
    std::vector<QRect> before;
    for (const res::ControlTemplate& c : res::FindDialogTemplate(res::IDD_MAIN)->controls)
        before.push_back(window.Control(c.id)->geometry());
    const Indexes all = rowsOf(files());
    window.OnCommand(res::ID_FIND);
    const QRect bar = window.Finder()->geometry();
    EXPECT_LE(bar.bottom(), files().geometry().top());
    EXPECT_GE(bar.top(), window.Control(res::IDC_FILE_COUNT)->geometry().bottom());
    type("doc");
    ASSERT_LT(files().RowCount(), static_cast<int>(all.size()));
    // Escape where the focus is in the list closes the bar too, not the window.
    files().setFocus();
    QTest::keyClick(&files(), Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.Finder()->isVisible());
    EXPECT_EQ(rowsOf(files()), all);
    EXPECT_EQ(labelText(res::IDC_FILE_COUNT), std::to_string(all.size()) + " item(s)");
    std::size_t i = 0;
    for (const res::ControlTemplate& c : res::FindDialogTemplate(res::IDD_MAIN)->controls)
        EXPECT_EQ(window.Control(c.id)->geometry(), before[i++]) << c.id;
    // Escape in the bar itself.
    window.OnCommand(res::ID_FIND);
    type("mv");
    QTest::keyClick(&window.Finder()->TextLine(), Qt::Key_Escape);
    EXPECT_FALSE(window.Finder()->isVisible());
    EXPECT_EQ(rowsOf(files()), all);
}

TEST_F(FindTest, HiddenRowsLeaveTheSelectionAndItsTotal) {
    window.Lists().SelectAllRows(files());
    window.OpenFindBar();
    type("doc");
    const Indexes shown = rowsOf(files());
    EXPECT_EQ(files().SelectedCount(), files().RowCount());
    EXPECT_EQ(window.Lists().SelectedBytes(), selectedSizes());
    EXPECT_EQ(labelText(res::IDC_SELECTION_SUMMARY), std::to_string(shown.size()) +
                                                         " items selected \n " +
                                                         platform::FormatByteSize(selectedSizes()));
    type("0001"); // "doc0001": narrowed
    EXPECT_EQ(window.Lists().SelectedBytes(), selectedSizes());
    // The rows that were hidden come back unselected.
    window.CloseFindBar();
    EXPECT_EQ(files().SelectedCount(),
              static_cast<int>(plainReading(files(), "doc0001", FindStatus::All).size()));
    EXPECT_EQ(window.Lists().SelectedBytes(), selectedSizes());
    // Ctrl+A while finding selects the rows shown, and nothing else: the
    // rows of the earlier find went out of sight and out of the selection.
    const Indexes mv = plainReading(files(), "mv", FindStatus::All);
    window.OpenFindBar();
    type("mv");
    window.Lists().SelectAllRows(files());
    window.CloseFindBar();
    for (int r = 0; r < files().RowCount(); ++r) {
        EXPECT_EQ(files().IsSelected(r), std::count(mv.begin(), mv.end(), files().ItemData(r)) != 0)
            << files().Text(r, 0);
    }
}

TEST_F(FindTest, ADeleteWhileFindingActsOnlyOnTheRowsShown) {
    ::setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
    window.OnCommand(res::ID_CONFIRM_DELETE); // off: no question per file
    window.Lists().SelectAllRows(files());
    window.OpenFindBar();
    type("doc0000");
    Indexes doomed;
    for (int r : files().SelectedRows())
        doomed.push_back(files().ItemData(r));
    ASSERT_FALSE(doomed.empty());
    QTest::keyClick(&files(), Qt::Key_F8);
    window.CloseFindBar();
    int deleted = 0;
    for (int r = 0; r < files().RowCount(); ++r) {
        const MediaRecord* record = window.Catalog().GetRecord(files().ItemData(r));
        const bool asked = std::count(doomed.begin(), doomed.end(), files().ItemData(r)) != 0;
        const bool onDisk = std::filesystem::exists(MediaCatalog::FullPath(*record));
        const std::string status = files().Text(r, static_cast<int>(MediaColumn::Status));
        if (asked) {
            EXPECT_FALSE(onDisk) << record->fileName.str();
            deleted += status == "Deleted..." ? 1 : 0;
        } else {
            EXPECT_NE(status, "Deleted...") << record->fileName.str();
            if (status != "Not Exist") {
                EXPECT_TRUE(onDisk) << record->fileName.str();
            }
        }
    }
    EXPECT_EQ(deleted, static_cast<int>(doomed.size()));
    ::unsetenv("XDG_DATA_HOME");
}

TEST_F(FindTest, TheExportWritesTheRowsShown) {
    window.OpenFindBar();
    type("mv0");
    const std::string path = dir.file("found.csv");
    prompter.choose(path);
    window.OnCommand(res::ID_EXPORT_MEDIA_LIST);
    std::ifstream in(path, std::ios::binary);
    std::stringstream read;
    read << in.rdbuf();
    const std::string text = read.str();
    const CsvRows rows = ReadCsv(text);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(files().RowCount()) + 1);
    for (int r = 0; r < files().RowCount(); ++r)
        EXPECT_EQ(rows[static_cast<std::size_t>(r) + 1][0], files().Text(r, 0));
    EXPECT_EQ(text, MediaListCsv(files(), window.Catalog()));
}

TEST_F(FindTest, SortingWhileFindingSortsEveryRow) {
    window.OpenFindBar();
    type("_v1");
    window.Lists().SortList(files(), static_cast<int>(MediaColumn::Size));
    const Indexes shown = rowsOf(files());
    window.CloseFindBar();
    // Every row is in the order of the sort, and those shown were the ones a
    // plain reading of that order finds.
    std::vector<std::uint64_t> sizes;
    for (std::uint32_t index : rowsOf(files()))
        sizes.push_back(window.Catalog().GetRecord(index)->size);
    EXPECT_TRUE(std::is_sorted(sizes.rbegin(), sizes.rend()));
    EXPECT_EQ(shown, plainReading(files(), "_v1", FindStatus::All));
    // Projects selected and unselected while finding are found as they come.
    window.OpenFindBar();
    type("0");
    ListView& projects = window.Lists().ProjectList();
    projects.ClearSelection();
    EXPECT_EQ(files().RowCount(), 0);
    projects.SetSelected(projects.FindText("Commercial"), true);
    projects.SetSelected(projects.FindText("**UNREFERENCED FILES"), true);
    const Indexes found = rowsOf(files());
    EXPECT_FALSE(found.empty());
    window.CloseFindBar();
    EXPECT_EQ(found, plainReading(files(), "0", FindStatus::All));
}

TEST_F(FindTest, AFindAskedForDuringARunWaitsForItsEnd) {
    const Indexes expected = plainReading(files(), "doc", FindStatus::All);
    window.OpenFindBar();
    const Indexes all = rowsOf(files());
    window.Jobs().SetBusy(true);
    bar().TextLine().setText(QStringLiteral("doc"));
    bar().FindNow();
    EXPECT_EQ(rowsOf(files()), all); // the run's rows keep their numbers
    window.Jobs().SetBusy(false);
    QApplication::processEvents();
    EXPECT_EQ(rowsOf(files()), expected);
    // Opened again, the bar finds what it shows.
    window.CloseFindBar();
    EXPECT_EQ(rowsOf(files()), all);
    window.OpenFindBar();
    EXPECT_EQ(rowsOf(files()), expected);
}

// A list long enough to be shared among threads, of texts nobody shares:
// every find and every narrowing against the plain reading.
TEST(FindAtScale, ALongListFindsWhatAPlainReadingFinds) {
    ScriptedPrompter prompter;
    Services services{prompter, [] { return std::vector<platform::Volume>{}; }};
    MainWindow window(services);
    ASSERT_TRUE(window.Initialise());
    char text[100];
    for (int i = 0; i < 70000; ++i) {
        MediaRecord r;
        std::snprintf(text, sizeof text, "Project %d", i % 7);
        r.projectName.SetWhole(text);
        std::snprintf(text, sizeof text, "A%06dV1_%04X.omf", i, (i * 7919) & 0xFFFF);
        r.fileName.SetWhole(text);
        r.fileNameLength = static_cast<std::uint32_t>(r.fileName.size());
        std::snprintf(text, sizeof text, "/media/OMFI MediaFiles/%d", i / 5000);
        r.folder.SetWhole(text);
        r.size = static_cast<std::uint64_t>(i) * 1000;
        r.attributes = i % 13 == 0 ? kFileMissing : (i % 17 == 0 ? 1 : 0);
        r.compressionCode = i % 3 == 0 ? 75 : 0;
        // Essence facts of pictures and of sound, and of none.
        static constexpr PackedRate kRates[] = {PackRate(25, 1), PackRate(30000, 1001),
                                                PackRate(24000, 1001)};
        if (i % 4 != 3) {
            r.duration = static_cast<std::uint64_t>(i) * 37;
            r.rate = kRates[i % 3];
            if (i % 4 == 2) {
                r.sampleRate = 48000;
                r.channels = 2;
            } else {
                r.width = static_cast<std::uint16_t>(i % 2 == 0 ? 1920 : 720);
                r.height = static_cast<std::uint16_t>(i % 2 == 0 ? 1080 : 576);
            }
        }
        window.Catalog().AddRecord(r, true);
    }
    window.Catalog().RebuildFileArray();
    CatalogLists& lists = window.Lists();
    lists.FillProjectList();
    lists.SelectAllRows(lists.ProjectList());
    ListView& files = lists.FileList();
    ASSERT_EQ(files.RowCount(), 70000);
    lists.SortList(files, static_cast<int>(MediaColumn::Size));
    const std::vector<FindRequest> requests{
        {"V1_1", FindStatus::All},      {"V1_1A", FindStatus::All},
        {"V1_1A", FindStatus::Missing}, {"files/1", FindStatus::All},
        {"not ex", FindStatus::All},    {"PROJECT 3", FindStatus::Locked},
        {"zq", FindStatus::All},        {"01:0", FindStatus::All},
        {"29.97", FindStatus::All},     {"x 57", FindStatus::All},
        {";1", FindStatus::Missing}};
    std::vector<Indexes> expected;
    for (const FindRequest& request : requests)
        expected.push_back(plainReading(files, request.text, request.status));
    for (std::size_t i = 0; i < requests.size(); ++i) {
        lists.Find(requests[i]);
        EXPECT_EQ(rowsOf(files), expected[i]) << requests[i].text;
    }
    lists.EndFind();
    EXPECT_EQ(files.RowCount(), 70000);
}

TEST(FindMenu, ToolsHoldsFindWithItsShortcut) {
    const res::MenuTemplate* menu = res::FindMenu(res::IDR_MAIN_MENU);
    ASSERT_NE(menu, nullptr);
    bool found = false;
    for (const res::MenuItem& top : menu->items) {
        for (const res::MenuItem& item : top.children)
            found = found || (std::string(top.text) == "Tools" && item.command == res::ID_FIND &&
                              std::string(item.text) == "Find...\tCtrl+F");
    }
    EXPECT_TRUE(found);
}

} // namespace
