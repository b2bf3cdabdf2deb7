// Writes pictures of the main window after SCAN! of the sample media, with a
// project and a media file selected, with the find bar open, and of the
// debug console, as PNG files
// into the build folder (or $TOLVANE_SCREENSHOT_DIR), for people to look at.

#include "app/findbar.h"
#include "app/hardwaretooldlg.h"
#include "app/historydlg.h"
#include "app/mainwindow.h"
#include "app/omfinfodlg.h"
#include "builders/samplemedia.h"
#include "feedback/log.h"
#include "io/journal.h"
#include "platform/volumes.h"
#include "resources/menus.h"
#include "support/scriptedprompter.h"
#include "support/tempdir.h"
#include "widgets/debugconsole.h"
#include "widgets/picturecontrol.h"
#include "widgets/sortablelistview.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QSlider>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

QString outputFolder() {
    QString dir = qEnvironmentVariable("TOLVANE_SCREENSHOT_DIR");
    if (dir.isEmpty())
        dir = QDir::currentPath() + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    return dir;
}

TEST(Screenshots, MainWindowAfterScanAndTheConsole) {
    TempDir dir;
    ASSERT_FALSE(WriteSampleMedia(dir.file("MEDIA")).empty());
    ScriptedPrompter prompter;
    Services services{prompter, [&] {
                          return std::vector<platform::Volume>{{dir.file("MEDIA"), "MEDIA"}};
                      }};
    DebugConsole console;
    ASSERT_TRUE(console.Create());
    SetLogSink(&console);
    services.console = &console;
    MainWindow window(services);
    ASSERT_TRUE(window.Initialise());
    window.resize(1200, 700);
    window.show();
    window.Scan();
    const int documentary = window.Lists().ProjectList().FindText("Documentary");
    ASSERT_GE(documentary, 0);
    window.Lists().ProjectList().SetSelected(documentary, true);
    window.Lists().FileList().SetSelected(window.Lists().FileList().FindText("DOC00001_V1.omf"),
                                          true);
    QApplication::processEvents();
    const QString folder = outputFolder();
    EXPECT_TRUE(window.grab().save(folder + QStringLiteral("/main-window.png")));

    // A colour test card at frame 12, with its facts beside it.
    window.Lists().FileList().ClearSelection();
    window.Lists().FileList().SetSelected(window.Lists().FileList().FindText("DOC00000_V1.omf"),
                                          true);
    window.Info().Slider().setValue(12);
    QApplication::processEvents();
    EXPECT_EQ(window.Info().LastFrameShown(), 12);
    EXPECT_FALSE(window.Info().Picture().Frame().isNull());
    EXPECT_EQ(window.Info().InfoList().RowCount(), 6);
    EXPECT_TRUE(window.grab().save(folder + QStringLiteral("/main-window-frame.png")));

    // An MXF clip at frame 7: its facts read from the file, its frame decoded.
    ListView& projects = window.Lists().ProjectList();
    projects.ClearSelection();
    projects.SetSelected(projects.FindText("Commercial"), true);
    window.Lists().FileList().SetSelected(window.Lists().FileList().FindText("COM00000_V1.mxf"),
                                          true);
    window.Info().Slider().setValue(7);
    QApplication::processEvents();
    EXPECT_EQ(window.Info().LastFrameShown(), 7);
    EXPECT_FALSE(window.Info().Picture().Frame().isNull());
    EXPECT_EQ(window.Info().InfoList().RowCount(), 6);
    EXPECT_EQ(window.Info().InfoList().Text(3, 1), "VC3/DNxHD / dnxhd");
    EXPECT_TRUE(window.grab().save(folder + QStringLiteral("/main-window-mxf.png")));

    // The find bar open over every project's files, a text typed.
    projects.SelectAllRows();
    const int all = window.Lists().FileList().RowCount();
    window.OnCommand(res::ID_FIND);
    ASSERT_NE(window.Finder(), nullptr);
    window.Finder()->TextLine().setText(QStringLiteral("doc0000"));
    window.Finder()->FindNow();
    QApplication::processEvents();
    EXPECT_GT(window.Lists().FileList().RowCount(), 0);
    EXPECT_LT(window.Lists().FileList().RowCount(), all);
    EXPECT_TRUE(window.grab().save(folder + QStringLiteral("/find-bar.png")));
    window.CloseFindBar();
    EXPECT_EQ(window.Lists().FileList().RowCount(), all);

    console.resize(700, 400);
    window.OnCommand(res::ID_SHOW_CONSOLE);
    QApplication::processEvents();
    EXPECT_TRUE(console.grab().save(folder + QStringLiteral("/console.png")));

    // The OMF information window over the colour test card.
    OmfInfoDlg omfInfo(services, dir.file("MEDIA/OMFI MediaFiles/1/DOC00000_V1.omf"));
    ASSERT_TRUE(omfInfo.Create());
    omfInfo.Tree().expandToDepth(2);
    omfInfo.show();
    QApplication::processEvents();
    EXPECT_GT(omfInfo.Tree().topLevelItemCount(), 0);
    EXPECT_TRUE(omfInfo.grab().save(folder + QStringLiteral("/omf-info.png")));

    // The drive window over this machine's own volumes, and a share whose
    // long name ends in an ellipsis.
    const std::string share = dir.file("Shared Storage of the Second Floor Edit Suites");
    QDir().mkpath(QString::fromStdString(share));
    Services machine{prompter, [&] {
                         std::vector<platform::Volume> volumes = platform::MountedVolumes();
                         volumes.push_back({share, "Suites", platform::VolumeType::Network});
                         return volumes;
                     }};
    HardwareToolDlg drives(machine);
    ASSERT_TRUE(drives.Create());
    drives.show();
    QApplication::processEvents();
    EXPECT_GT(drives.RowCount(), 0);
    EXPECT_TRUE(drives.grab().save(folder + QStringLiteral("/drives.png")));
    SetLogSink(nullptr);
    EXPECT_GT(console.LineCount(), 5);
    EXPECT_EQ(window.Lists().ProjectList().RowCount(), 4);
}

