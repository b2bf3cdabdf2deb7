// Loads media folders laid out as Avid lays them out -- numbered folders of
// 5,000 files, each with its msmFMID.pmr naming its files in 100 projects
// shared across folders, some files missing and some unreferenced -- database
// after database as SCAN! does, for 20 folders (100,000 records) and 200
// folders (1,000,000 records), against a load one request at a time. Prints
// the totals, the time split by step, the peak memory per record, the cold
// load beside a cold find (as root), and the report.
//   bench_catalog [FOLDERS] [--warm]   warm and cold loads (--warm: no cold)
//   bench_catalog --latency            20 folders through a volume that
//                                      answers each request after 1 ms (root)

#include "benchclock.h"
#include "benchdir.h"
#include "builders/databasebuilder.h"
#include "latencyvolume/latencyvolume.h"
#include "mediadb/databaseload.h"
#include "mediadb/mediacatalog.h"
#include "mediadb/recordscanner.h"
#include "report/report.h"

#include "platform/directory.h"
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFilesPerFolder = 5000;
constexpr int kMissingPerFolder = 100;
constexpr int kUnreferencedPerFolder = 100;
constexpr int kProjects = 100;

std::string fileName(int folder, int i) {
    char name[40];
    std::snprintf(name, sizeof name, "A%04d%05dV1_%04X.omf", folder, i,
                  (folder * 7919 + i) & 0xFFFF);
    return name;
}

// Folder f: files 0..4899 on disk and in the database, 4900..4999 only in the
// database (missing), and 100 unreferenced files on disk.
void writeFolder(const std::string& root, int f) {
    const std::string folder = root + "/" + std::to_string(f + 1);
    std::filesystem::create_directories(folder);
    DatabaseBuilder b;
    b.filler(256, static_cast<std::uint32_t>(f));
    for (int i = 0; i < kFilesPerFolder; ++i) {
        const std::string name = fileName(f, i);
        const std::string project = "Project " + std::to_string(i % kProjects);
        b.record(name, project, i % 2 ? ByteOrder::LowFirst : ByteOrder::HighFirst);
        b.filler(200, static_cast<std::uint32_t>(i));
        if (i < kFilesPerFolder - kMissingPerFolder) {
            const int fd = ::open((folder + "/" + name).c_str(), O_CREAT | O_WRONLY, 0644);
            ::close(fd);
        }
    }
    for (int i = 0; i < kUnreferencedPerFolder; ++i) {
        const int fd =
            ::open((folder + "/" + fileName(f, 90000 + i)).c_str(), O_CREAT | O_WRONLY, 0644);
        ::close(fd);
    }
    b.write(folder + "/msmFMID.pmr");
    const int fd = ::open((folder + "/msmMMOB.mdb").c_str(), O_CREAT | O_WRONLY, 0644);
    ::close(fd);
}

long statusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    }
    return 0;
}

void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// What the system alone takes to list the folders and ask each entry's facts,
// as the load asks them, with nothing made of the answers: the folders
// shared out among `threads`. On a local disk, where one request at a time
// is best, no load on two cores beats the two-thread figure by much, beside
// the records it also reads.
double listingFloor(const std::string& root, int folders, int threads) {
    std::atomic<int> next{0};
    std::atomic<long> entries{0};
    auto work = [&] {
        for (int f = next++; f < folders; f = next++) {
            const std::string folder = root + "/" + std::to_string(f + 1);
            DIR* dir = ::opendir(folder.c_str());
            if (dir == nullptr)
                continue;
            long seen = 0;
            while (const dirent* d = ::readdir(dir)) {
                struct statx sx {};
                if (::statx(::dirfd(dir), d->d_name, AT_STATX_SYNC_AS_STAT,
                            STATX_BASIC_STATS | STATX_BTIME, &sx) == 0)
                    ++seen;
            }
            ::closedir(dir);
            entries += seen;
        }
    };
    const auto t = Clock::now();
    std::vector<std::thread> helpers;
    for (int i = 1; i < threads; ++i)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers)
        helper.join();
    return since(t);
}

struct Split {
    double index = 0, scan = 0, add = 0, unreferenced = 0, rebuild = 0;
};

// The steps of a database load one by one, timed separately.
Split loadInSteps(const std::string& root, int folders) {
    platform::SetMetadataRequestsInFlight(1);
    MediaCatalog catalog;
    Split split;
    RecordScanner scanner;
    MediaRecord record;
    std::vector<MediaRecord> records;
    records.reserve(kFilesPerFolder);
    for (int f = 0; f < folders; ++f) {
        const std::string folder = root + "/" + std::to_string(f + 1);
        auto t = Clock::now();
        catalog.ClearDiskIndex();
        catalog.IndexFolder(folder);
        split.index += since(t);
        scanner.OpenForScan((folder + "/msmFMID.pmr").c_str());
        records.clear();
        t = Clock::now();
        while (scanner.NextDatabaseRecord(record, nullptr) ==
               RecordScanner::ScanResult::RecordFound)
            records.push_back(record);
        split.scan += since(t);
        scanner.Close();
        t = Clock::now();
        for (MediaRecord& r : records) {
            catalog.MatchOnDisk(r);
            catalog.AddRecord(r, false);
        }
        split.add += since(t);
        t = Clock::now();
        catalog.AddUnreferencedFiles(false);
        split.unreferenced += since(t);
        t = Clock::now();
        catalog.RebuildFileArray();
        split.rebuild += since(t);
    }
    platform::SetMetadataRequestsInFlight(0);
    return split;
}

