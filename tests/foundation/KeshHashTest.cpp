#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "foundation/KeshHash.h"
#include "runtime/Random.h"

namespace {

// Keys that land in one bucket, in the order found.
std::vector<std::string> KeysOfBucket(const TKeshHash& hash, int32_t bucket, std::size_t count) {
  std::vector<std::string> keys;
  for (int i = 0; keys.size() < count; ++i) {
    std::string key = "key" + std::to_string(i);
    if ((hash.HashOf(key) & hash.Mask) == bucket) keys.push_back(key);
  }
  return keys;
}

std::vector<std::string> BucketKeys(const TKeshHash& hash, int32_t bucket) {
  std::vector<std::string> keys;
  for (const THashRecord& record : hash.Buckets[bucket]) keys.push_back(record.Key);
  return keys;
}

TEST(KeshHash, TableIsTheFixedPermutationAndLeavesTheSeedAlone) {
  rtl::RandSeed = 0xDEADBEEF;
  TKeshHash hash;
  EXPECT_EQ(rtl::RandSeed, 0xDEADBEEFu);
  const auto& table = TKeshHash::Table();
  EXPECT_EQ((std::vector<int>(table.begin(), table.begin() + 6)),
            (std::vector<int>{0, 152, 248, 35, 199, 75}));
  std::vector<int> sorted(table.begin(), table.end());
  std::sort(sorted.begin(), sorted.end());
  std::vector<int> identity(256);
  std::iota(identity.begin(), identity.end(), 0);
  EXPECT_EQ(sorted, identity);
  EXPECT_EQ(hash.Bits, 7);
  EXPECT_EQ(hash.Mask, 127);
  EXPECT_EQ(hash.BucketCount, 128);
  EXPECT_EQ(hash.Buckets.size(), 128u);
}

TEST(KeshHash, HashValuesAndBuckets) {
  TKeshHash hash;
  const struct {
    std::string key;
    int32_t hash;
  } cases[] = {{"a", 57344}, {"abc", 14524}, {"", 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(hash.HashOf(c.key), c.hash) << c.key;
    int32_t bucket = -1, index = -1;
    EXPECT_FALSE(hash.Find(c.key, bucket, index));
    EXPECT_EQ(bucket, c.hash & 127);
    EXPECT_EQ(index, -1);
  }
  for (int i = 0; i < 2000; ++i) {
    const int32_t h = hash.HashOf(std::to_string(i) + "x");
    EXPECT_GE(h, 1);
    EXPECT_LE(h, 65535);
  }
}

TEST(KeshHash, MapsCreatedLaterHashAlike) {
  TKeshHash first;
  first.SetValue("Picture", 3);
  const int32_t before = first.HashOf("Picture");
  TKeshHash second;
  EXPECT_EQ(second.HashOf("Picture"), before);
  int32_t bucket, index;
  ASSERT_TRUE(first.Find("Picture", bucket, index));
  EXPECT_EQ(first.Buckets[bucket][index].Value, 3);
}

TEST(KeshHash, SetValueFindAndCase) {
  TKeshHash hash;
  hash.SetValue("Hero", 1);
  hash.SetValue("hero", 2);
  hash.SetValue("", 3);
  int32_t bucket, index;
  ASSERT_TRUE(hash.Find("Hero", bucket, index));
  EXPECT_EQ(hash.Buckets[bucket][index].Value, 1);
  EXPECT_EQ(hash.Buckets[bucket][index].Hash, hash.HashOf("Hero"));
  ASSERT_TRUE(hash.Find("hero", bucket, index));
  EXPECT_EQ(hash.Buckets[bucket][index].Value, 2);
  ASSERT_TRUE(hash.Find("", bucket, index));
  EXPECT_EQ(bucket, 1);
  EXPECT_EQ(hash.Buckets[bucket][index].Value, 3);
  EXPECT_FALSE(hash.Find("HERO", bucket, index));
}

TEST(KeshHash, OverwritingKeepsThePosition) {
  TKeshHash hash;
  const auto keys = KeysOfBucket(hash, 5, 3);
  for (std::size_t i = 0; i < keys.size(); ++i) hash.SetValue(keys[i], static_cast<int32_t>(i));
  hash.SetValue(keys[0], 42);
  EXPECT_EQ(BucketKeys(hash, 5), keys);
  EXPECT_EQ(hash.Buckets[5][0].Value, 42);
}

TEST(KeshHash, RemoveMovesTheLastEntryIntoTheGap) {
  TKeshHash hash;
  const auto keys = KeysOfBucket(hash, 60, 3);
  for (const auto& key : keys) hash.SetValue(key, 1);

  hash.Remove("absent");
  hash.Remove(keys[0] + "x");
  EXPECT_EQ(BucketKeys(hash, 60), keys);

  hash.Remove(keys[0]);
  EXPECT_EQ(BucketKeys(hash, 60), (std::vector<std::string>{keys[2], keys[1]}));
  hash.Remove(keys[1]);
  EXPECT_EQ(BucketKeys(hash, 60), (std::vector<std::string>{keys[2]}));
  hash.Remove(keys[2]);
  EXPECT_TRUE(hash.Buckets[60].empty());
  int32_t bucket, index;
  EXPECT_FALSE(hash.Find(keys[0], bucket, index));
}

}  // namespace
