// Device creation, reset and re-creation, the display-mode search and the fixed device states.
//
// Every InitD3D makes a new IDirect3D9 object; while a device exists it first releases every
// device object of the engine (font, line, triangle and surface buffers, textures), resets the
// device, then releases it and creates a new one. A failed creation leaves no device behind
// (g_pd3dDevice nil), so the next InitD3D starts afresh. Textures come back on demand at their
// next Draw; surface vertex buffers are made again here.
#include <algorithm>
#include <cmath>

#include "foundation/KeshLogEngine.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win32/win32_desktop.h"
#include "runtime/Strings.h"
#include "surface/KeshTextureEngine3D.h"

using namespace platform::d3d9;
using namespace platform::d3dx9;
using platform::win32::E_FAIL;
using platform::win32::FAILED;
using platform::win32::SUCCEEDED;
using rtl::IntToStr;

namespace {

constexpr UINT kSdkVersion = 0x8000001F;
constexpr platform::ddraw::DWORD kLocalVideoMemoryCaps = 0x10004000;  // video memory, local

// The screen size as the platform reports it now.
void CurrentScreenSize(int32_t& width, int32_t& height) {
  width = platform::win32::GetSystemMetrics(platform::win32::SM_CXSCREEN);
  height = platform::win32::GetSystemMetrics(platform::win32::SM_CYSCREEN);
}

uint64_t MeasureVideoMemory() {
  using namespace platform::ddraw;
  IDirectDraw7* dd = nullptr;
  if (FAILED(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&dd), IID_IDirectDraw7,
                                nullptr)) ||
      !dd) {
    return 0;
  }
  DDSCAPS2 caps{};
  caps.dwCaps = kLocalVideoMemoryCaps;
  DWORD total = 0, free = 0;
  uint64_t result = 0;
  if (SUCCEEDED(dd->GetAvailableVidMem(&caps, &total, &free))) result = total;
  dd->Release();
  return result;
}

}  // namespace

std::string TKeshSurfaceEngine3D::FormatToString(int32_t Format) {
  switch (Format) {
    case 0: return "UNKNOWN";
    case 20: return "R8G8B8";
    case 21: return "A8R8G8B8";
    case 22: return "X8R8G8B8";
    case 23: return "R5G6B5";
    case 24: return "X1R5G5B5";
    case 25: return "A1R5G5B5";
    case 26: return "A4R4G4B4";
    case 27: return "R3G3B2";
    case 28: return "A8";
    case 29: return "A8R3G3B2";
    case 30: return "X4R4G4B4";
    case 31: return "A2B10G10R10";
    case 34: return "G16R16";
    case 70: return "D3DFMT_D16_LOCKABLE";
    case 71: return "D3DFMT_D32";
    case 73: return "D3DFMT_D15S1";
    case 75: return "D3DFMT_D24S8";
    case 77: return "D3DFMT_D24X8";
    case 79: return "D3DFMT_D24X4S4";
    case 80: return "D3DFMT_D16";
    default: return "";
  }
}

void TKeshSurfaceEngine3D::ReleaseDeviceResources() {
  if (Font) Font->Release();
  Font = nullptr;
  ClearLineCache();
  ClearTriangles();
  for (TKeshSurface& s : Surfaces) SafeRelease(s.VB);
  for (TTexture& t : Textures) {
    SafeRelease(t.Texture);
    t.Loaded = 0;
  }
}

int32_t TKeshSurfaceEngine3D::BuildDeviceList() {
  LogEngine->AddHint("BuildDeviceList");
  LogEngine->AddHint("BuildDeviceList AdapterCount=" + IntToStr(D3D->GetAdapterCount()));
  D3DDISPLAYMODE desktop{};
  D3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop);
  LogEngine->AddMessage("pAdapter^.d3ddmDesktop=" +
                        FormatToString(static_cast<int32_t>(desktop.Format)));
  DisplayModes.clear();
  const UINT count = D3D->GetAdapterModeCount(D3DADAPTER_DEFAULT, desktop.Format);
  for (UINT i = 0; i < count; ++i) {
    D3DDISPLAYMODE mode{};
    if (FAILED(D3D->EnumAdapterModes(D3DADAPTER_DEFAULT, desktop.Format, i, &mode))) continue;
    if (mode.Width < 640 || mode.Height < 400) continue;
    bool listed = false;
    for (const TDisplayMode& m : DisplayModes) {
      if (m.Width == mode.Width && m.Height == mode.Height && m.Format == mode.Format) {
        listed = true;
        break;
      }
    }
    if (!listed) DisplayModes.push_back({mode.Width, mode.Height, 0, mode.Format});
  }
  return 0;
}

