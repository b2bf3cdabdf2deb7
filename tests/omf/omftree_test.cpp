#include "omf/omftree.h"

#include "builders/omfbuilder.h"
#include "omf/omfreader.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <functional>

namespace {

// Property and type definitions come first in the TOC, after the header:
// objects whose ids are the property and type ids, each with its name.
void addNames(OmfBuilder& b) {
    b.string(66025, 1, "OMFI:HEAD:CompositionMobs");
    b.string(66205, 1, "OMFI:MOBJ:Name");
    // Names are kept whatever type the file gives them, up to 127
    // characters.
    b.definition(70000, "OMFI:TEST:Ref");
    b.positioned(
        70001, 1, 65680,
        {'O', 'M', 'F', 'I', ':', 'T', 'E', 'S', 'T', ':', 'O', 't', 'h', 'e', 'r', 0, 'x'});
    b.string(70002, 1, "OMFI:TEST:Short");
    b.string(70003, 1, "OMFI:TEST:Long");
    b.string(70004, 1, "OMFI:TEST:Flag");
    b.string(70005, 1, "OMFI:TEST:Count");
    b.string(70006, 1, "OMFI:TEST:Rational");
    b.string(70007, 1, "OMFI:TEST:Length");
    b.definition(70008, "OMFI:TEST:Layout");
    b.definition(70009, "OMFI:TEST:" + std::string(145, 'N'));
    b.definition(65665, "omfi:ClassID");
    b.string(65610, 1, "omfi:UInt32");
}

const OmfTreeItem* find(const std::vector<OmfTreeItem>& items, const std::string& text) {
    for (const OmfTreeItem& item : items) {
        if (item.text == text)
            return &item;
    }
    return nullptr;
}

std::size_t countItems(const std::vector<OmfTreeItem>& items) {
    std::size_t n = 0;
    for (const OmfTreeItem& item : items)
        n += 1 + countItems(item.children);
    return n;
}

class OmfTreeTest : public ::testing::Test {
protected:
    OmfTree build(const OmfBuilder& b, std::size_t limit = OmfTreeBuilder::kMaxItems) {
        b.write(dir.file("tree.omf"));
        EXPECT_TRUE(reader.Open(dir.file("tree.omf").c_str()));
        return OmfTreeBuilder(reader, limit).Build();
    }
    TempDir dir;
    OmfReader reader;
};

TEST_F(OmfTreeTest, ObjectsPropertiesAndReferencesAsItems) {
    OmfBuilder b;
    b.mobTable(66025, {{{1, 2, 3}, 10}});
    b.classId(1, "HEAD");
    addNames(b);
    b.classId(10, "CMOB").string(10, 66205, "Clip").objectRef(10, 70000, 20);
    b.string(10, 70002, "abc").string(10, 70003, std::string(40, 'x'));
    b.immediate(10, 70004, 65605, 1).immediate(10, 70005, 65610, 0xBEEF);
    b.immediateBytes(10, 70009, 65665, std::string("AB\0\0", 4));
    b.classId(20, "SCLP").objectRef(20, 70001, 10); // refers back to its parent
    b.classId(30, "XXXX");                          // referenced by nothing
    const OmfTree tree = build(b);
    ASSERT_FALSE(tree.roots.empty());
    EXPECT_EQ(tree.roots.size(), 2u); // the header and the unreferenced object
    const OmfTreeItem* header = find(tree.roots, "(_HEADER) HEAD 0x1");
    ASSERT_NE(header, nullptr);
    EXPECT_TRUE(header->bold);
    EXPECT_NE(find(tree.roots, "XXXX 0x1e"), nullptr);

    // Object 10 is expanded where the header's mob table references it.
    ASSERT_FALSE(header->children.empty());
    const OmfTreeItem& table = header->children[0];
    EXPECT_TRUE(table.bold);
    ASSERT_EQ(table.children.size(), 1u);
    const OmfTreeItem& clip = table.children[0];
    EXPECT_EQ(clip.text, "(Composition Mob) CMOB 0xa -{Clip}");
    // In the property table's order, which the test does not fix.
    std::vector<std::string> texts;
    for (const OmfTreeItem& item : clip.children)
        texts.push_back(item.text);
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts,
              (std::vector<std::string>{"OMFI:MOBJ:Name  --- ( Clip )",
                                        "OMFI:TEST:Count --- (0xbeef)", "OMFI:TEST:Flag --- (TRUE)",
                                        "OMFI:TEST:Long  --- { " + std::string(40, 'x') + " }",
                                        "OMFI:TEST:" + std::string(117, 'N') + " --- (AB)",
                                        "OMFI:TEST:Ref", "OMFI:TEST:Short  --- ( abc )"}));
    // The reference back to the object being expanded is one plain item.
    const OmfTreeItem* refItem = find(clip.children, "OMFI:TEST:Ref");
    ASSERT_NE(refItem, nullptr);
    const OmfTreeItem& ref = *refItem;
    ASSERT_EQ(ref.children.size(), 1u);
    const OmfTreeItem& sclp = ref.children[0];
    EXPECT_EQ(sclp.text, "SCLP 0x14");
    ASSERT_EQ(sclp.children.size(), 1u);
    ASSERT_EQ(sclp.children[0].children.size(), 1u);
    const OmfTreeItem& back = sclp.children[0].children[0];
    EXPECT_EQ(back.text, clip.text);
    EXPECT_FALSE(back.bold);
    EXPECT_TRUE(back.children.empty());
    // Definitions are no items anywhere.
    std::function<void(const std::vector<OmfTreeItem>&)> noDefinitions =
        [&](const std::vector<OmfTreeItem>& items) {
            for (const OmfTreeItem& item : items) {
                EXPECT_EQ(item.text.find("0x1027d"), std::string::npos) << item.text;
                noDefinitions(item.children);
            }
        };
    noDefinitions(tree.roots);
    EXPECT_EQ(tree.itemCount, countItems(tree.roots));
    EXPECT_FALSE(tree.cutShort);
}

