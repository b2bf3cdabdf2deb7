#include "app/mainwindow.h"

#include "app/historydlg.h"
#include "app/omfinfodlg.h"
#include "builders/databasebuilder.h"
#include "builders/mediafolder.h"
#include "builders/omfbuilder.h"
#include "builders/samplemedia.h"
#include "io/journal.h"
#include "platform/formatting.h"
#include "platform/volumes.h"
#include "resources/dialogtemplate.h"
#include "resources/menus.h"
#include "support/logcapture.h"
#include "support/scriptedprompter.h"
#include "support/tempdir.h"
#include "widgets/debugconsole.h"
#include "widgets/sortablelistview.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

namespace {

using Lines = std::vector<std::string>;

std::vector<std::string> column(const ListView& list, int c) {
    std::vector<std::string> out;
    for (int r = 0; r < list.RowCount(); ++r)
        out.push_back(list.Text(r, c));
    return out;
}

// A row of the database tree, as its view shows it.
QModelIndex databaseRow(MainWindow& window, int row) {
    return window.DatabasesPanel().Tree().model()->index(row, 0);
}
int databaseRows(MainWindow& window) {
    return window.DatabasesPanel().Tree().model()->rowCount();
}
Qt::CheckState databaseCheck(MainWindow& window, int row) {
    return static_cast<Qt::CheckState>(databaseRow(window, row).data(Qt::CheckStateRole).toInt());
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        media = dir.file("vol/OMFI MediaFiles/1");
        MakeFolder(media);
        MediaFileDesc desc;
        desc.project = "ProjA";
        desc.clipName = "Clip A1";
        BuildMediaFile(desc).write(media + "/a1.omf");
        MakeFile(media + "/a2.omf", 5000);
        MakeFile(media + "/b1.omf", 300000);
        MakeFile(media + "/b2.MXF", 50);
        MakeFile(media + "/c.OMF", 70);
        MakeFile(media + "/extra.wav", 10);
        WriteDatabase(media, {{"a1.omf", "ProjA"},
                              {"a2.omf", "ProjA"},
                              {"gone.omf", "ProjA"},
                              {"b1.omf", "ProjB"},
                              {"b2.MXF", "ProjB"},
                              {"c.OMF", "ProjB"}});
        ASSERT_TRUE(window.Initialise());
        window.show();
    }

    int projectRow(const std::string& name) { return window.Lists().ProjectList().FindText(name); }
    std::string labelText(int id) { return window.ControlAs<QLabel>(id)->text().toStdString(); }

    TempDir dir;
    std::string media;
    LogCapture log;
    ScriptedPrompter prompter;
    Services services{prompter, [this] {
                          return std::vector<platform::Volume>{{dir.file("vol"), "vol"}};
                      }};
    MainWindow window{services};
};

TEST_F(MainWindowTest, StartsWithTheDatabasesCheckedAndEmptyLists) {
    ASSERT_EQ(databaseRows(window), 1);
    EXPECT_EQ(databaseRow(window, 0).data().toString().toStdString(), media + "/msmFMID.pmr");
    EXPECT_EQ(databaseCheck(window, 0), Qt::Checked);
    EXPECT_EQ(column(window.Lists().SummaryList(), 1), (Lines{"0", "0", "0 bytes"}));
    EXPECT_EQ(column(window.Lists().SummaryList(), 0), (Lines{"Projects", "Files", "Size"}));
    EXPECT_EQ(window.Lists().ProjectList().RowCount(), 0);
    for (int id : {res::ID_VERIFY_FILES, res::ID_CONFIRM_MOVE, res::ID_CONFIRM_DELETE})
        EXPECT_TRUE(window.MenuAction(id)->isChecked());
    EXPECT_TRUE(
        window.windowTitle().startsWith(QStringLiteral("Tolvane for AVID applications ( build ")));
    EXPECT_EQ(log.lines().back(), "DLG init complete");
    EXPECT_FALSE(window.ContextMenu(MainWindow::ContextMenuKind::Projects)
                     ->actions()[0]
                     ->isEnabled()); // "Project statistics..."
}

TEST_F(MainWindowTest, ScanFillsTheListsAndVerifyShowsMissingFiles) {
    QTest::keyClick(&window, Qt::Key_Return); // Enter presses "Scan!"
    EXPECT_EQ(column(window.Lists().ProjectList(), 0),
              (Lines{"**UNREFERENCED FILES", "ProjA", "ProjB"}));
    EXPECT_EQ(column(window.Lists().SummaryList(), 1),
              (Lines{"3", "6", platform::FormatByteSize(window.Catalog().TotalSize())}));

    window.OnCommand(res::ID_VERIFY_FILES); // off: SCAN! runs again, missing files stay
    EXPECT_FALSE(window.VerifyFiles());
    EXPECT_FALSE(window.MenuAction(res::ID_VERIFY_FILES)->isChecked());
    window.Lists().ProjectList().SetSelected(projectRow("ProjA"), true);
    const int gone = window.Lists().FileList().FindText("gone.omf");
    ASSERT_GE(gone, 0);
    EXPECT_EQ(window.Lists().FileList().Text(gone, 3), "Not Exist");
    EXPECT_EQ(window.Lists().FileList().Text(gone, 1), "0 bytes");

    // A file nobody may write is locked; a folder of a media file's name is
    // a folder.
    ASSERT_EQ(::chmod((media + "/a2.omf").c_str(), 0444), 0);
    MakeFolder(media + "/gone.omf");
    window.OnCommand(res::IDC_SCAN);
    window.Lists().ProjectList().SetSelected(projectRow("ProjA"), true);
    const ListView& files = window.Lists().FileList();
    EXPECT_EQ(files.Text(files.FindText("a2.omf"), 3), "!Locked");
    EXPECT_EQ(files.Text(files.FindText("gone.omf"), 3), ".DIR.");
    EXPECT_EQ(files.Text(files.FindText("a1.omf"), 3), "");
    ::chmod((media + "/a2.omf").c_str(), 0644);
    std::filesystem::remove(media + "/gone.omf");

    window.OnCommand(res::ID_CONFIRM_MOVE); // only the flag and its mark
    EXPECT_FALSE(window.ConfirmMove());
    EXPECT_EQ(window.Lists().FileList().RowCount(), 3);
}

