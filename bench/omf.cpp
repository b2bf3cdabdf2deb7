// Opens 10,000 small OMF media files (a project attribute, one composition
// mob and a media descriptor each) and reads project, clip name and
// descriptor of each, as the media folder scan does. Prints files per second.

#include "benchdir.h"
#include "builders/omfbuilder.h"
#include "omf/omfreader.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const std::string benchDir = MakeBenchDir("omf");
    if (benchDir.empty())
        return 1;
    const char* dir = benchDir.c_str();
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        MediaFileDesc desc;
        desc.project = "Project " + std::to_string(i % 100);
        desc.clipName = "Clip " + std::to_string(i);
        desc.jpegFrames = false;
        desc.frames = 2;
        paths.push_back(std::string(dir) + "/A" + std::to_string(i) + "V1.omf");
        BuildMediaFile(desc).write(paths.back());
    }
    double best = 1e9;
    int ok = 0;
    for (int run = 0; run < 3; ++run) {
        OmfReader reader;
        ok = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const std::string& path : paths) {
            if (!reader.Open(path.c_str()))
                continue;
            char project[69];
            char clip[259];
            if (reader.ProjectName(project, sizeof project) != 0 &&
                reader.CompositionName(clip, sizeof clip) != 0 &&
                reader.ReadMediaDescriptor() == OmfReader::OtherDescriptor)
                ++ok;
            reader.Close();
        }
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("%d files, %d read completely: %.3f s, %.0f files/s, %.1f us/file\n", count, ok,
                best, count / best, best * 1e6 / count);
    std::filesystem::remove_all(dir);
    return ok == count ? 0 : 1;
}
