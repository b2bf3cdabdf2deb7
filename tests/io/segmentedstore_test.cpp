#include "io/segmentedstore.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Counts the values alive, to see each made and destroyed once.
struct Counted {
    static inline int alive = 0;
    explicit Counted(std::uint64_t v) : value(v) { ++alive; }
    Counted(const Counted& other) : value(other.value) { ++alive; }
    ~Counted() { --alive; }
    std::uint64_t value;
    std::array<char, 40> padding{};
};

// A value larger than a block's share: its segments come from the heap only.
struct Large {
    std::uint64_t value = 0;
    std::array<char, 5000> padding{};
};

// Against a plain vector, across every segment boundary: the same values at
// the same numbers, each keeping its address as the store grows.
template <class T> void compareWithVector(std::size_t count) {
    SegmentedStore<T> store;
    std::vector<const T*> addresses;
    for (std::size_t i = 0; i < count; ++i) {
        T& made = store.emplace_back(T{i * 7 + 1});
        ASSERT_EQ(made.value, i * 7 + 1);
        addresses.push_back(&made);
    }
    ASSERT_EQ(store.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
        ASSERT_EQ(store[i].value, i * 7 + 1) << i;
        ASSERT_EQ(&store[i], addresses[i]) << i;
    }
    const SegmentedStore<T> copy = store;
    for (std::size_t i = 0; i < count; ++i)
        ASSERT_EQ(copy[i].value, i * 7 + 1) << i;
}

TEST(SegmentedStore, HoldsWhatAVectorHoldsAndKeepsAddresses) {
    const std::size_t perBlock = SegmentedStore<Counted>::kPerBlock;
    compareWithVector<Counted>(2 * perBlock - 1);
    compareWithVector<Counted>(2 * perBlock);
    compareWithVector<Counted>(7 * perBlock + 3);
    EXPECT_EQ(Counted::alive, 0);
    compareWithVector<Large>(3 * SegmentedStore<Large>::kPerBlock + 1);
}

TEST(SegmentedStore, ClearingGivesItsBlocksBackAndTheRegionsToTheSystem) {
    const std::size_t before = blocks::RegionsHeld();
    {
        // Enough values for more than one region of blocks.
        SegmentedStore<Counted> store;
        for (std::uint64_t i = 0; i < 800000; ++i)
            store.emplace_back(i);
        EXPECT_GT(blocks::RegionsHeld(), before + 1);
        store.clear();
        EXPECT_EQ(Counted::alive, 0);
        EXPECT_EQ(blocks::RegionsHeld(), before);
        store.emplace_back(1u); // usable again after a clear
        EXPECT_EQ(store[0].value, 1u);
    }
    EXPECT_EQ(Counted::alive, 0);
    EXPECT_EQ(blocks::RegionsHeld(), before);
}

TEST(BlockPool, BlocksDoNotOverlapAndAreReusedOnceGivenBack) {
    const std::size_t before = blocks::RegionsHeld();
    std::vector<unsigned char*> taken;
    for (int i = 0; i < 600; ++i) { // more than one region
        auto* block = static_cast<unsigned char*>(blocks::TakeBlock());
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(block) % blocks::kBlockBytes, 0u);
        std::memset(block, i & 0xFF, blocks::kBlockBytes);
        taken.push_back(block);
    }
    for (std::size_t i = 0; i < taken.size(); ++i) {
        ASSERT_EQ(taken[i][0], i & 0xFF);
        ASSERT_EQ(taken[i][blocks::kBlockBytes - 1], i & 0xFF);
    }
    void* given = taken[10];
    blocks::GiveBlock(given);
    EXPECT_EQ(blocks::TakeBlock(), given);
    for (unsigned char* block : taken)
        blocks::GiveBlock(block);
    EXPECT_EQ(blocks::RegionsHeld(), before);
}

} // namespace
