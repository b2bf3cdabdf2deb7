#include "platform/fileoperation.h"

#include "platform/directory.h"
#include "platform/paths.h"
#include "platform/systemtext.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

// A copy is written under this hidden name until it is complete.
constexpr char kTemporaryPrefix[] = ".tolvane-copy-";
// Bytes handed to one transfer; progress is reported after each.
constexpr std::size_t kTransferSize = 8u << 20;
constexpr std::size_t kBufferSize = 1u << 20;

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The template of a temporary copy's name in folder, for mkostemp.
std::string temporaryTemplate(const std::string& folder) {
    return JoinPath(folder, std::string(kTemporaryPrefix) + std::to_string(::getpid()) + "@" +
                                HostName() + "-XXXXXX");
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }
    // Hands the descriptor on: it is no longer closed here.
    int Release() { return std::exchange(m_fd, -1); }
    // Closes now; the errno of a failed close, else 0.
    int Close() {
        if (m_fd < 0)
            return 0;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether the file is as it was: a rewrite in place that puts the size and
// the modification time back still moves the change time.
bool unchanged(const struct stat& before, const struct stat& after) {
    return sameFile(before, after) && before.st_size == after.st_size &&
           sameTime(before.st_mtim, after.st_mtim) && sameTime(before.st_ctim, after.st_ctim);
}

// Whether path still names the file that was checked (never following a
// link at its end).
bool stillNames(const std::string& path, const struct stat& expected) {
    struct stat now {};
    return ::lstat(path.c_str(), &now) == 0 && sameFile(now, expected);
}

// Renames from onto to only while to does not exist.
int renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: a hard link cannot replace either.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    // Nor hard links: the narrowest check there is.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0)
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Answers No to every question and drops every error: for callers without
// a window.
class Unheard final : public FileOpUi {
public:
    FileOpAnswer confirm(const std::string&, const std::string&) override {
        return FileOpAnswer::No;
    }
    void showError(const std::string&, const std::string&) override {}
};

// The words of one function's messages.
struct Wording {
    const char* verb;
    const char* caption;
};

Wording wordingOf(FileFunction function) {
    switch (function) {
    case FileFunction::Copy:
        return {"copy", "Error Copying File"};
    case FileFunction::Move:
        return {"move", "Error Moving File"};
    case FileFunction::Delete:
        break;
    }
    return {"delete", "Error Deleting File"};
}

std::string failureText(FileFunction function, const std::string& name, const std::string& why) {
    return std::string("Cannot ") + wordingOf(function).verb + " " + name + ":\n" + why;
}

FileOpResult fail(FileOpUi& ui, const FileOpFlags& flags, FileFunction function,
                  const std::string& name, const std::string& why,
                  FileOpResult result = FileOpResult::Failed) {
    if (flags.showErrors)
        ui.showError(failureText(function, name, why), wordingOf(function).caption);
    return result;
}

FileOpResult failErrno(FileOpUi& ui, const FileOpFlags& flags, FileFunction function,
                       const std::string& name, int error) {
    return fail(ui, flags, function, name, SystemErrorText(error));
}

// Asks whether an existing file of the target's name may be replaced.
bool mayReplace(FileOpUi& ui, const FileOpFlags& flags, const std::string& targetFolder,
                const std::string& name) {
    if (!flags.ask)
        return true;
    return ui.confirm(targetFolder + " already has a file named " + name + ". Replace it?",
                      "Confirm File Replace") == FileOpAnswer::Yes;
}

// What the target of a copy or move is: nothing, a file the user may
// replace, or a reason to stop.
enum class TargetCheck { Free, Replace, SameFile, NotAFile, Error };

// existing receives what the target's name holds (lstat), to be checked
// again right before it is replaced.
TargetCheck checkTarget(const std::string& target, const struct stat& source, struct stat& existing,
                        int& error) {
    if (::lstat(target.c_str(), &existing) != 0) {
        error = errno;
        return error == ENOENT ? TargetCheck::Free : TargetCheck::Error;
    }
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && sameFile(st, source))
        return TargetCheck::SameFile;
    if (!S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode))
        return TargetCheck::NotAFile;
    return TargetCheck::Replace;
}

// What a copy or move found out about its source and target before it
// changes anything.
struct Plan {
    FileFunction function;
    std::string source;
    std::string name;
    std::string targetFolder;
    std::string target;
    struct stat entry {};   // the source's own entry (a link stays a link)
    struct stat content {}; // the file that is read
    bool replace = false;
    struct stat replaced {}; // the target the user agreed to replace
};

// Puts the written file in place of the target: only onto the file that was
// checked and agreed to, or onto no file at all.
int placeOnto(const std::string& written, const Plan& plan) {
    if (!plan.replace)
        return renameNoReplace(written, plan.target);
    if (!stillNames(plan.target, plan.replaced))
        return EEXIST;
    return ::rename(written.c_str(), plan.target.c_str()) == 0 ? 0 : errno;
}

// Why a written file could not be put in place.
std::string whyNotPlaced(const Plan& plan, int error) {
    if (error == EEXIST)
        return plan.target + " changed while the file was copied; it is not replaced.";
    return SystemErrorText(error);
}

FileOpResult failPlacing(FileOpUi& ui, const FileOpFlags& flags, const Plan& plan, int error) {
    return fail(ui, flags, plan.function, plan.name, whyNotPlaced(plan, error));
}

