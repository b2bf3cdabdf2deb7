#include "fileops/mediafileops.h"

#include "builders/mediafolder.h"
#include "feedback/progress.h"
#include "io/journal.h"
#include "latencyvolume/latencyvolume.h"
#include "mediadb/mediacatalog.h"
#include "support/flushhook.h"
#include "support/logcapture.h"
#include "support/rowselection.h"
#include "support/scriptedprompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <thread>

#include <QTemporaryDir>

namespace {

namespace fs = std::filesystem;

// A file of size bytes whose content follows from seed.
void writeSized(const std::string& path, std::size_t size, int seed) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i)
        out.put(static_cast<char>('a' + (seed + static_cast<int>(i)) % 26));
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The window a run works for: progress, cancel, busy state.
class FakeHost : public JobContext {
public:
    bool CheckCancel() override { return ++cancelChecks == cancelAt; }
    void SetBusy(bool busy) override { busyChanges.push_back(busy); }
    void HandleWaiting() override { ++pumps; }
    // A progress window that reports its steps to the host, which outlives it.
    class Window : public Progress {
    public:
        explicit Window(FakeHost& host) : m_host(host) {}
        void Step(std::uint64_t current, std::uint64_t total) override {
            m_host.steps.push_back(current);
            m_host.stepTotal = total;
        }
        void SetText(const std::string&) override {}

    private:
        FakeHost& m_host;
    };
    std::unique_ptr<Progress> StartProgress(const std::string& caption) override {
        captions.push_back(caption);
        return std::make_unique<Window>(*this);
    }
    // The Options menu's confirmations a run is made with.
    Confirmations confirm() const { return {confirmMove, confirmDelete}; }

    int cancelChecks = 0;
    int cancelAt = -1;
    int pumps = 0;
    std::vector<bool> busyChanges;
    std::vector<std::string> captions;
    std::vector<std::uint64_t> steps;
    std::uint64_t stepTotal = 0;
    bool confirmDelete = true;
    bool confirmMove = true;
};

class FileOperationRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string home = dir.file("home");
        fs::create_directories(home);
        ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
        for (int i = 0; i < 5; ++i) {
            const std::string name = "clip" + std::to_string(i) + ".omf";
            MakeFile(dir.file("media/" + name), 1000 * static_cast<std::size_t>(i + 1));
            MediaRecord r{};
            r.projectName.SetWhole("P");
            r.fileName.SetWhole(name.c_str());
            r.folder.SetWhole(dir.file("media").c_str());
            r.size = 1000 * static_cast<std::uint64_t>(i + 1);
            catalog.AddRecord(r, true);
        }
        catalog.RebuildFileArray();
        // Rows in an order of their own, all selected.
        for (std::uint32_t index : {3u, 0u, 4u, 1u, 2u})
            rows.rows.push_back({index, true, ""});
        rows.selectedBytes = 15000;
        MakeFolder(dir.file("target"));
        log.clear();
    }
    void TearDown() override { ::unsetenv("XDG_DATA_HOME"); }
    std::string name(std::uint32_t index) { return catalog.GetRecord(index)->fileName.str(); }
    // The index of the record whose folder that is.
    std::uint32_t indexIn(const std::string& folder) {
        for (std::uint32_t i = 0; i < catalog.FileCount(); ++i) {
            if (catalog.GetRecord(i)->folder == folder)
                return i;
        }
        return ~0u;
    }
    std::vector<std::string> statuses() const {
        std::vector<std::string> out;
        for (const auto& r : rows.rows)
            out.push_back(r.status);
        return out;
    }

    TempDir dir;
    LogCapture log;
    MediaCatalog catalog;
    RowSelection rows;
    FakeHost host;
    ScriptedPrompter prompter;
    // A run made when the test starts it, with the options set then.
    FileOperationRun run() { return {catalog, rows, host, prompter, host.confirm()}; }
};

