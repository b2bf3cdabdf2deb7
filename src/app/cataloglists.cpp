#include "app/cataloglists.h"

#include "app/mediainfopanel.h"
#include "feedback/log.h"
#include "mediadb/essencetext.h"
#include "mediadb/mediacatalog.h"
#include "mediadb/mediaendings.h"
#include "omf/omfreader.h"
#include "platform/directory.h"
#include "platform/formatting.h"
#include "platform/qtext.h"
#include "resources/bitmaps.h"
#include "widgets/pixelart.h"
#include "widgets/progresswindow.h"
#include "widgets/sortablelistview.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>

#include <algorithm>
#include <strings.h>
#include <unordered_map>

namespace {

constexpr int column(MediaColumn c) {
    return static_cast<int>(c);
}

// The compression's short name, as the list shows it.
std::string compressionName(std::uint32_t code) {
    char buffer[30];
    return CompressionName(code, buffer, sizeof buffer);
}

} // namespace

std::string MediaColumnText(const MediaRecord& r, MediaColumn c) {
    const bool exists = !IsMissing(r);
    switch (c) {
    case MediaColumn::FileName:
        return r.fileName.str();
    case MediaColumn::Size:
        return platform::FormatByteSize(r.size);
    case MediaColumn::NameInBin:
        return r.nameInBin.str();
    case MediaColumn::Status: {
        if (!exists)
            return "Not Exist";
        const auto attributes = static_cast<std::uint32_t>(r.attributes);
        if (attributes & platform::kAttrReadOnly)
            return "!Locked";
        if (attributes & platform::kAttrDirectory)
            return ".DIR.";
        return {};
    }
    case MediaColumn::Path:
        return r.folder.str();
    case MediaColumn::CreationDate:
        return exists && r.creationTime != 0 ? platform::FormatFileTime(r.creationTime)
                                             : std::string();
    case MediaColumn::Compression:
        if (!exists)
            return {};
        if (r.codecName[0] != '\0')
            return r.codecName.str();
        return r.compressionCode != 0 ? compressionName(r.compressionCode) : std::string();
    case MediaColumn::ProjectName:
        return r.projectName.str();
    case MediaColumn::SourceName:
        return exists ? std::string(r.sourceName) : std::string();
    case MediaColumn::Duration:
        return exists ? DurationText(r) : std::string();
    case MediaColumn::Resolution:
        return exists ? ResolutionText(r) : std::string();
    case MediaColumn::FrameRate:
        return exists ? FrameRateText(r) : std::string();
    }
    return {};
}

CatalogLists::CatalogLists(Controls controls, MediaCatalog& catalog, MediaInfoPanel& info,
                           QWidget* owner)
    : m_summary(controls.summary), m_projects(controls.projects), m_files(controls.files),
      m_fileCount(controls.fileCount), m_selectionSummary(controls.selectionSummary),
      m_catalog(catalog), m_info(info), m_owner(owner),
      m_headerMarkSorted(BitmapPixmap(res::IDB_HEADER_SORTED)),
      m_headerMarkPlain(BitmapPixmap(res::IDB_HEADER_PLAIN)) {
    m_files.SetTextSource([this](std::uint32_t index, int c) {
        const MediaRecord* record = m_catalog.GetRecord(index);
        if (record == nullptr)
            return std::string();
        // A bin's file that was not found shows where the bin said it lay.
        if (static_cast<MediaColumn>(c) == MediaColumn::Path && IsMissing(*record)) {
            if (const std::string* folder = m_catalog.BinFolder(index))
                return *folder;
        }
        return MediaColumnText(*record, static_cast<MediaColumn>(c));
    });
    connect(&m_projects, &ListView::itemChanged, this, &CatalogLists::OnProjectItemChanged);
    connect(&m_projects, &ListView::selectionChangeDone, this, [this] {
        ApplyPendingRows();
        UpdateSelectionSummary();
    });
    connect(&m_files, &ListView::itemChanged, this, &CatalogLists::OnFileItemChanged);
    connect(&m_projects, &SortableListView::selectAllRequested, this,
            [this] { SelectAllRows(m_projects); });
    connect(&m_files, &SortableListView::selectAllRequested, this,
            [this] { SelectAllRows(m_files); });
    connect(&m_projects, &ListView::headerClicked, this,
            [this](int c) { SortList(m_projects, c); });
    connect(&m_files, &ListView::headerClicked, this, [this](int c) { SortList(m_files, c); });
}