// Starts writing the bytes just copied to the disk, so that the flush
// later finds less to do; it waits for nothing. Its failures are no answer:
// a write that fails is still reported by the flush, because starting the
// writeback alone does not consume the file's write error.
void startWriteback(int fd, std::uint64_t offset, std::uint64_t length) {
    ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(length),
                      SYNC_FILE_RANGE_WRITE);
}

// After a move's copy is in place the source goes, and only while its path
// still names the very file that was copied (through a second mount of the
// same storage the copy may have taken its place). Empty when it is gone,
// else why it stays.
std::string removeMovedSource(const Plan& plan) {
    struct stat written {};
    struct stat now {};
    if (::stat(plan.target.c_str(), &written) != 0 || written.st_size != plan.content.st_size)
        return "The copy in " + plan.targetFolder + " is not complete; the file stays where it is.";
    if (!stillNames(plan.source, plan.entry) || ::stat(plan.source.c_str(), &now) != 0 ||
        !unchanged(plan.content, now))
        return "It was copied to " + plan.targetFolder + ", but " + plan.source +
               " is no longer the file that was copied; it is not removed.";
    if (::unlink(plan.source.c_str()) != 0)
        return "It was copied to " + plan.targetFolder +
               " but could not be removed: " + SystemErrorText(errno);
    return {};
}

// The owner, the group and the permissions of a copy: kept where this
// process may give them (root), else the copy is the user's own and loses
// set-user-id and set-group-id, as cp does. A volume that keeps no
// permissions (FAT, exFAT, some shares) refuses them: the copy then has what
// the volume gives every file, which is no reason to fail it.
int keepOwnerAndMode(int fd, const struct stat& source) {
    mode_t mode = source.st_mode & 07777;
    if (::geteuid() != 0 || ::fchown(fd, source.st_uid, source.st_gid) != 0)
        mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
    if (::fchmod(fd, mode) == 0 || errno == EPERM || errno == EOPNOTSUPP)
        return 0;
    return errno;
}

// Placing later. A copy written in full is handed to the run's flushers with
// its descriptor still open; the run goes on with the next file. Sound
// because of four rules:
//  - A flusher puts a copy under its name only after Flush returned 0 for
//    its descriptor: no name ever holds bytes that are not on the disk. A
//    move's source is removed only after that placement.
//  - Copies are placed one at a time, in the order they were written, and
//    once one fails none written after it is placed (their temporary files
//    are removed): what a run leaves is what it would have left had it
//    waited for each flush in line and stopped at the failure.
//  - The run never goes past a copy whose outcome it does not know where
//    that outcome could matter: a question, an error, the rename of a move,
//    or a file whose name a waiting copy will take wait until every copy
//    before them is placed (InOrderUi, Placer::Take).
//  - Every system call on a handed copy (flush, close, rename, removal) is
//    made by a flusher, never by the run's own thread, which only waits on
//    a condition with a deadline: a volume that stops answering holds
//    flushers, never the program.

// Bytes a second below which a volume is taken to have stopped answering:
// a flush is given the run's deadline and a second for each MiB it has to
// write.
constexpr std::uint64_t kSlowestWrite = 1u << 20;

using Clock = std::chrono::steady_clock;

// A copy written in full that waits for its flush and its placement.
struct WrittenCopy {
    enum class Step { Written, Flushing, Flushed, Placing, Settled };

    Plan plan;
    FileOpFlags flags;
    std::string temporary;
    int fd = -1;          // the flusher closes it
    struct stat file {};  // the copy as it was written
    CopyIo* io = nullptr; // outlives the run's flushes
    Step step = Step::Written;
    int flushError = 0;
    // The run gave up waiting for it: nothing more is done for it but the
    // removal of its temporary file, and its outcome is the run's.
    bool abandoned = false;
    // Taken by the run (which alone reads and sets this).
    bool taken = false;
    FileOpResult result = FileOpResult::Cancelled;
    std::string why;

    bool settled() const { return step == Step::Settled || abandoned; }
};

// What the run and its flushers share. Flushers hold it while they run,
// which after the run gave up on a volume may be longer than the run.
struct FlushQueue {
    std::mutex mutex;
    // New work for the flushers (a copy handed on, given up, the end).
    std::condition_variable work;
    // A copy settled, for the run (a flusher that flushes one goes on to
    // place it itself).
    std::condition_variable settled;
    // In the order written, until the run has taken their outcome.
    std::deque<std::shared_ptr<WrittenCopy>> copies;
    bool placing = false; // one flusher places at a time
    bool stopped = false; // a copy failed or was given up: no later one is placed
    bool closing = false; // the run is over: idle flushers end
    Clock::time_point lastFinished = Clock::now();
};

// The oldest copy whose flush nobody has started.
std::shared_ptr<WrittenCopy> nextToFlush(const FlushQueue& queue) {
    for (const auto& copy : queue.copies) {
        if (copy->step == WrittenCopy::Step::Written)
            return copy;
    }
    return nullptr;
}

// The copy to place now: the oldest one not settled, once it is flushed.
// Copies the run gave up on hold up no others (all after them are given up
// too); they still come here to have their temporary files removed.
std::shared_ptr<WrittenCopy> nextToPlace(const FlushQueue& queue) {
    if (queue.placing)
        return nullptr;
    for (const auto& copy : queue.copies) {
        if (copy->step == WrittenCopy::Step::Settled)
            continue;
        if (copy->step == WrittenCopy::Step::Flushed)
            return copy;
        if (!copy->abandoned)
            return nullptr;
    }
    return nullptr;
}

struct Placement {
    FileOpResult result;
    std::string why;
};

