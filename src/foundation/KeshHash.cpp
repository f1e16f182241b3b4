// The hash map's table, hash function and bucket operations.
#include "foundation/KeshHash.h"

#include <utility>

#include "runtime/Random.h"

namespace {

std::array<uint8_t, 256> table{};

}  // namespace

void TKeshHash::BuildTable() {
  const uint32_t savedSeed = rtl::RandSeed;
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(i);
  rtl::RandSeed = 255;
  for (int p = 1; p < 256; ++p) {
    uint32_t r;
    do {
      r = rtl::Random(255);
    } while (r == 0);
    std::swap(table[p], table[r]);
  }
  rtl::RandSeed = savedSeed;
}

const std::array<uint8_t, 256>& TKeshHash::Table() { return table; }

TKeshHash::TKeshHash() {
  BuildTable();
  Buckets.resize(BucketCount);
}

int32_t TKeshHash::HashOf(std::string_view key) const {
  uint32_t h = 0;
  for (unsigned char c : key) {
    const uint32_t b = table[c];
    h = (h >> 4) ^ (((h ^ b) & 15) << 12);
    h = (h >> 4) ^ (((h ^ (b >> 4)) & 15) << 12);
  }
  if (h == 0) return static_cast<int32_t>(key.size() % 8) + 1;
  return static_cast<int32_t>(h);
}

bool TKeshHash::Find(std::string_view key, int32_t& bucket, int32_t& index) const {
  const int32_t hash = HashOf(key);
  bucket = hash & Mask;
  const std::vector<THashRecord>& records = Buckets[bucket];
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i].Hash == hash && records[i].Key == key) {
      index = static_cast<int32_t>(i);
      return true;
    }
  }
  return false;
}

void TKeshHash::SetValue(std::string_view key, int32_t value) {
  int32_t bucket, index;
  if (Find(key, bucket, index))
    Buckets[bucket][index].Value = value;
  else
    Buckets[bucket].push_back(THashRecord{HashOf(key), value, std::string(key)});
}

void TKeshHash::Remove(std::string_view key) {
  int32_t bucket, index;
  if (!Find(key, bucket, index)) return;
  std::vector<THashRecord>& records = Buckets[bucket];
  if (static_cast<std::size_t>(index) + 1 != records.size())
    records[index] = std::move(records.back());
  records.pop_back();
}