TEST_F(FileOperationRunTest, CopiesWalkTheSelectionTopDownWithBytesOfProgress) {
    prompter.choose(dir.file("target"));
    run().CopySelectedFiles();
    EXPECT_EQ(host.captions, std::vector<std::string>{"Copying files...."});
    EXPECT_EQ(host.busyChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(statuses(), std::vector<std::string>(5, "Copied..."));
    EXPECT_EQ(rows.FirstSelected(), -1);
    for (std::uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(fs::file_size(dir.file("target/" + name(i))), 1000u * (i + 1));
        EXPECT_EQ(catalog.GetRecord(i)->attributes, 0); // a copy changes no record
    }
    ASSERT_EQ(prompter.questions().size(), 1u);
    EXPECT_EQ(prompter.questions()[0].text, "Select target folder");
    EXPECT_TRUE(log.lines().empty());
    // Rows hold files of 4000, 1000, 5000, 2000 and 3000 bytes: the window
    // steps through the bytes inside each file and after it.
    EXPECT_TRUE(std::is_sorted(host.steps.begin(), host.steps.end()));
    for (std::uint64_t after : {4000u, 5000u, 10000u, 12000u, 15000u})
        EXPECT_NE(std::find(host.steps.begin(), host.steps.end(), after), host.steps.end());
    EXPECT_EQ(host.steps.back(), 15000u);
    EXPECT_EQ(host.stepTotal, 15000u);
}

TEST_F(FileOperationRunTest, ACancelledChooserStartsNothing) {
    run().MoveSelectedFiles(); // the chooser answers nothing
    EXPECT_TRUE(host.captions.empty());
    EXPECT_TRUE(host.busyChanges.empty());
    EXPECT_EQ(statuses(), std::vector<std::string>(5, ""));
    EXPECT_EQ(rows.FirstSelected(), 0);
    EXPECT_TRUE(fs::exists(dir.file("media/clip0.omf")));
}

TEST_F(FileOperationRunTest, TheThirdOfFiveRefusedEndsTheRunThere) {
    prompter.answer(MsgAnswer::Yes);
    prompter.answer(MsgAnswer::Yes);
    prompter.answer(MsgAnswer::No);
    run().DeleteSelectedFiles();
    EXPECT_EQ(statuses(), (std::vector<std::string>{"Deleted...", "Deleted...", "", "", ""}));
    EXPECT_FALSE(rows.rows[0].selected);
    EXPECT_FALSE(rows.rows[1].selected);
    EXPECT_TRUE(rows.rows[2].selected && rows.rows[3].selected && rows.rows[4].selected);
    EXPECT_EQ(catalog.GetRecord(3)->attributes, -1);
    EXPECT_EQ(catalog.GetRecord(0)->attributes, -1);
    EXPECT_EQ(catalog.GetRecord(4)->attributes, 0);
    EXPECT_TRUE(fs::exists(dir.file("media/clip4.omf")));
    EXPECT_FALSE(fs::exists(dir.file("media/clip3.omf")));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Operation Aborted by User"});
    EXPECT_EQ(prompter.questions()[0].text, "Move clip3.omf to the Trash?");
    EXPECT_EQ(host.busyChanges, (std::vector<bool>{true, false}));
}

TEST_F(FileOperationRunTest, FailuresAndTheCancelQuestionEndTheRun) {
    // The target folder went away: the first copy fails.
    prompter.choose(dir.file("gone"));
    run().CopySelectedFiles();
    EXPECT_EQ(log.lines(), std::vector<std::string>{"ERROR: Operation Aborted"});
    EXPECT_EQ(rows.FirstSelected(), 0);
    ASSERT_EQ(prompter.questions().size(), 2u);
    EXPECT_EQ(prompter.questions()[1].caption, "Error Copying File");

    // Yes to the cancel question before the second file: nothing logged.
    log.clear();
    host.cancelChecks = 0;
    host.cancelAt = 2;
    host.confirmDelete = false;
    run().DeleteSelectedFiles();
    EXPECT_EQ(statuses(), (std::vector<std::string>{"Deleted...", "", "", "", ""}));
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(host.busyChanges.back(), false);
}

TEST_F(FileOperationRunTest, MovesMarkRecordsMissingAndCountBytesIn64Bits) {
    rows.selectedBytes = 5ull << 30; // more than 4 GB selected
    host.confirmMove = false;
    MakeFile(dir.file("target/clip4.omf"), 7); // replaced without a question
    prompter.choose(dir.file("target"));
    run().MoveSelectedFiles();
    EXPECT_EQ(statuses(), std::vector<std::string>(5, "Moved..."));
    for (std::uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(catalog.GetRecord(i)->attributes, -1);
        EXPECT_EQ(std::string(catalog.GetRecord(i)->folder), dir.file("media")); // kept
    }
    EXPECT_EQ(fs::file_size(dir.file("target/clip4.omf")), 5000u);
    EXPECT_EQ(prompter.questions().size(), 1u); // only the chooser
    EXPECT_EQ(host.stepTotal, 5ull << 30);
    EXPECT_EQ(host.steps.back(), 15000u);
}

TEST_F(FileOperationRunTest, DeletingAProjectsMediaAsksFirst) {
    for (auto& r : rows.rows)
        r.selected = false;
    prompter.answer(MsgAnswer::No);
    run().DeleteProjectMedia();
    EXPECT_EQ(rows.FirstSelected(), -1);
    EXPECT_TRUE(fs::exists(dir.file("media/clip0.omf")));
    host.confirmDelete = false;
    prompter.answer(MsgAnswer::Yes);
    run().DeleteProjectMedia();
    EXPECT_EQ(statuses(), std::vector<std::string>(5, "Deleted..."));
    EXPECT_EQ(prompter.questions()[0].text,
              "All media related to the project will be deleted\nAre You sure?");
    EXPECT_EQ(prompter.questions()[0].caption, "Orrin");
    EXPECT_EQ(prompter.questions().size(), 2u);
    EXPECT_TRUE(fs::is_empty(dir.file("media")));
}

// Hands every file on to the system, noting the paths.
class RecordingOperator : public FileOperator {
public:
    platform::FileOpResult Perform(platform::FileFunction function, const std::string& source,
                                   const std::string& targetFolder,
                                   const platform::FileOpFlags& flags, platform::FileOpUi& ui,
                                   platform::RunRecord* run) override {
        sources.push_back(source);
        return FileOperator::Perform(function, source, targetFolder, flags, ui, run);
    }
    std::vector<std::string> sources;
};

TEST_F(FileOperationRunTest, RowsWhoseFileDoesNotExistArePassedOver) {
    // A file the database names but nobody found: no folder, marked missing.
    MediaRecord lost{};
    lost.fileName.SetWhole("clip1.omf");
    lost.attributes = kFileMissing;
    catalog.AddRecord(lost, true);
    catalog.RebuildFileArray();
    const std::uint32_t lostIndex = indexIn("");
    // And a listed file removed behind the program's back.
    fs::remove(dir.file("media/" + name(4)));
    rows.rows = {{lostIndex, true, ""}, {4, true, ""}, {0, true, ""}};
    RecordingOperator files;
    host.confirmDelete = false;
    FileOperationRun recorded(catalog, rows, host, prompter, host.confirm(), files);
    recorded.DeleteSelectedFiles();
    EXPECT_EQ(statuses(), (std::vector<std::string>{"Not Exist", "Not Exist", "Deleted..."}));
    EXPECT_EQ(files.sources, std::vector<std::string>{dir.file("media/" + name(0))});
    EXPECT_TRUE(IsMissing(*catalog.GetRecord(4)));
}

TEST_F(FileOperationRunTest, ARunNeverReplacesAFileItWroteItself) {
    // Two files of one name in two folders, moved into one folder without
    // questions.
    MakeFile(dir.file("other/" + name(0)), 77);
    MediaRecord twin = *catalog.GetRecord(0);
    twin.folder.SetWhole(dir.file("other").c_str());
    twin.projectName.SetWhole("Q"); // one name a project
    twin.size = 77;
    catalog.AddRecord(twin, true);
    catalog.RebuildFileArray();
    const std::uint32_t twinIndex = indexIn(dir.file("other"));
    const std::string first = readAll(dir.file("media/" + name(0)));
    rows.rows = {{0, true, ""}, {twinIndex, true, ""}, {1, true, ""}};
    host.confirmMove = false;
    prompter.choose(dir.file("target"));
    run().MoveSelectedFiles();
    EXPECT_EQ(statuses(), (std::vector<std::string>{"Moved...", "Not replaced...", "Moved..."}));
    EXPECT_EQ(readAll(dir.file("target/" + name(0))), first);
    EXPECT_EQ(fs::file_size(dir.file("other/" + name(0))), 77u);
    EXPECT_NE(catalog.GetRecord(twinIndex)->attributes, -1);
    ASSERT_EQ(prompter.questions().size(), 2u); // the chooser, then the refusal
    EXPECT_NE(prompter.questions()[1].text.find("was written by this run"), std::string::npos);
    // A later run is a run of its own and may replace it.
    rows.rows = {{twinIndex, true, ""}};
    prompter.choose(dir.file("target"));
    run().MoveSelectedFiles();
    EXPECT_EQ(statuses(), std::vector<std::string>{"Moved..."});
    EXPECT_EQ(fs::file_size(dir.file("target/" + name(0))), 77u);
}

// Which runs ask before they replace or delete a file: a copy always; a
// move and a store, copying or moving, unless "Confirm move" is off; a
// delete unless "Confirm delete" is. Every question is cancelled.
TEST_F(FileOperationRunTest, TheOptionsDecideWhichRunsAskBeforeReplacingOrDeleting) {
    enum class Kind { Copy, Move, Delete, StoreCopy, StoreMove };
    int n = 0;
    for (const Kind kind :
         {Kind::Copy, Kind::Move, Kind::Delete, Kind::StoreCopy, Kind::StoreMove}) {
        for (const bool confirm : {true, false}) {
            const std::string source = dir.file("media/" + name(0));
            const std::string target = dir.file("t" + std::to_string(n++));
            const bool storing = kind == Kind::StoreCopy || kind == Kind::StoreMove;
            // A store lays the file out below a folder of its project.
            const std::string existing = (storing ? target + "/P/" : target + "/") + name(0);
            MakeFile(source, 1000);
            if (kind != Kind::Delete)
                MakeFile(existing, 5);
            catalog.GetRecord(0)->attributes = 0;
            rows.rows = {{0, true, ""}};
            host.confirmMove = host.confirmDelete = confirm;
            const std::size_t before = prompter.questions().size();
            StoreOptions options;
            options.target = target;
            options.moveFiles = kind == Kind::StoreMove;
            switch (kind) {
            case Kind::Copy:
                prompter.choose(target);
                run().CopySelectedFiles();
                break;
            case Kind::Move:
                prompter.choose(target);
                run().MoveSelectedFiles();
                break;
            case Kind::Delete:
                run().DeleteSelectedFiles();
                break;
            case Kind::StoreCopy:
            case Kind::StoreMove:
                run().StoreSelectedFiles(options, {});
                break;
            }
            const bool asks = kind == Kind::Copy || confirm;
            const auto asked =
                std::count_if(prompter.questions().begin() + static_cast<std::ptrdiff_t>(before),
                              prompter.questions().end(), [](const Question& q) {
                                  return q.caption == "Confirm File Replace" ||
                                         q.caption == "Confirm File Delete";
                              });
            const int number = static_cast<int>(kind) * 2 + (confirm ? 0 : 1);
            EXPECT_EQ(asked, asks ? 1 : 0) << number;
            if (kind == Kind::Delete)
                EXPECT_EQ(fs::exists(source), asks) << number;
            else
                EXPECT_EQ(fs::file_size(existing), asks ? 5u : 1000u) << number;
        }
    }
}

// Runs whose copies are flushed while the next file is copied: a row is
// done only once its copy is flushed and in place.

// Names in a folder, hidden ones included.
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST_F(FileOperationRunTest, AFailedFlushLeavesItsRowAndTheRowsAfterItToBeDone) {
    // Rows hold files of 4000, 1000, 5000, 2000 and 3000 bytes: the third
    // one's flush fails. The others take a while, so that the rows after it
    // are written before the failure is known.
    FlushHookIo io([](int fd) {
        if (FlushHookIo::SizeOf(fd) == 5000)
            return EIO;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return FlushHookIo::SystemFlush(fd);
    });
    FileOperator files(io);
    // Moves go to another volume (a memory file system), where they copy.
    QTemporaryDir other(QStringLiteral("/dev/shm/tolvane-test-XXXXXX"));
    for (const bool move : {false, true}) {
        if (move && !other.isValid())
            GTEST_SKIP() << "no memory file system for moves to another volume";
        const std::string target = move ? other.path().toStdString() : dir.file("target");
        for (auto& r : rows.rows)
            r = {r.index, true, ""};
        log.clear();
        const std::size_t asked = prompter.questions().size();
        prompter.choose(target);
        FileOperationRun run(catalog, rows, host, prompter, host.confirm(), files);
        if (move)
            run.MoveSelectedFiles();
        else
            run.CopySelectedFiles();
        const std::string done = move ? "Moved..." : "Copied...";
        EXPECT_EQ(statuses(), (std::vector<std::string>{done, done, "", "", ""}));
        for (std::size_t i = 0; i < 5; ++i)
            EXPECT_EQ(rows.rows[i].selected, i >= 2) << i;
        EXPECT_EQ(namesIn(target), (std::vector<std::string>{"clip0.omf", "clip3.omf"}));
        EXPECT_EQ(log.lines(), std::vector<std::string>{"ERROR: Operation Aborted"});
        ASSERT_EQ(prompter.questions().size(), asked + 2); // the chooser, the failure
        EXPECT_EQ(prompter.questions().back().text,
                  std::string(move ? "Cannot move" : "Cannot copy") +
                      " clip4.omf:\nInput/output error");
        EXPECT_EQ(prompter.questions().back().caption,
                  move ? "Error Moving File" : "Error Copying File");
        // What failed or was never placed stays where it was.
        for (std::uint32_t i = 0; i < 5; ++i) {
            const bool gone = move && (i == 3 || i == 0);
            EXPECT_EQ(fs::exists(dir.file("media/" + name(i))), !gone) << i;
            EXPECT_EQ(IsMissing(*catalog.GetRecord(i)), gone) << i;
        }
    }
}

TEST_F(FileOperationRunTest, ACancelledRunEndsOnlyOnceTheCopiesItWroteAreInPlace) {
    FlushHookIo io([](int fd) {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        return FlushHookIo::SystemFlush(fd);
    });
    FileOperator files(io);
    // Yes to the cancel question before the fourth file (each file is asked
    // before it and once inside it).
    host.cancelAt = 7;
    prompter.choose(dir.file("target"));
    FileOperationRun(catalog, rows, host, prompter, host.confirm(), files).CopySelectedFiles();
    EXPECT_EQ(statuses(),
              (std::vector<std::string>{"Copied...", "Copied...", "Copied...", "", ""}));
    EXPECT_EQ(rows.FirstSelected(), 3);
    EXPECT_EQ(namesIn(dir.file("target")),
              (std::vector<std::string>{"clip0.omf", "clip3.omf", "clip4.omf"}));
    for (std::uint32_t i : {3u, 0u, 4u})
        EXPECT_EQ(readAll(dir.file("target/" + name(i))), readAll(dir.file("media/" + name(i))));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(FileOperationRunTest, ATargetPathTooLongIsSaid) {
    const std::string deep = dir.file(std::string(265 - dir.path().size(), 'd'));
    prompter.choose(deep);
    run().CopySelectedFiles();
    ASSERT_EQ(prompter.questions().size(), 2u); // the chooser, then why nothing happens
    EXPECT_EQ(prompter.questions()[1].text, "The path is too long:\n" + deep);
    EXPECT_TRUE(host.captions.empty());
    EXPECT_TRUE(rows.rows[0].selected);
}

} // namespace

namespace {

MediaRecord recordOf(const std::string& project, const std::string& folder,
                     const std::string& file) {
    MediaRecord r{};
    r.projectName.SetWhole(project.c_str());
    r.folder.SetWhole(folder.c_str());
    r.fileName.SetWhole(file.c_str());
    return r;
}

TEST(StoreDestination, FourLayoutsOnLinuxVolumes) {
    const std::vector<platform::Volume> volumes{{"/", ""}, {"/media/ed/DRIVE1", "DRIVE1"}};
    const MediaRecord promo =
        recordOf("Promo", "/media/ed/DRIVE1/OMFI MediaFiles/3", "A0001V01.omf");
    StoreOptions o;
    o.target = "/store";
    EXPECT_EQ(StoreDestination(promo, o, volumes), "/store/Promo");
    o.separateByType = true;
    EXPECT_EQ(StoreDestination(promo, o, volumes), "/store/OMFI MediaFiles");
    o.separateByType = false;
    o.relativePaths = true;
    EXPECT_EQ(StoreDestination(promo, o, volumes), "/store/OMFI MediaFiles/3");
    o.addDriveLetter = true;
    EXPECT_EQ(StoreDestination(promo, o, volumes), "/store/DRIVE1/OMFI MediaFiles/3");
    // Relative paths clear: one folder per project, whatever the drive box.
    o.relativePaths = false;
    EXPECT_EQ(StoreDestination(promo, o, volumes), "/store/Promo");

    StoreOptions byType;
    byType.target = "/store";
    byType.separateByType = true;
    EXPECT_EQ(StoreDestination(recordOf("P", "/x", "clip.mxf"), byType, volumes),
              "/store/AVID MediaFiles");
    EXPECT_EQ(StoreDestination(recordOf("P", "/x", "clip.wav"), byType, volumes),
              "/store/OMFI MediaFiles");
    EXPECT_EQ(StoreDestination(recordOf("P", "/x", "clip.Mxf"), byType, volumes), "/store");

    StoreOptions root;
    root.target = "/";
    EXPECT_EQ(StoreDestination(promo, root, volumes), "/Promo");
    root.relativePaths = root.addDriveLetter = true;
    // The root volume has no name of its own.
    EXPECT_EQ(StoreDestination(recordOf("P", "/srv/media", "a.omf"), root, volumes),
              "/_/srv/media");
}

TEST(StoreDestination, ProjectNamesStayOneFolderAndLongPathsAreRefused) {
    StoreOptions o;
    o.target = "/store";
    EXPECT_EQ(StoreDestination(recordOf("../../etc", "/m", "a.omf"), o, {}), "/store/.._.._etc");
    EXPECT_EQ(StoreDestination(recordOf("..", "/m", "a.omf"), o, {}), "/store/__");
    EXPECT_EQ(StoreDestination(recordOf(".", "/m", "a.omf"), o, {}), "/store/_");
    EXPECT_EQ(StoreDestination(recordOf("A/B", "/m", "a.omf"), o, {}), "/store/A_B");
    EXPECT_EQ(StoreDestination(recordOf("", "/m", "a.omf"), o, {}), "/store");
    o.relativePaths = true;
    EXPECT_FALSE(StoreDestination(recordOf("P", "/" + std::string(250, 'd'), "a.omf"), o, {}));
}

// A store of 1,000 files of three projects under each layout, compared
// with the tree it should make.
TEST(StoreRun, EveryLayoutMakesTheExpectedTree) {
    // On a memory file system where there is one: a thousand flushed files.
    const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : nullptr;
    QTemporaryDir dir(base != nullptr ? QString::fromLatin1(base) + QStringLiteral("/store-XXXXXX")
                                      : QString());
    const std::string root = dir.path().toStdString();
    const std::string media = root + "/vol/OMFI MediaFiles/7";
    MediaCatalog catalog;
    RowSelection rows;
    for (int i = 0; i < 1000; ++i) {
        const std::string name = "F" + std::to_string(i) + (i % 10 == 0 ? ".mxf" : ".omf");
        writeSized(media + "/" + name, static_cast<std::size_t>(i % 97) + 1, i);
        MediaRecord r = recordOf("Project " + std::to_string(i % 3), media, name);
        r.size = static_cast<std::uint64_t>(i % 97) + 1;
        catalog.AddRecord(r, true);
    }
    catalog.RebuildFileArray();
    const std::vector<platform::Volume> volumes{{"/", ""}, {root + "/vol", "vol"}};
    struct Layout {
        bool byType, relative, drive;
        std::function<std::string(int)> folderOf;
    };
    const std::vector<Layout> layouts{
        {false, false, false, [](int i) { return "Project " + std::to_string(i % 3); }},
        {true, false, false,
         [](int i) { return std::string(i % 10 == 0 ? "AVID" : "OMFI") + " MediaFiles"; }},
        {false, true, false, [](int) { return std::string("OMFI MediaFiles/7"); }},
        {false, true, true, [](int) { return std::string("vol/OMFI MediaFiles/7"); }},
    };
    int n = 0;
    for (const Layout& layout : layouts) {
        StoreOptions options;
        options.target = root + "/store" + std::to_string(n++);
        options.separateByType = layout.byType;
        options.relativePaths = layout.relative;
        options.addDriveLetter = layout.drive;
        std::filesystem::create_directories(options.target);
        rows.rows.clear();
        for (std::uint32_t i = 0; i < 1000; ++i)
            rows.rows.push_back({i, true, ""});
        FakeHost host;
        ScriptedPrompter prompter;
        FileOperationRun run(catalog, rows, host, prompter, host.confirm());
        run.StoreSelectedFiles(options, volumes);
        EXPECT_TRUE(prompter.questions().empty());
        std::size_t files = 0;
        for (const auto& e : std::filesystem::recursive_directory_iterator(options.target))
            files += e.is_regular_file() ? 1 : 0;
        EXPECT_EQ(files, 1000u) << options.target;
        for (int i = 0; i < 1000; i += 37) {
            const std::string name =
                catalog.GetRecord(static_cast<std::uint32_t>(i))->fileName.str();
            const std::string stored = options.target + "/" + layout.folderOf(i) + "/" + name;
            ASSERT_TRUE(std::filesystem::exists(stored)) << stored;
            EXPECT_EQ(readAll(stored), readAll(media + "/" + name));
        }
        EXPECT_EQ(rows.rows[999].status, "Copied...");
    }
}

TEST(StoreRun, FilesOfOneNameAreStoredOnceAndLongPathsAreNamed) {
    TempDir dir;
    MediaCatalog catalog;
    // By type, two files of one name land in one folder.
    for (const char* folder : {"m1", "m2"}) {
        MakeFile(dir.file(std::string(folder) + "/a.omf"), 10);
        catalog.AddRecord(
            *std::make_unique<MediaRecord>(recordOf(folder, dir.file(folder), "a.omf")), true);
    }
    catalog.RebuildFileArray();
    RowSelection rows;
    rows.rows = {{0, true, ""}, {1, true, ""}};
    FakeHost host;
    host.confirmMove = false;
    ScriptedPrompter prompter;
    FileOperationRun run(catalog, rows, host, prompter, host.confirm());
    StoreOptions options;
    options.target = dir.file("store");
    options.separateByType = true;
    options.moveFiles = true;
    run.StoreSelectedFiles(options, {});
    EXPECT_EQ(rows.rows[0].status, "Moved...");
    EXPECT_EQ(rows.rows[1].status, "Not replaced...");
    EXPECT_TRUE(std::filesystem::exists(dir.file("m2/a.omf")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("store/OMFI MediaFiles/a.omf")));
    // A destination beyond the path limit is named, not a bare "Aborted!".
    const std::size_t asked = prompter.questions().size();
    const std::uint32_t kept = rows.rows[1].index;
    rows.rows = {{kept, true, ""}};
    options = StoreOptions{};
    options.target = dir.file(std::string(250 - dir.path().size(), 's'));
    run.StoreSelectedFiles(options, {});
    ASSERT_EQ(prompter.questions().size(), asked + 1);
    EXPECT_EQ(prompter.questions().back().text,
              "Aborted!\nThe path is too long: " + options.target + "/" +
                  catalog.GetRecord(kept)->projectName.str() + "/a.omf");
    EXPECT_TRUE(rows.rows[0].selected);
}

TEST(StoreRun, AYesToTheCancelQuestionInsideAFileEndsTheRunQuietly) {
    TempDir dir;
    MediaCatalog catalog;
    writeSized(dir.file("m/big.omf"), (9u << 20), 1); // more than one transfer
    catalog.AddRecord(*std::make_unique<MediaRecord>(recordOf("P", dir.file("m"), "big.omf")),
                      true);
    catalog.RebuildFileArray();
    RowSelection rows;
    rows.rows = {{0, true, ""}};
    FakeHost host;
    host.cancelAt = 2; // before the file, then inside it
    LogCapture log;
    ScriptedPrompter prompter;
    FileOperationRun run(catalog, rows, host, prompter, host.confirm());
    StoreOptions options;
    options.target = dir.file("store");
    run.StoreSelectedFiles(options, {});
    EXPECT_EQ(host.cancelChecks, 2);
    EXPECT_TRUE(prompter.questions().empty());
    EXPECT_TRUE(log.lines().empty());
    EXPECT_TRUE(rows.rows[0].selected);
    EXPECT_TRUE(fs::is_empty(dir.file("store/P")));
}

TEST(StoreRun, AFailedFlushAbortsTheRunOnceItsFailureIsSaid) {
    TempDir dir;
    MediaCatalog catalog;
    for (const auto& [file, size] : {std::pair{"a.omf", 10}, {"b.omf", 20}, {"c.omf", 30}}) {
        MakeFile(dir.file(std::string("m/") + file), static_cast<std::size_t>(size));
        catalog.AddRecord(*std::make_unique<MediaRecord>(recordOf("P", dir.file("m"), file)), true);
    }
    catalog.RebuildFileArray();
    RowSelection rows = RowSelection::AllOf(catalog);
    FlushHookIo io(
        [](int fd) { return FlushHookIo::SizeOf(fd) == 20 ? EIO : FlushHookIo::SystemFlush(fd); });
    FileOperator files(io);
    FakeHost host;
    ScriptedPrompter prompter;
    LogCapture log;
    StoreOptions options;
    options.target = dir.file("store");
    FileOperationRun(catalog, rows, host, prompter, host.confirm(), files)
        .StoreSelectedFiles(options, {});
    std::vector<std::string> statuses;
    for (const auto& r : rows.rows)
        statuses.push_back(catalog.GetRecord(r.index)->fileName.str() + ":" + r.status);
    std::sort(statuses.begin(), statuses.end());
    EXPECT_EQ(statuses, (std::vector<std::string>{"a.omf:Copied...", "b.omf:", "c.omf:"}));
    ASSERT_EQ(prompter.questions().size(), 2u);
    EXPECT_EQ(prompter.questions()[0].text, "Cannot copy b.omf:\nInput/output error");
    EXPECT_EQ(prompter.questions()[1].text, "Aborted!");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"ERROR: Operation Aborted"});
    EXPECT_EQ(namesIn(dir.file("store/P")), std::vector<std::string>{"a.omf"});
}

