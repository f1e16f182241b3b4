#include "game/TexSurfaceIndex.h"

#include "game/main.h"

void TTexSurfaceIndex::Rebuild(const std::vector<tTexSurface>& rows) {
  first_.clear();
  indexed_ = 0;
  TakeNewRows(rows);
}

void TTexSurfaceIndex::TakeNewRows(const std::vector<tTexSurface>& rows) {
  if (indexed_ == rows.size()) return;
  for (; indexed_ < rows.size(); ++indexed_) {
    // emplace keeps an existing entry: the first row of a name stays the answer.
    first_.emplace(rows[indexed_].Name, static_cast<int32_t>(indexed_));
  }
  if (indexed_ > 0) {
    firstName_ = rows.front().Name;
    lastName_ = rows[indexed_ - 1].Name;
  }
}

bool TTexSurfaceIndex::SameTable(const std::vector<tTexSurface>& rows) const {
  if (rows.size() < indexed_) return false;
  if (indexed_ == 0) return true;
  return rows.front().Name == firstName_ && rows[indexed_ - 1].Name == lastName_;
}

int32_t TTexSurfaceIndex::Find(const std::vector<tTexSurface>& rows, std::string_view name) {
  if (!SameTable(rows)) Rebuild(rows);
  TakeNewRows(rows);
  auto it = first_.find(name);
  if (it == first_.end()) return -1;
  const auto i = static_cast<std::size_t>(it->second);
  if (i < rows.size() && rows[i].Name == name) return it->second;
  // The table was parsed again with as many rows as before: index it afresh.
  Rebuild(rows);
  it = first_.find(name);
  return it == first_.end() ? -1 : it->second;
}
