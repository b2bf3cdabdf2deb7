#include "platform/fileoperation.h"

#include "builders/mediafolder.h"
#include "support/flushhook.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sched.h>
#include <set>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <QTemporaryDir>

namespace {

namespace fs = std::filesystem;
using platform::FileFunction;
using platform::FileOpAnswer;
using platform::FileOpResult;

const platform::FileOpFlags kConfirm{};           // asks; deletes go to the trash
const platform::FileOpFlags kQuiet{.ask = false}; // the same, answering its own questions

class RecordingUi : public platform::FileOpUi {
public:
    FileOpAnswer confirm(const std::string& text, const std::string&) override {
        asked.push_back(text);
        const auto a = answers.empty() ? FileOpAnswer::Cancel : answers.front();
        if (!answers.empty())
            answers.erase(answers.begin());
        return a;
    }
    void showError(const std::string& text, const std::string&) override { errors.push_back(text); }
    bool progress(std::uint64_t done, std::uint64_t total) override {
        steps.push_back(done);
        lastTotal = total;
        return stopAfter < 0 || static_cast<int>(steps.size()) < stopAfter;
    }
    std::vector<FileOpAnswer> answers;
    std::vector<std::string> asked;
    std::vector<std::string> errors;
    std::vector<std::uint64_t> steps;
    std::uint64_t lastTotal = 0;
    int stopAfter = -1;
};

// A file of size bytes whose content follows from seed.
void writeFile(const std::string& path, std::size_t size, unsigned seed = 1) {
    std::vector<std::uint64_t> words(size / 8 + 1);
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (std::uint64_t& w : words) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        w = x;
    }
    const std::string bytes(reinterpret_cast<const char*>(words.data()), size);
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Names in a folder, hidden ones included.
std::vector<std::string> names(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// File times come from a coarse clock: waits until it has moved past the
// file's change time, so that a change now shows.
void waitForTheClockPast(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    for (;;) {
        struct timespec now {};
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
        if (now.tv_sec > st.st_ctim.tv_sec ||
            (now.tv_sec == st.st_ctim.tv_sec && now.tv_nsec > st.st_ctim.tv_nsec))
            return;
        ::sched_yield();
    }
}

// Fails the copy once byte failAt has gone by, with error; or shrinks the
// source, or removes it, at that point.
class FaultyIo : public platform::CopyIo {
public:
    enum class Fault { Error, Shrink, Vanish, Rewrite };
    FaultyIo(std::uint64_t at, Fault fault, int error = 0, std::string source = {})
        : m_at(at), m_fault(fault), m_error(error), m_source(std::move(source)) {}
    ssize_t Transfer(int in, int out, std::size_t count) override {
        if (m_done >= m_at && !m_struck) {
            m_struck = true;
            switch (m_fault) {
            case Fault::Error:
                errno = m_error;
                return -1;
            case Fault::Shrink:
                ::truncate(m_source.c_str(), static_cast<off_t>(m_at));
                break;
            case Fault::Vanish:
                ::unlink(m_source.c_str());
                break;
            case Fault::Rewrite:
                rewriteInPlace();
                break;
            }
        }
        const std::size_t step = std::min<std::uint64_t>(count, 64 * 1024);
        const ssize_t n = platform::CopyIo::Transfer(in, out, step);
        if (n > 0)
            m_done += static_cast<std::uint64_t>(n);
        return n;
    }

private:
    // New bytes at the same size, the modification time put back: only the
    // change time tells.
    void rewriteInPlace() {
        struct stat st {};
        ::stat(m_source.c_str(), &st);
        const int fd = ::open(m_source.c_str(), O_WRONLY);
        const std::string other(64, 'X');
        if (::pwrite(fd, other.data(), other.size(), 0) != static_cast<ssize_t>(other.size()))
            std::abort();
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(fd, times);
        ::close(fd);
    }

    std::uint64_t m_at;
    Fault m_fault;
    int m_error;
    std::string m_source;
    std::uint64_t m_done = 0;
    bool m_struck = false;
};

class FileOperationTest : public ::testing::Test {
protected:
    std::string src(const std::string& name) { return dir.file("src/" + name); }
    std::string dst() { return dir.file("dst"); }
    void SetUp() override { fs::create_directories(dst()); }

    TempDir dir;
    RecordingUi ui;
};

TEST_F(FileOperationTest, ACopyIsWholeWithTheSourcesModeAndTimeAndNoTemporaryFile) {
    writeFile(src("clip.omf"), (10u << 20) + 1); // several transfers
    ::chmod(src("clip.omf").c_str(), 0640);
    const struct timespec old[2] = {{1000000000, 0}, {1100000000, 123456789}};
    ::utimensat(AT_FDCWD, src("clip.omf").c_str(), old, 0);
    ASSERT_EQ(platform::FileOperation(FileFunction::Copy, src("clip.omf"), dst(), kConfirm, ui),
              FileOpResult::Done);
    EXPECT_EQ(contents(dst() + "/clip.omf"), contents(src("clip.omf")));
    struct stat a {
    }, b{};
    ::stat(src("clip.omf").c_str(), &a);
    ::stat((dst() + "/clip.omf").c_str(), &b);
    EXPECT_EQ(b.st_mode & 07777, 0640u);
    EXPECT_EQ(b.st_mtim.tv_sec, a.st_mtim.tv_sec);
    EXPECT_EQ(b.st_mtim.tv_nsec, a.st_mtim.tv_nsec);
    EXPECT_EQ(names(dst()), std::vector<std::string>{"clip.omf"});
    // Progress inside the file, up to its size.
    ASSERT_GE(ui.steps.size(), 2u);
    EXPECT_TRUE(std::is_sorted(ui.steps.begin(), ui.steps.end()));
    EXPECT_EQ(ui.steps.back(), (10u << 20) + 1);
    EXPECT_EQ(ui.lastTotal, (10u << 20) + 1);
    EXPECT_TRUE(ui.asked.empty());
    EXPECT_TRUE(ui.errors.empty());
}

TEST_F(FileOperationTest, AnExistingFileIsReplacedOnlyWhenAllowed) {
    writeFile(src("clip.omf"), 5000, 1);
    writeFile(dst() + "/clip.omf", 300, 2);
    const std::string old = contents(dst() + "/clip.omf");
    ui.answers = {FileOpAnswer::No};
    EXPECT_EQ(platform::FileOperation(FileFunction::Copy, src("clip.omf"), dst(), kConfirm, ui),
              FileOpResult::AbortedByUser);
    ASSERT_EQ(ui.asked.size(), 1u);
    EXPECT_EQ(ui.asked[0], dst() + " already has a file named clip.omf. Replace it?");
    EXPECT_EQ(contents(dst() + "/clip.omf"), old);
    ui.answers = {FileOpAnswer::Yes};
    EXPECT_EQ(platform::FileOperation(FileFunction::Copy, src("clip.omf"), dst(), kConfirm, ui),
              FileOpResult::Done);
    EXPECT_EQ(contents(dst() + "/clip.omf"), contents(src("clip.omf")));
    // Without confirmation a move replaces at once.
    writeFile(src("clip.omf"), 7000, 3);
    const std::string moved = contents(src("clip.omf"));
    EXPECT_EQ(platform::FileOperation(FileFunction::Move, src("clip.omf"), dst(), kQuiet, ui),
              FileOpResult::Done);
    EXPECT_EQ(contents(dst() + "/clip.omf"), moved);
    EXPECT_FALSE(fs::exists(src("clip.omf")));
    EXPECT_EQ(ui.asked.size(), 2u);
}

TEST_F(FileOperationTest, AFileIsNeverCopiedOrMovedOntoItself) {
    writeFile(src("clip.omf"), 9000);
    const std::string before = contents(src("clip.omf"));
    for (FileFunction f : {FileFunction::Copy, FileFunction::Move}) {
        EXPECT_EQ(platform::FileOperation(f, src("clip.omf"), dir.file("src"), kQuiet, ui),
                  FileOpResult::Failed);
    }
    // A hard link elsewhere is the same file too.
    ASSERT_EQ(::link(src("clip.omf").c_str(), (dst() + "/clip.omf").c_str()), 0);
    EXPECT_EQ(platform::FileOperation(FileFunction::Copy, src("clip.omf"), dst(), kQuiet, ui),
              FileOpResult::Failed);
    EXPECT_EQ(platform::FileOperation(FileFunction::Move, src("clip.omf"), dst(), kQuiet, ui),
              FileOpResult::Failed);
    EXPECT_EQ(contents(src("clip.omf")), before);
    EXPECT_EQ(contents(dst() + "/clip.omf"), before);
    ASSERT_EQ(ui.errors.size(), 4u);
    EXPECT_EQ(ui.errors[0], "Cannot copy clip.omf:\nThe source and the target are the same file.");
    EXPECT_EQ(names(dst()), std::vector<std::string>{"clip.omf"});
}

TEST_F(FileOperationTest, FailuresInTheMiddleLoseNothing) {
    const std::size_t size = 1u << 20;
    struct Case {
        FaultyIo::Fault fault;
        int error;
        std::string message;
    };
    const Case cases[] = {
        {FaultyIo::Fault::Error, ENOSPC, "No space left on device"},
        {FaultyIo::Fault::Error, EIO, "Input/output error"},
        {FaultyIo::Fault::Error, EACCES, "Permission denied"},
        {FaultyIo::Fault::Shrink, 0, "The file changed while it was copied."},
        {FaultyIo::Fault::Vanish, 0, "The file changed while it was copied."},
        {FaultyIo::Fault::Rewrite, 0, "The file changed while it was copied."},
    };
    for (const Case& c : cases) {
        writeFile(src("clip.omf"), size, 7);
        waitForTheClockPast(src("clip.omf"));
        writeFile(dst() + "/clip.omf", 100, 8); // an older copy, to be replaced
        const std::string source = contents(src("clip.omf"));
        const std::string old = contents(dst() + "/clip.omf");
        RecordingUi local;
        FaultyIo io(size / 2, c.fault, c.error, src("clip.omf"));
        EXPECT_EQ(
            platform::FileOperation(FileFunction::Copy, src("clip.omf"), dst(), kQuiet, local, io),
            FileOpResult::Failed)
            << c.message;
        ASSERT_EQ(local.errors.size(), 1u) << c.message;
        EXPECT_EQ(local.errors[0], "Cannot copy clip.omf:\n" + c.message);
        // The older file stands as it was, and no temporary file is left.
        EXPECT_EQ(contents(dst() + "/clip.omf"), old) << c.message;
        EXPECT_EQ(names(dst()), std::vector<std::string>{"clip.omf"}) << c.message;
        if (c.fault == FaultyIo::Fault::Error) {
            EXPECT_EQ(contents(src("clip.omf")), source) << c.message;
        }
    }
}

TEST_F(FileOperationTest, ACancelInsideAFileRemovesTheTemporaryFile) {
    writeFile(src("big.omf"), (8u << 20) + 100);
    ui.stopAfter = 2;
    EXPECT_EQ(platform::FileOperation(FileFunction::Copy, src("big.omf"), dst(), kQuiet, ui),
              FileOpResult::Cancelled);
    EXPECT_TRUE(names(dst()).empty());
    EXPECT_EQ(ui.steps.size(), 2u);
    EXPECT_TRUE(fs::exists(src("big.omf")));
}

TEST_F(FileOperationTest, DeletesGoToTheTrashAfterTheQuestion) {
    // A home of our own, with no trash yet.
    const std::string home = dir.file("home");
    fs::create_directories(home);
    const std::string oldHome = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    writeFile(src("clip.omf"), 1234);
    ui.answers = {FileOpAnswer::No, FileOpAnswer::Yes};
    EXPECT_EQ(platform::FileOperation(FileFunction::Delete, src("clip.omf"), {}, kConfirm, ui),
              FileOpResult::AbortedByUser);
    EXPECT_TRUE(fs::exists(src("clip.omf")));
    EXPECT_EQ(platform::FileOperation(FileFunction::Delete, src("clip.omf"), {}, kConfirm, ui),
              FileOpResult::Done);
    EXPECT_EQ(ui.asked, (std::vector<std::string>{"Move clip.omf to the Trash?",
                                                  "Move clip.omf to the Trash?"}));
    EXPECT_FALSE(fs::exists(src("clip.omf")));
    EXPECT_EQ(fs::file_size(home + "/data/Trash/files/clip.omf"), 1234u);
    EXPECT_TRUE(fs::exists(home + "/data/Trash/info/clip.omf.trashinfo"));
    // Without undo a file is removed for good, without a question when quiet.
    writeFile(src("other.omf"), 10);
    EXPECT_EQ(platform::FileOperation(FileFunction::Delete, src("other.omf"), {},
                                      {.ask = false, .toTrash = false}, ui),
              FileOpResult::Done);
    EXPECT_FALSE(fs::exists(src("other.omf")));
    EXPECT_FALSE(fs::exists(home + "/data/Trash/files/other.omf"));
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", oldHome.c_str(), 1);
}

TEST_F(FileOperationTest, AMediaFileThatIsALinkIsCopiedAsItsContentAndNeverLosesIt) {
    writeFile(dir.file("store/real.omf"), 3000, 4);
    const std::string content = contents(dir.file("store/real.omf"));
    fs::create_directories(dir.file("src"));
    fs::create_symlink(dir.file("store/real.omf"), src("abs.omf"));
    fs::create_symlink("../store/real.omf", src("rel.omf"));
    // A copy is the content, as a file of its own.
    ASSERT_EQ(platform::FileOperation(FileFunction::Copy, src("rel.omf"), dst(), kQuiet, ui),
              FileOpResult::Done);
    EXPECT_FALSE(fs::is_symlink(dst() + "/rel.omf"));
    EXPECT_EQ(contents(dst() + "/rel.omf"), content);
    // On one volume a move renames a link that still leads to its file ...
    ASSERT_EQ(platform::FileOperation(FileFunction::Move, src("abs.omf"), dst(), kQuiet, ui),
              FileOpResult::Done);
    EXPECT_TRUE(fs::is_symlink(dst() + "/abs.omf"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(src("abs.omf"))));
    // ... and moves the content of one that would lead elsewhere, removing
    // the link, never its file.
    const std::string deeper = dst() + "/deeper";
    fs::create_directories(deeper);
    ASSERT_EQ(platform::FileOperation(FileFunction::Move, src("rel.omf"), deeper, kQuiet, ui),
              FileOpResult::Done);
    EXPECT_FALSE(fs::is_symlink(deeper + "/rel.omf"));
    EXPECT_EQ(contents(deeper + "/rel.omf"), content);
    EXPECT_FALSE(fs::exists(fs::symlink_status(src("rel.omf"))));
    // Moved onto a file of its name that the user agreed to replace, a link
    // that would lead nowhere there takes the file's place only as content.
    fs::create_symlink("../store/real.omf", src("again.omf"));
    writeFile(deeper + "/again.omf", 77, 9);
    ASSERT_EQ(platform::FileOperation(FileFunction::Move, src("again.omf"), deeper, kQuiet, ui),
              FileOpResult::Done);
    EXPECT_EQ(contents(deeper + "/again.omf"), content);
    EXPECT_FALSE(fs::exists(fs::symlink_status(src("again.omf"))));
    // A delete removes the link.
    ASSERT_EQ(platform::FileOperation(FileFunction::Delete, dst() + "/abs.omf", {},
                                      {.ask = false, .toTrash = false}, ui),
              FileOpResult::Done);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dst() + "/abs.omf")));
    EXPECT_EQ(contents(dir.file("store/real.omf")), content);
    EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
}