// Puts a flushed copy in place, or removes it when it is dropped or its
// flush failed; a move's source then goes. wanted says whether the run
// still waits for it, asked right before each step that cannot be undone.
template <class Wanted>
Placement placeFlushed(const WrittenCopy& copy, bool drop, const Wanted& wanted) {
    const Plan& plan = copy.plan;
    if (drop || copy.flushError != 0 || !wanted()) {
        ::unlink(copy.temporary.c_str());
        if (drop || copy.flushError == 0)
            return {FileOpResult::Cancelled, {}};
        return {FileOpResult::Failed, SystemErrorText(copy.flushError)};
    }
    if (const int placed = placeOnto(copy.temporary, plan); placed != 0) {
        ::unlink(copy.temporary.c_str());
        return {FileOpResult::Failed, whyNotPlaced(plan, placed)};
    }
    if (plan.function != FileFunction::Move)
        return {FileOpResult::Done, {}};
    if (!wanted())
        return {FileOpResult::Cancelled, {}};
    std::string why = removeMovedSource(plan);
    if (!why.empty())
        return {FileOpResult::Failed, std::move(why)};
    return {FileOpResult::Done, {}};
}

// One flusher: places what is flushed, in order, else flushes the oldest
// copy nobody flushes yet, until the run is over and nothing is left.
void runFlusher(const std::shared_ptr<FlushQueue>& queue) {
    std::unique_lock lock(queue->mutex);
    for (;;) {
        // Placing first: it makes room for the run.
        if (const std::shared_ptr<WrittenCopy> copy = nextToPlace(*queue)) {
            queue->placing = true;
            copy->step = WrittenCopy::Step::Placing;
            const bool drop = queue->stopped || copy->abandoned;
            lock.unlock();
            const Placement placed = placeFlushed(*copy, drop, [&] {
                const std::lock_guard check(queue->mutex);
                return !copy->abandoned;
            });
            lock.lock();
            queue->placing = false;
            copy->step = WrittenCopy::Step::Settled;
            if (!copy->abandoned) {
                copy->result = placed.result;
                copy->why = placed.why;
                if (placed.result != FileOpResult::Done)
                    queue->stopped = true;
            }
            queue->lastFinished = Clock::now();
            queue->settled.notify_one();
            continue;
        }
        if (const std::shared_ptr<WrittenCopy> copy = nextToFlush(*queue)) {
            copy->step = WrittenCopy::Step::Flushing;
            const bool drop = queue->stopped || copy->abandoned;
            const int fd = std::exchange(copy->fd, -1);
            lock.unlock();
            const int flushed = drop ? 0 : copy->io->Flush(fd);
            // Some volumes (network shares) report a failed write only when
            // the file is closed.
            const int closed = ::close(fd) == 0 ? 0 : errno;
            lock.lock();
            copy->flushError = flushed != 0 ? flushed : closed;
            copy->step = WrittenCopy::Step::Flushed;
            queue->lastFinished = Clock::now();
            continue;
        }
        if (queue->closing)
            return;
        queue->work.wait(lock);
    }
}

// Why the run gave up on a copy.
std::string whyGivenUp(const WrittenCopy& copy, Clock::duration waited) {
    const Plan& plan = copy.plan;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(waited).count();
    const std::string stays =
        plan.function == FileFunction::Move ? " " + plan.source + " stays where it is." : "";
    if (copy.step == WrittenCopy::Step::Placing)
        return plan.targetFolder + " stopped answering while the copy was put under its name; " +
               "it may be there or not." + stays;
    return plan.targetFolder + " has not finished writing the copy for " + std::to_string(seconds) +
           " seconds and may have stopped answering. The copy is not put under its name; it "
           "stays the temporary file " +
           nameOf(copy.temporary) + " until the volume answers." + stays;
}

// The key of a file name that a waiting copy takes: without case, for
// volumes that hold names without it.
std::string nameKey(std::string name) {
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

} // namespace

class RunRecord::Placer {
public:
    enum class Wait { No, Room, All };

    Placer(RunRecord& record, const PlacingOptions& options)
        : m_record(record), m_options(options), m_queue(std::make_shared<FlushQueue>()) {}
    ~Placer() {
        {
            const std::lock_guard lock(m_queue->mutex);
            m_queue->closing = true;
        }
        m_queue->work.notify_all();
    }
    Placer(const Placer&) = delete;
    Placer& operator=(const Placer&) = delete;

    // Hands a copy written in full to the flushers, which close fd. False,
    // with fd still the caller's, when no flusher can be started.
    bool Hand(const Plan& plan, const FileOpFlags& flags, const std::string& temporary, int fd,
              const struct stat& file, CopyIo& io);
    // Takes the outcomes of copies that are settled, saying failures through
    // ui; with Room first waits until the run may write another copy, with
    // All until every copy is settled. False once a copy failed: the run
    // starts nothing more.
    bool Take(FileOpUi& ui, Wait wait);
    bool Waiting(const std::string& name) const { return m_names.count(nameKey(name)) != 0; }
    // Whether no copy waits.
    bool Idle() const { return m_names.empty(); }
    std::vector<FileOpResult> Outcomes(std::vector<std::string>* messages) {
        if (messages != nullptr)
            *messages = std::exchange(m_messages, {});
        else
            m_messages.clear();
        return std::exchange(m_outcomes, {});
    }

private:
    RunRecord& m_record;
    PlacingOptions m_options;
    std::shared_ptr<FlushQueue> m_queue;
    int m_flushers = 0;
    std::multiset<std::string> m_names; // of copies not yet taken
    std::vector<FileOpResult> m_outcomes;
    std::vector<std::string> m_messages; // said of each outcome
    bool m_stopped = false;
};

