#include "app/databasepanel.h"

#include "feedback/prompter.h"

#include <QHeaderView>
#include <QTreeView>

DatabasePanel::DatabasePanel(QTreeView& tree) : m_tree(tree) {
    m_tree.setModel(&m_model);
    // The column is as wide as the longest path, so a horizontal scroll bar
    // reaches the end of every path.
    m_tree.setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_tree.header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_tree.header()->setStretchLastSection(false);
}

DatabasePanel::~DatabasePanel() {
    m_tree.setModel(nullptr);
}

void DatabasePanel::Discover(const std::vector<platform::Volume>& volumes) {
    m_databases.Discover(volumes);
    m_model.Reload();
}

void DatabasePanel::Add(const std::string& path) {
    m_databases.AddDatabase(path);
    m_model.Reload();
}

std::vector<std::string> DatabasePanel::CheckedPaths() const {
    return m_databases.CheckedPaths();
}

void DatabasePanel::SetAllChecked(bool checked) {
    m_model.SetAllChecked(checked);
}

void DatabasePanel::DeleteChecked(Prompter& prompter,
                                  const std::vector<platform::Volume>& volumes) {
    if (CheckedPaths().empty())
        return;
    if (prompter.ask({"All selected media databases and indexes will be "
                      "deleted\nThis action can not be undone!!!",
                      "Are You sure?",
                      MsgButtons::YesNo,
                      MsgIcon::Question,
                      {}}) != MsgAnswer::Yes)
        return;
    PromptingFileOpUi ui(prompter);
    m_databases.DeleteChecked(ui);
    Discover(volumes);
}
