#include "session/catalogsession.h"

#include "feedback/jobcontext.h"
#include "feedback/log.h"
#include "feedback/prompter.h"
#include "mediadb/filefacts.h"
#include "mediadb/mediafolders.h"
#include "platform/directory.h"
#include "platform/formatting.h"

CatalogSession::CatalogSession(Prompter& prompter, VolumeList volumes)
    : m_prompter(prompter), m_volumes(std::move(volumes)) {
    SetOptions(m_options);
}

void CatalogSession::SetOptions(const Options& options) {
    m_options = options;
    m_catalog.SetReadMxf(options.readMxf);
}

std::vector<DatabaseOutcome> CatalogSession::Scan(const std::vector<std::string>& databases,
                                                  JobContext& context) {
    // A database on a volume that stopped answering is left out and logged.
    std::vector<SearchProblem> problems;
    const std::vector<std::string> answering =
        DatabasesThatAnswer(databases, m_volumes(), problems);
    JobRun job(context, {}, JobRun::Busy::No);
    m_catalog.Reset();
    return LoadDatabases(m_catalog, answering, !m_options.verifyFiles, job.Window());
}

std::optional<std::string> CatalogSession::ChooseMediaFolder() {
    return BrowseForFolder(m_prompter);
}

std::optional<std::string> CatalogSession::ChooseBin() {
    return m_prompter.openFileName("", "AVID Bin (*.avb)");
}

void CatalogSession::ScanMediaFolder(const std::string& folder, JobContext& context) {
    JobRun job(context, {}, JobRun::Busy::No);
    m_catalog.ScanMediaFolder(folder, job.Window(), &context);
}

void CatalogSession::ScanBin(const std::string& bin, JobContext& context) {
    JobRun job(context, {}, JobRun::Busy::No);
    m_catalog.ScanBin(bin, job.Window(), &context, m_volumes());
}

void CatalogSession::AnalyseFiles(FileSelection& rows, JobContext& context) {
    const std::vector<int> selected = rows.SelectedRows();
    JobRun job(context, {});
    FactsReader reader;
    reader.SetReadMxf(m_options.readMxf);
    constexpr unsigned kRead = kFactClip | kFactCompression | kFactSource | kFactEssence;
    std::uint64_t done = 0;
    for (int row : selected) {
        if (!job.Next())
            break;
        job.Step(done++, selected.size());
        MediaRecord* record = m_catalog.GetRecord(rows.CatalogIndex(row));
        if (record == nullptr || IsMissing(*record))
            continue;
        const std::optional<FileFacts> facts = reader.Read(*record, kRead);
        reader.Close();
        if (!facts)
            continue;
        ApplyFacts(*facts, kRead, *record);
        rows.FactsRead(row);
    }
}

FileOperationRun CatalogSession::RunOn(FileSelection& rows, JobContext& context) {
    return FileOperationRun(m_catalog, rows, context, m_prompter,
                            {m_options.confirmMove, m_options.confirmDelete});
}

void CatalogSession::CopyFiles(FileSelection& rows, JobContext& context) {
    RunOn(rows, context).CopySelectedFiles();
}

void CatalogSession::MoveFiles(FileSelection& rows, JobContext& context) {
    RunOn(rows, context).MoveSelectedFiles();
}

void CatalogSession::DeleteFiles(FileSelection& rows, JobContext& context) {
    RunOn(rows, context).DeleteSelectedFiles();
}

void CatalogSession::DeleteProjectMedia(FileSelection& rows, JobContext& context) {
    RunOn(rows, context).DeleteProjectMedia();
}

const DuplicateMedia& CatalogSession::FindDuplicates(JobContext& context) {
    JobRun job(context, {}, JobRun::Busy::No);
    const DuplicateMedia& found = m_catalog.FindDuplicates();
    const std::uint64_t freed = found.FreedBytes();
    Log("Duplicate media: " + std::to_string(found.GroupCount()) + " group(s), " +
        std::to_string(found.Copies().size()) + " file(s); keeping one copy of each frees " +
        platform::FormatByteSize(freed) + " (" + std::to_string(freed) + " bytes)");
    return found;
}

void CatalogSession::RefuseProjectStoreOfDuplicates() {
    Tell(m_prompter,
         std::string(kDuplicatesProject) +
             " lists copies that belong to other projects: store those projects, or select "
             "the copies in the media file list and store them with F4.",
         "Orrin");
}

void CatalogSession::StoreFiles(FileSelection& rows, JobContext& context,
                                const StoreOptions& options) {
    RunOn(rows, context).StoreSelectedFiles(options, m_volumes());
}

void CatalogSession::ExportList(const std::string& title, const std::string& suggestedName,
                                const std::function<std::string()>& csv) {
    const std::optional<std::string> path =
        m_prompter.saveFileName(title, "CSV files (*.csv)", suggestedName);
    if (!path)
        return;
    std::string error;
    if (platform::WriteWholeFile(*path, csv(), error))
        Log("Exported to " + *path);
    else
        Tell(m_prompter, "Could not write " + *path + ":\n" + error, title);
}
