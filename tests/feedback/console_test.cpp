#include "feedback/log.h"
#include "feedback/orrinconsole.h"
#include "resources/dialogtemplate.h"
#include "support/logcapture.h"

#include <QListView>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <cerrno>

namespace {

using Lines = std::vector<std::string>;

TEST(Console, KeepsTheNewest65536LinesAndShowsTheLast) {
    LogCapture log;
    OrrinConsole& console = log.console();
    console.show();
    for (int i = 0; i <= OrrinConsole::kMaxLines; ++i) {
        std::snprintf(console.m_line, sizeof console.m_line, "line %d", i);
        console.LogBuffer();
        if (i == 0) {
            EXPECT_EQ(console.m_line[0], '\0');
        }
    }
    EXPECT_EQ(console.lineCount(), 65536);
    EXPECT_EQ(console.line(0), "line 1");
    EXPECT_EQ(console.line(65535), "line 65536");
    QApplication::processEvents();
    auto* list = console.controlAs<QListView>(res::IDC_CONSOLE_LIST);
    ASSERT_NE(list, nullptr);
    const QModelIndex last = list->model()->index(65535, 0);
    EXPECT_TRUE(list->viewport()->rect().intersects(list->visualRect(last)));

    console.controlAs<QPushButton>(res::IDC_CONSOLE_CLEAR)->click();
    EXPECT_EQ(console.lineCount(), 0);
    Log("after clear");
    EXPECT_EQ(log.lines(), Lines{"after clear"});
}

TEST(Console, ErrorAndResourceLines) {
    LogCapture log;
    LogError(0, "/media/disk");
    LogError(ENOENT, "/media/disk");
    LogResource(106);
    LogResource(99999);
    LogF("Found %d dup(s)", 3);
    LogF("%s", std::string(2000, 'x').c_str());
    const Lines lines = log.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "/media/disk : failed with error 2: No such file or directory");
    EXPECT_EQ(lines[1], std::string(42, '-'));
    EXPECT_EQ(lines[2], "Found 3 dup(s)");
    EXPECT_EQ(lines[3], std::string(1023, 'x'));
}

TEST(Console, LoggingWithoutAConsoleDoesNothing) {
    LogCapture log;
    OrrinConsole* console = g_console;
    g_console = nullptr; // as after the console was destroyed at exit
    Log("lost");
    LogResource(106);
    LogError(5, "x");
    g_console = console;
    g_consoleEnabled = 0; // as when the console could not be created
    Log("lost too");
    g_consoleEnabled = 1;
    EXPECT_EQ(log.lines(), Lines{});
}

TEST(Console, HidingAndShowingKeepsTheLines) {
    LogCapture log;
    OrrinConsole& console = log.console();
    Log("one");
    console.show();
    console.controlAs<QPushButton>(res::IDC_CONSOLE_HIDE)->click();
    EXPECT_FALSE(console.isVisible());
    Log("two");
    console.show();
    EXPECT_EQ(log.lines(), (Lines{"one", "two"}));
}

TEST(Console, StopsShrinkingAt200By100AndLaysOutItsControls) {
    LogCapture log;
    OrrinConsole& console = log.console();
    console.show();
    console.resize(150, 60);
    QApplication::processEvents();
    EXPECT_EQ(console.frameGeometry().size(), QSize(200, 100));
    EXPECT_EQ(console.control(res::IDC_CONSOLE_LIST)->geometry(), QRect(2, 3, 188, 49));
    EXPECT_EQ(console.control(res::IDC_CONSOLE_CLEAR)->geometry(), QRect(2, 53, 75, 18));
    EXPECT_EQ(console.control(res::IDC_CONSOLE_HIDE)->geometry(), QRect(80, 53, 75, 18));

    // The layout follows the outer size, frame included.
    console.resize(500, 300);
    QApplication::processEvents();
    const QSize outer = console.frameGeometry().size();
    EXPECT_EQ(console.control(res::IDC_CONSOLE_LIST)->geometry(),
              QRect(2, 3, outer.width() - 12, outer.height() - 51));
    EXPECT_EQ(console.control(res::IDC_CONSOLE_HIDE)->geometry(),
              QRect(80, outer.height() - 47, 75, 18));
}

TEST(Console, CreationFailsWithoutItsTemplate) {
    OrrinConsole console;
    EXPECT_FALSE(console.Create(4242));
    EXPECT_EQ(console.lineCount(), 0);
    console.Log("nowhere"); // a console that was never created holds nothing
    EXPECT_EQ(console.lineCount(), 0);
}

} // namespace
