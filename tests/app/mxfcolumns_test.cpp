#include "app/cataloglists.h"
#include "app/listexport.h"
#include "panelfixture.h"

#include "builders/databasebuilder.h"
#include "builders/mediafolder.h"
#include "builders/mxfbuilder.h"
#include "resources/dialogtemplate.h"
#include "resources/menus.h"
#include "support/csvreader.h"

#include <QTest>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

namespace {

using Lines = std::vector<std::string>;

// What each file is, as written: its duration in seconds, its pixels and
// its frame rate (0 for sound and for files without a picture).
struct Written {
    double seconds = 0;
    double pixels = 0;
    double rate = 0;
};

class MxfColumnsTest : public PanelFixture {
protected:
    void SetUp() override {
        media = dir.file("vol/AVID MediaFiles/MXF/1");
        MakeFolder(media);
        // Wide and tall tell the same timecode (2 s and 10 frames) at
        // different rates; the wide one has more frames, the tall one is
        // longer. The widest is not the largest.
        picture("wide.mxf", 1280, 128, 25, 1, 60);
        picture("tall.mxf", 640, 360, 24000, 1001, 58);
        picture("ntsc.mxf", 320, 180, 30000, 1001, 30);
        MxfSoundDesc sound;
        sound.clipName = "Voice";
        sound.projectName = "P";
        sound.samples = 4 * 48000;
        ASSERT_TRUE(WriteMxfSoundFile(media + "/voice_A1.mxf", sound));
        written["voice_A1.mxf"] = {4.0, 0, 0};
        MakeFile(media + "/notes.omf", 300); // no container: nothing to tell
        written["notes.omf"] = {};
        WriteDatabase(media, {{"wide.mxf", "P"},
                              {"tall.mxf", "P"},
                              {"ntsc.mxf", "P"},
                              {"voice_A1.mxf", "P"},
                              {"notes.omf", "P"}});
        ASSERT_TRUE(window.Initialise());
        window.show();
    }
    void picture(const std::string& name, int width, int height, int num, int den, int frames) {
        MxfFileDesc desc;
        desc.clipName = name;
        desc.projectName = "P";
        desc.width = width;
        desc.height = height;
        desc.frameRateNumerator = num;
        desc.frameRateDenominator = den;
        desc.frames = frames;
        ASSERT_TRUE(WriteMxfFile(media + "/" + name, desc));
        written[name] = {double(frames) * den / num, double(width) * height, double(num) / den};
    }
    void selectProject(const std::string& name) {
        ListView& projects = window.Lists().ProjectList();
        projects.SetSelected(projects.FindText(name), true);
    }
    std::string text(const std::string& file, MediaColumn c) {
        ListView& files = window.Lists().FileList();
        return files.Text(files.FindText(file), static_cast<int>(c));
    }
    Lines names() {
        ListView& files = window.Lists().FileList();
        Lines out;
        for (int row = 0; row < files.RowCount(); ++row)
            out.push_back(files.Text(row, 0));
        return out;
    }
    // The names in the order of the value, largest first (no two known
    // values are equal).
    Lines byValue(double Written::*value) {
        Lines out;
        for (const auto& [name, facts] : written)
            out.push_back(name);
        std::stable_sort(out.begin(), out.end(), [&](const auto& a, const auto& b) {
            return written[a].*value > written[b].*value;
        });
        return out;
    }
    void sortBy(MediaColumn c) {
        window.Lists().SortList(window.Lists().FileList(), static_cast<int>(c));
    }
    // The files whose value is 0 sort last in any order among themselves.
    void expectOrder(double Written::*value) {
        Lines expected = byValue(value);
        Lines shown = names();
        const auto zero = std::find_if(expected.begin(), expected.end(),
                                       [&](const auto& n) { return written[n].*value == 0; });
        const auto known = static_cast<std::size_t>(zero - expected.begin());
        ASSERT_EQ(shown.size(), expected.size());
        EXPECT_EQ(Lines(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(known)),
                  Lines(expected.begin(), zero));
        std::sort(shown.begin() + static_cast<std::ptrdiff_t>(known), shown.end());
        std::sort(expected.begin() + static_cast<std::ptrdiff_t>(known), expected.end());
        EXPECT_EQ(shown, expected);
    }

