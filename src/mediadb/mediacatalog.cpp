#include "mediadb/mediacatalog.h"

#include "feedback/log.h"
#include "feedback/progress.h"
#include "io/blockpool.h"
#include "mediadb/mediafolders.h"
#include "platform/directory.h"
#include "platform/fileoperation.h"
#include "platform/paths.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <type_traits>

MediaCatalog::MediaCatalog() {
    Reset();
}

MediaCatalog::~MediaCatalog() {
    Reset();
}

void MediaCatalog::Reset() {
    m_prefetches.clear();
    m_totalSize = 0;
    m_projectCount = 0;
    m_fileCount = 0;
    m_fileNames.clear();
    m_files.clear();
    m_files.shrink_to_fit();
    m_published = 0;
    m_projects.clear();
    m_binFolders.clear();
    m_duplicates.reset();
}

namespace {
// The facts of the file a record names, or missing without an entry.
void takeFacts(MediaRecord& record, const DiskFileEntry* entry) {
    if (entry == nullptr) {
        record.size = 0;
        record.attributes = kFileMissing;
        return;
    }
    record.attributes = static_cast<std::int32_t>(entry->attributes);
    record.size = entry->size;
    record.creationTime = entry->creationTime;
    // A folder too long for the field leaves it empty rather than cut short.
    record.folder.Share(entry->folder);
}

// Names are looked up in the disk index by the hash the catalog uses.
static_assert(std::is_same_v<StringKeyTraits::Hash, RecordKeyTraits::Hash>);
} // namespace

bool MediaCatalog::MatchOnDisk(MediaRecord& record) const {
    const DiskFileEntry* entry = m_diskIndex.find(record.fileName);
    takeFacts(record, entry);
    return entry != nullptr;
}

bool MediaCatalog::HoldsFileName(std::string_view fileName) const {
    return HoldsFileName(fileName, NameHash(fileName));
}

bool MediaCatalog::HoldsFileName(std::string_view fileName, std::uint32_t hash) const {
    return m_fileNames.find(hash, [&](std::uint32_t index) {
        return fileName == m_files[index]->fileName;
    }) != FlatIndex::kNone;
}

void MediaCatalog::Register(MediaRecord* stored, std::uint32_t nameHash) {
    m_duplicates.reset();
    m_files.push_back(stored);
    if (!HoldsFileName(stored->fileName, nameHash))
        m_fileNames.add(nameHash, stored->catalogIndex);
    m_totalSize += stored->size;
}

void MediaCatalog::AddRecord(MediaRecord& record, bool keepMissing) {
    AddRecord(record, keepMissing, NameHash(record.fileName));
}

void MediaCatalog::AddRecord(MediaRecord& record, bool keepMissing, std::uint32_t nameHash) {
    if (IsMissing(record) && !keepMissing)
        return;
    auto [project, created] = m_projects.insert(record.projectName);
    const std::uint32_t oldIndex = record.catalogIndex;
    const std::uint32_t oldNumber = record.projectNumber;
    record.catalogIndex = m_fileCount;
    record.projectNumber = created ? m_projectCount : project->projectNumber;
    auto [stored, isNew] = project->files.insert(record.fileName, nameHash, record);
    if (!isNew) {
        record.catalogIndex = oldIndex;
        record.projectNumber = oldNumber;
        ++m_duplicateCount;
        return;
    }
    ++m_fileCount;
    project->totalSize += record.size;
    if (created) {
        project->name = record.projectName;
        project->recordName = record.projectName;
        project->projectNumber = m_projectCount++;
        Log(project->name);
    }
    stored->projectName = project->recordName;
    Register(stored, nameHash);
}

MediaCatalog::Listing MediaCatalog::ListNow(const std::string& folder, bool stamped) {
    Listing listing;
    std::vector<platform::DirEntry> entries;
    listing.listed =
        platform::ListDirectoryInTime(folder, entries, listing.error, platform::ListDetail::Full,
                                      stamped ? &listing.stamp : nullptr);
    if (!listing.listed)
        return listing;
    const SharedText shared(folder);
    for (platform::DirEntry& e : entries) {
        // A link that leads nowhere is no media file: its record stays missing.
        // A copy still being written (or left by a stopped run) is none yet.
        if (e.isDanglingLink || platform::IsTemporaryCopyName(e.name))
            continue;
        const DiskFileEntry facts{e.attributes, e.creationTime, e.size, shared};
        if (const auto [entry, made] = listing.index.insertMoved(std::move(e.name), facts); !made)
            *entry = facts;
    }
    return listing;
}

