#include "omf/omfreader.h"

#include "builders/databasebuilder.h"
#include "builders/omfbuilder.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer's runtime, whose headers the compiler may not ship.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

using Lines = std::vector<std::string>;

// The bytes the program holds from the allocator now.
std::size_t AllocatedBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

class OmfReaderTest : public ::testing::Test {
protected:
    std::string write(const OmfBuilder& b, const std::string& name = "media.omf") {
        const std::string path = dir.file(name);
        b.write(path);
        return path;
    }
    std::string writeBytes(const std::vector<std::uint8_t>& bytes) {
        const std::string path = dir.file("raw.omf");
        WriteBytes(path, bytes);
        return path;
    }

    TempDir dir;
    LogCapture log;
    OmfReader reader;
};

TEST_F(OmfReaderTest, RefusesBadLabelsAndTinyFiles) {
    EXPECT_FALSE(reader.Open(writeBytes(std::vector<std::uint8_t>(24, 0)).c_str()));
    EXPECT_EQ(log.lines(), Lines{});
    EXPECT_FALSE(reader.Open(writeBytes(std::vector<std::uint8_t>(25, 0)).c_str()));
    EXPECT_EQ(log.lines(), Lines{"Bad Header"});

    OmfBuilder good;
    good.classId(5, "ABCD");
    for (OmfBuilder bad :
         {OmfBuilder(good).byteOrder(0x4D4D), OmfBuilder(good).version(2),
          OmfBuilder(good).magicByte(7, 0), OmfBuilder(good).statedTocSize(100000)}) {
        log.clear();
        EXPECT_FALSE(reader.Open(write(bad).c_str()));
        EXPECT_FALSE(reader.IsOpen());
        EXPECT_EQ(log.lines(), Lines{"Bad Header"});
    }
    log.clear();
    EXPECT_FALSE(reader.Open(dir.file("missing.omf").c_str()));
    EXPECT_EQ(log.lines().size(), 2u); // the reader's open error lines only
    EXPECT_TRUE(reader.Open(write(good).c_str()));
    EXPECT_TRUE(reader.IsOpen());
    reader.Close();
    EXPECT_FALSE(reader.IsOpen());
}

TEST_F(OmfReaderTest, IndexesTheTocAndReadsValues) {
    OmfBuilder b;
    b.string(7, 100, "abcd");  // immediate
    b.string(7, 101, "abcde"); // at a position
    b.string(7, 100, "wxyz");  // the later entry wins
    b.classId(8, "MDES");
    b.statedTocSize(50); // two whole entries and a part
    ASSERT_TRUE(reader.Open(write(b).c_str()));
    EXPECT_EQ(reader.TocEntryCount(), 2u);
    ObjectEntry* seven = reader.FindObject(7);
    ASSERT_NE(seven, nullptr);
    EXPECT_EQ(reader.FindObject(8), nullptr);

    OmfBuilder full;
    full.string(7, 100, "abcd").string(7, 101, "abcde").string(7, 100, "wxyz").classId(8, "MDES");
    ASSERT_TRUE(reader.Open(write(full).c_str()));
    seven = reader.FindObject(7);
    char buffer[16];
    EXPECT_EQ(reader.ReadString(reader.FindProperty(seven, 100), buffer, sizeof buffer), 4u);
    EXPECT_STREQ(buffer, "wxyz");
    EXPECT_EQ(reader.ReadString(reader.FindProperty(seven, 101), buffer, sizeof buffer), 5u);
    EXPECT_STREQ(buffer, "abcde");
    // A buffer of exactly the length is one short: the size needed comes back.
    char exact[5] = {'q', 'q', 'q', 'q', 'q'};
    EXPECT_EQ(reader.ReadString(reader.FindProperty(seven, 101), exact, 5), 6u);
    EXPECT_EQ(exact[0], 'q');
    EXPECT_EQ(reader.ReadString(reader.FindProperty(reader.FindObject(8), 66060), buffer, 16), 4u);
    EXPECT_STREQ(buffer, "MDES");
    EXPECT_EQ(reader.ReadString(nullptr, buffer, 16), 0u);
    EXPECT_EQ(reader.ReadValue(reader.FindProperty(seven, 101)),
              (std::vector<std::uint8_t>{'a', 'b', 'c', 'd', 'e'}));
}

