#include "fileops/mediafileops.h"

#include "feedback/log.h"
#include "feedback/progress.h"
#include "feedback/prompter.h"
#include "io/journal.h"
#include "mediadb/mediacatalog.h"
#include "platform/directory.h"
#include "platform/paths.h"
#include "platform/systemtext.h"
#include "platform/volumes.h"
#include "resources/stringtable.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether a record names no file. One without a folder has no path: it
// would be a name at the root of the file system, which may be another file
// altogether. A file gone since the list was made is marked missing.
bool fileMissing(MediaRecord& record) {
    if (IsMissing(record) || record.folder[0] == '\0')
        return true;
    struct stat st {};
    if (::lstat(MediaCatalog::FullPath(record).c_str(), &st) != 0 && errno == ENOENT) {
        record.attributes = kFileMissing;
        return true;
    }
    return false;
}

// What became of one row's file. Pending: its copy waits for its flush.
// LastCopy: a delete kept the only copy of a duplicate group left on disk.
enum class Outcome { Done, Failed, Cancelled, NotExist, NotReplaced, Pending, LastCopy };

// What a path leads to now: a regular file's identity, size, modification
// time, ends and folder; inode 0 when it is no regular file.
struct OnDisk {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec changed {};
    // A hash of the file's first and last bytes: two recordings of one name
    // and length (sound of one duration) differ there, in the identifiers
    // their headers hold.
    std::uint64_t ends = 0;
    // The folder the file really lies in, links followed.
    std::string folder;
};

// What a path leads to, read through one open descriptor.
OnDisk onDisk(const std::string& path) {
    constexpr std::size_t kEnd = 64 * 1024;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return {};
    OnDisk found;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        std::vector<unsigned char> bytes(kEnd);
        std::uint64_t hash = 0xcbf29ce484222325ull; // FNV-1a
        bool read = true;
        for (const off_t at : {off_t{0}, std::max<off_t>(0, st.st_size - off_t{kEnd})}) {
            const ssize_t n = ::pread(fd, bytes.data(), kEnd, at);
            read = read && n >= 0;
            for (ssize_t i = 0; i < n; ++i)
                hash = (hash ^ bytes[static_cast<std::size_t>(i)]) * 0x100000001b3ull;
        }
        char* real = read ? ::realpath(path.c_str(), nullptr) : nullptr;
        if (real != nullptr) {
            found = {st.st_dev, st.st_ino, st.st_size, st.st_mtim, hash, platform::FolderOf(real)};
            std::free(real);
        }
    }
    ::close(fd);
    return found;
}

// Whether two paths lead to one file. A second mount of the same storage
// (a share mounted twice, over two protocols, through an overlay) gives the
// file another device number; its inode, size and modification time to the
// nanosecond often stay. Two files that share all three are taken for one,
// which keeps a file rather than deletes one.
bool sameFile(const OnDisk& a, const OnDisk& b) {
    return a.inode == b.inode &&
           (a.device == b.device || (a.size == b.size && a.changed.tv_sec == b.changed.tv_sec &&
                                     a.changed.tv_nsec == b.changed.tv_nsec));
}

// Whether a file made in folder from shows in folder in: 1 it does, 0 it
// does not, -1 it cannot be told (no file can be made in from, or the look
// failed otherwise than by finding nothing). The probe is named as a copy
// in progress: listings pass it over, and one a killed process left is
// removed as a stale copy.
int seenThrough(const std::string& from, const std::string& in) {
    std::string probe;
    const int fd = platform::MakeTemporaryFile(from, probe);
    if (fd < 0)
        return -1;
    struct stat made {};
    const bool known = ::fstat(fd, &made) == 0;
    ::close(fd);
    struct stat st {};
    const int seen =
        ::lstat(platform::JoinPath(in, probe.substr(probe.rfind('/') + 1)).c_str(), &st) == 0
            ? 1
            : (errno == ENOENT ? 0 : -1);
    // Removed only while its name still leads to the file made.
    if (known && ::lstat(probe.c_str(), &st) == 0 && st.st_dev == made.st_dev &&
        st.st_ino == made.st_ino)
        ::unlink(probe.c_str());
    return seen;
}