// Loads the databases as SCAN! does; with 1 in flight and without the next
// folder listed meanwhile, as a load one request at a time would.
double timedLoad(const std::vector<std::string>& databases, bool sequential,
                 std::uint32_t* records = nullptr) {
    platform::SetMetadataRequestsInFlight(sequential ? 1 : 0);
    MediaCatalog catalog;
    const auto t = Clock::now();
    if (sequential) {
        for (const std::string& db : databases)
            catalog.LoadDatabase(db, false, nullptr);
    } else {
        LoadDatabases(catalog, databases, false, nullptr);
    }
    const double seconds = since(t);
    platform::SetMetadataRequestsInFlight(0);
    if (records != nullptr)
        *records = catalog.FileCount();
    if (!catalog.isConsistent() ||
        catalog.FileCount() != databases.size() * static_cast<std::size_t>(kFilesPerFolder)) {
        std::printf("WRONG RESULT: %u records\n", catalog.FileCount());
        std::exit(1);
    }
    return seconds;
}

std::vector<std::string> databasesOf(const std::string& root, int folders) {
    std::vector<std::string> databases;
    for (int f = 0; f < folders; ++f)
        databases.push_back(root + "/" + std::to_string(f + 1) + "/msmFMID.pmr");
    return databases;
}

bool dropCaches() {
    ::sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    drop << "3" << std::endl;
    return static_cast<bool>(drop);
}

double timedCommand(const std::string& command) {
    const auto t = Clock::now();
    if (std::system(command.c_str()) != 0)
        std::printf("  (%s failed)\n", command.c_str());
    return since(t);
}

// The first `folders` folders read from a cold disk: the page cache, the
// folders' entries and the files' metadata dropped before each pass.
void coldLoads(const std::string& root, int folders) {
    if (::geteuid() != 0 || !dropCaches()) {
        std::printf("cold cache: skipped, dropping the page cache needs root\n");
        return;
    }
    const std::vector<std::string> databases = databasesOf(root, folders);
    std::string find = "find";
    for (int f = 0; f < folders; ++f)
        find += " '" + root + "/" + std::to_string(f + 1) + "'";
    find += " -printf '%s %T@\\n' > /dev/null";
    double sequential = 1e9, parallel = 1e9, listing = 1e9;
    for (int round = 0; round < 2; ++round) {
        dropCaches();
        listing = std::min(listing, timedCommand(find));
        dropCaches();
        sequential = std::min(sequential, timedLoad(databases, true));
        dropCaches();
        parallel = std::min(parallel, timedLoad(databases, false));
    }
    const int records = folders * kFilesPerFolder;
    std::printf("cold cache, %d records in %d folders (best of 2):\n", records, folders);
    std::printf("  find -printf of size and time %.3f s\n", listing);
    std::printf("  load one request at a time    %.3f s\n", sequential);
    std::printf("  load as the program does      %.3f s (%d in flight): x%.2f of one at a time, "
                "x%.2f of find\n",
                parallel, platform::MetadataRequestsInFlight(root + "/1"), parallel / sequential,
                parallel / listing);
}

