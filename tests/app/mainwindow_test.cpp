#include "app/mainwindow.h"
#include "app/mylistctrl.h"
#include "platform/formatting.h"
#include "platform/volumes.h"
#include "resources/dialogtemplate.h"
#include "resources/menus.h"
#include "support/logcapture.h"
#include "support/mediafolder.h"
#include "support/omfbuilder.h"
#include "support/scriptedprompter.h"
#include "support/tempdir.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

using Lines = std::vector<std::string>;

std::vector<std::string> column(const ListView& list, int c) {
    std::vector<std::string> out;
    for (int r = 0; r < list.RowCount(); ++r)
        out.push_back(list.Text(r, c));
    return out;
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
        platform::SetVolumeSource([this] {
            return std::vector<platform::Volume>{{dir.file("vol"), "vol"}};
        });
        ASSERT_TRUE(window.Initialise());
        window.show();
    }
    void TearDown() override { platform::SetVolumeSource({}); }

    int projectRow(const std::string& name) { return window.ProjectList().FindText(name); }
    std::string labelText(int id) { return window.controlAs<QLabel>(id)->text().toStdString(); }

    TempDir dir;
    std::string media;
    LogCapture log;
    ScriptedPrompter prompter;
    MainWindow window;
};

TEST_F(MainWindowTest, StartsWithTheDatabasesCheckedAndEmptyLists) {
    QTreeWidget& tree = window.DatabaseTree();
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    EXPECT_EQ(tree.topLevelItem(0)->text(0).toStdString(), media + "/msmFMID.pmr");
    EXPECT_EQ(tree.topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(column(window.SummaryList(), 1), (Lines{"0", "0", "0 bytes"}));
    EXPECT_EQ(column(window.SummaryList(), 0), (Lines{"Projects", "Files", "Size"}));
    EXPECT_EQ(window.ProjectList().RowCount(), 0);
    for (int id : {res::ID_VERIFY_FILES, res::ID_CONFIRM_MOVE, res::ID_CONFIRM_DELETE})
        EXPECT_TRUE(window.MenuAction(id)->isChecked());
    EXPECT_TRUE(
        window.windowTitle().startsWith(QStringLiteral("Tolvane for AVID applications ( build ")));
    EXPECT_EQ(log.lines().back(), "DLG init complete");
    EXPECT_FALSE(window.ContextMenu(1)->actions()[0]->isEnabled()); // "Project statistics..."
}

TEST_F(MainWindowTest, ScanFillsTheListsAndVerifyShowsMissingFiles) {
    QTest::keyClick(&window, Qt::Key_Return); // Enter presses "Scan!"
    EXPECT_EQ(column(window.ProjectList(), 0), (Lines{"**UNREFERENCED FILES", "ProjA", "ProjB"}));
    EXPECT_EQ(column(window.SummaryList(), 1),
              (Lines{"3", "6", platform::FormatByteSize(window.Catalog().TotalSize())}));

    window.OnCommand(res::ID_VERIFY_FILES); // off: SCAN! runs again, missing files stay
    EXPECT_FALSE(window.VerifyFiles());
    EXPECT_FALSE(window.MenuAction(res::ID_VERIFY_FILES)->isChecked());
    window.ProjectList().SetSelected(projectRow("ProjA"), true);
    const int gone = window.FileList().FindText("gone.omf");
    ASSERT_GE(gone, 0);
    EXPECT_EQ(window.FileList().Text(gone, 3), "Not Exist");
    EXPECT_EQ(window.FileList().Text(gone, 1), "0 bytes");

    window.OnCommand(res::ID_CONFIRM_MOVE); // only the flag and its mark
    EXPECT_FALSE(window.ConfirmMove());
    EXPECT_EQ(window.FileList().RowCount(), 3);
}

TEST_F(MainWindowTest, SelectingProjectsAppendsAndUnselectingRemovesTheirFiles) {
    window.Scan();
    ListView& files = window.FileList();
    window.ProjectList().SetSelected(projectRow("ProjA"), true);
    const Lines projA = column(files, 0);
    EXPECT_EQ(projA.size(), 2u);
    window.ProjectList().SetSelected(projectRow("ProjB"), true);
    Lines both = column(files, 0);
    ASSERT_EQ(both.size(), 5u);
    EXPECT_EQ(Lines(both.begin(), both.begin() + 2), projA); // appended after the first project
    EXPECT_EQ(labelText(res::IDC_FILE_COUNT), "5 item(s)");
    window.ProjectList().SetSelected(projectRow("ProjA"), false);
    EXPECT_EQ(column(files, 7), (Lines{"ProjB", "ProjB", "ProjB"}));
    EXPECT_EQ(labelText(res::IDC_FILE_COUNT), "3 item(s)");
    const int b1 = files.FindText("b1.omf");
    EXPECT_EQ(files.Text(b1, 1), "292 KB");
    EXPECT_EQ(files.Text(b1, 4), media);
    EXPECT_FALSE(files.Text(b1, 5).empty()); // creation date
}

TEST_F(MainWindowTest, HeaderClicksSortAndMark) {
    window.Scan();
    window.ProjectList().SelectAllRows();
    ListView& files = window.FileList();
    ASSERT_EQ(files.RowCount(), 6);
    window.SortList(files, 1);
    std::vector<std::uint64_t> sizes;
    for (int r = 0; r < files.RowCount(); ++r)
        sizes.push_back(window.Catalog().GetRecord(files.ItemData(r))->size);
    EXPECT_TRUE(std::is_sorted(sizes.rbegin(), sizes.rend()));
    const Lines bySize = column(files, 0);
    window.SortList(files, 1); // the same direction again
    EXPECT_EQ(column(files, 0), bySize);
    const QImage sorted = files.HeaderMark(1).toImage();
    window.SortList(files, 3); // "*Status": marked, not sorted
    EXPECT_EQ(column(files, 0), bySize);
    EXPECT_EQ(files.HeaderMark(3).toImage(), sorted);
    EXPECT_NE(files.HeaderMark(1).toImage(), sorted);
    window.SortList(files, 0);
    Lines names = column(files, 0);
    EXPECT_TRUE(
        std::is_sorted(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return strcasecmp(a.c_str(), b.c_str()) < 0;
        }));
    window.SortList(window.ProjectList(), 1);
    EXPECT_EQ(window.ProjectList().Text(0, 0), "ProjB"); // the largest project first
    // Sorting moves no cursor of the catalog, whichever project is current.
    for (const char* current : {"ProjA", "ProjB", "**UNREFERENCED FILES"}) {
        window.Catalog().SelectProject(current);
        window.SortList(window.ProjectList(), 1);
        EXPECT_EQ(window.Catalog().CurrentProject()->name, current);
    }
    // Sorting keeps the lists working: all rows can be selected afterwards, and
    // the selection stays with its rows through another sort.
    window.SelectAllRows(files);
    EXPECT_EQ(files.SelectedCount(), 6);
    files.SetSelected(files.FindText("b1.omf"), false);
    window.SortList(files, 1);
    EXPECT_EQ(files.SelectedCount(), 5);
    EXPECT_FALSE(files.IsSelected(files.FindText("b1.omf")));
    EXPECT_TRUE(files.IsSelected(files.FindText("a2.omf")));
}

