#include "app/historydlg.h"

#include "io/journal.h"
#include "resources/dialogtemplate.h"
#include "support/csvreader.h"
#include "support/tempdir.h"
#include "widgets/listview.h"

#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

std::vector<std::string> fieldsOf(const JournalEntry& e) {
    return {e.time,   e.user,   e.host, e.operation, e.source, e.target, std::to_string(e.bytes),
            e.result, e.message};
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return text;
}

class HistoryDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* operations[] = {"copy", "move", "trash", "delete database", "store copy"};
        const char* results[] = {"done", "failed", "aborted", "not exist"};
        JournalWriter writer(journal);
        for (int i = 0; i < 60; ++i) {
            JournalEntry e;
            e.time = "2026-12-" + std::to_string(10 + i / 10) + "T10:00:0" +
                     std::to_string(i % 10) + "Z";
            e.user = i % 7 == 0 ? "Admin" : "editor";
            e.host = "suite-" + std::to_string(i % 3);
            e.operation = operations[i % 5];
            e.source = "/media/OMFI MediaFiles/" + std::to_string(i % 4) + "/Clip" +
                       std::to_string(i) + (i % 2 == 0 ? ".omf" : ".MXF");
            e.target = i % 5 == 2 ? "" : "/backup/Clip" + std::to_string(i);
            e.bytes = static_cast<std::uint64_t>(i) * 1000003u;
            e.result = results[i % 4];
            e.message = i % 4 == 1 ? "Cannot copy Clip" + std::to_string(i) + ":\nNo space" : "";
            ASSERT_TRUE(writer.Append(e));
            written.push_back(e);
        }
        ASSERT_TRUE(writer.Finish());
    }

    // The rows the list shows, as texts.
    std::vector<std::vector<std::string>> shown(const HistoryDlg& dialog) {
        std::vector<std::vector<std::string>> rows;
        for (int r = 0; r < dialog.List().RowCount(); ++r) {
            std::vector<std::string> row;
            for (int c = 0; c < JournalTable::kColumns; ++c)
                row.push_back(dialog.List().Text(r, c));
            rows.push_back(row);
        }
        return rows;
    }

    TempDir dir;
    std::string journal = dir.file("journal.jsonl");
    std::vector<JournalEntry> written;
};

// Newest first, every field as written; the find line narrows the rows to
// those with the text in any column, whatever its letter case, and the
// export saves what is shown.
TEST_F(HistoryDlgTest, ShowsTheJournalNewestFirstAndFindsInEveryColumn) {
    std::string exported;
    HistoryDlg dialog(journal, [&](const std::function<std::string()>& csv) { exported = csv(); });
    ASSERT_TRUE(dialog.Create());
    std::vector<std::vector<std::string>> expected;
    for (auto e = written.rbegin(); e != written.rend(); ++e)
        expected.push_back(fieldsOf(*e));
    EXPECT_EQ(shown(dialog), expected);

    for (const std::string find : {"clip1", "ADMIN", "suite-2", "no space", "store", "2026-12-13",
                                   "3000009", "nothing like it"}) {
        dialog.FindLine().setText(QString::fromStdString(find));
        dialog.ApplyFind();
        std::vector<std::vector<std::string>> matching;
        for (const std::vector<std::string>& row : expected) {
            if (std::any_of(row.begin(), row.end(), [&](const std::string& field) {
                    return lowered(field).find(lowered(find)) != std::string::npos;
                }))
                matching.push_back(row);
        }
        EXPECT_EQ(shown(dialog), matching) << find;
        const std::string count =
            dialog.ControlAs<QLabel>(res::IDC_HISTORY_COUNT)->text().toStdString();
        EXPECT_EQ(count.substr(0, count.find(' ')), std::to_string(matching.size()));
    }

    dialog.FindLine().setText(QStringLiteral("suite-1"));
    dialog.ApplyFind();
    dialog.OnCommand(res::IDC_HISTORY_EXPORT);
    const CsvRows rows = ReadCsv(exported);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(dialog.List().RowCount()) + 1);
    EXPECT_EQ(rows[0][0], "Time");
    EXPECT_EQ(std::vector<std::vector<std::string>>(rows.begin() + 1, rows.end()), shown(dialog));
}

// A damaged journal still shows what it can, and says what it left out.
TEST_F(HistoryDlgTest, SaysWhatItCouldNotRead) {
    {
        std::ofstream damage(journal, std::ios::app);
        damage << "{\"time\": \"2026\n";
    }
    HistoryDlg dialog(journal, {});
    ASSERT_TRUE(dialog.Create());
    EXPECT_EQ(dialog.List().RowCount(), 60);
    EXPECT_NE(dialog.ControlAs<QLabel>(res::IDC_HISTORY_COUNT)
                  ->text()
                  .toStdString()
                  .find("1 damaged line"),
              std::string::npos);
    HistoryDlg none(dir.file("none.jsonl"), {});
    ASSERT_TRUE(none.Create());
    EXPECT_EQ(none.List().RowCount(), 0);
}

} // namespace