TEST(StoreRun, AFolderThatCannotBeMadeAbortsTheRun) {
    TempDir dir;
    MediaCatalog catalog;
    MakeFile(dir.file("m/a.omf"), 10);
    catalog.AddRecord(*std::make_unique<MediaRecord>(recordOf("P", dir.file("m"), "a.omf")), true);
    catalog.RebuildFileArray();
    MakeFile(dir.file("store/P"), 1); // a file where the project's folder should be
    RowSelection rows;
    rows.rows.push_back({0, true, ""});
    FakeHost host;
    ScriptedPrompter prompter;
    FileOperationRun run(catalog, rows, host, prompter, host.confirm());
    StoreOptions options;
    options.target = dir.file("store");
    run.StoreSelectedFiles(options, {});
    ASSERT_EQ(prompter.questions().size(), 1u);
    EXPECT_EQ(prompter.questions()[0].text, "Aborted!");
    EXPECT_EQ(prompter.questions()[0].caption, "Orrin");
    EXPECT_TRUE(rows.rows[0].selected);
    EXPECT_EQ(host.busyChanges, (std::vector<bool>{true, false}));
}

// Copies of one media file in several folders, each a record of its own
// project, and the duplicates found among them; deletes keep the last copy.
class LastCopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_DATA_HOME", dir.file("home/data").c_str(), 1);
        host.confirmDelete = false;
        rows.showsDuplicates = true;
    }
    void TearDown() override { ::unsetenv("XDG_DATA_HOME"); }
    // A file of that size in the folder and its record; returns its index.
    std::uint32_t add(const std::string& folder, const std::string& name, std::size_t size) {
        writeSized(dir.file(folder + "/" + name), size, 3);
        MediaRecord r{};
        r.projectName.SetWhole("P" + std::to_string(catalog.FileCount()));
        r.fileName.SetWhole(name);
        r.folder.SetWhole(dir.file(folder));
        r.size = size;
        catalog.AddRecord(r, true);
        catalog.RebuildFileArray();
        return catalog.FileCount() - 1;
    }
    void select(const std::vector<std::uint32_t>& indexes) {
        rows.rows.clear();
        for (const std::uint32_t index : indexes)
            rows.rows.push_back({index, true, ""});
    }
    std::vector<std::string> statuses() const {
        std::vector<std::string> out;
        for (const auto& r : rows.rows)
            out.push_back(r.status);
        return out;
    }
    bool onDisk(std::uint32_t index) {
        return fs::exists(MediaCatalog::FullPath(*catalog.GetRecord(index)));
    }
    FileOperationRun run() { return {catalog, rows, host, prompter, host.confirm()}; }

    TempDir dir;
    LogCapture log;
    MediaCatalog catalog;
    RowSelection rows;
    FakeHost host;
    ScriptedPrompter prompter;
};