void MediaCatalog::PrefetchFoldersOf(std::span<const std::string> upcoming) {
    // Two folders ahead: listing is mostly waiting for the file system,
    // and with two under way the listings keep pace with the records.
    constexpr std::size_t kLookahead = 2;
    // What was started ahead must be for the loads now expected, in order.
    const bool expected = m_prefetches.size() <= upcoming.size() &&
                          std::equal(m_prefetches.begin(), m_prefetches.end(), upcoming.begin(),
                                     [](const Prefetch& p, const std::string& database) {
                                         return p.database == database;
                                     });
    if (!expected)
        m_prefetches.clear();
    for (std::size_t i = m_prefetches.size(); i < std::min(kLookahead, upcoming.size()); ++i) {
        const std::string& database = upcoming[i];
        std::error_code error;
        const std::string folder =
            database.empty()
                ? std::string()
                : platform::FolderOf(std::filesystem::absolute(database, error).string());
        Prefetch prefetch{database, folder, {}};
        // The listing is given up when its volume is silent for a deadline
        // (each batch it answers starts the deadline again), so waiting for
        // it, or dropping it (which waits for it to end), takes no longer
        // than listing the folder when its turn comes.
        if (!folder.empty() && !error && platform::FitsPathLimit(folder.size())) {
            try {
                prefetch.listing =
                    std::async(std::launch::async, [folder] { return ListNow(folder, true); });
            } catch (const std::system_error&) {
                // No thread to spare: the folder is listed when its turn comes.
            }
        }
        m_prefetches.push_back(std::move(prefetch));
    }
}

int MediaCatalog::IndexFolder(const std::string& path) {
    return IndexListing(path, ListNow(path));
}

int MediaCatalog::IndexListing(const std::string& path, Listing listing) {
    if (!listing.listed) {
        LogError(listing.error, path.c_str());
        return listing.error;
    }
    if (m_diskIndex.empty()) {
        m_diskIndex = std::move(listing.index);
        return 0;
    }
    // Added to what other folders put there, in the order this one listed
    // them; a name met again takes this folder's facts.
    listing.index.drain([&](std::string&& name, const DiskFileEntry& facts) {
        if (const auto [entry, made] = m_diskIndex.insertMoved(std::move(name), facts); !made)
            *entry = facts;
    });
    return 0;
}

void MediaCatalog::IndexFolderTree(const std::string& folder) {
    std::vector<platform::DirEntry> entries;
    int error = 0;
    if (!platform::ListDirectoryInTime(folder, entries, error)) {
        LogError(error, folder.c_str());
        return;
    }
    const SharedText shared(folder);
    for (const platform::DirEntry& e : entries) {
        if (e.name == "." || e.name == ".." || e.isDanglingLink ||
            platform::IsTemporaryCopyName(e.name))
            continue;
        if (e.attributes & platform::kAttrDirectory) {
            if (e.isLink)
                continue;
            const std::string sub = platform::JoinPath(folder, e.name);
            if (!platform::FitsPathLimit(sub.size())) {
                Log("Path too long: " + sub);
                continue;
            }
            IndexFolderTree(sub);
            continue;
        }
        DiskFileEntry* entry = m_diskIndex.insert(e.name).first;
        *entry = {e.attributes, e.creationTime, e.size, shared};
    }
}

void MediaCatalog::AddUnreferencedFiles(bool keepMissing) {
    m_work = std::make_unique<MediaRecord>();
    for (const auto& [name, entry] : m_diskIndex) {
        if ((entry.attributes & platform::kAttrDirectory) || entry.referenced ||
            name == kDatabaseFileName || name == kCompanionFileName)
            continue;
        const std::uint32_t hash = NameHash(name);
        if (HoldsFileName(name, hash))
            continue;
        *m_work = MediaRecord{};
        m_work->projectName.SetWhole(kUnreferencedProject);
        m_work->projectNameLength = sizeof kUnreferencedProject - 1;
        if (!m_work->fileName.SetWhole(name)) {
            Log("File name too long: " + name);
            continue;
        }
        m_work->fileNameLength = static_cast<std::uint32_t>(name.size());
        takeFacts(*m_work, &entry);
        AddRecord(*m_work, keepMissing, hash);
    }
    m_work.reset();
}

void MediaCatalog::RebuildFileArray() {
    m_published = m_fileCount;
}

const DuplicateMedia& MediaCatalog::FindDuplicates() {
    m_duplicates = std::make_unique<DuplicateMedia>(DuplicateMedia::Find(*this));
    return *m_duplicates;
}

MediaRecord* MediaCatalog::FindFileByName(std::string_view fileName) {
    if (!HoldsFileName(fileName))
        return nullptr;
    for (auto& [name, project] : m_projects) {
        if (MediaRecord* record = project.files.find(fileName))
            return record;
    }
    return nullptr;
}

MediaRecord* MediaCatalog::GetRecord(std::uint32_t index) {
    return index < m_published ? m_files[index] : nullptr;
}

const MediaRecord* MediaCatalog::GetRecord(std::uint32_t index) const {
    return index < m_published ? m_files[index] : nullptr;
}

const std::string* MediaCatalog::BinFolder(std::uint32_t index) const {
    const auto found = m_binFolders.find(index);
    return found != m_binFolders.end() ? &found->second : nullptr;
}

std::uint64_t MediaCatalog::GetMediaFileSize(std::uint32_t index) const {
    const MediaRecord* record = GetRecord(index);
    return record != nullptr ? record->size : 0;
}

std::string MediaCatalog::FullPath(const MediaRecord& record) {
    return platform::JoinPath(record.folder, record.fileName);
}

