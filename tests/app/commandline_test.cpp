// The program itself, started as a script would start it: no display, no Qt
// platform, only its command line.
#include "app/hardwaretooldlg.h"
#include "builders/samplemedia.h"
#include "mediadb/databaselist.h"
#include "platform/volumes.h"
#include "support/csvreader.h"
#include "support/scriptedprompter.h"
#include "support/tempdir.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ProgramRun runProgram(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TOLVANE_PROGRAM), arguments);
    ProgramRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

TEST(CommandLineProgram, HelpAndAReportWithoutADisplay) {
    const ProgramRun help = runProgram({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("Usage: tolvane", 0), 0u) << help.out;

    const ProgramRun wrong =
        runProgram({QStringLiteral("--report"), QStringLiteral("--format=xml")});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("--format takes csv or json"), std::string::npos);

    TempDir dir;
    ASSERT_FALSE(WriteSampleMedia(dir.path()).empty());
    const ProgramRun report =
        runProgram({QStringLiteral("--report"), QStringLiteral("--format"), QStringLiteral("json"),
                    QString::fromStdString(dir.file("AVID MediaFiles/MXF/1/msmFMID.pmr"))});
    EXPECT_EQ(report.exitCode, 0) << report.err;
    EXPECT_EQ(report.err, ""); // not a terminal: no progress
    const QJsonObject totals = QJsonDocument::fromJson(QByteArray::fromStdString(report.out))
                                   .object()
                                   .value(QStringLiteral("totals"))
                                   .toObject();
    EXPECT_EQ(totals.value(QStringLiteral("files")).toInteger(), 4) << report.out;
}

// Run by tests/realmount.sh inside a mount namespace of its own, where a
// tmpfs is mounted at $TOLVANE_TEST_MOUNT; skipped anywhere else.
TEST(RealMount, DiscoveryTheReportAndTheDriveWindowSeeANewVolume) {
    const char* mount = std::getenv("TOLVANE_TEST_MOUNT");
    if (mount == nullptr)
        GTEST_SKIP() << "run by tests/realmount.sh, as root, in a mount namespace of its own";
    const std::string root = mount;
    ASSERT_FALSE(WriteSampleMedia(root).empty());

    // The mount table lists it as a volume, and discovery finds its databases.
    const std::vector<platform::Volume> volumes = platform::MountedVolumes();
    EXPECT_TRUE(std::any_of(volumes.begin(), volumes.end(),
                            [&](const platform::Volume& v) { return v.root == root; }));
    DatabaseList databases;
    databases.Discover(volumes);
    const std::vector<std::string> found = databases.CheckedPaths();
    for (const char* database :
         {"/OMFI MediaFiles/1/msmFMID.pmr", "/AVID MediaFiles/MXF/1/msmFMID.pmr"}) {
        EXPECT_NE(std::find(found.begin(), found.end(), root + database), found.end()) << database;
    }

    // The report, discovering by itself, lists its files.
    const ProgramRun report = runProgram({QStringLiteral("--report")});
    ASSERT_EQ(report.exitCode, 0) << report.err;
    const CsvRows rows = ReadCsv(report.out);
    auto listed = [&](const std::string& file, const std::string& project) {
        return std::any_of(rows.begin(), rows.end(), [&](const std::vector<std::string>& line) {
            return line.size() == 5 && line[0] == project && line[1] == file &&
                   line[2].rfind(root + "/", 0) == 0 && line[4] == "present";
        });
    };
    EXPECT_TRUE(listed("DOC00000_V1.omf", "Documentary"));
    EXPECT_TRUE(listed("COM00002_V1.mxf", "Commercial"));
    EXPECT_TRUE(listed("ORPHAN0001.omf", "**UNREFERENCED FILES"));

    // The drive window's own volume source shows it.
    ScriptedPrompter prompter;
    Services machine{prompter};
    HardwareToolDlg drives(machine);
    ASSERT_TRUE(drives.Create());
    bool shown = false;
    for (int row = 0; row < drives.RowCount(); ++row)
        shown = shown || drives.Label(row).text().toStdString().rfind(root + " ", 0) == 0;
    EXPECT_TRUE(shown);
}

} // namespace