void CatalogLists::SetUp() {
    m_projects.SetColumns({{"Project", 150}, {"Size", 82}});
    // A date late in a year, late in a day, with two-digit days: as wide as
    // the locale's date and time get.
    const std::uint64_t lateDate = (977957938ull + 11644473600ull) * 10000000ull;
    m_files.SetColumns({{"Media File", 190},
                        {"Size", 60, "999 bytes"},
                        {"Name in bin", 190},
                        {"*Status", 80},
                        {"Path", 100},
                        {"Creation Date", 100, platform::FormatFileTime(lateDate)},
                        {"Comp", 60},
                        {"Project Name", 200},
                        {"Source Name", 200},
                        {"Duration", 80, "00:00:00;00"},
                        {"Resolution", 80, "9999 x 9999"},
                        {"Frame Rate", 60, "23.976"}});
    FillSummaryList();
    MarkHeadersPlain(m_files);
    MarkHeadersPlain(m_projects);
    m_summaryLive = true;
}

void CatalogLists::FillSummaryList() {
    m_summary.SetColumns({{"Info", 70}, {"", 80}});
    m_summary.InsertRow(-1, "Projects", 0);
    m_summary.InsertRow(-1, "Files", 1);
    m_summary.InsertRow(-1, "Size", 2);
    m_summary.SetText(0, 1, std::to_string(m_catalog.ProjectCount()));
    m_summary.SetText(1, 1, std::to_string(m_catalog.FileCount()));
    m_summary.SetText(2, 1, platform::FormatByteSize(m_catalog.TotalSize()));
}

void CatalogLists::FillProjectList() {
    ListView& list = m_projects;
    list.SetColumns({{"Project", 150}, {"Size", 82}});
    for (const auto& [name, project] : m_catalog.Projects()) {
        // The list keeps its rows sorted by text as they are inserted.
        int at = 0;
        while (at < list.RowCount() &&
               strcasecmp(list.Text(at, 0).c_str(), project.name.c_str()) <= 0)
            ++at;
        list.InsertRow(at, project.name, project.projectNumber);
        const int row = list.FindText(project.name);
        if (row >= 0)
            list.SetText(row, 1, platform::FormatByteSize(project.totalSize));
    }
}

void CatalogLists::ClearFileAndProjectLists() {
    m_pendingRemoval.clear();
    m_removalPending = false;
    m_pendingAddition.clear();
    m_rebuildPending = false;
    m_files.DeleteAllRows();
    m_files.repaint();
    m_projects.DeleteAllRows();
}

void CatalogLists::FitSummaryList() {
    const int needed = m_summary.horizontalHeader()->sizeHint().height() +
                       3 * m_summary.verticalHeader()->defaultSectionSize() +
                       2 * m_summary.frameWidth();
    const int extra = needed - m_summary.height();
    if (extra <= 0)
        return;
    m_summary.resize(m_summary.width(), needed);
    QRect rest = m_projects.geometry();
    rest.setTop(rest.top() + extra);
    m_projects.setGeometry(rest);
}

void CatalogLists::MarkHeadersPlain(ListView& list) {
    for (int c = 0; c < list.ColumnCount(); ++c)
        list.SetHeaderMark(c, m_headerMarkPlain);
}

