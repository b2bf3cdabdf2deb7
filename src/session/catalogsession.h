#pragma once
// The catalog as one user's session holds it, below the windows: the media
// catalog, the options of the Options menu, and every long job run on them.
// A window gives each job the context it runs in (progress, cancel, busy
// window) and the selection it works on; the jobs ask their questions
// through the prompter.

#include "fileops/mediafileops.h"
#include "mediadb/databaseload.h"
#include "mediadb/mediacatalog.h"
#include "platform/volumes.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class JobContext;
class Prompter;

// The Options menu; every item starts checked.
struct Options {
    // Files the databases name that do not exist are left out of a scan.
    bool verifyFiles = true;
    bool confirmMove = true;
    bool confirmDelete = true;
    // MXF media files are read for their facts and frames.
    bool readMxf = true;
};

class CatalogSession {
public:
    using VolumeList = std::function<std::vector<platform::Volume>()>;

    CatalogSession(Prompter& prompter, VolumeList volumes);

    MediaCatalog& Catalog() { return m_catalog; }
    const MediaCatalog& Catalog() const { return m_catalog; }
    const Options& GetOptions() const { return m_options; }
    void SetOptions(const Options& options);

    // Loads the databases whose volumes answer into the emptied catalog.
    std::vector<DatabaseOutcome> Scan(const std::vector<std::string>& databases,
                                      JobContext& context);
    // The folder or bin a scan reads, as the user chooses it; nothing when
    // the user cancels.
    std::optional<std::string> ChooseMediaFolder();
    std::optional<std::string> ChooseBin();
    // The catalog made anew from one media folder's files, or from the files
    // a bin names.
    void ScanMediaFolder(const std::string& folder, JobContext& context);
    void ScanBin(const std::string& bin, JobContext& context);

    // Reads the facts of every selected media file from the file itself.
    void AnalyseFiles(FileSelection& rows, JobContext& context);
    void CopyFiles(FileSelection& rows, JobContext& context);
    void MoveFiles(FileSelection& rows, JobContext& context);
    void DeleteFiles(FileSelection& rows, JobContext& context);
    // Asks first, then deletes every file of the listed projects.
    void DeleteProjectMedia(FileSelection& rows, JobContext& context);
    // The files the catalog holds more than once, grouped; the log closes
    // with what keeping one copy of each would free.
    const DuplicateMedia& FindDuplicates(JobContext& context);
    // A store of whole projects does not take the duplicates: their copies
    // belong to other projects. Says so.
    void RefuseProjectStoreOfDuplicates();
    void StoreFiles(FileSelection& rows, JobContext& context, const StoreOptions& options);

    // Asks where to and writes the CSV text there whole; says when it cannot.
    void ExportList(const std::string& title, const std::string& suggestedName,
                    const std::function<std::string()>& csv);

private:
    FileOperationRun RunOn(FileSelection& rows, JobContext& context);

    Prompter& m_prompter;
    VolumeList m_volumes;
    MediaCatalog m_catalog;
    Options m_options;
};
