#include "app/cataloglists.h"
#include "app/mainwindow.h"
#include "panelfixture.h"

#include "builders/databasebuilder.h"
#include "builders/mediafolder.h"
#include "builders/mxfbuilder.h"
#include "graphics/dibimage.h"
#include "resources/menus.h"
#include "widgets/picturecontrol.h"
#include "widgets/sortablelistview.h"

#include <QAction>
#include <QApplication>
#include <QPainter>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using Labels = std::vector<std::string>;

class MxfPanelTest : public PanelFixture {
protected:
    void SetUp() override {
        media = dir.file("vol/AVID MediaFiles/MXF/1");
        MakeFolder(media);
        MxfFileDesc clip;
        clip.clipName = "Interview";
        clip.projectName = "Harbour";
        clip.tapeName = "TAPE_7";
        clip.width = 320;
        clip.height = 176;
        clip.frames = 6;
        ASSERT_TRUE(WriteMxfFile(media + "/clip.mxf", clip));
        clip.tapeName.clear();
        clip.frames = 2;
        ASSERT_TRUE(WriteMxfFile(media + "/bare.mxf", clip));
        WriteBytes(media + "/fake.mxf", std::vector<std::uint8_t>(500, 'x'));
        WriteDatabase(media, {{"clip.mxf", "P"}, {"bare.mxf", "P"}, {"fake.mxf", "P"}});
        ASSERT_TRUE(window.Initialise());
        window.show();
        window.Scan();
        ListView& projects = window.Lists().ProjectList();
        projects.SetSelected(projects.FindText("P"), true);
    }

    std::string value(const std::string& label) {
        for (const auto& [name, text] : rows()) {
            if (name == label)
                return text;
        }
        return "(none)";
    }
    std::string column(const std::string& file, MediaColumn c) {
        ListView& files = window.Lists().FileList();
        return files.Text(files.FindText(file), static_cast<int>(c));
    }
    // Frame n of clip.mxf decoded on its own and drawn over the picture
    // area as a JPEG frame is.
    QImage expectedFrame(int n) {
        MxfReader reader;
        EXPECT_TRUE(reader.Open(media + "/clip.mxf"));
        EXPECT_TRUE(reader.DecodeFrame(n));
        DibImage image;
        EXPECT_TRUE(image.Create(reader.FrameWidth(), reader.FrameHeight(), 24));
        reader.CopyFrameBgr(image.Row(image.Height() - 1),
                            -static_cast<std::ptrdiff_t>(image.Stride()));
        QImage expected(window.Info().Picture().size(), QImage::Format_RGB32);
        QPainter painter(&expected);
        image.Draw(&painter, expected.rect());
        return expected;
    }
    // The grey of the shown picture's top-left quarter.
    int markGrey() {
        const QImage& frame = window.Info().Picture().Frame();
        return qGray(frame.pixel(frame.width() / 4, frame.height() / 4));
    }

    std::string media;
};

TEST_F(MxfPanelTest, AnMxfFileShowsTheRowsOfAnOmfFileAndEveryFrameOnceInOrder) {
    select("clip.mxf");
    EXPECT_EQ(labels(), (Labels{"Creation Date:", "Size:", "Name in Bin:", "Compression:",
                                "Num frames:", "Source:"}));
    EXPECT_EQ(value("Name in Bin:"), "Interview");
    EXPECT_EQ(value("Compression:"), "VC3/DNxHD / dnxhd");
    EXPECT_EQ(value("Num frames:"), "6");
    EXPECT_EQ(value("Source:"), "TAPE_7");
    // The file list shows what was read, the source column too.
    EXPECT_EQ(column("clip.mxf", MediaColumn::SourceName), "TAPE_7");
    EXPECT_EQ(column("clip.mxf", MediaColumn::Compression), "VC3/DNxHD");

    QSlider& slider = window.Info().Slider();
    EXPECT_EQ(slider.maximum(), 5);
    EXPECT_EQ(window.Info().LastFrameShown(), 0);
    EXPECT_EQ(window.Info().Picture().Frame(), expectedFrame(0));
    EXPECT_NEAR(markGrey(), MxfMarkGrey(0), 8);
    for (int n = 1; n <= 5; ++n) {
        const int shown = window.Info().FramesShown();
        slider.setValue(n);
        QApplication::processEvents();
        EXPECT_EQ(window.Info().FramesShown(), shown + 1);
        EXPECT_EQ(window.Info().LastFrameShown(), n);
        EXPECT_EQ(window.Info().Picture().Frame(), expectedFrame(n));
        EXPECT_NEAR(markGrey(), MxfMarkGrey(n), 8) << n;
    }
    slider.setValue(2); // back: sought
    QApplication::processEvents();
    EXPECT_EQ(window.Info().Picture().Frame(), expectedFrame(2));

    // Without a tape, no source row; a text file named .mxf shows its date
    // and size only.
    select("bare.mxf");
    EXPECT_EQ(labels(),
              (Labels{"Creation Date:", "Size:", "Name in Bin:", "Compression:", "Num frames:"}));
    select("fake.mxf");
    EXPECT_EQ(labels(), (Labels{"Creation Date:", "Size:"}));
    EXPECT_TRUE(window.Info().Picture().Frame().isNull());
    EXPECT_FALSE(window.Info().CurrentMxfFile().IsOpen());
}

TEST_F(MxfPanelTest, F2FillsMxfRowsAndTheOptionOffLeavesThemAsTheyWere) {
    ListView& files = window.Lists().FileList();
    window.Lists().SelectAllRows(files);
    QTest::keyClick(&files, Qt::Key_F2);
    EXPECT_EQ(column("clip.mxf", MediaColumn::NameInBin), "Interview");
    EXPECT_EQ(column("clip.mxf", MediaColumn::Compression), "VC3/DNxHD");
    EXPECT_EQ(column("clip.mxf", MediaColumn::SourceName), "TAPE_7");
    EXPECT_EQ(column("fake.mxf", MediaColumn::NameInBin), "");
    EXPECT_FALSE(window.Info().CurrentMxfFile().IsOpen());

    // Off: the menu's check mark goes, a new scan's MXF rows are left as the
    // database gives them, by F2 and by the panel alike.
    window.OnCommand(res::ID_READ_MXF);
    EXPECT_FALSE(window.ReadMxf());
    EXPECT_FALSE(window.MenuAction(res::ID_READ_MXF)->isChecked());
    window.Scan();
    ListView& projects = window.Lists().ProjectList();
    projects.SetSelected(projects.FindText("P"), true);
    window.Lists().SelectAllRows(files);
    QTest::keyClick(&files, Qt::Key_F2);
    EXPECT_EQ(column("clip.mxf", MediaColumn::NameInBin), "");
    EXPECT_EQ(column("clip.mxf", MediaColumn::Compression), "");
    select("clip.mxf");
    EXPECT_EQ(labels(), (Labels{"Creation Date:", "Size:"}));
    EXPECT_TRUE(window.Info().Picture().Frame().isNull());
    EXPECT_EQ(column("clip.mxf", MediaColumn::SourceName), "");

    window.OnCommand(res::ID_READ_MXF);
    EXPECT_TRUE(window.MenuAction(res::ID_READ_MXF)->isChecked());
    select("bare.mxf");
    EXPECT_EQ(value("Name in Bin:"), "Interview");
}

} // namespace