// Whether each of the other folders is a folder of its own, not the folder
// own seen through another mount (whatever inode numbers that mount gives
// its files). A probe made in own and not seen in the other folder, and,
// where one can be made there, a probe made in the other folder and not
// seen in own (a mount that caches its listings may miss the first): then
// the folders differ. None when own takes no probe: a folder whose files
// cannot be deleted either.
std::optional<std::vector<bool>> foldersOfTheirOwn(const std::string& own,
                                                   const std::vector<std::string>& others) {
    std::vector<bool> apart;
    for (const std::string& folder : others) {
        const int forward = seenThrough(own, folder);
        if (forward < 0)
            return std::nullopt;
        apart.push_back(forward == 0 && seenThrough(folder, own) <= 0);
    }
    return apart;
}

// Whether the file of a record is the last copy of its group of duplicates
// still on disk. What counts is the disk as it is now, not the catalog: a
// copy deleted earlier in the run, or by anyone else, is gone, and one whose
// size or first and last bytes differ is no copy. A path that leads to this
// very file (a link, a second mount, two records of one file) is no other
// copy either. Each path is given the volume deadline: a copy on a volume
// that does not answer is no copy to rely on, and one seen through another
// mount of this file's own folder is this file. In doubt, the file is kept.
bool isLastCopy(const MediaCatalog& catalog, std::uint32_t index) {
    const DuplicateMedia* duplicates = catalog.Duplicates();
    const MediaRecord* record = catalog.GetRecord(index);
    if (duplicates == nullptr || record == nullptr)
        return true;
    const std::uint32_t group = duplicates->GroupOf(index);
    if (group == DuplicateMedia::kNoGroup)
        return false;
    std::vector<platform::Volume> paths{{MediaCatalog::FullPath(*record), {}, {}}};
    for (const std::uint32_t other : duplicates->Group(group)) {
        const MediaRecord* copy = catalog.GetRecord(other);
        if (other != index && copy != nullptr && !copy->folder.empty() &&
            copy->fileName.view() == record->fileName.view())
            paths.push_back({MediaCatalog::FullPath(*copy), {}, {}});
    }
    const std::vector<std::optional<OnDisk>> found = platform::AskVolumes<OnDisk>(
        paths, [](const platform::Volume& path) { return onDisk(path.root); });
    if (!found[0] || found[0]->inode == 0)
        return true;
    const OnDisk& own = *found[0];
    std::vector<std::string> folders;
    for (std::size_t i = 1; i < found.size(); ++i) {
        if (found[i] && found[i]->inode != 0 && found[i]->size == own.size &&
            found[i]->ends == own.ends && !sameFile(*found[i], own))
            folders.push_back(found[i]->folder);
    }
    if (folders.empty())
        return true;
    // A mount that numbers its files itself shows this very file under
    // other numbers: a copy counts only when its folder is another folder.
    const std::vector<std::optional<std::optional<std::vector<bool>>>> probed =
        platform::AskVolumes<std::optional<std::vector<bool>>>(
            {{own.folder, {}, {}}}, [folders](const platform::Volume& folder) {
                return foldersOfTheirOwn(folder.root, folders);
            });
    if (!probed[0] || !*probed[0])
        return true;
    const std::vector<bool>& apart = **probed[0];
    return std::find(apart.begin(), apart.end(), true) == apart.end();
}

