// The merge's key index: every key found through hash collisions, growth and compactions; a
// table reordered behind its back is told apart from a missing key.
#include "RecordIndex.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using kivra::RecordIndex;

// A table of keys with a hash that may be forced to collide.
struct Keys {
    std::vector<int> At;  // key of each position
    std::uint32_t (*Hash)(int);

    int Find(const RecordIndex &index, int key, bool &stale) const {
        return index.Find(
            Hash(key), [&](int p) { return At[static_cast<std::size_t>(p)] == key; },
            [&](int p) { return Hash(At[static_cast<std::size_t>(p)]); }, stale);
    }
};

std::uint32_t Colliding(int key) { return static_cast<std::uint32_t>(key % 7); }
std::uint32_t Spread(int key) { return kivra::HashInt(key); }

class RecordIndexHashes : public ::testing::TestWithParam<std::uint32_t (*)(int)> {};

TEST_P(RecordIndexHashes, FindsEveryKeyThroughGrowthAndCompaction) {
    Keys keys{{}, GetParam()};
    RecordIndex index;
    index.Reset(4);
    for (int p = 0; p < 300; ++p) {  // grows well past the room it was reset for
        keys.At.push_back(1000 + 3 * p);
        index.Insert(keys.Hash(keys.At.back()), p);
    }
    bool stale = true;
    for (int p = 0; p < 300; ++p)
        ASSERT_EQ(keys.Find(index, keys.At[static_cast<std::size_t>(p)], stale), p);
    EXPECT_EQ(keys.Find(index, 1001, stale), -1);
    EXPECT_FALSE(stale);

    // Remove every third key, as EndPollCycle compacts a table.
    std::vector<int> newPosition(keys.At.size());
    std::vector<int> kept;
    for (std::size_t p = 0; p < keys.At.size(); ++p) {
        newPosition[p] = p % 3 == 0 ? -1 : static_cast<int>(kept.size());
        if (p % 3 != 0) kept.push_back(keys.At[p]);
    }
    index.Remap(newPosition, static_cast<int>(kept.size()));
    const std::vector<int> removed = {keys.At[0], keys.At[3], keys.At[297]};
    keys.At = kept;
    for (std::size_t p = 0; p < kept.size(); ++p)
        ASSERT_EQ(keys.Find(index, kept[p], stale), static_cast<int>(p));
    for (int key : removed) {
        EXPECT_EQ(keys.Find(index, key, stale), -1) << key;
        EXPECT_FALSE(stale) << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Hashes, RecordIndexHashes, ::testing::Values(&Spread, &Colliding));

TEST(RecordIndex, AReorderBehindItsBackIsToldFromAMissingKey) {
    Keys keys{{10, 20, 30, 40}, &Spread};
    RecordIndex index;
    index.Reset(keys.At.size());
    for (std::size_t p = 0; p < keys.At.size(); ++p)
        index.Insert(keys.Hash(keys.At[p]), static_cast<int>(p));
    std::swap(keys.At[0], keys.At[3]);  // sorted without a word to the index
    bool stale = false;
    EXPECT_EQ(keys.Find(index, 10, stale), -1);
    EXPECT_TRUE(stale) << "the slot of 10 points at 40: the miss cannot be trusted";
    EXPECT_EQ(keys.Find(index, 20, stale), 1);
    EXPECT_EQ(keys.Find(index, 50, stale), -1);
    EXPECT_FALSE(stale);
}

TEST(RecordIndex, TextPairsDifferWhereTheSplitDiffers) {
    EXPECT_NE(kivra::HashTextPair("ab", 2, "c", 1), kivra::HashTextPair("a", 1, "bc", 2));
    EXPECT_EQ(kivra::HashTextPair("ab", 2, "c", 1), kivra::HashTextPair("ab", 2, "c", 1));
    EXPECT_NE(kivra::HashText("Database_1", 10), kivra::HashText("Database_2", 10));
}

}  // namespace
