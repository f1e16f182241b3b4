// Lua's allocator: where blocks move, what a failed move leaves, the pages a shrunk region gives
// back, and the ready blocks of big strings. The failing malloc is tests/support/fail_malloc.c.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <lua.hpp>

#include "script/LuaAlloc.h"
#include "script/LuaBinding.h"

extern "C" void FailMallocOfSize(std::size_t size, int reallocToo);

namespace {

constexpr std::size_t KiB = 1024, MiB = 1024 * KiB;

// Resident pages of [block, block + size); -1 when any of it is not mapped.
long ResidentPages(const void* block, std::size_t size) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(block) / page * page;
  const std::size_t length = reinterpret_cast<std::uintptr_t>(block) + size - start;
  std::string flags((length + page - 1) / page, '\0');
  if (mincore(reinterpret_cast<void*>(start), length, reinterpret_cast<unsigned char*>(flags.data())) != 0) return -1;
  long resident = 0;
  for (char f : flags) resident += f & 1;
  return resident;
}

// The failing malloc, armed for the test's span; false where the build's malloc is not ours
// (the sanitizers bring their own).
struct TFailingMalloc {
  explicit TFailingMalloc(std::size_t size) {
    FailMallocOfSize(size, 1);
    void* probe = std::malloc(size);
    works = probe == nullptr;
    std::free(probe);
  }
  ~TFailingMalloc() { FailMallocOfSize(0, 0); }
  bool works = false;
};

void Fill(void* block, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(block);
  for (std::size_t i = 0; i < size; i += 512) bytes[i] = static_cast<unsigned char>(i / 512 * 7 + 1);
}

bool Kept(const void* block, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(block);
  for (std::size_t i = 0; i < size; i += 512) {
    if (bytes[i] != static_cast<unsigned char>(i / 512 * 7 + 1)) return false;
  }
  return true;
}

enum class TAfter { Moved, Kept, Failed };

struct TMoveCase {
  const char* name;
  std::size_t from, to;
  std::size_t failingMalloc;  // 0: none
  TAfter after;
};

TEST(LuaAllocTest, BlocksMoveOrStayAndAShrinkNeverFails) {
  const TMoveCase cases[] = {
      {"heap grows on the heap", 1000, 3000, 0, TAfter::Moved},
      {"heap to a region", 1000, 2 * MiB, 0, TAfter::Moved},
      {"region grows into a new region", 2 * MiB, 4 * MiB, 0, TAfter::Moved},
      {"region shrinks in place", 4 * MiB, 2 * MiB, 0, TAfter::Kept},
      {"region shrinks to the heap", 2 * MiB, 512 * KiB, 0, TAfter::Moved},
      {"region shrinks below 1 MiB and the heap has no room", 2 * MiB, 512 * KiB, 512 * KiB, TAfter::Kept},
      {"heap shrink whose realloc fails", 3000, 1000, 1000, TAfter::Kept},
      {"heap grow whose realloc fails", 1000, 3000, 3000, TAfter::Failed},
      {"region grow with no address space left", 2 * MiB, std::size_t{1} << 48, 0, TAfter::Failed},
  };
  bool unarmed = false;
  for (const TMoveCase& c : cases) {
    SCOPED_TRACE(c.name);
    void* block = LuaAlloc(nullptr, nullptr, 0, c.from);
    ASSERT_NE(block, nullptr);
    Fill(block, c.from);
    void* after;
    {
      TFailingMalloc failing(c.failingMalloc);
      if (c.failingMalloc != 0 && !failing.works) {
        LuaAlloc(nullptr, block, c.from, 0);
        unarmed = true;
        continue;
      }
      after = LuaAlloc(nullptr, block, c.from, c.to);
    }
    switch (c.after) {
      case TAfter::Moved:
        EXPECT_NE(after, nullptr);
        EXPECT_NE(after, block);
        break;
      case TAfter::Kept:
        EXPECT_EQ(after, block);
        break;
      case TAfter::Failed:
        EXPECT_EQ(after, nullptr);
        break;
    }
    const bool failed = after == nullptr;
    EXPECT_TRUE(Kept(failed ? block : after, std::min(c.from, c.to)));
    // Freed with the size Lua then holds, whatever the block is.
    LuaAlloc(nullptr, failed ? block : after, failed ? c.from : c.to, 0);
  }
  if (unarmed) GTEST_SKIP() << "the cases of a failing malloc: malloc here is the sanitizers', which a test cannot make fail";
}