// What a row's file came to once its operation's result is known. A
// failure is logged; a file moved or deleted marks its record missing.
Outcome concluded(MediaRecord& record, platform::FileFunction function,
                  platform::FileOpResult result, const std::string& targetFolder) {
    switch (result) {
    case platform::FileOpResult::Done:
        break;
    case platform::FileOpResult::Failed:
        Log(res::LoadResourceString(res::IDS_OPERATION_ABORTED));
        return Outcome::Failed;
    case platform::FileOpResult::AbortedByUser:
        Log(res::LoadResourceString(res::IDS_ABORTED_BY_USER));
        return Outcome::Failed;
    case platform::FileOpResult::Cancelled:
        // As a Yes to the cancel question between two files: the run ends,
        // with nothing to report.
        return Outcome::Cancelled;
    case platform::FileOpResult::NotReplaced:
        Log("Not replaced: " + platform::JoinPath(targetFolder, record.fileName) +
            " was written by this run");
        return Outcome::NotReplaced;
    case platform::FileOpResult::Pending:
        return Outcome::Pending;
    }
    if (function != platform::FileFunction::Copy)
        record.attributes = kFileMissing;
    return Outcome::Done;
}

// With performed, what the operation itself returned (Failed for a row
// without a record; untouched for a file that does not exist).
Outcome mediaFileOperation(MediaCatalog& catalog, std::uint32_t index,
                           platform::FileFunction function, const std::string& targetFolder,
                           const platform::FileOpFlags& flags, platform::FileOpUi& ui,
                           FileOperator& files, platform::RunRecord* run,
                           platform::FileOpResult* performed = nullptr) {
    MediaRecord* record = catalog.GetRecord(index);
    if (record == nullptr) {
        if (performed != nullptr)
            *performed = platform::FileOpResult::Failed;
        return Outcome::Failed;
    }
    if (fileMissing(*record))
        return Outcome::NotExist;
    const std::string path = MediaCatalog::FullPath(*record);
    const platform::FileOpResult result =
        files.Perform(function, path, targetFolder, flags, ui, run);
    if (performed != nullptr)
        *performed = result;
    return concluded(*record, function, result, targetFolder);
}

// The journal lines of one run: one for every file it acted on, passed over
// or refused, each written before the file's row shows how it ended.
class RunJournal {
public:
    explicit RunJournal(std::string operation) : m_operation(std::move(operation)) {}

    // An error the user is shown: the message of the failure it belongs to.
    void Shown(const std::string& text) { m_shown = text; }
    // The file at hand could not go to the trash and was deleted for good.
    void DeletedForGood() { m_forGood = true; }

    void Note(const MediaRecord* record, const std::string& targetFolder, const char* result,
              std::string message) {
        JournalEntry entry;
        entry.operation = m_forGood ? "delete" : m_operation;
        m_forGood = false;
        if (record != nullptr) {
            entry.source = MediaCatalog::FullPath(*record);
            if (!targetFolder.empty())
                entry.target = platform::JoinPath(targetFolder, record->fileName);
            entry.bytes = record->size;
        }
        entry.result = result;
        entry.message = std::move(message);
        m_writer.Append(std::move(entry));
    }

    // A file whose operation ran to a result.
    void NoteResult(const MediaRecord* record, const std::string& targetFolder,
                    platform::FileOpResult result, std::string said = {}) {
        switch (result) {
        case platform::FileOpResult::Done:
            Note(record, targetFolder, "done", {});
            break;
        case platform::FileOpResult::Failed: {
            // What was said of this very failure; else the error shown last,
            // which files placed before it may have been told before.
            if (said.empty() || said == m_shown)
                said = std::exchange(m_shown, {});
            std::string shown = std::move(said);
            Note(record, targetFolder, "failed",
                 shown.empty() ? res::LoadResourceString(res::IDS_OPERATION_ABORTED) : shown);
            break;
        }
        case platform::FileOpResult::AbortedByUser:
            Note(record, targetFolder, "aborted",
                 res::LoadResourceString(res::IDS_ABORTED_BY_USER));
            break;
        case platform::FileOpResult::Cancelled:
            Note(record, targetFolder, "aborted", {});
            break;
        case platform::FileOpResult::NotReplaced: {
            std::string shown = std::move(m_shown);
            m_shown.clear();
            if (shown.empty() && record != nullptr)
                shown = "Not replaced: " + platform::JoinPath(targetFolder, record->fileName) +
                        " was written by this run";
            Note(record, targetFolder, "failed", std::move(shown));
            break;
        }
        case platform::FileOpResult::Pending:
            break;
        }
    }

