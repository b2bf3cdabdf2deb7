#include "app/mainwindow.h"
#include "panelfixture.h"

#include "builders/mediafolder.h"
#include "builders/omfbuilder.h"
#include "graphics/dibimage.h"
#include "resources/menus.h"
#include "support/logcapture.h"
#include "support/scriptedprompter.h"
#include "support/tempdir.h"
#include "widgets/picturecontrol.h"
#include "widgets/sortablelistview.h"

#include <QApplication>
#include <QPainter>
#include <QSlider>
#include <gtest/gtest.h>

namespace {

class MediaInfoPanelTest : public PanelFixture {
protected:
    void SetUp() override {
        media = dir.file("vol/OMFI MediaFiles/1");
        MakeFolder(media);
        jfif.project = "P";
        jfif.clipName = "Test card";
        jfif.frames = 5;
        jfif.testPattern = true;
        BuildMediaFile(jfif).write(media + "/card.omf");
        MediaFileDesc lower = jfif;
        lower.compressionText = "jfif"; // not the exact identifier: no preview
        BuildMediaFile(lower).write(media + "/lower.omf");
        MediaFileDesc audio;
        audio.project = "P";
        audio.descriptorClass = "AIFD";
        audio.jpegFrames = false;
        audio.frames = 0;
        audio.sourcePath.clear();
        BuildMediaFile(audio).write(media + "/voice.omf");
        MakeFile(media + "/render.wav", 3000);
        WriteDatabase(media, {{"card.omf", "P"},
                              {"lower.omf", "P"},
                              {"voice.omf", "P"},
                              {"render.wav", "P"},
                              {"gone.omf", "P"}});
        ASSERT_TRUE(window.Initialise());
        window.show();
        window.OnCommand(res::ID_VERIFY_FILES); // off: missing files stay, SCAN! runs
        window.Lists().ProjectList().SetSelected(window.Lists().ProjectList().FindText("P"), true);
    }

    // Frame n of the test card as the picture area should show it.
    QImage expectedFrame(int n) {
        PictureControl& picture = window.Info().Picture();
        const auto frames = MediaFileFrames(jfif);
        const DibImage image(frames[static_cast<std::size_t>(n)].data(),
                             frames[static_cast<std::size_t>(n)].size(), DibImage::Type::Jpeg);
        QImage expected(picture.size(), QImage::Format_RGB32);
        QPainter painter(&expected);
        image.Draw(&painter, expected.rect());
        return expected;
    }

    std::string media;
    MediaFileDesc jfif;
};

TEST_F(MediaInfoPanelTest, AJfifFileShowsSixRowsInOrderAndItsFirstFrame) {
    select("card.omf");
    const Rows shown = rows();
    ASSERT_EQ(labels(), (std::vector<std::string>{"Creation Date:", "Size:", "Name in Bin:",
                                                  "Compression:", "Num frames:", "Source:"}));
    EXPECT_FALSE(shown[0].second.empty());
    EXPECT_NE(shown[1].second.find(" KB"), std::string::npos);
    EXPECT_EQ(shown[2].second, "Test card");
    EXPECT_EQ(shown[3].second, "10:1 / JFIF");
    EXPECT_EQ(shown[4].second, "5");
    EXPECT_EQ(shown[5].second, "C:\\Capture\\clip.avi");
    QSlider& slider = window.Info().Slider();
    EXPECT_EQ(slider.minimum(), 0);
    EXPECT_EQ(slider.maximum(), 4);
    EXPECT_EQ(window.Info().LastFrameShown(), 0);
    EXPECT_EQ(window.Info().Picture().Frame(), expectedFrame(0));
}

TEST_F(MediaInfoPanelTest, TheSliderShowsTheFrameAtItsPositionWithoutABacklog) {
    select("card.omf");
    QSlider& slider = window.Info().Slider();
    slider.setValue(3);
    QApplication::processEvents();
    EXPECT_EQ(window.Info().LastFrameShown(), 3);
    EXPECT_EQ(window.Info().Picture().Frame(), expectedFrame(3));
    EXPECT_NE(expectedFrame(3), expectedFrame(0));
    // Notifications faster than frames decode: the latest position shows, once.
    const int shown = window.Info().FramesShown();
    slider.setValue(1);
    slider.setValue(2);
    slider.setValue(4);
    QApplication::processEvents();
    EXPECT_EQ(window.Info().FramesShown(), shown + 1);
    EXPECT_EQ(window.Info().Picture().Frame(), expectedFrame(4));
    // Selecting nothing clears the panel and the picture; the slider stays.
    window.Lists().FileList().ClearSelection();
    EXPECT_TRUE(window.Info().Picture().Frame().isNull());
    EXPECT_EQ(window.Info().InfoList().RowCount(), 0);
    EXPECT_EQ(slider.maximum(), 4);
}

TEST_F(MediaInfoPanelTest, OnlyTheExactIdentifierIsPreviewed) {
    select("lower.omf");
    EXPECT_EQ(rows()[3].second, "10:1 / jfif");
    EXPECT_TRUE(window.Info().Picture().Frame().isNull());
    const int shown = window.Info().FramesShown();
    window.Info().Slider().setValue(2); // no frame table loaded: nothing
    QApplication::processEvents();
    EXPECT_EQ(window.Info().FramesShown(), shown);
    EXPECT_TRUE(window.Info().Picture().Frame().isNull());
}

TEST_F(MediaInfoPanelTest, FilesThatAreNoContainerOrMissingShowWhatIsKnown) {
    select("render.wav");
    EXPECT_EQ(labels(), (std::vector<std::string>{"Creation Date:", "Size:"}));
    EXPECT_EQ(rows()[1].second, "3 KB");
    EXPECT_FALSE(window.Info().CurrentMediaFile().IsOpen());

    select("voice.omf"); // audio: no frames, no source
    EXPECT_EQ(labels(), (std::vector<std::string>{
                            "Creation Date:", "Size:", "Name in Bin:", "Compression:"}));
    EXPECT_EQ(rows()[3].second, "AIFF / AIFD");
    EXPECT_TRUE(window.Info().CurrentMediaFile().IsOpen());

    select("gone.omf");
    EXPECT_EQ(rows(), (Rows{{"Error:", "File does not exist"}}));
    EXPECT_FALSE(window.Info().CurrentMediaFile().IsOpen());
}

TEST_F(MediaInfoPanelTest, ARecordWithoutAFolderIsNeverOpened) {
    // Its full path would be its name at the root: here, a real media file.
    MediaRecord record{};
    const std::string path = media + "/card.omf";
    record.fileName.SetWhole(path.substr(1));
    record.size = 5000;
    window.Info().ShowMediaInfo(&record);
    EXPECT_EQ(labels(), std::vector<std::string>{"Size:"});
    EXPECT_FALSE(window.Info().CurrentMediaFile().IsOpen());
}

} // namespace
