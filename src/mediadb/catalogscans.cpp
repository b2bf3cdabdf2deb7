// The catalog filled without a media database: from the media files of one
// folder, or from the media files a bin names.

#include "mediadb/mediacatalog.h"

#include "feedback/cancel.h"
#include "feedback/log.h"
#include "feedback/progress.h"
#include "mediadb/filefacts.h"
#include "mediadb/mediafolders.h"
#include "platform/directory.h"

#include <cstring>

MediaCatalog::ScanResult MediaCatalog::ScanMediaFolder(const std::string& folder,
                                                       Progress* progress, CancelCheck* cancel) {
    Reset();
    if (folder.empty())
        return ScanResult::EmptyPath;
    m_work = std::make_unique<MediaRecord>();
    if (progress != nullptr)
        progress->SetText("Indexing Files...");
    ClearDiskIndex();
    IndexFolder(folder);
    if (progress != nullptr)
        progress->SetText(folder);
    const std::uint64_t total = m_diskIndex.size();
    std::uint64_t counter = 0;
    FactsReader reader;
    reader.SetReadMxf(m_readMxf);
    for (const auto& [name, entry] : m_diskIndex) {
        if (cancel != nullptr && cancel->CheckCancel())
            break;
        if ((entry.attributes & platform::kAttrDirectory) || name == kDatabaseFileName ||
            name == kCompanionFileName)
            continue;
        if (progress != nullptr)
            progress->Step(counter, total);
        ++counter;
        const std::optional<FileFacts> facts =
            reader.Read(platform::JoinPath(folder, name),
                        kFactProject | kFactClip | kFactCompression | kFactEssence);
        reader.Close();
        if (!facts)
            continue; // listed as unreferenced below
        *m_work = MediaRecord{};
        if (!m_work->fileName.SetWhole(name)) {
            Log("File name too long: " + name);
            continue;
        }
        m_work->fileNameLength = static_cast<std::uint32_t>(name.size());
        // The scan looks up no OMF file's source; an MXF file's comes with
        // its other facts.
        ApplyFacts(*facts,
                   kFactProject | kFactClip | kFactCompression | kFactEssence |
                       (facts->kind == FileFacts::Kind::Mxf ? kFactSource : 0u),
                   *m_work);
        MatchOnDisk(*m_work);
        AddRecord(*m_work, false);
    }
    m_work.reset();
    AddUnreferencedFiles(false);
    RebuildFileArray();
    ClearDiskIndex();
    Log("------------------<OK!>-------------------");
    return ScanResult::Done;
}

void MediaCatalog::IndexMediaFolders(const std::vector<platform::Volume>& volumes) {
    ClearDiskIndex();
    // What cannot be searched is logged; the bin's files there stay missing.
    std::vector<SearchProblem> problems;
    for (const std::string& folder : MediaFolderRoots(volumes, problems))
        IndexFolderTree(folder);
}

MediaCatalog::ScanResult MediaCatalog::ScanBin(const std::string& binPath, Progress* progress,
                                               CancelCheck* cancel,
                                               const std::vector<platform::Volume>& volumes) {
    Reset();
    if (binPath.empty())
        return ScanResult::EmptyPath;
    auto scanner = std::make_unique<RecordScanner>();
    Log("------------<OPENING FILE>----------------");
    Log(binPath);
    const RecordScanner::OpenResult opened = scanner->OpenForScan(binPath.c_str());
    if (opened == RecordScanner::OpenResult::TooSmall) {
        Log("File is too small");
        return ScanResult::TooSmall;
    }
    if (opened != RecordScanner::OpenResult::Opened)
        return ScanResult::CannotOpen;
    const std::string binFolder = platform::FolderOf(binPath);
    if (progress != nullptr)
        progress->SetText("Indexing Files...");
    m_duplicateCount = 0;
    IndexMediaFolders(volumes);
    FactsReader reader;
    reader.SetReadMxf(m_readMxf);
    if (progress != nullptr)
        progress->SetText(binFolder);
    m_work = std::make_unique<MediaRecord>();
    while (scanner->NextBinRecord(*m_work, progress) == RecordScanner::ScanResult::RecordFound) {
        if (cancel != nullptr && cancel->CheckCancel())
            break;
        MatchOnDisk(*m_work);
        if (IsMissing(*m_work)) {
            m_work->projectName.SetWhole(kFileNotExistProject);
            m_work->projectNameLength = sizeof kFileNotExistProject - 1;
        } else if (const std::optional<FileFacts> facts =
                       reader.Read(*m_work, kFactProject | kFactClip | kFactEssence)) {
            // The bin tells the rest; its files' compression and source are
            // not read. An MXF file's essence comes with its other facts.
            ApplyFacts(*facts, kFactProject | kFactClip | kFactEssence, *m_work);
        }
        reader.Close();
        const std::uint32_t index = m_fileCount;
        AddRecord(*m_work, true);
        if (IsMissing(*m_work) && m_fileCount != index)
            m_binFolders.emplace(index, scanner->BinFolder());
    }
    // A path too long for a record may still end in a shorter one that its
    // own bytes happen to make; only a file that was left out is told.
    if (const int error = scanner->ReadError(); error != 0)
        LogError(error, binPath.c_str()); // what was read before stays
    for (const std::string& path : scanner->LongBinPaths()) {
        if (!HoldsFileName(std::string_view(path).substr(path.rfind('/') + 1)))
            Log("Path too long in bin: " + path);
    }
    scanner->Close();
    m_work.reset();
    RebuildFileArray();
    EndLoad();
    return ScanResult::Done;
}
