// DrawPicture's preparation of the engine call. See PictureDraw.h.
#include "game/PictureDraw.h"

#include <cmath>

#include "foundation/KeshLogEngine.h"
#include "foundation/SFunctions.h"
#include "game/main.h"
#include "runtime/Rounding.h"
#include "runtime/Strings.h"

TDrawPictureKey MatchDrawPictureKey(std::string_view text) {
  // Every call reads about ten keys: the length and the first letter leave at most three keys to
  // compare.
  using K = TDrawPictureKey;
  if (text.empty()) return K::None;
  // Scripts write the keys in lower case: an exact comparison settles nearly every one.
  auto is = [text](std::string_view lower, K key) {
    return text == lower || rtl::SameText(text, lower) ? key : K::None;
  };
  char first = text[0];
  if (first >= 'A' && first <= 'Z') first = static_cast<char>(first - 'A' + 'a');
  switch (text.size()) {
    case 1: return first == 'x' ? K::X : first == 'y' ? K::Y : K::None;
    case 3: return is("src", K::Src);
    case 4:
      switch (first) {
        case 'd': return is("dest", K::Dest);
        case 'b': return is("bump", K::Bump);
        case 'r': return is("rect", K::Rect);
        default: return K::None;
      }
    case 5:
      switch (first) {
        case 'a': return is("alpha", K::Alpha) != K::None ? K::Alpha : is("angle", K::Angle);
        case 'c': return is("color", K::Color);
        default: return K::None;
      }
    case 6:
      switch (first) {
        case 's':
          if (is("scalex", K::ScaleX) != K::None) return K::ScaleX;
          return is("scaley", K::ScaleY) != K::None ? K::ScaleY : is("splash", K::Splash);
        case 't': return is("transx", K::TransX) != K::None ? K::TransX : is("transy", K::TransY);
        case 'f': return is("filter", K::Filter);
        default: return K::None;
      }
    case 10:
      switch (first) {
        case 'c': return is("colorpower", K::ColorPower);
        case 'o': return is("outputmode", K::OutputMode);
        default: return K::None;
      }
    default: return K::None;
  }
}

void TDrawPictureParams::Reset() {
  Src.clear();
  X = Y = 0;
  Alpha = 255;
  Color = 0xFFFFFF;
  ColorPower = 0;
  OutputMode = 0;
  Angle = 0;
  ScaleX = ScaleY = 1;
  TransX = TransY = -1;
  Filter = false;
  HasRect = false;
  Rect = {};
  Splash = false;
}

bool PreparePictureDraw(TMainForm& form, const TDrawPictureParams& p, TPictureDrawCall& call) {
  if (form.FirstDrawTime == 0) {
    form.FirstDrawTime = GetGameTime();
    LogEngine->AddHint("ShowTitleTime start");
  }
  if (p.Alpha == 0 || p.Src.empty() || !form.Engine) return false;
  TKeshSurfaceEngine3D& engine = *form.Engine;

  call = TPictureDrawCall{};
  call.Name = &p.Src;
  const int32_t row = form.TexSurfaceLookup.Find(form.TexSurfaces, p.Src);
  if (row >= 0) {
    const int32_t source = form.TexSurfaces[static_cast<std::size_t>(row)].SourceIndex;
    // One step only: an alias of an alias names the intermediate alias.
    if (source >= 0 && static_cast<std::size_t>(source) < form.TexSurfaces.size()) {
      call.Name = &form.TexSurfaces[static_cast<std::size_t>(source)].Name;
    }
  }

  const tGroupValues& group = CurrentGroupValues;
  double gsx = group.ScaleX, gsy = group.ScaleY;
  if (p.Splash) {
    // Splash pictures are loaded under their file name, so the texture of that name gives the
    // picture's full size.
    const int32_t t = engine.IndexOfTexture(*call.Name);
    if (t >= 0) {
      const TTexture& texture = engine.Textures[static_cast<std::size_t>(t)];
      const double tw = texture.Width, th = texture.Height;
      if (engine.FullScreen) {
        gsx = engine.SystemWidth / tw;
        gsy = engine.SystemHeight / th;
        if (engine.SystemHeight <= 600) {
          gsx = 1024 / tw;
          gsy = 768 / th;
        }
      } else {
        gsx = engine.LogicalWidth / tw;
        gsy = engine.LogicalHeight / th;
      }
    }
  }
  if (engine.FullScreen) {
    LogEngine->AddError("GScaleX = " + rtl::FloatToStr(gsx) + " GScaleY = " + rtl::FloatToStr(gsy));
  }

  call.Alpha = rtl::LowByteOfRound(p.Alpha * group.Alpha);
  call.X = p.X;
  call.Y = p.Y;
  call.Angle = static_cast<double>(static_cast<long double>(p.Angle) * 180.0L /
                                   3.14159265358979323846264338327950288L);
  call.ScaleX = p.ScaleX;
  call.ScaleY = p.ScaleY;
  call.Color = p.Color;
  call.ColorPower = p.ColorPower == 255 ? 254 : p.ColorPower;
  call.OutputMode = p.OutputMode;
  call.Rect = p.HasRect ? &p.Rect : nullptr;
  call.GroupX = group.X;
  call.GroupY = group.Y;
  call.GroupScaleX = gsx;
  call.GroupScaleY = gsy;
  call.TransX = p.TransX;
  call.TransY = p.TransY;
  call.Filter = p.Filter || p.ScaleX != 1 || p.ScaleY != 1 || p.Angle != 0;
  call.GroupCX = group.CenterX;
  call.GroupCY = group.CenterY;
  call.Splash = p.Splash;

  if (p.Splash) {
    // The splash replaces every open group by one that scales the picture to the screen; the
    // current group values stay as they were.
    GroupStack.clear();
    GroupStack.push_back(tGroup{"splash", 0, 0, gsx, gsy, 1, 0, 0});
    CurrentGroup = 0;
  }
  return true;
}

void IssuePictureDraw(TMainForm& form, const TPictureDrawCall& c) {
  TKeshSurfaceEngine3D& engine = *form.Engine;
  engine.Draw(*c.Name, c.Alpha, c.X, c.Y, c.Angle, c.ScaleX, c.ScaleY, c.Color, c.ColorPower,
              c.OutputMode, c.Rect, c.GroupX, c.GroupY, c.GroupScaleX, c.GroupScaleY, c.TransX,
              c.TransY, c.Filter, c.GroupCX, c.GroupCY);
  if (c.Splash) GroupStack.clear();
  if (!form.DebugOverlay) return;
  const int32_t s = engine.IndexOfSurface(*c.Name);
  if (s >= 0) {
    const int32_t texture = engine.Surfaces[static_cast<std::size_t>(s)].TextureIndex;
    if (!IntInArray(texture, form.FrameTextures)) AddInt(form.FrameTextures, texture);
  }
}
