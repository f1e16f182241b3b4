// The video-memory query that feeds the game's low-memory test.
#include <gtest/gtest.h>

#include "platform/ddraw/ddraw.h"

namespace d3dx9_test {
namespace {

using namespace platform::ddraw;

struct Memory {
  HRESULT hr;
  DWORD total;
  DWORD free;
};

Memory Query(DWORD caps) {
  IDirectDraw7* dd = nullptr;
  EXPECT_EQ(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&dd), IID_IDirectDraw7, nullptr),
            DD_OK);
  if (dd == nullptr) return {-1, 0, 0};
  DDSCAPS2 request{caps, 0, 0, 0};
  Memory m{0, 1, 1};
  m.hr = dd->GetAvailableVidMem(&request, &m.total, &m.free);
  EXPECT_EQ(dd->Release(), 0u);
  return m;
}

TEST(DirectDrawTest, LocalVideoMemoryIsAFixed512MiBUnlessTheSeamSetsAnother) {
  const DWORD local = DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM;  // 0x10004000, as the engine asks
  Memory m = Query(local);
  EXPECT_EQ(m.hr, DD_OK);
  EXPECT_EQ(m.total, 512u * 1024 * 1024);
  EXPECT_EQ(m.free, m.total);
  EXPECT_GE(m.total, 64000000u);  // the game's low-memory threshold

  EXPECT_EQ(Query(DDSCAPS_VIDEOMEMORY | DDSCAPS_NONLOCALVIDMEM).total, 0u);

  SetLocalVideoMemory(32u * 1024 * 1024);
  m = Query(local);
  SetLocalVideoMemory(kDefaultLocalVideoMemory);
  EXPECT_EQ(m.total, 32u * 1024 * 1024);
}

TEST(DirectDrawTest, BadRequestsFail) {
  void* dd = &dd;
  const GUID other = {0x6C14DB80, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
  EXPECT_EQ(DirectDrawCreateEx(nullptr, &dd, other, nullptr), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd, nullptr);
  EXPECT_EQ(DirectDrawCreateEx(nullptr, nullptr, IID_IDirectDraw7, nullptr), DDERR_INVALIDPARAMS);

  IDirectDraw7* created = nullptr;
  ASSERT_EQ(
      DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&created), IID_IDirectDraw7, nullptr),
      DD_OK);
  DWORD total = 0;
  EXPECT_EQ(created->GetAvailableVidMem(nullptr, &total, nullptr), DDERR_INVALIDPARAMS);
  created->Release();
}

}  // namespace
}  // namespace d3dx9_test
