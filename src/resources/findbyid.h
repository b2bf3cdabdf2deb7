#pragma once
// Looks a numbered resource up in a table of them.

template <class Table> const typename Table::value_type* FindById(const Table& table, int id) {
    for (const auto& entry : table) {
        if (entry.id == id)
            return &entry;
    }
    return nullptr;
}
