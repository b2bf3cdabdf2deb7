#include "widgets/listview.h"

#include <QAbstractItemModel>

#include <algorithm>
#include <cstdlib>

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

namespace {

// A filtered list against a plain one: a vector of all rows with their
// selection and status, filtered by a loop. Random rows are added, removed,
// sorted, given a status, selected; the filter is set, narrowed, cleared.
TEST(ListViewFilter, ShowsWhatAPlainFilterOfAllRowsShows) {
    struct Plain {
        std::uint32_t item;
        bool selected;
        std::string status;
    };
    std::vector<Plain> all;
    ListView list;
    list.SetColumns({{"Name", 100}, {"Status", 50}});
    list.SetTextSource([](std::uint32_t item, int column) {
        return column == 0 ? std::to_string(item) : std::string();
    });
    std::uint32_t modulus = 0; // 0: no filter
    auto accepts = [&](std::uint32_t item, const std::string& status) {
        return modulus == 0 || item % modulus == 0 || status == "kept";
    };
    auto filter = [&] {
        const std::uint32_t m = modulus;
        return [m](std::uint32_t item, const ListView::OwnTexts* own) {
            const bool kept = own != nullptr && own->size() > 1 && (*own)[1] == "kept";
            return item % m == 0 || kept;
        };
    };
    std::vector<std::size_t> shown; // positions in all
    auto check = [&](int step) {
        ASSERT_EQ(list.RowCount(), static_cast<int>(shown.size())) << step;
        ASSERT_EQ(list.AllRowCount(), static_cast<int>(all.size())) << step;
        int selected = 0;
        for (std::size_t r = 0; r < shown.size(); ++r) {
            const Plain& p = all[shown[r]];
            ASSERT_EQ(list.ItemData(static_cast<int>(r)), p.item) << step;
            ASSERT_EQ(list.IsSelected(static_cast<int>(r)), p.selected) << step;
            ASSERT_EQ(list.Text(static_cast<int>(r), 1), p.status) << step;
            selected += p.selected ? 1 : 0;
        }
        ASSERT_EQ(list.SelectedCount(), selected) << step;
    };
    auto refilter = [&](bool narrowing) {
        // What the plain list hides loses its selection.
        std::vector<std::uint32_t> dropped;
        std::vector<std::size_t> next;
        for (std::size_t i = 0; i < all.size(); ++i) {
            const bool wasShown = std::find(shown.begin(), shown.end(), i) != shown.end();
            if (narrowing && !wasShown)
                continue;
            if (accepts(all[i].item, all[i].status)) {
                next.push_back(i);
            } else if (wasShown && all[i].selected) {
                all[i].selected = false;
                dropped.push_back(all[i].item);
            }
        }
        shown = next;
        return dropped;
    };
    std::uint32_t nextItem = 0;
    std::srand(7);
    for (int step = 0; step < 400; ++step) {
        switch (std::rand() % 8) {
        case 0: { // rows added, tested as they come
            std::vector<std::uint32_t> items;
            for (int i = std::rand() % 20; i > 0; --i) {
                items.push_back(nextItem);
                all.push_back({nextItem++, false, ""});
                if (accepts(all.back().item, ""))
                    shown.push_back(all.size() - 1);
            }
            list.AppendItems(items);
            break;
        }
        case 1: { // rows of one remainder removed
            const std::uint32_t gone = static_cast<std::uint32_t>(std::rand() % 5);
            list.RemoveRows([&](std::uint32_t item) { return item % 5 == gone; });
            std::vector<Plain> kept;
            std::vector<std::size_t> keptShown;
            for (std::size_t i = 0; i < all.size(); ++i) {
                if (all[i].item % 5 == gone)
                    continue;
                if (std::find(shown.begin(), shown.end(), i) != shown.end())
                    keptShown.push_back(kept.size());
                kept.push_back(all[i]);
            }
            all = kept;
            shown = keptShown;
            break;
        }
        case 2: { // sorted by the last digit, stably
            list.SortByNumber([](std::uint32_t item) { return item % 10; }, false);
            std::vector<std::size_t> order(all.size());
            for (std::size_t i = 0; i < order.size(); ++i)
                order[i] = i;
            std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
                return all[a].item % 10 < all[b].item % 10;
            });
            std::vector<Plain> sorted;
            std::vector<std::size_t> sortedShown;
            for (std::size_t i : order) {
                if (std::find(shown.begin(), shown.end(), i) != shown.end())
                    sortedShown.push_back(sorted.size());
                sorted.push_back(all[i]);
            }
            all = sorted;
            shown = sortedShown;
            break;
        }
        case 3: // a shown row selected or unselected
        case 4:
            if (!shown.empty()) {
                const std::size_t r = static_cast<std::size_t>(std::rand()) % shown.size();
                const bool select = std::rand() % 3 != 0;
                list.SetSelected(static_cast<int>(r), select);
                all[shown[r]].selected = select;
            }
            break;
        case 5: // a shown row's own status
            if (!shown.empty()) {
                const std::size_t r = static_cast<std::size_t>(std::rand()) % shown.size();
                list.SetText(static_cast<int>(r), 1, "kept");
                all[shown[r]].status = "kept";
            }
            break;
        case 6: { // a filter on a new modulus, or a narrower one
            const bool narrowing = modulus != 0 && std::rand() % 2 == 0;
            modulus = narrowing ? modulus * 2 : static_cast<std::uint32_t>(2 + std::rand() % 4);
            std::vector<std::uint32_t> dropped =
                narrowing ? list.NarrowFilter(filter()) : list.SetFilter(filter());
            std::vector<std::uint32_t> expected = refilter(narrowing);
            std::sort(dropped.begin(), dropped.end());
            std::sort(expected.begin(), expected.end());
            ASSERT_EQ(dropped, expected) << step;
            ASSERT_TRUE(list.IsFiltered());
            break;
        }
        case 7: // every row again
            if (std::rand() % 3 == 0) {
                list.ClearFilter();
                modulus = 0;
                shown.clear();
                for (std::size_t i = 0; i < all.size(); ++i)
                    shown.push_back(i);
            }
            break;
        }
        check(step);
    }
}

} // namespace
