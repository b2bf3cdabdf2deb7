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

// The check-box list the databases are shown in: top-level items with a
// text, a number and a check mark.
class CheckList {
public:
    virtual ~CheckList() = default;
    virtual void Clear() = 0;
    virtual void InsertFirst(const std::string& text, std::uint32_t number, bool checked) = 0;
    virtual int Count() const = 0;
    virtual std::uint32_t Number(int index) const = 0;
    virtual bool Checked(int index) const = 0;
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
    void FillTree(CheckList& tree) const;
    void ReadChecks(const CheckList& tree);
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