TEST_F(LastCopyTest, DeletingEveryCopyOfAGroupLeavesExactlyOne) {
    const std::uint32_t c1 = add("c1", "dup.omf", 500);
    const std::uint32_t c2 = add("c2", "dup.omf", 500);
    const std::uint32_t c3 = add("c3", "dup.omf", 500);
    const std::uint32_t pair1 = add("c1", "pair.omf", 70);
    const std::uint32_t pair2 = add("c2", "pair.omf", 70);
    const std::uint32_t single = add("c3", "single.omf", 10);
    catalog.FindDuplicates();
    ASSERT_EQ(catalog.Duplicates()->GroupCount(), 2u);
    select({c2, pair1, c1, single, pair2, c3});
    run().DeleteSelectedFiles();
    EXPECT_EQ(statuses(), (std::vector<std::string>{"Deleted...", "Deleted...", "Deleted...",
                                                    "Deleted...", "Last copy", "Last copy"}));
    EXPECT_EQ(onDisk(c1) + onDisk(c2) + onDisk(c3), 1);
    EXPECT_TRUE(onDisk(c3));
    EXPECT_TRUE(onDisk(pair2));
    EXPECT_FALSE(onDisk(single)); // no group: deleted as ever
    EXPECT_FALSE(IsMissing(*catalog.GetRecord(c3)));
    EXPECT_EQ(rows.FirstSelected(), -1);
    const std::vector<std::string> lines = log.lines();
    EXPECT_EQ(
        std::count(lines.begin(), lines.end(), "Last copy: " + dir.file("c3/dup.omf") + " is kept"),
        1);
    // The refusal is in the journal too, for whoever asks what was tried.
    std::vector<std::string> refused;
    ReadJournal(JournalPath(), [&](JournalEntry&& e) {
        if (e.source.starts_with(dir.path()) && e.result == "failed" && e.message == "Last copy")
            refused.push_back(e.source);
    });
    EXPECT_EQ(refused, (std::vector<std::string>{dir.file("c2/pair.omf"), dir.file("c3/dup.omf")}));

    // A second run over the one left keeps it too; a delete of rows that do
    // not show the duplicates does not.
    select({c3});
    run().DeleteSelectedFiles();
    EXPECT_EQ(statuses(), std::vector<std::string>{"Last copy"});
    EXPECT_TRUE(onDisk(c3));
    rows.showsDuplicates = false;
    select({c3});
    run().DeleteSelectedFiles();
    EXPECT_EQ(statuses(), std::vector<std::string>{"Deleted..."});
    EXPECT_FALSE(onDisk(c3));
}

