// DrawPicture's logic apart from reading the script's arguments: the key table, the parameters
// with their defaults, and the preparation of the one engine Draw call (alias of the layout
// table, group scale, the splash scaling to the screen, forced filtering). The operation in
// main_drawing.cpp reads the key/value pairs into TDrawPictureParams, prepares the call and
// issues it. Nothing here includes Lua. Main thread only.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/Rounding.h"
#include "surface/KeshTextureEngine3D.h"

class TMainForm;
struct lua_State;

enum class TDrawPictureKey : uint8_t {
  None,  // no key of the table: the pair is skipped
  Src, Dest, Bump, X, Y, Alpha, Color, ColorPower, OutputMode, Angle, ScaleX, ScaleY,
  TransX, TransY, Filter, Rect, Splash,
};

// The key Text stands for, its letters compared without case; allocates nothing.
TDrawPictureKey MatchDrawPictureKey(std::string_view text);

// The values of one DrawPicture call, with the defaults of the key table.
struct TDrawPictureParams {
  std::string Src;
  double X = 0, Y = 0;
  uint8_t Alpha = 255;
  int32_t Color = 0xFFFFFF;
  uint8_t ColorPower = 0;
  uint8_t OutputMode = 0;
  double Angle = 0;  // radians, as the script gives it
  double ScaleX = 1, ScaleY = 1;
  double TransX = -1, TransY = -1;
  bool Filter = false;
  bool HasRect = false;
  TSurfaceOffsets Rect{};
  bool Splash = false;

  // Back to the defaults; keeps Src's storage so a frame of draws does not allocate.
  void Reset();
};

// The engine Draw call that a DrawPicture call comes to, argument for argument.
struct TPictureDrawCall {
  const std::string* Name = nullptr;  // the params' Src or the name of an alias's source row
  uint8_t Alpha = 255;
  double X = 0, Y = 0, Angle = 0;  // Angle in degrees
  double ScaleX = 1, ScaleY = 1;
  int32_t Color = 0xFFFFFF;
  uint8_t ColorPower = 0, OutputMode = 0;
  const TSurfaceOffsets* Rect = nullptr;
  double GroupX = 0, GroupY = 0, GroupScaleX = 1, GroupScaleY = 1;
  double TransX = -1, TransY = -1;
  bool Filter = false;
  double GroupCX = -1, GroupCY = -1;
  bool Splash = false;  // the group stack holds the temporary "splash" group until issued
};

// Reads DrawPicture's key/value pairs (keys without case, "rect" taking four values, a key of no
// meaning skipped with its value, a later pair overriding an earlier one) into Params.
void ReadDrawPictureParams(lua_State* L, TDrawPictureParams& params);

// Steps before the engine call: the first-draw time, the nothing-to-draw test, the alias, the
// group and splash scales, the full-screen "GScaleX = " line, forced filtering and the splash
// group. False when nothing is to be drawn. Call refers into Params and the layout table.
bool PreparePictureDraw(TMainForm& form, const TDrawPictureParams& params, TPictureDrawCall& call);
// The engine Draw, the end of the splash group, and the debug overlay's texture list.
void IssuePictureDraw(TMainForm& form, const TPictureDrawCall& call);