TEST_F(MainWindowTest, SelectingProjectsAppendsAndUnselectingRemovesTheirFiles) {
    window.Scan();
    ListView& files = window.Lists().FileList();
    window.Lists().ProjectList().SetSelected(projectRow("ProjA"), true);
    const Lines projA = column(files, 0);
    EXPECT_EQ(projA.size(), 2u);
    window.Lists().ProjectList().SetSelected(projectRow("ProjB"), true);
    Lines both = column(files, 0);
    ASSERT_EQ(both.size(), 5u);
    EXPECT_EQ(Lines(both.begin(), both.begin() + 2), projA); // appended after the first project
    EXPECT_EQ(labelText(res::IDC_FILE_COUNT), "5 item(s)");
    window.Lists().ProjectList().SetSelected(projectRow("ProjA"), false);
    EXPECT_EQ(column(files, 7), (Lines{"ProjB", "ProjB", "ProjB"}));
    EXPECT_EQ(labelText(res::IDC_FILE_COUNT), "3 item(s)");
    const int b1 = files.FindText("b1.omf");
    EXPECT_EQ(files.Text(b1, 1), "292 KB");
    EXPECT_EQ(files.Text(b1, 4), media);
    EXPECT_FALSE(files.Text(b1, 5).empty()); // creation date
}

// Fixture with every project's files listed.
class SortingTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        window.Scan();
        window.Lists().ProjectList().SelectAllRows();
        ASSERT_EQ(files().RowCount(), 6);
    }
    ListView& files() { return window.Lists().FileList(); }
    std::vector<std::uint64_t> sizes() {
        std::vector<std::uint64_t> out;
        for (int r = 0; r < files().RowCount(); ++r)
            out.push_back(window.Catalog().GetRecord(files().ItemData(r))->size);
        return out;
    }
};

TEST_F(SortingTest, SizeSortsLargestFirstTheSameWayEachTime) {
    window.Lists().SortList(files(), 1);
    const std::vector<std::uint64_t> bySize = sizes();
    EXPECT_TRUE(std::is_sorted(bySize.rbegin(), bySize.rend()));
    const Lines names = column(files(), 0);
    window.Lists().SortList(files(), 1); // no reversal on a second click
    EXPECT_EQ(column(files(), 0), names);
}

TEST_F(SortingTest, TheClickedHeaderIsMarkedAndStatusIsNotSorted) {
    window.Lists().SortList(files(), 1);
    const Lines bySize = column(files(), 0);
    const QImage sorted = files().HeaderMark(1).toImage();
    const QImage plain = files().HeaderMark(0).toImage();
    EXPECT_NE(sorted, plain);
    window.Lists().SortList(files(), 3); // "*Status": marked, not sorted
    EXPECT_EQ(column(files(), 0), bySize);
    EXPECT_EQ(files().HeaderMark(3).toImage(), sorted);
    EXPECT_EQ(files().HeaderMark(1).toImage(), plain);
}

TEST_F(SortingTest, TextColumnsSortIgnoringLetterCase) {
    for (int c : {0, 4, 7}) {
        window.Lists().SortList(files(), c);
        const Lines texts = column(files(), c);
        EXPECT_TRUE(std::is_sorted(texts.begin(), texts.end(),
                                   [](const std::string& a, const std::string& b) {
                                       return strcasecmp(a.c_str(), b.c_str()) < 0;
                                   }))
            << c;
    }
    const Lines names = column(files(), 7);
    EXPECT_EQ(names.front(), "**UNREFERENCED FILES");
    EXPECT_EQ(names.back(), "ProjB");
}

TEST_F(SortingTest, ProjectsSortByNameAndBySize) {
    ListView& projects = window.Lists().ProjectList();
    window.Lists().SortList(projects, 1);
    EXPECT_EQ(column(projects, 0), (Lines{"ProjB", "ProjA", "**UNREFERENCED FILES"}));
    window.Lists().SortList(projects, 0);
    EXPECT_EQ(column(projects, 0), (Lines{"**UNREFERENCED FILES", "ProjA", "ProjB"}));
}

TEST_F(SortingTest, TheSelectionStaysWithItsRows) {
    window.Lists().SortList(files(), 1);
    window.Lists().SelectAllRows(files());
    EXPECT_EQ(files().SelectedCount(), 6);
    files().SetSelected(files().FindText("b1.omf"), false);
    window.Lists().SortList(files(), 0);
    EXPECT_EQ(files().SelectedCount(), 5);
    EXPECT_FALSE(files().IsSelected(files().FindText("b1.omf")));
    EXPECT_TRUE(files().IsSelected(files().FindText("a2.omf")));
    EXPECT_EQ(window.Lists().SelectedBytes(),
              5000u + 50 + 70 + 10 + window.Catalog().FindFileByName("a1.omf")->size);
}

