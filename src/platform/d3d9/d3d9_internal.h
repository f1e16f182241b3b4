// Calls between the graphics stand-ins that are not part of Direct3D 9 itself.
#pragma once

#include <cstdint>

#include "platform/d3d9/d3d9.h"

namespace platform::d3d9 {

// Blends an 8-bit coverage mask, times the colour's alpha, source-over into the device's render
// target with its top-left at back-buffer pixel (x, y). Clipped to the target, and to the scissor
// rectangle while the scissor test is on. Runs in submission order with the device's draws.
// coverage points at w x h bytes with rows pitch bytes apart; null or an empty size draws nothing.
void BlendCoverage(IDirect3DDevice9* device, int x, int y, int w, int h, const uint8_t* coverage,
                   int pitch, D3DCOLOR color);

}  // namespace platform::d3d9