bool RunRecord::Placer::Hand(const Plan& plan, const FileOpFlags& flags,
                             const std::string& temporary, int fd, const struct stat& file,
                             CopyIo& io) {
    if (m_flushers < std::max(1, m_options.flushers)) {
        try {
            std::thread(runFlusher, m_queue).detach();
            ++m_flushers;
        } catch (const std::system_error&) {
            if (m_flushers == 0)
                return false;
        }
    }
    auto copy = std::make_shared<WrittenCopy>();
    copy->plan = plan;
    copy->flags = flags;
    copy->temporary = temporary;
    copy->fd = fd;
    copy->file = file;
    copy->io = &io;
    m_names.insert(nameKey(plan.name));
    {
        const std::lock_guard lock(m_queue->mutex);
        // The deadline counts from the moment the flushers have work.
        if (std::all_of(m_queue->copies.begin(), m_queue->copies.end(),
                        [](const auto& c) { return c->settled(); }))
            m_queue->lastFinished = Clock::now();
        m_queue->copies.push_back(std::move(copy));
    }
    m_queue->work.notify_one();
    return true;
}

bool RunRecord::Placer::Take(FileOpUi& ui, Wait wait) {
    std::vector<std::shared_ptr<WrittenCopy>> taken;
    {
        std::unique_lock lock(m_queue->mutex);
        FlushQueue& queue = *m_queue;
        for (;;) {
            std::size_t open = 0;
            std::uint64_t openBytes = 0;
            std::uint64_t unflushed = 0;
            bool failed = m_stopped;
            for (const auto& copy : queue.copies) {
                const auto size = static_cast<std::uint64_t>(copy->file.st_size);
                if (!copy->settled()) {
                    ++open;
                    openBytes += size;
                    if (copy->step <= WrittenCopy::Step::Flushing)
                        unflushed += size;
                } else if (open == 0 && !copy->taken) {
                    // In order: none after a copy still open.
                    copy->taken = true;
                    failed = failed || copy->result == FileOpResult::Failed;
                    taken.push_back(copy);
                }
            }
            while (!queue.copies.empty() && queue.copies.front()->taken &&
                   queue.copies.front()->step == WrittenCopy::Step::Settled)
                queue.copies.pop_front();
            const bool room =
                failed || (open < m_options.files && (open == 0 || openBytes < m_options.bytes));
            if (open == 0 || wait == Wait::No || (wait == Wait::Room && room))
                break;
            const Clock::time_point limit =
                queue.lastFinished + m_options.deadline +
                std::chrono::milliseconds(
                    static_cast<std::chrono::milliseconds::rep>(unflushed * 1000 / kSlowestWrite));
            if (Clock::now() < limit) {
                queue.settled.wait_until(lock, limit);
                continue;
            }
            // No flush finished in time: the volume stopped answering. The
            // oldest copy fails (unless one failed before), the others are
            // dropped; whatever their flushers do when they return, none is
            // placed.
            const Clock::duration waited = Clock::now() - queue.lastFinished;
            bool first = !queue.stopped;
            for (const auto& copy : queue.copies) {
                if (copy->settled())
                    continue;
                copy->abandoned = true;
                copy->result = first ? FileOpResult::Failed : FileOpResult::Cancelled;
                if (first)
                    copy->why = whyGivenUp(*copy, waited);
                first = false;
            }
            queue.stopped = true;
            queue.work.notify_all();
        }
    }
    for (const auto& copy : taken) {
        m_names.erase(m_names.find(nameKey(copy->plan.name)));
        std::string said;
        if (copy->result == FileOpResult::Done) {
            m_record.AddWritten(copy->plan.target, copy->file);
        } else if (copy->result == FileOpResult::Failed) {
            m_stopped = true;
            if (copy->flags.showErrors)
                said = failureText(copy->plan.function, copy->plan.name, copy->why);
            fail(ui, copy->flags, copy->plan.function, copy->plan.name, copy->why);
        }
        m_outcomes.push_back(copy->result);
        m_messages.push_back(std::move(said));
    }
    return !m_stopped;
}