TEST_F(MainWindowTest, SelectionSummaryAndCtrlA) {
    window.Scan();
    window.Lists().ProjectList().SetSelected(projectRow("ProjB"), true);
    ListView& files = window.Lists().FileList();
    EXPECT_EQ(labelText(res::IDC_SELECTION_SUMMARY), "no items selected");
    files.SetSelected(files.FindText("b1.omf"), true);
    EXPECT_EQ(labelText(res::IDC_SELECTION_SUMMARY), "1 item selected \n 292 KB");
    // Two selected, then one of them unselected: its size is taken off again.
    files.SetSelected(files.FindText("c.OMF"), true);
    EXPECT_EQ(labelText(res::IDC_SELECTION_SUMMARY),
              "2 items selected \n " + platform::FormatByteSize(300000 + 70));
    files.SetSelected(files.FindText("b1.omf"), false);
    EXPECT_EQ(labelText(res::IDC_SELECTION_SUMMARY), "1 item selected \n 70 bytes");
    EXPECT_EQ(window.Lists().SelectedBytes(), 70u);
    files.setFocus();
    QTest::keyClick(&files, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(files.SelectedCount(), 3);
    EXPECT_EQ(labelText(res::IDC_SELECTION_SUMMARY),
              "3 items selected \n " + platform::FormatByteSize(300000 + 50 + 70));
    files.ClearSelection();
    EXPECT_EQ(labelText(res::IDC_SELECTION_SUMMARY), "no items selected");
    EXPECT_EQ(window.Lists().SelectedBytes(), 0u);
}

TEST_F(MainWindowTest, ListsShowTheirTextsWhole) {
    window.Scan();
    window.Lists().ProjectList().SelectAllRows();
    QApplication::processEvents();
    // All three summary rows show whole above the project list.
    ListView& summary = window.Lists().SummaryList();
    const QRect size = summary.visualRect(summary.model()->index(2, 1));
    EXPECT_FALSE(size.isEmpty());
    EXPECT_LE(size.bottom(), summary.viewport()->height() - 1);
    EXPECT_LT(summary.geometry().bottom(), window.Lists().ProjectList().geometry().top());

    // Sizes and dates fit their columns, with the room the list leaves
    // beside a text.
    ListView& files = window.Lists().FileList();
    const int margin =
        files.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &files) + 1;
    for (int row = 0; row < files.RowCount(); ++row) {
        for (MediaColumn c : {MediaColumn::Size, MediaColumn::CreationDate}) {
            const std::string text = files.Text(row, static_cast<int>(c));
            EXPECT_LE(files.fontMetrics().horizontalAdvance(QString::fromStdString(text)) +
                          2 * margin,
                      files.columnWidth(static_cast<int>(c)))
                << text;
        }
    }
    EXPECT_FALSE(files.Text(0, static_cast<int>(MediaColumn::CreationDate)).empty());

    // The information list's text column takes the rest of the list's
    // inside, also after the window grew.
    ListView& info = window.Info().InfoList();
    for (int grow : {0, 300}) {
        window.resize(window.size() + QSize(grow, 0));
        QApplication::processEvents();
        const int inside = info.width() - 2 * info.frameWidth();
        const int used = info.columnWidth(0) + info.columnWidth(1);
        EXPECT_LE(used, inside);
        EXPECT_GE(used, inside - info.ScaledWidth(4)) << grow;
    }
}

TEST_F(MainWindowTest, HeaderMarksAreDrawnBesideTheTitles) {
    window.Scan();
    window.resize(1400, 800);
    ListView& files = window.Lists().FileList();
    window.Lists().SortList(files, 1);
    QApplication::processEvents();
    const QImage header = files.horizontalHeader()->grab().toImage();
    // Whether a section of the rendered header shows the downward triangle
    // of a mark in that colour: rows of 7, 5, 3 and 1 pixels.
    auto hasMark = [&](int section, QRgb colour) {
        const int left = files.horizontalHeader()->sectionViewportPosition(section);
        const int right =
            std::min(left + files.horizontalHeader()->sectionSize(section), header.width()) - 7;
        auto is = [&](int x, int y) { return (header.pixel(x, y) & 0xFFFFFF) == colour; };
        for (int y = 0; y + 4 <= header.height(); ++y) {
            for (int x = left; x <= right; ++x) {
                bool triangle = true;
                for (int row = 0; row < 4 && triangle; ++row) {
                    for (int i = row; i < 7 - row && triangle; ++i)
                        triangle = is(x + i, y + row);
                }
                if (triangle)
                    return true;
            }
        }
        return false;
    };
    const QRgb navy = 0x000080;
    const QRgb grey = 0xABABAB;
    EXPECT_TRUE(hasMark(1, navy));
    EXPECT_FALSE(hasMark(1, grey));
    EXPECT_TRUE(hasMark(0, grey));
    EXPECT_TRUE(hasMark(2, grey));
    EXPECT_FALSE(hasMark(0, navy));
}

TEST_F(MainWindowTest, EnterPressesTheFocusedButtonElseScan) {
    int scans = 0;
    int refreshes = 0;
    window.ConnectCommand(res::IDC_SCAN, [&] { ++scans; });
    window.ConnectCommand(res::IDC_REFRESH, [&] { ++refreshes; });
    QApplication::setActiveWindow(&window);
    QWidget* refresh = window.Control(res::IDC_REFRESH);
    refresh->setFocus();
    QTest::keyClick(refresh, Qt::Key_Return);
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(scans, 0);
    QTreeView& tree = window.DatabasesPanel().Tree();
    tree.setFocus();
    QTest::keyClick(&tree, Qt::Key_Return); // the tree has no use for Enter
    EXPECT_EQ(scans, 1);
    EXPECT_EQ(refreshes, 1);
}

TEST_F(MainWindowTest, LongDatabasePathsCanBeReadWhole) {
    std::string deep = dir.file("vol/AVID MediaFiles");
    for (int i = 0; i < 6; ++i)
        deep += "/a rather long folder name " + std::to_string(i);
    WriteDatabase(deep, {});
    window.OnCommand(res::IDC_REFRESH);
    QApplication::processEvents();
    QTreeView& tree = window.DatabasesPanel().Tree();
    ASSERT_EQ(databaseRows(window), 2);
    const QModelIndex item =
        databaseRow(window, 0).data().toString().contains(QStringLiteral("rather"))
            ? databaseRow(window, 0)
            : databaseRow(window, 1);
    EXPECT_EQ(item.data(Qt::ToolTipRole).toString().toStdString(), deep + "/msmFMID.pmr");
    // The column is as wide as the path, and the tree scrolls to its end.
    EXPECT_GE(tree.columnWidth(0), tree.fontMetrics().horizontalAdvance(item.data().toString()));
    EXPECT_GT(tree.horizontalScrollBar()->maximum(), 0);
}

TEST_F(MainWindowTest, SelectingOneMediaFileReadsItsFacts) {
    window.Scan();
    window.Lists().ProjectList().SetSelected(projectRow("ProjA"), true);
    ListView& files = window.Lists().FileList();
    const int a1 = files.FindText("a1.omf");
    files.SetSelected(a1, true);
    EXPECT_EQ(files.Text(a1, 2), "Clip A1");
    EXPECT_EQ(files.Text(a1, 6), "10:1");
    EXPECT_EQ(files.Text(a1, 8), "C:\\Capture\\clip.avi");
    EXPECT_TRUE(window.Info().CurrentMediaFile().IsOpen());
}

