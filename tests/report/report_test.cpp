#include "report/commandline.h"

#include "builders/mediafolder.h"
#include "builders/samplemedia.h"
#include "io/csv.h"
#include "mediadb/databaseload.h"
#include "mediadb/mediacatalog.h"
#include "mxf/mxfreader.h"
#include "support/csvreader.h"
#include "support/samplemediatest.h"
#include "support/tempdir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
    for (const char* option : {"-x", "--quiet=1", "-verify", "--verify=1", "--", "--report=1"})
        EXPECT_EQ(ParseCommandLine({"--report", option}).error,
                  "unknown option " + std::string(option));
    // The last of a repeated option counts.
    EXPECT_TRUE(ParseCommandLine({"--report", "--no-verify", "--verify"}).request.verify);
    EXPECT_EQ(ParseCommandLine({"--report", "--format=json", "--format", "csv"}).request.format,
              ReportRequest::Format::Csv);
    // A database path comes through byte for byte, whatever its bytes; "-"
    // is a path too.
    const std::string foreign = "/m\xFF\xFE/\xC3(/msmFMID.pmr";
    EXPECT_EQ(ParseCommandLine({"--report", foreign, "-"}).request.databases, (Args{foreign, "-"}));
}

class ReportTest : public SampleMediaTest {
protected:
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

    // A file nobody may write is locked, for root too; a folder of a media
    // file's name is a folder.
    const std::string locked = omfiFolder + "/DOC00002_V1.omf";
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    std::filesystem::create_directory(omfiFolder + "/DOC09998_V1.omf");
    EXPECT_EQ(run(request), 0);
    const CsvRows marked = ReadCsv(out.str());
    EXPECT_EQ(lineOf(marked, "DOC00002_V1.omf")[4], "locked");
    EXPECT_EQ(lineOf(marked, "DOC09998_V1.omf")[4], "folder");
    EXPECT_EQ(lineOf(marked, "DOC00003_V1.omf")[4], "present");
    ::chmod(locked.c_str(), 0644);
    std::filesystem::remove(omfiFolder + "/DOC09998_V1.omf");
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

    // MXF files carry their essence as numbers, as the reader reads them;
    // other files none of it.
    std::map<std::string, QJsonObject> media;
    for (const QJsonValue& project : projects) {
        for (const QJsonValue& file : project.toObject().value(QStringLiteral("media")).toArray())
            media[file.toObject().value(QStringLiteral("file")).toString().toStdString()] =
                file.toObject();
    }
    const std::string mxfFolder = dir.file("AVID MediaFiles/MXF/1");
    int pictures = 0;
    int sounds = 0;
    for (const auto& [name, file] : media) {
        auto number = [&](const char* member) {
            return file.value(QLatin1String(member)).toDouble(-1);
        };
        MxfReader reader;
        if (!name.ends_with(".mxf") || !reader.Open(mxfFolder + "/" + name)) {
            EXPECT_FALSE(file.contains(QStringLiteral("duration_frames"))) << name;
            EXPECT_FALSE(file.contains(QStringLiteral("sample_rate"))) << name;
            continue;
        }
        const MxfFacts& facts = reader.Facts();
        if (facts.hasPicture) {
            ++pictures;
            EXPECT_EQ(number("duration_frames"), double(facts.frameCount)) << name;
            EXPECT_NEAR(number("frame_rate"),
                        double(facts.frameRateNumerator) / facts.frameRateDenominator, 0.001);
            EXPECT_EQ(number("width"), facts.displayWidth) << name;
            EXPECT_EQ(number("height"), facts.displayHeight) << name;
            EXPECT_FALSE(file.contains(QStringLiteral("channels"))) << name;
        } else {
            ++sounds;
            EXPECT_EQ(number("channels"), facts.channels) << name;
            EXPECT_EQ(number("sample_rate"), facts.sampleRate) << name;
            EXPECT_NEAR(number("duration_seconds"), double(facts.sampleCount) / facts.sampleRate,
                        1e-6)
                << name;
            EXPECT_FALSE(file.contains(QStringLiteral("width"))) << name;
        }
    }
    // Every picture and sound file of the folder, the unreferenced one too.
    int videoFiles = 0;
    int audioFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(mxfFolder)) {
        const std::string name = entry.path().filename().string();
        videoFiles += name.ends_with("_V1.mxf") ? 1 : 0;
        audioFiles += name.ends_with("_A1.mxf") ? 1 : 0;
    }
    EXPECT_EQ(pictures, videoFiles);
    EXPECT_EQ(sounds, audioFiles);
    EXPECT_GT(sounds, 0);
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
    // A folder's name can carry escape sequences: they are shown, not sent.
    std::ostringstream named;
    { TerminalProgress(named).SetText("/media/\x1b[2Jclear"); }
    EXPECT_EQ(named.str(), "\r\033[K/media/\\x1b[2Jclear\r\033[K");
}

// A report over small databases written for one test.
class ReportEdgeTest : public ::testing::Test {
protected:
    // QTemporaryDir cannot remove names that are not UTF-8; the bytes can.
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir.path(), ignored);
    }
    int run(const ReportRequest& request, std::ostream& output) {
        err.str("");
        return RunReport(request, {}, output, err, nullptr);
    }

    TempDir dir;
    std::ostringstream err;
};

