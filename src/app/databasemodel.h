#pragma once
// The database list as the database tree shows it: one row per database,
// its path and its check mark, in the order the list shows them. The check
// marks are the list's own: the user's clicks set them there.

#include "mediadb/databaselist.h"

#include <QAbstractListModel>

#include <cstdint>
#include <vector>

class DatabaseModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit DatabaseModel(DatabaseList& databases, QObject* parent = nullptr);

    // Shows the list anew after databases were found or added.
    void Reload();
    // Checks or unchecks every database.
    void SetAllChecked(bool checked);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    DatabaseEntry* entryAt(const QModelIndex& index) const;

    DatabaseList& m_databases;
    // The database number of each row.
    std::vector<std::uint32_t> m_rows;
};