TEST(FileOperation, CopiesLeftByStoppedRunsOfThisHostAreRemovedAndNoOthers) {
    TempDir dir;
    writeFile(dir.file("src/clip.omf"), 100);
    fs::create_directories(dir.file("dst"));
    // A process that has ended, and one that runs.
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    auto name = [&](pid_t pid, const std::string& of) {
        return ".tolvane-copy-" + std::to_string(pid) + "@" + of + "-a1B2c3";
    };
    const std::string stale = name(gone, host);
    const std::vector<std::string> kept{name(::getppid(), host), name(gone, "other-host"),
                                        ".tolvane-copy-XYZ123"};
    for (const std::string& n : kept)
        writeFile(dir.file("dst/" + n), 10);
    writeFile(dir.file("dst/" + stale), 10);
    EXPECT_TRUE(platform::IsTemporaryCopyName(stale));
    RecordingUi ui;
    ASSERT_EQ(platform::FileOperation(FileFunction::Copy, dir.file("src/clip.omf"), dir.file("dst"),
                                      kQuiet, ui),
              FileOpResult::Done);
    std::vector<std::string> expected = kept;
    expected.push_back("clip.omf");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names(dir.file("dst")), expected);
}

TEST(FileOperation, DeletesAsAskedAndStopsAtTheFirstFailure) {
    TempDir dir;
    for (const char* name : {"a", "b", "c"})
        MakeFile(dir.file(name));
    MakeFile(dir.file("full/x"));
    RecordingUi ui;
    ui.answers = {FileOpAnswer::Yes, FileOpAnswer::No};
    EXPECT_EQ(platform::DeleteFiles({dir.file("a"), dir.file("b"), dir.file("c")},
                                    {.toTrash = false, .recurse = true}, &ui),
              FileOpResult::AbortedByUser);
    EXPECT_FALSE(fs::exists(dir.file("a")));
    EXPECT_TRUE(fs::exists(dir.file("b")));
    EXPECT_TRUE(fs::exists(dir.file("c")));
    EXPECT_EQ(ui.asked.front(), "Are you sure you want to permanently delete 'a'?");

    const platform::FileOpFlags quiet{.ask = false, .toTrash = false};
    EXPECT_EQ(
        platform::DeleteFiles({dir.file("b"), dir.file("missing"), dir.file("c")}, quiet, &ui),
        FileOpResult::Failed);
    EXPECT_FALSE(fs::exists(dir.file("b")));
    EXPECT_TRUE(fs::exists(dir.file("c")));
    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_EQ(ui.errors[0], "Cannot delete missing:\nNo such file or directory");
    // Without recursion a folder with files stays.
    EXPECT_EQ(platform::DeleteFiles({dir.file("full")}, quiet, &ui), FileOpResult::Failed);
    EXPECT_TRUE(fs::exists(dir.file("full/x")));
    EXPECT_EQ(ui.asked.size(), 2u);
}

