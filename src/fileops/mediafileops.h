#pragma once
// Copy, move and delete of media files: one file per call, named by its
// catalog index, and the run that walks the selected rows of the media file
// list through one of them, with progress, cancel and a status per row.

#include "feedback/cancel.h"
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

// The flags of a file operation: undo allowed, no recursion, and the
// system's own questions answered yes where the option is off.
inline constexpr unsigned kAskFirst = platform::FOF_ALLOWUNDO | platform::FOF_NORECURSION;
inline constexpr unsigned kAskNothing = kAskFirst | platform::FOF_NOCONFIRMATION;

// Hands one file to the system's file operation, with the reads and writes
// of io; tests see every path a run hands on.
class FileOperator {
public:
    explicit FileOperator(platform::CopyIo& io = platform::SystemCopyIo()) : m_io(io) {}
    virtual ~FileOperator() = default;
    virtual platform::FileOpResult Perform(platform::FileFunction function,
                                           const std::string& source,
                                           const std::string& targetFolder, unsigned flags,
                                           platform::FileOpUi& ui, platform::RunRecord* run);

private:
    platform::CopyIo& m_io;
};

// One media file of the catalog. True when done; a failure logs
// "ERROR: Operation Aborted", a refusal "Operation Aborted by User". A delete
// or move that is done marks the record missing (attributes -1).
bool DeleteMediaFile(MediaCatalog& catalog, std::uint32_t index, unsigned flags,
                     platform::FileOpUi& ui, platform::CopyIo& io = platform::SystemCopyIo());
bool CopyMediaFile(MediaCatalog& catalog, std::uint32_t index, const std::string& targetFolder,
                   unsigned flags, platform::FileOpUi& ui,
                   platform::CopyIo& io = platform::SystemCopyIo());
bool MoveMediaFile(MediaCatalog& catalog, std::uint32_t index, const std::string& targetFolder,
                   unsigned flags, platform::FileOpUi& ui,
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

// The selected rows of the media file list as a run walks them.
class FileSelection {
public:
    virtual ~FileSelection() = default;
    // The first selected row from the top, or -1.
    virtual int FirstSelected() const = 0;
    virtual std::uint32_t CatalogIndex(int row) const = 0;
    virtual void SetStatus(int row, const std::string& text) = 0;
    virtual void Deselect(int row) = 0;
};

// What a run needs of the window it runs for.
class OperationHost : public CancelCheck {
public:
    // Closes the media file the information panel holds open.
    virtual void CloseCurrentMediaFile() = 0;
    // Greys the load and scan commands while the run works, and back.
    virtual void SetBusy(bool busy) = 0;
    // Lets the window handle what is waiting for it between two files.
    virtual void PumpOneMessage() = 0;
    // Shows a progress window with that caption; null when none can be made.
    virtual std::unique_ptr<Progress> StartProgress(const std::string& caption) = 0;
    // The byte total of the selected rows.
    virtual std::uint64_t SelectedBytes() const = 0;
    virtual bool ConfirmDelete() const = 0;
    virtual bool ConfirmMove() const = 0;
    // Selects every row of the media file list.
    virtual void SelectAllFiles() = 0;
};

class FileOperationRun {
public:
    FileOperationRun(MediaCatalog& catalog, FileSelection& rows, OperationHost& host,
                     Prompter& prompter);
    FileOperationRun(MediaCatalog& catalog, FileSelection& rows, OperationHost& host,
                     Prompter& prompter, FileOperator& files);

    void CopySelectedFiles();
    void MoveSelectedFiles();
    void DeleteSelectedFiles();
    // Asks first, then selects every listed file and deletes them.
    void DeleteProjectMedia();
    // Copies or moves the selected files into the store's layout below its
    // target; the volumes decide what a folder's drive is.
    void StoreSelectedFiles(const StoreOptions& options,
                            const std::vector<platform::Volume>& volumes);

private:
    void Run(platform::FileFunction function);

    MediaCatalog& m_catalog;
    FileSelection& m_rows;
    OperationHost& m_host;
    Prompter& m_prompter;
    FileOperator m_systemFiles;
    FileOperator& m_files;
};
