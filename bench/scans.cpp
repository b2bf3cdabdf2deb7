// The catalog without a database: a bin naming 10,000 media files looked up
// in media folders holding 1,000,000 files in 200 folders on one volume
// (indexing, lookups, memory of the index), and a media folder of 5,000
// small OMF files scanned. Everything lies below $TMPDIR.

#include "benchclock.h"
#include "benchdir.h"
#include "builders/databasebuilder.h"
#include "builders/omfbuilder.h"
#include "feedback/progress.h"
#include "mediadb/mediacatalog.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

// Notes when the scan moves from indexing to the bin's entries.
class Phases final : public Progress {
public:
    void Step(std::uint64_t, std::uint64_t) override {}
    void SetText(const std::string& text) override {
        if (text != "Indexing Files...")
            indexed = Clock::now();
    }
    Clock::time_point indexed;
};

std::string fileName(int folder, int i) {
    char name[40];
    std::snprintf(name, sizeof name, "A%04d%05dV1_%04X.omf", folder, i,
                  (folder * 7919 + i) & 0xFFFF);
    return name;
}

void binScan(const std::string& root) {
    constexpr int kFolders = 200;
    constexpr int kFilesPerFolder = 5000;
    std::printf("writing %d folders of %d files...\n", kFolders, kFilesPerFolder);
    const std::string volume = root + "/volume";
    for (int f = 0; f < kFolders; ++f) {
        const std::string folder =
            volume + (f % 2 ? "/OMFI MediaFiles/" : "/AVID MediaFiles/MXF/") + std::to_string(f);
        fs::create_directories(folder);
        for (int i = 0; i < kFilesPerFolder; ++i)
            ::close(::open((folder + "/" + fileName(f, i)).c_str(), O_CREAT | O_WRONLY, 0644));
    }
    // The bin: 10,000 names spread over the folders, a hundred of them lost.
    DatabaseBuilder bin;
    bin.filler(100);
    for (int i = 0; i < 10000; ++i) {
        const int f = i % kFolders;
        const std::string name = i % 100 == 0 ? "LOST" + std::to_string(i) + ".omf"
                                              : fileName(f, (i * 37) % kFilesPerFolder);
        bin.binPath("/Volumes/Media/OMFI MediaFiles/" + std::to_string(f) + "/" + name,
                    i % 2 ? ByteOrder::LowFirst : ByteOrder::HighFirst)
            .filler(40, static_cast<std::uint32_t>(i));
    }
    bin.write(root + "/Edit.avb");
    const std::vector<platform::Volume> volumes{{volume, "volume"}};

    MediaCatalog catalog;
    ::malloc_trim(0);
    const long before = residentKb();
    auto start = Clock::now();
    catalog.IndexMediaFolders(volumes);
    const double indexing = since(start);
    const long after = residentKb();
    const std::size_t files = catalog.DiskIndex().size();
    std::printf("index of %zu files: %.2f s, %.0f bytes per file\n", files, indexing,
                static_cast<double>(after - before) * 1024.0 / static_cast<double>(files));
    catalog.ClearDiskIndex();

    Phases phases;
    start = Clock::now();
    catalog.ScanBin(root + "/Edit.avb", &phases, nullptr, volumes);
    const double whole = since(start);
    std::printf("bin scan of 10,000 names: %.2f s in all, lookups and adds %.3f s; %u files "
                "listed, %zu not found\n",
                whole, since(phases.indexed), catalog.FileCount(),
                catalog.FindProject("**FILE_NOT_EXIST") != nullptr
                    ? catalog.FindProject("**FILE_NOT_EXIST")->files.size()
                    : 0);
}

void folderScan(const std::string& root) {
    const std::string folder = root + "/folder";
    fs::create_directories(folder);
    for (int i = 0; i < 5000; ++i) {
        MediaFileDesc desc;
        desc.project = "Project " + std::to_string(i % 7);
        desc.clipName = "Clip " + std::to_string(i);
        desc.jpegFrames = false;
        desc.frames = 1;
        BuildMediaFile(desc).write(folder + "/" + fileName(0, i));
    }
    MediaCatalog catalog;
    const auto start = Clock::now();
    catalog.ScanMediaFolder(folder, nullptr, nullptr);
    std::printf("media folder scan of 5,000 OMF files: %.2f s, %u files in %u projects\n",
                since(start), catalog.FileCount(), catalog.ProjectCount());
}

} // namespace

int main() {
    const std::string root = MakeBenchDir("scans");
    if (root.empty())
        return 1;
    folderScan(root);
    binScan(root);
    fs::remove_all(root);
    return 0;
}