    // Puts the run's lines on disk; a journal that could not be written is
    // said once, and the run's work stands.
    void Finish(Prompter& prompter) {
        m_writer.Finish();
        const std::string failure = m_writer.TakeFailure();
        if (failure.empty())
            return;
        Log(failure);
        Tell(prompter, failure, "Orrin");
    }

private:
    std::string m_operation;
    std::string m_shown;
    bool m_forGood = false;
    JournalWriter m_writer;
};

const char* deleteOperation(const platform::FileOpFlags& flags) {
    return flags.toTrash ? "trash" : "delete";
}

// The questions of one file go to the prompter; its progress moves the
// run's progress window on from the bytes done before it, and a key press
// may cancel it. While an operation and its journal line are under way, the
// errors it shows are held back: the journal has the failure before the
// user sees it.
class RunUi final : public platform::FileOpUi {
public:
    RunUi(Prompter& prompter, Progress* progress, CancelCheck& cancel, std::uint64_t total,
          RunJournal& journal)
        : m_questions(prompter), m_progress(progress), m_cancel(cancel), m_total(total),
          m_journal(journal) {}

    platform::FileOpAnswer confirm(const std::string& text, const std::string& caption) override {
        const platform::FileOpAnswer answer = m_questions.confirm(text, caption);
        if (answer == platform::FileOpAnswer::Yes &&
            text.ends_with(platform::kPermanentDeleteQuestion))
            m_journal.DeletedForGood();
        return answer;
    }
    void showError(const std::string& text, const std::string& caption) override {
        m_journal.Shown(text);
        if (m_holding > 0)
            m_held.push_back({text, caption});
        else
            m_questions.showError(text, caption);
    }
    bool progress(std::uint64_t done, std::uint64_t) override {
        if (m_progress != nullptr)
            m_progress->Step(m_before + done, m_total);
        return !m_cancel.CheckCancel();
    }
    void FileDone(std::uint64_t size) { m_before += size; }
    std::uint64_t Done() const { return m_before; }

    void Hold() { ++m_holding; }
    // Shows what was held back, once the journal has its lines.
    void Release() {
        if (--m_holding > 0)
            return;
        m_journal.Shown({});
        std::vector<std::pair<std::string, std::string>> held;
        held.swap(m_held);
        for (const auto& [text, caption] : held)
            m_questions.showError(text, caption);
    }

private:
    PromptingFileOpUi m_questions;
    Progress* m_progress;
    CancelCheck& m_cancel;
    std::uint64_t m_total;
    RunJournal& m_journal;
    std::uint64_t m_before = 0;
    int m_holding = 0;
    std::vector<std::pair<std::string, std::string>> m_held;
};

// The rows of a run whose copies wait for their flush, in the order they
// were handed on. A row is deselected when its copy is handed on, as the
// run goes on with the next; it gets its status once its copy is in place,
// or is selected again when the copy failed or was dropped after a failure.
class HandedRows {
public:
    HandedRows(MediaCatalog& catalog, FileSelection& rows, platform::FileFunction function,
               const char* status, RunJournal& journal)
        : m_catalog(catalog), m_rows(rows), m_function(function), m_status(status),
          m_journal(journal) {}

