#include "mediadb/recordscanner.h"

#include "builders/databasebuilder.h"
#include "builders/literalscanner.h"
#include "feedback/progress.h"
#include "support/logcapture.h"
#include "support/progressspy.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace {

struct Found {
    std::string fileName;
    std::string project;
    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Found& f) {
    return os << "{" << f.fileName << ", " << f.project << "}";
}

class RecordScannerTest : public ::testing::Test {
protected:
    std::string write(const DatabaseBuilder& b, const std::string& name = "msmFMID.pmr") {
        const std::string path = dir.file(name);
        b.write(path);
        return path;
    }

    // Every record the scanner delivers, with the record checked for the
    // fields the scanner writes.
    std::vector<Found> scanDatabase(const std::string& path, ProgressSpy* spy = nullptr) {
        RecordScanner s;
        EXPECT_EQ(s.OpenForScan(path.c_str()), RecordScanner::OpenResult::Opened);
        std::vector<Found> found;
        MediaRecord r;
        while (s.NextDatabaseRecord(r, spy) == RecordScanner::ScanResult::RecordFound) {
            EXPECT_EQ(std::strlen(r.fileName), r.fileNameLength);
            EXPECT_EQ(std::strlen(r.projectName), r.projectNameLength);
            found.push_back({r.fileName.str(), r.projectName.str()});
        }
        EXPECT_EQ(s.NextDatabaseRecord(r, spy), RecordScanner::ScanResult::EndOfFile);
        return found;
    }

    std::vector<Found> scanBin(const std::string& path, ProgressSpy* spy = nullptr) {
        RecordScanner s;
        EXPECT_EQ(s.OpenForScan(path.c_str()), RecordScanner::OpenResult::Opened);
        std::vector<Found> found;
        MediaRecord r;
        while (s.NextBinRecord(r, spy) == RecordScanner::ScanResult::RecordFound) {
            EXPECT_EQ(std::strlen(r.fileName), r.fileNameLength);
            found.push_back({r.fileName.str(), ""});
        }
        return found;
    }

    TempDir dir;
    LogCapture log;
};

TEST_F(RecordScannerTest, FindsRecordsInBothByteOrders) {
    DatabaseBuilder b;
    b.filler(40).bytes({0x0C, 0x00}).text("clip0001.omf").bytes({0x05, 0x00}).text("Proj1");
    b.filler(40, 2).bytes({0x00, 0x0C}).text("clip0002.omf").bytes({0x00, 0x05}).text("Proj2");
    b.filler(40, 3).record("clip0003.wav", "", ByteOrder::HighFirst);
    b.filler(40, 4).record("clip0004.MXF", std::string(66, 'p'));
    b.filler(40, 5);
    EXPECT_EQ(scanDatabase(write(b)), (std::vector<Found>{{"clip0001.omf", "Proj1"},
                                                          {"clip0002.omf", "Proj2"},
                                                          {"clip0003.wav", "**NULL_PROJECT"},
                                                          {"clip0004.MXF", std::string(66, 'p')}}));
}

TEST_F(RecordScannerTest, RejectsImplausibleRecords) {
    DatabaseBuilder b;
    b.filler(30);
    b.record("clip0001.omf", std::string(67, 'p')).filler(8, 2); // project too long
    b.record("clip.Omf", "P").filler(8, 3);                      // mixed-case ending
    b.record("clip.omf1", "P").filler(8, 4);
    b.record("cl\x01p.omf", "P").filler(8, 5); // control character
    b.record("cl\xE9p.omf", "P").filler(8, 6); // byte above 0x7F
    b.record("clip.omf", "P\x7").filler(8, 7); // bad project character
    b.bytes({0x85, 0x00}).text("clip.omf").bytes({1, 0}).text("P").filler(8, 8); // negative length
    b.record("abc", "P").filler(8, 9);                                           // name too short
    b.record("clip.OMF", "P").filler(8, 10);
    b.record("a.omf", "P").filler(8, 11);
    b.record(".omf", "Q").filler(8, 12);
    EXPECT_EQ(scanDatabase(write(b)),
              (std::vector<Found>{{"clip.OMF", "P"}, {"a.omf", "P"}, {".omf", "Q"}}));
}

TEST_F(RecordScannerTest, ResumesOneByteAfterARejectedCandidate) {
    // The first candidate's name runs into a real record and is rejected for
    // its control characters; the record inside it is still found.
    DatabaseBuilder b;
    b.filler(30).bytes({40, 0}).text("abc").record("inner001.omf", "Inner").filler(60, 2);
    EXPECT_EQ(scanDatabase(write(b)), (std::vector<Found>{{"inner001.omf", "Inner"}}));
}

