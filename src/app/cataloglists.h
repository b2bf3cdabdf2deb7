#pragma once
// The catalog as the main window lists it: the summary list (projects,
// files, total size), the project list and the media file list of the
// selected projects, with their header marks, sorting, the selection summary
// and the file count. The media file list is a view over the catalog: a row
// is a catalog index, its texts are made from the record when painted.

#include "app/mediafilter.h"
#include "fileops/mediafileops.h"

#include <QObject>
#include <QPixmap>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class DuplicateMedia;
class ListView;
class MediaCatalog;
class MediaInfoPanel;
class Progress;
class QLabel;
class QWidget;
class SortableListView;
struct MediaRecord;

// The columns of the media file list.
enum class MediaColumn {
    FileName = 0,
    Size = 1,
    NameInBin = 2,
    Status = 3,
    Path = 4,
    CreationDate = 5,
    Compression = 6,
    ProjectName = 7,
    SourceName = 8,
    // An MXF file's essence (empty for other files).
    Duration = 9,
    Resolution = 10,
    FrameRate = 11,
};
inline constexpr int kMediaColumnCount = 12;

// The columns of the project list.
enum class ProjectColumn { Name = 0, Size = 1 };

// The item data of the project list's row of the duplicates, a number no
// project has.
inline constexpr std::uint32_t kDuplicatesItem = 0xFFFFFFFFu;

// The text a media file row shows in a column, made from its record.
std::string MediaColumnText(const MediaRecord& record, MediaColumn column);

// The media file list's selection is what the file operations and the
// analysis walk.
class CatalogLists : public QObject, public FileSelection {
    Q_OBJECT

public:
    struct Controls {
        ListView& summary;
        SortableListView& projects;
        SortableListView& files;
        QLabel* fileCount;
        QLabel* selectionSummary;
    };

    // owner is the window the progress windows belong to.
    CatalogLists(Controls controls, MediaCatalog& catalog, MediaInfoPanel& info, QWidget* owner);

    // Installs the column sets of the three lists and marks the headers.
    void SetUp();
    void FillProjectList();
    void FillSummaryList();
    // Grows the summary list until its header and three rows show whole;
    // the project list below gives up the room.
    void FitSummaryList();
    // Empties the media file list and the project list.
    void ClearFileAndProjectLists();
    void MarkHeadersPlain(ListView& list);
    void UpdateSelectionSummary();
    // Ctrl+A in a sortable list.
    void SelectAllRows(ListView& list);
    // A click on a column header of a sortable list.
    void SortList(ListView& list, int column);
    // The catalog changed under the media file list's rows: repaint them.
    void RefreshFileRows();
    // Adds the duplicates the catalog found to the project list as a
    // project of their own, or shows them anew there, with the bytes that
    // keeping one copy of each would free as its size.
    void ShowDuplicates(const DuplicateMedia& duplicates);
    // Whether the duplicates are among the selected projects: the media file
    // list then holds their copies.
    bool ShowsDuplicates() const override;
    // The record of the first selected media file; null when none.
    const MediaRecord* FirstSelectedRecord() const;
    // Puts the first selected file's folder on the clipboard.
    void CopyPathToClipboard() const;
    // Forgets the selection total, as a new scan does.
    void ResetSelectedBytes() { m_selectedBytes = 0; }
    // Shows only the media files the request finds, among the rows of the
    // selected projects now and later, until EndFind. Rows it hides lose
    // their selection. A text that only adds to the one in force narrows
    // what that found rather than testing every row again.
    void Find(const FindRequest& request);
    // Shows every row of the selected projects again.
    void EndFind();
    // The request in force; null when every row is shown.
    const FindRequest* Finding() const { return m_find ? &m_find->Request() : nullptr; }

    SortableListView& ProjectList() const { return m_projects; }
    SortableListView& FileList() const { return m_files; }
    ListView& SummaryList() const { return m_summary; }

    // The selection of the media file list.
    int FirstSelected() const override;
    std::vector<int> SelectedRows() const override;
    std::uint32_t CatalogIndex(int row) const override;
    void SetStatus(int row, const std::string& text) override;
    void Deselect(int row) override;
    void Select(int row) override;
    std::uint64_t SelectedBytes() const override { return m_selectedBytes; }
    void SelectAll() override;
    void FactsRead(int row) override;

private:
    void OnProjectItemChanged(int row, bool wasSelected, bool isSelected);
    void OnFileItemChanged(int row, bool wasSelected, bool isSelected);
    // Gathers what a project's selection change does to the media file list.
    void GatherAddition(const std::string& project, Progress* progress);
    void GatherRemoval(const std::string& project, Progress* progress);
    // Applies what was gathered: first the removals, then the additions in
    // the order the projects were selected.
    void ApplyPendingRows();
    void UpdateFileCount();
    // Lists the files of the selected projects anew, in the project list's
    // order: a file of a project and of the duplicates shows twice, and
    // gathering by catalog index could not tell the two rows apart.
    void RebuildFileRows();
    // Rows that were selected went out of sight: their sizes leave the total.
    void TakeOffSelection(const std::vector<std::uint32_t>& catalogIndexes);

    ListView& m_summary;
    SortableListView& m_projects;
    SortableListView& m_files;
    QLabel* m_fileCount;
    QLabel* m_selectionSummary;
    MediaCatalog& m_catalog;
    MediaInfoPanel& m_info;
    QWidget* m_owner;

    QPixmap m_headerMarkSorted;
    QPixmap m_headerMarkPlain;
    bool m_summaryLive = false;
    std::uint64_t m_selectedBytes = 0;
    // The rows one change of the project selection removes and adds: the
    // whole change goes through the list in one pass, however many projects
    // it selects or unselects. Removals are flags by catalog index.
    std::vector<std::uint8_t> m_pendingRemoval;
    bool m_removalPending = false;
    std::vector<std::uint32_t> m_pendingAddition;
    bool m_rebuildPending = false;
    std::shared_ptr<MediaFilter> m_find;
};
