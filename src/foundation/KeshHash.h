// A map from text keys to 32-bit values with a fixed 128 buckets, never resized. Keys compare
// exactly (letter case counts). Every map hashes through one process-wide permutation table,
// rebuilt by each constructor from a fixed seed, so its content never changes and maps made at
// different times hash alike. Main thread only: building the table borrows rtl::RandSeed.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct THashRecord {
  int32_t Hash;  // HashOf(Key)
  int32_t Value;
  std::string Key;
};

class TKeshHash {
public:
  TKeshHash();

  // 1 .. 65535; the bucket is the hash's low 7 bits (Mask).
  int32_t HashOf(std::string_view key) const;
  // Bucket is always set; Index only when the key is found. The value is then
  // Buckets[Bucket][Index].Value.
  bool Find(std::string_view key, int32_t& bucket, int32_t& index) const;
  // Overwrites the value of an existing key in place, or appends a new entry to its bucket.
  void SetValue(std::string_view key, int32_t value);
  // Moves the bucket's last entry into the removed one's place.
  void Remove(std::string_view key);

  // Shuffles 0 .. 255 with the runtime's generator from seed 255, leaving RandSeed as it was.
  static void BuildTable();
  static const std::array<uint8_t, 256>& Table();

  int32_t Bits = 7;
  int32_t Mask = 127;
  int32_t BucketCount = 128;
  std::vector<std::vector<THashRecord>> Buckets;
};