TEST_F(MainWindowTest, ContextMenusGreyWhatNeedsOneRow) {
    window.Scan();
    std::vector<std::pair<std::string, bool>> shown;
    window.m_popUp = [&](QMenu& menu, QPoint) -> QAction* {
        shown.clear();
        for (QAction* a : menu.actions())
            shown.push_back({a->text().toStdString(), a->isEnabled()});
        return nullptr;
    };
    Q_EMIT window.Lists().FileList().rightClicked(QPoint(5, 5));
    EXPECT_TRUE(shown.empty()); // nothing selected: no menu
    window.Lists().ProjectList().SetSelected(projectRow("ProjB"), true);
    window.Lists().FileList().SetSelected(0, true);
    window.Lists().FileList().SetSelected(1, true);
    Q_EMIT window.Lists().FileList().rightClicked(QPoint(5, 5));
    EXPECT_EQ(shown, (std::vector<std::pair<std::string, bool>>{
                         {"Copy Path to Clipboard", false},
                         {"Copy ...", true},
                         {"Move...", true},
                         {"Delete", true},
                         {"Show Omfi Info (under Development)", false}}));
    Q_EMIT window.Lists().ProjectList().rightClicked(QPoint(5, 5));
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_FALSE(shown[0].second);
    EXPECT_EQ(shown[3], (std::pair<std::string, bool>{"Export Project List...", true}));
}

TEST_F(MainWindowTest, CopiesThePathAndOpensMediaFiles) {
    window.Scan();
    window.Lists().ProjectList().SetSelected(projectRow("ProjB"), true);
    ListView& files = window.Lists().FileList();
    files.SetSelected(files.FindText("b2.MXF"), true);
    window.OnCommand(res::ID_COPY_PATH);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), media);

    std::vector<std::string> opened;
    window.m_openFile = [&](const std::string& path) { opened.push_back(path); };
    window.OpenMediaFile(files.FindText("b2.MXF"));
    window.OpenMediaFile(files.FindText("c.OMF")); // capital OMF does not open
    EXPECT_EQ(opened, (Lines{media + "/b2.MXF"}));
}

TEST_F(MainWindowTest, FunctionKeysActOnlyOnSelectedRows) {
    window.Scan();
    int copies = 0;
    window.ConnectCommand(res::ID_COPY_FILES, [&] { ++copies; });
    window.Lists().ProjectList().SetSelected(projectRow("ProjB"), true);
    ListView& files = window.Lists().FileList();
    QTest::keyClick(&files, Qt::Key_F5);
    EXPECT_EQ(copies, 0);
    files.SetSelected(0, true);
    QTest::keyClick(&files, Qt::Key_F5);
    EXPECT_EQ(copies, 1);
}

TEST_F(MainWindowTest, FunctionKeysCopyMoveAndDeleteOnDisk) {
    ::setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
    window.Scan();
    window.Lists().ProjectList().SetSelected(projectRow("ProjB"), true);
    ListView& files = window.Lists().FileList();
    auto select = [&](const char* name) {
        files.ClearSelection();
        files.SetSelected(files.FindText(name), true);
    };
    const int status = static_cast<int>(MediaColumn::Status);
    MakeFolder(dir.file("copies"));
    select("b1.omf");
    prompter.choose(dir.file("copies"));
    QTest::keyClick(&files, Qt::Key_F5);
    EXPECT_EQ(std::filesystem::file_size(dir.file("copies/b1.omf")), 300000u);
    EXPECT_TRUE(std::filesystem::exists(media + "/b1.omf"));
    EXPECT_EQ(files.Text(files.FindText("b1.omf"), status), "Copied...");
    EXPECT_EQ(files.SelectedCount(), 0);

    select("b2.MXF");
    prompter.choose(dir.file("copies"));
    QTest::keyClick(&files, Qt::Key_F6);
    EXPECT_TRUE(std::filesystem::exists(dir.file("copies/b2.MXF")));
    EXPECT_FALSE(std::filesystem::exists(media + "/b2.MXF"));
    EXPECT_EQ(files.Text(files.FindText("b2.MXF"), status), "Moved...");
    EXPECT_EQ(window.Catalog().FindFileByName("b2.MXF")->attributes, -1);

    select("c.OMF");
    prompter.answer(MsgAnswer::Yes); // "Move c.OMF to the Trash?"
    QTest::keyClick(&files, Qt::Key_F8);
    EXPECT_FALSE(std::filesystem::exists(media + "/c.OMF"));
    EXPECT_TRUE(std::filesystem::exists(dir.file("data/Trash/files/c.OMF")));
    EXPECT_EQ(files.Text(files.FindText("c.OMF"), status), "Deleted...");
    EXPECT_TRUE(window.Control(res::IDC_SCAN)->isEnabled()); // not busy afterwards
    ::unsetenv("XDG_DATA_HOME");
}

TEST_F(MainWindowTest, F4AndStoreProjectsStoreIntoTheChosenLayout) {
    window.Scan();
    window.Lists().ProjectList().SetSelected(projectRow("ProjB"), true);
    ListView& files = window.Lists().FileList();
    StoreOptions options;
    options.target = dir.file("store");
    MakeFolder(options.target);
    int dialogs = 0;
    window.m_storeDialog = [&] {
        ++dialogs;
        return std::optional<StoreOptions>(options);
    };
    QTest::keyClick(&files, Qt::Key_F4); // nothing selected: no dialog
    EXPECT_EQ(dialogs, 0);
    files.SetSelected(files.FindText("b1.omf"), true);
    QTest::keyClick(&files, Qt::Key_F4);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(std::filesystem::exists(dir.file("store/ProjB/b1.omf")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("store/ProjB/c.OMF")));
    EXPECT_EQ(files.Text(files.FindText("b1.omf"), static_cast<int>(MediaColumn::Status)),
              "Copied...");
    // "Store Project(s)..." stores every listed file, here by type.
    options.separateByType = true;
    window.OnCommand(res::ID_STORE_PROJECTS);
    EXPECT_TRUE(std::filesystem::exists(dir.file("store/OMFI MediaFiles/c.OMF")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("store/AVID MediaFiles/b2.MXF")));
    EXPECT_TRUE(std::filesystem::exists(media + "/b2.MXF")); // copied, not moved
    EXPECT_EQ(files.SelectedCount(), 0);
}