// Runs body in a child process; its exit status is the result (0 = passed,
// 77 = skipped), and what it printed explains a failure.
int inChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

#define CHILD_CHECK(condition)                                                                     \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition);                   \
            return 1;                                                                              \
        }                                                                                          \
    } while (0)

// The end of a test run in a child: skipped, with the reason, when the child
// returned 77 (it could not set up what it needs), else passed or failed.
#define EXPECT_CHILD_PASSED(status, skipReason)                                                    \
    do {                                                                                           \
        if (WIFEXITED(status) && WEXITSTATUS(status) == 77)                                        \
            GTEST_SKIP() << skipReason;                                                            \
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;                      \
    } while (0)

// Gives the calling process mounts of its own, seen by nobody else.
bool ownMountNamespace() {
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// Mounts a small memory file system of that size on folder, in the child's
// own mount namespace.
bool mountSmall(const std::string& folder, const char* size) {
    fs::create_directories(folder);
    const std::string options = std::string("size=") + size;
    return ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

TEST(FileOperationOnRealVolumes, FullDisksAndOtherVolumesLoseNothing) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for a mount namespace with small tmpfs volumes";
    TempDir dir;
    const int status = inChild([&] {
        if (!ownMountNamespace())
            return 77;
        const std::string a = dir.file("a");
        const std::string small = dir.file("small");
        const std::string b = dir.file("b");
        if (!mountSmall(a, "8m") || !mountSmall(small, "1m") || !mountSmall(b, "8m"))
            return 77;
        RecordingUi ui;
        // A 2 MiB file copied onto a 1 MiB volume: disk full, nothing left.
        writeFile(a + "/clip.omf", 2u << 20);
        const std::string source = contents(a + "/clip.omf");
        CHILD_CHECK(platform::FileOperation(FileFunction::Copy, a + "/clip.omf", small, kQuiet,
                                            ui) == FileOpResult::Failed);
        CHILD_CHECK(ui.errors.size() == 1);
        CHILD_CHECK(ui.errors[0] == "Cannot copy clip.omf:\nNo space left on device");
        CHILD_CHECK(names(small).empty());
        // A move that fills the target keeps its source.
        CHILD_CHECK(platform::FileOperation(FileFunction::Move, a + "/clip.omf", small, kQuiet,
                                            ui) == FileOpResult::Failed);
        CHILD_CHECK(names(small).empty());
        CHILD_CHECK(contents(a + "/clip.omf") == source);
        // A move to another volume is a copy, a check and a removal.
        CHILD_CHECK(platform::FileOperation(FileFunction::Move, a + "/clip.omf", b, kQuiet, ui) ==
                    FileOpResult::Done);
        CHILD_CHECK(!fs::exists(a + "/clip.omf"));
        CHILD_CHECK(contents(b + "/clip.omf") == source);
        CHILD_CHECK(names(b) == std::vector<std::string>{"clip.omf"});
        return 0;
    });
    EXPECT_CHILD_PASSED(status, "no mount namespace or tmpfs here");
}

TEST(FileOperationOnRealVolumes, AFileNoTrashTakesIsDeletedOnlyWhenTheUserSaysSo) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for a mount namespace and another user";
    TempDir dir;
    const int status = inChild([&] {
        if (!ownMountNamespace())
            return 77;
        // A volume whose top folder another user cannot write: no trash of
        // its own can be made there, and the home trash lies on another
        // volume.
        const std::string volume = dir.file("volume");
        if (!mountSmall(volume, "4m"))
            return 77;
        ::chmod(volume.c_str(), 0755);
        ::chmod(dir.path().c_str(), 0777);
        fs::create_directories(volume + "/media");
        ::chmod((volume + "/media").c_str(), 0777);
        writeFile(volume + "/media/a.omf", 100);
        writeFile(volume + "/media/b.omf", 100);
        ::setenv("HOME", dir.path().c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir.path() + "/data").c_str(), 1);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            return 77;
        RecordingUi ui;
        ui.answers = {FileOpAnswer::No, FileOpAnswer::Yes};
        CHILD_CHECK(platform::FileOperation(FileFunction::Delete, volume + "/media/a.omf", {},
                                            kQuiet, ui) == FileOpResult::AbortedByUser);
        CHILD_CHECK(fs::exists(volume + "/media/a.omf"));
        CHILD_CHECK(ui.asked.size() == 1);
        CHILD_CHECK(ui.asked[0] == "a.omf cannot be moved to the Trash. Delete it permanently?");
        CHILD_CHECK(platform::FileOperation(FileFunction::Delete, volume + "/media/b.omf", {},
                                            kQuiet, ui) == FileOpResult::Done);
        CHILD_CHECK(!fs::exists(volume + "/media/b.omf"));
        // Nothing went anywhere but where it was asked to.
        CHILD_CHECK(names(volume + "/media") == std::vector<std::string>{"a.omf"});
        CHILD_CHECK(!fs::exists(dir.path() + "/data/Trash/files/a.omf"));
        return 0;
    });
    EXPECT_CHILD_PASSED(status, "no mount namespace, tmpfs or other user here");
}

