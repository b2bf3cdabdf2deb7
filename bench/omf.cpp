// Opens 10,000 small OMF media files (a project attribute, one composition
// mob and a media descriptor each) and reads project, clip name and
// descriptor of each, as the media folder scan does. Prints files per second.
// Then opens crafted containers of 5, 10 and 100 MB whose TOC names one
// huge mob table over and over, as the scan would, against the goal of
// 0.5 s; and what reading each entry's whole value, as the reader once did,
// would cost (timed on some entries, for all of them). And containers that
// are all TOC, of objects of one property each.

#include "benchclock.h"
#include "benchdir.h"
#include "builders/omfbuilder.h"
#include "mediadb/filefacts.h"
#include "omf/omfreader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// A container of about `bytes` bytes: four fifths a mob table value that
// states 65535 entries, one fifth a TOC of header entries that each name
// that value as long as the file.
OmfBuilder CraftedContainer(std::size_t bytes) {
    OmfBuilder b;
    std::vector<std::uint8_t> value(bytes / 5 * 4, 0x5A);
    value[0] = 0xFF;
    value[1] = 0xFF;
    const std::uint32_t at = b.data(value);
    const std::uint32_t properties[] = {omf::kPropSourceMobs, omf::kPropCompositionMobs,
                                        omf::kPropMediaData};
    for (std::size_t i = 0; i < bytes / 5 / omf::kTocEntrySize; ++i)
        b.raw(omf::kHeaderObject, properties[i % 3], omf::kTypeMobTable, at, 0xFFFFFFFFu);
    return b;
}

bool BenchCrafted(const std::string& dir, std::size_t megabytes) {
    const std::string path = dir + "/crafted" + std::to_string(megabytes) + ".omf";
    CraftedContainer(megabytes << 20).write(path);
    double best = 1e9;
    std::uint64_t bytesRead = 0;
    std::size_t entries = 0;
    bool opened = true;
    for (int run = 0; run < 3; ++run) {
        FactsReader facts;
        const auto start = Clock::now();
        opened = facts.Read(path, kAllFacts).has_value() && opened;
        best = std::min(best, since(start));
        bytesRead = facts.Omf().BytesRead();
        entries = facts.Omf().TocEntryCount();
    }
    // Each entry's whole value, as once read for every one of them.
    OmfReader reader;
    reader.Open(path.c_str());
    const std::size_t sample = std::min<std::size_t>(entries, 20);
    const auto start = Clock::now();
    std::uint64_t wholeValues = 0;
    for (std::size_t i = 0; i < sample; ++i)
        wholeValues += reader.ReadValue(&reader.Toc()[i]).size();
    const double wholeReads =
        since(start) / static_cast<double>(sample) * static_cast<double>(entries);
    std::printf("crafted %3zu MB, %7zu TOC entries naming one mob table: open + facts %.3f s "
                "(goal <= 0.5 s, ratio %.2f), %.1f MB read; whole values for every entry "
                "would take about %.0f s (%.0f MB each)\n",
                megabytes, entries, best, best / 0.5, static_cast<double>(bytesRead) / 1e6,
                wholeReads, static_cast<double>(wholeValues) / 1e6 / static_cast<double>(sample));
    return opened;
}

// A container of about `bytes` bytes that is all TOC: objects of one
// property each, as a huge composition or a hostile TOC would have.
bool BenchManyObjects(const std::string& dir, std::size_t megabytes) {
    const std::string path = dir + "/objects" + std::to_string(megabytes) + ".omf";
    OmfBuilder b;
    const std::size_t count = (megabytes << 20) / omf::kTocEntrySize;
    for (std::size_t i = 0; i < count; ++i)
        b.classId(static_cast<std::uint32_t>(100 + i), "ABCD");
    b.write(path);
    double best = 1e9;
    bool opened = true;
    for (int run = 0; run < 3; ++run) {
        FactsReader facts;
        const auto start = Clock::now();
        opened = facts.Read(path, kAllFacts).has_value() && facts.Omf().Objects().size() == count &&
                 opened;
        best = std::min(best, since(start));
    }
    std::printf("%3zu MB TOC of %zu objects: open + facts %.3f s (goal <= 0.5 s, ratio %.2f)\n",
                megabytes, count, best, best / 0.5);
    return opened;
}

} // namespace

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
    bool crafted = true;
    for (std::size_t megabytes : {5, 10, 100})
        crafted = BenchCrafted(benchDir, megabytes) && crafted;
    for (std::size_t megabytes : {10, 100})
        crafted = BenchManyObjects(benchDir, megabytes) && crafted;
    std::filesystem::remove_all(dir);
    return ok == count && crafted ? 0 : 1;
}