// The first `folders` folders through a FUSE volume that answers every
// request after 1 ms, each pass through a fresh mount.
int latencyLoads(const std::string& root, int folders) {
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        std::printf("volume with latency: skipped, mounting it needs root\n");
        return 0;
    }
    const std::string mount = root + "-volume";
    std::filesystem::create_directories(mount);
    std::vector<std::string> databases = databasesOf(mount, folders);
    const int records = folders * kFilesPerFolder;
    std::printf("volume with 1 ms latency, %d records in %d folders:\n", records, folders);
    double best = 1e9;
    std::string bestWidth;
    auto pass = [&](int inFlight, const std::vector<std::string>& dbs) {
        LatencyVolume volume(mount, root);
        if (!volume.mounted() || !volume.failure().empty()) {
            std::printf("  skipped: %s\n", volume.failure().c_str());
            return -1.0;
        }
        platform::SetMetadataRequestsInFlight(inFlight);
        MediaCatalog catalog;
        const auto t = Clock::now();
        LoadDatabases(catalog, dbs, false, nullptr);
        const double seconds = since(t);
        const int chosen =
            inFlight != 0 ? inFlight : platform::MetadataRequestsInFlight(mount + "/1");
        platform::SetMetadataRequestsInFlight(0);
        if (catalog.FileCount() != dbs.size() * static_cast<std::size_t>(kFilesPerFolder)) {
            std::printf("  WRONG RESULT: %u records\n", catalog.FileCount());
            std::exit(1);
        }
        std::printf("  %-28s %.3f s, %.0f records/s, %d requests in flight, most served at once "
                    "%d\n",
                    inFlight == 0 ? "as the program loads:" : "fixed:", seconds,
                    static_cast<double>(catalog.FileCount()) / seconds, chosen,
                    volume.mostInFlight());
        if (seconds < best && dbs.size() == databases.size()) {
            best = seconds;
            bestWidth = std::to_string(chosen) + (inFlight == 0 ? " (measured)" : " (fixed)");
        }
        return seconds;
    };
    // One at a time takes over 5 s a folder: one folder, scaled.
    const std::vector<std::string> one(databases.begin(), databases.begin() + 1);
    const double oneAtATime = pass(1, one);
    if (oneAtATime < 0)
        return 0;
    std::printf("  one at a time, scaled to %d folders: %.1f s\n", folders, oneAtATime * folders);
    const double measured = pass(0, databases);
    for (int width : {8, 16, 32, 64})
        pass(width, databases);
    std::printf("  best: %.3f s with %s; as the program loads: x%.1f faster than one at a "
                "time\n",
                best, bestWidth.c_str(), oneAtATime * folders / measured);
    std::filesystem::remove(mount);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int maxFolders = 200;
    bool latency = false;
    bool cold = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--latency")
            latency = true;
        else if (arg == "--warm")
            cold = false;
        else
            maxFolders = std::max(20, std::atoi(argv[i]));
    }
    const std::string rootDir = MakeBenchDir("catalog");
    const char* root = rootDir.c_str();
    if (rootDir.empty()) {
        return 1;
    }
    const int folderCount = latency ? 20 : maxFolders;
    std::printf("writing %d folders of %d files under %s...\n", folderCount, kFilesPerFolder, root);
    for (int f = 0; f < folderCount; ++f)
        writeFolder(root, f);
    // The tree's own write-back, done now rather than beside the loads.
    if (const int fd = ::open(root, O_RDONLY | O_DIRECTORY); fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
    if (latency) {
        const int code = latencyLoads(root, 20);
        std::filesystem::remove_all(root);
        return code;
    }

    for (int folders : {20, maxFolders}) {
        const std::vector<std::string> databases = databasesOf(root, folders);
        // Bring the folders and databases into the page cache.
        timedLoad(databases, true);
        ::malloc_trim(0);
        const long baseKb = statusKb("VmRSS:");
        resetPeak();
        std::uint32_t records = 0;
        const double parallel = timedLoad(databases, false, &records);
        const long peakKb = statusKb("VmHWM:");
        ::malloc_trim(0);
        const double sequential = timedLoad(databases, true);
        const Split split = loadInSteps(root, folders);
        std::printf("%d folders, %u records, warm cache: %.3f s (%.2f us/record, %d requests in "
                    "flight); one request at a time %.3f s: x%.2f\n",
                    folders, records, parallel, parallel * 1e6 / records,
                    platform::MetadataRequestsInFlight(std::string(root) + "/1"), sequential,
                    sequential / parallel);
        std::printf("  split, one at a time: index %.3f s, scan %.3f s, match+add %.3f s, "
                    "unreferenced %.3f s, rebuild %.3f s\n",
                    split.index, split.scan, split.add, split.unreferenced, split.rebuild);
        const double floorOne = listingFloor(root, folders, 1);
        const double floorTwo = listingFloor(root, folders, 2);
        std::printf("  readdir + statx alone: %.3f s on one thread, %.3f s on two; the load "
                    "x%.2f of the two-thread figure\n",
                    floorOne, floorTwo, parallel / floorTwo);
        std::printf("  peak memory: %.0f bytes/record\n",
                    static_cast<double>(peakKb - baseKb) * 1024.0 / records);
    }
    // The headless report over every folder: the same loads, then the text.
    const std::vector<std::string> databases = databasesOf(root, maxFolders);
    for (const auto format : {ReportRequest::Format::Csv, ReportRequest::Format::Json}) {
        ReportRequest request;
        request.format = format;
        request.verify = false;
        request.databases = databases;
        // Into a file, as tolvane --report > file writes it.
        const std::string reportPath = rootDir + "/report.txt";
        std::ofstream out(reportPath, std::ios::binary | std::ios::trunc);
        std::ostringstream err;
        const auto t = Clock::now();
        const int code = RunReport(request, {}, out, err, nullptr);
        out.close();
        const double seconds = since(t);
        std::printf("report (%s), %d databases: %.3f s, %.1f MB of text, exit %d\n",
                    format == ReportRequest::Format::Csv ? "csv" : "json", maxFolders, seconds,
                    static_cast<double>(std::filesystem::file_size(reportPath)) / 1e6, code);
        std::filesystem::remove(reportPath);
    }
    // Last: it leaves the page cache empty.
    if (cold)
        coldLoads(root, 20);
    std::filesystem::remove_all(root);
    return 0;
}
