#include "mediadb/mediacatalog.h"

#include "builders/databasebuilder.h"
#include "builders/mediafolder.h"
#include "builders/mxfbuilder.h"
#include "builders/omfbuilder.h"
#include "feedback/cancel.h"
#include "mediadb/filefacts.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Lines = std::vector<std::string>;

// Projects with their files, each sorted: "project: file file".
Lines sortedContents(const MediaCatalog& catalog) {
    Lines out;
    for (const auto& [name, project] : catalog.Projects()) {
        Lines files;
        for (const auto& [fileName, record] : project.files)
            files.push_back(record.fileName.str());
        std::sort(files.begin(), files.end());
        std::string line = project.name + ":";
        for (const std::string& f : files)
            line += " " + f;
        out.push_back(line);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Says yes to cancelling at its nth question.
class CancelAt : public CancelCheck {
public:
    explicit CancelAt(int n) : m_n(n) {}
    bool CheckCancel() override { return ++m_asked == m_n; }

private:
    int m_n;
    int m_asked = 0;
};

void writeOmf(const std::string& path, const std::string& project, const std::string& clip) {
    MediaFileDesc desc;
    desc.project = project;
    desc.clipName = clip;
    desc.jpegFrames = false;
    desc.frames = 1;
    MakeFolder(path.substr(0, path.find_last_of('/')));
    BuildMediaFile(desc).write(path);
}

class CatalogScanTest : public ::testing::Test {
protected:
    TempDir dir;
    LogCapture log;
    MediaCatalog catalog;
};

TEST_F(CatalogScanTest, AFolderScanListsFilesByTheirOwnProjects) {
    const std::string folder = dir.file("media");
    writeOmf(folder + "/a.omf", "P", "Clip A");
    writeOmf(folder + "/b.omf", "", "Clip B");
    MakeFile(folder + "/c.mxf", 3000); // no container
    WriteDatabase(folder, {{"a.omf", "Other"}});
    MakeFolder(folder + "/sub");
    EXPECT_EQ(catalog.ScanMediaFolder(folder, nullptr, nullptr), MediaCatalog::ScanResult::Done);
    EXPECT_EQ(sortedContents(catalog),
              (Lines{"**NULL_PROJECT: b.omf", "**UNREFERENCED FILES: c.mxf", "P: a.omf"}));
    const MediaRecord* a = catalog.FindFileByName("a.omf");
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->nameInBin, "Clip A");
    EXPECT_STREQ(a->compressionText, "JFIF");
    EXPECT_EQ(a->compressionCode, 75u);
    EXPECT_EQ(std::string(a->folder), folder);
    EXPECT_EQ(catalog.FindFileByName("b.omf")->projectNameLength, 14u);
    EXPECT_TRUE(catalog.isConsistent());
    EXPECT_EQ(log.lines().back(), "------------------<OK!>-------------------");
}

TEST_F(CatalogScanTest, ACancelledFolderScanListsTheRestAsUnreferenced) {
    const std::string folder = dir.file("media");
    for (int i = 0; i < 6; ++i)
        writeOmf(folder + "/m" + std::to_string(i) + ".omf", "P", "Clip");
    // Yes at the first question: no file was opened, all are listed.
    CancelAt first(1);
    EXPECT_EQ(catalog.ScanMediaFolder(folder, nullptr, &first), MediaCatalog::ScanResult::Done);
    EXPECT_EQ(catalog.FileCount(), 6u);
    EXPECT_EQ(catalog.FindProject("P"), nullptr);
    EXPECT_EQ(catalog.FindProject("**UNREFERENCED FILES")->files.size(), 6u);
    EXPECT_TRUE(catalog.isConsistent());
    // Later: what was opened keeps its project, the rest is unreferenced.
    CancelAt later(6);
    catalog.ScanMediaFolder(folder, nullptr, &later);
    ASSERT_NE(catalog.FindProject("P"), nullptr);
    const std::size_t opened = catalog.FindProject("P")->files.size();
    EXPECT_GT(opened, 0u);
    EXPECT_LT(opened, 6u);
    EXPECT_EQ(catalog.FindProject("**UNREFERENCED FILES")->files.size(), 6u - opened);

    writeOmf(folder + "/keep.omf", "P", "Clip");
    EXPECT_EQ(catalog.ScanMediaFolder("", nullptr, nullptr), MediaCatalog::ScanResult::EmptyPath);
    EXPECT_EQ(catalog.FileCount(), 0u);
}

TEST_F(CatalogScanTest, ABinIsLookedUpInTheMediaFoldersOfEveryVolume) {
    const std::string vol = dir.file("vol");
    writeOmf(vol + "/AVID MediaFiles/MXF/1/x.omf", "X", "Clip X");
    writeOmf(vol + "/OMFI MediaFiles/1/z.omf", "Old", "First");
    writeOmf(vol + "/AVID MediaFiles/MXF/2/z.omf", "New", "Second"); // met last
    MakeFile(vol + "/Elsewhere/w.omf", 10);                          // in no media folder
    // 199 characters, none of whose bytes happens to be the length of a
    // shorter path ending where it ends.
    std::string longPath = "/Volumes/" + std::string(181, 'a') + "/long.omf";
    for (std::size_t k = 0; k < longPath.size(); ++k) {
        while (static_cast<std::size_t>(longPath[k]) + k + 2 == longPath.size())
            ++longPath[k];
    }
    DatabaseBuilder bin;
    bin.filler(50)
        .binPath("/Volumes/Media/AVID MediaFiles/MXF/1/x.omf")
        .filler(20, 2)
        .binPath("/Volumes/Media/OMFI MediaFiles/y.omf", ByteOrder::HighFirst)
        .filler(20, 3)
        .binPath("/Volumes/Other/z.omf")
        .filler(20, 4)
        .binPath("/x/w.omf", ByteOrder::HighFirst)
        .filler(20, 5)
        .binPath("/Volumes/Media/AVID MediaFiles/MXF/1/x.omf") // named twice
        .filler(30, 6)
        .binPath(longPath) // beyond a record's length: told, not listed
        .filler(30, 7);
    bin.write(dir.file("Edit.avb"));
    const std::vector<platform::Volume> volumes{{vol, "vol"}};
    EXPECT_EQ(catalog.ScanBin(dir.file("Edit.avb"), nullptr, nullptr, volumes),
              MediaCatalog::ScanResult::Done);
    EXPECT_EQ(sortedContents(catalog),
              (Lines{"**FILE_NOT_EXIST: w.omf y.omf", "New: z.omf", "X: x.omf"}));
    const MediaRecord* x = catalog.FindFileByName("x.omf");
    EXPECT_EQ(std::string(x->folder), vol + "/AVID MediaFiles/MXF/1");
    EXPECT_STREQ(x->nameInBin, "Clip X");
    EXPECT_EQ(catalog.FindFileByName("y.omf")->attributes, -1);
    EXPECT_STREQ(catalog.FindFileByName("z.omf")->nameInBin, "Second");
    // A file not found keeps the folder the bin gave; a found one has its own.
    auto binFolder = [&](const char* name) {
        const std::string* folder = catalog.BinFolder(catalog.FindFileByName(name)->catalogIndex);
        return folder != nullptr ? *folder : std::string("(none)");
    };
    EXPECT_EQ(binFolder("y.omf"), "/Volumes/Media/OMFI MediaFiles");
    EXPECT_EQ(binFolder("w.omf"), "/x");
    EXPECT_EQ(binFolder("x.omf"), "(none)");
    const Lines lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Found 1 dup(s)"), lines.end());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Path too long in bin: " + longPath), 1);
    EXPECT_EQ(catalog.FindFileByName("long.omf"), nullptr);
    EXPECT_EQ(lines[0], "------------<OPENING FILE>----------------");
    EXPECT_EQ(lines[1], dir.file("Edit.avb"));
    EXPECT_TRUE(catalog.isConsistent());
}

