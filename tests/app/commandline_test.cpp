// The program itself, started as a script would start it: no display, no Qt
// platform, only its command line.
#include "app/hardwaretooldlg.h"
#include "builders/mediafolder.h"
#include "builders/samplemedia.h"
#include "io/journal.h"
#include "mediadb/databaselist.h"
#include "platform/volumes.h"
#include "support/csvreader.h"
#include "support/deadvolume.h"
#include "support/logcapture.h"
#include "support/scriptedprompter.h"
#include "support/tempdir.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

struct ProgramSetup {
    // A file standard output goes to instead of the test.
    QString standardOutput;
    // LeakSanitizer stops every thread at exit, and a thread blocked in a
    // request to a FUSE server that never answers cannot be stopped (only
    // killed): a sanitized program would hang at exit where the release
    // build exits.
    bool checkLeaks = true;
    // Called once the program's main thread has ended, when that is not yet
    // the end of the program: a thread it left blocked in a request that a
    // FUSE server took and never answers can be neither interrupted nor
    // killed, and holds the process until the volume goes away.
    std::function<void()> release;
};

ProgramSetup writingTo(const QString& standardOutput) {
    ProgramSetup setup;
    setup.standardOutput = standardOutput;
    return setup;
}

ProgramSetup withoutLeakCheck(std::function<void()> release = {}) {
    ProgramSetup setup;
    setup.checkLeaks = false;
    setup.release = std::move(release);
    return setup;
}

// Whether the main thread of process pid has ended (or the process has).
bool mainThreadEnded(qint64 pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/stat");
    std::string text(std::istreambuf_iterator<char>(stat), {});
    const std::size_t end = text.rfind(')');
    return end == std::string::npos || end + 2 >= text.size() || text[end + 2] == 'Z' ||
           text[end + 2] == 'X';
}

ProgramRun runProgram(const QStringList& arguments, const ProgramSetup& setup = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    if (!setup.checkLeaks) {
        QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
        if (!asan.isEmpty())
            asan += QLatin1Char(':');
        environment.insert(QStringLiteral("ASAN_OPTIONS"), asan + QStringLiteral("detect_leaks=0"));
    }
    process.setProcessEnvironment(environment);
    if (!setup.standardOutput.isEmpty())
        process.setStandardOutputFile(setup.standardOutput);
    process.start(QStringLiteral(TOLVANE_PROGRAM), arguments);
    ProgramRun run;
    if (setup.release) {
        const qint64 pid = process.processId();
        for (int waited = 0; waited < 600 && !mainThreadEnded(pid); ++waited)
            process.waitForFinished(100);
        setup.release();
    }
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

// The program prints the journal its environment points to, without a display.
TEST(CommandLineProgram, HistoryWithoutADisplay) {
    TempDir dir;
    // The journal of the tests' own process is put back whatever fails.
    struct Restore {
        QByteArray kept = qgetenv("XDG_STATE_HOME");
        ~Restore() { qputenv("XDG_STATE_HOME", kept); }
    } restore;
    qputenv("XDG_STATE_HOME", QByteArray::fromStdString(dir.path()));
    JournalWriter writer;
    JournalEntry e;
    e.operation = "move";
    e.source = "/media/a.omf";
    e.target = "/backup/a.omf";
    e.bytes = 42;
    e.result = "done";
    ASSERT_TRUE(writer.Append(e));
    ASSERT_TRUE(writer.Finish());
    const ProgramRun history = runProgram({QStringLiteral("--history")});
    const ProgramRun since = runProgram(
        {QStringLiteral("--history"), QStringLiteral("--since"), QStringLiteral("2999-01-01")});
    EXPECT_EQ(history.exitCode, 0) << history.err;
    const CsvRows rows = ReadCsv(history.out);
    ASSERT_EQ(rows.size(), 2u) << history.out;
    EXPECT_EQ(rows[1][3], "move");
    EXPECT_EQ(rows[1][5], "/backup/a.omf");
    EXPECT_EQ(since.exitCode, 0);
    EXPECT_EQ(ReadCsv(since.out).size(), 1u); // the header alone
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
    // Every file of the folder but its database is reported.
    qint64 mediaFiles = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(dir.file("AVID MediaFiles/MXF/1"))) {
        const std::string name = entry.path().filename().string();
        mediaFiles += entry.is_regular_file() && name != "msmFMID.pmr" && name != "msmMMOB.mdb";
    }
    EXPECT_GE(mediaFiles, 4);
    EXPECT_EQ(totals.value(QStringLiteral("files")).toInteger(), mediaFiles) << report.out;

    // A report that cannot be written is a failure, not a cut-off document.
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full here";
    const ProgramRun full =
        runProgram({QStringLiteral("--report"), QStringLiteral("--format=json"),
                    QString::fromStdString(dir.file("OMFI MediaFiles/1/msmFMID.pmr"))},
                   writingTo(QStringLiteral("/dev/full")));
    EXPECT_EQ(full.exitCode, 3);
    EXPECT_EQ(full.err, "tolvane: the report could not be written: No space left on device\n");
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
        shown = shown || drives.Label(row).toolTip().toStdString().rfind(root + " ", 0) == 0;
    EXPECT_TRUE(shown);
}

