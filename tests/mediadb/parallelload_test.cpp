// Loading with many metadata requests in flight, and with the next folder
// listed while a database is read, must give exactly what a load one request
// at a time gives: the same projects, records, order, facts and log lines.

#include "mediadb/databaseload.h"

#include "builders/mediafolder.h"
#include "feedback/progress.h"
#include "latencyvolume/latencyvolume.h"
#include "platform/directory.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Everything a load leaves: each project with its records, every field, in
// the catalog's order; then the outcomes and the log.
std::vector<std::string> snapshot(const MediaCatalog& catalog,
                                  const std::vector<DatabaseOutcome>& outcomes,
                                  const std::vector<std::string>& log) {
    std::vector<std::string> out;
    for (const auto& [key, project] : catalog.Projects()) {
        out.push_back("project " + project.name + " #" + std::to_string(project.projectNumber) +
                      " " + std::to_string(project.totalSize));
        for (const auto& [name, r] : project.files) {
            out.push_back(
                "  " + r.fileName.str() + " | " + r.folder.str() + " | " + r.projectName.str() +
                " | " + std::to_string(r.size) + " | " + std::to_string(r.attributes) + " | " +
                std::to_string(r.creationTime) + " | " + std::to_string(r.catalogIndex) + " | " +
                std::to_string(r.projectNameLength) + "/" + std::to_string(r.fileNameLength));
        }
    }
    for (const DatabaseOutcome& o : outcomes)
        out.push_back("outcome " + o.path + " " + std::to_string(static_cast<int>(o.result)) + " " +
                      o.error);
    for (const std::string& line : log)
        out.push_back("log " + line);
    return out;
}

// Media folders with what real ones hold: shared projects, missing and
// unreferenced files, a name twice, locked files, links that lead somewhere
// and nowhere, sub-folders, hidden files, a copy in progress, and times and
// sizes that differ from file to file; one database whose folder is gone.
std::vector<std::string> writeTree(const std::string& root, int folders, int files) {
    std::mt19937 rng(7);
    std::vector<std::string> databases;
    for (int f = 0; f < folders; ++f) {
        const std::string folder = root + "/" + std::to_string(f);
        std::vector<DbRecord> records;
        for (int i = 0; i < files; ++i) {
            const std::string name = "C" + std::to_string(f) + "_" + std::to_string(i) + ".omf";
            records.push_back({name, "Project " + std::to_string(rng() % 7)});
            if (i % 10 == 9)
                continue; // named, never found
            const std::string path = folder + "/" + name;
            MakeFile(path, rng() % 3000);
            const timespec times[2] = {{static_cast<time_t>(1500000000 + rng() % 100000000), 0},
                                       {static_cast<time_t>(1500000000 + rng() % 100000000),
                                        static_cast<long>(rng() % 1000000000)}};
            ::utimensat(AT_FDCWD, path.c_str(), times, 0);
            if (i % 13 == 0)
                ::chmod(path.c_str(), 0444);
        }
        records.push_back({"C0_1.omf", "Elsewhere"}); // a name of another folder too
        for (int i = 0; i < files / 10; ++i)
            MakeFile(folder + "/U" + std::to_string(f) + "_" + std::to_string(i) + ".omf", 7);
        MakeFile(folder + "/.hidden.omf", 3);
        MakeFile(folder + "/sub/inner.omf", 5);
        MakeFile(folder + "/C" + std::to_string(f) + "_0.omf.tolvane-copy-x", 9);
        std::filesystem::create_symlink(folder + "/C" + std::to_string(f) + "_1.omf",
                                        folder + "/linked.omf");
        std::filesystem::create_symlink(folder + "/nothing.omf", folder + "/dangling.omf");
        databases.push_back(WriteDatabase(folder, records, static_cast<std::uint32_t>(f + 1)));
        MakeFile(folder + "/msmMMOB.mdb");
    }
    databases.insert(databases.begin() + 2, root + "/gone/msmFMID.pmr");
    return databases;
}

// Loads the databases, one request at a time and database after database,
// or as the program does.
std::vector<std::string> load(const std::vector<std::string>& databases, int inFlight,
                              bool sequentially) {
    platform::SetMetadataRequestsInFlight(inFlight);
    LogCapture log;
    MediaCatalog catalog;
    std::vector<DatabaseOutcome> outcomes;
    if (sequentially) {
        for (const std::string& path : databases)
            outcomes.push_back({path, catalog.LoadDatabase(path, false, nullptr), {}});
    } else {
        outcomes = LoadDatabases(catalog, databases, false, nullptr);
        for (DatabaseOutcome& o : outcomes)
            o.error.clear();
    }
    platform::SetMetadataRequestsInFlight(0);
    EXPECT_TRUE(catalog.isConsistent());
    return snapshot(catalog, outcomes, log.lines());
}

void expectSame(const std::vector<std::string>& expected, const std::vector<std::string>& got,
                const char* what) {
    ASSERT_EQ(got.size(), expected.size()) << what;
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], expected[i]) << what << ", line " << i;
}