TEST_F(ReportEdgeTest, AReportThatCannotBeWrittenFailsAndSaysSo) {
    ReportRequest request;
    request.databases = {WriteDatabase(dir.file("OMFI MediaFiles/1"), {{"A1.omf", "A"}})};
    MakeFile(dir.file("OMFI MediaFiles/1/A1.omf"), 10);
    for (const auto format : {ReportRequest::Format::Csv, ReportRequest::Format::Json}) {
        std::ofstream full("/dev/full");
        if (!full)
            GTEST_SKIP() << "no /dev/full here";
        request.format = format;
        EXPECT_EQ(run(request, full), 3);
        EXPECT_EQ(err.str(), "tolvane: the report could not be written: No space left on device\n");
    }
}

TEST_F(ReportEdgeTest, NamesOnStandardErrorComeOutEscaped) {
    ReportRequest request;
    request.databases = {dir.file("\x1b]0;owned\x07/msmFMID.pmr")};
    std::ostringstream out;
    EXPECT_EQ(run(request, out), 1);
    EXPECT_EQ(err.str(),
              "tolvane: " + dir.path() + "/\\x1b]0;owned\\x07/msmFMID.pmr: does not exist\n");
}

// The name, or its exact bytes where the JSON report gives them.
std::string bytesOf(const QJsonObject& object, const QString& member) {
    const QJsonValue bytes = object.value(member + QStringLiteral("_bytes"));
    if (bytes.isUndefined())
        return object.value(member).toString().toStdString();
    return QByteArray::fromBase64(bytes.toString().toLatin1(),
                                  QByteArray::AbortOnBase64DecodingErrors)
        .toStdString();
}

