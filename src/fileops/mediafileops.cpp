#include "fileops/mediafileops.h"

#include "feedback/log.h"
#include "feedback/progress.h"
#include "feedback/prompter.h"
#include "mediadb/mediacatalog.h"
#include "platform/directory.h"
#include "platform/paths.h"
#include "resources/stringtable.h"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

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

// What became of one row's file.
enum class Outcome { Done, Failed, Cancelled, NotExist, NotReplaced };

Outcome mediaFileOperation(MediaCatalog& catalog, std::uint32_t index,
                           platform::FileFunction function, const std::string& targetFolder,
                           const platform::FileOpFlags& flags, platform::FileOpUi& ui,
                           FileOperator& files, platform::RunRecord* run) {
    MediaRecord* record = catalog.GetRecord(index);
    if (record == nullptr)
        return Outcome::Failed;
    if (fileMissing(*record))
        return Outcome::NotExist;
    const std::string path = MediaCatalog::FullPath(*record);
    const platform::FileOpResult result =
        files.Perform(function, path, targetFolder, flags, ui, run);
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
        Log("Not replaced: " + platform::JoinPath(targetFolder, record->fileName) +
            " was written by this run");
        return Outcome::NotReplaced;
    }
    if (function != platform::FileFunction::Copy)
        record->attributes = kFileMissing;
    return Outcome::Done;
}

// The status a row gets when its file is passed over.
const char* skippedStatus(Outcome outcome) {
    return outcome == Outcome::NotExist ? "Not Exist" : "Not replaced...";
}

// The questions of one file go to the prompter; its progress moves the
// run's progress window on from the bytes done before it, and a key press
// may cancel it.
class RunUi final : public platform::FileOpUi {
public:
    RunUi(Prompter& prompter, Progress* progress, CancelCheck& cancel, std::uint64_t total)
        : m_questions(prompter), m_progress(progress), m_cancel(cancel), m_total(total) {}

    platform::FileOpAnswer confirm(const std::string& text, const std::string& caption) override {
        return m_questions.confirm(text, caption);
    }
    void showError(const std::string& text, const std::string& caption) override {
        m_questions.showError(text, caption);
    }
    bool progress(std::uint64_t done, std::uint64_t) override {
        if (m_progress != nullptr)
            m_progress->Step(m_before + done, m_total);
        return !m_cancel.CheckCancel();
    }
    void FileDone(std::uint64_t size) { m_before += size; }
    std::uint64_t Done() const { return m_before; }

private:
    PromptingFileOpUi m_questions;
    Progress* m_progress;
    CancelCheck& m_cancel;
    std::uint64_t m_total;
    std::uint64_t m_before = 0;
};

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
    DeleteSelectedFiles();
}

void FileOperationRun::Run(platform::FileFunction function) {
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
    RunUi ui(m_prompter, job.Window(), m_context, total);
    platform::RunRecord written;
    for (int row = m_rows.FirstSelected(); row >= 0; row = m_rows.FirstSelected()) {
        if (!job.Next())
            break;
        const std::uint32_t index = m_rows.CatalogIndex(row);
        const Outcome outcome =
            mediaFileOperation(m_catalog, index, function, target, flags, ui, m_files, &written);
        if (outcome == Outcome::Failed || outcome == Outcome::Cancelled)
            break;
        ui.FileDone(m_catalog.GetMediaFileSize(index));
        job.Step(ui.Done(), total);
        m_rows.SetStatus(row, outcome == Outcome::Done ? texts.status : skippedStatus(outcome));
        m_rows.Deselect(row);
    }
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
    RunUi ui(m_prompter, job.Window(), m_context, total);
    platform::RunRecord written;
    auto aborted = [this](const std::string& why = {}) {
        Tell(m_prompter, why.empty() ? "Aborted!" : "Aborted!\n" + why, "Orrin");
    };
    for (int row = m_rows.FirstSelected(); row >= 0; row = m_rows.FirstSelected()) {
        const std::uint32_t index = m_rows.CatalogIndex(row);
        MediaRecord* record = m_catalog.GetRecord(index);
        if (!job.Next())
            break;
        if (record != nullptr && fileMissing(*record)) {
            m_rows.SetStatus(row, skippedStatus(Outcome::NotExist));
        } else if (record != nullptr) {
            const std::optional<std::string> destination =
                StoreDestination(*record, options, volumes);
            if (!destination) {
                aborted(
                    "The path is too long: " +
                    platform::JoinPath(StoreFolder(*record, options, volumes), record->fileName));
                break;
            }
            std::error_code error;
            if (!std::filesystem::is_directory(*destination, error) &&
                !std::filesystem::create_directories(*destination, error)) {
                LogError(error.value(), destination->c_str());
                aborted();
                break;
            }
            const Outcome outcome = mediaFileOperation(m_catalog, index, function, *destination,
                                                       flags, ui, m_files, &written);
            if (outcome == Outcome::Cancelled)
                break;
            if (outcome == Outcome::Failed) {
                aborted();
                break;
            }
            ui.FileDone(m_catalog.GetMediaFileSize(index));
            job.Step(ui.Done(), total);
            if (outcome != Outcome::Done)
                m_rows.SetStatus(row, skippedStatus(outcome));
            else
                m_rows.SetStatus(row, options.moveFiles ? "Moved..." : "Copied...");
        }
        m_rows.Deselect(row);
    }
}
