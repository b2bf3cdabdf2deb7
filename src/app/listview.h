#pragma once
// The report-style list of the program: rows with an item-data number and a
// text per column, a header whose columns can carry a mark, selection change
// notifications per row with the old and the new state, sorting by a
// comparison over item data, and searches by item data or by text. It keeps
// its rows compactly and works in bulk, so that a million rows stay usable.

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QPixmap>
#include <QTreeView>

#include <cstdint>
#include <functional>
#include <string>
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

class ListView : public QTreeView {
    Q_OBJECT

public:
    struct Column {
        std::string title;
        int width;
    };
    // A row to append in bulk: its item data and its column texts.
    struct NewRow {
        std::uint32_t itemData;
        std::vector<std::string> texts;
    };

    explicit ListView(QWidget* parent = nullptr);
    ~ListView() override;

    // Deletes all rows and columns and installs these columns.
    void SetColumns(const std::vector<Column>& columns);
    int ColumnCount() const;
    void SetSingleSelection(bool single);
    void SetHeaderClickable(bool clickable);

    // Appends a row (at = -1) or inserts it before row at; returns its index.
    int InsertRow(int at, const std::string& text, std::uint32_t itemData);
    void AppendRows(std::vector<NewRow> rows);
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
    // Sorts the rows with a comparison of item data (negative: first before
    // second); the selection stays with its rows.
    void Sort(const std::function<int(std::uint32_t, std::uint32_t)>& compare);

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

Q_SIGNALS:
    // A row's selection changed.
    void itemChanged(int row, bool wasSelected, bool isSelected);
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
    // notifications.
    void Reshape(const std::function<void()>& change);

    ListModel* m_model;
    MarkedHeader* m_header;
    int m_selectedCount = 0;
    bool m_quiet = false;
};
