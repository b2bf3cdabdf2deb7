// Writes pictures of the main window after SCAN! of the sample media, with a
// project and a media file selected, and of the debug console, as PNG files
// into the build folder (or $TOLVANE_SCREENSHOT_DIR), for people to look at.

#include "app/mainwindow.h"
#include "app/mylistctrl.h"
#include "feedback/log.h"
#include "feedback/orrinconsole.h"
#include "platform/volumes.h"
#include "support/logcapture.h"
#include "support/samplemedia.h"
#include "support/scriptedprompter.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <gtest/gtest.h>

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
    WriteSampleMedia(dir.file("MEDIA"));
    platform::SetVolumeSource([&] {
        return std::vector<platform::Volume>{{dir.file("MEDIA"), "MEDIA"}};
    });
    ScriptedPrompter prompter;
    LogCapture log;
    MainWindow window;
    ASSERT_TRUE(window.Initialise());
    window.resize(1200, 700);
    window.show();
    window.Scan();
    const int documentary = window.ProjectList().FindText("Documentary");
    ASSERT_GE(documentary, 0);
    window.ProjectList().SetSelected(documentary, true);
    window.FileList().SetSelected(0, true);
    QApplication::processEvents();
    const QString folder = outputFolder();
    EXPECT_TRUE(window.grab().save(folder + QStringLiteral("/main-window.png")));

    log.console().resize(700, 400);
    log.console().show();
    QApplication::processEvents();
    EXPECT_TRUE(log.console().grab().save(folder + QStringLiteral("/console.png")));
    platform::SetVolumeSource({});
    EXPECT_EQ(window.ProjectList().RowCount(), 4);
}

} // namespace