namespace {

// The questions and errors of one file of a run that places its files
// later: they wait until every file before it is in place, so that they come
// in the order of the files, and none comes once a file before it failed
// (its error is said instead, and the file at hand does nothing more).
class InOrderUi final : public FileOpUi {
public:
    InOrderUi(FileOpUi& ui, RunRecord::Placer& placer) : m_ui(ui), m_placer(placer) {}
    FileOpAnswer confirm(const std::string& text, const std::string& caption) override {
        return Ready() ? m_ui.confirm(text, caption) : FileOpAnswer::Cancel;
    }
    void showError(const std::string& text, const std::string& caption) override {
        if (Ready())
            m_ui.showError(text, caption);
    }
    bool progress(std::uint64_t done, std::uint64_t total) override {
        return m_ui.progress(done, total);
    }
    // Whether files before it still wait.
    bool Behind() const { return !m_placer.Idle(); }
    // Waits for the files before; false when one of them failed.
    bool Ready() {
        if (!m_stopped && !m_placer.Take(m_ui, RunRecord::Placer::Wait::All))
            m_stopped = true;
        return !m_stopped;
    }
    bool Stopped() const { return m_stopped; }

private:
    FileOpUi& m_ui;
    RunRecord::Placer& m_placer;
    bool m_stopped = false;
};

// Copies the open source into a hidden temporary file in the target's
// folder and puts it in place of the target when it is complete, flushed
// and has the source's owner, permissions and modification time. In a run
// that places its files later the complete file is handed to the run's
// flushers instead (Pending).
FileOpResult copyInto(const Plan& plan, int sourceFd, const FileOpFlags& flags, FileOpUi& ui,
                      CopyIo& io, RunRecord* run) {
    const std::string& name = plan.name;
    if (run == nullptr || run->FirstVisit(plan.targetFolder))
        RemoveStaleCopies(plan.targetFolder);
    std::string temporary = temporaryTemplate(plan.targetFolder);
    Descriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (out.Get() < 0)
        return failErrno(ui, flags, plan.function, name, errno);
    auto discard = [&] {
        out.Close();
        ::unlink(temporary.c_str());
    };
    // The target folder may be the source's own folder seen through another
    // mount of the same storage, where device and inode numbers differ: the
    // new name then shows up beside the source, and the copy would replace
    // the source itself.
    if (plan.replace) {
        struct stat beside {};
        const std::string besideSource = JoinPath(FolderOf(plan.source), nameOf(temporary));
        if (::lstat(besideSource.c_str(), &beside) == 0) {
            discard();
            return fail(ui, flags, plan.function, name,
                        "The source and the target are the same file.");
        }
    }
    const auto total = static_cast<std::uint64_t>(plan.content.st_size);
    std::uint64_t done = 0;
    for (;;) {
        const ssize_t n = io.Transfer(sourceFd, out.Get(), kTransferSize);
        if (n < 0) {
            const int error = errno;
            discard();
            return failErrno(ui, flags, plan.function, name, error);
        }
        if (n == 0)
            break;
        // The disk writes a large file while the rest of it is copied; a
        // file of one transfer is left to its flush.
        if (total > kTransferSize)
            startWriteback(out.Get(), done, static_cast<std::uint64_t>(n));
        done += static_cast<std::uint64_t>(n);
        if (!ui.progress(done, total)) {
            discard();
            return FileOpResult::Cancelled;
        }
    }
    // The source must still be the file that was opened, whole and as it
    // was: a file that shrank, grew, was rewritten or replaced meanwhile is
    // no copy.
    struct stat after {};
    if (done != total || ::stat(plan.source.c_str(), &after) != 0 ||
        !unchanged(plan.content, after)) {
        discard();
        return fail(ui, flags, plan.function, name, "The file changed while it was copied.");
    }
    const struct timespec times[2] = {plan.content.st_atim, plan.content.st_mtim};
    int error = keepOwnerAndMode(out.Get(), plan.content);
    if (error == 0 && ::futimens(out.Get(), times) != 0)
        error = errno;
    struct stat written {};
    if (error == 0 && ::fstat(out.Get(), &written) != 0)
        error = errno;
    RunRecord::Placer* placer = run != nullptr ? run->placer() : nullptr;
    if (error == 0 && placer != nullptr &&
        placer->Hand(plan, flags, temporary, out.Get(), written, io)) {
        out.Release();
        return FileOpResult::Pending;
    }
    if (error == 0)
        error = io.Flush(out.Get());
    if (error == 0)
        error = out.Close();
    if (error != 0) {
        discard();
        return failErrno(ui, flags, plan.function, name, error);
    }
    if (const int placed = placeOnto(temporary, plan); placed != 0) {
        ::unlink(temporary.c_str());
        return failPlacing(ui, flags, plan, placed);
    }
    if (run != nullptr)
        run->AddWritten(plan.target, written);
    return FileOpResult::Done;
}

// Whether the link at plan.source, read from the target's folder, leads to
// the file it leads to now (a relative link may lead elsewhere there, or
// nowhere).
bool linkLeadsThereToo(const Plan& plan) {
    std::string text(PATH_MAX, '\0');
    const ssize_t n = ::readlink(plan.source.c_str(), text.data(), text.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= text.size())
        return false;
    text.resize(static_cast<std::size_t>(n));
    const std::string from = text.front() == '/' ? text : JoinPath(plan.targetFolder, text);
    struct stat led {};
    return ::stat(from.c_str(), &led) == 0 && sameFile(led, plan.content);
}

// Whether renaming the source into the target's folder may succeed: not
// when the two lie on different mounts, which rename refuses (EXDEV).
bool mayRename(const Plan& plan) {
    struct statx source {};
    struct statx folder {};
    return ::statx(AT_FDCWD, plan.source.c_str(), AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &source) !=
               0 ||
           ::statx(AT_FDCWD, plan.targetFolder.c_str(), 0, STATX_MNT_ID, &folder) != 0 ||
           (source.stx_mask & folder.stx_mask & STATX_MNT_ID) == 0 ||
           source.stx_mnt_id == folder.stx_mnt_id;
}

// ordered is the file's InOrderUi in a run that places its files later,
// else null.
FileOpResult moveOnto(const Plan& plan, int sourceFd, const FileOpFlags& flags, FileOpUi& ui,
                      CopyIo& io, RunRecord* run, InOrderUi* ordered) {
    // On one volume a rename, which moves a link as the link it is; a link
    // that would lead elsewhere from the target's folder moves its content,
    // as across volumes, and is never renamed onto a file it would then
    // have replaced for nothing.
    if (!stillNames(plan.source, plan.entry))
        return fail(ui, flags, plan.function, plan.name, "The file changed before it was moved.");
    const bool link = S_ISLNK(plan.entry.st_mode);
    // A link is never renamed onto a file it replaces: through a second
    // mount of the same storage that file may be the very one it leads to.
    const bool rename = !link || (!plan.replace && linkLeadsThereToo(plan));
    // A rename is not undone: the files before it go first. Between two
    // mounts it fails and changes nothing, so a move to another volume
    // waits for nobody.
    if (rename && ordered != nullptr && ordered->Behind() && mayRename(plan) && !ordered->Ready())
        return FileOpResult::Cancelled;
    int renamed = rename ? placeOnto(plan.source, plan) : EXDEV;
    // Checked again after the rename: should the link have come to lead
    // elsewhere meanwhile, it is put back.
    struct stat led {};
    if (renamed == 0 && link &&
        (::stat(plan.target.c_str(), &led) != 0 || !sameFile(led, plan.content))) {
        if (renameNoReplace(plan.target, plan.source) != 0)
            return fail(ui, flags, plan.function, plan.name,
                        "The link was moved to " + plan.targetFolder +
                            " but no longer leads to its file there.");
        renamed = EXDEV;
    }
    if (renamed == 0) {
        if (run != nullptr)
            run->AddWritten(plan.target, plan.entry);
        return FileOpResult::Done;
    }
    if (renamed != EXDEV)
        return failPlacing(ui, flags, plan, renamed);
    // Another file system: a copy, checked, and only then the source goes
    // (in a run that places its files later, the flusher that placed the
    // copy removes it).
    const FileOpResult copied = copyInto(plan, sourceFd, flags, ui, io, run);
    if (copied != FileOpResult::Done)
        return copied;
    const std::string kept = removeMovedSource(plan);
    if (!kept.empty())
        return fail(ui, flags, plan.function, plan.name, kept);
    return FileOpResult::Done;
}

FileOpResult copyOrMoveNow(FileFunction function, const std::string& source,
                           const std::string& targetFolder, const FileOpFlags& flags, FileOpUi& ui,
                           CopyIo& io, RunRecord* run, InOrderUi* ordered) {
    Plan plan;
    plan.function = function;
    plan.source = source;
    plan.name = nameOf(source);
    plan.targetFolder = targetFolder;
    plan.target = JoinPath(targetFolder, plan.name);
    const std::string& name = plan.name;
    if (!FitsPathLimit(plan.target.size()))
        return fail(ui, flags, function, name, "The target path is too long: " + plan.target);
    if (::lstat(source.c_str(), &plan.entry) != 0)
        return failErrno(ui, flags, function, name, errno);
    const bool link = S_ISLNK(plan.entry.st_mode);
    Descriptor in(
        ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (link ? 0 : O_NOFOLLOW)));
    if (in.Get() < 0)
        return failErrno(ui, flags, function, name, errno);
    if (::fstat(in.Get(), &plan.content) != 0)
        return failErrno(ui, flags, function, name, errno);
    if (!S_ISREG(plan.content.st_mode))
        return fail(ui, flags, function, name, "It is not a file.");
    if (!link && !sameFile(plan.entry, plan.content))
        return fail(ui, flags, function, name, "The file changed while it was opened.");
    int error = 0;
    switch (checkTarget(plan.target, plan.content, plan.replaced, error)) {
    case TargetCheck::Free:
        break;
    case TargetCheck::Replace:
        if (run != nullptr && run->Wrote(plan.target, plan.replaced))
            return fail(ui, flags, function, name,
                        plan.target +
                            " was written by this run from another file of the same name; it is "
                            "not replaced, and " +
                            name + " stays where it is.",
                        FileOpResult::NotReplaced);
        if (!mayReplace(ui, flags, targetFolder, name))
            return FileOpResult::AbortedByUser;
        plan.replace = true;
        break;
    case TargetCheck::SameFile:
        return fail(ui, flags, function, name, "The source and the target are the same file.");
    case TargetCheck::NotAFile:
        return fail(ui, flags, function, name, plan.target + " exists and is not a file.");
    case TargetCheck::Error:
        return failErrno(ui, flags, function, name, error);
    }
    if (function == FileFunction::Copy)
        return copyInto(plan, in.Get(), flags, ui, io, run);
    return moveOnto(plan, in.Get(), flags, ui, io, run, ordered);
}

