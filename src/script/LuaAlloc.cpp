// Lua's allocator and the ready blocks of big strings (see LuaAlloc.h): the region table, the
// moves between heap and regions, and the pages a region gives back.
#include "script/LuaAlloc.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/win32/win32_system.h"

namespace {

namespace w32 = platform::win32;

constexpr std::size_t kRegionBlock = std::size_t{1} << 20;
constexpr std::size_t kPage = 4096;

// Lua 5.1 makes a string one block: a header of this layout (its TString), the bytes, a NUL.
union TLuaStringHeader {
  double alignNumber;
  void* alignPointer;
  long alignInteger;
  struct {
    void* next;
    unsigned char tt, marked, reserved;
    unsigned int hash;
    std::size_t len;
  } fields;
};

std::size_t LuaStringBlock(std::size_t length) { return sizeof(TLuaStringHeader) + length + 1; }

struct TRegion {
  void* base;
  std::size_t usable;  // the bytes from base whose pages are still committed
};

// Sorted by address; main thread only.
std::vector<TRegion>& RegionTable() {
  static auto* table = new std::vector<TRegion>;  // never destroyed: Lua frees after static exit
  return *table;
}

TRegion* FindRegion(void* block) {
  std::vector<TRegion>& table = RegionTable();
  if (block == nullptr || table.empty()) return nullptr;
  const auto it = std::lower_bound(table.begin(), table.end(), block,
                                   [](const TRegion& r, void* b) { return std::less<void*>()(r.base, b); });
  return it != table.end() && it->base == block ? &*it : nullptr;
}

struct TReady {
  void* block;
  std::size_t size;
};

struct TReadyBlocks {
  std::mutex mutex;
  std::vector<TReady> blocks;
};

TReadyBlocks& Ready() {
  static auto* ready = new TReadyBlocks;
  return *ready;
}

void* NewRegion(std::size_t size) {
  return w32::VirtualAlloc(nullptr, size, w32::MEM_COMMIT | w32::MEM_RESERVE | w32::MEM_LARGE_PAGES,
                           w32::PAGE_READWRITE);
}

void* TakeReady(std::size_t size) {
  TReadyBlocks& ready = Ready();
  std::lock_guard lock(ready.mutex);
  for (auto it = ready.blocks.begin(); it != ready.blocks.end(); ++it) {
    if (it->size == size) {
      void* block = it->block;
      ready.blocks.erase(it);
      return block;
    }
  }
  return nullptr;
}

// A new region in the table, or nullptr.
void* RegionAlloc(std::size_t size) {
  void* block = TakeReady(size);
  if (block == nullptr) block = NewRegion(size);
  if (block == nullptr) return nullptr;
  std::vector<TRegion>& table = RegionTable();
  try {
    const auto at = std::lower_bound(table.begin(), table.end(), block,
                                     [](const TRegion& r, void* b) { return std::less<void*>()(r.base, b); });
    table.insert(at, TRegion{block, size});
  } catch (const std::bad_alloc&) {
    w32::VirtualFree(block, 0, w32::MEM_RELEASE);
    return nullptr;
  }
  return block;
}

void RegionFree(TRegion* region) {
  w32::VirtualFree(region->base, 0, w32::MEM_RELEASE);
  std::vector<TRegion>& table = RegionTable();
  table.erase(table.begin() + (region - table.data()));
}

// The region keeps the block; the whole pages past Size go back to the system.
void* ShrinkInPlace(TRegion* region, std::size_t size) {
  const std::size_t keep = (size + kPage - 1) / kPage * kPage;
  if (keep < region->usable &&
      w32::VirtualFree(static_cast<char*>(region->base) + keep, region->usable - keep, w32::MEM_DECOMMIT)) {
    region->usable = keep;
  }
  return region->base;
}

}  // namespace

void* LuaAlloc(void*, void* block, std::size_t oldSize, std::size_t newSize) {
  TRegion* region = FindRegion(block);
  if (newSize == 0) {
    if (region != nullptr) {
      RegionFree(region);
    } else {
      std::free(block);
    }
    return nullptr;
  }
  const bool toRegion = newSize >= kRegionBlock;
  if (region == nullptr && !toRegion) {
    void* moved = block == nullptr ? std::malloc(newSize) : std::realloc(block, newSize);
    // realloc's failure leaves the old block, which serves a shrink
    return moved == nullptr && block != nullptr && newSize <= oldSize ? block : moved;
  }
  const bool fits = region != nullptr && newSize <= region->usable;
  if (fits && toRegion) return ShrinkInPlace(region, newSize);
  void* moved = toRegion ? RegionAlloc(newSize) : std::malloc(newSize);
  if (moved == nullptr) return fits ? ShrinkInPlace(region, newSize) : nullptr;  // the heap had no room
  if (block != nullptr) {
    std::memcpy(moved, block, std::min(oldSize, newSize));
    region = FindRegion(block);  // RegionAlloc may have moved the table's entries
    if (region != nullptr) {
      RegionFree(region);
    } else {
      std::free(block);
    }
  }
  return moved;
}

void* ReadyLuaString(std::size_t length) {
  const std::size_t size = LuaStringBlock(length);
  if (size < kRegionBlock || size < length) return nullptr;
  void* block = NewRegion(size);
  if (block == nullptr) return nullptr;
  // A write to every page has the system zero it now, on this thread.
  auto* bytes = static_cast<volatile char*>(block);
  for (std::size_t at = 0; at < size; at += kPage) bytes[at] = 0;
  TReadyBlocks& ready = Ready();
  try {
    std::lock_guard lock(ready.mutex);
    ready.blocks.push_back(TReady{block, size});
  } catch (const std::bad_alloc&) {
    w32::VirtualFree(block, 0, w32::MEM_RELEASE);
    return nullptr;
  }
  return block;
}

void ReleaseReadyLuaString(std::size_t length) {
  void* block = TakeReady(LuaStringBlock(length));
  if (block != nullptr) w32::VirtualFree(block, 0, w32::MEM_RELEASE);
}