TEST_F(RecordScannerTest, RecordEndingAtTheLastByteIsDelivered) {
    DatabaseBuilder b;
    b.filler(40).record("last0001.omf", "End");
    const std::string path = write(b);
    RecordScanner s;
    ASSERT_EQ(s.OpenForScan(path.c_str()), RecordScanner::OpenResult::Opened);
    MediaRecord r;
    ASSERT_EQ(s.NextDatabaseRecord(r, nullptr), RecordScanner::ScanResult::RecordFound);
    EXPECT_STREQ(r.fileName, "last0001.omf");
    EXPECT_EQ(s.NextDatabaseRecord(r, nullptr), RecordScanner::ScanResult::EndOfFile);
    EXPECT_EQ(s.NextDatabaseRecord(r, nullptr), RecordScanner::ScanResult::EndOfFile);
    // Nothing of the last record is left in it.
    EXPECT_TRUE(r == MediaRecord{});
}

TEST_F(RecordScannerTest, OpenResultsForSmallMissingAndOddFiles) {
    RecordScanner s;
    DatabaseBuilder small;
    small.filler(29);
    EXPECT_EQ(s.OpenForScan(write(small, "29").c_str()), RecordScanner::OpenResult::TooSmall);
    EXPECT_FALSE(s.IsOpen());
    EXPECT_EQ(s.OpenForScan(write(DatabaseBuilder(), "empty").c_str()),
              RecordScanner::OpenResult::TooSmall);
    small.filler(1);
    EXPECT_EQ(s.OpenForScan(write(small, "30").c_str()), RecordScanner::OpenResult::Opened);
    MediaRecord r;
    EXPECT_EQ(s.NextDatabaseRecord(r, nullptr), RecordScanner::ScanResult::EndOfFile);
    EXPECT_EQ(s.OpenForScan(dir.file("missing").c_str()), RecordScanner::OpenResult::CannotOpen);
    EXPECT_EQ(s.OpenForScan(dir.path().c_str()), RecordScanner::OpenResult::CannotOpen);
    // A closed scanner delivers nothing.
    s.Close();
    EXPECT_EQ(s.NextDatabaseRecord(r, nullptr), RecordScanner::ScanResult::EndOfFile);
    EXPECT_EQ(s.NextBinRecord(r, nullptr), RecordScanner::ScanResult::EndOfFile);
}

TEST_F(RecordScannerTest, ProgressAdvancesOncePerRecordAtItsStart) {
    DatabaseBuilder b;
    b.filler(100).record("one00001.omf", "P");
    const std::size_t second = b.size() + 3000;
    b.filler(3000, 2).record("two00002.omf", "P").filler(50, 3);
    ProgressSpy spy;
    EXPECT_EQ(scanDatabase(write(b), &spy).size(), 2u);
    EXPECT_EQ(spy.steps, (std::vector<std::uint64_t>{100, second}));
    EXPECT_EQ(spy.lastTotal, b.size());
}

TEST_F(RecordScannerTest, BinPathsKeepTheirLastPart) {
    DatabaseBuilder b;
    b.filler(30).binPath("/Volumes/Media/clip0001.omf").filler(10, 2);
    b.binPath("clip0002.omf").filler(10, 3);    // no folder: not a path
    b.binPath("/Volumes/Media/").filler(10, 4); // ends in "/"
    b.binPath("/x/a.wav", ByteOrder::HighFirst).filler(10, 5);
    b.binPath("/x/y/.mxf").filler(10, 6);
    b.binPath("/x/y/ab").filler(10, 7); // name too short after the "/"
    ProgressSpy spy;
    EXPECT_EQ(scanBin(write(b, "bin.avb"), &spy),
              (std::vector<Found>{{"clip0001.omf", ""}, {"a.wav", ""}, {".mxf", ""}}));
    // Every printable string is reported, path or not.
    EXPECT_EQ(spy.steps.size(), 6u);
}

// A length is one signed byte: names and bin paths of 126 and 127
// characters are found, one of 128 is none.
TEST_F(RecordScannerTest, NamesAndPathsEndAt127Characters) {
    auto name = [](std::size_t length) { return std::string(length - 4, 'n') + ".omf"; };
    DatabaseBuilder db;
    db.filler(30);
    for (const std::size_t length : {126, 127, 128})
        db.record(name(length), "P").filler(10, static_cast<std::uint32_t>(length));
    db.record("last.omf", "P").filler(10);
    // The bytes of the longer one may still hold a shorter record.
    const std::vector<Found> found = scanDatabase(write(db));
    ASSERT_GE(found.size(), 3u);
    EXPECT_EQ(found[0], (Found{name(126), "P"}));
    EXPECT_EQ(found[1], (Found{name(127), "P"}));
    EXPECT_EQ(found.back(), (Found{"last.omf", "P"}));
    EXPECT_EQ(std::count(found.begin(), found.end(), Found{name(128), "P"}), 0);
    DatabaseBuilder bin;
    bin.filler(30);
    for (const std::size_t length : {126, 127, 128})
        bin.binPath("/v/" + name(length - 3)).filler(10, static_cast<std::uint32_t>(length));
    bin.binPath("/v/last.omf").filler(10);
    EXPECT_EQ(scanBin(write(bin, "bin.avb")),
              (std::vector<Found>{{name(123), ""}, {name(124), ""}, {"last.omf", ""}}));
}