TEST(ParallelLoad, GivesWhatALoadOneRequestAtATimeGives) {
    TempDir dir;
    const std::vector<std::string> databases = writeTree(dir.path(), 6, 700);
    const std::vector<std::string> plain = load(databases, 1, true);
    ASSERT_GT(plain.size(), 6 * 600u);
    expectSame(plain, load(databases, 64, true), "64 in flight");
    expectSame(plain, load(databases, 1, false), "next folder listed meanwhile");
    expectSame(plain, load(databases, 0, false), "as the program loads");
    expectSame(plain, load(databases, 0, false), "again, with what was measured");
}

TEST(ParallelLoad, ThroughAVolumeWithLatencyGivesTheSameAndOverlapsTheWaits) {
    if (const char* fuse = std::getenv("TOLVANE_TEST_FUSE");
        fuse == nullptr || fuse != std::string("fuse"))
        GTEST_SKIP() << "needs root and /dev/fuse: run through realmount.sh";
    TempDir dir;
    const std::vector<std::string> databases = writeTree(dir.file("source"), 3, 300);
    const std::string mount = dir.file("mount");
    std::filesystem::create_directories(mount);
    std::vector<std::string> through;
    for (std::string path : databases)
        through.push_back(mount + path.substr(dir.file("source").size()));

    // Each pass gets a fresh mount: the kernel keeps what it was told.
    auto timedLoad = [&](int inFlight, int& mostInFlight) {
        LatencyVolume volume(mount, dir.file("source"), std::chrono::milliseconds(2));
        if (!volume.mounted() || !volume.failure().empty())
            ADD_FAILURE() << "the volume did not mount: " << volume.failure();
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::string> got = load(through, inFlight, false);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        mostInFlight = volume.mostInFlight();
        return std::make_pair(got, took.count());
    };
    int oneMost = 0;
    int manyMost = 0;
    const auto [one, oneSeconds] = timedLoad(1, oneMost);
    const auto [many, manySeconds] = timedLoad(0, manyMost);
    expectSame(one, many, "through the volume");
    // About 1,000 round trips of 2 ms one at a time; the measured widths
    // overlap them.
    EXPECT_GT(oneSeconds, 1.5);
    EXPECT_LT(manySeconds, oneSeconds / 2.5) << "one at a time " << oneSeconds << " s";
    EXPECT_GT(manyMost, 4);
}

TEST(ParallelLoad, AFolderListedAheadIsTakenOnlyByTheLoadItWasListedFor) {
    TempDir dir;
    const std::string first = WriteDatabase(dir.file("a"), {{"a.omf", "P"}});
    MakeFile(dir.file("a/a.omf"), 1);
    MakeFile(dir.file("b/b.omf"), 2);
    const std::string second = dir.file("b/msmFMID.pmr");
    WriteBytes(second, {1, 2, 3}); // being rewritten: too small for now
    MediaCatalog catalog;
    LoadDatabases(catalog, {first, second}, false, nullptr);
    EXPECT_EQ(catalog.FindFileByName("b.omf"), nullptr);
    // Time for a listing started ahead to have ended, as it would have by
    // the next scan.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    // Later the folder has changed and its database is whole again: a new
    // load lists it anew.
    MakeFile(dir.file("b/new.omf"), 3);
    WriteDatabase(dir.file("b"), {{"b.omf", "P"}, {"new.omf", "P"}});
    LoadDatabases(catalog, {second}, false, nullptr);
    const MediaRecord* added = catalog.FindFileByName("new.omf");
    ASSERT_NE(added, nullptr);
    EXPECT_FALSE(IsMissing(*added));
    EXPECT_EQ(added->size, 3u);
}

// Changes a folder while the database before it is read, once the folder
// has been listed ahead.
class ChangeWhileReading : public Progress {
public:
    explicit ChangeWhileReading(std::string folder) : m_folder(std::move(folder)) {}
    void Step(std::uint64_t, std::uint64_t) override {
        if (m_changed)
            return;
        m_changed = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        MakeFile(m_folder + "/arrived.omf", 4);
        std::filesystem::remove(m_folder + "/left.omf");
    }
    void SetText(const std::string&) override {}

private:
    std::string m_folder;
    bool m_changed = false;
};

TEST(ParallelLoad, AFolderThatChangedAfterItWasListedAheadIsListedAnew) {
    TempDir dir;
    const std::string first = WriteDatabase(dir.file("a"), {{"a.omf", "P"}});
    MakeFile(dir.file("a/a.omf"), 1);
    MakeFile(dir.file("b/left.omf"), 2);
    const std::string second =
        WriteDatabase(dir.file("b"), {{"left.omf", "P"}, {"arrived.omf", "P"}});
    ChangeWhileReading change(dir.file("b"));
    MediaCatalog catalog;
    LoadDatabases(catalog, {first, second}, true, &change);
    const MediaRecord* arrived = catalog.FindFileByName("arrived.omf");
    const MediaRecord* left = catalog.FindFileByName("left.omf");
    ASSERT_NE(arrived, nullptr);
    ASSERT_NE(left, nullptr);
    EXPECT_FALSE(IsMissing(*arrived));
    EXPECT_EQ(arrived->size, 4u);
    EXPECT_TRUE(IsMissing(*left));
}

} // namespace
