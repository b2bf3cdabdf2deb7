#pragma once
// Copy, move and delete of media files: one file per call, named by its
// catalog index, and the run that walks the selected rows of the media file
// list through one of them, with progress, cancel and a status per row.

#include "feedback/jobcontext.h"
#include "platform/fileoperation.h"
#include "platform/volumes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class MediaCatalog;
class Progress;
class Prompter;
struct MediaRecord;

// Hands one file to the system's file operation, with the reads and writes
// of io; tests see every path a run hands on.
class FileOperator {
public:
    explicit FileOperator(platform::CopyIo& io = platform::SystemCopyIo()) : m_io(io) {}
    virtual ~FileOperator() = default;
    virtual platform::FileOpResult Perform(platform::FileFunction function,
                                           const std::string& source,
                                           const std::string& targetFolder,
                                           const platform::FileOpFlags& flags,
                                           platform::FileOpUi& ui, platform::RunRecord* run);

private:
    platform::CopyIo& m_io;
};

// One media file of the catalog. True when done; a failure logs
// "ERROR: Operation Aborted", a refusal "Operation Aborted by User". A delete
// or move that is done marks the record missing.
bool DeleteMediaFile(MediaCatalog& catalog, std::uint32_t index, const platform::FileOpFlags& flags,
                     platform::FileOpUi& ui, platform::CopyIo& io = platform::SystemCopyIo());
bool CopyMediaFile(MediaCatalog& catalog, std::uint32_t index, const std::string& targetFolder,
                   const platform::FileOpFlags& flags, platform::FileOpUi& ui,
                   platform::CopyIo& io = platform::SystemCopyIo());
bool MoveMediaFile(MediaCatalog& catalog, std::uint32_t index, const std::string& targetFolder,
                   const platform::FileOpFlags& flags, platform::FileOpUi& ui,
                   platform::CopyIo& io = platform::SystemCopyIo());

// The folder chooser titled "Select target folder"; nothing when the user
// cancels or the folder does not fit the path limit (which the user is
// told).
std::optional<std::string> BrowseForFolder(Prompter& prompter);

// How a store lays out its target folder, as the store dialog sets it.
struct StoreOptions {
    std::string target; // absolute, without a trailing "/" except the root
    bool moveFiles = false;
    bool separateByType = false;
    bool relativePaths = false;
    bool addDriveLetter = false;
};

// The folder a media file is stored in, or nothing when it would not fit
// the path limit. The "drive" of a record's folder is the mounted volume
// that holds it, its letter that volume's name.
std::optional<std::string> StoreDestination(const MediaRecord& record, const StoreOptions& options,
                                            const std::vector<platform::Volume>& volumes);
// The same folder whatever its length.
std::string StoreFolder(const MediaRecord& record, const StoreOptions& options,
                        const std::vector<platform::Volume>& volumes);

// The selected rows of the media file list as a run walks them, and what
// the selection holds.
class FileSelection {
public:
    virtual ~FileSelection() = default;
    // The first selected row from the top, or -1.
    virtual int FirstSelected() const = 0;
    virtual std::vector<int> SelectedRows() const = 0;
    virtual std::uint32_t CatalogIndex(int row) const = 0;
    virtual void SetStatus(int row, const std::string& text) = 0;
    virtual void Deselect(int row) = 0;
    // Selects the row again: a file whose copy failed, or was dropped when
    // the run stopped, waits to be done.
    virtual void Select(int row) = 0;
    // The byte total of the selected rows.
    virtual std::uint64_t SelectedBytes() const = 0;
    // Selects every row of the list.
    virtual void SelectAll() = 0;
    // The record of a row was read anew from its file: the row shows it.
    virtual void FactsRead(int row) = 0;
    // Whether the rows are the catalog's duplicates: a delete then never
    // takes the last copy of a group (see FileOperationRun).
    virtual bool ShowsDuplicates() const { return false; }
};

// Whether a run asks before it replaces or deletes a file: the Options
// menu's "Confirm move" and "Confirm delete" (FlagsFor applies them).
struct Confirmations {
    bool move = true;
    bool remove = true;
};

// One run over the selected rows: made for a command, it walks the rows
// through the job's context (progress, cancel, busy window). Copies and
// moves go on to the next row while the files before are flushed; a row is
// done once its file is in place, and a run returns only when every file
// it wrote is in place or removed.
class FileOperationRun {
public:
    FileOperationRun(MediaCatalog& catalog, FileSelection& rows, JobContext& context,
                     Prompter& prompter, Confirmations confirm);
    FileOperationRun(MediaCatalog& catalog, FileSelection& rows, JobContext& context,
                     Prompter& prompter, Confirmations confirm, FileOperator& files);
    // Its file operator may be a member of its own.
    FileOperationRun(const FileOperationRun&) = delete;
    FileOperationRun& operator=(const FileOperationRun&) = delete;

    void CopySelectedFiles();
    void MoveSelectedFiles();
    // Deletes the selected files. Rows that show the catalog's duplicates
    // never lose the last copy of a group: a row whose group has no other
    // copy on disk right now (same name, size and ends, another file) gets
    // the status "Last copy" and the run goes on.
    void DeleteSelectedFiles();
    // Asks first, then selects every listed file and deletes them, as
    // DeleteSelectedFiles does.
    void DeleteProjectMedia();
    // Copies or moves the selected files into the store's layout below its
    // target; the volumes decide what a folder's drive is.
    void StoreSelectedFiles(const StoreOptions& options,
                            const std::vector<platform::Volume>& volumes);

private:
    void Run(platform::FileFunction function);
    // The flags of one file's operation, as the options choose them.
    platform::FileOpFlags FlagsFor(platform::FileFunction function, bool storing) const;

    MediaCatalog& m_catalog;
    FileSelection& m_rows;
    JobContext& m_context;
    Prompter& m_prompter;
    Confirmations m_confirm;
    FileOperator m_systemFiles;
    FileOperator& m_files;
};
