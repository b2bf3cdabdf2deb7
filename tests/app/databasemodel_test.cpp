#include "app/databasepanel.h"

#include "builders/mediafolder.h"
#include "platform/volumes.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTreeView>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Paths = std::vector<std::string>;

// A database panel over a tree of its own and the databases of one volume.
class DatabaseModelTest : public ::testing::Test {
protected:
    std::vector<platform::Volume> volumes() const { return {{dir.file("vol"), "vol"}}; }
    std::string database(int folder) const {
        return dir.file("vol/OMFI MediaFiles/" + std::to_string(folder) + "/msmFMID.pmr");
    }
    QAbstractItemModel& model() { return *tree.model(); }
    std::string path(int row) { return model().index(row, 0).data().toString().toStdString(); }
    Qt::CheckState check(int row) {
        return static_cast<Qt::CheckState>(model().index(row, 0).data(Qt::CheckStateRole).toInt());
    }
    bool setCheck(int row, Qt::CheckState state) {
        return model().setData(model().index(row, 0), state, Qt::CheckStateRole);
    }

    TempDir dir;
    LogCapture log;
    QTreeView tree;
    DatabasePanel panel{tree};
    QAbstractItemModelTester tester{&panel.Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal};
};

// The tree shows the list turned round, every database checked, its path
// whole in the tooltip; a check mark set through the model is what the
// panel reports, and the view is told of it.
TEST_F(DatabaseModelTest, CheckMarksSetInTheTreeAreTheCheckedPaths) {
    for (int folder = 1; folder <= 3; ++folder)
        MakeFile(database(folder));
    panel.Discover(volumes());
    ASSERT_EQ(&model(), &panel.Model());
    ASSERT_EQ(model().rowCount(), 3);
    const std::vector<std::uint32_t> shown = panel.Databases().ShownOrder();
    for (int row = 0; row < 3; ++row) {
        const QModelIndex index = model().index(row, 0);
        EXPECT_EQ(path(row), panel.Databases().Entry(shown[static_cast<std::size_t>(row)])->path);
        EXPECT_EQ(index.data(Qt::ToolTipRole), index.data());
        EXPECT_EQ(check(row), Qt::Checked);
        EXPECT_TRUE(model().flags(index) & Qt::ItemIsUserCheckable);
    }
    EXPECT_EQ(panel.CheckedPaths(), (Paths{path(2), path(1), path(0)}));

    QSignalSpy changed(&model(), &QAbstractItemModel::dataChanged);
    ASSERT_TRUE(setCheck(1, Qt::Unchecked));
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 1);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), 1);
    EXPECT_EQ(check(1), Qt::Unchecked);
    EXPECT_EQ(panel.CheckedPaths(), (Paths{path(2), path(0)}));

    panel.SetAllChecked(false);
    EXPECT_TRUE(panel.CheckedPaths().empty());
    ASSERT_EQ(changed.size(), 2);
    EXPECT_EQ(changed[1][0].toModelIndex().row(), 0);
    EXPECT_EQ(changed[1][1].toModelIndex().row(), 2);
    EXPECT_EQ(check(0), Qt::Unchecked);
    panel.SetAllChecked(true);
    EXPECT_EQ(panel.CheckedPaths().size(), 3u);
}

// Adding a database keeps the marks the user set and shows the new one
// checked; looking for databases again checks them all. Both reset the view.
TEST_F(DatabaseModelTest, AddKeepsTheCheckMarksDiscoverChecksAllAgain) {
    MakeFile(database(1));
    MakeFile(database(2));
    panel.Discover(volumes());
    ASSERT_TRUE(setCheck(0, Qt::Unchecked));
    const std::string unchecked = path(0);

    QSignalSpy reset(&model(), &QAbstractItemModel::modelReset);
    const std::string byHand = dir.file("elsewhere/msmFMID.pmr");
    panel.Add(byHand);
    EXPECT_EQ(reset.size(), 1);
    ASSERT_EQ(model().rowCount(), 3);
    Paths checked = panel.CheckedPaths();
    EXPECT_EQ(checked.size(), 2u);
    EXPECT_NE(std::find(checked.begin(), checked.end(), byHand), checked.end());
    EXPECT_EQ(std::find(checked.begin(), checked.end(), unchecked), checked.end());
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(check(row) == Qt::Checked, path(row) != unchecked) << path(row);

    panel.Discover(volumes());
    EXPECT_EQ(reset.size(), 2);
    ASSERT_EQ(model().rowCount(), 2);
    EXPECT_EQ(panel.CheckedPaths().size(), 2u);
    EXPECT_EQ(check(0), Qt::Checked);

    // With nothing listed there is nothing to tell the view.
    std::filesystem::remove_all(dir.file("vol"));
    panel.Discover(volumes());
    QSignalSpy changed(&model(), &QAbstractItemModel::dataChanged);
    panel.SetAllChecked(true);
    EXPECT_EQ(model().rowCount(), 0);
    EXPECT_EQ(changed.size(), 0);
}

} // namespace
