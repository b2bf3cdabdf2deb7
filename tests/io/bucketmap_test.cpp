#include "io/bucketmap.h"

#include <gtest/gtest.h>

#include <array>
#include <list>
#include <random>
#include <string>
#include <vector>

namespace {

// The catalog's order of projects and files is the bucket map's: compared
// with a plain list of 17 buckets, each filled at its head, whether the keys
// are copied or handed over.
TEST(BucketMap, OrdersLikeSeventeenBucketsNewestFirst) {
    std::mt19937 rng(5);
    StringMap<int> map;
    std::array<std::list<std::string>, 17> plain;
    for (int i = 0; i < 3000; ++i) {
        std::string key = "k" + std::to_string(rng() % 2000);
        if (rng() % 7 == 0)
            key += "\xE9"; // a byte that counts as negative in the hash
        // Half the keys are handed over: the map then keeps that text.
        std::string handed = key;
        const auto [value, created] =
            rng() % 2 == 0 ? map.insert(key) : map.insertMoved(std::move(handed), -1);
        if (created) {
            *value = i;
            plain[StringKeyTraits::bucket(key) % 17].push_front(key);
        }
        ASSERT_EQ(created, *value == i);
    }
    std::vector<std::string> expected;
    for (const auto& bucket : plain)
        expected.insert(expected.end(), bucket.begin(), bucket.end());
    std::vector<std::string> got;
    for (const auto& [key, value] : map)
        got.push_back(key);
    EXPECT_EQ(got, expected);
    // A map moved from is empty, and fills again as a new one does.
    const StringMap<int> taken = std::move(map);
    EXPECT_EQ(taken.size(), got.size());
    EXPECT_TRUE(map.empty());
    for (int i = 0; i < 40; ++i)
        EXPECT_TRUE(map.insertMoved("again" + std::to_string(i), i).second);
    EXPECT_EQ(map.size(), 40u);
    ASSERT_NE(map.find("again39"), nullptr);
    EXPECT_EQ(*map.find("again39"), 39);
    EXPECT_EQ(StringKeyTraits::bucket("ab"), 97u * 33 + 98);
    EXPECT_EQ(StringKeyTraits::bucket("\xFF"), 0xFFFFFFFFu);
}

} // namespace