void CatalogLists::UpdateSelectionSummary() {
    if (!m_summaryLive)
        return;
    const int n = m_files.SelectedCount();
    std::string text;
    if (n == 0) {
        text = "no items selected";
        m_selectedBytes = 0;
    } else if (n == 1) {
        text = "1 item selected \n " + platform::FormatByteSize(m_selectedBytes);
    } else {
        text =
            std::to_string(n) + " items selected \n " + platform::FormatByteSize(m_selectedBytes);
    }
    if (m_selectionSummary != nullptr)
        m_selectionSummary->setText(ToQt(text));
}

void CatalogLists::UpdateFileCount() {
    if (m_fileCount != nullptr)
        m_fileCount->setText(QString::number(m_files.RowCount()) + QStringLiteral(" item(s)"));
}

void CatalogLists::Find(const FindRequest& request) {
    const bool narrow =
        m_find != nullptr && m_files.IsFiltered() && request.Narrows(m_find->Request());
    auto filter = std::make_shared<MediaFilter>(m_catalog, request);
    ListView::RowFilter accepts = [filter](std::uint32_t index, const ListView::OwnTexts* own) {
        return filter->Accepts(index, own);
    };
    ListView::RowAhead ahead = [filter](std::uint32_t index) { filter->Ahead(index); };
    // A long list is shared among threads, each with a filter of its own:
    // a filter keeps what it judged. Nothing changes the catalog meanwhile.
    const ListView::FilterShare share = [filter] {
        auto copy = std::make_shared<MediaFilter>(*filter);
        return std::make_pair(
            ListView::RowFilter([copy](std::uint32_t index, const ListView::OwnTexts* own) {
                return copy->Accepts(index, own);
            }),
            ListView::RowAhead([copy](std::uint32_t index) { copy->Ahead(index); }));
    };
    m_find = std::move(filter);
    m_summaryLive = false;
    TakeOffSelection(narrow ? m_files.NarrowFilter(std::move(accepts), ahead, share)
                            : m_files.SetFilter(std::move(accepts), ahead, share));
    m_summaryLive = true;
    UpdateFileCount();
    UpdateSelectionSummary();
}

void CatalogLists::EndFind() {
    m_find.reset();
    m_files.ClearFilter();
    UpdateFileCount();
    UpdateSelectionSummary();
}

void CatalogLists::TakeOffSelection(const std::vector<std::uint32_t>& catalogIndexes) {
    if (catalogIndexes.size() > static_cast<std::size_t>(m_files.SelectedCount())) {
        // Fewer rows stay selected than left: their sizes are added up
        // instead (a find that hides most of a million selected rows).
        m_selectedBytes = 0;
        for (int row : m_files.SelectedRows()) {
            if (const MediaRecord* record = m_catalog.GetRecord(m_files.ItemData(row)))
                m_selectedBytes += record->size;
        }
    } else {
        for (std::uint32_t index : catalogIndexes) {
            if (const MediaRecord* record = m_catalog.GetRecord(index))
                m_selectedBytes -= record->size;
        }
    }
    if (!catalogIndexes.empty() && m_files.SelectedCount() == 0)
        m_info.Clear();
}

void CatalogLists::SelectAllRows(ListView& list) {
    m_info.CloseMediaFile();
    m_summaryLive = false;
    list.SelectAllRows();
    m_summaryLive = true;
    UpdateSelectionSummary();
}

void CatalogLists::GatherAddition(const std::string& name, Progress* progress) {
    const ProjectRecord* project = m_catalog.FindProject(name);
    const std::uint64_t n = project != nullptr ? project->files.size() : 0;
    if (progress != nullptr) {
        progress->SetText("Adding " + name);
        if (auto* window = dynamic_cast<QWidget*>(progress))
            window->show();
    }
    if (project == nullptr)
        return;
    // Projects are gathered one after another: grow by half at least, or
    // each project would copy all the rows gathered before it.
    const std::size_t wanted = m_pendingAddition.size() + static_cast<std::size_t>(n);
    if (wanted > m_pendingAddition.capacity())
        m_pendingAddition.reserve(std::max(wanted, m_pendingAddition.capacity() * 3 / 2));
    std::uint64_t i = 0;
    for (const auto& [fileName, record] : project->files) {
        if (progress != nullptr)
            progress->Step(i, n);
        ++i;
        m_pendingAddition.push_back(record.catalogIndex);
    }
}

