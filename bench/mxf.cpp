// MXF media: opening 1,000 small OP-Atom files and reading their facts,
// alone and as a media folder scan; and stepping through a 1920 x 1080 DNxHD
// file in the picture area, each frame decoded, converted and drawn, against
// decoding and converting alone.
// First, hostile files: index table segments declaring 80 million edit
// units in a 500 KB file, once and in four tables; the largest index a
// 100 MB file may declare; and as many metadata sets as the reader takes.
// Each is opened in a child process, whose peak memory and time are printed
// against the goals (256 MiB; the open deadline + 0.2 s), beside libavformat
// opening the first file alone, as the reader once had it do.

#include "app/mainwindow.h"
#include "benchclock.h"
#include "benchdir.h"
#include "builders/mediafolder.h"
#include "builders/mxfbuilder.h"
#include "mediadb/mediacatalog.h"
#include "mxf/mxfinput.h"
#include "mxf/mxfreader.h"
#include "widgets/picturecontrol.h"
#include "widgets/qtprompter.h"
#include "widgets/sortablelistview.h"

#include <QApplication>
#include <QSlider>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

constexpr int kSmallFiles = 1000;
constexpr int kLargeFrames = 120;

struct ChildRun {
    double seconds = 0;
    double peakMiB = 0;
    bool opened = false;
};

// Runs open in a child process: its time, its peak resident memory, and
// whether it opened.
ChildRun RunInChild(const std::function<bool()>& open) {
    ChildRun run;
    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(open() ? 0 : 1);
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child)
        return run;
    run.seconds = since(start);
    run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024;
    run.opened = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// libavformat's MXF demuxer reading a file by itself, as the reader had it.
bool OpenWithLibavformatAlone(const std::string& path) {
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* format = avformat_alloc_context();
    format->probesize = 32 << 10;
    format->max_analyze_duration = 0;
    const std::string url = "file:" + path;
    if (avformat_open_input(&format, url.c_str(), av_find_input_format("mxf"), nullptr) < 0)
        return false;
    avformat_close_input(&format);
    return true;
}

// A copy of a plain file with bytes added after its footer's index segment.
std::string Crafted(const std::string& plain, const std::string& name,
                    const std::vector<std::uint8_t>& added) {
    const std::string path = std::filesystem::path(plain).parent_path().string() + "/" + name;
    std::filesystem::copy_file(plain, path, std::filesystem::copy_options::overwrite_existing);
    return AddAfterLastIndexSegment(path, added) ? path : std::string();
}

std::vector<std::uint8_t> Joined(const std::vector<std::vector<std::uint8_t>>& parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

bool BenchHostileFiles(const std::string& dir) {
    MxfFileDesc desc;
    desc.width = 256;
    desc.height = 144;
    desc.frames = 60;
    const std::string plain = dir + "/plain.mxf";
    if (!WriteMxfFile(plain, desc))
        return false;
    const double goalSeconds = std::chrono::duration<double>(MxfReader::kOpenTime).count() + 0.2;
    // A child starts with what its parent holds; a child that does nothing
    // tells how much, and the rest is the open's.
    auto row = [&](const char* what, const std::string& path, bool expectOpen) {
        if (path.empty())
            return false;
        const ChildRun idle = RunInChild([] { return true; });
        const ChildRun run = RunInChild([&] { return MxfReader().Open(path); });
        const double own = run.peakMiB - idle.peakMiB;
        std::printf("%-44s %6.1f MB: %s in %.3f s (goal <= %.1f s, ratio %.2f), %.0f MiB "
                    "(goal <= 256, ratio %.2f)\n",
                    what, static_cast<double>(std::filesystem::file_size(path)) / 1e6,
                    run.opened ? "opened" : "refused", run.seconds, goalSeconds,
                    run.seconds / goalSeconds, own, own / 256);
        return run.opened == expectOpen && run.seconds <= goalSeconds && own <= 256;
    };
    const std::string one = Crafted(plain, "one.mxf", MxfIndexSegment(3, 80000000, 1, 1));
    bool ok = row("index duration 80,000,000", one, false);
    ok = row("four index tables of 80,000,000",
             Crafted(
                 plain, "four.mxf",
                 Joined({MxfIndexSegment(3, 80000000, 1, 1), MxfIndexSegment(4, 80000000, 1, 1),
                         MxfIndexSegment(5, 80000000, 1, 1), MxfIndexSegment(6, 80000000, 1, 1)})),
             false) &&
         ok;
    // Four tables whose edit units together take nearly all the index
    // memory the reader allows, in a file made 100 MB by a fill item.
    const std::uint64_t units = MxfInput::kMaxIndexMemory / 34 / 4 - 16;
    ok = row("100 MB, index at the reader's limit",
             Crafted(plain, "limit.mxf",
                     Joined({MxfIndexSegment(3, units, 1, 1), MxfIndexSegment(4, units, 1, 1),
                             MxfIndexSegment(5, units, 1, 1), MxfIndexSegment(6, units, 1, 1),
                             MxfFill(100u << 20)})),
             true) &&
         ok;
    std::vector<std::uint8_t> set = MxfIndexSegment(7, 0, 0, 0);
    std::vector<std::uint8_t> sets;
    for (std::uint64_t i = 0; i + 100 < MxfInput::kMaxMetadataSets; ++i)
        sets.insert(sets.end(), set.begin(), set.end());
    ok = row("metadata sets just within the reader's limit", Crafted(plain, "sets.mxf", sets),
             true) &&
         ok;
    const ChildRun idle = RunInChild([] { return true; });
    const ChildRun alone = RunInChild([&] { return OpenWithLibavformatAlone(one); });
    const double own = alone.peakMiB - idle.peakMiB;
    std::printf("%-44s %6.1f MB: %s in %.3f s (ratio %.2f), %.0f MiB (ratio %.2f)\n",
                "index duration 80,000,000, libavformat alone",
                static_cast<double>(std::filesystem::file_size(one)) / 1e6,
                alone.opened ? "opened" : "refused", alone.seconds, alone.seconds / goalSeconds,
                own, own / 256);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    const std::string root = MakeBenchDir("mxf");
    if (root.empty())
        return 1;
    // Before the application exists, so that the children are plain copies.
    bool ok = BenchHostileFiles(root);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string small = root + "/small/AVID MediaFiles/MXF/1";
    const std::string large = root + "/large/AVID MediaFiles/MXF/1";
    MakeFolder(small);
    MakeFolder(large);

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
        std::printf("FAILED: a file was not written, not read whole, or beyond a goal\n");
    return ok ? 0 : 1;
}