    std::string media;
    std::map<std::string, Written> written;
};

TEST_F(MxfColumnsTest, AFolderScanFillsTheColumnsAndTheySortByValue) {
    prompter.choose(media);
    window.OnCommand(res::IDC_SCAN_FOLDER);
    selectProject("P");
    selectProject("**UNREFERENCED FILES");
    ASSERT_EQ(window.Lists().FileList().RowCount(), 5);
    EXPECT_EQ(text("wide.mxf", MediaColumn::Duration), "00:00:02:10");
    EXPECT_EQ(text("wide.mxf", MediaColumn::Resolution), "1280 x 128");
    EXPECT_EQ(text("wide.mxf", MediaColumn::FrameRate), "25");
    EXPECT_EQ(text("tall.mxf", MediaColumn::Duration), "00:00:02:10");
    EXPECT_EQ(text("tall.mxf", MediaColumn::FrameRate), "23.976");
    // Displayed, not stored (192 lines).
    EXPECT_EQ(text("ntsc.mxf", MediaColumn::Resolution), "320 x 180");
    EXPECT_EQ(text("ntsc.mxf", MediaColumn::Duration), "00:00:01;00");
    EXPECT_EQ(text("ntsc.mxf", MediaColumn::FrameRate), "29.97");
    // Sound: its length at 25, nothing else.
    EXPECT_EQ(text("voice_A1.mxf", MediaColumn::Duration), "00:00:04:00");
    EXPECT_EQ(text("voice_A1.mxf", MediaColumn::Resolution), "");
    EXPECT_EQ(text("voice_A1.mxf", MediaColumn::FrameRate), "");
    EXPECT_EQ(text("notes.omf", MediaColumn::Duration), "");

    sortBy(MediaColumn::Duration);
    expectOrder(&Written::seconds);
    sortBy(MediaColumn::Resolution);
    expectOrder(&Written::pixels);
    sortBy(MediaColumn::FrameRate);
    expectOrder(&Written::rate);

    // The export has the columns, as shown, in the order shown.
    const std::string path = dir.file("out.csv");
    prompter.choose(path);
    window.OnCommand(res::ID_EXPORT_MEDIA_LIST);
    std::ifstream in(path, std::ios::binary);
    const CsvRows rows = ReadCsv({std::istreambuf_iterator<char>(in), {}});
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(Lines(rows[0].begin() + 9, rows[0].begin() + 12),
              (Lines{"Duration", "Resolution", "Frame Rate"}));
    EXPECT_EQ(Lines(rows[1].begin() + 9, rows[1].begin() + 12),
              (Lines{"00:00:01;00", "320 x 180", "29.97"}));
}

TEST_F(MxfColumnsTest, ADatabaseScanLeavesThemEmptyUntilTheFilesAreRead) {
    window.Scan();
    selectProject("P");
    for (const auto& [name, facts] : written)
        EXPECT_EQ(text(name, MediaColumn::Duration), "") << name;
    // One selected file is read, its row shows it.
    select("tall.mxf");
    EXPECT_EQ(text("tall.mxf", MediaColumn::Resolution), "640 x 360");
    EXPECT_EQ(text("wide.mxf", MediaColumn::Resolution), "");
    // F2 reads every selected file.
    ListView& files = window.Lists().FileList();
    window.Lists().SelectAllRows(files);
    QTest::keyClick(&files, Qt::Key_F2);
    EXPECT_EQ(text("wide.mxf", MediaColumn::Resolution), "1280 x 128");
    EXPECT_EQ(text("voice_A1.mxf", MediaColumn::Duration), "00:00:04:00");
    sortBy(MediaColumn::Duration);
    expectOrder(&Written::seconds);

    // A bin scan reads the files it finds.
    DatabaseBuilder bin;
    bin.filler(40).binPath("/Volumes/X/AVID MediaFiles/MXF/1/ntsc.mxf").filler(20, 2);
    bin.binPath("/Volumes/X/AVID MediaFiles/MXF/1/voice_A1.mxf").filler(30, 3);
    bin.write(dir.file("Edit.avb"));
    prompter.choose(dir.file("Edit.avb"));
    window.OnCommand(res::IDC_SCAN_BIN);
    selectProject("P");
    EXPECT_EQ(names().size(), 2u);
    EXPECT_EQ(text("ntsc.mxf", MediaColumn::FrameRate), "29.97");
    EXPECT_EQ(text("voice_A1.mxf", MediaColumn::Duration), "00:00:04:00");
}

} // namespace