void CatalogLists::GatherRemoval(const std::string& name, Progress* progress) {
    const ProjectRecord* project = m_catalog.FindProject(name);
    const std::uint64_t n = project != nullptr ? project->files.size() : 0;
    if (progress != nullptr) {
        progress->SetText("Please Wait - Cleaning Up");
        if (auto* window = dynamic_cast<QWidget*>(progress))
            window->show();
    }
    if (project == nullptr)
        return;
    if (m_pendingRemoval.size() < m_catalog.FileCount())
        m_pendingRemoval.resize(m_catalog.FileCount(), 0);
    std::uint64_t i = 0;
    for (const auto& [fileName, record] : project->files) {
        if (progress != nullptr)
            progress->Step(i, n);
        ++i;
        if (record.catalogIndex < m_pendingRemoval.size())
            m_pendingRemoval[record.catalogIndex] = 1;
    }
    m_removalPending = true;
}

void CatalogLists::ShowDuplicates(const DuplicateMedia& duplicates) {
    const int shown = m_projects.FindItemData(kDuplicatesItem);
    const bool wasSelected = shown >= 0 && m_projects.IsSelected(shown);
    if (shown >= 0)
        m_projects.RemoveRows([](std::uint32_t item) { return item == kDuplicatesItem; });
    int at = 0;
    while (at < m_projects.RowCount() &&
           strcasecmp(m_projects.Text(at, 0).c_str(), kDuplicatesProject) <= 0)
        ++at;
    const int row = m_projects.InsertRow(at, kDuplicatesProject, kDuplicatesItem);
    m_projects.SetText(row, static_cast<int>(ProjectColumn::Size),
                       platform::FormatByteSize(duplicates.FreedBytes()));
    if (wasSelected) {
        // Its rows are of the search before: the list is made anew.
        m_rebuildPending = true;
        m_projects.SetSelected(row, true);
        ApplyPendingRows();
        UpdateSelectionSummary();
    }
}

bool CatalogLists::ShowsDuplicates() const {
    const int row = m_projects.FindItemData(kDuplicatesItem);
    return row >= 0 && m_projects.IsSelected(row);
}

void CatalogLists::RebuildFileRows() {
    m_files.DeleteAllRows();
    std::vector<std::uint32_t> items;
    for (const int row : m_projects.SelectedRows()) {
        if (m_projects.ItemData(row) == kDuplicatesItem) {
            if (const DuplicateMedia* duplicates = m_catalog.Duplicates())
                items.insert(items.end(), duplicates->Copies().begin(), duplicates->Copies().end());
        } else if (const ProjectRecord* project = m_catalog.FindProject(m_projects.Text(row, 0))) {
            for (const auto& [fileName, record] : project->files)
                items.push_back(record.catalogIndex);
        }
    }
    m_files.AppendItems(items);
}

void CatalogLists::ApplyPendingRows() {
    if (m_rebuildPending) {
        m_rebuildPending = false;
        m_removalPending = false;
        std::fill(m_pendingRemoval.begin(), m_pendingRemoval.end(), 0);
        m_pendingAddition.clear();
        m_files.hide();
        RebuildFileRows();
        m_files.show();
        UpdateFileCount();
        return;
    }
    if (!m_removalPending && m_pendingAddition.empty())
        return;
    m_files.hide();
    if (m_removalPending) {
        m_removalPending = false;
        m_files.RemoveRows([this](std::uint32_t index) {
            return index < m_pendingRemoval.size() && m_pendingRemoval[index] != 0;
        });
        std::fill(m_pendingRemoval.begin(), m_pendingRemoval.end(), 0);
    }
    m_files.AppendItems(m_pendingAddition);
    m_pendingAddition.clear();
    m_pendingAddition.shrink_to_fit();
    m_files.show();
    UpdateFileCount();
}

