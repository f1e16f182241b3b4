#include "frame/D3DUtil.h"

platform::win32::HRESULT D3DUtil_SetDeviceCursor(platform::d3d9::IDirect3DDevice9*,
                                                 platform::win32::HCURSOR, bool) {
  return platform::win32::E_FAIL;
}
