#include "app/listexport.h"

#include "app/cataloglists.h"

#include "io/csv.h"
#include "mediadb/mediacatalog.h"
#include "platform/formatting.h"
#include "widgets/listview.h"

#include <functional>
#include <vector>

namespace {

using Fields = std::vector<std::string>;

std::string listCsv(const ListView& list, const Fields& extraTitles,
                    const std::function<Fields(int row)>& extras) {
    const std::vector<int> columns = list.ShownColumns();
    Fields fields;
    for (int column : columns)
        fields.push_back(list.ColumnTitle(column));
    fields.insert(fields.end(), extraTitles.begin(), extraTitles.end());
    std::string csv = CsvLine(fields);
    for (int row = 0; row < list.RowCount(); ++row) {
        fields.clear();
        for (int column : columns)
            fields.push_back(list.Text(row, column));
        const Fields more = extras(row);
        fields.insert(fields.end(), more.begin(), more.end());
        csv += CsvLine(fields);
    }
    return csv;
}

} // namespace

std::string MediaListCsv(const ListView& files, const MediaCatalog& catalog) {
    return listCsv(files, {"Size (bytes)", "Creation Date (UTC)", "Full Path"}, [&](int row) {
        const MediaRecord* record = catalog.GetRecord(files.ItemData(row));
        if (record == nullptr)
            return Fields(3);
        const bool exists = !IsMissing(*record);
        return Fields{std::to_string(record->size),
                      exists ? platform::FormatIsoTime(record->creationTime) : std::string(),
                      record->folder[0] != '\0' ? MediaCatalog::FullPath(*record) : std::string()};
    });
}

std::string ProjectListCsv(const ListView& projects, const MediaCatalog& catalog) {
    return listCsv(projects, {"Size (bytes)", "Files"}, [&](int row) {
        if (projects.ItemData(row) == kDuplicatesItem) {
            // The bytes keeping one copy of each would free, and the copies.
            const DuplicateMedia* duplicates = catalog.Duplicates();
            if (duplicates == nullptr)
                return Fields(2);
            return Fields{std::to_string(duplicates->FreedBytes()),
                          std::to_string(duplicates->Copies().size())};
        }
        const ProjectRecord* project = catalog.FindProject(projects.Text(row, 0));
        if (project == nullptr)
            return Fields(2);
        return Fields{std::to_string(project->totalSize), std::to_string(project->files.size())};
    });
}