TEST_F(OmfReaderTest, ReadsMobTablesOfTheHeaderObjectOnly) {
    OmfBuilder b;
    b.mobTable(66070, {{{1, 2, 9}, 10}, {{1, 2, 9}, 11}}); // same third word: the later wins
    b.mobTable(66025, {{{1, 2, 3}, 30}}, 5);               // states more than it holds
    b.classId(2, "XXXX");
    b.mobTable(66050, {{{1, 2, 4}, 40}}); // after another object: not read
    ASSERT_TRUE(reader.Open(write(b).c_str()));
    EXPECT_EQ(reader.SourceMobs().size(), 2u);
    EXPECT_EQ(reader.CompositionMobs().size(), 1u);
    EXPECT_TRUE(reader.MediaData().empty());
    ASSERT_NE(reader.MobIds().find(9), nullptr);
    EXPECT_EQ(reader.MobIds().find(9)->objectId, 11u);

    OmfBuilder ids;
    ids.mobTable(66070, {{{1, 2, 77}, 10}});
    ids.mobId(10, 66350, {5, 6, 77});
    ids.raw(10, 66351, 65695, 0, 11);
    ASSERT_TRUE(reader.Open(write(ids).c_str()));
    ObjectEntry* mob = reader.FindObject(10);
    EXPECT_EQ(reader.ResolveMobId(reader.FindProperty(mob, 66350)), 10u);
    EXPECT_EQ(reader.ResolveMobId(reader.FindProperty(mob, 66351)), 0u);
}

// Values that end exactly at the end of the file, and one byte past it: the
// label's last eight bytes are the TOC offset and size.
TEST_F(OmfReaderTest, ValuesAtTheEndOfTheFile) {
    OmfBuilder b;
    b.classId(7, "ABCD");
    const std::size_t size = b.build().size() + 2 * omf::kTocEntrySize;
    b.raw(7, 100, 65680, static_cast<std::uint32_t>(size - 8), 8);
    b.raw(7, 101, 65680, static_cast<std::uint32_t>(size - 8), 9);
    ASSERT_TRUE(reader.Open(write(b).c_str()));
    ASSERT_EQ(reader.FileSize(), size);
    ObjectEntry* seven = reader.FindObject(7);
    const auto exact = reader.ReadValue(reader.FindProperty(seven, 100));
    EXPECT_EQ(exact.size(), 8u);
    EXPECT_EQ(reader.ReadValue(reader.FindProperty(seven, 101)), exact);
    char buffer[16];
    EXPECT_EQ(reader.ReadString(reader.FindProperty(seven, 101), buffer, sizeof buffer), 9u);
    EXPECT_EQ(buffer[8], '\0');
    EXPECT_EQ(std::memcmp(buffer, exact.data(), 8), 0);
}

TEST_F(OmfReaderTest, AContainerWithoutEntriesDoesNotOpen) {
    OmfBuilder empty;
    EXPECT_FALSE(reader.Open(write(empty).c_str()));
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(reader.FileSize(), 0u);
}

TEST_F(OmfReaderTest, HostileLengthsAndPositionsStayInsideTheFile) {
    OmfBuilder b;
    b.mobTable(66070, {{{1, 2, 3}, 10}});
    b.raw(10, 66355, 65655, 0xFFFFFFF0u, 0xFFFFFFFFu); // descriptor far beyond the end
    b.raw(10, 66205, 65680, 3, 0xFFFFFFF0u);           // a name of nearly 4 GiB
    b.raw(1, 66050, 65645, 0, 0xFFFFFFFFu);            // a mob table as long as possible
    ASSERT_TRUE(reader.Open(write(b).c_str()));
    ObjectEntry* mob = reader.FindObject(10);
    EXPECT_LE(reader.ReadValue(reader.FindProperty(mob, 66205)).size(), reader.FileSize());
    EXPECT_TRUE(reader.ReadValue(reader.FindProperty(mob, 66355)).empty());
    char buffer[64];
    EXPECT_EQ(reader.ReadString(reader.FindProperty(mob, 66205), buffer, sizeof buffer),
              0xFFFFFFF1u);
    EXPECT_EQ(reader.SourceName(buffer, sizeof buffer), 0u);
    EXPECT_EQ(reader.ReadMediaDescriptor(), OmfReader::NoDescriptor);
}

