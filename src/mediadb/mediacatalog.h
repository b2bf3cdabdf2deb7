#pragma once
// The program's model of the media it shows: media file records grouped into
// projects, an index of the directory entries found in the folders being
// looked at, and an array that numbers every record. Databases load into it
// record by record, each matched by exact name against the files of the
// database's own folder.

#include "io/bucketmap.h"
#include "mediadb/duplicatemedia.h"
#include "mediadb/mediarecord.h"
#include "mediadb/recordscanner.h"
#include "platform/directory.h"
#include "platform/volumes.h"

#include <cstdint>
#include <future>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CancelCheck;
class Progress;

// A project's records by file name; each key shares its record's name.
struct RecordKeyTraits : StringKeyTraits {
    static std::string_view view(const SharedText& key) { return key.view(); }
    static const SharedText& keyOf(const MediaRecord& record) { return record.fileName.shared(); }
};
using RecordMap = BucketMap<SharedText, MediaRecord, RecordKeyTraits>;

struct ProjectRecord {
    // The whole name, however long: it is both the key and what is shown.
    std::string name;
    std::uint64_t totalSize = 0;
    RecordMap files;
    std::uint32_t projectNumber = 0;
    // The name as its records hold it, shared by all of them.
    decltype(MediaRecord::projectName) recordName;
};

struct DiskFileEntry {
    std::uint32_t attributes = 0;
    std::uint64_t creationTime = 0;
    std::uint64_t size = 0;
    // The folder the entry was found in, shared by all entries of a folder.
    SharedText folder;
    // Set once a record of the database being loaded found this file.
    bool referenced = false;
};

class MediaCatalog {
public:
    // Broken: the database could not be read to its end; the records read
    // before stay, and no file of its folder is taken for unreferenced.
    enum class LoadResult { EmptyPath = 0, Loaded = 1, CannotOpen = 2, TooSmall = 3, Broken = 4 };

    MediaCatalog();
    ~MediaCatalog();
    MediaCatalog(const MediaCatalog&) = delete;
    MediaCatalog& operator=(const MediaCatalog&) = delete;

    void Reset();
    // Adds the records of one media database to what the catalog holds.
    // With the paths of the databases to be loaded next, in order, the
    // folders of the first of them are listed meanwhile, while this one's
    // records are read.
    LoadResult LoadDatabase(const std::string& path, bool keepMissing, Progress* progress,
                            std::span<const std::string> upcoming = {});
    // Why the last database could not be loaded (LoadResult::CannotOpen or
    // LoadResult::Broken); no system code when its folder's path is too long.
    // fileName is the path that failed: the database or its folder.
    const platform::OpenError& LoadFailure() const { return m_loadFailure; }
    void AddRecord(MediaRecord& record, bool keepMissing);
    bool MatchOnDisk(MediaRecord& record) const;
    // Indexes the entries of one folder, one level; 0, or the errno of a
    // folder that cannot be listed (ETIMEDOUT when its volume does not
    // answer in time), which is logged.
    int IndexFolder(const std::string& folder);
    // Indexes the files of a folder and of all its sub-folders.
    void IndexFolderTree(const std::string& folder);
    void AddUnreferencedFiles(bool keepMissing);
    void RebuildFileArray();

    // Whether the scans read MXF files (named "mxf" or "MXF") for their
    // project and clip; off, such a file is read only as an OMF container.
    void SetReadMxf(bool on) { m_readMxf = on; }
    bool ReadsMxf() const { return m_readMxf; }

    enum class ScanResult { EmptyPath = 0, Done = 1, CannotOpen = 2, TooSmall = 3 };
    // Replaces the catalog by the media files of one folder, each listed
    // under the project its own container names. cancel (may be null) is
    // asked between files; what was added stays.
    ScanResult ScanMediaFolder(const std::string& folder, Progress* progress, CancelCheck* cancel);
    // Replaces the catalog by the media files a bin names, each looked up in
    // the media folders of these volumes.
    ScanResult ScanBin(const std::string& binPath, Progress* progress, CancelCheck* cancel,
                       const std::vector<platform::Volume>& volumes);
    // Indexes every "OMFI MediaFiles" and "AVID MediaFiles" tree of the
    // volumes; a name met twice keeps the entry met last.
    void IndexMediaFolders(const std::vector<platform::Volume>& volumes);