void CatalogLists::OnProjectItemChanged(int row, bool wasSelected, bool isSelected) {
    MarkHeadersPlain(m_files);
    m_info.Clear();
    m_summaryLive = false;
    if (row >= 0 && isSelected != wasSelected &&
        (m_projects.ItemData(row) == kDuplicatesItem || ShowsDuplicates())) {
        m_rebuildPending = true;
    } else if (row >= 0 && isSelected != wasSelected) {
        const std::string name = m_projects.Text(row, 0);
        auto progress = ProgressWindow::Start(m_owner, res::IDD_PROGRESS, false);
        // The rows change once the whole change of the selection is known.
        if (isSelected)
            GatherAddition(name, progress.get());
        else
            GatherRemoval(name, progress.get());
        progress.reset();
    }
    m_summaryLive = true;
    UpdateSelectionSummary();
}

void CatalogLists::OnFileItemChanged(int row, bool wasSelected, bool isSelected) {
    MediaRecord* record = m_catalog.GetRecord(m_files.ItemData(row));
    if (record != nullptr && isSelected != wasSelected) {
        if (isSelected)
            m_selectedBytes += record->size;
        else
            m_selectedBytes -= record->size;
    }
    const int n = m_files.SelectedCount();
    if (n == 0) {
        m_info.Clear();
    } else if (n == 1 && record != nullptr) {
        const std::string name = m_files.Text(row, column(MediaColumn::FileName));
        if (HasMediaEnding(name, kEndingReadFacts)) {
            // The source column of an MXF row keeps what it showed, unless
            // the file itself was read.
            const bool keepSource = name.ends_with("mxf") && !m_info.ReadsMxf();
            const std::string source = m_files.Text(row, column(MediaColumn::SourceName));
            m_info.ShowMediaInfo(record);
            if (keepSource && source != MediaColumnText(*record, MediaColumn::SourceName))
                m_files.SetText(row, column(MediaColumn::SourceName), source);
            RefreshFileRows();
        } else {
            m_info.Clear();
        }
    }
    UpdateSelectionSummary();
}

int CatalogLists::FirstSelected() const {
    return m_files.FirstSelected();
}

std::vector<int> CatalogLists::SelectedRows() const {
    return m_files.SelectedRows();
}

std::uint32_t CatalogLists::CatalogIndex(int row) const {
    return m_files.ItemData(row);
}

void CatalogLists::SetStatus(int row, const std::string& text) {
    m_files.SetText(row, column(MediaColumn::Status), text);
}

void CatalogLists::SelectAll() {
    SelectAllRows(m_files);
}

void CatalogLists::Deselect(int row) {
    m_files.SetSelected(row, false);
}

void CatalogLists::Select(int row) {
    m_files.SetSelected(row, true);
}

void CatalogLists::FactsRead(int row) {
    const MediaRecord* record = m_catalog.GetRecord(m_files.ItemData(row));
    if (record == nullptr)
        return;
    m_files.SetText(row, column(MediaColumn::NameInBin), record->nameInBin.str());
    m_files.SetText(row, column(MediaColumn::SourceName), record->sourceName.str());
    for (MediaColumn c : {MediaColumn::Duration, MediaColumn::Resolution, MediaColumn::FrameRate})
        m_files.SetText(row, column(c), MediaColumnText(*record, c));
    if (record->compressionCode != 0 || record->codecName[0] != '\0')
        m_files.SetText(row, column(MediaColumn::Compression),
                        MediaColumnText(*record, MediaColumn::Compression));
}

void CatalogLists::RefreshFileRows() {
    m_files.viewport()->update();
}