    void Add(int row, std::uint32_t index, const std::string& targetFolder) {
        m_handed.push_back({row, index, targetFolder});
    }
    // Gives the rows whose copies are settled their outcome; with wait,
    // first waits for all of them. False when one failed.
    bool Settle(platform::RunRecord& run, RunUi& ui, bool wait) {
        bool failed = false;
        ui.Hold();
        std::vector<std::string> said;
        const std::vector<platform::FileOpResult> results = run.Settled(ui, wait, &said);
        for (std::size_t i = 0; i < results.size(); ++i) {
            const platform::FileOpResult result = results[i];
            const Handed handed = m_handed.front();
            m_handed.pop_front();
            MediaRecord* record = m_catalog.GetRecord(handed.index);
            m_journal.NoteResult(record, handed.targetFolder, result, std::move(said[i]));
            const Outcome outcome =
                record != nullptr ? concluded(*record, m_function, result, {}) : Outcome::Failed;
            if (outcome == Outcome::Done) {
                m_rows.SetStatus(handed.row, m_status);
            } else {
                m_rows.Select(handed.row);
                failed = failed || outcome == Outcome::Failed;
            }
        }
        ui.Release();
        return !failed;
    }
    // Waits for the copies before a row whose file's name one of them
    // takes: that row must find the copy in place, as it would had the copy
    // been placed at once. False when one failed.
    bool SettleBefore(const MediaRecord* record, platform::RunRecord& run, RunUi& ui) {
        return record == nullptr || !run.Waiting(record->fileName.str()) || Settle(run, ui, true);
    }

private:
    struct Handed {
        int row;
        std::uint32_t index;
        std::string targetFolder;
    };

    MediaCatalog& m_catalog;
    FileSelection& m_rows;
    platform::FileFunction m_function;
    const char* m_status;
    RunJournal& m_journal;
    std::deque<Handed> m_handed;
};

// The status a row gets when its file is passed over.
const char* skippedStatus(Outcome outcome) {
    if (outcome == Outcome::LastCopy)
        return "Last copy";
    return outcome == Outcome::NotExist ? "Not Exist" : "Not replaced...";
}

struct RunTexts {
    const char* caption;
    const char* status;
};

RunTexts textsOf(platform::FileFunction function) {
    switch (function) {
    case platform::FileFunction::Copy:
        return {"Copying files....", "Copied..."};
    case platform::FileFunction::Move:
        return {"Moving files....", "Moved..."};
    case platform::FileFunction::Delete:
        break;
    }
    return {"Deleting files....", "Deleted..."};
}

// The media folder a file of that name belongs in when media are stored by
// type; null for a name of neither kind.
const char* typeFolderOf(std::string_view name) {
    if (name.size() < 3)
        return nullptr;
    const std::string_view ending = name.substr(name.size() - 3);
    for (const char* omfi : {"aif", "omf", "wav", "AIF", "OMF", "WAV"}) {
        if (ending == omfi)
            return "OMFI MediaFiles";
    }
    if (ending == "mxf" || ending == "MXF")
        return "AVID MediaFiles";
    return nullptr;
}

// A name from a database or a media file as one folder name: a "/" inside it
// or a name of only dots would place files elsewhere.
std::string folderNameOf(std::string name) {
    for (char& c : name) {
        if (c == '/')
            c = '_';
    }
    if (name == "." || name == "..")
        name.assign(name.size(), '_');
    return name;
}

} // namespace

std::string StoreFolder(const MediaRecord& record, const StoreOptions& options,
                        const std::vector<platform::Volume>& volumes) {
    const std::string& target = options.target;
    auto below = [&](const std::string& rest) {
        return target == "/" ? "/" + rest : target + "/" + rest;
    };
    std::string destination;
    if (options.separateByType) {
        const char* type = typeFolderOf(record.fileName);
        destination = type != nullptr ? below(type) : target;
    } else if (!options.relativePaths) {
        destination = below(folderNameOf(record.projectName.str()));
    } else {
        const std::string folder = record.folder.str();
        std::string relative;
        std::string drive;
        if (!folder.empty()) {
            const platform::Volume* volume = platform::VolumeHolding(folder, volumes);
            const std::string root = volume != nullptr ? volume->root : "/";
            relative = folder.substr(std::min(root.size(), folder.size()));
            while (!relative.empty() && relative.front() == '/')
                relative.erase(relative.begin());
            drive = volume != nullptr && !volume->label.empty() ? folderNameOf(volume->label) : "_";
        }
        if (options.addDriveLetter && !folder.empty())
            relative = relative.empty() ? drive : drive + "/" + relative;
        destination = below(relative);
    }
    while (destination.size() > 1 && destination.back() == '/')
        destination.pop_back();
    return destination;
}

