#pragma once
// The left of the main window: the tree of media databases with their check
// marks, and the database list behind it.

#include "mediadb/databaselist.h"

#include <cstdint>
#include <string>
#include <vector>

class QTreeWidget;

// The database tree as the database list sees it.
class TreeCheckList : public CheckList {
public:
    explicit TreeCheckList(QTreeWidget& tree) : m_tree(tree) {}
    void Clear() override;
    void InsertFirst(const std::string& text, std::uint32_t number, bool checked) override;
    int Count() const override;
    std::uint32_t Number(int index) const override;
    bool Checked(int index) const override;
    void SetAllChecked(bool checked);

private:
    QTreeWidget& m_tree;
};

class DatabasePanel {
public:
    explicit DatabasePanel(QTreeWidget& tree);

    // Replaces the list by the databases found on these volumes.
    void Discover(const std::vector<platform::Volume>& volumes);
    // Adds a database by hand, keeping the check marks the user set.
    void Add(const std::string& path);
    // The check marks as the user left them, in the list's order.
    std::vector<std::string> CheckedPaths();
    void SetAllChecked(bool checked);
    // Deletes the checked databases with their companion files, then looks
    // for databases again.
    void DeleteChecked(platform::FileOpUi& ui, const std::vector<platform::Volume>& volumes);

    QTreeWidget& Tree() const { return m_tree; }
    DatabaseList& Databases() { return m_databases; }

private:
    void FillTree();

    QTreeWidget& m_tree;
    TreeCheckList m_checks;
    DatabaseList m_databases;
};