// A journal on a volume that stops answering is given up at the deadline,
// once: the run that writes it goes on. Run by tests/realmount.sh as root.
TEST(DeadVolume, AJournalWhoseVolumeDoesNotAnswerIsGivenUpAtTheDeadline) {
    if (std::getenv("TOLVANE_TEST_MOUNT") == nullptr || std::getenv("TOLVANE_TEST_FUSE") == nullptr)
        GTEST_SKIP() << "run by tests/realmount.sh, as root, in a mount namespace, with /dev/fuse";
    TempDir dir;
    MakeFolder(dir.file("dead"));
    DeadVolume dead(dir.file("dead"));
    if (!dead.mounted())
        GTEST_SKIP() << "no FUSE volume can be mounted here: " << dead.failure();
    JournalWriter writer(dir.file("dead/tolvane/journal.jsonl"));
    writer.SetDeadline(std::chrono::milliseconds(400));
    JournalEntry entry;
    entry.operation = "copy";
    entry.result = "done";
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(writer.Append(entry));
    EXPECT_FALSE(writer.Append(entry));
    EXPECT_FALSE(writer.Finish());
    EXPECT_LT(timer.elapsed(), 2000);
    const std::string said = writer.TakeFailure();
    EXPECT_NE(said.find("does not answer"), std::string::npos) << said;
    EXPECT_EQ(writer.TakeFailure(), "");
    // Reading it (the history window, --history) gives up at the deadline.
    timer.restart();
    const JournalRead read =
        ReadJournal(dir.file("dead/tolvane/journal.jsonl"), [](JournalEntry&&) {});
    EXPECT_EQ(read.error, ETIMEDOUT);
    EXPECT_LT(timer.elapsed(), platform::kVolumeDeadline.count() + 2000);
}

// Run by tests/realmount.sh as root in a mount namespace of its own, with a
// tmpfs at $TOLVANE_TEST_MOUNT and /dev/fuse; skipped anywhere else.
TEST(DeadVolume, TheReportDiscoveryAndTheDriveWindowGoOnWithoutVolumesThatDoNotAnswer) {
    const char* mount = std::getenv("TOLVANE_TEST_MOUNT");
    if (mount == nullptr || std::getenv("TOLVANE_TEST_FUSE") == nullptr)
        GTEST_SKIP() << "run by tests/realmount.sh, as root, in a mount namespace, with /dev/fuse";
    const std::string healthy = std::string(mount) + "/OMFI MediaFiles/1";
    const std::string database = WriteDatabase(healthy, {{"LIVE0001.omf", "Live"}});
    MakeFile(healthy + "/LIVE0001.omf", 100);
    // Declared first: the mount points outlive the volumes on them.
    TempDir dir;
    MakeFolder(dir.file("dead1"));
    MakeFolder(dir.file("dead2"));
    DeadVolume first(dir.file("dead1"));
    DeadVolume second(dir.file("dead2"));
    for (const DeadVolume* dead : {&first, &second}) {
        if (!dead->mounted())
            GTEST_SKIP() << "no FUSE volume can be mounted here: " << dead->failure();
        ASSERT_EQ(dead->failure(), "");
    }

    // The report names both, once each, and still reports the healthy volume.
    const ProgramRun report = runProgram({QStringLiteral("--report")}, withoutLeakCheck());
    ASSERT_EQ(report.exitCode, 1) << report.err;
    for (const char* dead : {"dead1", "dead2"}) {
        EXPECT_NE(report.err.find("tolvane: " + dir.file(dead) + ": does not answer\n"),
                  std::string::npos)
            << report.err;
    }
    const CsvRows rows = ReadCsv(report.out);
    EXPECT_NE(
        std::find(rows.begin(), rows.end(),
                  std::vector<std::string>{"Live", "LIVE0001.omf", healthy, "100", "present"}),
        rows.end())
        << report.out;

    // A database named on a volume that died since it was found: Scan! and
    // the report leave it out instead of waiting for it.
    const std::string lost = dir.file("dead1") + "/OMFI MediaFiles/1/msmFMID.pmr";
    std::vector<SearchProblem> loading;
    EXPECT_EQ(DatabasesThatAnswer({lost, database}, platform::MountedVolumes(), loading),
              std::vector<std::string>{database});
    ASSERT_EQ(loading.size(), 1u);
    EXPECT_EQ(loading[0].path, dir.file("dead1"));
    const ProgramRun named = runProgram({QStringLiteral("--report"), QString::fromStdString(lost),
                                         QString::fromStdString(database)},
                                        withoutLeakCheck());
    EXPECT_EQ(named.exitCode, 1) << named.err;
    EXPECT_NE(named.err.find(dir.file("dead1") + ": does not answer"), std::string::npos)
        << named.err;
    EXPECT_NE(named.out.find("LIVE0001.omf"), std::string::npos) << named.out;

    // Discovery in the windows leaves them out and logs them.
    LogCapture log;
    DatabaseList databases;
    const std::vector<SearchProblem> problems = databases.Discover(platform::MountedVolumes());
    const std::vector<std::string> found = databases.CheckedPaths();
    EXPECT_NE(std::find(found.begin(), found.end(), database), found.end());
    std::vector<std::string> silent;
    for (const SearchProblem& problem : problems) {
        if (problem.reason == "does not answer")
            silent.push_back(problem.path);
    }
    EXPECT_EQ(silent, (std::vector<std::string>{dir.file("dead1"), dir.file("dead2")}));
    const std::vector<std::string> lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), dir.file("dead1") + " does not answer"),
              lines.end());

    // The drive window shows them not ready, the healthy volume with its size.
    ScriptedPrompter prompter;
    Services machine{prompter};
    HardwareToolDlg drives(machine);
    ASSERT_TRUE(drives.Create());
    std::vector<std::string> labels;
    for (int row = 0; row < drives.RowCount(); ++row)
        labels.push_back(drives.Label(row).toolTip().toStdString());
    for (const char* dead : {"dead1", "dead2"}) {
        EXPECT_NE(
            std::find(labels.begin(), labels.end(), " " + dir.file(dead) + " -  Device Not ready"),
            labels.end());
    }
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](const std::string& label) {
        return label.rfind(std::string(mount) + " ( ", 0) == 0;
    }));
}

