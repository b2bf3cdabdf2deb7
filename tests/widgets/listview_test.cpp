#include "widgets/listview.h"

#include <QAbstractItemModel>

#include <gtest/gtest.h>

namespace {

struct Change {
    int row;
    bool was;
    bool is;
    bool operator==(const Change&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Change& c) {
    return os << "{" << c.row << " " << c.was << "->" << c.is << "}";
}

class ListViewTest : public ::testing::Test {
protected:
    // A view over rows 100..104: texts are made from the item data.
    ListViewTest() {
        list.SetColumns({{"Name", 100}, {"Size", 50}});
        list.SetTextSource([](std::uint32_t data, int column) {
            const std::uint32_t i = data - 100;
            return column == 0 ? "row" + std::to_string(i) : std::to_string(i * 10);
        });
        list.AppendItems({100, 101, 102, 103, 104});
        QObject::connect(&list, &ListView::itemChanged, &list, [this](int row, bool was, bool is) {
            changes.push_back({row, was, is});
        });
    }
    std::vector<std::uint32_t> order() const {
        std::vector<std::uint32_t> data;
        for (int r = 0; r < list.RowCount(); ++r)
            data.push_back(list.ItemData(r));
        return data;
    }

    ListView list;
    std::vector<Change> changes;
};

TEST_F(ListViewTest, RowsTextsAndSearches) {
    EXPECT_EQ(list.Text(2, 0), "row2");
    EXPECT_EQ(list.Text(2, 1), "20");
    list.SetText(2, 1, "twenty");
    EXPECT_EQ(list.Text(2, 1), "twenty");
    EXPECT_EQ(list.Text(2, 0), "row2");
    EXPECT_EQ(list.Text(9, 0), "");
    EXPECT_EQ(list.FindItemData(103), 3);
    EXPECT_EQ(list.FindItemData(7), -1);
    EXPECT_EQ(list.FindText("ROW4"), 4);
    // A row that keeps its own text shows it; its other columns still come
    // from the source.
    EXPECT_EQ(list.InsertRow(1, "first", 107), 1);
    EXPECT_EQ(list.FindItemData(107), 1);
    EXPECT_EQ(list.Text(1, 0), "first");
    EXPECT_EQ(list.Text(1, 1), "70");
    EXPECT_EQ(list.RowCount(), 6);
    EXPECT_EQ(list.model()->data(list.model()->index(3, 1)).toString(), QStringLiteral("twenty"));
}

TEST(ListViewTexts, AListWithoutSourceKeepsWhatItWasGiven) {
    ListView list;
    list.SetColumns({{"Info", 70}, {"", 80}});
    list.InsertRow(-1, "Projects", 0);
    list.InsertRow(-1, "Files", 1);
    list.SetText(1, 1, "12");
    list.SetText(1, 5, "no such column");
    EXPECT_EQ(list.Text(0, 1), "");
    EXPECT_EQ(list.Text(1, 1), "12");
    EXPECT_EQ(list.FindText("files"), 1);
    list.SetColumns({{"Info", 70}}); // a new column set empties the list
    EXPECT_EQ(list.RowCount(), 0);
}

TEST_F(ListViewTest, SortsByKeysStablyKeepingTheSelection) {
    // Sizes 30, 10, 30, 0, 10 by item data 100..104.
    auto size = [](std::uint32_t data) -> std::uint64_t {
        static const std::uint64_t sizes[] = {30, 10, 30, 0, 10};
        return sizes[data - 100];
    };
    list.SetSelected(list.FindItemData(104), true);
    changes.clear();
    list.SortByNumber(size, true);
    EXPECT_EQ(order(), (std::vector<std::uint32_t>{100, 102, 101, 104, 103}));
    EXPECT_EQ(list.SelectedRows(), std::vector<int>{3});
    list.SortByNumber(size, false);
    EXPECT_EQ(order(), (std::vector<std::uint32_t>{103, 101, 104, 100, 102}));
    EXPECT_EQ(list.SelectedRows(), std::vector<int>{2});
    const char* names[] = {"b", "A", "a", "B", "c"};
    list.SortByText([&](std::uint32_t data) { return names[data - 100]; });
    // Letter case does not count; equal names keep the order they had.
    EXPECT_EQ(order(), (std::vector<std::uint32_t>{101, 102, 103, 100, 104}));
    EXPECT_EQ(list.SelectedRows(), std::vector<int>{4});
    EXPECT_TRUE(changes.empty());
}

TEST_F(ListViewTest, SelectionNotificationsCarryOldAndNewState) {
    list.SetSelected(1, true);
    list.SetSelected(3, true);
    list.SetSelected(1, false);
    EXPECT_EQ(changes, (std::vector<Change>{{1, false, true}, {3, false, true}, {1, true, false}}));
    changes.clear();
    list.SelectAllRows(); // the rows not yet selected, from the last to the first
    EXPECT_EQ(changes,
              (std::vector<Change>{
                  {4, false, true}, {2, false, true}, {1, false, true}, {0, false, true}}));
    EXPECT_EQ(list.SelectedCount(), 5);
}

TEST_F(ListViewTest, BulkChangesKeepTheSelectionWithoutNotifications) {
    list.SetSelected(1, true);
    list.SetSelected(2, true);
    changes.clear();
    list.RemoveRows([](std::uint32_t data) { return data == 101 || data == 103; });
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(order(), (std::vector<std::uint32_t>{100, 102, 104}));
    EXPECT_EQ(list.SelectedCount(), 1);
    EXPECT_EQ(list.SelectedRows(), std::vector<int>{1});

    list.SortByNumber([](std::uint32_t data) -> std::uint64_t { return data; }, true);
    EXPECT_EQ(order(), (std::vector<std::uint32_t>{104, 102, 100}));
    EXPECT_EQ(list.SelectedRows(), std::vector<int>{1}); // still row 102
    EXPECT_TRUE(changes.empty());
    // Item data far apart are remembered another way; the result is the same.
    const int far = list.InsertRow(-1, "far", 0x40000000u);
    list.SetSelected(far, true);
    changes.clear();
    list.SortByNumber([](std::uint32_t data) -> std::uint64_t { return data; }, false);
    EXPECT_EQ(order(), (std::vector<std::uint32_t>{100, 102, 104, 0x40000000u}));
    EXPECT_EQ(list.SelectedRows(), (std::vector<int>{1, 3}));
    EXPECT_TRUE(changes.empty());

    list.DeleteAllRows();
    EXPECT_EQ(list.SelectedCount(), 0);
    EXPECT_TRUE(changes.empty());
}

} // namespace
