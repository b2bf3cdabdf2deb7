// MXF media: opening 1,000 small OP-Atom files and reading their facts,
// alone and as a media folder scan; and stepping through a 1920 x 1080 DNxHD
// file in the picture area, each frame decoded, converted and drawn, against
// decoding and converting alone.

#include "app/mainwindow.h"
#include "benchclock.h"
#include "benchdir.h"
#include "builders/mediafolder.h"
#include "builders/mxfbuilder.h"
#include "mediadb/mediacatalog.h"
#include "mxf/mxfreader.h"
#include "widgets/picturecontrol.h"
#include "widgets/qtprompter.h"
#include "widgets/sortablelistview.h"

#include <QApplication>
#include <QSlider>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

constexpr int kSmallFiles = 1000;
constexpr int kLargeFrames = 120;

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string root = MakeBenchDir("mxf");
    if (root.empty())
        return 1;
    const std::string small = root + "/small/AVID MediaFiles/MXF/1";
    const std::string large = root + "/large/AVID MediaFiles/MXF/1";
    MakeFolder(small);
    MakeFolder(large);
    bool ok = true;

    std::printf("writing %d OP-Atom files of 256 x 144, 2 frames each...\n", kSmallFiles);
    MxfFileDesc desc;
    desc.projectName = "Bench";
    desc.tapeName = "TAPE";
    desc.width = 256;
    desc.height = 144;
    desc.frames = 2;
    std::vector<std::string> paths;
    for (int i = 0; i < kSmallFiles; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "CLIP%05d_V1.mxf", i);
        desc.clipName = name;
        paths.push_back(small + "/" + name);
        ok = WriteMxfFile(paths.back(), desc) && ok;
    }
    MxfReader reader;
    std::size_t named = 0;
    auto start = Clock::now();
    for (const std::string& path : paths) {
        if (reader.Open(path))
            named += reader.Facts().projectName.size() + reader.Facts().clipName.size();
    }
    const double open = kSmallFiles / since(start);
    MediaCatalog catalog;
    start = Clock::now();
    catalog.ScanMediaFolder(small, nullptr, nullptr);
    const double scan = kSmallFiles / since(start);
    const ProjectRecord* project = catalog.FindProject("Bench");
    ok = ok && named > 0 && project != nullptr && project->files.size() == kSmallFiles;
    std::printf("open + metadata: %.0f files/s; media folder scan: %.0f files/s "
                "(goal >= 500; ratios %.2f, %.2f)\n",
                open, scan, open / 500, scan / 500);

    std::printf("writing a 1920 x 1080 DNxHD file of %d frames with grain...\n", kLargeFrames);
    desc.width = 1920;
    desc.height = 1080;
    desc.frames = kLargeFrames;
    desc.clipName = "Full HD";
    desc.grain = true;
    ok = WriteMxfFile(large + "/FULLHD_V1.mxf", desc) && ok;
    WriteDatabase(large, {{"FULLHD_V1.mxf", "Bench"}});

    // Decoding and converting alone, into rows of the frame's size.
    reader.Open(large + "/FULLHD_V1.mxf");
    std::vector<std::uint8_t> rows;
    start = Clock::now();
    for (int n = 0; n < kLargeFrames; ++n) {
        ok = reader.DecodeFrame(n) && ok;
        rows.resize(static_cast<std::size_t>(reader.FrameWidth()) * 3 * reader.FrameHeight());
        ok = reader.CopyFrameBgr(rows.data(), reader.FrameWidth() * 3) && ok;
    }
    const double decodeOnly = kLargeFrames / since(start);
    reader.Close();

    QtPrompter prompter;
    Services services{prompter, [&] {
                          return std::vector<platform::Volume>{{root + "/large", "BENCH"}};
                      }};
    MainWindow window(services);
    window.Initialise();
    window.show();
    window.Scan();
    window.Lists().ProjectList().SetSelected(0, true);
    window.Lists().FileList().SetSelected(0, true);
    QSlider& slider = window.Info().Slider();
    PictureControl& picture = window.Info().Picture();
    const int before = window.Info().FramesShown();
    start = Clock::now();
    for (int p = 1; p <= slider.maximum(); ++p) {
        slider.setValue(p);
        QCoreApplication::processEvents();
    }
    const double stepping = (window.Info().FramesShown() - before) / since(start);
    ok = ok && window.Info().LastFrameShown() == kLargeFrames - 1 &&
         window.Info().FramesShown() - before == kLargeFrames - 1;
    std::printf("picture area %d x %d: stepping frame by frame, decode + convert + draw: "
                "%.1f frames/s (goal >= 30, ratio %.2f); decode + convert alone: %.1f frames/s\n",
                picture.width(), picture.height(), stepping, stepping / 30, decodeOnly);
    std::filesystem::remove_all(root);
    if (!ok)
        std::printf("FAILED: a file was not written or not read whole\n");
    return ok ? 0 : 1;
}
