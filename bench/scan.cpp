// Scans media databases of 8 to 64 MiB (a record about every 300 bytes
// between binary filler, both byte orders) and prints the scan speed, the
// speed of a plain sequential read of the same file, and how the time grows.

#include "benchclock.h"
#include "benchdir.h"
#include "builders/databasebuilder.h"
#include "mediadb/recordscanner.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Filler as databases hold it: mostly small numbers and zeros, some bytes of
// any value.
void addFiller(DatabaseBuilder& b, std::size_t n, std::mt19937& rng) {
    std::vector<std::uint8_t> bytes(n);
    for (auto& byte : bytes) {
        const auto r = static_cast<unsigned>(rng());
        byte = (r & 3) == 0   ? 0
               : (r & 3) == 1 ? static_cast<std::uint8_t>(r >> 8 & 0x0F)
                              : static_cast<std::uint8_t>(r >> 8);
    }
    for (auto byte : bytes)
        b.bytes({byte});
}

struct Written {
    std::vector<std::string> names;
    std::string path;
    std::uint64_t size = 0;
};

Written writeDatabase(const std::string& path, std::uint64_t target) {
    std::mt19937 rng(static_cast<unsigned>(target));
    DatabaseBuilder b;
    Written w;
    while (b.size() < target) {
        addFiller(b, 200 + rng() % 200, rng);
        const std::string name = "clip" + std::to_string(w.names.size()) + "_V1.omf";
        const std::string project = "Project " + std::to_string(rng() % 100);
        b.record(name, project, rng() % 2 ? ByteOrder::LowFirst : ByteOrder::HighFirst);
        w.names.push_back(name);
    }
    b.write(path);
    w.path = path;
    w.size = b.size();
    return w;
}

double plainRead(const std::string& path) {
    std::vector<char> buffer(1 << 20);
    const auto start = Clock::now();
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::uint64_t total = 0;
    for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;)
        total += static_cast<std::uint64_t>(got);
    ::close(fd);
    if (total == 0)
        std::printf("cannot read %s\n", path.c_str());
    return secondsSince(start);
}

} // namespace

int main() {
    const std::string benchDir = MakeBenchDir("scan");
    const char* dir = benchDir.c_str();
    if (benchDir.empty())
        return 1;
    std::printf("%8s %9s %10s %10s %10s %8s %12s\n", "MiB", "records", "scan s", "scan MB/s",
                "read MB/s", "ratio", "reads/2048B");
    double first = 0;
    double firstSize = 0;
    bool ok = true;
    for (int mib : {8, 16, 32, 64}) {
        const Written w = writeDatabase(std::string(dir) + "/db" + std::to_string(mib),
                                        static_cast<std::uint64_t>(mib) << 20);
        plainRead(w.path); // into the page cache
        double read = 1e9;
        for (int i = 0; i < 3; ++i)
            read = std::min(read, plainRead(w.path));

        double best = 1e9;
        std::size_t found = 0;
        std::uint64_t reads = 0;
        for (int run = 0; run < 3; ++run) {
            RecordScanner s;
            if (s.OpenForScan(w.path.c_str()) != RecordScanner::OpenResult::Opened)
                return 1;
            MediaRecord r;
            std::size_t n = 0;
            bool match = true;
            const auto start = Clock::now();
            while (s.NextDatabaseRecord(r, nullptr) == RecordScanner::ScanResult::RecordFound) {
                if (n >= w.names.size() || w.names[n] != r.fileName)
                    match = false;
                ++n;
            }
            best = std::min(best, secondsSince(start));
            reads = s.SystemReads();
            found = n;
            if (!match || n != w.names.size()) {
                std::printf("MISMATCH: %zu records found, %zu written\n", n, w.names.size());
                ok = false;
            }
        }
        const double mb = static_cast<double>(w.size) / 1e6;
        std::printf("%8d %9zu %10.3f %10.1f %10.1f %8.2f %12.2f\n", mib, found, best, mb / best,
                    mb / read, (mb / best) / (mb / read),
                    static_cast<double>(reads) / (static_cast<double>(w.size) / 2048));
        if (first == 0) {
            first = best;
            firstSize = mb;
        } else {
            std::printf("%8s time x%.2f for size x%.2f\n", "", best / first, mb / firstSize);
        }
        std::remove(w.path.c_str());
    }
    ::rmdir(dir);
    return ok ? 0 : 1;
}