int32_t TKeshSurfaceEngine3D::InitD3D(platform::win32::HWND hWndArg, int32_t WidthArg,
                                      int32_t HeightArg, bool& Windowed) {
  VideoMemory = MeasureVideoMemory();
  LogEngine->AddHint(" TKeshSurfaceEngine3D.InitD3D VidMem=" + rtl::UIntToStr(VideoMemory));
  LogEngine->AddHint("InitD3D start FullScreen=" + rtl::BoolToStr(FullScreen) +
                     " width=" + IntToStr(WidthArg) + " height=" + IntToStr(HeightArg));
  InitWidth = WidthArg;
  InitHeight = HeightArg;
  hWnd = hWndArg;

  int32_t screenWidth = 0, screenHeight = 0;
  CurrentScreenSize(screenWidth, screenHeight);
  if (FullScreenSize.width == 0) FullScreenSize = {screenWidth, screenHeight};

  Windowed = false;
  int32_t w, h;
  if (!FullScreen) {
    w = Width;
    h = Height;
    Windowed = true;
  } else {
    w = FullScreenSize.width;
    h = FullScreenSize.height;
  }
  BackBufferWidth = w;
  BackBufferHeight = h;

  if (D3D) D3D->Release();
  D3D = Direct3DCreate9(kSdkVersion);
  LogEngine->AddHint("Direct3DCreate9 width=" + IntToStr(w) + " height=" + IntToStr(h));
  LogEngine->AddHint("Direct3DCreate9 FullScreenSize.width=" + IntToStr(FullScreenSize.width) +
                     " FullScreenSize.height=" + IntToStr(FullScreenSize.height));
  if (!D3D) return E_FAIL;

  BuildDeviceList();

  bool found = false;
  if (FullScreen) {
    // Three passes, each keeping its first match; a later pass's match wins.
    for (const double factor : {1.0, 1.25, 1.5}) {
      const auto mw = static_cast<uint32_t>(std::nearbyint(w * factor));
      const auto mh = static_cast<uint32_t>(std::nearbyint(h * factor));
      for (const TDisplayMode& m : DisplayModes) {
        if (m.Width == mw && m.Height == mh) {
          d3ddm = m;
          found = true;
          break;
        }
      }
    }
  } else {
    D3DDISPLAYMODE desktop{};
    D3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop);
    d3ddm = {static_cast<uint32_t>(Width), static_cast<uint32_t>(Height), 0, desktop.Format};
    found = true;
  }
  LogEngine->AddMessage("d3ddm.Format=" + FormatToString(static_cast<int32_t>(d3ddm.Format)));
  if (!found) return E_FAIL;

  PresentParams = {};
  PresentParams.BackBufferCount = 1;
  PresentParams.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  PresentParams.BackBufferFormat = d3ddm.Format;
  PresentParams.hDeviceWindow = hWnd;
  PresentParams.EnableAutoDepthStencil = FALSE;
  PresentParams.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
  if (!FullScreen) {
    PresentParams.Windowed = TRUE;
    PresentParams.SwapEffect = D3DSWAPEFFECT_DISCARD;
    PresentParams.BackBufferWidth = static_cast<UINT>(Width);
    PresentParams.BackBufferHeight = static_cast<UINT>(Height);
  } else {
    PresentParams.Windowed = FALSE;
    PresentParams.SwapEffect = D3DSWAPEFFECT_FLIP;
    PresentParams.BackBufferWidth = static_cast<UINT>(screenWidth);
    PresentParams.BackBufferHeight = static_cast<UINT>(screenHeight);
    PresentParams.FullScreen_RefreshRateInHz = d3ddm.RefreshRate;
    PresentParams.MultiSampleType = D3DMULTISAMPLE_NONE;
  }

  if (g_pd3dDevice) {
    ReleaseDeviceResources();
    const HRESULT hr = g_pd3dDevice->Reset(&PresentParams);
    LogEngine->AddHint("Reset hr=" + IntToStr(hr));
    if (hr != 0) return E_FAIL;
  }

  SafeRelease(g_pd3dDevice);
  IDirect3DDevice9* device = nullptr;
  const HRESULT hr = D3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hWnd,
                                       D3DCREATE_SOFTWARE_VERTEXPROCESSING, &PresentParams,
                                       &device);
  if (FAILED(hr) || !device) {
    if (device) device->Release();
    return E_FAIL;
  }
  g_pd3dDevice = device;

  SetDeviceParams(BackBufferWidth, BackBufferHeight);

  for (TKeshSurface& s : Surfaces) {
    SafeRelease(s.VB);
    s.VB = CreateVB(4 * sizeof(SurfaceVertex));
    if (s.VB) SetVBForSurfaces(s, nullptr);
  }

  CreateFont();
  return 0;
}

