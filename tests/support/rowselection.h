#pragma once
// The media file list as a run or a job walks it: rows of catalog indexes
// with a selected mark and a status, and the rows whose facts were read.

#include "fileops/mediafileops.h"
#include "mediadb/mediacatalog.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

class RowSelection : public FileSelection {
public:
    struct Row {
        std::uint32_t index;
        bool selected;
        std::string status;
    };
    // Every record of the catalog a selected row, in the catalog's order.
    static RowSelection AllOf(const MediaCatalog& catalog) {
        RowSelection all;
        for (std::uint32_t i = 0; i < catalog.FileCount(); ++i)
            all.rows.push_back({i, true, ""});
        return all;
    }

    int FirstSelected() const override {
        const auto it =
            std::find_if(rows.begin(), rows.end(), [](const Row& r) { return r.selected; });
        return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
    }
    std::vector<int> SelectedRows() const override {
        std::vector<int> out;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].selected)
                out.push_back(static_cast<int>(i));
        }
        return out;
    }
    std::uint32_t CatalogIndex(int row) const override { return at(row).index; }
    void SetStatus(int row, const std::string& text) override { at(row).status = text; }
    void Deselect(int row) override { at(row).selected = false; }
    void Select(int row) override { at(row).selected = true; }
    std::uint64_t SelectedBytes() const override { return selectedBytes; }
    void SelectAll() override {
        for (Row& r : rows)
            r.selected = true;
    }
    void FactsRead(int row) override { read.push_back(row); }
    bool ShowsDuplicates() const override { return showsDuplicates; }

    std::vector<Row> rows;
    std::uint64_t selectedBytes = 0;
    std::vector<int> read;
    bool showsDuplicates = false;

private:
    Row& at(int row) { return rows[static_cast<std::size_t>(row)]; }
    const Row& at(int row) const { return rows[static_cast<std::size_t>(row)]; }
};
