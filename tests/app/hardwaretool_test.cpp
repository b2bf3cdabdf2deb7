#include "app/aboutdlg.h"
#include "app/hardwaretooldlg.h"
#include "app/mainwindow.h"

#include "platform/formatting.h"
#include "resources/dialogtemplate.h"
#include "resources/menus.h"
#include "support/logcapture.h"
#include "support/scriptedprompter.h"
#include "widgets/textprogressctrl.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>

namespace {

constexpr std::uint64_t kGB = 1000ull * 1000 * 1000;

// Volumes of given sizes (0: the volume does not answer), half full.
struct FakeSpace {
    std::map<std::string, std::uint64_t> totals;
    bool operator()(const platform::Volume& v, platform::VolumeSpace& s, int& error) const {
        const std::uint64_t total = totals.at(v.root);
        if (total == 0) {
            error = ENOMEDIUM;
            return false;
        }
        s.total = total;
        s.free = total / 2;
        s.available = s.free;
        return true;
    }
};

const std::vector<platform::Volume> kVolumes{
    {"/", "", platform::VolumeType::Fixed},
    {"/media/big", "big", platform::VolumeType::Fixed},
    {"/media/stick", "stick", platform::VolumeType::Fixed},
    {"/mnt/cd", "cd", platform::VolumeType::CdRom},
    {"/mnt/share", "share", platform::VolumeType::Network},
};
const FakeSpace kSpace{{{"/", 80 * kGB},
                        {"/media/big", 1000 * kGB},
                        {"/media/stick", 4 * kGB},
                        {"/mnt/cd", 0},
                        {"/mnt/share", 200 * kGB}}};

TEST(DriveLayout, OneScaleForAllVolumesAndSmallOnesLonger) {
    LogCapture log;
    const DriveLayout layout = LayOutDrives(kVolumes, kSpace);
    ASSERT_EQ(layout.rows.size(), 5u);
    const DriveRow& system = layout.rows[0];
    const DriveRow& big = layout.rows[1];
    EXPECT_LE(big.bar.width(), 300);
    EXPECT_GT(big.bar.width(), 150);
    EXPECT_EQ(layout.scaledWidth, big.bar.width());
    // 80 GB is about a twelfth of 1 TB.
    EXPECT_NEAR(system.bar.width(), big.bar.width() * 0.08, 1.0);
    // The stick would be a few pixels: it is drawn eight times longer, its
    // range and position still on the common scale.
    const DriveRow& stick = layout.rows[2];
    EXPECT_EQ(stick.bar.width(), static_cast<int>((4 * kGB) >> (layout.shift - 3)));
    EXPECT_EQ(stick.rangeMaximum, static_cast<int>((4 * kGB) >> layout.shift));
    // Rows follow each other 18 pixels apart, labels at one x right of all bars.
    for (std::size_t i = 0; i < layout.rows.size(); ++i) {
        EXPECT_EQ(layout.rows[i].bar.top(), 5 + 18 * static_cast<int>(i));
        EXPECT_EQ(layout.rows[i].labelRect.left(), layout.scaledWidth + 20);
        EXPECT_GT(layout.rows[i].labelRect.left(), layout.rows[i].bar.right());
    }
    const std::string total = platform::FormatByteSize(1000 * kGB);
    const std::string half = platform::FormatByteSize(500 * kGB);
    EXPECT_EQ(big.label, "/media/big ( big ) -  " + total + " total / " + half + " used");
    EXPECT_EQ(big.barText, half);
    EXPECT_EQ(big.position * 2, big.rangeMaximum);
    // The CD drive does not answer: no bar, "Device Not ready", still a CD.
    const DriveRow& cd = layout.rows[3];
    EXPECT_EQ(cd.label, " /mnt/cd -  Device Not ready");
    EXPECT_EQ(cd.bar.width(), 0);
    EXPECT_TRUE(cd.barText.empty());
    EXPECT_EQ(cd.background, QColor(223, 255, 255));
    EXPECT_EQ(layout.rows[4].background, QColor(223, 255, 223));
    EXPECT_EQ(system.background, QColor(255, 223, 255));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"/mnt/cd : failed with error 123: No medium found",
                                        "/mnt/cd CD-ROM", "/mnt/share Network drive"}));
}