TEST_F(MainWindowTest, FolderAndBinScansRefillTheLists) {
    prompter.choose(media);
    window.OnCommand(res::IDC_SCAN_FOLDER);
    // The media files' own projects; what is no container is unreferenced.
    EXPECT_EQ(column(window.Lists().ProjectList(), 0), (Lines{"**UNREFERENCED FILES", "ProjA"}));
    EXPECT_EQ(databaseCheck(window, 0), Qt::Unchecked);
    EXPECT_EQ(window.Catalog().FileCount(), 6u);

    DatabaseBuilder bin;
    bin.filler(40).binPath("/Volumes/X/OMFI MediaFiles/1/a1.omf").filler(20, 2);
    bin.binPath("/Volumes/X/OMFI MediaFiles/1/lost.omf", ByteOrder::HighFirst).filler(30, 3);
    bin.write(dir.file("Edit.avb"));
    prompter.choose(dir.file("Edit.avb"));
    window.OnCommand(res::IDC_SCAN_BIN);
    EXPECT_EQ(column(window.Lists().ProjectList(), 0), (Lines{"**FILE_NOT_EXIST", "ProjA"}));
    EXPECT_EQ(column(window.Lists().SummaryList(), 1)[1], "2");
    EXPECT_EQ(prompter.questions().back().text, ""); // the open dialog's default title
    // The file not found shows where the bin said it lay, and stays not there.
    window.Lists().ProjectList().SetSelected(projectRow("**FILE_NOT_EXIST"), true);
    const ListView& files = window.Lists().FileList();
    const int lost = files.FindText("lost.omf");
    ASSERT_GE(lost, 0);
    EXPECT_EQ(files.Text(lost, static_cast<int>(MediaColumn::Path)),
              "/Volumes/X/OMFI MediaFiles/1");
    EXPECT_EQ(files.Text(lost, static_cast<int>(MediaColumn::Status)), "Not Exist");

    window.OnCommand(res::IDC_SCAN_BIN); // cancelled: nothing changes
    EXPECT_EQ(window.Catalog().FileCount(), 2u);
}

TEST_F(MainWindowTest, F2ReadsTheFactsOfEverySelectedFile) {
    window.Scan();
    window.Lists().ProjectList().SetSelected(projectRow("ProjA"), true);
    ListView& files = window.Lists().FileList();
    QTest::keyClick(&files, Qt::Key_F2); // nothing selected: nothing read
    const int a1 = files.FindText("a1.omf");
    EXPECT_EQ(files.Text(a1, static_cast<int>(MediaColumn::NameInBin)), "");
    window.Lists().SelectAllRows(files);
    QTest::keyClick(&files, Qt::Key_F2);
    EXPECT_EQ(files.Text(a1, static_cast<int>(MediaColumn::NameInBin)), "Clip A1");
    EXPECT_EQ(files.Text(a1, static_cast<int>(MediaColumn::SourceName)), "C:\\Capture\\clip.avi");
    EXPECT_EQ(files.Text(a1, static_cast<int>(MediaColumn::Compression)), "10:1");
    EXPECT_STREQ(window.Catalog().FindFileByName("a1.omf")->nameInBin, "Clip A1");
    // a2.omf is no container: its row keeps its texts.
    EXPECT_EQ(files.Text(files.FindText("a2.omf"), static_cast<int>(MediaColumn::NameInBin)), "");
    EXPECT_FALSE(window.Info().CurrentMediaFile().IsOpen());
    EXPECT_TRUE(window.Control(res::IDC_SCAN)->isEnabled());
}

TEST_F(MainWindowTest, CommandsOnTheSelectedFilesCloseTheFileTheInformationPanelHolds) {
    window.Scan();
    window.Lists().ProjectList().SetSelected(projectRow("ProjA"), true);
    ListView& files = window.Lists().FileList();
    window.m_storeDialog = [] { return std::optional<StoreOptions>(); };
    // The chooser and the store dialog are cancelled; F2 reads the file.
    for (int command :
         {res::ID_COPY_FILES, res::ID_MOVE_FILES, static_cast<int>(MainWindow::ID_STORE_SELECTED),
          static_cast<int>(MainWindow::ID_ANALYSE_SELECTED)}) {
        files.ClearSelection();
        files.SetSelected(files.FindText("a1.omf"), true);
        ASSERT_TRUE(window.Info().CurrentMediaFile().IsOpen());
        window.OnCommand(command);
        EXPECT_FALSE(window.Info().CurrentMediaFile().IsOpen()) << command;
    }
}

TEST_F(MainWindowTest, TheOmfInformationWindowShowsAFilesTree) {
    window.Scan();
    window.Lists().ProjectList().SetSelected(projectRow("ProjA"), true);
    ListView& files = window.Lists().FileList();
    std::vector<int> treeSizes;
    window.m_runModal = [&](QDialog& dialog) {
        auto& info = static_cast<OmfInfoDlg&>(dialog);
        EXPECT_EQ(info.windowTitle().toStdString(), "OMFI info ...under development...");
        treeSizes.push_back(info.Tree().topLevelItemCount());
    };
    window.OnCommand(res::ID_SHOW_OMF_INFO); // nothing selected: no window
    EXPECT_TRUE(treeSizes.empty());
    files.SetSelected(files.FindText("a1.omf"), true);
    window.OnCommand(res::ID_SHOW_OMF_INFO);
    window.OnCommand(res::ID_OMF_INFO_TOOL); // from the menu: empty
    ASSERT_EQ(treeSizes.size(), 2u);
    EXPECT_GT(treeSizes[0], 0);
    EXPECT_EQ(treeSizes[1], 0);
    EXPECT_FALSE(window.Info().CurrentMediaFile().IsOpen());

    OmfInfoDlg dialog(services, {});
    ASSERT_TRUE(dialog.Create());
    dialog.OnCommand(res::IDC_OMF_OPEN); // cancelled
    EXPECT_EQ(log.lines().back(), "No File");
    prompter.choose(media + "/a1.omf");
    dialog.OnCommand(res::IDC_OMF_OPEN);
    ASSERT_GT(dialog.Tree().topLevelItemCount(), 0);
    EXPECT_TRUE(dialog.Tree().topLevelItem(0)->text(0).startsWith(QStringLiteral("(_HEADER) ")));
    EXPECT_TRUE(dialog.Tree().topLevelItem(0)->font(0).bold());
    prompter.choose(media + "/a2.omf"); // no container: an empty tree
    dialog.OnCommand(res::IDC_OMF_OPEN);
    EXPECT_EQ(dialog.Tree().topLevelItemCount(), 0);
}