TEST_F(MainWindowTest, SelectionSummaryAndCtrlA) {
    window.Scan();
    window.ProjectList().SetSelected(projectRow("ProjB"), true);
    ListView& files = window.FileList();
    EXPECT_EQ(labelText(res::IDC_SELECTION_SUMMARY), "no items selected");
    files.SetSelected(files.FindText("b1.omf"), true);
    EXPECT_EQ(labelText(res::IDC_SELECTION_SUMMARY), "1 item selected \n 292 KB");
    files.setFocus();
    QTest::keyClick(&files, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(files.SelectedCount(), 3);
    EXPECT_EQ(labelText(res::IDC_SELECTION_SUMMARY),
              "3 items selected \n " + platform::FormatByteSize(300000 + 50 + 70));
    files.ClearSelection();
    EXPECT_EQ(labelText(res::IDC_SELECTION_SUMMARY), "no items selected");
    EXPECT_EQ(window.SelectedBytes(), 0u);
}

TEST_F(MainWindowTest, SelectingOneMediaFileReadsItsFacts) {
    window.Scan();
    window.ProjectList().SetSelected(projectRow("ProjA"), true);
    ListView& files = window.FileList();
    const int a1 = files.FindText("a1.omf");
    files.SetSelected(a1, true);
    EXPECT_EQ(files.Text(a1, 2), "Clip A1");
    EXPECT_EQ(files.Text(a1, 6), "10:1");
    EXPECT_EQ(files.Text(a1, 8), "C:\\Capture\\clip.avi");
    EXPECT_TRUE(window.CurrentMediaFile().IsOpen());
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
    Q_EMIT window.FileList().rightClicked(QPoint(5, 5));
    EXPECT_TRUE(shown.empty()); // nothing selected: no menu
    window.ProjectList().SetSelected(projectRow("ProjB"), true);
    window.FileList().SetSelected(0, true);
    window.FileList().SetSelected(1, true);
    Q_EMIT window.FileList().rightClicked(QPoint(5, 5));
    EXPECT_EQ(shown, (std::vector<std::pair<std::string, bool>>{
                         {"Copy Path to Clipboard", false},
                         {"Copy ...", true},
                         {"Move...", true},
                         {"Delete", true},
                         {"Show Omfi Info (under Development)", false}}));
    Q_EMIT window.ProjectList().rightClicked(QPoint(5, 5));
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_FALSE(shown[0].second);
}

TEST_F(MainWindowTest, CopiesThePathAndOpensMediaFiles) {
    window.Scan();
    window.ProjectList().SetSelected(projectRow("ProjB"), true);
    ListView& files = window.FileList();
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
    window.ProjectList().SetSelected(projectRow("ProjB"), true);
    ListView& files = window.FileList();
    QTest::keyClick(&files, Qt::Key_F5);
    EXPECT_EQ(copies, 0);
    files.SetSelected(0, true);
    QTest::keyClick(&files, Qt::Key_F5);
    EXPECT_EQ(copies, 1);
}

TEST_F(MainWindowTest, CtrlOAddsADatabaseExceptInTheSortableLists) {
    QApplication::setActiveWindow(&window);
    window.FileList().setFocus();
    QTest::keyClick(&window.FileList(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(prompter.questions().empty());
    window.DatabaseTree().setFocus();
    prompter.choose(media + "/msmFMID.pmr"); // already listed: nothing changes
    QTest::keyClick(&window.DatabaseTree(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(prompter.questions().size(), 1u);
    EXPECT_EQ(window.DatabaseTree().topLevelItemCount(), 1);
}

TEST_F(MainWindowTest, RefreshKeepsTheListsAddingADatabaseEmptiesThem) {
    window.Scan();
    window.ProjectList().SetSelected(projectRow("ProjA"), true);
    window.OnCommand(res::IDC_DESELECT_ALL);
    window.OnCommand(res::IDC_REFRESH);
    EXPECT_EQ(window.DatabaseTree().topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(window.FileList().RowCount(), 2);
    EXPECT_EQ(window.ProjectList().RowCount(), 3);

    MakeFile(dir.file("elsewhere/msmFMID.pmr"));
    prompter.choose(dir.file("elsewhere/msmFMID.pmr"));
    window.OnCommand(res::ID_ADD_DATABASE);
    EXPECT_EQ(window.FileList().RowCount(), 0);
    EXPECT_EQ(window.ProjectList().RowCount(), 0);
    ASSERT_EQ(window.DatabaseTree().topLevelItemCount(), 2);
    EXPECT_EQ(window.DatabaseTree().topLevelItem(0)->text(0).toStdString(), media + "/msmFMID.pmr");
    EXPECT_EQ(window.Catalog().FileCount(), 6u); // nothing is loaded until SCAN!

    window.OnCommand(res::ID_SHOW_CONSOLE);
    EXPECT_TRUE(log.console().isVisible());
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
    EXPECT_EQ(window.DatabaseTree().topLevelItemCount(), 0);
}

TEST_F(MainWindowTest, ResizingKeepsTheLimitsAndAnchors) {
    const QSize start = window.size();
    EXPECT_EQ(start.height(), window.MinHeight() + 1);
    window.resize(100, 100);
    QApplication::processEvents();
    // It stops at the smallest size (the offscreen platform counts a thin
    // frame into it).
    EXPECT_GE(window.frameGeometry().width(), window.MinWidth());
    EXPECT_GE(window.frameGeometry().height(), window.MinHeight());
    EXPECT_LE(window.width(), window.MinWidth());
    window.resize(start.width() + 200, start.height() + 100);
    QApplication::processEvents();
    const QSize outer = window.size();
    const QRect files = window.control(res::IDC_FILE_LIST)->geometry();
    EXPECT_EQ(files.left() + files.width(), outer.width() - 12);
    EXPECT_EQ(files.top() + files.height(), outer.height() - window.ChromeHeight() - 24);
    const QRect projects = window.control(res::IDC_PROJECT_LIST)->geometry();
    EXPECT_EQ(projects.top() + projects.height(), outer.height() - window.ChromeHeight() - 6);
    for (int id : {res::IDC_LABEL_F2, res::IDC_LABEL_F4, res::IDC_LABEL_F5, res::IDC_LABEL_F6,
                   res::IDC_LABEL_F8}) {
        EXPECT_EQ(window.control(id)->geometry().top(),
                  outer.height() - window.ChromeHeight() - 22);
        EXPECT_EQ(window.control(id)->geometry().height(), 16);
    }
    const QRect scan = window.control(res::IDC_SCAN)->geometry();
    window.move(window.pos() + QPoint(30, 30));
    QApplication::processEvents();
    EXPECT_EQ(window.control(res::IDC_SCAN)->geometry(), scan);
    EXPECT_EQ(window.control(res::IDC_FILE_LIST)->geometry(), files);
}

TEST_F(MainWindowTest, AKeyDuringALongOperationAsksToCancel) {
    EXPECT_FALSE(window.CheckCancel());
    QCoreApplication::postEvent(&window.FileList(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier));
    prompter.answer(MsgAnswer::Yes);
    EXPECT_TRUE(window.CheckCancel());
    ASSERT_EQ(prompter.questions().size(), 1u);
    EXPECT_EQ(prompter.questions()[0].text, "Do you want to cancel current task?");
    EXPECT_EQ(prompter.questions()[0].buttons, MsgButtons::YesNo);

    window.DisableControls();
    EXPECT_FALSE(window.control(res::IDC_SCAN)->isEnabled());
    EXPECT_FALSE(window.FileList().isEnabled());
    EXPECT_FALSE(window.MenuAction(res::ID_EXIT)->isEnabled());
    EXPECT_TRUE(window.control(res::IDC_REFRESH)->isEnabled());
    window.EnableControls();
    EXPECT_TRUE(window.control(res::IDC_SCAN)->isEnabled());
    EXPECT_TRUE(window.MenuAction(res::ID_VERIFY_FILES)->isEnabled());
}

} // namespace