void CatalogLists::SortList(ListView& list, int c) {
    for (int i = list.ColumnCount() - 1; i >= 0; --i)
        list.SetHeaderMark(i, i == c ? m_headerMarkSorted : m_headerMarkPlain);
    if (&list == &m_projects) {
        // Projects compare by the name their row shows.
        std::unordered_map<std::uint32_t, std::string> names;
        for (int row = 0; row < list.RowCount(); ++row)
            names[list.ItemData(row)] = list.Text(row, 0);
        const DuplicateMedia* duplicates = m_catalog.Duplicates();
        if (c == static_cast<int>(ProjectColumn::Name)) {
            list.SortByText([&](std::uint32_t number) { return names[number].c_str(); });
        } else if (c == static_cast<int>(ProjectColumn::Size)) {
            list.SortByNumber(
                [&](std::uint32_t number) -> std::uint64_t {
                    if (number == kDuplicatesItem)
                        return duplicates != nullptr ? duplicates->FreedBytes() : 0;
                    const ProjectRecord* project = m_catalog.FindProject(names[number]);
                    return project != nullptr ? project->totalSize : 0;
                },
                true);
        }
        return;
    }
    auto record = [this](std::uint32_t index) { return m_catalog.GetRecord(index); };
    auto text = [&](auto field) {
        list.SortByText([&](std::uint32_t index) -> const char* {
            const MediaRecord* r = record(index);
            return r != nullptr ? r->*field : "";
        });
    };
    auto larger = [&](auto field) {
        list.SortByNumber(
            [&](std::uint32_t index) -> std::uint64_t {
                const MediaRecord* r = record(index);
                return r != nullptr ? r->*field : 0;
            },
            true);
    };
    auto number = [&](auto of) {
        list.SortByNumber(
            [&](std::uint32_t index) -> std::uint64_t {
                const MediaRecord* r = record(index);
                return r != nullptr && !IsMissing(*r) ? of(*r) : 0;
            },
            true);
    };
    switch (static_cast<MediaColumn>(c)) {
    case MediaColumn::FileName:
        return text(&MediaRecord::fileName);
    case MediaColumn::Size:
        return larger(&MediaRecord::size);
    case MediaColumn::NameInBin:
        return text(&MediaRecord::nameInBin);
    case MediaColumn::Status:
        return; // marked, not sorted
    case MediaColumn::Path:
        return text(&MediaRecord::folder);
    case MediaColumn::CreationDate:
        return larger(&MediaRecord::creationTime);
    case MediaColumn::Compression:
        return larger(&MediaRecord::compressionCode);
    case MediaColumn::ProjectName:
        return text(&MediaRecord::projectName);
    case MediaColumn::SourceName:
        return text(&MediaRecord::sourceName);
    case MediaColumn::Duration:
        // By length in time, so that files of different rates compare: in
        // microseconds, which tell any two frame counts of one rate apart
        // (a crafted count beyond 500,000 years sorts as that).
        return number([](const MediaRecord& r) -> std::uint64_t {
            const double microseconds = DurationSeconds(r) * 1e6;
            return microseconds < 1.8e19 ? static_cast<std::uint64_t>(microseconds + 0.5)
                                         : UINT64_MAX;
        });
    case MediaColumn::Resolution:
        return number([](const MediaRecord& r) {
            return IsSound(r) ? 0 : std::uint64_t{r.width} * r.height;
        });
    case MediaColumn::FrameRate:
        // In millionths of a frame a second: 23.976 below 24.
        return number([](const MediaRecord& r) -> std::uint64_t {
            if (IsSound(r) || r.rate == 0)
                return 0;
            return std::uint64_t{RateNumerator(r.rate)} * 1000000 / RateDenominator(r.rate);
        });
    }
}

const MediaRecord* CatalogLists::FirstSelectedRecord() const {
    const int row = m_files.FirstSelected();
    return row >= 0 ? m_catalog.GetRecord(m_files.ItemData(row)) : nullptr;
}

void CatalogLists::CopyPathToClipboard() const {
    const MediaRecord* record = FirstSelectedRecord();
    if (record == nullptr)
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        Log("Cannot open the Clipboard");
        return;
    }
    clipboard->setText(ToQt(record->folder));
    if (clipboard->text() != ToQt(record->folder))
        Log("Unable to set Clipboard data");
}
