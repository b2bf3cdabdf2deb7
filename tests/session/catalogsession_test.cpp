#include "session/catalogsession.h"

#include "builders/mediafolder.h"
#include "feedback/jobcontext.h"
#include "support/logcapture.h"
#include "support/rowselection.h"
#include "support/samplemediatest.h"
#include "support/scriptedprompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;

// The window a job runs for, scripted: it notes what the job asks of it and
// cancels at the nth cancel question.
class ScriptedContext : public JobContext {
public:
    bool CheckCancel() override { return ++cancelChecks == cancelAt; }
    std::unique_ptr<Progress> StartProgress(const std::string& caption) override {
        captions.push_back(caption);
        return nullptr;
    }
    void SetBusy(bool busy) override { busy_.push_back(busy); }
    void HandleWaiting() override { ++waits; }

    int cancelChecks = 0;
    int cancelAt = -1;
    int waits = 0;
    std::vector<std::string> captions;
    std::vector<bool> busy_;
};

class CatalogSessionTest : public SampleMediaTest {
protected:
    const std::string omfi = sample->file("OMFI MediaFiles/1");
    const std::string mxf = sample->file("AVID MediaFiles/MXF/1");
    LogCapture log;
    ScriptedPrompter prompter;
    ScriptedContext context;
    CatalogSession session{prompter, [] { return std::vector<platform::Volume>{}; }};
};

TEST_F(CatalogSessionTest, ScanSaysWhatBecameOfEachDatabaseAndLoadsTheRest) {
    TempDir dir;
    const std::string small = dir.file("small/msmFMID.pmr");
    MakeFile(small, 3);
    const std::vector<DatabaseOutcome> outcomes = session.Scan(
        {omfi + "/msmFMID.pmr", dir.file("gone/msmFMID.pmr"), small, mxf + "/msmFMID.pmr"},
        context);
    ASSERT_EQ(outcomes.size(), 4u);
    EXPECT_EQ(outcomes[0].error, "");
    EXPECT_EQ(outcomes[1].error, "does not exist");
    EXPECT_EQ(outcomes[2].error, "too small to be a media database");
    EXPECT_EQ(outcomes[3].error, "");

    // The same two loaded one by one, as a plain reading of them.
    MediaCatalog plain;
    plain.LoadDatabase(omfi + "/msmFMID.pmr", false, nullptr);
    plain.LoadDatabase(mxf + "/msmFMID.pmr", false, nullptr);
    EXPECT_EQ(session.Catalog().FileCount(), plain.FileCount());
    EXPECT_EQ(session.Catalog().TotalSize(), plain.TotalSize());
    EXPECT_EQ(session.Catalog().ProjectCount(), plain.ProjectCount());
    // One progress window; a scan leaves the window's controls alone.
    EXPECT_EQ(context.captions, std::vector<std::string>{""});
    EXPECT_TRUE(context.busy_.empty());

    // Scanning again starts from an empty catalog.
    session.Scan({omfi + "/msmFMID.pmr"}, context);
    MediaCatalog one;
    one.LoadDatabase(omfi + "/msmFMID.pmr", false, nullptr);
    EXPECT_EQ(session.Catalog().FileCount(), one.FileCount());
}

TEST_F(CatalogSessionTest, AnalysisReadsTheFactsAFolderScanReads) {
    // Both folders scanned as folders: what the files say of themselves.
    CatalogSession folders(prompter, [] { return std::vector<platform::Volume>{}; });
    std::map<std::string, MediaRecord> scanned;
    for (const std::string& folder : {omfi, mxf}) {
        folders.ScanMediaFolder(folder, context);
        for (std::uint32_t i = 0; i < folders.Catalog().FileCount(); ++i) {
            const MediaRecord& r = *folders.Catalog().GetRecord(i);
            scanned[r.fileName.str()] = r;
        }
    }
    // The databases know none of it; F2 reads it.
    session.Scan({omfi + "/msmFMID.pmr", mxf + "/msmFMID.pmr"}, context);
    RowSelection rows = RowSelection::AllOf(session.Catalog());
    context = ScriptedContext();
    session.AnalyseFiles(rows, context);
    EXPECT_EQ(context.busy_, (std::vector<bool>{true, false}));
    int compared = 0;
    for (int row : rows.read) {
        const MediaRecord& r = *session.Catalog().GetRecord(rows.CatalogIndex(row));
        const auto it = scanned.find(r.fileName.str());
        if (it == scanned.end() || IsMissing(r))
            continue;
        ++compared;
        EXPECT_STREQ(r.nameInBin, it->second.nameInBin) << r.fileName;
        EXPECT_STREQ(r.compressionText, it->second.compressionText) << r.fileName;
        EXPECT_STREQ(r.codecName, it->second.codecName) << r.fileName;
        EXPECT_EQ(r.compressionCode, it->second.compressionCode) << r.fileName;
    }
    EXPECT_GE(compared, 6);
    // Rows whose file is missing are passed over.
    for (int row : rows.read)
        EXPECT_FALSE(IsMissing(*session.Catalog().GetRecord(rows.CatalogIndex(row))));
}

TEST_F(CatalogSessionTest, AKeyPressedDuringAnalysisEndsItAndFreesTheWindow) {
    session.Scan({omfi + "/msmFMID.pmr"}, context);
    // The rows whose files are read, found by reading them all once.
    RowSelection all = RowSelection::AllOf(session.Catalog());
    session.AnalyseFiles(all, context);
    ASSERT_GE(all.read.size(), 3u);
    RowSelection rows = RowSelection::AllOf(session.Catalog());
    for (RowSelection::Row& row : rows.rows)
        row.selected =
            std::find(all.read.begin(), all.read.end(), &row - rows.rows.data()) != all.read.end();
    context = ScriptedContext();
    context.cancelAt = 2; // a key pressed while the first file is read
    session.AnalyseFiles(rows, context);
    EXPECT_EQ(rows.read.size(), 1u);
    EXPECT_EQ(context.waits, 1);
    EXPECT_EQ(context.busy_, (std::vector<bool>{true, false}));
}

TEST_F(CatalogSessionTest, TheOptionsChooseWhetherAMoveAsksBeforeReplacing) {
    TempDir dir;
    for (const bool confirm : {true, false}) {
        const std::string from = dir.file(confirm ? "a" : "b");
        const std::string to = dir.file(confirm ? "a-target" : "b-target");
        MakeFile(from + "/clip.omf", 100);
        MakeFile(to + "/clip.omf", 7);
        session.ScanMediaFolder(from, context);
        Options options;
        options.confirmMove = confirm;
        session.SetOptions(options);
        RowSelection rows = RowSelection::AllOf(session.Catalog());
        prompter.choose(to);
        prompter.answer(MsgAnswer::No); // to replacing, when asked
        const std::size_t before = prompter.questions().size();
        session.MoveFiles(rows, context);
        const auto asked =
            std::count_if(prompter.questions().begin() + static_cast<std::ptrdiff_t>(before),
                          prompter.questions().end(), [](const Question& q) {
                              return q.text.find("already has a file named") != std::string::npos;
                          });
        EXPECT_EQ(asked, confirm ? 1 : 0);
        EXPECT_EQ(fs::file_size(to + "/clip.omf"), confirm ? 7u : 100u);
        EXPECT_EQ(fs::exists(from + "/clip.omf"), confirm);
    }
}

} // namespace