// A volume that answers the probes and the first part of its database, and
// then stops: the report must end, say so, and take none of the folder's
// files for unreferenced (the rest of the database may name them).
TEST(DeadVolume, AVolumeThatStopsAnsweringWhileItsDatabaseIsReadEndsTheLoadWithAMessage) {
    const char* mount = std::getenv("TOLVANE_TEST_MOUNT");
    if (mount == nullptr || std::getenv("TOLVANE_TEST_FUSE") == nullptr)
        GTEST_SKIP() << "run by tests/realmount.sh, as root, in a mount namespace, with /dev/fuse";
    const std::string healthy = std::string(mount) + "/OMFI MediaFiles/2";
    WriteDatabase(healthy, {{"LIVE0002.omf", "Live"}});
    MakeFile(healthy + "/LIVE0002.omf", 100);
    TempDir build;
    std::vector<DbRecord> records;
    for (int i = 0; i < 10000; ++i)
        records.push_back({"CLIP" + std::to_string(i) + ".omf", "Big"});
    records.push_back({"LATE.omf", "Big"});
    auto bytesOf = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string image = bytesOf(WriteDatabase(build.file("db"), records));
    constexpr std::uint64_t kAnswered = 256 * 1024;
    ASSERT_GT(image.size(), 2 * kAnswered);
    TempDir dir;
    MakeFolder(dir.file("dying"));
    const std::string folder = "OMFI MediaFiles/1";
    DyingVolume volume(dir.file("dying"),
                       {{"OMFI MediaFiles", {}, true},
                        {folder, {}, true},
                        {folder + "/msmFMID.pmr", image, false},
                        {folder + "/CLIP0.omf", "0123456789", false},
                        {folder + "/LATE.omf", "late", false}},
                       folder + "/msmFMID.pmr", kAnswered);
    if (!volume.mounted())
        GTEST_SKIP() << "no FUSE volume can be mounted here: " << volume.failure();
    ASSERT_EQ(volume.failure(), "");

    // The report must have ended by then; the volume is then taken away to
    // let the process go.
    QElapsedTimer clock;
    clock.start();
    const ProgramRun report = runProgram({QStringLiteral("--report")}, withoutLeakCheck([&] {
                                             EXPECT_LT(clock.elapsed(), 20000);
                                             volume.Abort();
                                         }));
    EXPECT_TRUE(volume.died());
    EXPECT_EQ(report.exitCode, 1) << report.err;
    EXPECT_NE(report.err.find("tolvane: " + dir.file("dying") + "/" + folder +
                              "/msmFMID.pmr: could not be read to its end: does not answer\n"),
              std::string::npos)
        << report.err;
    const CsvRows rows = ReadCsv(report.out);
    bool live = false;
    for (const std::vector<std::string>& row : rows) {
        live = live || row[1] == "LIVE0002.omf";
        EXPECT_NE(row[1], "LATE.omf") << "taken for unreferenced";
    }
    EXPECT_TRUE(live) << report.out;
}

} // namespace
