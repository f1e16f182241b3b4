// An index of the texture layout table by picture name, so that drawing finds a row without a
// linear scan. It answers exactly as a scan from the first row would: the first row of a name
// wins. Rows are only ever appended while the program runs (DublicateSurface), so the index
// takes in new rows lazily. A table parsed anew (which the start-up does once, before any
// drawing) is noticed by its size or by its first and last indexed names, and indexed again.
// Lookups allocate nothing. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct tTexSurface;

class TTexSurfaceIndex {
public:
  // The index of the first row whose Name equals Name exactly, -1 when there is none.
  int32_t Find(const std::vector<tTexSurface>& rows, std::string_view name);

private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  void Rebuild(const std::vector<tTexSurface>& rows);
  void TakeNewRows(const std::vector<tTexSurface>& rows);
  bool SameTable(const std::vector<tTexSurface>& rows) const;

  std::unordered_map<std::string, int32_t, Hash, std::equal_to<>> first_;
  std::size_t indexed_ = 0;  // rows taken in so far
  std::string firstName_, lastName_;  // names of the first and the last row taken in
};