std::optional<std::string> StoreDestination(const MediaRecord& record, const StoreOptions& options,
                                            const std::vector<platform::Volume>& volumes) {
    std::string destination = StoreFolder(record, options, volumes);
    if (!platform::FitsPathLimit(platform::JoinPath(destination, record.fileName).size()))
        return std::nullopt;
    return destination;
}

platform::FileOpResult FileOperator::Perform(platform::FileFunction function,
                                             const std::string& source,
                                             const std::string& targetFolder,
                                             const platform::FileOpFlags& flags,
                                             platform::FileOpUi& ui, platform::RunRecord* run) {
    return platform::FileOperation(function, source, targetFolder, flags, ui, m_io, run);
}

bool DeleteMediaFile(MediaCatalog& catalog, std::uint32_t index, const platform::FileOpFlags& flags,
                     platform::FileOpUi& ui, platform::CopyIo& io) {
    FileOperator files(io);
    return mediaFileOperation(catalog, index, platform::FileFunction::Delete, {}, flags, ui, files,
                              nullptr) == Outcome::Done;
}

bool CopyMediaFile(MediaCatalog& catalog, std::uint32_t index, const std::string& targetFolder,
                   const platform::FileOpFlags& flags, platform::FileOpUi& ui,
                   platform::CopyIo& io) {
    FileOperator files(io);
    return mediaFileOperation(catalog, index, platform::FileFunction::Copy, targetFolder, flags, ui,
                              files, nullptr) == Outcome::Done;
}

bool MoveMediaFile(MediaCatalog& catalog, std::uint32_t index, const std::string& targetFolder,
                   const platform::FileOpFlags& flags, platform::FileOpUi& ui,
                   platform::CopyIo& io) {
    FileOperator files(io);
    return mediaFileOperation(catalog, index, platform::FileFunction::Move, targetFolder, flags, ui,
                              files, nullptr) == Outcome::Done;
}

std::optional<std::string> BrowseForFolder(Prompter& prompter) {
    std::optional<std::string> folder = prompter.folderName("Select target folder");
    if (!folder || folder->empty())
        return std::nullopt;
    if (!platform::FitsPathLimit(folder->size())) {
        Tell(prompter, "The path is too long:\n" + *folder, "Orrin");
        return std::nullopt;
    }
    return folder;
}

FileOperationRun::FileOperationRun(MediaCatalog& catalog, FileSelection& rows, JobContext& context,
                                   Prompter& prompter, Confirmations confirm)
    : FileOperationRun(catalog, rows, context, prompter, confirm, m_systemFiles) {}

FileOperationRun::FileOperationRun(MediaCatalog& catalog, FileSelection& rows, JobContext& context,
                                   Prompter& prompter, Confirmations confirm, FileOperator& files)
    : m_catalog(catalog), m_rows(rows), m_context(context), m_prompter(prompter),
      m_confirm(confirm), m_files(files) {}

platform::FileOpFlags FileOperationRun::FlagsFor(platform::FileFunction function,
                                                 bool storing) const {
    // Deleted files go to the trash and folders are never deleted with what
    // they hold. A move asks unless "Confirm move" is off, a delete unless
    // "Confirm delete" is; a copy always asks, but a store's copy asks as
    // its moves do.
    platform::FileOpFlags flags;
    switch (function) {
    case platform::FileFunction::Copy:
        flags.ask = !storing || m_confirm.move;
        break;
    case platform::FileFunction::Move:
        flags.ask = m_confirm.move;
        break;
    case platform::FileFunction::Delete:
        flags.ask = m_confirm.remove;
        break;
    }
    return flags;
}

void FileOperationRun::CopySelectedFiles() {
    Run(platform::FileFunction::Copy);
}

void FileOperationRun::MoveSelectedFiles() {
    Run(platform::FileFunction::Move);
}

void FileOperationRun::DeleteSelectedFiles() {
    Run(platform::FileFunction::Delete);
}

