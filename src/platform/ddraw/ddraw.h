// DirectDraw 7, reduced to what the surface engine asks of it: the amount of local video
// memory. The device behind it is the software Direct3D 9 device, whose textures live in
// ordinary memory, so the amount reported is a fixed figure (512 MiB) chosen so that the game's
// low-memory test answers as it would on a machine that holds the game's textures with room to
// spare. Tests and tools may set another figure with SetLocalVideoMemory.
//
// Only DirectDrawCreateEx for IDirectDraw7 and IDirectDraw7::GetAvailableVidMem are offered;
// the object is reference counted like the other platform objects.
#pragma once

#include "platform/win32/win32_types.h"

namespace platform::ddraw {

using win32::BYTE;
using win32::DWORD;
using win32::HRESULT;
using win32::ULONG;
using win32::WORD;

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
using REFIID = const GUID&;

inline bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (a.Data4[i] != b.Data4[i]) return false;
  }
  return true;
}

// {15E65EC0-3B9C-11D2-B92F-00609797EA5B}
inline constexpr GUID IID_IDirectDraw7 = {
    0x15E65EC0, 0x3B9C, 0x11D2, {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};

constexpr HRESULT DD_OK = 0;
constexpr HRESULT DDERR_INVALIDPARAMS = win32::E_INVALIDARG;
constexpr HRESULT DDERR_INVALIDOBJECT = static_cast<HRESULT>(0x88760082u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);

// Surface capability bits that select a kind of memory.
constexpr DWORD DDSCAPS_TEXTURE = 0x00001000;
constexpr DWORD DDSCAPS_SYSTEMMEMORY = 0x00000800;
constexpr DWORD DDSCAPS_VIDEOMEMORY = 0x00004000;
constexpr DWORD DDSCAPS_LOCALVIDMEM = 0x10000000;
constexpr DWORD DDSCAPS_NONLOCALVIDMEM = 0x20000000;

struct DDSCAPS2 {
  DWORD dwCaps;
  DWORD dwCaps2;
  DWORD dwCaps3;
  DWORD dwCaps4;
};

struct IUnknown;

class IDirectDraw7 {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  // Total and free bytes of the memory kind that caps names; either pointer may be null.
  // Local video memory (with or without DDSCAPS_TEXTURE) reports the configured figure, all of
  // it free; non-local (AGP) and system memory report 0.
  virtual HRESULT GetAvailableVidMem(DDSCAPS2* caps, DWORD* total, DWORD* free) = 0;

 protected:
  virtual ~IDirectDraw7() = default;
};

// guid names the display driver (null = the primary one) and is otherwise ignored.
HRESULT DirectDrawCreateEx(GUID* guid, void** directDraw, REFIID iid, IUnknown* outer);

constexpr DWORD kDefaultLocalVideoMemory = 512u * 1024u * 1024u;

// Test seam: the figure later objects report as total local video memory.
void SetLocalVideoMemory(DWORD bytes);

}  // namespace platform::ddraw