// One file as a run over many files does it: handed to the run's flushers
// and placed later; its outcome once settled.
FileOpResult placedLater(FileFunction function, const std::string& source,
                         const std::string& targetFolder, platform::FileOpUi& ui) {
    platform::RunRecord run;
    run.PlaceLater();
    const FileOpResult result = platform::FileOperation(function, source, targetFolder, kQuiet, ui,
                                                        platform::SystemCopyIo(), &run);
    if (result != FileOpResult::Pending)
        return result;
    const std::vector<FileOpResult> settled = run.Settled(ui, true);
    return settled.size() == 1 ? settled.front() : FileOpResult::Failed;
}

TEST(FileOperationOnRealVolumes, ASecondMountOfTheSameStorageNeverLosesTheSource) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for a mount namespace and a FUSE mount";
    if (::access("/dev/fuse", R_OK | W_OK) != 0 || std::system("command -v bindfs >/dev/null") != 0)
        GTEST_SKIP() << "needs /dev/fuse and bindfs for a second view of one volume";
    TempDir dir;
    const int status = inChild([&] {
        if (!ownMountNamespace())
            return 77;
        // The same storage twice, as a NAS mounted by two protocols: other
        // device and inode numbers for the same files.
        const std::string a = dir.file("a");
        const std::string b = dir.file("b");
        if (!mountSmall(a, "8m"))
            return 77;
        fs::create_directories(b);
        if (std::system(("bindfs '" + a + "' '" + b + "'").c_str()) != 0)
            return 77;
        writeFile(a + "/media/clip.omf", 300000);
        const std::string source = contents(a + "/media/clip.omf");
        RecordingUi ui;
        int result = 0;
        for (FileFunction f : {FileFunction::Move, FileFunction::Copy}) {
            // At once, and as a run places its files later.
            for (bool later : {false, true}) {
                const std::string from = a + "/media/clip.omf";
                if ((later ? placedLater(f, from, b + "/media", ui)
                           : platform::FileOperation(f, from, b + "/media", kQuiet, ui)) !=
                    FileOpResult::Failed)
                    result = 1;
                if (contents(from) != source ||
                    names(a + "/media") != std::vector<std::string>{"clip.omf"})
                    result = 2;
            }
        }
        if (result == 0 && ui.errors.size() != 4)
            result = 3;
        // A link elsewhere to the file as the second view shows it, moved
        // onto the file with leave to replace it: the file stays whole.
        fs::create_directories(a + "/links");
        fs::create_symlink(b + "/media/clip.omf", a + "/links/clip.omf");
        platform::FileOperation(FileFunction::Move, a + "/links/clip.omf", a + "/media", kQuiet,
                                ui);
        if (result == 0 &&
            (fs::is_symlink(a + "/media/clip.omf") || contents(a + "/media/clip.omf") != source))
            result = 4;
        ::umount2(b.c_str(), MNT_DETACH);
        return result;
    });
    EXPECT_CHILD_PASSED(status, "no mount namespace, tmpfs or bindfs mount here");
}