void FileOperationRun::DeleteProjectMedia() {
    if (m_prompter.ask({"All media related to the project will be deleted\nAre You sure?",
                        "Orrin",
                        MsgButtons::YesNo,
                        MsgIcon::Question,
                        {}}) != MsgAnswer::Yes)
        return;
    m_rows.SelectAll();
    Run(platform::FileFunction::Delete);
}

void FileOperationRun::Run(platform::FileFunction function) {
    const bool keepLastCopies =
        function == platform::FileFunction::Delete && m_rows.ShowsDuplicates();
    const platform::FileOpFlags flags = FlagsFor(function, false);
    const std::uint64_t total = m_rows.SelectedBytes();
    std::string target;
    if (function != platform::FileFunction::Delete) {
        const std::optional<std::string> folder = BrowseForFolder(m_prompter);
        if (!folder)
            return;
        target = *folder;
    }
    const RunTexts texts = textsOf(function);
    JobRun job(m_context, texts.caption);
    RunJournal journal(function == platform::FileFunction::Copy   ? "copy"
                       : function == platform::FileFunction::Move ? "move"
                                                                  : deleteOperation(flags));
    RunUi ui(m_prompter, job.Window(), m_context, total, journal);
    // Copies go on to the next file while the disk takes the ones before.
    platform::RunRecord written;
    if (function != platform::FileFunction::Delete)
        written.PlaceLater();
    HandedRows handed(m_catalog, m_rows, function, texts.status, journal);
    for (int row = m_rows.FirstSelected(); row >= 0; row = m_rows.FirstSelected()) {
        if (!job.Next())
            break;
        const std::uint32_t index = m_rows.CatalogIndex(row);
        if (!handed.SettleBefore(m_catalog.GetRecord(index), written, ui))
            break;
        // Asked right before the file goes, after the files before it.
        MediaRecord* record = m_catalog.GetRecord(index);
        const bool keep = keepLastCopies && record != nullptr && !fileMissing(*record) &&
                          isLastCopy(m_catalog, index);
        if (keep)
            Log("Last copy: " + MediaCatalog::FullPath(*record) + " is kept");
        platform::FileOpResult performed = platform::FileOpResult::Pending;
        ui.Hold();
        const Outcome outcome = keep ? Outcome::LastCopy
                                     : mediaFileOperation(m_catalog, index, function, target, flags,
                                                          ui, m_files, &written, &performed);
        // A file passed over is said only once the files before it are done;
        // the lines of those settled meanwhile (a failure may have been told
        // while this file went) come before this file's, and before the
        // errors held back are shown.
        const bool passedOver = outcome == Outcome::NotExist || outcome == Outcome::LastCopy;
        if (outcome == Outcome::Pending) {
            // Handed on: its row is told once its copy is settled.
            handed.Add(row, index, target);
            m_rows.Deselect(row);
        }
        const bool settled = handed.Settle(written, ui, passedOver);
        if (outcome == Outcome::NotExist)
            journal.Note(m_catalog.GetRecord(index), target, "not exist", "Not Exist");
        else if (outcome == Outcome::LastCopy)
            journal.Note(m_catalog.GetRecord(index), target, "failed", "Last copy");
        else
            journal.NoteResult(m_catalog.GetRecord(index), target, performed);
        ui.Release();
        if (!settled && passedOver)
            break;
        if (outcome == Outcome::Failed || outcome == Outcome::Cancelled)
            break;
        ui.FileDone(m_catalog.GetMediaFileSize(index));
        job.Step(ui.Done(), total);
        if (outcome != Outcome::Pending) {
            m_rows.SetStatus(row, outcome == Outcome::Done ? texts.status : skippedStatus(outcome));
            m_rows.Deselect(row);
        }
        if (!settled || !handed.Settle(written, ui, false))
            break;
    }
    // Cancelled or stopped, the run ends only when every copy it wrote is
    // in place or removed.
    handed.Settle(written, ui, true);
    journal.Finish(m_prompter);
}

