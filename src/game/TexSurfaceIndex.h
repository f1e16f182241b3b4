// An index of the texture layout table by picture name, so that drawing finds a row without a
// linear scan. It answers exactly as a scan from the first row would: the first row of a name
// wins. Between two parses rows are only ever appended (DublicateSurface), so the index takes in
// new rows lazily; whoever replaces the table calls Invalidate, since a new table can look like
// the old one (same size, same first and last names) and still hold other rows.
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
  // The table was replaced: the next Find indexes it afresh.
  void Invalidate();

private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  void TakeNewRows(const std::vector<tTexSurface>& rows);

  std::unordered_map<std::string, int32_t, Hash, std::equal_to<>> first_;
  std::size_t indexed_ = 0;  // rows taken in so far
};