void TKeshSurfaceEngine3D::CreateFont() {
  if (Font) Font->Release();
  Font = nullptr;
  D3DXCreateFontW(g_pd3dDevice, 20, 0, 700, 1, FALSE, 1, 0, 0, 0, u"", &Font);
  double fx = 1, fy = 1;
  if (!Font || !TextScale(fx, fy)) return;
  // Stretched the way the projection stretches pictures: the height by the vertical factor, the
  // average width of the 20-pixel font by the horizontal one.
  TEXTMETRICA metrics;
  Font->GetTextMetricsA(&metrics);
  const int height = std::max(1, static_cast<int>(std::lround(20 * fy)));
  const UINT width = fx == fy ? 0 : static_cast<UINT>(std::max(1L, std::lround(metrics.tmAveCharWidth * fx)));
  Font->Release();
  Font = nullptr;
  D3DXCreateFontW(g_pd3dDevice, height, width, 700, 1, FALSE, 1, 0, 0, 0, u"", &Font);
}

void TKeshSurfaceEngine3D::SetDeviceParams(int32_t WidthArg, int32_t HeightArg) {
  LogEngine->AddHint("SetDeviceParams 0 " + IntToStr(WidthArg) + " " + IntToStr(HeightArg) +
                     " FullScreen=" + (FullScreen ? "-1" : "0"));
  if (!g_pd3dDevice) return;
  try {
    g_pd3dDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    g_pd3dDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
    g_pd3dDevice->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    g_pd3dDevice->SetTransform(D3DTS_WORLD, &identity);
    g_pd3dDevice->SetTransform(D3DTS_VIEW, &identity);

    int32_t w, h;
    if (FullScreen) {
      LogEngine->AddHint("SetDeviceParams FullScreenSize.Width=" +
                         IntToStr(FullScreenSize.width) + " FullScreenSize.Height=" +
                         IntToStr(FullScreenSize.height) + " FullScreen");
      w = InitWidth;
      h = InitHeight;
    } else {
      w = Width;
      h = Height;
    }
    // A zero size on either side keeps the previous scale instead of dividing by zero.
    int32_t screenWidth = 0, screenHeight = 0;
    CurrentScreenSize(screenWidth, screenHeight);
    if (w != 0 && h != 0 && screenWidth != 0 && screenHeight != 0) {
      ScaleX = static_cast<double>(w) / screenWidth;
      ScaleY = static_cast<double>(h) / screenHeight;
    }
    LogEngine->AddHint("SetDeviceParams " + IntToStr(w) + " " + IntToStr(h));
    // A zero logical size has no projection; the previous one stays.
    if (w != 0 && h != 0) {
      D3DXMATRIX projection;
      D3DXMatrixOrthoOffCenterLH(&projection, 0, static_cast<float>(w), static_cast<float>(h),
                                 0, -1, 1);
      g_pd3dDevice->SetTransform(D3DTS_PROJECTION, &projection);
    }
  } catch (...) {
    // Fixed states are best effort; a failure here must not take the caller down.
  }
}
