#pragma once
// The program's model of the media it shows: media file records grouped into
// projects, an index of the directory entries found in the folders being
// looked at, and an array that numbers every record. Databases load into it
// record by record, each matched by exact name against the files of the
// database's own folder.

#include "mediadb/bucketmap.h"
#include "mediadb/mediarecord.h"
#include "mediadb/recordscanner.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class Progress;

struct ProjectRecord {
    // The whole name, however long: it is both the key and what is shown.
    std::string name;
    std::uint64_t totalSize = 0;
    StringMap<MediaRecord> files;
    std::uint32_t projectNumber = 0;
};

struct DiskFileEntry {
    std::uint32_t attributes = 0;
    std::uint64_t creationTime = 0;
    std::uint64_t size = 0;
    // The folder the entry was found in, shared by all entries of a folder.
    std::shared_ptr<const std::string> folder;
};

class MediaCatalog {
public:
    enum LoadResult { EmptyPath = 0, Loaded = 1, CannotOpen = 2, TooSmall = 3 };

    MediaCatalog();
    ~MediaCatalog();
    MediaCatalog(const MediaCatalog&) = delete;
    MediaCatalog& operator=(const MediaCatalog&) = delete;

    void Reset();
    // Adds the records of one media database to what the catalog holds.
    int LoadDatabase(const char* path, bool keepMissing, Progress* progress);
    void AddRecord(MediaRecord& record, bool keepMissing);
    bool MatchOnDisk(MediaRecord& record) const;
    // Indexes the entries of the current folder, one level.
    void IndexFolder();
    // Indexes the files of a folder and of all its sub-folders.
    void IndexFolderTree(const std::string& folder);
    void AddUnreferencedFiles(bool keepMissing);
    void RebuildFileArray();

    bool FirstProject();
    bool NextProject();
    bool FirstFileOfProject(std::string_view projectName);
    bool NextFileOfProject();
    void SelectProject(std::string_view projectName);
    // The project of that name, without moving the cursors; null when absent.
    const ProjectRecord* FindProject(std::string_view projectName) const {
        return m_projects.find(projectName);
    }
    ProjectRecord* CurrentProject();
    MediaRecord* CurrentFile();

    bool FindFileByName(std::string_view fileName);
    MediaRecord* FoundFile() { return m_foundFile; }

    MediaRecord* GetRecord(std::uint32_t index);
    std::uint64_t GetMediaFileSize(std::uint32_t index);
    static std::string FullPath(const MediaRecord& record);

    std::uint32_t ProjectCount() const { return m_projectCount; }
    std::uint32_t FileCount() const { return m_fileCount; }
    std::uint64_t TotalSize() const { return m_totalSize; }
    const std::string& CurrentFolder() const { return m_currentFolder; }
    // Sets the folder that IndexFolder lists; false (and a log line) when the
    // path does not fit the path limit.
    bool SetCurrentFolder(const std::string& folder);
    const StringMap<DiskFileEntry>& DiskIndex() const { return m_diskIndex; }
    void ClearDiskIndex() { m_diskIndex.clear(); }

    // Every invariant of a loaded catalog: the array numbers every record
    // without gaps, sizes add up, project numbers match.
    bool isConsistent() const;

private:
    // Whether any project holds a record of that name.
    bool HoldsFileName(std::string_view fileName) const;
    // Numbers a record just stored in its project.
    void Register(MediaRecord* stored);

    std::unique_ptr<MediaRecord> m_work;
    std::uint32_t m_projectCount = 0;
    std::uint32_t m_fileCount = 0;
    std::uint32_t m_duplicateCount = 0;
    std::uint64_t m_totalSize = 0;
    std::string m_currentFolder;
    StringMap<DiskFileEntry> m_diskIndex;
    StringMap<ProjectRecord>::Position m_currentProject;
    StringMap<MediaRecord>::Position m_currentFile;
    MediaRecord* m_foundFile = nullptr;
    RecordScanner m_scanner;
    StringMap<ProjectRecord> m_projects;
    // Every record by catalog index. Records are never removed singly and
    // keep their address, so this only grows; the media file array is its
    // first m_published entries, as far as RebuildFileArray last reached.
    std::vector<MediaRecord*> m_files;
    std::uint32_t m_published = 0;
    // Catalog indexes by file name, for the question whether any project
    // holds a name.
    FlatIndex m_fileNames;
};
