#include "mediadb/databaselist.h"

#include "feedback/log.h"
#include "platform/directory.h"
#include "platform/paths.h"
#include "platform/volumes.h"

#include <vector>

namespace {

bool equalsIgnoringCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

} // namespace

void DatabaseList::Discover() {
    m_entries.clear();
    m_nextNumber = 0;
    m_cursor = {};
    for (const platform::Volume& volume : platform::MountedVolumes()) {
        std::vector<platform::DirEntry> entries;
        int error = 0;
        // A volume that cannot be listed simply holds no databases.
        if (!platform::ListDirectory(volume.root, entries, error, platform::ListDetail::NamesOnly))
            continue;
        // The folder names are matched as a case-insensitive file system would.
        for (const char* mediaFolder : {"OMFI MediaFiles", "AVID MediaFiles"}) {
            for (const platform::DirEntry& e : entries) {
                if ((e.attributes & platform::kAttrDirectory) &&
                    equalsIgnoringCase(e.name, mediaFolder))
                    SearchFolder(platform::JoinPath(volume.root, e.name));
            }
        }
    }
}

void DatabaseList::SearchFolder(const std::string& folder) {
    std::vector<platform::DirEntry> entries;
    int error = 0;
    if (!platform::ListDirectory(folder, entries, error, platform::ListDetail::NamesOnly))
        return;
    for (const platform::DirEntry& e : entries) {
        if (e.name == "." || e.name == "..")
            continue;
        const std::string path = platform::JoinPath(folder, e.name);
        if (e.name == kDatabaseName)
            AddDatabase(path);
        if ((e.attributes & platform::kAttrDirectory) && !e.isLink) {
            if (!platform::FitsPathLimit(path.size())) {
                Log("Path too long: " + path);
                continue;
            }
            SearchFolder(path);
        }
    }
}

bool DatabaseList::AddDatabase(const std::string& path) {
    if (path.empty())
        return false;
    if (!platform::FitsPathLimit(path.size())) {
        Log("Path too long: " + path);
        return false;
    }
    for (const auto& [number, entry] : m_entries) {
        if (entry.path == path)
            return false;
    }
    DatabaseEntry* entry = m_entries.insert(m_nextNumber).first;
    entry->path = path;
    entry->checked = 1;
    ++m_nextNumber;
    return true;
}

void DatabaseList::AddDatabaseDialog(OwnerWindow owner) {
    const auto path = CurrentPrompter().openFileName(owner, "", "AVID Media Database (*.pmr)");
    if (path)
        AddDatabase(*path);
}

void DatabaseList::FillTree(CheckList& tree) const {
    tree.Clear();
    for (const auto& [number, entry] : m_entries)
        tree.InsertFirst(entry.path, number, entry.checked != 0);
}

void DatabaseList::ReadChecks(const CheckList& tree) {
    for (int i = 0; i < tree.Count(); ++i) {
        if (DatabaseEntry* entry = m_entries.find(tree.Number(i)))
            entry->checked = tree.Checked(i) ? 1 : 0;
    }
}

const DatabaseEntry* DatabaseList::NextChecked(bool first) {
    if (first)
        m_cursor = m_entries.first();
    for (; m_cursor; m_cursor = m_entries.next(m_cursor)) {
        const DatabaseEntry& entry = m_entries.at(m_cursor).value;
        if (entry.checked == 1) {
            m_cursor = m_entries.next(m_cursor);
            return &entry;
        }
    }
    return nullptr;
}

platform::FileOpResult DatabaseList::DeleteChecked(OwnerWindow owner) {
    std::vector<std::string> paths;
    for (const DatabaseEntry* entry = NextChecked(true); entry != nullptr;
         entry = NextChecked(false)) {
        if (platform::PathExists(entry->path))
            paths.push_back(entry->path);
        const std::string companion =
            platform::JoinPath(platform::FolderOf(entry->path), kCompanionName);
        if (platform::PathExists(companion))
            paths.push_back(companion);
    }
    if (paths.empty())
        return platform::FileOpResult::Done;
    PromptingFileOpUi ui(owner);
    return platform::DeleteFiles(paths, platform::FOF_NOCONFIRMATION | platform::FOF_NORECURSION,
                                 &ui);
}