    // The projects in the catalog's order; each holds its records in map
    // order. Callers iterate themselves, so no caller disturbs another.
    const StringMap<ProjectRecord>& Projects() const { return m_projects; }
    // The project of that name; null when absent.
    const ProjectRecord* FindProject(std::string_view projectName) const {
        return m_projects.find(projectName);
    }
    // The first record of that file name in the projects' order; null when
    // no project holds it.
    MediaRecord* FindFileByName(std::string_view fileName);

    // The record with that catalog index; null when the index is not below
    // the file count.
    MediaRecord* GetRecord(std::uint32_t index);
    // Where a bin said the file of a record lived, for a record of a bin
    // scan whose file was not found; null for every other record.
    const std::string* BinFolder(std::uint32_t index) const;
    const MediaRecord* GetRecord(std::uint32_t index) const;
    std::uint64_t GetMediaFileSize(std::uint32_t index) const;
    static std::string FullPath(const MediaRecord& record);

    std::uint32_t ProjectCount() const { return m_projectCount; }
    std::uint32_t FileCount() const { return m_fileCount; }
    std::uint64_t TotalSize() const { return m_totalSize; }
    const StringMap<DiskFileEntry>& DiskIndex() const { return m_diskIndex; }
    void ClearDiskIndex() { m_diskIndex.clear(); }

    // The files held more than once, as the last search found them; null
    // before a search, and again once a record is added or the catalog
    // reset, so that a new scan or load never shows an old search.
    const DuplicateMedia* Duplicates() const { return m_duplicates.get(); }
    const DuplicateMedia& FindDuplicates();

    // Every invariant of a loaded catalog: the array numbers every record
    // without gaps, sizes add up, project numbers match.
    bool isConsistent() const;

private:
    // Whether any project holds a record of that name.
    bool HoldsFileName(std::string_view fileName) const;
    bool HoldsFileName(std::string_view fileName, std::uint32_t hash) const;
    // The closing steps of a load: the duplicate count, the index dropped.
    void EndLoad();
    // Numbers a record just stored in its project.
    void Register(MediaRecord* stored, std::uint32_t nameHash);
    // AddRecord with the hash of the record's file name (NameHash).
    void AddRecord(MediaRecord& record, bool keepMissing, std::uint32_t nameHash);
    // The hash by which the catalog and its disk index look file names up.
    static std::uint32_t NameHash(std::string_view fileName) { return RecordMap::hashOf(fileName); }

    // A folder's entries, indexed by name as the disk index holds them: a
    // listing made ahead on another thread arrives ready to use.
    struct Listing {
        StringMap<DiskFileEntry> index;
        int error = 0;
        bool listed = false;
        // The folder as it was before it was listed.
        std::optional<platform::FolderStamp> stamp;
    };
    // With stamped, the listing carries the folder's stamp from just before
    // it was listed.
    static Listing ListNow(const std::string& folder, bool stamped = false);
    // Adds the listing's entries to the disk index (taking the whole index
    // when the disk index is empty).
    int IndexListing(const std::string& path, Listing listing);
    // A folder being listed for the load of a database still to come.
    struct Prefetch {
        std::string database;
        std::string folder;
        std::future<Listing> listing;
    };
    // Starts listing the folders of the databases to be loaded next, as far
    // as the lookahead reaches, for those loads to take in turn.
    void PrefetchFoldersOf(std::span<const std::string> upcoming);
    // The listings started ahead, in the order the loads are expected.
    std::vector<Prefetch> m_prefetches;
    std::unique_ptr<MediaRecord> m_work;
    std::uint32_t m_projectCount = 0;
    std::uint32_t m_fileCount = 0;
    std::uint32_t m_duplicateCount = 0;
    std::uint64_t m_totalSize = 0;
    StringMap<DiskFileEntry> m_diskIndex;
    RecordScanner m_scanner;
    platform::OpenError m_loadFailure;
    // By catalog index: the folders bins gave for files not found.
    std::unordered_map<std::uint32_t, std::string> m_binFolders;
    StringMap<ProjectRecord> m_projects;
    // Every record by catalog index. Records are never removed singly and
    // keep their address, so this only grows; the media file array is its
    // first m_published entries, as far as RebuildFileArray last reached.
    std::vector<MediaRecord*, blocks::LargeAllocator<MediaRecord*>> m_files;
    std::uint32_t m_published = 0;
    bool m_readMxf = true;
    // Catalog indexes by file name, for the question whether any project
    // holds a name.
    FlatIndex m_fileNames;
    std::unique_ptr<DuplicateMedia> m_duplicates;
};