TEST_F(LastCopyTest, OnlyCopiesStillOnDiskCount) {
    const std::uint32_t a1 = add("a1", "take.omf", 300);
    const std::uint32_t a2 = add("a2", "take.omf", 300);
    const std::uint32_t b1 = add("b1", "shot.omf", 200);
    const std::uint32_t b2 = add("b2", "shot.omf", 200);
    const std::uint32_t b3 = add("b3", "shot.omf", 200);
    const std::uint32_t d1 = add("d1", "link.omf", 100);
    const std::uint32_t d2 = add("d2", "link.omf", 100);
    // Deleted outside the program: the copy left is the last.
    fs::remove(MediaCatalog::FullPath(*catalog.GetRecord(a2)));
    // One copy rewritten at another size, one removed: no copy either.
    writeSized(MediaCatalog::FullPath(*catalog.GetRecord(b2)), 199, 1);
    fs::remove(MediaCatalog::FullPath(*catalog.GetRecord(b3)));
    // A link to the other copy leads to the very file.
    const std::string linked = MediaCatalog::FullPath(*catalog.GetRecord(d2));
    fs::remove(linked);
    fs::create_symlink(MediaCatalog::FullPath(*catalog.GetRecord(d1)), linked);
    // Two recordings of one name and length: other bytes, no copy.
    const std::uint32_t e1 = add("e1", "sound.omf", 400);
    add("e2", "sound.omf", 400);
    writeSized(dir.file("e2/sound.omf"), 400, 9);
    catalog.FindDuplicates();
    ASSERT_EQ(catalog.Duplicates()->GroupCount(), 4u);
    select({a1, a2, b1, d1, e1});
    run().DeleteSelectedFiles();
    EXPECT_EQ(statuses(), (std::vector<std::string>{"Last copy", "Not Exist", "Last copy",
                                                    "Last copy", "Last copy"}));
    EXPECT_TRUE(onDisk(a1));
    EXPECT_TRUE(onDisk(b1));
    EXPECT_TRUE(onDisk(d1));
    EXPECT_TRUE(onDisk(e1));
}

