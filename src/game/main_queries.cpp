// Picture queries and hit tests of the game object: a picture's size, a point in a rectangle,
// a point on a solid part of a picture (PictureHitTest.cpp reads the texels), the centre of a
// set of points. The scripts do their own hit testing with these.
#include "game/main.h"

#include <exception>

#include "foundation/KeshLogEngine.h"
#include "foundation/SFunctions.h"
#include "game/PictureHitTest.h"
#include "runtime/Strings.h"
#include "script/LuaArgs.h"

namespace d3d9 = platform::d3d9;

int TMainForm::GetPictureSize(lua_State* L) {
  TIntSize size;  // an unknown picture answers 0, 0
  if (Engine) Engine->GetSurfaceSize(LuaArgText(L, 1), size);
  LuaPushInteger(L, size.width);
  LuaPushInteger(L, size.height);
  return 2;
}

int TMainForm::InsideRect(lua_State* L) {
  // PointInRect's test, in 64 bits: corner plus size may lie outside the 32-bit range.
  const int64_t px = LuaArgInteger(L, 1), py = LuaArgInteger(L, 2);
  const int64_t x = LuaArgInteger(L, 3), y = LuaArgInteger(L, 4);
  const int64_t right = x + LuaArgInteger(L, 5), bottom = y + LuaArgInteger(L, 6);
  LuaPushBoolean(L, x <= px && px <= right && y <= py && py <= bottom);
  return 1;
}

int TMainForm::InsidePicture(lua_State* L) {
  const int n = LuaArgCount(L);
  const std::string name = LuaArgText(L, 1);
  // In 64 bits: the point's offset from the picture may lie outside the 32-bit range.
  const int64_t x = int64_t{LuaArgInteger(L, 4)} - LuaArgInteger(L, 2);
  const int64_t y = int64_t{LuaArgInteger(L, 5)} - LuaArgInteger(L, 3);
  const int32_t radius = n >= 6 ? LuaArgInteger(L, 6) : 10;
  const int32_t threshold = n >= 7 ? LuaArgInteger(L, 7) : 102;
  LuaPushBoolean(L, GetAlphaFromSurf(name, x, y, radius, threshold));
  return 1;
}

int TMainForm::GetMassCenter(lua_State* L) {
  TPoints points;
  StrToPoints(LuaArgText(L, 1), points);
  const TPoint centre = PointsCenter(points);
  LuaPushInteger(L, centre.X);
  LuaPushInteger(L, centre.Y);
  return 2;
}

int TMainForm::SetPictureWidth(lua_State* L) {
  LuaPushBoolean(L, false);
  return 1;
}

int TMainForm::GetPictureWidth(lua_State* L) {
  LuaPushBoolean(L, false);
  LuaPushInteger(L, 0);
  return 2;
}

bool TMainForm::GetAlphaFromSurf(const std::string& name, int64_t x, int64_t y, int32_t radius,
                                 int32_t threshold) {
  if (!Engine) return false;
  try {
    TIntSize size;
    Engine->GetSurfaceSize(name, size);
    const int32_t s = Engine->IndexOfSurface(name);
    if (s < 0) return false;
    const TKeshSurface& surface = Engine->Surfaces[static_cast<std::size_t>(s)];
    const int32_t w = size.width, h = size.height;
    if (surface.Rotated) {
      const int64_t turnedX = w - y;
      y = x;
      x = turnedX;
    }
    // A negative radius would make the square empty; it tests the point's own texel instead.
    if (radius < 0) radius = 0;
    if (x < -int64_t{radius} || x > int64_t{w} - 1 + radius || y < -int64_t{radius} ||
        y > int64_t{h} - 1 + radius) {
      return false;
    }
    if (surface.TextureIndex < 0 || static_cast<std::size_t>(surface.TextureIndex) >= Engine->Textures.size()) return false;
    d3d9::IDirect3DTexture9* texture = Engine->Textures[static_cast<std::size_t>(surface.TextureIndex)].Texture;
    if (!texture) return false;

    d3d9::D3DSURFACE_DESC desc{};
    if (platform::win32::FAILED(texture->GetLevelDesc(0, &desc))) return false;
    // Only the picture's own rectangle, and only the part of it that lies in the texture.
    platform::win32::RECT rect{std::max(surface.SrcLeft, 0), std::max(surface.SrcTop, 0),
                               std::min<int32_t>(surface.SrcRight, static_cast<int32_t>(desc.Width)),
                               std::min<int32_t>(surface.SrcBottom, static_cast<int32_t>(desc.Height))};
    if (rect.right <= rect.left || rect.bottom <= rect.top) return false;
    d3d9::D3DLOCKED_RECT lock{};
    if (platform::win32::FAILED(texture->LockRect(0, &lock, &rect, d3d9::D3DLOCK_READONLY)) || !lock.pBits) return false;
    TLockedTexels texels;
    texels.Bits = static_cast<const uint8_t*>(lock.pBits);
    texels.Pitch = lock.Pitch;
    texels.Format = desc.Format;
    // The picture's size and the locked rectangle agree but for a rectangle cut by the texture.
    texels.Width = std::min<int32_t>(w, rect.right - rect.left);
    texels.Height = std::min<int32_t>(h, rect.bottom - rect.top);
    const bool solid = AnySolidTexel(texels, x, y, radius, threshold);
    texture->UnlockRect(0);
    return solid;
  } catch (const std::exception&) {
    LogEngine->AddError("TGame.GetAlphaFromSurf(" + name + ", " + rtl::IntToStr(x) + ", " + rtl::IntToStr(y) + ")");
    return false;
  }
}