TEST_F(CatalogScanTest, BinsThatCannotBeReadLeaveTheCatalogEmpty) {
    MakeFile(dir.file("small.avb"), 29);
    EXPECT_EQ(catalog.ScanBin(dir.file("small.avb"), nullptr, nullptr, {}),
              MediaCatalog::ScanResult::TooSmall);
    EXPECT_EQ(log.lines().back(), "File is too small");
    EXPECT_EQ(catalog.ScanBin(dir.file("none.avb"), nullptr, nullptr, {}),
              MediaCatalog::ScanResult::CannotOpen);
    EXPECT_EQ(catalog.ScanBin("", nullptr, nullptr, {}), MediaCatalog::ScanResult::EmptyPath);
    EXPECT_EQ(catalog.FileCount(), 0u);
}

void writeMxf(const std::string& path, const std::string& project, const std::string& clip) {
    MxfFileDesc desc;
    desc.projectName = project;
    desc.clipName = clip;
    desc.tapeName = "T1";
    desc.width = 256;
    desc.height = 144;
    desc.frames = 1;
    MakeFolder(path.substr(0, path.find_last_of('/')));
    ASSERT_TRUE(WriteMxfFile(path, desc));
}

TEST_F(CatalogScanTest, MxfFilesAreListedUnderTheirOwnProjectsUnlessReadingThemIsOff) {
    const std::string folder = dir.file("vol/AVID MediaFiles/MXF/1");
    writeMxf(folder + "/a.mxf", "Harbour", "Clip A");
    writeMxf(folder + "/b.MXF", "", "Clip B");
    writeMxf(folder + "/c.Mxf", "Harbour", "Clip C"); // not an MXF name
    MakeFile(folder + "/d.mxf", 3000);                // not MXF inside
    writeOmf(folder + "/e.omf", "Harbour", "Clip E");
    catalog.ScanMediaFolder(folder, nullptr, nullptr);
    // Only the two files that are no MXF file are bad OMF containers too.
    const Lines lines = log.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Bad Header"), 2);
    EXPECT_EQ(sortedContents(catalog),
              (Lines{"**NULL_PROJECT: b.MXF", "**UNREFERENCED FILES: c.Mxf d.mxf",
                     "Harbour: a.mxf e.omf"}));
    const MediaRecord* a = catalog.FindFileByName("a.mxf");
    EXPECT_STREQ(a->nameInBin, "Clip A");
    EXPECT_STREQ(a->codecName, "VC3/DNxHD");
    EXPECT_STREQ(a->compressionText, "dnxhd");
    EXPECT_EQ(a->compressionCode, 0u);
    EXPECT_STREQ(a->sourceName, "T1");
    EXPECT_EQ(a->projectNameLength, 7u);
    EXPECT_EQ(catalog.FindFileByName("b.MXF")->projectNameLength, 14u);
    EXPECT_STREQ(catalog.FindFileByName("e.omf")->codecName, "");
    EXPECT_TRUE(catalog.isConsistent());

    // A bin naming them: project and clip from the files.
    DatabaseBuilder bin;
    bin.filler(50)
        .binPath("/Volumes/Media/AVID MediaFiles/MXF/1/a.mxf")
        .filler(20, 2)
        .binPath("/Volumes/Media/AVID MediaFiles/MXF/1/b.MXF")
        .filler(20, 3);
    bin.write(dir.file("Edit.avb"));
    const std::vector<platform::Volume> volumes{{dir.file("vol"), "vol"}};
    catalog.ScanBin(dir.file("Edit.avb"), nullptr, nullptr, volumes);
    EXPECT_EQ(sortedContents(catalog), (Lines{"**NULL_PROJECT: b.MXF", "Harbour: a.mxf"}));
    EXPECT_STREQ(catalog.FindFileByName("a.mxf")->nameInBin, "Clip A");
    EXPECT_STREQ(catalog.FindFileByName("a.mxf")->codecName, "");

    // Off: MXF files are what they were before the program read them.
    catalog.SetReadMxf(false);
    log.clear();
    catalog.ScanMediaFolder(folder, nullptr, nullptr);
    EXPECT_EQ(sortedContents(catalog),
              (Lines{"**UNREFERENCED FILES: a.mxf b.MXF c.Mxf d.mxf", "Harbour: e.omf"}));
    for (const std::string& line : log.lines())
        EXPECT_FALSE(line.starts_with("MXF")) << line;
    catalog.ScanBin(dir.file("Edit.avb"), nullptr, nullptr, volumes);
    EXPECT_EQ(sortedContents(catalog), (Lines{": a.mxf b.MXF"}));
    EXPECT_STREQ(catalog.FindFileByName("a.mxf")->nameInBin, "");
}

TEST(FileFacts, AProjectNameIsCutToSixtyNineBytesBetweenCharacters) {
    MediaRecord record{};
    FileFacts facts;
    ApplyFacts(facts, kFactProject, record);
    EXPECT_STREQ(record.projectName, "**NULL_PROJECT");
    EXPECT_EQ(record.projectNameLength, 14u);
    std::string longName;
    for (int i = 0; i < 80; ++i)
        longName += "\xC3\xA9"; // é, two bytes
    facts.projectName = longName;
    facts.hasProject = true;
    ApplyFacts(facts, kFactProject, record);
    EXPECT_EQ(record.projectNameLength, 68u);
    EXPECT_EQ(std::string(record.projectName), longName.substr(0, 68));
}

} // namespace
