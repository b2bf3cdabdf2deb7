#pragma once
// The media databases (msmFMID.pmr) found below the "OMFI MediaFiles" and
// "AVID MediaFiles" folders of every volume, or added by hand, each with a
// check mark that says whether SCAN! loads it (or deletion removes it).

#include "io/bucketmap.h"
#include "mediadb/mediafolders.h"
#include "platform/fileoperation.h"
#include "platform/volumes.h"

#include <cstdint>
#include <string>
#include <vector>

struct DatabaseEntry {
    std::string path;
    bool checked = false;
};

class DatabaseList {
public:
    // Replaces the list by the databases found on these volumes. Returns
    // the volumes that did not answer and the folders that could not be
    // read (each also logged): the databases there are missing from the list.
    std::vector<SearchProblem> Discover(const std::vector<platform::Volume>& volumes);
    // Adds a database, checked; false when the path is empty, too long or
    // already listed.
    bool AddDatabase(const std::string& path);
    // The numbers of the databases in the order they are shown: the list's
    // order turned round.
    std::vector<std::uint32_t> ShownOrder() const;
    // The database with that number; null when there is none.
    DatabaseEntry* Entry(std::uint32_t number) { return m_entries.find(number); }
    const DatabaseEntry* Entry(std::uint32_t number) const { return m_entries.find(number); }
    void SetAllChecked(bool checked);
    // The paths of the checked databases, in the list's order.
    std::vector<std::string> CheckedPaths() const;
    // Deletes the checked databases and their companion files for good; ui
    // shows what goes wrong.
    platform::FileOpResult DeleteChecked(platform::FileOpUi& ui);

    std::size_t size() const { return m_entries.size(); }

private:
    void searchFolder(const std::string& folder, std::vector<SearchProblem>& problems);

    NumberMap<DatabaseEntry> m_entries;
    std::uint32_t m_nextNumber = 0;
};