TEST(FileOperationOnRealVolumes, ACopyNeverGivesSetIdBitsToAnotherOwner) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to own files of another user";
    TempDir dir;
    ::chmod(dir.path().c_str(), 0777);
    writeFile(dir.file("src/tool"), 100);
    ::chmod(dir.file("src").c_str(), 0777);
    fs::create_directories(dir.file("dst"));
    ::chmod(dir.file("dst").c_str(), 0777);
    ::chown(dir.file("src/tool").c_str(), 65534, 65534);
    ::chmod(dir.file("src/tool").c_str(), 06755);
    // Root keeps the owner with the bits.
    for (bool later : {false, true}) {
        RecordingUi ui;
        const std::string from = dir.file("src/tool");
        ASSERT_EQ(
            later ? placedLater(FileFunction::Copy, from, dir.file("dst"), ui)
                  : platform::FileOperation(FileFunction::Copy, from, dir.file("dst"), kQuiet, ui),
            FileOpResult::Done);
        struct stat st {};
        ASSERT_EQ(::stat(dir.file("dst/tool").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        EXPECT_EQ(st.st_mode & 07777, 06755u);
        fs::remove(dir.file("dst/tool"));
    }
    // Another user's copy of a root program is an ordinary program of theirs.
    ::chown(dir.file("src/tool").c_str(), 0, 0);
    const int status = inChild([&] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            return 77;
        // At once, and as a run places its files later.
        for (bool later : {false, true}) {
            RecordingUi local;
            const std::string from = dir.file("src/tool");
            CHILD_CHECK((later ? placedLater(FileFunction::Copy, from, dir.file("dst"), local)
                               : platform::FileOperation(FileFunction::Copy, from, dir.file("dst"),
                                                         kQuiet, local)) == FileOpResult::Done);
            struct stat copy {};
            CHILD_CHECK(::stat(dir.file("dst/tool").c_str(), &copy) == 0);
            CHILD_CHECK(copy.st_uid == 65534);
            CHILD_CHECK((copy.st_mode & 07777) == 0755);
            CHILD_CHECK(::unlink(dir.file("dst/tool").c_str()) == 0);
        }
        return 0;
    });
    EXPECT_CHILD_PASSED(status, "no other user here");
}

TEST(FileOperationOnRealVolumes, ATrashThatIsALinkOrCannotBeMadeIsNeverUsed) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for a mount namespace with a tmpfs volume";
    TempDir dir;
    const int status = inChild([&] {
        if (!ownMountNamespace())
            return 77;
        const std::string volume = dir.file("volume");
        if (!mountSmall(volume, "4m"))
            return 77;
        writeFile(volume + "/media/a.omf", 100);
        // The volume's trash leads elsewhere; the home trash lies on
        // another volume.
        fs::create_directories(volume + "/elsewhere");
        fs::create_symlink(volume + "/elsewhere", volume + "/.Trash-0");
        ::setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
        RecordingUi ui;
        ui.answers = {FileOpAnswer::No};
        CHILD_CHECK(platform::FileOperation(FileFunction::Delete, volume + "/media/a.omf", {},
                                            kQuiet, ui) == FileOpResult::AbortedByUser);
        CHILD_CHECK(fs::exists(volume + "/media/a.omf"));
        CHILD_CHECK(fs::is_empty(volume + "/elsewhere"));
        // No home at all: nothing is written where the program happens to
        // run.
        ::unsetenv("XDG_DATA_HOME");
        ::unsetenv("HOME");
        fs::remove(volume + "/.Trash-0");
        ::chmod(volume.c_str(), 0755);
        ::chmod((volume + "/media").c_str(), 0777);
        ::chmod(dir.path().c_str(), 0777);
        fs::create_directories(dir.file("work"));
        ::chmod(dir.file("work").c_str(), 0777);
        if (::chdir(dir.file("work").c_str()) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            return 77;
        ui.answers = {FileOpAnswer::No};
        CHILD_CHECK(platform::FileOperation(FileFunction::Delete, volume + "/media/a.omf", {},
                                            kQuiet, ui) == FileOpResult::AbortedByUser);
        CHILD_CHECK(fs::exists(volume + "/media/a.omf"));
        CHILD_CHECK(fs::is_empty(dir.file("work")));
        CHILD_CHECK(ui.asked.size() == 2);
        return 0;
    });
    EXPECT_CHILD_PASSED(status, "no mount namespace, tmpfs or other user here");
}

// Kills its own process in the middle of the copy.
class KillingIo : public platform::CopyIo {
public:
    ssize_t Transfer(int in, int out, std::size_t count) override {
        if (++m_calls == 3)
            ::kill(::getpid(), SIGKILL);
        return platform::CopyIo::Transfer(in, out, std::min<std::size_t>(count, 1u << 20));
    }

private:
    int m_calls = 0;
};