TEST_F(ReportEdgeTest, JsonGivesTheExactBytesOfNamesThatAreNotUtf8) {
    const std::string folder = dir.file("Bj\xF6rk/OMFI MediaFiles/1");
    ReportRequest request;
    request.format = ReportRequest::Format::Json;
    request.databases = {WriteDatabase(folder, {{"DOC1.omf", "Doc"}})};
    MakeFile(folder + "/DOC1.omf", 5);
    const std::string latin1 = "caf\xE9.omf";
    const std::string utf8 = "caf\xC3\xA9.omf";
    MakeFile(folder + "/" + latin1, 6); // both unreferenced
    MakeFile(folder + "/" + utf8, 7);
    std::ostringstream out;
    EXPECT_EQ(run(request, out), 0) << err.str();
    QJsonParseError error{};
    const QJsonObject root =
        QJsonDocument::fromJson(QByteArray::fromStdString(out.str()), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << out.str();
    const QJsonObject database = root.value(QStringLiteral("databases")).toArray().at(0).toObject();
    EXPECT_EQ(bytesOf(database, QStringLiteral("path")), request.databases[0]);

    std::map<std::string, QJsonObject> media; // by the exact name
    for (const QJsonValue& project : root.value(QStringLiteral("projects")).toArray()) {
        for (const QJsonValue& file : project.toObject().value(QStringLiteral("media")).toArray())
            media[bytesOf(file.toObject(), QStringLiteral("file"))] = file.toObject();
    }
    ASSERT_EQ(media.size(), 3u) << out.str();
    for (const std::string& name : {std::string("DOC1.omf"), latin1, utf8}) {
        ASSERT_EQ(media.count(name), 1u) << name;
        EXPECT_EQ(bytesOf(media[name], QStringLiteral("folder")), folder) << name;
    }
    // The readable names stay readable; only names that need them have bytes.
    EXPECT_EQ(media[latin1].value(QStringLiteral("file")).toString(),
              QStringLiteral("caf\uFFFD.omf"));
    EXPECT_EQ(media[utf8].value(QStringLiteral("file")).toString(),
              QStringLiteral("caf\u00E9.omf"));
    EXPECT_FALSE(media[utf8].contains(QStringLiteral("file_bytes")));
}

// The report run by a user without privileges, for whom permission bits
// count (for root they do not): in a child process, as the user nobody,
// writing into files the test opened.
struct ChildReport {
    int exitCode = -1; // 77: there is no such user, or it cannot reach the volumes
    std::string out;
    std::string err;
};

ChildReport reportWithoutPrivileges(const ReportRequest& request,
                                    const std::vector<platform::Volume>& volumes,
                                    const TempDir& scratch) {
    std::ofstream out(scratch.file("out"));
    std::ofstream err(scratch.file("err"));
    const pid_t child = ::fork();
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(77);
        for (const platform::Volume& volume : volumes) {
            if (::access(volume.root.c_str(), X_OK) != 0)
                ::_exit(77);
        }
        const int code = RunReport(request, volumes, out, err, nullptr);
        out.flush();
        err.flush();
        ::_exit(code);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return {};
    auto read = [&](const char* name) {
        std::ifstream in(scratch.file(name));
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    return {WEXITSTATUS(status), read("out"), read("err")};
}

TEST_F(ReportEdgeTest, AFolderTheUserMayNotReadIsSaidAndTheRestReported) {
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string closed = dir.file("a/OMFI MediaFiles");
    const std::string open = dir.file("b/AVID MediaFiles/MXF/1");
    WriteDatabase(closed + "/1", {{"A1.omf", "Closed"}});
    MakeFile(closed + "/1/A1.omf", 10);
    WriteDatabase(open, {{"B1.omf", "Open"}});
    MakeFile(open + "/B1.omf", 20);
    ASSERT_EQ(::chmod(closed.c_str(), 0), 0);
    TempDir scratch;
    const ChildReport discovered =
        reportWithoutPrivileges({}, {{dir.file("a"), "a"}, {dir.file("b"), "b"}}, scratch);
    ReportRequest named;
    named.databases = {closed + "/1/msmFMID.pmr"};
    const ChildReport given = reportWithoutPrivileges(named, {}, scratch);
    ::chmod(closed.c_str(), 0755);
    // A database whose folder may be entered but not listed: none of its
    // records could be told present or missing.
    ASSERT_EQ(::chmod((closed + "/1").c_str(), 0711), 0);
    const ChildReport unlisted = reportWithoutPrivileges(named, {}, scratch);
    ::chmod((closed + "/1").c_str(), 0755);
    if (discovered.exitCode == 77)
        GTEST_SKIP() << "the user nobody cannot be had or cannot reach " << dir.path();

    EXPECT_EQ(discovered.exitCode, 1);
    EXPECT_EQ(discovered.err, "tolvane: " + closed + ": cannot be read: Permission denied\n");
    const CsvRows rows = ReadCsv(discovered.out);
    ASSERT_EQ(rows.size(), 2u) << discovered.out;
    // Not its status: listings learn once per process who may write, here
    // maybe as root, before the child became nobody.
    EXPECT_EQ(Args(rows[1].begin(), rows[1].begin() + 4), (Args{"Open", "B1.omf", open, "20"}));
    // Named on the command line, it is there but closed, not missing.
    EXPECT_EQ(given.exitCode, 1);
    EXPECT_EQ(given.err,
              "tolvane: " + closed + "/1/msmFMID.pmr: cannot be read: Permission denied\n");
    EXPECT_EQ(unlisted.exitCode, 1);
    EXPECT_EQ(unlisted.err, "tolvane: " + closed +
                                "/1/msmFMID.pmr: its folder cannot be read: Permission denied\n");
    EXPECT_EQ(ReadCsv(unlisted.out).size(), 1u) << unlisted.out;
}

// A report of many records is made in pieces on two threads: it must be the
// catalog, line for line, in its order, with each project opened and closed
// once, wherever the pieces meet.
TEST_F(ReportEdgeTest, AManyRecordReportListsTheCatalogInItsOrder) {
    std::vector<DbRecord> records;
    for (int i = 0; i < 40000; ++i) {
        // Runs of one project, so that projects begin and end inside pieces.
        records.push_back({"F" + std::to_string(i) + ".omf", "P" + std::to_string(i / 3000 % 7)});
    }
    const std::string database = WriteDatabase(dir.file("big"), records);
    for (int i = 0; i < 40000; i += 997)
        MakeFile(dir.file("big/F" + std::to_string(i) + ".omf"), static_cast<std::size_t>(i % 5));
    MakeFile(dir.file("big/stray,\"name\".omf"), 3);

    MediaCatalog catalog;
    LoadDatabases(catalog, {database}, true, nullptr);
    std::string plain = "project,file,folder,size,status\r\n";
    std::vector<std::string> files;
    for (const auto& [key, project] : catalog.Projects()) {
        for (const auto& [name, record] : project.files) {
            const bool missing = IsMissing(record);
            plain += CsvLine({project.name, record.fileName.str(), record.folder.str(),
                              std::to_string(record.size), missing ? "missing" : "present"});
            files.push_back(record.fileName.str());
        }
    }
    ASSERT_EQ(files.size(), 40001u);

    ReportRequest request;
    request.verify = false;
    request.databases = {database};
    std::ostringstream csv;
    ASSERT_EQ(run(request, csv), 0) << err.str();
    EXPECT_TRUE(csv.str() == plain) << "the CSV differs from the catalog";

    request.format = ReportRequest::Format::Json;
    std::ostringstream json;
    ASSERT_EQ(run(request, json), 0) << err.str();
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(json.str()), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    std::vector<std::string> listed;
    int projects = 0;
    for (const QJsonValue& project :
         document.object().value(QStringLiteral("projects")).toArray()) {
        ++projects;
        const QJsonArray media = project.toObject().value(QStringLiteral("media")).toArray();
        EXPECT_EQ(project.toObject().value(QStringLiteral("files")).toInteger(), media.size());
        for (const QJsonValue& file : media)
            listed.push_back(
                file.toObject().value(QStringLiteral("file")).toString().toStdString());
    }
    EXPECT_EQ(projects, static_cast<int>(catalog.ProjectCount()));
    EXPECT_TRUE(listed == files) << "the JSON lists the files otherwise";
}

} // namespace
