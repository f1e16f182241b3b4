// Drawing operations of the game object: named pictures, text, lines and triangles. Each reads
// its arguments by position, takes the current group's values where the scripts expect them,
// and calls the surface engine once per primitive; none returns a result, and what the engine
// cannot draw it logs itself. DrawPicture's preparation lives in PictureDraw.cpp.
#include "game/main.h"

#include <algorithm>
#include <cmath>

#include "foundation/SFunctions.h"
#include "game/PictureDraw.h"
#include "runtime/Rounding.h"
#include "script/LuaArgs.h"

namespace {

uint8_t GroupFaded(uint8_t alpha) { return rtl::LowByteOfRound(alpha * CurrentGroupValues.Alpha); }

// The D3DX conversion of a colour value: each component clamped to 0..1, scaled to 255 and
// rounded half up; packed alpha, red, green, blue from the high byte down.
uint32_t DeviceColor(double r, double g, double b, double a) {
  auto byte = [](double c) {
    return static_cast<uint32_t>(std::clamp(c, 0.0, 1.0) * 255.0 + 0.5);
  };
  return byte(a) << 24 | byte(r) << 16 | byte(g) << 8 | byte(b);
}

}  // namespace

void ReadDrawPictureParams(lua_State* L, TDrawPictureParams& p) {
  p.Reset();
  const int n = LuaArgCount(L);
  int i = 1;
  do {
    std::size_t length = 0;
    const char* text = lua_tolstring(L, i, &length);
    const TDrawPictureKey key = text ? MatchDrawPictureKey({text, length}) : TDrawPictureKey::None;
    const int v = i + 1;
    switch (key) {
      case TDrawPictureKey::Src: {
        const char* src = lua_tolstring(L, v, &length);
        p.Src.assign(src ? src : "", src ? length : 0);
        break;
      }
      case TDrawPictureKey::X: p.X = LuaArgNumber(L, v); break;
      case TDrawPictureKey::Y: p.Y = LuaArgNumber(L, v); break;
      case TDrawPictureKey::Alpha: p.Alpha = rtl::LowByteOfRound(LuaArgNumber(L, v)); break;
      case TDrawPictureKey::Color: p.Color = LuaArgInteger(L, v); break;
      case TDrawPictureKey::ColorPower: p.ColorPower = rtl::LowByteOfRound(LuaArgNumber(L, v)); break;
      case TDrawPictureKey::OutputMode: p.OutputMode = rtl::LowByteOfRound(LuaArgNumber(L, v)); break;
      case TDrawPictureKey::Angle: p.Angle = LuaArgNumber(L, v); break;
      case TDrawPictureKey::ScaleX: p.ScaleX = LuaArgNumber(L, v); break;
      case TDrawPictureKey::ScaleY: p.ScaleY = LuaArgNumber(L, v); break;
      case TDrawPictureKey::TransX: p.TransX = LuaArgNumber(L, v); break;
      case TDrawPictureKey::TransY: p.TransY = LuaArgNumber(L, v); break;
      case TDrawPictureKey::Filter: p.Filter = LuaArgBoolean(L, v); break;
      case TDrawPictureKey::Splash: p.Splash = LuaArgBoolean(L, v); break;
      case TDrawPictureKey::Rect:
        for (int k = 0; k < 4; ++k) p.Rect.a[k] = LuaArgNumber(L, v + k);
        p.HasRect = true;
        i += 3;
        break;
      case TDrawPictureKey::Dest:  // read and not used
      case TDrawPictureKey::Bump:
      case TDrawPictureKey::None: break;
    }
    i += 2;
  } while (i <= n);
}

int TMainForm::DrawPicture(lua_State* L) {
  // Reused from call to call: the picture name keeps its storage.
  static TDrawPictureParams params;
  ReadDrawPictureParams(L, params);
  TPictureDrawCall call;
  if (PreparePictureDraw(*this, params, call)) IssuePictureDraw(*this, call);
  return 0;
}

