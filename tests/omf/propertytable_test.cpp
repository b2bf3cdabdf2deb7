#include "omf/propertytable.h"

#include "io/bucketmap.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

namespace {

using Visits = std::vector<std::pair<std::uint32_t, PropertyRef>>;

// The table against the map objects kept their properties in before: the
// same values under the same ids, visited in the same order, whatever the
// ids and however often one is set again.
TEST(PropertyTableTest, VisitsAndFindsAsTheBucketMapDid) {
    std::mt19937 random(7);
    std::vector<TocEntry*> values(64);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = reinterpret_cast<TocEntry*>(static_cast<std::uintptr_t>(16 * (i + 1)));
    for (std::size_t size : {0, 1, 5, 16, 17, 40, 300}) {
        PropertyTable table;
        NumberMap<PropertyRef> plain;
        for (std::size_t i = 0; i < size * 2; ++i) {
            // Ids close together share buckets; some are set again.
            const auto id = static_cast<std::uint32_t>(66000 + random() % (size * 3 + 1));
            const PropertyRef value = values[random() % values.size()];
            const auto [slot, made] = table.insert(id);
            const auto [plainSlot, plainMade] = plain.insert(id);
            EXPECT_EQ(made, plainMade);
            *slot = value;
            *plainSlot = value;
        }
        ASSERT_EQ(table.size(), plain.size());
        Visits visited;
        for (const auto& [id, value] : table)
            visited.emplace_back(id, value);
        Visits expected;
        for (const auto& [id, value] : plain)
            expected.emplace_back(id, value);
        EXPECT_EQ(visited, expected) << size;
        for (std::uint32_t id = 65990; id < 66000 + size * 3 + 10; ++id) {
            const PropertyRef* found = table.find(id);
            const PropertyRef* plainFound = plain.find(id);
            ASSERT_EQ(found == nullptr, plainFound == nullptr) << id;
            if (found != nullptr) {
                EXPECT_EQ(*found, *plainFound);
            }
        }
        // A copy visits and finds the same.
        const PropertyTable copy = table;
        Visits copied;
        for (const auto& [id, value] : copy)
            copied.emplace_back(id, value);
        EXPECT_EQ(copied, expected);
        if (size > 0) {
            EXPECT_EQ(*copy.find(expected.front().first), expected.front().second);
        }
    }
}

} // namespace