// A file projects name in one folder is one file with several records (one
// read when the file had another size): with its copy elsewhere deleted
// first, none of them may take the file too.
TEST_F(LastCopyTest, TwoRecordsOfOneFileAreOneCopy) {
    const std::uint32_t a = add("a", "clip.omf", 80);
    const std::uint32_t b = add("b", "clip.omf", 80);
    MediaRecord again = *catalog.GetRecord(a);
    again.projectName.SetWhole("Another");
    catalog.AddRecord(again, true);
    catalog.RebuildFileArray();
    const std::uint32_t a2 = catalog.FileCount() - 1;
    // A third, read when the file had another size.
    again.projectName.SetWhole("Older");
    again.size = 79;
    catalog.AddRecord(again, true);
    catalog.RebuildFileArray();
    const std::uint32_t a3 = catalog.FileCount() - 1;
    catalog.FindDuplicates();
    select({b, a2, a3, a});
    run().DeleteSelectedFiles();
    EXPECT_EQ(statuses(),
              (std::vector<std::string>{"Deleted...", "Last copy", "Last copy", "Last copy"}));
    EXPECT_TRUE(onDisk(a));
}

// The same storage mounted a second time (here a passthrough volume of the
// folder: another device number for the same files, and with an offset
// other inode numbers too, as shares that number their files themselves)
// shows each file twice; the file seen through the second mount is no other
// copy.
TEST_F(LastCopyTest, ThroughASecondMountAFileIsNoCopyOfItself) {
    if (const char* fuse = std::getenv("TOLVANE_TEST_FUSE");
        fuse == nullptr || fuse != std::string("fuse"))
        GTEST_SKIP() << "needs root and /dev/fuse: run through realmount.sh";
    const std::uint32_t own = add("storage/c1", "dup.omf", 300);
    const std::string mount = dir.file("second");
    fs::create_directories(mount);
    for (const std::uint64_t inodeOffset : {0ull, 7000000ull}) {
        SCOPED_TRACE(inodeOffset);
        LatencyVolume volume(mount, dir.file("storage"), std::chrono::milliseconds(0), 4,
                             inodeOffset);
        ASSERT_TRUE(volume.mounted() && volume.failure().empty()) << volume.failure();
        struct stat real {};
        struct stat seen {};
        ASSERT_EQ(::stat(dir.file("storage/c1/dup.omf").c_str(), &real), 0);
        ASSERT_EQ(::stat((mount + "/c1/dup.omf").c_str(), &seen), 0);
        ASSERT_NE(real.st_dev, seen.st_dev);
        ASSERT_EQ(real.st_ino + inodeOffset, seen.st_ino);
        if (catalog.FileCount() == 1) {
            MediaRecord view = *catalog.GetRecord(own);
            view.projectName.SetWhole("Seen again");
            view.folder.SetWhole(mount + "/c1");
            catalog.AddRecord(view, true);
            // A link elsewhere to the file seen through the mount.
            fs::create_directories(dir.file("c3"));
            fs::create_symlink(mount + "/c1/dup.omf", dir.file("c3/dup.omf"));
            view.projectName.SetWhole("Linked");
            view.folder.SetWhole(dir.file("c3"));
            catalog.AddRecord(view, true);
            catalog.RebuildFileArray();
        }
        catalog.FindDuplicates();
        ASSERT_EQ(catalog.Duplicates()->Group(0).size(), 3u);
        select({own});
        run().DeleteSelectedFiles();
        EXPECT_EQ(statuses(), std::vector<std::string>{"Last copy"});
        EXPECT_TRUE(onDisk(own));
        // The probe that told the folders apart is gone.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("storage/c1")), {}), 1);
    }

    // A true copy elsewhere: then it goes.
    const std::uint32_t copy = add("c2", "dup.omf", 300);
    catalog.FindDuplicates();
    select({own});
    run().DeleteSelectedFiles();
    EXPECT_EQ(statuses(), std::vector<std::string>{"Deleted..."});
    EXPECT_TRUE(onDisk(copy));
}

