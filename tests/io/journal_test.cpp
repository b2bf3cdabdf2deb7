#include "io/journal.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

JournalEntry entryOf(std::string source, std::string target, std::uint64_t bytes) {
    JournalEntry e;
    e.time = "2026-12-10T14:03:05Z";
    e.user = "editor";
    e.host = "suite-3";
    e.operation = "move";
    e.source = std::move(source);
    e.target = std::move(target);
    e.bytes = bytes;
    e.result = "done";
    e.message = "Moved...";
    return e;
}

void expectSame(const JournalEntry& a, const JournalEntry& b) {
    EXPECT_EQ(a.time, b.time);
    EXPECT_EQ(a.user, b.user);
    EXPECT_EQ(a.host, b.host);
    EXPECT_EQ(a.operation, b.operation);
    EXPECT_EQ(a.source, b.source);
    EXPECT_EQ(a.target, b.target);
    EXPECT_EQ(a.bytes, b.bytes);
    EXPECT_EQ(a.result, b.result);
    EXPECT_EQ(a.message, b.message);
}

std::vector<JournalEntry> readAll(const std::string& path, JournalRead* outcome = nullptr) {
    std::vector<JournalEntry> entries;
    const JournalRead read =
        ReadJournal(path, [&](JournalEntry&& e) { entries.push_back(std::move(e)); });
    if (outcome != nullptr)
        *outcome = read;
    return entries;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Paths with every kind of byte come back exactly; a line is one line.
TEST(Journal, LinesGiveBackWhatWasWritten) {
    const std::vector<std::pair<std::string, std::string>> paths = {
        {"/m/OMFI MediaFiles/1/A.omf", "/t/A.omf"},
        {"/m/quote \" back\\slash/tab\tline\nfeed", "/t/\x01\x1f\x7f"},
        {"/m/latin1 \xE9t\xE9.omf", "/t/cut \xE2\x82"},
        {"/m/\xF0\x9F\x8E\xAC clip \xE2\x80\xA8.mxf", ""},
    };
    for (const auto& [source, target] : paths) {
        const JournalEntry written = entryOf(source, target, UINT64_MAX);
        std::string line = JournalLine(written);
        ASSERT_EQ(line.back(), '\n');
        EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
        line.pop_back();
        const std::optional<JournalEntry> read = ParseJournalLine(line);
        ASSERT_TRUE(read) << line;
        expectSame(*read, written);
    }
    // Escapes other writers use: \u with a surrogate pair, \/, a lone
    // surrogate, members in another order and ones the journal does not know.
    const std::optional<JournalEntry> later = ParseJournalLine(
        R"({"result":"failed","extra":[1,{"a":[]},-2.5e3],"time":"t","operation":"copy"})");
    EXPECT_TRUE(later) << "members of a later version are passed over";
    const std::optional<JournalEntry> zero =
        ParseJournalLine(R"({"time":"t","operation":"copy","result":"done","source":"a\u0000b"})");
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->source, "a\xEF\xBF\xBD"
                            "b");
    const std::optional<JournalEntry> foreign = ParseJournalLine(
        R"( { "result" : "failed", "note": null, "n": -3, "ok": true, "time": "t",)"
        R"( "operation": "copy", "source": "a\/\ud83c\udfac\ud800x", "bytes": 7 } )");
    ASSERT_TRUE(foreign);
    EXPECT_EQ(foreign->source, "a/\xF0\x9F\x8E\xAC\xEF\xBF\xBDx");
    EXPECT_EQ(foreign->bytes, 7u);
    for (const char* damaged :
         {"", "{", "{}", R"({"time":"t","operation":"copy"})",
          R"({"time":"t","operation":"copy","result":"done")",
          R"({"time":"t","operation":"copy","result":"done","bytes":18446744073709551616})",
          R"({"time":"t","operation":"copy","result":"done","source_bytes":"@@@@"})",
          // "a", a zero byte, "b": no path holds one.
          R"({"time":"t","operation":"copy","result":"done","source_bytes":"YQBi"})",
          R"({"time":"t","operation":"copy","result":"do)",
          R"({"time":"t\u12","operation":"c","result":"d"})"})
        EXPECT_FALSE(ParseJournalLine(damaged)) << damaged;
}