TEST(OmfDate, TheLongFormWithWeekdayMonthDayYearAndTime) {
    const std::string zone = std::getenv("TZ") != nullptr ? std::getenv("TZ") : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const std::string locale = std::setlocale(LC_TIME, nullptr);
    std::setlocale(LC_TIME, "C");
    EXPECT_EQ(OmfDateText(1678788900), "Tuesday, March 14, 2023 10:15:00");
    EXPECT_EQ(OmfDateText(1704067199), "Sunday, December 31, 2023 23:59:59");
    EXPECT_EQ(OmfDateText(0), "");
    std::setlocale(LC_TIME, locale.c_str());
    if (zone.empty())
        ::unsetenv("TZ");
    else
        ::setenv("TZ", zone.c_str(), 1);
    ::tzset();
}

TEST_F(OmfTreeTest, NumbersOfEightBytesAndFieldLayouts) {
    OmfBuilder b;
    b.classId(1, "HEAD").objectRef(1, 70000, 10);
    addNames(b);
    b.classId(10, "NUMS");
    // First word -5, second 30: shown second over first.
    b.positioned(10, 70006, 65625, {0xFB, 0xFF, 0xFF, 0xFF, 30, 0, 0, 0});
    b.positioned(10, 70007, 65672, {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11});
    b.immediate(10, 70008, 65740, 1, 2);
    const OmfTree tree = build(b);
    const OmfTreeItem* header = find(tree.roots, "(_HEADER) HEAD 0x1");
    ASSERT_NE(header, nullptr);
    ASSERT_EQ(header->children.size(), 1u);
    ASSERT_EQ(header->children[0].children.size(), 1u);
    std::vector<std::string> texts;
    for (const OmfTreeItem& item : header->children[0].children[0].children)
        texts.push_back(item.text);
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"OMFI:TEST:Layout --- (SEPARATE_FIELDS)",
                                               "OMFI:TEST:Length --- {0x1122334455667788}",
                                               "OMFI:TEST:Rational --- [30/-5]"}));
}

TEST_F(OmfTreeTest, AnExponentialGraphIsCutShort) {
    // Forty objects, each referencing the next twice: 2^40 items if every
    // reference were expanded.
    OmfBuilder b;
    b.classId(1, "HEAD").objectRef(1, 70000, 100);
    addNames(b);
    for (std::uint32_t i = 0; i < 40; ++i) {
        b.classId(100 + i, "NODE");
        b.objectRef(100 + i, 70000, 101 + i).objectRef(100 + i, 70001, 101 + i);
    }
    const OmfTree tree = build(b, 5000);
    EXPECT_TRUE(tree.cutShort);
    EXPECT_LE(tree.itemCount, 5000u);
    EXPECT_EQ(tree.itemCount, countItems(tree.roots));
    EXPECT_EQ(tree.roots.back().text, "... the tree was cut short at 5000 items");
}

TEST_F(OmfTreeTest, DeepChainsStopBeforeTheStackDoes) {
    OmfBuilder b;
    b.classId(1, "HEAD").objectRef(1, 70000, 1000);
    addNames(b);
    for (std::uint32_t i = 0; i < 3000; ++i)
        b.classId(1000 + i, "LINK").objectRef(1000 + i, 70000, 1001 + i);
    const OmfTree tree = build(b);
    EXPECT_FALSE(tree.cutShort);
    EXPECT_EQ(tree.itemCount, countItems(tree.roots));
    EXPECT_GT(tree.roots.size(), 1u); // the rest of the chain starts roots of its own
}

TEST_F(OmfTreeTest, LongReferenceListsAreReadOnlyAsFarAsFollowed) {
    // Five hundred objects, each with a list of 65535 references to no
    // object, all lists the same bytes and each entry as long as the file:
    // building the tree reads a bounded part of them, not the file each time.
    std::vector<std::uint8_t> list{0xFF, 0xFF};
    list.resize(2 + 8 * 0xFFFF, 0xEE);
    OmfBuilder b;
    const std::uint32_t at = b.data(list);
    b.classId(1, "HEAD");
    addNames(b);
    std::vector<std::uint32_t> nodes;
    for (std::uint32_t i = 0; i < 500; ++i) {
        nodes.push_back(100 + i);
        b.classId(100 + i, "NODE").raw(100 + i, 70001, 65660, at, 0xFFFFFFFFu);
    }
    b.objectRefArray(1, 70000, nodes);
    const OmfTree tree = build(b, 5000);
    const std::uint64_t read = reader.BytesRead();
    EXPECT_LE(read, 2 * reader.FileSize());
    EXPECT_TRUE(tree.cutShort);
    EXPECT_EQ(tree.itemCount, countItems(tree.roots));
    EXPECT_LE(tree.itemCount, 5000u);
    EXPECT_EQ(tree.roots.back().text,
              "... the tree was cut short at " +
                  std::to_string(5000 * OmfTreeBuilder::kReferencesPerItem) + " references");
    // The first node is there with its list, which holds no items.
    const OmfTreeItem* header = find(tree.roots, "(_HEADER) HEAD 0x1");
    ASSERT_NE(header, nullptr);
    ASSERT_EQ(header->children.size(), 1u);
    const OmfTreeItem* first = find(header->children[0].children, "NODE 0x64");
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->children.size(), 1u);
    EXPECT_EQ(first->children[0].text, "OMFI:TEST:Other");
    EXPECT_TRUE(first->children[0].children.empty());
}

} // namespace