TEST(FileOperationKilled, AKilledCopyLeavesNoFileUnderTheFinalName) {
    TempDir dir;
    writeFile(dir.file("src/big.omf"), 8u << 20);
    fs::create_directories(dir.file("dst"));
    const int status = inChild([&] {
        RecordingUi ui;
        KillingIo io;
        platform::FileOperation(FileFunction::Copy, dir.file("src/big.omf"), dir.file("dst"),
                                kQuiet, ui, io);
        return 3; // not reached
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_FALSE(fs::exists(dir.file("dst/big.omf")));
    for (const std::string& name : names(dir.file("dst")))
        EXPECT_TRUE(platform::IsTemporaryCopyName(name)) << name;
}

} // namespace

namespace {

// Runs that place their files later: a copy is flushed on the run's own
// threads while the next file is copied, and takes its name after.

// Holds whoever waits at it until it is opened, or for at most a while.
class Gate {
public:
    // True when opened in time.
    bool Wait(std::chrono::milliseconds most) {
        std::unique_lock lock(m_mutex);
        return m_opened.wait_for(lock, most, [this] { return m_open; });
    }
    void Open() {
        const std::lock_guard lock(m_mutex);
        m_open = true;
        m_opened.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open = false;
};

// A folder on another volume than the test's temporary folders (a memory
// file system), for moves that copy; empty where there is none.
class OtherVolume {
public:
    OtherVolume() : m_dir(QStringLiteral("/dev/shm/tolvane-test-XXXXXX")) {
        const std::string there = m_dir.path().toStdString();
        struct stat a {};
        struct stat b {};
        if (m_dir.isValid() && ::stat(m_here.path().c_str(), &a) == 0 &&
            ::stat(there.c_str(), &b) == 0 && a.st_dev != b.st_dev)
            m_path = there;
    }
    // Empty when there is none.
    const std::string& path() const { return m_path; }
    bool usable() const { return !m_path.empty(); }

private:
    TempDir m_here;
    QTemporaryDir m_dir;
    std::string m_path;
};

// The functions whose copies are flushed: copies, and moves where another
// volume makes them copies.
std::vector<FileFunction> copyingFunctions(const OtherVolume& other) {
    if (other.usable())
        return {FileFunction::Copy, FileFunction::Move};
    return {FileFunction::Copy};
}

// Notes what the folder holds whenever a question or an error comes.
class SnapshotUi final : public RecordingUi {
public:
    explicit SnapshotUi(std::string folder) : m_folder(std::move(folder)) {}
    FileOpAnswer confirm(const std::string& text, const std::string& caption) override {
        seen.push_back(names(m_folder));
        return RecordingUi::confirm(text, caption);
    }
    void showError(const std::string& text, const std::string& caption) override {
        seen.push_back(names(m_folder));
        RecordingUi::showError(text, caption);
    }
    std::vector<std::vector<std::string>> seen;

private:
    std::string m_folder;
};

// What a run does with its files: each handed to the operation in turn
// until one fails or is cancelled, then every pending one waited for.
struct RunOutcome {
    std::vector<FileOpResult> calls;
    std::vector<FileOpResult> settled;
};

RunOutcome runOver(const std::vector<std::string>& sources, FileFunction function,
                   const std::string& target, platform::FileOpUi& ui, platform::CopyIo& io,
                   platform::RunRecord& run, const platform::FileOpFlags& flags = kQuiet) {
    RunOutcome out;
    for (const std::string& source : sources) {
        out.calls.push_back(platform::FileOperation(function, source, target, flags, ui, io, &run));
        if (out.calls.back() == FileOpResult::Failed ||
            out.calls.back() == FileOpResult::Cancelled ||
            out.calls.back() == FileOpResult::AbortedByUser)
            break;
    }
    out.settled = run.Settled(ui, true);
    return out;
}

// Files clip0.omf ... in folder, each of a size of its own; their contents
// by name.
std::map<std::string, std::string> writeClips(const std::string& folder, int count,
                                              std::vector<std::string>& paths) {
    std::map<std::string, std::string> bytes;
    for (int i = 0; i < count; ++i) {
        const std::string name = "clip" + std::to_string(i) + ".omf";
        paths.push_back(folder + "/" + name);
        writeFile(paths.back(), 20000 + static_cast<std::size_t>(i) * 37001,
                  static_cast<unsigned>(i) + 1);
        bytes[name] = contents(paths.back());
    }
    return bytes;
}

// The size of the i-th file writeClips writes.
off_t clipSize(int i) {
    return static_cast<off_t>(20000 + i * 37001);
}

// A run's files: written into a folder on the other volume for a move (so
// that it copies), beside the target otherwise; the target made.
struct Clips {
    std::string from;
    std::string to;
    std::vector<std::string> sources;
    std::map<std::string, std::string> bytes;
};

Clips clipsFor(FileFunction function, const TempDir& dir, const OtherVolume& other, int count) {
    const bool move = function == FileFunction::Move;
    Clips clips;
    clips.from = (move ? other.path() : dir.path()) + "/from";
    clips.to = dir.file(move ? "moved" : "copied");
    fs::create_directories(clips.to);
    clips.bytes = writeClips(clips.from, count, clips.sources);
    return clips;
}

bool noTemporaries(const std::string& folder) {
    const std::vector<std::string> all = names(folder);
    return std::none_of(all.begin(), all.end(),
                        [](const std::string& n) { return platform::IsTemporaryCopyName(n); });
}

TEST(FileOperationPlacedLater, AFileTakesItsNameOnlyOnceFlushedAndAMovesSourceGoesOnlyAfter) {
    TempDir dir;
    OtherVolume other;
    for (const FileFunction function : copyingFunctions(other)) {
        const bool move = function == FileFunction::Move;
        const auto [from, to, sources, bytes] = clipsFor(function, dir, other, 24);

        std::mutex mutex;
        std::set<ino_t> flushed;  // files whose flush has returned
        int seenUnflushed = 0;    // final names seen holding a file not flushed
        int sourcesGoneEarly = 0; // move sources gone before their copy's flush returned
        Gate laterCopyBegun;      // the copy of a later file started during a flush
        std::atomic<bool> firstFlushWaits{false};
        bool overlapped = false;
        class Io final : public FlushHookIo {
        public:
            using FlushHookIo::FlushHookIo;
            std::function<void()> onTransfer;
            ssize_t Transfer(int in, int out, std::size_t count) override {
                onTransfer();
                return FlushHookIo::Transfer(in, out, count);
            }
        } io([&](int fd) {
            // The first flush waits for the run to begin copying another file.
            if (!firstFlushWaits.exchange(true))
                overlapped = laterCopyBegun.Wait(std::chrono::seconds(10));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            const int result = FlushHookIo::SystemFlush(fd);
            struct stat st {};
            ::fstat(fd, &st);
            const std::lock_guard lock(mutex);
            const auto index = static_cast<std::size_t>((st.st_size - clipSize(0)) / 37001);
            if (index >= sources.size() || !fs::exists(sources[index]))
                ++sourcesGoneEarly;
            flushed.insert(st.st_ino);
            return result;
        });
        io.onTransfer = [&] {
            if (firstFlushWaits)
                laterCopyBegun.Open();
        };
        // Meanwhile every file that shows under its name must be one whose
        // flush has returned.
        std::atomic<bool> done{false};
        std::thread watcher([&] {
            while (!done) {
                std::error_code ec;
                for (fs::directory_iterator it(to, ec), end; !ec && it != end; it.increment(ec)) {
                    const std::string name = it->path().filename().string();
                    struct stat st {};
                    if (platform::IsTemporaryCopyName(name) ||
                        ::lstat(it->path().c_str(), &st) != 0)
                        continue;
                    const std::lock_guard lock(mutex);
                    if (flushed.count(st.st_ino) == 0)
                        ++seenUnflushed;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        RecordingUi ui;
        platform::RunRecord run;
        run.PlaceLater();
        const RunOutcome outcome = runOver(sources, function, to, ui, io, run);
        done = true;
        watcher.join();

        EXPECT_EQ(outcome.calls, std::vector<FileOpResult>(24, FileOpResult::Pending));
        EXPECT_EQ(outcome.settled, std::vector<FileOpResult>(24, FileOpResult::Done));
        EXPECT_TRUE(ui.errors.empty());
        EXPECT_TRUE(overlapped) << "the run waited for a flush before copying on";
        EXPECT_EQ(seenUnflushed, 0);
        EXPECT_EQ(sourcesGoneEarly, 0);
        EXPECT_EQ(names(to).size(), bytes.size());
        for (const auto& [name, content] : bytes)
            EXPECT_EQ(contents(to + "/" + name), content) << name;
        for (const std::string& source : sources)
            EXPECT_EQ(fs::exists(source), !move) << source;
    }
}

TEST(FileOperationPlacedLater, AFailedFlushPlacesNeitherItsFileNorAnyWrittenAfter) {
    TempDir dir;
    OtherVolume other;
    for (const FileFunction function : copyingFunctions(other)) {
        const bool move = function == FileFunction::Move;
        const auto [from, to, sources, bytes] = clipsFor(function, dir, other, 6);
        // The third file's flush fails; the others take a while, so that
        // later files are written before the failure is known.
        FlushHookIo io([](int fd) {
            if (FlushHookIo::SizeOf(fd) == clipSize(2))
                return EIO;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return FlushHookIo::SystemFlush(fd);
        });
        RecordingUi ui;
        platform::RunRecord run;
        run.PlaceLater();
        const RunOutcome outcome = runOver(sources, function, to, ui, io, run);

        // Handed on in order; settled as far as the failure, the rest dropped.
        ASSERT_GE(outcome.settled.size(), 3u);
        EXPECT_EQ(outcome.settled[0], FileOpResult::Done);
        EXPECT_EQ(outcome.settled[1], FileOpResult::Done);
        EXPECT_EQ(outcome.settled[2], FileOpResult::Failed);
        for (std::size_t i = 3; i < outcome.settled.size(); ++i)
            EXPECT_EQ(outcome.settled[i], FileOpResult::Cancelled) << i;
        // A file that starts once the failure is known does nothing.
        if (outcome.calls.back() != FileOpResult::Pending) {
            EXPECT_EQ(outcome.calls.back(), FileOpResult::Cancelled);
        }
        ASSERT_EQ(ui.errors.size(), 1u);
        EXPECT_EQ(ui.errors[0], std::string(move ? "Cannot move" : "Cannot copy") +
                                    " clip2.omf:\nInput/output error");
        EXPECT_EQ(names(to), (std::vector<std::string>{"clip0.omf", "clip1.omf"}));
        for (int i = 0; i < 6; ++i) {
            const std::string& source = sources[static_cast<std::size_t>(i)];
            EXPECT_EQ(fs::exists(source), !move || i >= 2) << source;
            if (fs::exists(source)) {
                EXPECT_EQ(contents(source), bytes.at("clip" + std::to_string(i) + ".omf"));
            }
        }
    }
}

TEST(FileOperationPlacedLater, AFlushThatNeverReturnsEndsTheRunAtTheDeadlineUnderNoName) {
    TempDir dir;
    OtherVolume other;
    for (const FileFunction function : copyingFunctions(other)) {
        const auto [from, to, sources, bytes] = clipsFor(function, dir, other, 4);
        // The second file's flush hangs as on a volume that stopped
        // answering, until the test lets it go.
        auto stuck = std::make_shared<Gate>();
        FlushHookIo io([stuck](int fd) {
            if (FlushHookIo::SizeOf(fd) == clipSize(1))
                stuck->Wait(std::chrono::seconds(60));
            return FlushHookIo::SystemFlush(fd);
        });
        RecordingUi ui;
        platform::RunRecord run;
        run.PlaceLater({.deadline = std::chrono::seconds(1)});
        const auto start = std::chrono::steady_clock::now();
        const RunOutcome outcome = runOver(sources, function, to, ui, io, run);
        const auto waited = std::chrono::steady_clock::now() - start;

        EXPECT_LT(waited, std::chrono::seconds(8));
        ASSERT_GE(outcome.settled.size(), 2u);
        EXPECT_EQ(outcome.settled[0], FileOpResult::Done);
        EXPECT_EQ(outcome.settled[1], FileOpResult::Failed);
        for (std::size_t i = 2; i < outcome.settled.size(); ++i)
            EXPECT_EQ(outcome.settled[i], FileOpResult::Cancelled) << i;
        ASSERT_EQ(ui.errors.size(), 1u);
        EXPECT_NE(ui.errors[0].find("has not finished writing the copy"), std::string::npos)
            << ui.errors[0];
        EXPECT_NE(ui.errors[0].find("may have stopped answering"), std::string::npos);
        // The hung copy stays a temporary file, under no name of its own.
        const std::vector<std::string> left = names(to);
        EXPECT_EQ(std::count(left.begin(), left.end(), "clip0.omf"), 1);
        for (const std::string& name : left) {
            if (name != "clip0.omf") {
                EXPECT_TRUE(platform::IsTemporaryCopyName(name)) << name;
            }
        }
        EXPECT_FALSE(noTemporaries(to));
        // When the volume answers again the copy is removed, never placed,
        // and a move's source stays.
        stuck->Open();
        for (int i = 0; i < 1000 && !noTemporaries(to); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(names(to), std::vector<std::string>{"clip0.omf"});
        for (std::size_t i = 1; i < sources.size(); ++i)
            EXPECT_TRUE(fs::exists(sources[i])) << sources[i];
    }
}

TEST(FileOperationPlacedLater, QuestionsAndFilesOfAWaitingCopysNameComeAfterTheCopiesBefore) {
    TempDir dir;
    writeFile(dir.file("one/a.omf"), 3000, 1);
    writeFile(dir.file("one/b.omf"), 4000, 2);
    writeFile(dir.file("two/a.omf"), 5000, 3); // the same name as the first
    writeFile(dir.file("one/c.omf"), 6000, 4);
    writeFile(dir.file("dst/c.omf"), 10, 5); // to be replaced, after a question
    FlushHookIo io([](int fd) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        return FlushHookIo::SystemFlush(fd);
    });
    SnapshotUi ui(dir.file("dst"));
    ui.answers = {FileOpAnswer::Yes};
    platform::RunRecord run;
    run.PlaceLater();
    const RunOutcome outcome = runOver({dir.file("one/a.omf"), dir.file("one/b.omf"),
                                        dir.file("two/a.omf"), dir.file("one/c.omf")},
                                       FileFunction::Copy, dir.file("dst"), ui, io, run, kConfirm);

    // The second a.omf sees the first in place: not replaced, and said so
    // only once a.omf and b.omf are there.
    EXPECT_EQ(outcome.calls,
              (std::vector<FileOpResult>{FileOpResult::Pending, FileOpResult::Pending,
                                         FileOpResult::NotReplaced, FileOpResult::Pending}));
    EXPECT_EQ(outcome.settled, std::vector<FileOpResult>(3, FileOpResult::Done));
    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_NE(ui.errors[0].find("was written by this run"), std::string::npos);
    ASSERT_EQ(ui.asked.size(), 1u);
    EXPECT_EQ(ui.asked[0], dir.file("dst") + " already has a file named c.omf. Replace it?");
    const std::vector<std::string> before{"a.omf", "b.omf", "c.omf"};
    EXPECT_EQ(ui.seen, (std::vector<std::vector<std::string>>{before, before}));
    EXPECT_EQ(contents(dir.file("dst/a.omf")), contents(dir.file("one/a.omf")));
    EXPECT_EQ(contents(dir.file("dst/c.omf")), contents(dir.file("one/c.omf")));
    EXPECT_EQ(names(dir.file("dst")), before);
}

TEST(FileOperationPlacedLater, AMoveThatRenamesWaitsForTheCopiesBeforeIt) {
    TempDir dir;
    OtherVolume other;
    if (!other.usable())
        GTEST_SKIP() << "no memory file system for a move to another volume";
    // The first file comes from another volume and is copied, and its flush
    // fails; the second lies on the target's volume and would be renamed.
    writeFile(other.path() + "/far.omf", 5000, 1);
    writeFile(dir.file("near/near.omf"), 6000, 2);
    fs::create_directories(dir.file("dst"));
    FlushHookIo io([](int) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        return EIO;
    });
    RecordingUi ui;
    platform::RunRecord run;
    run.PlaceLater();
    const RunOutcome outcome = runOver({other.path() + "/far.omf", dir.file("near/near.omf")},
                                       FileFunction::Move, dir.file("dst"), ui, io, run);
    EXPECT_EQ(outcome.calls,
              (std::vector<FileOpResult>{FileOpResult::Pending, FileOpResult::Cancelled}));
    EXPECT_EQ(outcome.settled, std::vector<FileOpResult>{FileOpResult::Failed});
    EXPECT_EQ(ui.errors, std::vector<std::string>{"Cannot move far.omf:\nInput/output error"});
    EXPECT_TRUE(fs::exists(other.path() + "/far.omf"));
    EXPECT_TRUE(fs::exists(dir.file("near/near.omf")));
    EXPECT_TRUE(names(dir.file("dst")).empty());
}

TEST(FileOperationOnRealVolumes, ARunOntoAFullVolumeSaysSoOnceTheFilesBeforeArePlaced) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for a mount namespace with a small tmpfs volume";
    TempDir dir;
    const int status = inChild([&] {
        if (!ownMountNamespace())
            return 77;
        const std::string small = dir.file("small");
        if (!mountSmall(small, "1m"))
            return 77;
        std::vector<std::string> sources;
        for (int i = 0; i < 5; ++i) {
            sources.push_back(dir.file("src/clip" + std::to_string(i) + ".omf"));
            writeFile(sources.back(), 300u << 10, static_cast<unsigned>(i));
        }
        SnapshotUi ui(small);
        platform::RunRecord run;
        run.PlaceLater();
        const RunOutcome outcome =
            runOver(sources, FileFunction::Copy, small, ui, platform::SystemCopyIo(), run);
        const std::vector<std::string> placed{"clip0.omf", "clip1.omf", "clip2.omf"};
        CHILD_CHECK(outcome.calls.size() == 4);
        CHILD_CHECK(outcome.calls.back() == FileOpResult::Failed);
        CHILD_CHECK(outcome.settled == std::vector<FileOpResult>(3, FileOpResult::Done));
        CHILD_CHECK(ui.errors ==
                    std::vector<std::string>{"Cannot copy clip3.omf:\nNo space left on device"});
        CHILD_CHECK(ui.seen == std::vector<std::vector<std::string>>{placed});
        CHILD_CHECK(names(small) == placed);
        for (int i = 0; i < 3; ++i)
            CHILD_CHECK(contents(small + "/clip" + std::to_string(i) + ".omf") ==
                        contents(sources[static_cast<std::size_t>(i)]));
        return 0;
    });
    EXPECT_CHILD_PASSED(status, "no mount namespace or tmpfs here");
}

} // namespace
