#pragma once
// The left of the main window: the tree of media databases with their check
// marks, and the database list behind it.

#include "app/databasemodel.h"
#include "mediadb/databaselist.h"

#include <string>
#include <vector>

class Prompter;
class QTreeView;

class DatabasePanel {
public:
    explicit DatabasePanel(QTreeView& tree);
    // The view outlives the panel: it lets go of the model first.
    ~DatabasePanel();
    DatabasePanel(const DatabasePanel&) = delete;
    DatabasePanel& operator=(const DatabasePanel&) = delete;

    // Replaces the list by the databases found on these volumes.
    void Discover(const std::vector<platform::Volume>& volumes);
    // Adds a database by hand, keeping the check marks the user set.
    void Add(const std::string& path);
    // The check marks as the user left them, in the list's order.
    std::vector<std::string> CheckedPaths() const;
    void SetAllChecked(bool checked);
    // Asks first, then deletes the checked databases with their companion
    // files and looks for databases again; nothing when none is checked.
    void DeleteChecked(Prompter& prompter, const std::vector<platform::Volume>& volumes);

    QTreeView& Tree() const { return m_tree; }
    DatabaseList& Databases() { return m_databases; }
    DatabaseModel& Model() { return m_model; }

private:
    QTreeView& m_tree;
    DatabaseList m_databases;
    DatabaseModel m_model{m_databases};
};