TEST_F(LastCopyTest, DeletingTheProjectsMediaKeepsTheLastCopyToo) {
    const std::uint32_t c1 = add("c1", "dup.omf", 50);
    const std::uint32_t c2 = add("c2", "dup.omf", 50);
    catalog.FindDuplicates();
    select({c1, c2});
    for (auto& r : rows.rows)
        r.selected = false;
    prompter.answer(MsgAnswer::Yes);
    run().DeleteProjectMedia();
    EXPECT_EQ(statuses(), (std::vector<std::string>{"Deleted...", "Last copy"}));
    EXPECT_EQ(onDisk(c1) + onDisk(c2), 1);
    EXPECT_EQ(prompter.questions().size(), 1u);
}

} // namespace

namespace {

// The journal the runs of this test write: the test main points it into a
// folder of the test's own; each test starts it anew.
std::vector<JournalEntry> journalEntries() {
    std::vector<JournalEntry> entries;
    ReadJournal(JournalPath(), [&](JournalEntry&& e) { entries.push_back(std::move(e)); });
    return entries;
}

// Rows that check, as each gets its outcome, that the journal says it already.
class JournalFirstRows : public RowSelection {
public:
    explicit JournalFirstRows(MediaCatalog& catalog) : m_catalog(catalog) {}
    void SetStatus(int row, const std::string& text) override {
        const std::vector<JournalEntry> entries = journalEntries();
        const std::string path = MediaCatalog::FullPath(*m_catalog.GetRecord(CatalogIndex(row)));
        if (entries.empty() || entries.back().source != path)
            late.push_back(path);
        RowSelection::SetStatus(row, text);
    }
    std::vector<std::string> late;

private:
    MediaCatalog& m_catalog;
};

} // namespace

