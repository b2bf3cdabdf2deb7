#include "feedback/log.h"
#include "resources/dialogtemplate.h"
#include "widgets/debugconsole.h"

#include <QApplication>
#include <QListView>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

// A console subscribed to the log for the life of the test.
class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(console.Create());
        previous = CurrentLogSink();
        SetLogSink(&console);
    }
    void TearDown() override { SetLogSink(previous); }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (int i = 0; i < console.LineCount(); ++i)
            out.push_back(console.Line(i));
        return out;
    }

    DebugConsole console;
    LogSink* previous = nullptr;
};

TEST_F(ConsoleTest, KeepsTheNewest65536LinesAndShowsTheLast) {
    console.show();
    for (int i = 0; i <= DebugConsole::kMaxLines; ++i)
        LogF("line %d", i);
    EXPECT_EQ(console.LineCount(), 65536);
    EXPECT_EQ(console.Line(0), "line 1");
    EXPECT_EQ(console.Line(65535), "line 65536");
    QApplication::processEvents();
    auto* list = console.ControlAs<QListView>(res::IDC_CONSOLE_LIST);
    ASSERT_NE(list, nullptr);
    const QModelIndex last = list->model()->index(65535, 0);
    EXPECT_TRUE(list->viewport()->rect().intersects(list->visualRect(last)));

    console.ControlAs<QPushButton>(res::IDC_CONSOLE_CLEAR)->click();
    EXPECT_EQ(console.LineCount(), 0);
    Log("after clear");
    EXPECT_EQ(lines(), std::vector<std::string>{"after clear"});
}

TEST_F(ConsoleTest, HidingAndShowingKeepsTheLines) {
    Log("one");
    console.show();
    console.ControlAs<QPushButton>(res::IDC_CONSOLE_HIDE)->click();
    EXPECT_FALSE(console.isVisible());
    Log("two");
    console.show();
    EXPECT_EQ(lines(), (std::vector<std::string>{"one", "two"}));
}

TEST_F(ConsoleTest, StopsShrinkingAt200By100AndKeepsItsControlsInOrder) {
    console.show();
    console.resize(150, 60);
    QApplication::processEvents();
    EXPECT_EQ(console.frameGeometry().size(),
              QSize(DebugConsole::kMinWidth, DebugConsole::kMinHeight));

    for (QSize size : {QSize(200, 100), QSize(500, 300), QSize(900, 700)}) {
        console.resize(size);
        QApplication::processEvents();
        const QRect inside = console.rect();
        const QRect list = console.Control(res::IDC_CONSOLE_LIST)->geometry();
        const QRect clear = console.Control(res::IDC_CONSOLE_CLEAR)->geometry();
        const QRect hide = console.Control(res::IDC_CONSOLE_HIDE)->geometry();
        // The list fills the window above the buttons; the buttons sit in a
        // row under it, "Clear" first, left-aligned with the list.
        EXPECT_TRUE(inside.contains(list)) << size.width();
        EXPECT_TRUE(inside.contains(clear));
        EXPECT_TRUE(inside.contains(hide));
        EXPECT_LT(list.bottom(), clear.top());
        EXPECT_EQ(clear.left(), list.left());
        EXPECT_EQ(clear.top(), hide.top());
        EXPECT_LT(clear.right(), hide.left());
        EXPECT_GT(list.width(), inside.width() * 9 / 10);
        EXPECT_LT(inside.bottom() - clear.bottom(), inside.height() / 2);
    }
}

TEST(Console, CreationFailsWithoutItsTemplate) {
    DebugConsole console;
    EXPECT_FALSE(console.Create(4242));
    console.WriteLine("nowhere"); // a console that was never created holds nothing
    EXPECT_EQ(console.LineCount(), 0);
}

} // namespace
