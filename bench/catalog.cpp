// Loads media folders laid out as Avid lays them out -- numbered folders of
// 5,000 files, each with its msmFMID.pmr naming its files in 100 projects
// shared across folders, some files missing and some unreferenced -- database
// after database as SCAN! does, for 20 folders (100,000 records) and 200
// folders (1,000,000 records). Prints the total, the time split by step and
// the peak memory per record.

#include "benchclock.h"
#include "benchdir.h"
#include "builders/databasebuilder.h"
#include "mediadb/mediacatalog.h"
#include "mediadb/recordscanner.h"
#include "report/report.h"

#include "platform/directory.h"
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

struct Split {
    double index = 0, scan = 0, add = 0, unreferenced = 0, rebuild = 0;
};

// The steps of a database load one by one, timed separately.
Split loadInSteps(const std::string& root, int folders) {
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
    return split;
}

} // namespace

int main(int argc, char** argv) {
    const int maxFolders = argc > 1 ? std::atoi(argv[1]) : 200;
    const std::string rootDir = MakeBenchDir("catalog");
    const char* root = rootDir.c_str();
    if (rootDir.empty()) {
        return 1;
    }
    std::printf("writing %d folders of %d files under %s...\n", maxFolders, kFilesPerFolder, root);
    for (int f = 0; f < maxFolders; ++f)
        writeFolder(root, f);

    double first = 0;
    int firstFolders = 0;
    for (int folders : {20, maxFolders}) {
        if (folders > maxFolders)
            continue;
        // Bring the folders and databases into the page cache.
        for (int f = 0; f < folders; ++f) {
            const std::string folder = std::string(root) + "/" + std::to_string(f + 1);
            std::vector<platform::DirEntry> entries;
            int error = 0;
            platform::ListDirectory(folder, entries, error);
            std::ifstream db(folder + "/msmFMID.pmr", std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(db)),
                              std::istreambuf_iterator<char>());
        }
        ::malloc_trim(0);
        const long baseKb = statusKb("VmRSS:");
        resetPeak();
        double total = 0;
        std::uint32_t records = 0;
        {
            MediaCatalog catalog;
            const auto t = Clock::now();
            for (int f = 0; f < folders; ++f) {
                const std::string db =
                    std::string(root) + "/" + std::to_string(f + 1) + "/msmFMID.pmr";
                catalog.LoadDatabase(db, false, nullptr);
            }
            total = since(t);
            records = catalog.FileCount();
            if (!catalog.isConsistent() ||
                records != static_cast<std::uint32_t>(folders) * kFilesPerFolder ||
                catalog.ProjectCount() != kProjects + 1) {
                std::printf("WRONG RESULT: %u records, %u projects\n", records,
                            catalog.ProjectCount());
                return 1;
            }
        }
        const long peakKb = statusKb("VmHWM:");
        ::malloc_trim(0);
        const Split split = loadInSteps(root, folders);
        std::printf("%d folders, %u records: %.3f s total, %.2f us/record\n", folders, records,
                    total, total * 1e6 / records);
        std::printf("  split: index %.3f s, scan %.3f s, match+add %.3f s, unreferenced %.3f s, "
                    "rebuild %.3f s\n",
                    split.index, split.scan, split.add, split.unreferenced, split.rebuild);
        std::printf("  peak memory: %.0f bytes/record\n",
                    static_cast<double>(peakKb - baseKb) * 1024.0 / records);
        if (first == 0) {
            first = total;
            firstFolders = folders;
        } else {
            std::printf("  time x%.2f for records x%.1f\n", total / first,
                        static_cast<double>(folders) / firstFolders);
        }
    }
    // The headless report over every folder: the same loads, then the text.
    std::vector<std::string> databases;
    for (int f = 0; f < maxFolders; ++f)
        databases.push_back(std::string(root) + "/" + std::to_string(f + 1) + "/msmFMID.pmr");
    for (const auto format : {ReportRequest::Format::Csv, ReportRequest::Format::Json}) {
        ReportRequest request;
        request.format = format;
        request.verify = false;
        request.databases = databases;
        std::ostringstream out;
        std::ostringstream err;
        const auto t = Clock::now();
        const int code = RunReport(request, {}, out, err, nullptr);
        std::printf("report (%s), %d databases: %.3f s, %.1f MB of text, exit %d\n",
                    format == ReportRequest::Format::Csv ? "csv" : "json", maxFolders, since(t),
                    static_cast<double>(out.str().size()) / 1e6, code);
    }
    std::filesystem::remove_all(root);
    return 0;
}