// The scanner against a plain byte-by-byte reading of the same files: records,
// their every byte, and the progress positions must agree, whatever the data
// around them and wherever the file is cut off.
TEST_F(RecordScannerTest, AgreesWithAPlainScanOnRandomFiles) {
    std::mt19937 rng(42);
    const char* endings[] = {"omf", "OMF", "wav", "mxf", "Omf", "aif"};
    for (int round = 0; round < 40; ++round) {
        DatabaseBuilder b;
        const int count = 20 + static_cast<int>(rng() % 40);
        for (int i = 0; i < count; ++i) {
            if (rng() % 2 == 0)
                b.noise(rng() % 400, static_cast<std::uint32_t>(rng()));
            else
                b.filler(rng() % 400, static_cast<std::uint32_t>(rng()));
            const ByteOrder order = rng() % 2 ? ByteOrder::LowFirst : ByteOrder::HighFirst;
            std::string name = "clip" + std::to_string(rng() % 100000) + "." + endings[rng() % 6];
            if (rng() % 5 == 0)
                name = std::string(1 + rng() % 120, 'n') + ".omf";
            if (rng() % 3 == 0)
                b.binPath("/Vol/" + name, order);
            else
                // Projects of one length in several letters: alike in all but
                // their bytes, and more than the scanner keeps at hand.
                b.record(name, std::string(rng() % 70, static_cast<char>('p' + rng() % 3)), order);
        }
        std::vector<std::uint8_t> bytes = b.data();
        // Cut the file at a random point, often inside a record.
        bytes.resize(bytes.size() - rng() % 60);
        const std::string path = dir.file("r" + std::to_string(round));
        WriteBytes(path, bytes);

        for (bool bin : {false, true}) {
            const LiteralScan expected = bin ? LiteralBinScan(bytes) : LiteralDatabaseScan(bytes);
            RecordScanner s;
            ASSERT_EQ(s.OpenForScan(path.c_str()), RecordScanner::OpenResult::Opened);
            ProgressSpy spy;
            std::vector<MediaRecord> got;
            MediaRecord r;
            while ((bin ? s.NextBinRecord(r, &spy) : s.NextDatabaseRecord(r, &spy)) ==
                   RecordScanner::ScanResult::RecordFound)
                got.push_back(r);
            ASSERT_EQ(got.size(), expected.records.size()) << "round " << round << " bin " << bin;
            for (std::size_t i = 0; i < got.size(); ++i)
                ASSERT_TRUE(got[i] == expected.records[i])
                    << "round " << round << " record " << i << " " << got[i].fileName;
            ASSERT_EQ(spy.steps, expected.progress) << "round " << round << " bin " << bin;
        }
    }
}

TEST_F(RecordScannerTest, DamagedEndsNeverReadPastTheFile) {
    // A record cut after every one of its bytes, in both byte orders.
    for (ByteOrder order : {ByteOrder::LowFirst, ByteOrder::HighFirst}) {
        DatabaseBuilder b;
        b.filler(30).record("clip0001.omf", "Project", order);
        const auto full = b.data();
        for (std::size_t cut = 31; cut <= full.size(); ++cut) {
            std::vector<std::uint8_t> bytes(full.begin(), full.begin() + cut);
            const std::string path = dir.file("cut");
            WriteBytes(path, bytes);
            RecordScanner s;
            ASSERT_EQ(s.OpenForScan(path.c_str()), RecordScanner::OpenResult::Opened);
            MediaRecord r;
            const auto result = s.NextDatabaseRecord(r, nullptr);
            EXPECT_EQ(result, cut == full.size() ? RecordScanner::ScanResult::RecordFound
                                                 : RecordScanner::ScanResult::EndOfFile)
                << "cut " << cut;
        }
    }
    // A low-byte-first project length whose zero byte is the last of the file
    // reads as "no project"; the high byte never arrives.
    DatabaseBuilder b;
    b.filler(30).record("tail0001.omf", "").data();
    std::vector<std::uint8_t> bytes = b.data();
    bytes.pop_back();
    const std::string path = dir.file("tail");
    WriteBytes(path, bytes);
    EXPECT_EQ(scanDatabase(path), (std::vector<Found>{{"tail0001.omf", "**NULL_PROJECT"}}));
    EXPECT_TRUE(log.lines().empty());
}

} // namespace
