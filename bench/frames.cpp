// Frames in the picture area, offscreen: a 720 x 486 colour JFIF frame
// decoded, scaled and drawn into the picture area's size, against libjpeg
// decoding the same frame alone; and scrubbing the frame slider over a
// 1,000-frame file, one notification per position.

#include "app/mainwindow.h"
#include "benchclock.h"
#include "benchdir.h"
#include "builders/jpegframes.h"
#include "builders/mediafolder.h"
#include "builders/omfbuilder.h"
#include "graphics/dibimage.h"
#include "widgets/picturecontrol.h"
#include "widgets/qtprompter.h"
#include "widgets/sortablelistview.h"

#include <QApplication>
#include <QSlider>

#include <chrono>
#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string root = MakeBenchDir("frames");
    if (root.empty())
        return 1;
    const std::string media = root + "/OMFI MediaFiles/1";
    MakeFolder(media);

    std::printf("writing a file of 1000 frames of 720 x 486...\n");
    MediaFileDesc desc;
    desc.project = "Scrub";
    desc.frames = 1000;
    desc.width = 720;
    desc.height = 486;
    desc.testPattern = true;
    BuildMediaFile(desc).write(media + "/scrub.omf");
    WriteDatabase(media, {{"scrub.omf", "Scrub"}});

    QtPrompter prompter;
    Services services{prompter, [&] { return std::vector<platform::Volume>{{root, "BENCH"}}; }};
    MainWindow window(services);
    window.Initialise();
    window.show();
    PictureControl& picture = window.Info().Picture();
    std::printf("picture area: %d x %d\n", picture.width(), picture.height());

    const std::vector<std::uint8_t> frame = MakeTestPatternFrame(720, 486, 12);
    constexpr int kRuns = 600;
    auto start = Clock::now();
    for (int i = 0; i < kRuns; ++i) {
        const DibImage image(frame.data(), frame.size(), DibImage::Type::Jpeg);
        picture.Erase();
        picture.ShowImage(image);
    }
    const double ours = kRuns / since(start);
    // libjpeg alone: the frame decoded into red-green-blue rows, nothing more.
    start = Clock::now();
    std::size_t decoded = 0;
    for (int i = 0; i < kRuns; ++i)
        decoded += DecodeJpegPlainly(frame).samples.size();
    const double plain = kRuns / since(start);
    std::printf("decode + scale + draw: %.0f frames/s; libjpeg decoding alone: %.0f frames/s "
                "(%zu bytes); ratio %.2f\n",
                ours, plain, decoded / kRuns, ours / plain);

    window.Scan();
    window.Lists().ProjectList().SetSelected(0, true);
    window.Lists().FileList().SetSelected(0, true);
    QSlider& slider = window.Info().Slider();
    const int before = window.Info().FramesShown();
    start = Clock::now();
    for (int p = 0; p <= slider.maximum(); ++p) {
        slider.setValue(p);
        QCoreApplication::processEvents();
    }
    const double scrub = since(start);
    std::printf("scrubbing frames 0 to %d: %.2f s, %d frames decoded, ending at frame %d\n",
                slider.maximum(), scrub, window.Info().FramesShown() - before,
                window.Info().LastFrameShown());
    std::filesystem::remove_all(root);
    return window.Info().LastFrameShown() == 999 ? 0 : 1;
}
