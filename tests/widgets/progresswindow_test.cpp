#include "widgets/progresswindow.h"

#include "resources/dialogtemplate.h"
#include "support/logcapture.h"

#include <QProgressBar>
#include <gtest/gtest.h>

namespace {

struct FakeClock {
    std::uint32_t now = 1000;
};

class ProgressWindowTest : public ::testing::Test {
protected:
    ProgressWindowTest() : window(nullptr, [this] { return clock.now; }) {
        EXPECT_TRUE(window.Create(res::IDD_PROGRESS));
    }
    std::string text(int id) const { return window.ControlText(id).toStdString(); }

    FakeClock clock;
    ProgressWindow window;
};

TEST_F(ProgressWindowTest, ScalesLargeTotalsToTheBar) {
    window.Step(500, 1000);
    EXPECT_EQ(window.Shift(), 2);
    EXPECT_EQ(window.RangeMaximum(), 250);
    EXPECT_EQ(window.LastPosition(), 125u);
    EXPECT_EQ(text(res::IDC_PROGRESS_PERCENT), "50 %");
    EXPECT_EQ(window.ControlAs<QProgressBar>(res::IDC_PROGRESS_BAR)->maximum(), 250);
    EXPECT_EQ(window.ControlAs<QProgressBar>(res::IDC_PROGRESS_BAR)->value(), 125);

    window.Step(1, 255);
    EXPECT_EQ(window.Shift(), 0);
    EXPECT_EQ(window.RangeMaximum(), 255);
    window.Step(2, 256);
    EXPECT_EQ(window.Shift(), 1);
    EXPECT_EQ(window.RangeMaximum(), 128);
    window.Step(1ull << 39, 1ull << 40);
    EXPECT_EQ(window.Shift(), 33);
    EXPECT_EQ(window.RangeMaximum(), 128);
    EXPECT_EQ(text(res::IDC_PROGRESS_PERCENT), "50 %");
}

TEST_F(ProgressWindowTest, TheBarStaysInItsRangeWhateverTheSteps) {
    auto* bar = window.ControlAs<QProgressBar>(res::IDC_PROGRESS_BAR);
    // A current beyond the total shows more than 100 % with the bar at its end.
    window.Step(500, 1000);
    window.Step(2000, 1000);
    EXPECT_EQ(text(res::IDC_PROGRESS_PERCENT), "200 %");
    EXPECT_EQ(bar->value(), bar->maximum());
    // A total of 0 after another total divides by nothing and shows an empty
    // bar, not a busy indicator (a range of 0 to 0).
    window.Step(7, 0);
    EXPECT_EQ(text(res::IDC_PROGRESS_PERCENT), "0 %");
    EXPECT_LT(bar->minimum(), bar->maximum());
    EXPECT_EQ(bar->value(), bar->minimum());
}

TEST_F(ProgressWindowTest, RedrawsOnlyWhenTheScaledPositionMoves) {
    window.Step(0, 0);
    EXPECT_EQ(window.DisplayUpdates(), 0);
    EXPECT_EQ(text(res::IDC_PROGRESS_PERCENT), "");
    window.Step(400, 1000);
    window.Step(401, 1000); // both scale to position 100
    EXPECT_EQ(window.DisplayUpdates(), 1);
    window.Step(404, 1000);
    EXPECT_EQ(window.DisplayUpdates(), 2);
}

TEST_F(ProgressWindowTest, ShowsElapsedTimeAndEstimatedDuration) {
    window.OnTimer();
    EXPECT_EQ(text(res::IDC_PROGRESS_ELAPSED), "00:00:00.0");
    EXPECT_EQ(text(res::IDC_PROGRESS_ESTIMATE), "00:00:00.0");
    clock.now += 1500;
    window.OnTimer();
    EXPECT_EQ(text(res::IDC_PROGRESS_ELAPSED), "00:00:01.5");

    clock.now = 1000 + 10000;
    window.Step(50, 100);
    // The due tick ran inside Step: the operation keeps the event loop away.
    EXPECT_EQ(text(res::IDC_PROGRESS_ESTIMATE), "00:00:20.0");
    clock.now += 10000;
    window.OnTimer(); // no Step since: the estimate stays
    EXPECT_EQ(text(res::IDC_PROGRESS_ESTIMATE), "00:00:20.0");
    EXPECT_EQ(text(res::IDC_PROGRESS_ELAPSED), "00:00:20.0");

    window.Step(1, 1ull << 62); // an absurd estimate is held at the largest time
    window.OnTimer();
    EXPECT_EQ(text(res::IDC_PROGRESS_ESTIMATE), "596:31:23.6");
}

TEST(ProgressWindow, FormatsDurations) {
    EXPECT_EQ(ProgressWindow::FormatDuration(0), "00:00:00.0");
    EXPECT_EQ(ProgressWindow::FormatDuration(3723400), "01:02:03.4");
    EXPECT_EQ(ProgressWindow::FormatDuration(360000000), "100:00:00.0");
    EXPECT_EQ(ProgressWindow::FormatDuration(59999), "00:00:59.9");
}

TEST(ProgressWindow, AWindowThatCannotBeMadeIsLoggedAndSkipped) {
    LogCapture log;
    EXPECT_EQ(ProgressWindow::Start(nullptr, 4242), nullptr);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Error creating Progress Window"});
    auto window = ProgressWindow::Start(nullptr, res::IDD_PROGRESS);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Please Wait ..."));
    window->SetText("Copying files....");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Copying files...."));
}

} // namespace