FileOpResult copyOrMove(FileFunction function, const std::string& source,
                        const std::string& targetFolder, const FileOpFlags& flags, FileOpUi& ui,
                        CopyIo& io, RunRecord* run) {
    RunRecord::Placer* placer = run != nullptr ? run->placer() : nullptr;
    if (placer == nullptr)
        return copyOrMoveNow(function, source, targetFolder, flags, ui, io, run, nullptr);
    // Room for one more copy. And a file whose name a waiting copy takes
    // must find that copy in place, as it would had the copy been placed at
    // once: the run then refuses to replace it, as a file it wrote itself.
    using Wait = RunRecord::Placer::Wait;
    if (!placer->Take(ui, Wait::Room) ||
        (placer->Waiting(nameOf(source)) && !placer->Take(ui, Wait::All)))
        return FileOpResult::Cancelled;
    InOrderUi ordered(ui, *placer);
    const FileOpResult result =
        copyOrMoveNow(function, source, targetFolder, flags, ordered, io, run, &ordered);
    return ordered.Stopped() ? FileOpResult::Cancelled : result;
}

bool makeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// Whether path is a folder of this user's, not a link to one: a trash
// folder that is anything else would put files where nobody looks.
bool ownFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

// A trash as the freedesktop.org trash rules lay it out.
struct Trash {
    std::string folder; // holds files/ and info/
    std::string top;    // the volume's top folder; empty for the home trash
    dev_t device = 0;
};

