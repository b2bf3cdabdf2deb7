#include "report/commandline.h"

#include "io/journal.h"
#include "support/csvreader.h"
#include "support/tempdir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

JournalEntry entryAt(const std::string& time, const std::string& source) {
    JournalEntry e;
    e.time = time;
    e.user = "editor";
    e.host = "suite";
    e.operation = "copy";
    e.source = source;
    e.target = "/target/x";
    e.bytes = 1234567890123;
    e.result = "failed";
    e.message = "Not replaced, \"quoted\"\nsecond line";
    return e;
}

struct Printed {
    int code;
    std::string out;
    std::string err;
};

Printed history(const std::vector<std::string>& arguments, const std::string& journal) {
    const CommandLine line = ParseCommandLine(arguments);
    EXPECT_EQ(line.mode, CommandLine::Mode::History) << line.error;
    std::ostringstream out;
    std::ostringstream err;
    const int code = RunHistory(line.history, journal, out, err);
    return {code, out.str(), err.str()};
}

// Both forms give back every field, oldest first, from the date asked for;
// a damaged line is said and the rest still printed.
TEST(History, PrintsTheJournalAsCsvAndJson) {
    TempDir dir;
    const std::string journal = dir.file("journal.jsonl");
    {
        JournalWriter writer(journal);
        ASSERT_TRUE(writer.Append(entryAt("2026-11-30T23:59:59Z", "/old")));
        ASSERT_TRUE(writer.Append(entryAt("2026-12-01T00:00:00Z", "/m/a,b \xE9")));
        ASSERT_TRUE(writer.Append(entryAt("2026-12-02T08:00:00Z", "/m/c")));
        ASSERT_TRUE(writer.Finish());
    }
    const Printed csv = history({"--history", "--since", "2026-12-01"}, journal);
    EXPECT_EQ(csv.code, 0) << csv.err;
    const CsvRows rows = ReadCsv(csv.out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"time", "user", "host", "operation", "source",
                                                 "target", "bytes", "result", "message"}));
    EXPECT_EQ(rows[1],
              (std::vector<std::string>{"2026-12-01T00:00:00Z", "editor", "suite", "copy",
                                        "/m/a,b \xE9", "/target/x", "1234567890123", "failed",
                                        "Not replaced, \"quoted\"\nsecond line"}));
    EXPECT_EQ(rows[2][4], "/m/c");

    {
        std::ofstream damage(journal, std::ios::app);
        damage << "{\"time\": \n";
    }
    const Printed json = history({"--history", "--format=json"}, journal);
    EXPECT_EQ(json.code, 1);
    EXPECT_NE(json.err.find("1 damaged line"), std::string::npos) << json.err;
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(json.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out;
    const QJsonArray entries = document.array();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].toObject()[QStringLiteral("source")].toString(), QStringLiteral("/old"));
    const QJsonObject second = entries[1].toObject();
    EXPECT_EQ(second[QStringLiteral("bytes")].toDouble(), 1234567890123.0);
    EXPECT_EQ(QByteArray::fromBase64(second[QStringLiteral("source_bytes")].toString().toLatin1())
                  .toStdString(),
              "/m/a,b \xE9");

    // No journal yet: nothing was done, which is no error.
    const Printed none = history({"--history", "--format", "json"}, dir.file("none.jsonl"));
    EXPECT_EQ(none.code, 0);
    EXPECT_EQ(none.out, "[]\n");
}

TEST(History, RefusesWhatItCannotDo) {
    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{"--history", "--report"},
                                               {"--history", "--since", "last week"},
                                               {"--history", "--since"},
                                               {"--history", "--format", "xml"},
                                               {"--history", "--verify"},
                                               {"--history", "/some/path"}}) {
        const CommandLine line = ParseCommandLine(wrong);
        EXPECT_EQ(line.mode, CommandLine::Mode::Error) << wrong.back();
        EXPECT_FALSE(line.error.empty());
    }
    EXPECT_EQ(ParseCommandLine({"--history", "--help"}).mode, CommandLine::Mode::Help);
}

} // namespace