TEST_F(MainWindowTest, EveryCommandOfMenusButtonsAndKeysDoesItsWork) {
    // Every command a user can give, from the menus, the context menus, the
    // buttons, the accelerators and the function keys.
    std::vector<int> commands{MainWindow::ID_ANALYSE_SELECTED, MainWindow::ID_STORE_SELECTED};
    std::function<void(const res::MenuItem&)> collect = [&](const res::MenuItem& item) {
        if (item.command != 0 && !(item.flags & res::menu::Grayed))
            commands.push_back(item.command);
        for (const res::MenuItem& child : item.children)
            collect(child);
    };
    for (int menu : {res::IDR_MAIN_MENU, res::IDR_CONTEXT_MENUS}) {
        for (const res::MenuItem& item : res::FindMenu(menu)->items)
            collect(item);
    }
    for (const res::ControlTemplate& c : res::FindDialogTemplate(res::IDD_MAIN)->controls) {
        if (c.cls == res::ControlClass::Button)
            commands.push_back(c.id);
    }
    // Ctrl+A belongs to the sortable lists themselves (tested with them).
    for (const res::Accelerator& a : res::FindAccelerators(res::IDR_ACCELERATORS)) {
        if (a.command != res::ID_SELECT_ALL_ROWS)
            commands.push_back(a.command);
    }
    ::setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
    window.m_runModal = [](QDialog&) {};
    window.m_storeDialog = [] { return std::optional<StoreOptions>(); };
    window.Scan();
    window.Lists().ProjectList().SelectAllRows();
    window.Lists().FileList().SetSelected(0, true);
    for (int id : commands) {
        EXPECT_TRUE(window.HasCommand(id)) << id;
        if (id == res::ID_EXIT)
            continue;
        // Every question is answered Cancel or No, every chooser cancelled:
        // nothing on disk changes, and the window is not left busy.
        window.OnCommand(id);
        EXPECT_TRUE(window.Control(res::IDC_SCAN)->isEnabled()) << id;
    }
    EXPECT_TRUE(std::filesystem::exists(media + "/a1.omf"));
    ::unsetenv("XDG_DATA_HOME");
}

