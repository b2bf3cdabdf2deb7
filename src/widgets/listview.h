#pragma once
// The report-style list of the program: rows with an item-data number and a
// text per column, a header whose columns can carry a mark, selection change
// notifications per row with the old and the new state, sorting over item
// data, and searches by item data or by text.
//
// A list either keeps the texts of its rows (small lists: a summary, a few
// projects) or is a view over data held elsewhere: a row is then its item
// data alone, and a text source makes its texts from the item data when they
// are painted. Single texts set on a row of a view (a status) are kept with
// the row and win over the source. A million rows cost a few bytes each.
//
// A list can be filtered: it then shows only the rows a filter accepts, and
// row numbers, counts, selection, texts and searches are those of the rows
// shown. Rows it hides keep their place among all rows: sorting orders them
// too, and clearing the filter shows every row in the list's order.

#include <QHeaderView>
#include <QPixmap>
#include <QTableView>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ListModel;

// A header that draws a column's mark at the right of its title.
class MarkedHeader : public QHeaderView {
    Q_OBJECT

public:
    explicit MarkedHeader(QWidget* parent);
    void SetMark(int column, const QPixmap& mark);
    QPixmap Mark(int column) const;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    std::vector<QPixmap> m_marks;
};

class ListView : public QTableView {
    Q_OBJECT

public:
    struct Column {
        std::string title;
        // Pixels for the dialog font the window templates are drawn for; the
        // list scales them to its own font.
        int width;
        // The column is at least as wide as this text needs: for texts whose
        // length the locale decides, such as dates.
        std::string widest = {};
    };
    // A row's column text made from its item data.
    using TextSource = std::function<std::string(std::uint32_t itemData, int column)>;
    // The texts a row keeps of its own, by column; a column without one
    // shows the source's text.
    using OwnTexts = std::vector<std::optional<std::string>>;
    // Whether a row is shown, from its item data and its own texts (null
    // when it keeps none).
    using RowFilter = std::function<bool(std::uint32_t itemData, const OwnTexts* own)>;
    // Told the item data of a row some places before the filter tests it,
    // so that the memory the filter reads can be fetched meanwhile: over a
    // million rows, waiting for memory is most of a filter's time.
    using RowAhead = std::function<void(std::uint32_t itemData)>;
    // Makes another filter that decides as the first does, for a share of
    // the rows tested on a thread of its own: a long list is tested on every
    // processor at once.
    using FilterShare = std::function<std::pair<RowFilter, RowAhead>()>;

    explicit ListView(QWidget* parent = nullptr);
    ~ListView() override;

    // Deletes all rows and columns and installs these columns.
    void SetColumns(const std::vector<Column>& columns);
    int ColumnCount() const;
    std::string ColumnTitle(int column) const;
    // The columns as the header shows them, left to right, hidden ones left
    // out.
    std::vector<int> ShownColumns() const;
    void SetSingleSelection(bool single);
    void SetHeaderClickable(bool clickable);
    // Makes the list a view: texts of rows come from the source.
    void SetTextSource(TextSource source);

    // Appends a row (at = -1) or inserts it before row at; returns its index.
    int InsertRow(int at, const std::string& text, std::uint32_t itemData);
    // Appends rows that keep no texts: a view's rows.
    void AppendItems(const std::vector<std::uint32_t>& itemData);
    void SetText(int row, int column, const std::string& text);
    std::string Text(int row, int column) const;
    std::uint32_t ItemData(int row) const;
    int RowCount() const;
    void DeleteAllRows();
    // Removes every row whose item data the predicate accepts. The selection
    // of the other rows stays; removed rows send no notification.
    void RemoveRows(const std::function<bool(std::uint32_t)>& remove);
    int FindItemData(std::uint32_t itemData) const;
    // The first row whose column-0 text equals text, ignoring letter case.
    int FindText(const std::string& text) const;
    // Sorts the rows by a number taken from each row's item data once:
    // ascending, or the larger first; equal rows keep their order and the
    // selection stays with its rows.
    void SortByNumber(const std::function<std::uint64_t(std::uint32_t)>& key, bool largerFirst);
    // The same with a text taken from each row once, ignoring letter case.
    void SortByText(const std::function<const char*(std::uint32_t)>& key);

    // Shows only the rows the filter accepts, testing every row; rows added
    // later are tested as they come. A row that is hidden loses its
    // selection without a notification: the item data of those rows are
    // returned, so that whoever totals the selection can take them off.
    std::vector<std::uint32_t> SetFilter(RowFilter filter, RowAhead ahead = {},
                                         const FilterShare& share = {});
    // The same, testing only the rows shown now: for a filter that refuses
    // every row the one in force refuses.
    std::vector<std::uint32_t> NarrowFilter(RowFilter filter, RowAhead ahead = {},
                                            const FilterShare& share = {});
    // Shows every row again, in the list's order; rows that were hidden come
    // back unselected.
    void ClearFilter();
    bool IsFiltered() const;
    // Every row, shown or hidden.
    int AllRowCount() const;

    bool IsSelected(int row) const;
    int SelectedCount() const { return m_selectedCount; }
    std::vector<int> SelectedRows() const;
    int FirstSelected() const;
    void SetSelected(int row, bool selected);
    // Selects every row; the notifications run from the last row to the first.
    void SelectAllRows();
    void ClearSelection();

    void SetHeaderMark(int column, const QPixmap& mark);
    QPixmap HeaderMark(int column) const;
    MarkedHeader* Header() const { return m_header; }

    // A width of a column template in pixels of this list's font.
    int ScaledWidth(int templatePixels) const;

Q_SIGNALS:
    // A row's selection changed.
    void itemChanged(int row, bool wasSelected, bool isSelected);
    // Sent after the itemChanged notifications of one change of the
    // selection, so that listeners can finish work they gathered.
    void selectionChangeDone();
    void headerClicked(int column);
    void rightClicked(QPoint position);
    void rowDoubleClicked(int row);
    // A key went down in the list; the list handles it as usual afterwards.
    void keyDown(int key);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    // Runs a change of the rows that keeps the selected rows selected without
    // notifications; returns the item data of selected rows no longer shown.
    std::vector<std::uint32_t> Reshape(const std::function<void()>& change);
    // Tests the rows against the filter: every row, or only those shown.
    std::vector<std::uint32_t> ApplyFilter(RowFilter filter, const RowAhead& ahead,
                                           const FilterShare& share, bool shownOnly);
    // Reorders the rows by a permutation: order[i] is the old index of row i.
    void Reorder(const std::vector<std::uint32_t>& order);

    ListModel* m_model;
    MarkedHeader* m_header;
    int m_selectedCount = 0;
    bool m_quiet = false;
};