// Makes files/ and info/ in a trash folder; false when they are not this
// user's own folders.
bool prepareTrash(Trash& trash) {
    if (!ownFolder(trash.folder))
        return false;
    for (const char* part : {"/files", "/info"}) {
        makeFolder(trash.folder + part);
        if (!ownFolder(trash.folder + part))
            return false;
    }
    struct stat st {};
    if (::lstat((trash.folder + "/files").c_str(), &st) != 0)
        return false;
    trash.device = st.st_dev;
    return true;
}

// The user's trash ($XDG_DATA_HOME/Trash), made when missing.
std::optional<Trash> homeTrash() {
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
        base = data;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.local";
        makeFolder(base);
        base += "/share";
    } else {
        return std::nullopt;
    }
    makeFolder(base);
    Trash trash{base + "/Trash", {}, 0};
    makeFolder(trash.folder);
    if (!prepareTrash(trash))
        return std::nullopt;
    return trash;
}

// The top folder of the volume that holds path: the highest folder on the
// same device.
std::string volumeTop(const std::string& path, dev_t device) {
    std::string top = FolderOf(path);
    while (top != "/" && !top.empty()) {
        const std::string parent = FolderOf(top);
        struct stat st {};
        if (parent.empty() || ::stat(parent.c_str(), &st) != 0 || st.st_dev != device)
            break;
        top = parent;
    }
    return top;
}

// The trash of the volume that holds path: $top/.Trash/$uid where the
// administrator made a sticky $top/.Trash, else $top/.Trash-$uid.
std::optional<Trash> volumeTrash(const std::string& path, dev_t device) {
    const std::string top = volumeTop(path, device);
    const std::string uid = std::to_string(::getuid());
    const std::string shared = JoinPath(top, ".Trash");
    struct stat st {};
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        Trash trash{JoinPath(shared, uid), top, 0};
        makeFolder(trash.folder);
        if (prepareTrash(trash) && trash.device == device)
            return trash;
    }
    Trash trash{JoinPath(top, ".Trash-" + uid), top, 0};
    makeFolder(trash.folder);
    if (prepareTrash(trash) && trash.device == device)
        return trash;
    return std::nullopt;
}

// A path as a trash info file writes it: bytes other than letters, digits,
// "-._~/" as %XX.
std::string escapeTrashPath(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        const bool plain = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
                           (b >= '0' && b <= '9') || std::strchr("-._~/", c) != nullptr;
        if (plain && c != '\0') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(hex[b >> 4]);
            out.push_back(hex[b & 15]);
        }
    }
    return out;
}