// The file is only appended to: what is there stays byte for byte, a line
// cut short stays a damaged line of its own, and damaged or overlong lines
// are skipped without losing the lines around them.
TEST(Journal, AppendsAndReadsPastDamage) {
    TempDir dir;
    const std::string path = dir.file("state/tolvane/journal.jsonl");
    {
        JournalWriter first(path);
        ASSERT_TRUE(first.Append(entryOf("/a", "/b", 1)));
        ASSERT_TRUE(first.Finish());
    }
    const std::string before = contents(path);
    {
        std::ofstream damage(path, std::ios::app | std::ios::binary);
        damage << "{\"time\": \"cut short by a crash";
    }
    JournalWriter second(path);
    JournalEntry unfilled;
    unfilled.operation = "delete";
    unfilled.source = "/c";
    unfilled.result = "not exist";
    ASSERT_TRUE(second.Append(unfilled));
    ASSERT_TRUE(second.Finish());
    {
        std::ofstream more(path, std::ios::app | std::ios::binary);
        more << std::string(kMaxJournalLine + 10, 'x') << "\n"
             << "not json\n"
             << JournalLine(entryOf("/d", "/e", 5));
    }
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(contents(path).size() - 1)), 0);

    EXPECT_EQ(contents(path).substr(0, before.size()), before);
    JournalRead read;
    const std::vector<JournalEntry> entries = readAll(path, &read);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(read.skipped, 3u);
    EXPECT_EQ(entries[0].source, "/a");
    EXPECT_EQ(entries[1].source, "/c");
    EXPECT_FALSE(entries[1].time.empty());
    EXPECT_FALSE(entries[1].user.empty());
    EXPECT_EQ(entries[2].source, "/d");
    EXPECT_EQ(readAll(dir.file("none.jsonl"), &read).size(), 0u);
    EXPECT_EQ(read.error, ENOENT);
    // A device in the journal's place would never end: it is refused.
    std::filesystem::create_symlink("/dev/zero", dir.file("zero.jsonl"));
    EXPECT_EQ(readAll(dir.file("zero.jsonl"), &read).size(), 0u);
    EXPECT_EQ(read.error, EINVAL);
    ASSERT_EQ(::mkfifo(dir.file("pipe.jsonl").c_str(), 0600), 0);
    EXPECT_EQ(readAll(dir.file("pipe.jsonl"), &read).size(), 0u);
    EXPECT_EQ(read.error, EINVAL);
}

// Two programs writing at once: each line lands whole.
TEST(Journal, TwoWritersNeverMixTheirLines) {
    TempDir dir;
    const std::string path = dir.file("journal.jsonl");
    JournalWriter a(path);
    JournalWriter b(path);
    const std::string longPath = "/" + std::string(3000, 'p');
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(a.Append(entryOf(longPath, "a" + std::to_string(i), 1)));
        ASSERT_TRUE(b.Append(entryOf(longPath, "b" + std::to_string(i), 2)));
    }
    ASSERT_TRUE(a.Finish());
    ASSERT_TRUE(b.Finish());
    JournalRead read;
    const std::vector<JournalEntry> entries = readAll(path, &read);
    EXPECT_EQ(entries.size(), 400u);
    EXPECT_EQ(read.skipped, 0u);
}

// A journal that cannot be written is said once, and every append after
// says false without trying again.
TEST(Journal, AFailureIsSaidOnce) {
    TempDir dir;
    { std::ofstream file(dir.file("file")); }
    for (const std::string& path :
         {dir.file("file/tolvane/journal.jsonl"), std::string("/dev/full")}) {
        JournalWriter writer(path);
        EXPECT_FALSE(writer.Append(entryOf("/a", "/b", 1))) << path;
        EXPECT_FALSE(writer.Append(entryOf("/a", "/b", 1))) << path;
        const std::string said = writer.TakeFailure();
        EXPECT_NE(said.find(path), std::string::npos) << said;
        EXPECT_EQ(writer.TakeFailure(), "");
        EXPECT_FALSE(writer.Finish());
    }
    JournalWriter fine(dir.file("ok.jsonl"));
    EXPECT_TRUE(fine.Append(entryOf("/a", "/b", 1)));
    EXPECT_EQ(fine.TakeFailure(), "");
}

TEST(Journal, WhereAndSince) {
    const char* state = std::getenv("XDG_STATE_HOME");
    const std::string kept = state != nullptr ? state : "";
    ::setenv("XDG_STATE_HOME", "/srv/state", 1);
    EXPECT_EQ(JournalPath(), "/srv/state/tolvane/journal.jsonl");
    ::setenv("XDG_STATE_HOME", "relative/state", 1);
    EXPECT_EQ(JournalPath().find("relative"), std::string::npos);
    EXPECT_TRUE(JournalPath().ends_with("/.local/state/tolvane/journal.jsonl"));
    if (state != nullptr)
        ::setenv("XDG_STATE_HOME", kept.c_str(), 1);
    else
        ::unsetenv("XDG_STATE_HOME");

    EXPECT_EQ(JournalSince("2026-12-01"), "2026-12-01T00:00:00Z");
    EXPECT_EQ(JournalSince("2026-12-01T09:30"), "2026-12-01T09:30:00Z");
    EXPECT_EQ(JournalSince("2026-12-01 09:30:15Z"), "2026-12-01T09:30:15Z");
    for (const char* wrong : {"", "yesterday", "2026-13-01", "2026-12-1", "2026-12-01T9:30",
                              "2026-12-01T25:00", "2026-12-01X", "2026-12-01T09:30:15+01:00"})
        EXPECT_FALSE(JournalSince(wrong)) << wrong;
    // Journal times compare as text, as --since compares them.
    const std::string now = JournalTime();
    EXPECT_GT(now, *JournalSince("2026-01-01"));
    EXPECT_EQ(JournalSince(now), now);
}

} // namespace
