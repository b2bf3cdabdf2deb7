#include "app/databasepanel.h"

#include "platform/qtext.h"

#include <QHeaderView>
#include <QTreeWidget>

void TreeCheckList::Clear() {
    m_tree.clear();
}

void TreeCheckList::InsertFirst(const std::string& text, std::uint32_t number, bool checked) {
    auto* item = new QTreeWidgetItem();
    item->setText(0, ToQt(text));
    // Long paths are cut at the tree's edge; the tooltip shows them whole.
    item->setToolTip(0, ToQt(text));
    item->setData(0, Qt::UserRole, number);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    m_tree.insertTopLevelItem(0, item);
}

int TreeCheckList::Count() const {
    return m_tree.topLevelItemCount();
}

std::uint32_t TreeCheckList::Number(int index) const {
    return m_tree.topLevelItem(index)->data(0, Qt::UserRole).toUInt();
}

bool TreeCheckList::Checked(int index) const {
    return m_tree.topLevelItem(index)->checkState(0) == Qt::Checked;
}

void TreeCheckList::SetAllChecked(bool checked) {
    for (int i = 0; i < Count(); ++i)
        m_tree.topLevelItem(i)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

DatabasePanel::DatabasePanel(QTreeWidget& tree) : m_tree(tree), m_checks(tree) {
    // The column is as wide as the longest path, so a horizontal scroll bar
    // reaches the end of every path.
    m_tree.setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_tree.header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_tree.header()->setStretchLastSection(false);
}

void DatabasePanel::FillTree() {
    m_databases.FillTree(m_checks);
}

void DatabasePanel::Discover(const std::vector<platform::Volume>& volumes) {
    m_databases.Discover(volumes);
    FillTree();
}

void DatabasePanel::Add(const std::string& path) {
    m_databases.ReadChecks(m_checks);
    m_databases.AddDatabase(path);
    FillTree();
}

std::vector<std::string> DatabasePanel::CheckedPaths() {
    m_databases.ReadChecks(m_checks);
    return m_databases.CheckedPaths();
}

void DatabasePanel::SetAllChecked(bool checked) {
    m_checks.SetAllChecked(checked);
    m_databases.ReadChecks(m_checks);
}

void DatabasePanel::DeleteChecked(platform::FileOpUi& ui,
                                  const std::vector<platform::Volume>& volumes) {
    m_databases.ReadChecks(m_checks);
    m_databases.DeleteChecked(ui);
    Discover(volumes);
}
