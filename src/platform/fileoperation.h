#pragma once
// File operations the way the program asks for them: one file per call, a
// function (copy, move, delete) and flags that say whether to ask first and
// whether a deleted file goes to the trash. Questions, error messages and
// the progress inside a file go to the caller's FileOpUi.
//
// Media files are an editor's work, so a copy never leaves a partial file
// under a real name (it writes a hidden temporary file in the target folder
// and renames it when complete), a move removes its source only after the
// copy is complete and checked and only while the path still names the file
// that was copied, a file is never copied onto itself, nothing is replaced
// or removed unless the path still names the file that was checked, and no
// failure is reported as success.

#include "platform/volumes.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace platform {

// How a file operation goes about its work.
struct FileOpFlags {
    // Asks before it replaces or deletes a file; off, it answers yes itself.
    bool ask = true;
    // A deleted file goes to the trash, not away for good.
    bool toTrash = true;
    // Errors are shown through the caller's FileOpUi as well as returned.
    bool showErrors = true;
    // A folder named for deletion goes with what it holds.
    bool recurse = false;
};

enum class FileFunction { Move = 1, Copy = 2, Delete = 3 };
// How the question ends that a delete asks when its file cannot go to the
// trash; a Yes deletes the file for good.
inline constexpr char kPermanentDeleteQuestion[] =
    " cannot be moved to the Trash. Delete it permanently?";
enum class FileOpAnswer { Yes, No, Cancel };
// AbortedByUser: the user said no to a question. Cancelled: progress said
// stop inside the file, or its run stopped before it; nothing is left of the
// copy. NotReplaced: the target's name holds a file the same run wrote;
// nothing was changed and the source stays. Pending: only in a run that
// places its files later: the copy is written and waits for its flush; the
// run's record tells what became of it.
enum class FileOpResult { Done, Failed, AbortedByUser, Cancelled, NotReplaced, Pending };

class FileOpUi {
public:
    virtual ~FileOpUi() = default;
    virtual FileOpAnswer confirm(const std::string& text, const std::string& caption) = 0;
    virtual void showError(const std::string& text, const std::string& caption) = 0;
    // The bytes of the file at hand done so far; false stops the operation
    // as cancelled.
    virtual bool progress(std::uint64_t done, std::uint64_t total) {
        (void)done;
        (void)total;
        return true;
    }
};

// The reads and writes of a copy. Tests put failures in here.
class CopyIo {
public:
    virtual ~CopyIo() = default;
    // Copies up to count bytes from in to out at their file offsets: the
    // bytes copied, 0 at the end of the source, or -1 with errno set.
    virtual ssize_t Transfer(int in, int out, std::size_t count);
    // Flushes a written copy to the disk: 0, or the errno of the failure.
    // A run that places its files later calls it from threads of its own,
    // several at once, and a flush its run gave up waiting for returns
    // whenever it returns: an io given to such a run must bear that and
    // outlive its flushes.
    virtual int Flush(int fd);
};

// The system's reads and writes.
CopyIo& SystemCopyIo();

// How a run that places its files later goes about it.
struct PlacingOptions {
    // Flushes waited for at once: a journaling file system commits the
    // flushes that wait together in one go.
    int flushers = 16;
    // How far the copying may run ahead of the placing: files written and
    // not yet placed, and their bytes (one file may be larger). A run that
    // stops, or has copied its last file, still waits for these.
    std::size_t files = 64;
    std::uint64_t bytes = std::uint64_t{64} << 20;
    // How long the flushes may go without one of them finishing, beyond a
    // second for each MiB they still have to write, before the volume is
    // taken to have stopped answering.
    std::chrono::milliseconds deadline = kVolumeDeadline;
};

