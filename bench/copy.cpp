// Copies by the program's per-file operation, as a run over many files makes
// them (each file flushed before it takes its name, the next one copied
// meanwhile), against cp of the same files to the same kind of target: one
// 1 GiB file, and 2,000 files of 512 KiB; then same-volume moves of 10,000
// files. Everything lies below $TMPDIR.

#include "benchclock.h"
#include "benchdir.h"
#include "platform/fileoperation.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
// Answers nothing and counts nothing: the operation at full speed.
class QuietUi final : public platform::FileOpUi {
public:
    platform::FileOpAnswer confirm(const std::string&, const std::string&) override {
        return platform::FileOpAnswer::Yes;
    }
    void showError(const std::string& text, const std::string&) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        failed = true;
    }
    bool failed = false;
};

void writeFile(const std::string& path, std::size_t size) {
    std::vector<char> chunk(1 << 20);
    for (std::size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<char>(i * 131 + 7);
    std::ofstream out(path, std::ios::binary);
    for (std::size_t done = 0; done < size; done += chunk.size())
        out.write(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), size - done)));
}

// Drops the page cache's copies of what was written, so each run starts alike.
void settle() {
    if (std::system("sync") != 0)
        std::fprintf(stderr, "sync failed\n");
}

// cp alone leaves its data in the page cache; durable, it is timed until
// the data is on disk too, as ours always is.
double runCp(const std::string& from, const std::string& to, bool durable) {
    settle();
    const auto start = Clock::now();
    const std::string command =
        "cp -r '" + from + "/.' '" + to + "/'" + (durable ? " && sync -f '" + to + "'" : "");
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "cp failed\n");
    return since(start);
}

double runOurs(const std::string& from, const std::string& to, QuietUi& ui) {
    settle();
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(from))
        files.push_back(e.path().string());
    const auto start = Clock::now();
    platform::RunRecord run;
    run.PlaceLater();
    for (const std::string& file : files) {
        const platform::FileOpResult result =
            platform::FileOperation(platform::FileFunction::Copy, file, to, {.ask = false}, ui,
                                    platform::SystemCopyIo(), &run);
        if (result != platform::FileOpResult::Done && result != platform::FileOpResult::Pending)
            break;
    }
    // Timed until every file is flushed and in place.
    for (const platform::FileOpResult result : run.Settled(ui, true)) {
        if (result != platform::FileOpResult::Done)
            ui.failed = true;
    }
    return since(start);
}

void compare(const char* what, const std::string& root, const std::string& source,
             std::uint64_t bytes) {
    QuietUi ui;
    const std::string a = root + "/cp-" + what;
    const std::string b = root + "/ours-" + what;
    fs::create_directories(a);
    fs::create_directories(b);
    // Each side twice, in turns, the better run of each counted: the first
    // writes of a run cost more on some file systems.
    double cp = 1e9;
    double durable = 1e9;
    double ours = 1e9;
    for (int round = 0; round < 2; ++round) {
        ours = std::min(ours, runOurs(source, b, ui));
        for (const bool sync : {false, true}) {
            double& side = sync ? durable : cp;
            side = std::min(side, runCp(source, a, sync));
            fs::remove_all(a);
            fs::create_directories(a);
        }
        fs::remove_all(b);
        fs::create_directories(b);
    }
    const double mb = static_cast<double>(bytes) / (1 << 20);
    std::printf("%-22s cp %.2f s (%.0f MiB/s), ours %.2f s (%.0f MiB/s): ratio %.2f%s\n", what, cp,
                mb / cp, ours, mb / ours, cp / ours, ui.failed ? " (FAILED)" : "");
    std::printf("%-22s cp + sync %.2f s (%.0f MiB/s): ratio %.2f\n", "", durable, mb / durable,
                durable / ours);
    fs::remove_all(a);
    fs::remove_all(b);
}

} // namespace

int main() {
    const std::string root = MakeBenchDir("copy");
    if (root.empty())
        return 1;
    std::printf("below %s\n", root.c_str());
    const std::string big = root + "/big";
    fs::create_directories(big);
    writeFile(big + "/one.omf", std::size_t{1} << 30);
    compare("one file of 1 GiB", root, big, std::uint64_t{1} << 30);
    fs::remove_all(big);

    const std::string many = root + "/many";
    fs::create_directories(many);
    for (int i = 0; i < 2000; ++i)
        writeFile(many + "/clip" + std::to_string(i) + ".omf", 512 * 1024);
    compare("2,000 files of 512 KiB", root, many, std::uint64_t{2000} * 512 * 1024);
    fs::remove_all(many);

    const std::string from = root + "/move-from";
    const std::string to = root + "/move-to";
    fs::create_directories(from);
    fs::create_directories(to);
    std::vector<std::string> files;
    for (int i = 0; i < 10000; ++i) {
        files.push_back(from + "/clip" + std::to_string(i) + ".omf");
        std::ofstream(files.back()) << i;
    }
    QuietUi ui;
    platform::RunRecord run;
    run.PlaceLater();
    const auto start = Clock::now();
    for (const std::string& file : files)
        platform::FileOperation(platform::FileFunction::Move, file, to, {.ask = false}, ui,
                                platform::SystemCopyIo(), &run);
    run.Settled(ui, true);
    const double seconds = since(start);
    std::printf("moves on one volume: 10,000 files in %.2f s, %.0f files/s%s\n", seconds,
                10000 / seconds, ui.failed ? " (FAILED)" : "");
    fs::remove_all(root);
    return 0;
}
