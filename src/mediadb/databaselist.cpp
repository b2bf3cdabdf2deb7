#include "mediadb/databaselist.h"

#include "feedback/log.h"
#include "mediadb/mediafolders.h"
#include "platform/directory.h"
#include "platform/paths.h"
#include "platform/systemtext.h"

#include <algorithm>
#include <cerrno>
#include <vector>

std::vector<SearchProblem> DatabaseList::Discover(const std::vector<platform::Volume>& volumes) {
    m_entries.clear();
    m_nextNumber = 0;
    std::vector<SearchProblem> problems;
    for (const std::string& folder : MediaFolderRoots(volumes, problems))
        searchFolder(folder, problems);
    return problems;
}

void DatabaseList::searchFolder(const std::string& folder, std::vector<SearchProblem>& problems) {
    std::vector<platform::DirEntry> entries;
    int error = 0;
    if (!platform::ListDirectoryInTime(folder, entries, error, platform::ListDetail::NamesOnly)) {
        NoteSearchProblem(problems, folder,
                          error == ETIMEDOUT
                              ? "does not answer"
                              : "cannot be read: " + platform::SystemErrorText(error));
        return;
    }
    for (const platform::DirEntry& e : entries) {
        if (e.name == "." || e.name == "..")
            continue;
        const std::string path = platform::JoinPath(folder, e.name);
        // A folder or a pipe of that name is no database; loading it would
        // only fail.
        if (e.name == kDatabaseFileName && e.isRegular)
            AddDatabase(path);
        if ((e.attributes & platform::kAttrDirectory) && !e.isLink) {
            if (!platform::FitsPathLimit(path.size())) {
                Log("Path too long: " + path);
                continue;
            }
            searchFolder(path, problems);
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
    entry->checked = true;
    ++m_nextNumber;
    return true;
}

std::vector<std::uint32_t> DatabaseList::ShownOrder() const {
    std::vector<std::uint32_t> numbers;
    numbers.reserve(m_entries.size());
    for (const auto& [number, entry] : m_entries)
        numbers.push_back(number);
    std::reverse(numbers.begin(), numbers.end());
    return numbers;
}

void DatabaseList::SetAllChecked(bool checked) {
    for (auto& [number, entry] : m_entries)
        entry.checked = checked;
}

std::vector<std::string> DatabaseList::CheckedPaths() const {
    std::vector<std::string> paths;
    for (const auto& [number, entry] : m_entries) {
        if (entry.checked)
            paths.push_back(entry.path);
    }
    return paths;
}

platform::FileOpResult DatabaseList::DeleteChecked(platform::FileOpUi& ui) {
    std::vector<std::string> paths;
    for (const std::string& database : CheckedPaths()) {
        if (platform::PathExists(database))
            paths.push_back(database);
        const std::string companion =
            platform::JoinPath(platform::FolderOf(database), kCompanionFileName);
        if (platform::PathExists(companion))
            paths.push_back(companion);
    }
    if (paths.empty())
        return platform::FileOpResult::Done;
    return platform::DeleteFiles(paths, {.ask = false, .toTrash = false}, &ui);
}