// The main window with the duplicates of the sample media selected.
TEST(Screenshots, DuplicateMedia) {
    TempDir dir;
    ASSERT_FALSE(WriteSampleMedia(dir.file("MEDIA")).empty());
    ScriptedPrompter prompter;
    Services services{prompter, [&] {
                          return std::vector<platform::Volume>{{dir.file("MEDIA"), "MEDIA"}};
                      }};
    MainWindow window(services);
    ASSERT_TRUE(window.Initialise());
    window.resize(1200, 700);
    window.show();
    window.Scan();
    window.OnCommand(res::ID_FIND_DUPLICATES);
    ListView& projects = window.Lists().ProjectList();
    const int duplicates = projects.FindText("**DUPLICATES");
    ASSERT_GE(duplicates, 0);
    projects.SetSelected(duplicates, true);
    QApplication::processEvents();
    EXPECT_EQ(window.Lists().FileList().RowCount(), 2);
    EXPECT_TRUE(window.grab().save(outputFolder() + QStringLiteral("/duplicates.png")));
}

// The operation history after a copy, a delete to the trash and a delete
// of both copies of the duplicate pair (one of which is kept) in the sample.
TEST(Screenshots, OperationHistory) {
    TempDir dir;
    ASSERT_FALSE(WriteSampleMedia(dir.file("MEDIA")).empty());
    ::setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
    std::filesystem::remove(JournalPath());
    ScriptedPrompter prompter;
    Services services{prompter, [&] {
                          return std::vector<platform::Volume>{{dir.file("MEDIA"), "MEDIA"}};
                      }};
    MainWindow window(services);
    ASSERT_TRUE(window.Initialise());
    window.resize(1200, 700);
    window.show();
    window.Scan();
    ListView& projects = window.Lists().ProjectList();
    ListView& files = window.Lists().FileList();
    projects.SetSelected(projects.FindText("Documentary"), true);
    files.SelectAllRows();
    std::filesystem::create_directories(dir.file("BACKUP"));
    prompter.choose(dir.file("BACKUP"));
    window.OnCommand(res::ID_COPY_FILES);
    files.ClearSelection();
    files.SetSelected(0, true);
    prompter.answer(MsgAnswer::Yes);
    window.OnCommand(res::ID_DELETE_FILES);
    window.OnCommand(res::ID_FIND_DUPLICATES);
    projects.ClearSelection();
    projects.SetSelected(projects.FindText("**DUPLICATES"), true);
    files.SelectAllRows();
    prompter.answer(MsgAnswer::Yes);
    window.OnCommand(res::ID_DELETE_FILES);
    bool shown = false;
    window.m_runModal = [&](QDialog& dialog) {
        dialog.show();
        QApplication::processEvents();
        shown = dialog.grab().save(outputFolder() + QStringLiteral("/history.png"));
        EXPECT_GE(static_cast<HistoryDlg&>(dialog).List().RowCount(), 4);
    };
    window.OnCommand(res::ID_OPERATION_HISTORY);
    EXPECT_TRUE(shown);
    ::unsetenv("XDG_DATA_HOME");
}

} // namespace
