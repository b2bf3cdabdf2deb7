#include "mediadb/databaselist.h"

#include "feedback/log.h"
#include "io/journal.h"
#include "mediadb/mediafolders.h"
#include "platform/directory.h"
#include "platform/paths.h"
#include "platform/systemtext.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include <sys/stat.h>

namespace {

// Passes a file operation's questions and errors on, keeping the last error
// for the journal.
class ShownErrors final : public platform::FileOpUi {
public:
    explicit ShownErrors(platform::FileOpUi& ui) : m_ui(ui) {}
    platform::FileOpAnswer confirm(const std::string& text, const std::string& caption) override {
        return m_ui.confirm(text, caption);
    }
    // Held back until the journal has the failure's line.
    void showError(const std::string& text, const std::string& caption) override {
        last = text;
        m_held.emplace_back(text, caption);
    }
    bool progress(std::uint64_t done, std::uint64_t total) override {
        return m_ui.progress(done, total);
    }
    void ShowHeld() {
        for (const auto& [text, caption] : m_held)
            m_ui.showError(text, caption);
        m_held.clear();
    }

    std::string last;

private:
    platform::FileOpUi& m_ui;
    std::vector<std::pair<std::string, std::string>> m_held;
};

} // namespace

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
    // One at a time, each with its journal line; the first that fails ends it.
    JournalWriter journal;
    ShownErrors shown(ui);
    platform::FileOpResult result = platform::FileOpResult::Done;
    for (const std::string& path : paths) {
        struct stat st {};
        const std::uint64_t bytes =
            ::lstat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
        shown.last.clear();
        result = platform::DeleteFiles({path}, {.ask = false, .toTrash = false}, &shown);
        JournalEntry entry;
        entry.operation = "delete database";
        entry.source = path;
        entry.bytes = bytes;
        entry.result = result == platform::FileOpResult::Done     ? "done"
                       : result == platform::FileOpResult::Failed ? "failed"
                                                                  : "aborted";
        entry.message = shown.last;
        journal.Append(std::move(entry));
        shown.ShowHeld();
        if (result != platform::FileOpResult::Done)
            break;
    }
    journal.Finish();
    if (const std::string failure = journal.TakeFailure(); !failure.empty()) {
        Log(failure);
        ui.showError(failure, "Orrin");
    }
    return result;
}