TEST(HardwareToolWindow, ARowPerVolumeDrawnToScale) {
    ScriptedPrompter prompter;
    Services none{prompter, [] { return std::vector<platform::Volume>{}; }, kSpace};
    HardwareToolDlg empty(none);
    ASSERT_TRUE(empty.Create());
    EXPECT_EQ(empty.RowCount(), 0);
    Services five{prompter, [] { return kVolumes; }, kSpace};
    HardwareToolDlg window(five);
    ASSERT_TRUE(window.Create());
    ASSERT_EQ(window.RowCount(), 5);
    EXPECT_EQ(window.windowTitle().toStdString(), "Hardware Tool  (press ESC to close)");
    EXPECT_EQ(window.height() - empty.height(), 5 * 18);
    EXPECT_EQ(window.Bar(0).objectName().toStdString(), std::to_string(res::IDC_DRIVE_BAR_FIRST));
    EXPECT_EQ(window.Label(1).text().toStdString(),
              "/media/big ( big ) -  " + platform::FormatByteSize(1000 * kGB) + " total / " +
                  platform::FormatByteSize(500 * kGB) + " used");
    // A rendered row: the fill starts blue at the left, the background shows
    // past the used half.
    TextProgressCtrl& big = window.Bar(1);
    QImage image(big.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    big.Paint(painter);
    EXPECT_EQ(image.pixelColor(1, 1), QColor(15, 15, 239));
    EXPECT_EQ(image.pixelColor(big.width() - 3, 1), QColor(255, 223, 255));
    EXPECT_EQ(big.Text(), platform::FormatByteSize(500 * kGB));
}

// A label too long for its row ends in "..." after a whole word, and fits;
// the whole text is its tip. A name without blanks is cut where it must be.
TEST(HardwareToolWindow, LongLabelsEndAtAWordWithAnEllipsis) {
    const std::string words = "/media/editor/Shared Storage of the Second Floor Edit Suites";
    const std::string oneWord = "/media/" + std::string(120, 'X');
    const std::vector<platform::Volume> volumes{{words, "Suites", platform::VolumeType::Fixed},
                                                {oneWord, "X", platform::VolumeType::Fixed}};
    const FakeSpace space{{{words, 0}, {oneWord, 0}}};
    ScriptedPrompter prompter;
    Services services{prompter, [&] { return volumes; }, space};
    HardwareToolDlg window(services);
    ASSERT_TRUE(window.Create());
    ASSERT_EQ(window.RowCount(), 2);
    for (int row = 0; row < 2; ++row) {
        const QLabel& label = window.Label(row);
        const QString full = label.toolTip();
        const QString shown = label.text();
        ASSERT_TRUE(shown.endsWith(QStringLiteral("..."))) << shown.toStdString();
        const QString kept = shown.chopped(3);
        EXPECT_TRUE(full.startsWith(kept)) << shown.toStdString();
        EXPECT_LE(label.fontMetrics().horizontalAdvance(shown), label.contentsRect().width());
        if (row == 0) {
            // Cut before a blank, and no further back than it must be.
            EXPECT_EQ(full[kept.size()], QLatin1Char(' ')) << shown.toStdString();
            EXPECT_NE(kept.back(), QLatin1Char(' '));
            const qsizetype nextBlank = full.indexOf(QLatin1Char(' '), kept.size() + 1);
            const QString longer = full.left(nextBlank) + QStringLiteral("...");
            EXPECT_GT(label.fontMetrics().horizontalAdvance(longer), label.contentsRect().width());
        }
    }
}

TEST(AboutBox, ShowsTheProductAndClosesWithOk) {
    AboutDlg about;
    ASSERT_TRUE(about.Create());
    EXPECT_EQ(about.windowTitle().toStdString(), "About Tolvane...");
    auto* ok = about.ControlAs<QPushButton>(res::IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    ok->click();
    EXPECT_EQ(about.result(), QDialog::Accepted);

    ScriptedPrompter prompter;
    Services services{prompter, [] { return kVolumes; }, kSpace};
    MainWindow window(services);
    ASSERT_TRUE(window.Initialise());
    std::vector<std::string> shown;
    window.m_runModal = [&](QDialog& dialog) {
        shown.push_back(dialog.windowTitle().toStdString());
    };
    window.OnCommand(res::ID_APP_ABOUT);
    window.OnCommand(res::IDC_HARDWARE_TOOL);
    window.OnCommand(res::ID_HARDWARE_TOOL);
    EXPECT_EQ(shown,
              (std::vector<std::string>{"About Tolvane...", "Hardware Tool  (press ESC to close)",
                                        "Hardware Tool  (press ESC to close)"}));
}

} // namespace
