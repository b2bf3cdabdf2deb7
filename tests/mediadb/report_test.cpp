#include "mediadb/report.h"

#include "builders/mediafolder.h"
#include "builders/samplemedia.h"
#include "support/csvreader.h"
#include "support/tempdir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, ChoosesWindowsReportHelpOrError) {
    EXPECT_EQ(ParseCommandLine({}).mode, CommandLine::Mode::Windows);
    EXPECT_EQ(ParseCommandLine({"-platform", "offscreen"}).mode, CommandLine::Mode::Windows);
    EXPECT_EQ(ParseCommandLine({"--report", "--help"}).mode, CommandLine::Mode::Help);
    EXPECT_EQ(ParseCommandLine({"-h"}).mode, CommandLine::Mode::Help);

    const CommandLine report =
        ParseCommandLine({"--format", "json", "a.pmr", "--report", "--no-verify", "b c.pmr"});
    EXPECT_EQ(report.mode, CommandLine::Mode::Report);
    EXPECT_EQ(report.request.format, ReportRequest::Format::Json);
    EXPECT_FALSE(report.request.verify);
    EXPECT_EQ(report.request.databases, (Args{"a.pmr", "b c.pmr"}));
    const CommandLine plain = ParseCommandLine({"--report", "--format=csv", "--verify"});
    EXPECT_EQ(plain.request.format, ReportRequest::Format::Csv);
    EXPECT_TRUE(plain.request.verify);
    EXPECT_TRUE(plain.request.databases.empty());

    for (const Args& wrong : {Args{"--report", "--format"}, Args{"--report", "--format", "xml"},
                              Args{"--report", "--quiet"}}) {
        const CommandLine line = ParseCommandLine(wrong);
        EXPECT_EQ(line.mode, CommandLine::Mode::Error) << wrong.back();
        EXPECT_FALSE(line.error.empty());
    }
}

// The sample media are written once for all report tests, which only read
// them (writing them takes seconds under the sanitizers).
class ReportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sample = new TempDir;
        written = !WriteSampleMedia(sample->path()).empty();
    }
    static void TearDownTestSuite() {
        delete sample;
        sample = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(written); }
    int run(ReportRequest request) {
        out.str("");
        err.str("");
        return RunReport(request, {}, out, err, nullptr);
    }
    // The CSV line of that file; empty when there is none.
    std::vector<std::string> lineOf(const CsvRows& rows, const std::string& file) {
        for (const auto& line : rows) {
            if (line.size() == 5 && line[1] == file)
                return line;
        }
        return {};
    }

    static inline TempDir* sample = nullptr;
    static inline bool written = false;
    const TempDir& dir = *sample;
    const std::string omfi = dir.file("OMFI MediaFiles/1/msmFMID.pmr");
    const std::string mxf = dir.file("AVID MediaFiles/MXF/1/msmFMID.pmr");
    TempDir scratch;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(ReportTest, CsvListsEveryMediaFileAndSaysWhichDatabasesFailed) {
    MakeFile(scratch.file("small.pmr"), 10);
    ReportRequest request;
    request.databases = {omfi, dir.file("none.pmr"), scratch.file("small.pmr"), mxf};
    EXPECT_EQ(run(request), 1);
    EXPECT_EQ(err.str(), "tolvane: " + dir.file("none.pmr") + ": does not exist\n" + "tolvane: " +
                             scratch.file("small.pmr") + ": too small to be a media database\n");
    const CsvRows rows = ReadCsv(out.str());
    ASSERT_GT(rows.size(), 1u);
    EXPECT_EQ(rows[0], (Args{"project", "file", "folder", "size", "status"}));
    const std::string omfiFolder = dir.file("OMFI MediaFiles/1");
    const std::string mxfFolder = dir.file("AVID MediaFiles/MXF/1");
    const Args doc = lineOf(rows, "DOC00002_V1.omf");
    ASSERT_EQ(doc.size(), 5u);
    EXPECT_EQ(doc[0], "Documentary");
    EXPECT_EQ(doc[2], omfiFolder);
    EXPECT_EQ(doc[3], std::to_string(std::filesystem::file_size(omfiFolder + "/DOC00002_V1.omf")));
    EXPECT_EQ(doc[4], "present");
    EXPECT_EQ(lineOf(rows, "COM00001_V1.mxf")[0], "Commercial");
    EXPECT_EQ(lineOf(rows, "COM00003_V1.mxf")[0], "**UNREFERENCED FILES");
    EXPECT_EQ(lineOf(rows, "ORPHAN0001.omf")[2], omfiFolder);
    // Verified: files the database names but the disk lacks are left out.
    EXPECT_TRUE(lineOf(rows, "DOC09998_V1.omf").empty());

    request.verify = false;
    request.databases = {omfi};
    EXPECT_EQ(run(request), 0);
    EXPECT_EQ(err.str(), "");
    const Args gone = lineOf(ReadCsv(out.str()), "DOC09998_V1.omf");
    EXPECT_EQ(gone, (Args{"Documentary", "DOC09998_V1.omf", "", "0", "missing"}));
}