MediaCatalog::LoadResult MediaCatalog::LoadDatabase(const std::string& path, bool keepMissing,
                                                    Progress* progress,
                                                    std::span<const std::string> upcoming) {
    // The records' names and indexes fault in large pages.
    const blocks::LargeHeapSteps heapSteps;
    // A listing started while a database before was read is taken only by
    // the load it was started for, and only for its folder; a load that
    // ends early drops it, and any other load drops every listing ahead.
    Prefetch prefetched;
    if (!m_prefetches.empty() && m_prefetches.front().database == path) {
        prefetched = std::move(m_prefetches.front());
        m_prefetches.erase(m_prefetches.begin());
    } else {
        m_prefetches.clear();
    }
    m_loadFailure.clear();
    // Even a load that adds nothing may have changed what is on disk.
    m_duplicates.reset();
    if (path.empty())
        return LoadResult::EmptyPath;
    Log("------------<OPENING FILE>----------------");
    Log(path);
    const auto opened = m_scanner.OpenForScan(path.c_str());
    if (opened == RecordScanner::OpenResult::TooSmall) {
        Log("File is too small");
        return LoadResult::TooSmall;
    }
    if (opened != RecordScanner::OpenResult::Opened) {
        m_loadFailure = m_scanner.OpenFailure();
        return LoadResult::CannotOpen;
    }
    // The folder the database is listed in, not where a link to it leads:
    // the media files lie beside the listed database.
    const std::string folder = platform::FolderOf(std::filesystem::absolute(path).string());
    m_loadFailure.fileName = folder;
    if (!platform::FitsPathLimit(folder.size())) {
        Log("Path too long: " + folder);
        m_scanner.Close();
        return LoadResult::CannotOpen;
    }
    if (progress != nullptr)
        progress->SetText("Indexing Files...");
    m_duplicateCount = 0;
    ClearDiskIndex();
    // Without the folder's listing no record could be told present or
    // missing: the database is not loaded.
    // A folder listed ahead whose entries have changed since is listed anew:
    // the records must meet the folder as it is when they are read.
    Listing listing;
    if (prefetched.listing.valid() && prefetched.folder == folder)
        listing = prefetched.listing.get();
    if (!listing.stamp || listing.stamp != platform::FolderStampInTime(folder))
        listing = ListNow(folder);
    if (const int error = IndexListing(folder, std::move(listing)); error != 0) {
        m_loadFailure.systemCode = error;
        m_scanner.Close();
        ClearDiskIndex();
        return LoadResult::CannotOpen;
    }
    PrefetchFoldersOf(upcoming);
    if (progress != nullptr)
        progress->SetText(folder);

    m_work = std::make_unique<MediaRecord>();
    while (m_scanner.NextDatabaseRecord(*m_work, progress) ==
           RecordScanner::ScanResult::RecordFound) {
        const std::uint32_t hash = NameHash(m_work->fileName);
        DiskFileEntry* onDisk = m_diskIndex.find(m_work->fileName, hash);
        takeFacts(*m_work, onDisk);
        AddRecord(*m_work, keepMissing, hash);
        // A file found is never missing, so the catalog now holds its name
        // (added, or already held as a duplicate): it is no unreferenced file.
        if (onDisk != nullptr)
            onDisk->referenced = true;
    }
    const int readError = m_scanner.ReadError();
    m_scanner.Close();
    m_work.reset();

    // A database read only in part may name any file of the folder: none
    // is unreferenced then.
    if (readError != 0) {
        LogError(readError, path.c_str());
        m_loadFailure.fileName = path;
        m_loadFailure.systemCode = readError;
    } else {
        AddUnreferencedFiles(keepMissing);
    }
    RebuildFileArray();
    EndLoad();
    return readError != 0 ? LoadResult::Broken : LoadResult::Loaded;
}

void MediaCatalog::EndLoad() {
    if (m_duplicateCount != 0)
        LogF("Found %d dup(s)", static_cast<int>(m_duplicateCount));
    ClearDiskIndex();
    m_duplicateCount = 0;
    Log("------------------<OK!>-------------------");
}

bool MediaCatalog::isConsistent() const {
    if (m_files.size() != m_fileCount || m_published != m_fileCount)
        return false;
    for (std::uint32_t i = 0; i < m_fileCount; ++i) {
        if (m_files[i] == nullptr || m_files[i]->catalogIndex != i)
            return false;
    }
    std::uint64_t total = 0;
    std::size_t records = 0;
    std::uint32_t projects = 0;
    for (const auto& [name, project] : m_projects) {
        std::uint64_t projectTotal = 0;
        if (project.name != name || project.projectNumber >= m_projectCount)
            return false;
        for (const auto& [fileName, record] : project.files) {
            if (fileName.view() != record.fileName.view() || name != record.projectName.view() ||
                record.projectNumber != project.projectNumber || !HoldsFileName(fileName.view()) ||
                record.catalogIndex >= m_fileCount || m_files[record.catalogIndex] != &record)
                return false;
            projectTotal += record.size;
            ++records;
        }
        if (projectTotal != project.totalSize)
            return false;
        total += projectTotal;
        ++projects;
    }
    return total == m_totalSize && records == m_fileCount && projects == m_projectCount;
}
