// Unit D3DUtil: the framework's device-cursor routine.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32_types.h"

// Would turn a Windows cursor into a device cursor surface. Nothing in the system calls it, and
// it never made a cursor: it returns E_FAIL.
platform::win32::HRESULT D3DUtil_SetDeviceCursor(platform::d3d9::IDirect3DDevice9* device,
                                                 platform::win32::HCURSOR cursor,
                                                 bool addWatermark);