// What one run of file operations has done so far: the files it wrote,
// which the same run never replaces (two media files of one name would
// otherwise leave one), and the folders it has cleared of copies left by
// stopped runs.
//
// A run may also place its files later: a copy is then written in full,
// handed to flushers of the run's own and left Pending, and the run goes on
// with the next file while the disk takes the ones before. A flusher puts a
// copy under its name only once its flush has returned, in the order the
// copies were written, and a move's source goes only after that; a copy
// whose flush fails is never placed, and none written after it is either.
// Whatever must see the files before it in place (a question, an error, a
// rename of a move, a file of a name still waiting) waits for them first.
class RunRecord {
public:
    class Placer;

    RunRecord();
    // Waits for the flushes still running, as Settled does, telling nobody.
    ~RunRecord();
    RunRecord(const RunRecord&) = delete;
    RunRecord& operator=(const RunRecord&) = delete;

    // From now on copies are placed later; single calls on a record that
    // does not place later stay whole, each returning its outcome.
    void PlaceLater(const PlacingOptions& options = {});
    // What became of the copies that returned Pending, in the order they
    // were written, as far as it is known: Done (flushed and in place, a
    // move's source gone), Failed (said through ui as an operation says
    // it), or Cancelled (a copy before it failed: its temporary file is
    // removed and a move's source stays). With wait, returns only once every
    // flush has ended or the volume stopped answering, which fails the
    // oldest copy still waiting and leaves it under its temporary name.
    // With messages, also what was said of each (empty but for failures),
    // whenever it was said.
    std::vector<FileOpResult> Settled(FileOpUi& ui, bool wait,
                                      std::vector<std::string>* messages = nullptr);
    // Whether a copy of that name (in any folder, in any case) waits.
    bool Waiting(const std::string& name) const;
    // Null unless the run places its files later.
    Placer* placer() const { return m_placer.get(); }

    void AddWritten(const std::string& path, const struct stat& file);
    // Whether the file at path (lstat) is one this run wrote.
    bool Wrote(const std::string& path, const struct stat& file) const;
    // True the first time a folder is named.
    bool FirstVisit(const std::string& folder) { return m_folders.insert(folder).second; }

private:
    std::set<std::string> m_paths;
    std::set<std::pair<dev_t, ino_t>> m_files;
    std::set<std::string> m_folders;
    std::unique_ptr<Placer> m_placer;
};

// Copies or moves one file into a folder, or deletes it. A media file that
// is a symbolic link is copied as the content it leads to; a move renames
// the link on its own volume and, across volumes, copies the content and
// removes the link; a delete removes the link, never what it leads to.
// With a run that places its files later, a copy (a move across volumes
// too) returns Pending, or Cancelled once a file before it failed.
FileOpResult FileOperation(FileFunction function, const std::string& source,
                           const std::string& targetFolder, const FileOpFlags& flags, FileOpUi& ui,
                           CopyIo& io = SystemCopyIo(), RunRecord* run = nullptr);

// Deletes the files (and, with recurse, folders with what they hold) one
// after another. With toTrash they go to the trash, else they
// are removed for good. Stops at the first failure or when the user cancels.
FileOpResult DeleteFiles(const std::vector<std::string>& paths, const FileOpFlags& flags,
                         FileOpUi* ui);

// Whether name is one a copy is written under until it is complete:
// ".tolvane-copy-<process id>@<host>-XXXXXX", so that a copy left by a
// killed process can be told and removed.
bool IsTemporaryCopyName(const std::string& name);

// Removes the copies that runs of this host left in folder when they were
// stopped (their process is gone); the count removed.
int RemoveStaleCopies(const std::string& folder);

// Makes an empty file in folder under a temporary copy's name, so that
// listings pass it over and one left by a killed process is removed as a
// stale copy; its descriptor, with its path in path, or -1 with errno.
int MakeTemporaryFile(const std::string& folder, std::string& path);

// Writes a whole file as a copy is written: under a hidden name in the same
// folder, flushed to the disk, then renamed onto path, so that path is either
// the old file or the whole new one. False with the system's description of
// the cause in error. A new file gets the permissions a new file is given.
bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string& error);

} // namespace platform