void FileOperationRun::StoreSelectedFiles(const StoreOptions& options,
                                          const std::vector<platform::Volume>& volumes) {
    if (m_rows.FirstSelected() < 0)
        return;
    const platform::FileFunction function =
        options.moveFiles ? platform::FileFunction::Move : platform::FileFunction::Copy;
    const platform::FileOpFlags flags = FlagsFor(function, true);
    const std::uint64_t total = m_rows.SelectedBytes();
    JobRun job(m_context, "Storing files....");
    RunJournal journal(options.moveFiles ? "store move" : "store copy");
    RunUi ui(m_prompter, job.Window(), m_context, total, journal);
    platform::RunRecord written;
    written.PlaceLater();
    HandedRows handed(m_catalog, m_rows, function, options.moveFiles ? "Moved..." : "Copied...",
                      journal);
    // Why the run was aborted: said once, after every copy it wrote is in
    // place or removed. A failure of the run's own comes after the files
    // before it are done; should one of them fail, that is the run's
    // failure instead.
    std::optional<std::string> abort;
    for (int row = m_rows.FirstSelected(); row >= 0; row = m_rows.FirstSelected()) {
        const std::uint32_t index = m_rows.CatalogIndex(row);
        MediaRecord* record = m_catalog.GetRecord(index);
        bool earlierSettled = true;
        bool handedOn = false;
        if (!job.Next())
            break;
        if (!handed.SettleBefore(record, written, ui)) {
            abort = "";
            break;
        }
        if (record != nullptr && fileMissing(*record)) {
            if (!handed.Settle(written, ui, true)) {
                abort = "";
                break;
            }
            journal.Note(record, {}, "not exist", "Not Exist");
            m_rows.SetStatus(row, skippedStatus(Outcome::NotExist));
        } else if (record != nullptr) {
            const std::optional<std::string> destination =
                StoreDestination(*record, options, volumes);
            if (!destination) {
                const std::string folder = StoreFolder(*record, options, volumes);
                const std::string why =
                    "The path is too long: " + platform::JoinPath(folder, record->fileName);
                abort = handed.Settle(written, ui, true) ? why : "";
                journal.Note(record, folder, "failed", why);
                break;
            }
            std::error_code error;
            if (!std::filesystem::is_directory(*destination, error) &&
                !std::filesystem::create_directories(*destination, error)) {
                if (handed.Settle(written, ui, true))
                    LogError(error.value(), destination->c_str());
                journal.Note(record, *destination, "failed",
                             *destination + ": " + platform::SystemErrorText(error.value()));
                abort = "";
                break;
            }
            platform::FileOpResult performed = platform::FileOpResult::Pending;
            ui.Hold();
            const Outcome outcome = mediaFileOperation(m_catalog, index, function, *destination,
                                                       flags, ui, m_files, &written, &performed);
            // Copies settled meanwhile are journaled first.
            if (outcome == Outcome::Pending) {
                // Handed on: its row is told once its copy is settled.
                handed.Add(row, index, *destination);
                m_rows.Deselect(row);
                handedOn = true;
            }
            earlierSettled = handed.Settle(written, ui, false);
            if (outcome == Outcome::NotExist)
                journal.Note(record, *destination, "not exist", "Not Exist");
            else
                journal.NoteResult(record, *destination, performed);
            ui.Release();
            if (outcome == Outcome::Cancelled)
                break;
            if (outcome == Outcome::Failed) {
                abort = "";
                break;
            }
            ui.FileDone(m_catalog.GetMediaFileSize(index));
            job.Step(ui.Done(), total);
            if (outcome == Outcome::Done)
                m_rows.SetStatus(row, options.moveFiles ? "Moved..." : "Copied...");
            else if (outcome != Outcome::Pending)
                m_rows.SetStatus(row, skippedStatus(outcome));
        }
        if (!handedOn)
            m_rows.Deselect(row);
        if (!earlierSettled || !handed.Settle(written, ui, false)) {
            abort = "";
            break;
        }
    }
    if (!handed.Settle(written, ui, true) && !abort)
        abort = "";
    journal.Finish(m_prompter);
    if (abort)
        Tell(m_prompter, abort->empty() ? "Aborted!" : "Aborted!\n" + *abort, "Orrin");
}