int TMainForm::DrawText(lua_State* L) {
  const int n = LuaArgCount(L);
  TextItems.resize(1);
  TDrawText& t = TextItems[0];
  t.Text = LuaArgText(L, 1);
  t.X = LuaArgInteger(L, 2);
  t.Y = LuaArgInteger(L, 3);
  t.Color = n >= 4 ? LuaArgInteger(L, 4) : 16777215;
  const int32_t alpha = n >= 5 ? LuaArgInteger(L, 5) : 255;
  // The colour is a Windows colour value, 0x00BBGGRR.
  t.R = (t.Color & 255) / 255.0;
  t.G = ((t.Color >> 8) & 255) / 255.0;
  t.B = ((t.Color >> 16) & 255) / 255.0;
  t.Alpha = alpha / 255.0;
  if (Engine) Engine->DrawFontText(t.Text.c_str(), Engine->Font, t.X, t.Y, DeviceColor(t.R, t.G, t.B, t.Alpha));
  return 0;
}

int TMainForm::OutTextXY(lua_State* L) {
  const std::string text = LuaArgText(L, 1);
  if (Engine) Engine->DrawFontText(text.c_str(), Engine->Font, LuaArgInteger(L, 2), LuaArgInteger(L, 3), DeviceColor(1, 1, 1, 1));
  return 0;
}

int TMainForm::DrawLine(lua_State* L) {
  const int n = LuaArgCount(L);
  const int32_t color = n >= 5 ? LuaArgInteger(L, 5) : 255;
  const auto alpha = static_cast<uint8_t>(n >= 6 ? LuaArgInteger(L, 6) & 0xFF : 255);
  const bool flag = n >= 7 && LuaArgBoolean(L, 7);
  if (Engine) {
    Engine->DrawLine(GroupFaded(alpha), color, LuaArgNumber(L, 1), LuaArgNumber(L, 2),
                     LuaArgNumber(L, 3), LuaArgNumber(L, 4), flag);
  }
  return 0;
}

int TMainForm::DrawPoligon(lua_State* L) {
  TPoints points;
  StrToPoints(LuaArgText(L, 1), points);
  const int32_t color = LuaArgCount(L) >= 2 ? LuaArgInteger(L, 2) : 255;
  if (points.size() < 2 || !Engine) return 0;
  // Always opaque: the group alpha does not fade outlines.
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    Engine->DrawLine(255, color, points[i].X, points[i].Y, points[i + 1].X, points[i + 1].Y, false);
  }
  Engine->DrawLine(255, color, points.front().X, points.front().Y, points.back().X, points.back().Y, false);
  return 0;
}

int TMainForm::DrawTriangle(lua_State* L) {
  const int n = LuaArgCount(L);
  double c[6];
  for (int i = 0; i < 6; ++i) c[i] = LuaArgNumber(L, i + 1);
  const int32_t color1 = n >= 7 ? LuaArgInteger(L, 7) : 255;
  const auto alpha1 = static_cast<uint8_t>(n >= 8 ? LuaArgInteger(L, 8) & 0xFF : 255);
  const bool blend = n >= 9 && LuaArgBoolean(L, 9);
  const int32_t color2 = n >= 10 ? LuaArgInteger(L, 10) : color1;
  const auto alpha2 = static_cast<uint8_t>(n >= 11 ? LuaArgInteger(L, 11) & 0xFF : alpha1);
  const int32_t color3 = n >= 12 ? LuaArgInteger(L, 12) : color1;
  const auto alpha3 = static_cast<uint8_t>(n >= 13 ? LuaArgInteger(L, 13) & 0xFF : alpha1);
  // The texture and its coordinates come as one block of seven, or not at all.
  std::string texture;
  double uv[6] = {0, 0, 0, 0, 0, 0};
  if (n >= 20) {
    texture = LuaArgText(L, 14);
    for (int i = 0; i < 6; ++i) uv[i] = LuaArgNumber(L, 15 + i);
  }
  const int32_t outputMode = n >= 21 ? LuaArgInteger(L, 21) : 0;
  if (Engine) {
    Engine->DrawTriangle(GroupFaded(alpha1), color1, c[0], c[1], c[2], c[3], c[4], c[5], blend,
                         GroupFaded(alpha2), GroupFaded(alpha3), color2, color3, texture, uv[0],
                         uv[1], uv[2], uv[3], uv[4], uv[5], outputMode);
  }
  return 0;
}
