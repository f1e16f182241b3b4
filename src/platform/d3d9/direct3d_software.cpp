// The Direct3D object: one adapter whose modes are the desktop's, in the desktop format
// X8R8G8B8; it creates software devices.
#include <new>

#include "platform/d3d9/device_software.h"
#include "platform/win32/win32_sdl.h"

namespace platform::d3d9 {

IDirect3D9* Direct3DCreate9(UINT) { return new (std::nothrow) SoftwareDirect3D(); }

ULONG SoftwareDirect3D::AddRef() { return ++refs_; }

ULONG SoftwareDirect3D::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT SoftwareDirect3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
  if (adapter != 0 || !mode) return D3DERR_INVALIDCALL;
  const auto m = platform::win32::DesktopDisplayMode();
  *mode = {static_cast<UINT>(m.width), static_cast<UINT>(m.height),
           static_cast<UINT>(m.refresh), D3DFMT_X8R8G8B8};
  return D3D_OK;
}

UINT SoftwareDirect3D::GetAdapterModeCount(UINT adapter, D3DFORMAT format) {
  if (adapter != 0 || format != D3DFMT_X8R8G8B8) return 0;
  return static_cast<UINT>(platform::win32::EnumDesktopDisplayModes().size());
}

HRESULT SoftwareDirect3D::EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT index,
                                           D3DDISPLAYMODE* mode) {
  if (adapter != 0 || !mode || format != D3DFMT_X8R8G8B8) return D3DERR_INVALIDCALL;
  const auto modes = platform::win32::EnumDesktopDisplayModes();
  if (index >= modes.size()) return D3DERR_INVALIDCALL;
  *mode = {static_cast<UINT>(modes[index].width), static_cast<UINT>(modes[index].height),
           static_cast<UINT>(modes[index].refresh), D3DFMT_X8R8G8B8};
  return D3D_OK;
}

HRESULT SoftwareDirect3D::CreateDevice(UINT adapter, D3DDEVTYPE, HWND focus, DWORD,
                                       D3DPRESENT_PARAMETERS* pp, IDirect3DDevice9** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (adapter != 0 || !pp) return D3DERR_INVALIDCALL;
  SoftwareDevice* device = new (std::nothrow) SoftwareDevice(this, focus, *pp);
  if (!device) return D3DERR_OUTOFVIDEOMEMORY;
  // A back buffer that could not be made (no size and no window) fails the creation.
  if (device->Width() == 0) {
    device->Release();
    return D3DERR_NOTAVAILABLE;
  }
  pp->BackBufferWidth = static_cast<UINT>(device->Width());
  pp->BackBufferHeight = static_cast<UINT>(device->Height());
  if (pp->BackBufferFormat == D3DFMT_UNKNOWN) pp->BackBufferFormat = D3DFMT_X8R8G8B8;
  *out = device;
  return D3D_OK;
}

}  // namespace platform::d3d9
