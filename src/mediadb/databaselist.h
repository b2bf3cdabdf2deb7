#pragma once
// The media databases (msmFMID.pmr) found below the "OMFI MediaFiles" and
// "AVID MediaFiles" folders of every volume, or added by hand, each with a
// check mark that says whether SCAN! loads it (or deletion removes it).

#include "feedback/prompter.h"
#include "mediadb/bucketmap.h"
#include "platform/fileoperation.h"

#include <cstdint>
#include <string>

struct DatabaseEntry {
    std::string path;
    std::int32_t checked = 0;
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
    static constexpr const char* kDatabaseName = "msmFMID.pmr";
    static constexpr const char* kCompanionName = "msmMMOB.mdb";

    // Replaces the list by the databases found on all volumes.
    void Discover();
    void SearchFolder(const std::string& folder);
    // Adds a database, checked; false when the path is empty, too long or
    // already listed.
    bool AddDatabase(const std::string& path);
    void AddDatabaseDialog(OwnerWindow owner);
    void FillTree(CheckList& tree) const;
    void ReadChecks(const CheckList& tree);
    // The next checked entry in the list's order; first restarts the walk.
    const DatabaseEntry* NextChecked(bool first);
    // Deletes the checked databases and their companion files for good.
    platform::FileOpResult DeleteChecked(OwnerWindow owner);

    std::size_t size() const { return m_entries.size(); }

private:
    NumberMap<DatabaseEntry> m_entries;
    std::uint32_t m_nextNumber = 0;
    NumberMap<DatabaseEntry>::Position m_cursor;
};