// A mob table value of 65535 entries: objects and third mob id words from
// first on.
std::vector<std::uint8_t> FullMobTable(std::uint32_t first) {
    std::vector<std::uint8_t> table{0xFF, 0xFF};
    for (std::uint32_t i = 0; i < 0xFFFF; ++i) {
        for (std::uint32_t word : {1u, 2u, first + i, first + i, 0u})
            for (int b = 0; b < 4; ++b)
                table.push_back(static_cast<std::uint8_t>(word >> (8 * b)));
    }
    return table;
}

void ExpectFullTable(const NumberMap<MobIndexEntry>& table, std::uint32_t first) {
    ASSERT_EQ(table.size(), 0xFFFFu);
    for (std::uint32_t i : {0u, 1u, 0xFFFEu}) {
        const MobIndexEntry* mob = table.find(first + i);
        ASSERT_NE(mob, nullptr) << first + i;
        EXPECT_EQ(mob->objectId, first + i);
        EXPECT_EQ(mob->mobId[2], first + i);
    }
}

TEST_F(OmfReaderTest, MobTablesAreReadAboutOnceHoweverOftenTheTocNamesThem) {
    // Three tables of their own that make up nearly all of the file are all
    // read, and nothing is said.
    OmfBuilder three;
    three.raw(omf::kHeaderObject, omf::kPropSourceMobs, omf::kTypeMobTable,
              three.data(FullMobTable(100000)), 2 + 20 * 0xFFFF);
    three.raw(omf::kHeaderObject, omf::kPropCompositionMobs, omf::kTypeMobTable,
              three.data(FullMobTable(200000)), 2 + 20 * 0xFFFF);
    three.raw(omf::kHeaderObject, omf::kPropMediaData, omf::kTypeMobTable,
              three.data(FullMobTable(300000)), 2 + 20 * 0xFFFF);
    three.classId(2, "XXXX");
    ASSERT_TRUE(reader.Open(write(three).c_str()));
    ExpectFullTable(reader.SourceMobs(), 100000);
    ExpectFullTable(reader.CompositionMobs(), 200000);
    ExpectFullTable(reader.MediaData(), 300000);
    EXPECT_EQ(reader.MobIds().size(), 3u * 0xFFFF);
    EXPECT_EQ(log.lines(), Lines{});

    // Four hundred entries naming the same table, each as long as the file:
    // the table is what one reading gives, and the file is read about once,
    // not once for each entry.
    OmfBuilder repeated;
    const std::uint32_t at = repeated.data(FullMobTable(100000));
    for (int i = 0; i < 400; ++i)
        repeated.raw(omf::kHeaderObject, omf::kPropSourceMobs, omf::kTypeMobTable, at, 0xFFFFFFFFu);
    repeated.classId(2, "XXXX");
    ASSERT_TRUE(reader.Open(write(repeated).c_str()));
    ExpectFullTable(reader.SourceMobs(), 100000);
    ExpectFullTable(reader.MobIds(), 100000);
    EXPECT_TRUE(reader.CompositionMobs().empty());
    EXPECT_LE(reader.BytesRead(), 2 * reader.FileSize());
    EXPECT_EQ(log.lines(), Lines{"Mob tables read the file over again: the rest are left out"});
}

TEST_F(OmfReaderTest, ManyObjectsCostLittleEach) {
    // A TOC of a hundred thousand objects of one property each: the reader
    // holds little more for each than its TOC entry, as a large composition
    // or a hostile TOC of millions would need.
    OmfBuilder b;
    for (std::uint32_t id = 100; id < 100100; ++id)
        b.classId(id, "ABCD");
    const std::string path = write(b);
    const std::size_t before = AllocatedBytes();
    ASSERT_TRUE(reader.Open(path.c_str()));
    EXPECT_EQ(reader.Objects().size(), 100000u);
    const std::size_t held = AllocatedBytes() - before;
    EXPECT_LE(held / 100000, 200u) << held / 100000;
    char name[8];
    EXPECT_EQ(reader.ReadString(reader.FindProperty(reader.FindObject(100099), 66060), name, 8),
              4u);
    EXPECT_STREQ(name, "ABCD");
}

} // namespace
