#include "app/databasemodel.h"

#include "platform/qtext.h"

DatabaseModel::DatabaseModel(DatabaseList& databases, QObject* parent)
    : QAbstractListModel(parent), m_databases(databases), m_rows(databases.ShownOrder()) {}

void DatabaseModel::Reload() {
    beginResetModel();
    m_rows = m_databases.ShownOrder();
    endResetModel();
}

void DatabaseModel::SetAllChecked(bool checked) {
    m_databases.SetAllChecked(checked);
    if (!m_rows.empty())
        emit dataChanged(index(0), index(rowCount() - 1), {Qt::CheckStateRole});
}

int DatabaseModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

DatabaseEntry* DatabaseModel::entryAt(const QModelIndex& index) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return nullptr;
    return m_databases.Entry(m_rows[static_cast<std::size_t>(index.row())]);
}

QVariant DatabaseModel::data(const QModelIndex& index, int role) const {
    const DatabaseEntry* entry = entryAt(index);
    if (entry == nullptr)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    // Long paths are cut at the tree's edge; the tooltip shows them whole.
    case Qt::ToolTipRole:
        return ToQt(entry->path);
    case Qt::CheckStateRole:
        return static_cast<int>(entry->checked ? Qt::Checked : Qt::Unchecked);
    default:
        return {};
    }
}

bool DatabaseModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    DatabaseEntry* entry = entryAt(index);
    if (entry == nullptr || role != Qt::CheckStateRole)
        return false;
    entry->checked = value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags DatabaseModel::flags(const QModelIndex& index) const {
    if (entryAt(index) == nullptr)
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable |
           Qt::ItemNeverHasChildren;
}
