#include "game/TexSurfaceIndex.h"

#include "game/main.h"

void TTexSurfaceIndex::Invalidate() {
  first_.clear();
  indexed_ = 0;
}

void TTexSurfaceIndex::TakeNewRows(const std::vector<tTexSurface>& rows) {
  for (; indexed_ < rows.size(); ++indexed_) {
    // emplace keeps an existing entry: the first row of a name stays the answer.
    first_.emplace(rows[indexed_].Name, static_cast<int32_t>(indexed_));
  }
}

int32_t TTexSurfaceIndex::Find(const std::vector<tTexSurface>& rows, std::string_view name) {
  if (rows.size() < indexed_) Invalidate();  // a shorter table cannot be the one indexed
  TakeNewRows(rows);
  const auto it = first_.find(name);
  return it == first_.end() ? -1 : it->second;
}