TEST_F(MainWindowTest, CtrlOAddsADatabaseExceptInTheSortableLists) {
    QApplication::setActiveWindow(&window);
    window.Lists().FileList().setFocus();
    QTest::keyClick(&window.Lists().FileList(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(prompter.questions().empty());
    window.DatabasesPanel().Tree().setFocus();
    prompter.choose(media + "/msmFMID.pmr"); // already listed: nothing changes
    QTest::keyClick(&window.DatabasesPanel().Tree(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(prompter.questions().size(), 1u);
    EXPECT_EQ(databaseRows(window), 1);
}

TEST_F(MainWindowTest, RefreshKeepsTheListsAddingADatabaseEmptiesThem) {
    window.Scan();
    window.Lists().ProjectList().SetSelected(projectRow("ProjA"), true);
    window.OnCommand(res::IDC_DESELECT_ALL);
    window.OnCommand(res::IDC_REFRESH);
    EXPECT_EQ(databaseCheck(window, 0), Qt::Checked);
    EXPECT_EQ(window.Lists().FileList().RowCount(), 2);
    EXPECT_EQ(window.Lists().ProjectList().RowCount(), 3);

    MakeFile(dir.file("elsewhere/msmFMID.pmr"));
    prompter.choose(dir.file("elsewhere/msmFMID.pmr"));
    window.OnCommand(res::ID_ADD_DATABASE);
    EXPECT_EQ(window.Lists().FileList().RowCount(), 0);
    EXPECT_EQ(window.Lists().ProjectList().RowCount(), 0);
    ASSERT_EQ(databaseRows(window), 2);
    EXPECT_EQ(databaseRow(window, 0).data().toString().toStdString(), media + "/msmFMID.pmr");
    EXPECT_EQ(window.Catalog().FileCount(), 6u); // nothing is loaded until SCAN!

    window.OnCommand(res::ID_SHOW_CONSOLE); // no console: nothing to show
    DebugConsole console;
    ASSERT_TRUE(console.Create());
    services.console = &console;
    window.OnCommand(res::ID_SHOW_CONSOLE);
    EXPECT_TRUE(console.isVisible());
    window.OnCommand(res::ID_EXIT);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(MainWindowTest, DeletingDatabasesAsksOnlyWhenOneIsChecked) {
    window.OnCommand(res::IDC_DESELECT_ALL);
    window.OnCommand(res::IDC_DELETE_DATABASES);
    EXPECT_TRUE(prompter.questions().empty());
    window.OnCommand(res::IDC_SELECT_ALL);
    prompter.answer(MsgAnswer::No);
    window.OnCommand(res::IDC_DELETE_DATABASES);
    ASSERT_EQ(prompter.questions().size(), 1u);
    EXPECT_EQ(prompter.questions()[0].text, "All selected media databases and indexes will be "
                                            "deleted\nThis action can not be undone!!!");
    EXPECT_EQ(prompter.questions()[0].caption, "Are You sure?");
    EXPECT_TRUE(std::filesystem::exists(media + "/msmFMID.pmr"));
    prompter.answer(MsgAnswer::Yes);
    window.OnCommand(res::IDC_DELETE_DATABASES);
    EXPECT_FALSE(std::filesystem::exists(media + "/msmFMID.pmr"));
    EXPECT_EQ(databaseRows(window), 0);
}

// Whether no two of these rectangles overlap.
bool apart(const std::vector<QRect>& rects) {
    for (std::size_t i = 0; i < rects.size(); ++i) {
        for (std::size_t j = i + 1; j < rects.size(); ++j) {
            if (rects[i].intersects(rects[j]))
                return false;
        }
    }
    return true;
}

TEST_F(MainWindowTest, ResizingKeepsTheLimitsAndAnchors) {
    auto geometry = [this](int id) { return window.Control(id)->geometry(); };
    const std::vector<int> labels{res::IDC_LABEL_F2, res::IDC_LABEL_F4, res::IDC_LABEL_F5,
                                  res::IDC_LABEL_F6, res::IDC_LABEL_F8};
    window.resize(100, 100);
    QApplication::processEvents();
    // It stops at its smallest size, where every control is still inside.
    EXPECT_EQ(window.size(), window.MinimumWindowSize());
    const QRect inside = window.Client()->rect();
    for (int id : {res::IDC_DELETE_DATABASES, res::IDC_SCAN_BIN, res::IDC_FILE_LIST,
                   res::IDC_PROJECT_LIST, res::IDC_LABEL_F8})
        EXPECT_TRUE(inside.contains(geometry(id))) << id;

    for (QSize size : {QSize(900, 700), QSize(1400, 1000), window.MinimumWindowSize()}) {
        window.resize(size);
        QApplication::processEvents();
        const QRect client = window.Client()->rect();
        const QRect files = geometry(res::IDC_FILE_LIST);
        const QRect info = geometry(res::IDC_INFO_LIST);
        const QRect projects = geometry(res::IDC_PROJECT_LIST);
        // The right-hand lists share their right edge near the window's.
        EXPECT_EQ(files.right(), info.right());
        EXPECT_GT(files.right(), client.right() - 20);
        EXPECT_TRUE(client.contains(files));
        // The function-key labels sit in one row under the media file list,
        // side by side, and the project list reaches down to their row.
        for (int id : labels) {
            const QRect label = geometry(id);
            EXPECT_EQ(label.top(), geometry(labels[0]).top());
            EXPECT_GT(label.top(), files.bottom());
            EXPECT_TRUE(client.contains(label));
            EXPECT_GE(projects.bottom(), label.bottom() - 2);
            EXPECT_LT(projects.right(), label.left());
        }
        std::vector<QRect> rects{files, info, projects, geometry(res::IDC_SUMMARY_LIST)};
        for (int id : labels)
            rects.push_back(geometry(id));
        EXPECT_TRUE(apart(rects));
    }
    // Moving the window moves nothing inside it.
    const QRect scan = geometry(res::IDC_SCAN);
    const QRect files = geometry(res::IDC_FILE_LIST);
    window.move(window.pos() + QPoint(30, 30));
    QApplication::processEvents();
    EXPECT_EQ(geometry(res::IDC_SCAN), scan);
    EXPECT_EQ(geometry(res::IDC_FILE_LIST), files);
}

// A click on a menu command, as the user makes it, delivered when the window
// next looks at its input.
void postClick(QMenu& menu, QAction& action) {
    const QPoint at = menu.actionGeometry(&action).center();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QCoreApplication::postEvent(
            &menu, new QMouseEvent(type, QPointF(at), QPointF(menu.mapToGlobal(at)), Qt::LeftButton,
                                   Qt::LeftButton, Qt::NoModifier));
    }
}

QMenu* menuHolding(QAction* action) {
    for (QObject* object : action->associatedObjects()) {
        if (auto* menu = qobject_cast<QMenu*>(object))
            return menu;
    }
    return nullptr;
}

TEST_F(MainWindowTest, DuringALongOperationTheMenusRunOnlyShowConsole) {
    DebugConsole console;
    ASSERT_TRUE(console.Create());
    services.console = &console;
    QAction* confirmMove = window.MenuAction(res::ID_CONFIRM_MOVE);
    QAction* showConsole = window.MenuAction(res::ID_SHOW_CONSOLE);
    ASSERT_TRUE(confirmMove != nullptr && showConsole != nullptr);
    const bool confirming = confirmMove->isChecked();
    for (QAction* action : {confirmMove, showConsole}) {
        QMenu* menu = menuHolding(action);
        ASSERT_NE(menu, nullptr);
        menu->popup(window.mapToGlobal(QPoint(10, 10)));
        QApplication::processEvents();
        postClick(*menu, *action);
        EXPECT_FALSE(window.Jobs().CheckCancel());
        menu->hide();
    }
    EXPECT_EQ(confirmMove->isChecked(), confirming);
    EXPECT_TRUE(console.isVisible());
    EXPECT_TRUE(prompter.questions().empty());
}

TEST_F(MainWindowTest, AKeyDuringALongOperationAsksToCancel) {
    EXPECT_FALSE(window.Jobs().CheckCancel());
    QCoreApplication::postEvent(&window.Lists().FileList(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier));
    prompter.answer(MsgAnswer::Yes);
    EXPECT_TRUE(window.Jobs().CheckCancel());
    ASSERT_EQ(prompter.questions().size(), 1u);
    EXPECT_EQ(prompter.questions()[0].text, "Do you want to cancel current task?");
    EXPECT_EQ(prompter.questions()[0].caption, "Orrin");
    EXPECT_EQ(prompter.questions()[0].buttons, MsgButtons::YesNo);

    window.Jobs().SetBusy(true);
    EXPECT_FALSE(window.Control(res::IDC_SCAN)->isEnabled());
    EXPECT_FALSE(window.Lists().FileList().isEnabled());
    EXPECT_FALSE(window.MenuAction(res::ID_EXIT)->isEnabled());
    EXPECT_TRUE(window.Control(res::IDC_REFRESH)->isEnabled());
    window.Jobs().SetBusy(false);
    EXPECT_TRUE(window.Control(res::IDC_SCAN)->isEnabled());
    EXPECT_TRUE(window.MenuAction(res::ID_VERIFY_FILES)->isEnabled());
}

// The sample media scanned in a window of their own: a pair of one file in
// two media folders, each copy a file of another project.
TEST(DuplicateMediaWindow, FindsTheSamplePairAndDeletingBothKeepsOne) {
    TempDir dir;
    LogCapture log;
    ASSERT_FALSE(WriteSampleMedia(dir.file("MEDIA")).empty());
    ::setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
    ScriptedPrompter prompter;
    Services services{prompter, [&] {
                          return std::vector<platform::Volume>{{dir.file("MEDIA"), "MEDIA"}};
                      }};
    MainWindow window(services);
    ASSERT_TRUE(window.Initialise());
    window.show();
    window.Scan();
    ListView& projects = window.Lists().ProjectList();
    ListView& files = window.Lists().FileList();
    const int projectCount = projects.RowCount();
    EXPECT_EQ(projects.FindText("**DUPLICATES"), -1);

    QAction* find = window.MenuAction(res::ID_FIND_DUPLICATES);
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(find->text(), QStringLiteral("Find Duplicate Media"));
    find->trigger();
    ASSERT_EQ(projects.RowCount(), projectCount + 1);
    const int duplicates = projects.FindText("**DUPLICATES");
    ASSERT_GE(duplicates, 0);
    const std::string omfi = dir.file("MEDIA/OMFI MediaFiles/1");
    const std::string mxf = dir.file("MEDIA/AVID MediaFiles/MXF/1");
    const auto size = std::filesystem::file_size(omfi + "/MV00002_V1.omf");
    EXPECT_EQ(std::filesystem::file_size(mxf + "/MV00002_V1.omf"), size);
    // One copy too many: its bytes are what keeping one would free.
    EXPECT_EQ(projects.Text(duplicates, 1), platform::FormatByteSize(size));
    const Lines logged = log.lines();
    EXPECT_NE(std::find(logged.begin(), logged.end(),
                        "Duplicate media: 1 group(s), 2 file(s); keeping one copy of each frees " +
                            platform::FormatByteSize(size) + " (" + std::to_string(size) +
                            " bytes)"),
              logged.end());

    projects.SetSelected(duplicates, true);
    EXPECT_EQ(column(files, static_cast<int>(MediaColumn::FileName)),
              (Lines{"MV00002_V1.omf", "MV00002_V1.omf"}));
    Lines paths = column(files, static_cast<int>(MediaColumn::Path));
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (Lines{mxf, omfi}));
    Lines owners = column(files, static_cast<int>(MediaColumn::ProjectName));
    std::sort(owners.begin(), owners.end());
    EXPECT_EQ(owners, (Lines{"Commercial", "Music Video"}));

    // Beside a project holding one copy, the copy shows twice; the
    // duplicates unselected, the project's files stay whole.
    const int musicVideo = projects.FindText("Music Video");
    const std::size_t musicFiles = window.Catalog().FindProject("Music Video")->files.size();
    projects.SetSelected(musicVideo, true);
    EXPECT_EQ(files.RowCount(), static_cast<int>(musicFiles) + 2);
    projects.SetSelected(projects.FindText("**DUPLICATES"), false);
    EXPECT_EQ(files.RowCount(), static_cast<int>(musicFiles));
    projects.SetSelected(musicVideo, false);
    EXPECT_EQ(files.RowCount(), 0);

    // A store of whole projects refuses the duplicates, through the prompter.
    projects.SetSelected(projects.FindText("**DUPLICATES"), true);
    bool storeAsked = false;
    window.m_storeDialog = [&] {
        storeAsked = true;
        return std::optional<StoreOptions>();
    };
    window.OnCommand(res::ID_STORE_PROJECTS);
    EXPECT_FALSE(storeAsked);
    ASSERT_EQ(prompter.questions().size(), 1u);
    EXPECT_NE(prompter.questions()[0].text.find("**DUPLICATES"), std::string::npos);

    // Both copies selected and deleted: one stays on disk.
    window.OnCommand(res::ID_CONFIRM_DELETE);
    files.SelectAllRows();
    window.OnCommand(res::ID_DELETE_FILES);
    Lines statuses = column(files, static_cast<int>(MediaColumn::Status));
    std::sort(statuses.begin(), statuses.end());
    EXPECT_EQ(statuses, (Lines{"Deleted...", "Last copy"}));
    EXPECT_EQ(std::filesystem::exists(omfi + "/MV00002_V1.omf") +
                  std::filesystem::exists(mxf + "/MV00002_V1.omf"),
              1);

    // A new scan forgets the search.
    window.Scan();
    EXPECT_EQ(projects.FindText("**DUPLICATES"), -1);
    EXPECT_EQ(window.Catalog().Duplicates(), nullptr);
    ::unsetenv("XDG_DATA_HOME");
}

} // namespace

namespace {

// File, "Operation History..." shows what the window's own runs did, the
// newest first.
TEST_F(MainWindowTest, TheOperationHistoryShowsWhatTheRunsDid) {
    std::filesystem::remove(JournalPath());
    ::setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
    window.Scan();
    window.Lists().ProjectList().SetSelected(projectRow("ProjB"), true);
    ListView& files = window.Lists().FileList();
    files.SetSelected(files.FindText("c.OMF"), true);
    prompter.answer(MsgAnswer::Yes);
    QTest::keyClick(&files, Qt::Key_F8);
    ASSERT_FALSE(std::filesystem::exists(media + "/c.OMF"));
    std::vector<std::string> newest;
    window.m_runModal = [&](QDialog& dialog) {
        const ListView& list = static_cast<HistoryDlg&>(dialog).List();
        for (int c = 0; list.RowCount() > 0 && c < JournalTable::kColumns; ++c)
            newest.push_back(list.Text(0, c));
    };
    window.OnCommand(res::ID_OPERATION_HISTORY);
    ASSERT_EQ(newest.size(), static_cast<std::size_t>(JournalTable::kColumns));
    EXPECT_EQ(newest[JournalTable::Operation], "trash");
    EXPECT_EQ(newest[JournalTable::Source], media + "/c.OMF");
    EXPECT_EQ(newest[JournalTable::Bytes], "70");
    EXPECT_EQ(newest[JournalTable::Result], "done");
    ::unsetenv("XDG_DATA_HOME");
}

} // namespace