// Every file a run acts on, passes over or is refused gets one line, written
// before its row shows the outcome; the journal follows the rows' order.
TEST_F(FileOperationRunTest, EveryFileHasItsJournalLineBeforeItsRowShowsIt) {
    std::filesystem::remove(JournalPath());
    fs::remove(dir.file("media/clip1.omf"));
    JournalFirstRows checked(catalog);
    checked.rows = rows.rows;
    checked.selectedBytes = rows.selectedBytes;
    prompter.choose(dir.file("target"));
    FileOperationRun(catalog, checked, host, prompter, host.confirm()).CopySelectedFiles();
    EXPECT_TRUE(checked.late.empty()) << checked.late.front();
    std::vector<JournalEntry> entries = journalEntries();
    ASSERT_EQ(entries.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        const JournalEntry& e = entries[i];
        const MediaRecord& record = *catalog.GetRecord(checked.rows[i].index);
        EXPECT_EQ(e.operation, "copy");
        EXPECT_EQ(e.source, MediaCatalog::FullPath(record));
        EXPECT_EQ(e.target, dir.file("target/" + record.fileName.str()));
        EXPECT_EQ(e.bytes, record.size);
        EXPECT_EQ(e.result, checked.rows[i].status == "Copied..." ? "done" : "not exist") << i;
        EXPECT_FALSE(e.user.empty());
        EXPECT_FALSE(e.time.empty());
    }
    EXPECT_EQ(entries[3].message, "Not Exist");

    // A delete: to the trash, then a No, which ends the run there.
    for (auto& r : checked.rows)
        r = {r.index, true, ""};
    prompter.answer(MsgAnswer::Yes);
    prompter.answer(MsgAnswer::No);
    FileOperationRun(catalog, checked, host, prompter, host.confirm()).DeleteSelectedFiles();
    entries = journalEntries();
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries[5].operation, "trash");
    EXPECT_EQ(entries[5].result, "done");
    EXPECT_EQ(entries[5].target, "");
    EXPECT_EQ(entries[6].result, "aborted");
    EXPECT_EQ(entries[6].message, "Operation Aborted by User");
    EXPECT_TRUE(fs::exists(entries[6].source));
    EXPECT_FALSE(fs::exists(entries[5].source));
}

// A prompter that checks, as each message is shown, whether the journal
// already holds a line with that message.
class JournalWatchingPrompter : public ScriptedPrompter {
public:
    MsgAnswer ask(const Question& question) override {
        bool found = false;
        for (const JournalEntry& e : journalEntries())
            found = found || e.message == question.text;
        journaledWhenShown.push_back(found);
        return ScriptedPrompter::ask(question);
    }
    std::vector<bool> journaledWhenShown;
};

// A copy's failure that comes out while a later file waits for the copies
// before it (its question does) is journaled as the failure it is, before it
// is shown and before the later file's line.
TEST_F(FileOperationRunTest, AFailureToldDuringALaterFileIsJournaledFirst) {
    std::filesystem::remove(JournalPath());
    // clip4's flush fails late, after its row has been handed on.
    FlushHookIo io([](int fd) {
        if (FlushHookIo::SizeOf(fd) != 5000)
            return FlushHookIo::SystemFlush(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return EIO;
    });
    FileOperator files(io);
    // clip1, next after clip4, meets a file of its name: its question waits
    // for clip4's flush.
    MakeFile(dir.file("target/clip1.omf"), 10);
    JournalWatchingPrompter watching;
    watching.choose(dir.file("target"));
    FileOperationRun(catalog, rows, host, watching, host.confirm(), files).CopySelectedFiles();
    const std::string error = "Cannot copy clip4.omf:\nInput/output error";
    ASSERT_EQ(watching.questions().size(), 2u); // the chooser, the failure
    EXPECT_EQ(watching.questions().back().text, error);
    EXPECT_EQ(watching.journaledWhenShown, (std::vector<bool>{true}));
    std::vector<std::string> order;
    for (const JournalEntry& e : journalEntries()) {
        order.push_back(fs::path(e.source).filename().string() + " " + e.result);
        if (e.result == "failed") {
            EXPECT_EQ(e.message, error);
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"clip3.omf done", "clip0.omf done",
                                               "clip4.omf failed", "clip1.omf aborted"}));
    EXPECT_EQ(statuses()[2], "");
    EXPECT_TRUE(rows.rows[2].selected);
}

// A copy whose flush fails is journaled with the error the user saw, before
// it is shown; a journal that cannot be written is said once and stops
// nothing.
TEST_F(FileOperationRunTest, FailuresAreJournaledAndAnUnwritableJournalStopsNothing) {
    std::filesystem::remove(JournalPath());
    FlushHookIo io([](int fd) {
        return FlushHookIo::SizeOf(fd) == 5000 ? EIO : FlushHookIo::SystemFlush(fd);
    });
    FileOperator files(io);
    JournalWatchingPrompter watching;
    watching.choose(dir.file("target"));
    FileOperationRun(catalog, rows, host, watching, host.confirm(), files).CopySelectedFiles();
    ASSERT_EQ(watching.questions().size(), 2u); // the chooser, the failure
    EXPECT_EQ(watching.questions().back().text, "Cannot copy clip4.omf:\nInput/output error");
    EXPECT_EQ(watching.journaledWhenShown, (std::vector<bool>{true}));
    // How many of the files before the failure were placed depends on
    // when their flushes end: each line says what its row says.
    const std::vector<JournalEntry> entries = journalEntries();
    int failed = 0;
    for (const JournalEntry& e : entries) {
        const auto row = std::find_if(rows.rows.begin(), rows.rows.end(), [&](const auto& r) {
            return MediaCatalog::FullPath(*catalog.GetRecord(r.index)) == e.source;
        });
        ASSERT_NE(row, rows.rows.end()) << e.source;
        EXPECT_EQ(e.result == "done", row->status == "Copied...") << e.source;
        if (e.result == "failed") {
            ++failed;
            EXPECT_EQ(e.source, dir.file("media/clip4.omf"));
            EXPECT_EQ(e.message, "Cannot copy clip4.omf:\nInput/output error");
        }
    }
    EXPECT_EQ(failed, 1);

    const std::string kept = qEnvironmentVariable("XDG_STATE_HOME").toStdString();
    MakeFile(dir.file("not-a-folder"));
    ::setenv("XDG_STATE_HOME", dir.file("not-a-folder").c_str(), 1);
    for (auto& r : rows.rows)
        r = {r.index, true, ""};
    fs::remove_all(dir.file("target"));
    MakeFolder(dir.file("target2"));
    const std::size_t asked = prompter.questions().size();
    prompter.choose(dir.file("target2"));
    run().CopySelectedFiles();
    ::setenv("XDG_STATE_HOME", kept.c_str(), 1);
    EXPECT_EQ(statuses(), std::vector<std::string>(5, "Copied..."));
    ASSERT_EQ(prompter.questions().size(), asked + 2); // the chooser, then the journal once
    EXPECT_NE(prompter.questions().back().text.find("operation journal"), std::string::npos)
        << prompter.questions().back().text;
}