// Moves the file (a link as the link) to the trash of its volume; false,
// and the file where it was, when no trash takes it or the path no longer
// names the file that was checked.
bool moveToTrash(const std::string& path, const struct stat& file) {
    std::optional<Trash> trash = homeTrash();
    if (!trash || trash->device != file.st_dev)
        trash = volumeTrash(path, file.st_dev);
    if (!trash)
        return false;
    std::string original = path;
    if (!trash->top.empty() && trash->top != "/" &&
        path.compare(0, trash->top.size() + 1, trash->top + "/") == 0)
        original = path.substr(trash->top.size() + 1);
    char date[32] = {};
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    ::localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const std::string info =
        "[Trash Info]\nPath=" + escapeTrashPath(original) + "\nDeletionDate=" + date + "\n";
    const std::string name = nameOf(path);
    for (int n = 1; n < 1000; ++n) {
        const std::string entry = n == 1 ? name : name + "." + std::to_string(n);
        const std::string infoPath = trash->folder + "/info/" + entry + ".trashinfo";
        Descriptor out(::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (out.Get() < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        const bool written =
            ::write(out.Get(), info.data(), info.size()) == static_cast<ssize_t>(info.size()) &&
            out.Close() == 0;
        const std::string trashed = trash->folder + "/files/" + entry;
        if (!written || !stillNames(path, file)) {
            ::unlink(infoPath.c_str());
            return false;
        }
        const int moved = renameNoReplace(path, trashed);
        if (moved == 0)
            return true;
        ::unlink(infoPath.c_str());
        if (moved != EEXIST)
            return false;
    }
    return false;
}

FileOpResult deleteOne(const std::string& path, const FileOpFlags& flags, FileOpUi& ui) {
    const std::string name = nameOf(path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return failErrno(ui, flags, FileFunction::Delete, name, errno);
    if (flags.toTrash) {
        if (flags.ask && ui.confirm("Move " + name + " to the Trash?", "Confirm File Delete") !=
                             FileOpAnswer::Yes)
            return FileOpResult::AbortedByUser;
        if (moveToTrash(path, st))
            return FileOpResult::Done;
        if (!stillNames(path, st))
            return fail(ui, flags, FileFunction::Delete, name,
                        "The file changed before it was deleted.");
        // Losing the undo is the user's decision, whatever the flags say.
        if (ui.confirm(name + kPermanentDeleteQuestion, "Confirm File Delete") != FileOpAnswer::Yes)
            return FileOpResult::AbortedByUser;
    } else if (flags.ask &&
               ui.confirm("Are you sure you want to permanently delete '" + name + "'?",
                          "Confirm File Delete") != FileOpAnswer::Yes) {
        return FileOpResult::AbortedByUser;
    }
    // The answer may have taken a while: the path must still name the file
    // the question was about.
    if (!stillNames(path, st))
        return fail(ui, flags, FileFunction::Delete, name,
                    "The file changed before it was deleted.");
    int result = 0;
    if (S_ISDIR(st.st_mode)) {
        if (!flags.recurse) {
            result = ::rmdir(path.c_str());
        } else {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
            result = ec ? -1 : 0;
            errno = ec.value();
        }
    } else {
        result = ::unlink(path.c_str());
    }
    if (result != 0)
        return failErrno(ui, flags, FileFunction::Delete, name, errno);
    return FileOpResult::Done;
}

} // namespace

int CopyIo::Flush(int fd) {
    return ::fsync(fd) == 0 ? 0 : errno;
}

ssize_t CopyIo::Transfer(int in, int out, std::size_t count) {
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, count, 0);
    if (n >= 0 || (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP &&
                   errno != EPERM))
        return n;
    // The kernel cannot copy between these two: through a buffer instead.
    static thread_local std::vector<char> buffer(kBufferSize);
    const ssize_t got = ::read(in, buffer.data(), std::min(count, buffer.size()));
    if (got <= 0)
        return got;
    for (ssize_t written = 0; written < got;) {
        const ssize_t w =
            ::write(out, buffer.data() + written, static_cast<std::size_t>(got - written));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        written += w;
    }
    return got;
}

CopyIo& SystemCopyIo() {
    static CopyIo io;
    return io;
}

bool IsTemporaryCopyName(const std::string& name) {
    return name.rfind(kTemporaryPrefix, 0) == 0;
}

int RemoveStaleCopies(const std::string& folder) {
    std::vector<DirEntry> entries;
    int error = 0;
    if (!ListDirectory(folder, entries, error, ListDetail::NamesOnly))
        return 0;
    const std::string host = HostName();
    const std::string prefix(kTemporaryPrefix);
    int removed = 0;
    for (const DirEntry& e : entries) {
        // <prefix><process id>@<host>-XXXXXX
        const std::string& name = e.name;
        if (!IsTemporaryCopyName(name) || name.size() < prefix.size() + 9)
            continue;
        const std::size_t at = name.find('@', prefix.size());
        const std::size_t dash = name.size() - 7;
        if (at == std::string::npos || at >= dash || name[dash] != '-' ||
            name.compare(at + 1, dash - at - 1, host) != 0)
            continue;
        const std::string digits = name.substr(prefix.size(), at - prefix.size());
        if (digits.empty() || digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const auto pid = static_cast<pid_t>(std::stol(digits));
        if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        const std::string path = JoinPath(folder, name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0)
            ++removed;
    }
    return removed;
}

int MakeTemporaryFile(const std::string& folder, std::string& path) {
    path = temporaryTemplate(folder);
    return ::mkostemp(path.data(), O_CLOEXEC);
}

RunRecord::RunRecord() = default;

RunRecord::~RunRecord() {
    if (m_placer != nullptr) {
        Unheard nobody;
        m_placer->Take(nobody, Placer::Wait::All);
    }
}

void RunRecord::PlaceLater(const PlacingOptions& options) {
    if (m_placer == nullptr)
        m_placer = std::make_unique<Placer>(*this, options);
}

std::vector<FileOpResult> RunRecord::Settled(FileOpUi& ui, bool wait,
                                             std::vector<std::string>* messages) {
    if (m_placer == nullptr)
        return {};
    m_placer->Take(ui, wait ? Placer::Wait::All : Placer::Wait::No);
    return m_placer->Outcomes(messages);
}

bool RunRecord::Waiting(const std::string& name) const {
    return m_placer != nullptr && m_placer->Waiting(name);
}

void RunRecord::AddWritten(const std::string& path, const struct stat& file) {
    m_paths.insert(path);
    m_files.insert({file.st_dev, file.st_ino});
}

bool RunRecord::Wrote(const std::string& path, const struct stat& file) const {
    return m_paths.count(path) != 0 || m_files.count({file.st_dev, file.st_ino}) != 0;
}

FileOpResult FileOperation(FileFunction function, const std::string& source,
                           const std::string& targetFolder, const FileOpFlags& flags, FileOpUi& ui,
                           CopyIo& io, RunRecord* run) {
    if (function == FileFunction::Delete)
        return deleteOne(source, flags, ui);
    return copyOrMove(function, source, targetFolder, flags, ui, io, run);
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string& error) {
    std::string temporary = temporaryTemplate(FolderOf(path));
    Descriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (out.Get() < 0) {
        error = SystemErrorText(errno);
        return false;
    }
    // mkostemp makes the file private; a written file gets the usual mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    int failure = ::fchmod(out.Get(), 0666 & ~mask) != 0 ? errno : 0;
    for (std::size_t done = 0; failure == 0 && done < bytes.size();) {
        const ssize_t n = ::write(out.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            failure = n < 0 ? errno : EIO;
        else
            done += static_cast<std::size_t>(n);
    }
    if (failure == 0 && ::fsync(out.Get()) != 0)
        failure = errno;
    if (const int closed = out.Close(); failure == 0)
        failure = closed;
    if (failure == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temporary.c_str());
        error = SystemErrorText(failure);
        return false;
    }
    return true;
}

FileOpResult DeleteFiles(const std::vector<std::string>& paths, const FileOpFlags& flags,
                         FileOpUi* ui) {
    // Callers without a window get their questions answered No and their
    // errors dropped.
    Unheard silent;
    FileOpUi& use = ui != nullptr ? *ui : silent;
    for (const std::string& path : paths) {
        const FileOpResult result = deleteOne(path, flags, use);
        if (result != FileOpResult::Done)
            return result;
    }
    return FileOpResult::Done;
}

} // namespace platform