TEST(LuaAllocTest, AKeptRegionServesLaterSizesAndIsFreedAsARegion) {
  void* block = LuaAlloc(nullptr, nullptr, 0, 2 * MiB);
  Fill(block, 2 * MiB);
  {
    TFailingMalloc failing(512 * KiB);
    if (!failing.works) {
      LuaAlloc(nullptr, block, 2 * MiB, 0);
      GTEST_SKIP() << "malloc here is the sanitizers', which a test cannot make fail";
    }
    ASSERT_EQ(LuaAlloc(nullptr, block, 2 * MiB, 512 * KiB), block);
  }
  // Lua now takes it for a 512 KiB block: it moves to the heap when it grows or shrinks again.
  void* grown = LuaAlloc(nullptr, block, 512 * KiB, 768 * KiB);
  ASSERT_NE(grown, nullptr);
  EXPECT_TRUE(Kept(grown, 512 * KiB));
  EXPECT_EQ(ResidentPages(block, 4096), -1) << "the region is not given back";
  LuaAlloc(nullptr, grown, 768 * KiB, 0);

  void* again = LuaAlloc(nullptr, nullptr, 0, 2 * MiB);
  {
    TFailingMalloc failing(512 * KiB);
    ASSERT_EQ(LuaAlloc(nullptr, again, 2 * MiB, 512 * KiB), again);
  }
  LuaAlloc(nullptr, again, 512 * KiB, 0);
  EXPECT_EQ(ResidentPages(again, 4096), -1) << "a region freed at a heap size is not given back";
}

TEST(LuaAllocTest, ARegionShrunkInPlaceGivesItsTailBack) {
  auto* block = static_cast<char*>(LuaAlloc(nullptr, nullptr, 0, 64 * MiB));
  std::memset(block, 1, 64 * MiB);
  ASSERT_EQ(LuaAlloc(nullptr, block, 64 * MiB, 2 * MiB), block);
  EXPECT_EQ(ResidentPages(block + 2 * MiB, 62 * MiB), 0);
  EXPECT_EQ(block[2 * MiB - 1], 1);
  LuaAlloc(nullptr, block, 2 * MiB, 0);
}

TEST(LuaAllocTest, ABigStringTakesTheBlockReadiedForIt) {
  TLua lua(false);
  lua_State* L = lua.LuaState;
  const std::string text(3 * MiB, 'a');
  auto* ready = static_cast<const char*>(ReadyLuaString(text.size()));
  ASSERT_NE(ready, nullptr);
  EXPECT_GT(ResidentPages(ready, text.size()), 0) << "the pages are not written in advance";
  lua_pushlstring(L, text.data(), text.size());
  const char* made = lua_tostring(L, -1);
  EXPECT_GT(made, ready);
  EXPECT_LT(made, ready + 64) << "the string did not take its ready block";
  ReleaseReadyLuaString(text.size());  // taken: nothing to release
  EXPECT_EQ(std::string(made, text.size()), text);
  lua_pop(L, 1);

  // Too small for a region of its own: nothing readied.
  EXPECT_EQ(ReadyLuaString(1000), nullptr);

  // An equal string already in the state: the ready block stays unused and is released.
  lua_pushlstring(L, text.data(), text.size());
  const void* unused = ReadyLuaString(text.size());
  lua_pushlstring(L, text.data(), text.size());
  ReleaseReadyLuaString(text.size());
  EXPECT_EQ(ResidentPages(unused, 4096), -1);
}

}  // namespace