TEST_F(ReportTest, JsonHoldsDatabasesTotalsAndProjects) {
    ReportRequest request;
    request.format = ReportRequest::Format::Json;
    request.verify = false;
    request.databases = {omfi, mxf, dir.file("none.pmr")};
    EXPECT_EQ(run(request), 1);
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(out.str()), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << out.str();
    const QJsonObject root = document.object();
    const QJsonArray databases = root.value(QStringLiteral("databases")).toArray();
    ASSERT_EQ(databases.size(), 3);
    EXPECT_TRUE(databases[0].toObject().value(QStringLiteral("loaded")).toBool());
    EXPECT_FALSE(databases[2].toObject().value(QStringLiteral("loaded")).toBool());
    EXPECT_EQ(databases[2].toObject().value(QStringLiteral("error")).toString(),
              QStringLiteral("does not exist"));

    qint64 files = 0;
    qint64 bytes = 0;
    qint64 missing = 0;
    const QJsonArray projects = root.value(QStringLiteral("projects")).toArray();
    QJsonObject documentary;
    for (const QJsonValue& value : projects) {
        const QJsonObject project = value.toObject();
        const QJsonArray media = project.value(QStringLiteral("media")).toArray();
        EXPECT_EQ(project.value(QStringLiteral("files")).toInteger(), media.size());
        qint64 projectBytes = 0;
        for (const QJsonValue& file : media)
            projectBytes += file.toObject().value(QStringLiteral("size")).toInteger();
        EXPECT_EQ(project.value(QStringLiteral("bytes")).toInteger(), projectBytes);
        files += media.size();
        bytes += projectBytes;
        missing += project.value(QStringLiteral("missing")).toInteger();
        if (project.value(QStringLiteral("name")).toString() == QStringLiteral("Documentary"))
            documentary = project;
    }
    const QJsonObject totals = root.value(QStringLiteral("totals")).toObject();
    EXPECT_EQ(totals.value(QStringLiteral("projects")).toInteger(), projects.size());
    EXPECT_EQ(totals.value(QStringLiteral("files")).toInteger(), files);
    EXPECT_EQ(totals.value(QStringLiteral("bytes")).toInteger(), bytes);
    EXPECT_EQ(totals.value(QStringLiteral("missing")).toInteger(), missing);
    EXPECT_EQ(missing, 2); // one in each of two projects
    // ORPHAN0001.omf, Render0001.wav and COM00003_V1.mxf.
    EXPECT_EQ(totals.value(QStringLiteral("unreferenced")).toInteger(), 3);
    EXPECT_EQ(documentary.value(QStringLiteral("files")).toInteger(), 7);
    EXPECT_EQ(documentary.value(QStringLiteral("missing")).toInteger(), 1);
}

TEST(TerminalProgressLine, IsRewrittenInPlaceOncePerPercentAndClearedAtTheEnd) {
    std::ostringstream terminal;
    {
        TerminalProgress progress(terminal);
        progress.SetText("Indexing Files...");
        progress.SetText("/media/1");
        progress.Step(0, 200);
        progress.Step(1, 200); // still 0 %: nothing new
        progress.Step(100, 200);
        progress.Step(300, 200); // beyond the whole: 100 %
        progress.Step(5, 0);
    }
    EXPECT_EQ(terminal.str(), "\r\033[KIndexing Files...\r\033[K/media/1\r\033[K/media/1 0%"
                              "\r\033[K/media/1 50%\r\033[K/media/1 100%\r\033[K/media/1 0%"
                              "\r\033[K");
    std::ostringstream unused;
    { TerminalProgress progress(unused); }
    EXPECT_EQ(unused.str(), ""); // nothing shown, nothing cleared
}

} // namespace
