// Surface drawing: one named surface as a textured quad (a strip of two triangles).
//
// Draw refreshes the surface's colour, reloads its texture when a device re-creation released
// it, rewrites its four vertices (SetVBForSurfaces) and issues the quad (DrawSurface) with the
// world matrix of its own pivot, rotation, scale and position followed by the game host's group
// stack, clipped by the clip in force. The per-draw path allocates nothing: the surface's vertex
// buffer is rewritten in place, and identity factors of the world matrix are skipped.
//
// Device states left behind for the next drawing: blend factors, COLOROP, COLORARG2, ALPHAOP,
// the texture factor, the bound texture and the sampler filters. Lines and triangles set their
// own colour stage and blending, so nothing a tinted picture leaves leaks into them.
#include <cmath>
#include <cstring>
#include <numbers>

#include "foundation/KeshLogEngine.h"
#include "game/GroupStack.h"
#include "surface/KeshTextureEngine3D.h"

using namespace platform::d3d9;
using namespace platform::d3dx9;
using platform::win32::E_FAIL;
using platform::win32::FAILED;
using platform::win32::SUCCEEDED;

namespace {

// Round to nearest with halves to the even neighbour, as the system's numbers are rounded.
inline int32_t RoundEven(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

inline uint32_t SurfaceDiffuse(uint8_t a, uint32_t r, uint32_t g, uint32_t b) {
  return (static_cast<uint32_t>(a) << 24) | (r << 16) | (g << 8) | b;
}

// World *= Factor with D3DXMatrixMultiply's arithmetic term for term (each element the same
// products summed in the same order, so the same floats), a row at a time: a draw chains up to
// five of these.
inline void MultiplyInPlace(D3DXMATRIX& world, const D3DXMATRIX& factor) {
  using Row = float __attribute__((vector_size(16)));
  Row f[4];
  std::memcpy(f, factor.m, sizeof f);
  for (int r = 0; r < 4; ++r) {
    const float* w = world.m[r];
    const Row product = w[0] * f[0] + w[1] * f[1] + w[2] * f[2] + w[3] * f[3];
    std::memcpy(world.m[r], &product, sizeof product);
  }
}

// D3DXMatrixTranslation and D3DXMatrixScaling in line.
inline void Translation(D3DXMATRIX& m, float x, float y) {
  m = D3DXMATRIX{};
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  m._41 = x;
  m._42 = y;
}

inline void Scaling(D3DXMATRIX& m, float sx, float sy) {
  m = D3DXMATRIX{};
  m._11 = sx;
  m._22 = sy;
  m._44 = 1.0f;
}

}  // namespace

D3DXMATRIX SurfaceWorldMatrix(double px, double py, double Angle, double ScaleX, double ScaleY,
                              double X, double Y, bool& GroupScaled) {
  D3DXMATRIX world, factor;
  Translation(world, static_cast<float>(-px), static_cast<float>(-py));
  if (Angle != 0) {
    D3DXMatrixRotationZ(&factor, static_cast<float>(Angle * std::numbers::pi / 180));
    MultiplyInPlace(world, factor);
  }
  if (ScaleX != 1 || ScaleY != 1) {
    Scaling(factor, static_cast<float>(ScaleX), static_cast<float>(ScaleY));
    MultiplyInPlace(world, factor);
  }
  if (px != 0 || py != 0) {
    Translation(factor, static_cast<float>(px), static_cast<float>(py));
    MultiplyInPlace(world, factor);
  }
  if (X != 0 || Y != 0) {
    Translation(factor, static_cast<float>(X), static_cast<float>(Y));
    MultiplyInPlace(world, factor);
  }
  for (auto g = GroupStack.rbegin(); g != GroupStack.rend(); ++g) {
    if (g->ScaleX != 1 || g->ScaleY != 1) {
      Scaling(factor, static_cast<float>(g->ScaleX), static_cast<float>(g->ScaleY));
      MultiplyInPlace(world, factor);
      GroupScaled = true;
    }
    if (g->X != 0 || g->Y != 0) {
      Translation(factor, static_cast<float>(g->X), static_cast<float>(g->Y));
      MultiplyInPlace(world, factor);
    }
  }
  return world;
}

bool TKeshSurfaceEngine3D::BeginClip() {
  if (ClipStack.empty()) return true;
  const tClipRect& c = ClipStack.back();
  const RECT r{RoundEven(c.ClipLeft), RoundEven(c.ClipTop), RoundEven(c.ClipRight),
               RoundEven(c.ClipBottom)};
  // Nested clips that do not overlap leave an empty intersection: nothing may show, and an
  // inverted scissor rectangle must never reach the device.
  if (r.right <= r.left || r.bottom <= r.top) return false;
  g_pd3dDevice->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
  g_pd3dDevice->SetScissorRect(&r);
  return true;
}

void TKeshSurfaceEngine3D::EndClip() {
  g_pd3dDevice->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
}

bool TKeshSurfaceEngine3D::SetVBForSurfaces(TKeshSurface& Surface,
                                            const TSurfaceOffsets* Offsets) {
  const uint32_t m = Surface.ColorPower == 0 ? 255 : Surface.ColorPower;
  void* data = nullptr;
  if (!Surface.VB || FAILED(Surface.VB->Lock(0, 0, &data, 0)) || !data) {
    LogEngine->AddError("TKeshSurfaceEngine3D.SetVBForSurfaces FAILED Surface.VB.Lock" +
                        Surface.Name);
    return false;
  }

  double texW = 1, texH = 1;
  if (Surface.TextureIndex >= 0 && Surface.TextureIndex < static_cast<int32_t>(Textures.size())) {
    TTexture& tex = Textures[Surface.TextureIndex];
    ReadTextureSize(tex);
    texW = tex.Width;
    texH = tex.Height;
  }

  double L = Surface.SrcLeft, T = Surface.SrcTop, R = Surface.SrcRight, B = Surface.SrcBottom;
  if (Offsets) {
    const double* a = Offsets->a;
    if (!Surface.Rotated) {
      L = Surface.SrcLeft + a[0];
      T = Surface.SrcTop + a[1];
      R = Surface.SrcLeft + a[2];
      B = Surface.SrcTop + a[3];
    } else {
      L = Surface.SrcRight - a[1];
      T = Surface.SrcTop + a[0];
      R = Surface.SrcRight - a[3];
      B = Surface.SrcTop + a[2];
    }
  }

  double iL = 0.5, iT = 0.5, iR = -0.5, iB = -0.5;
  if (Offsets) {
    // The two bitmap fonts of the game data are cut glyph by glyph; their insets keep
    // neighbouring glyphs out, except when a group scales them.
    const bool gentium = Surface.Name == "GentiumBasic29.png";
    const bool antiqua = Surface.Name == "KeshBookAntiqua23.png";
    if (gentium) iL = 0.5, iT = 0.5, iR = 0, iB = 0;
    if (antiqua) iL = 0, iT = 0, iR = 0.5, iB = 0.5;
    if ((gentium || antiqua) && (Surface.GroupScaleX != 1 || Surface.GroupScaleY != 1)) {
      iL = iT = iR = iB = -0.5;
    }
    if (Surface.Rotated) std::swap(iL, iR);
  }

  float uL = static_cast<float>((L + iL) / texW);
  const float vT = static_cast<float>((T + iT) / texH);
  float uR = static_cast<float>((R + iR) / texW);
  const float vB = static_cast<float>((B + iB) / texH);

  auto* v = static_cast<SurfaceVertex*>(data);
  if (!Surface.Rotated) {
    const double w = R - L, h = B - T;
    const uint32_t color = SurfaceDiffuse(Surface.A, RoundEven(Surface.R * m / 255.0),
                                          RoundEven(Surface.G * m / 255.0),
                                          RoundEven(Surface.B * m / 255.0));
    const float x0 = static_cast<float>(iL), y0 = static_cast<float>(iT);
    const float x1 = static_cast<float>(w + iR), y1 = static_cast<float>(h + iB);
    v[0] = {x0, y0, 1, color, uL, vT};
    v[1] = {x0, y1, 1, color, uL, vB};
    v[2] = {x1, y0, 1, color, uR, vT};
    v[3] = {x1, y1, 1, color, uR, vB};
  } else {
    const double across = B - T;
    double down = R - L;
    if (Offsets) {
      down = L - R;
      std::swap(uL, uR);
    }
    const uint32_t color =
        SurfaceDiffuse(Surface.A, Surface.R * m / 255, Surface.G * m / 255, Surface.B * m / 255);
    const float ac = static_cast<float>(across), dn = static_cast<float>(down);
    v[0] = {0, 0, 1, color, uR, vT};
    v[1] = {0, dn, 1, color, uL, vT};
    v[2] = {ac, 0, 1, color, uR, vB};
    v[3] = {ac, dn, 1, color, uL, vB};
  }

  bool ok = true;
  if (FAILED(Surface.VB->Unlock())) {
    LogEngine->AddError("Surface.VB.Unlock " + Surface.Name);
    ok = false;
  }
  Surface.VBReady = 1;
  return ok;
}

void TKeshSurfaceEngine3D::Draw(const std::string& Name, uint8_t Alpha, double X, double Y,
                                double Angle, double ScaleX, double ScaleY, int32_t Color,
                                uint8_t ColorPower, uint8_t OutputMode,
                                const TSurfaceOffsets* RectPtr, double /*GroupX*/,
                                double /*GroupY*/, double GroupScaleX, double GroupScaleY,
                                double TransX, double TransY, bool Filter, double /*GroupCX*/,
                                double /*GroupCY*/) {
  if (Name.empty()) return;
  const int32_t i = IndexOfSurface(Name);
  if (i == -1) {
    LogEngine->AddWarning("TKeshSurfaceEngine3D.Draw(" + Name +
                          ",...) - Src Surface does not exists!");
    return;
  }
  if (!g_pd3dDevice) return;
  TKeshSurface& s = Surfaces[i];

  // The vertices are rewritten below on every drawn call, so a new alpha needs no extra pass.
  s.A = Alpha;
  if (ColorPower != s.ColorPower || Color != s.Color) {
    s.B = static_cast<uint8_t>(Color & 0xFF);
    s.G = static_cast<uint8_t>((Color >> 8) & 0xFF);
    s.R = static_cast<uint8_t>((Color >> 16) & 0xFF);
    s.ColorPower = ColorPower;
    s.Color = Color;
  }

  TTexture& tex = Textures[s.TextureIndex];
  if (!tex.Loaded && !ReloadTexture(tex)) {
    LogEngine->AddWarning("TKeshSurfaceEngine3D.Draw(" + Name + ",...) - Texture not load! " +
                          tex.Name);
    return;
  }

  s.GroupScaleX = GroupScaleX;
  s.GroupScaleY = GroupScaleY;
  // A buffer lost with a failed re-creation is made again; a draw without one is skipped.
  if (!s.VB) s.VB = CreateVB(4 * sizeof(SurfaceVertex));
  if (!SetVBForSurfaces(s, nullptr)) return;
  DrawSurface(s, Color, X, Y, Angle, ScaleX, ScaleY, ColorPower, OutputMode, RectPtr, TransX,
              TransY, Filter);
}

void TKeshSurfaceEngine3D::DrawSurface(TKeshSurface& Surface, int32_t Color, double X, double Y,
                                       double Angle, double ScaleX, double ScaleY,
                                       uint8_t ColorPower, uint8_t OutputMode,
                                       const TSurfaceOffsets* RectPtr, double TransX,
                                       double TransY, bool Filter) {
  if (!g_pd3dDevice) return;
  if (!BeginClip()) return;
  if (RectPtr && !SetVBForSurfaces(Surface, RectPtr)) {
    EndClip();
    return;
  }

  double px = TransX, py = TransY;
  if (TransX == -1 && TransY == -1) {
    if (Surface.Rotated) {
      px = Surface.Height / 2.0;
      py = Surface.Width / 2.0;
    } else {
      px = Surface.Width / 2.0;
      py = Surface.Height / 2.0;
    }
  }

  bool groupScaled = false;
  D3DXMATRIX world = SurfaceWorldMatrix(px, py, Angle, ScaleX, ScaleY, X, Y, groupScaled);
  if (groupScaled) Filter = true;  // a scaled group would shimmer with point sampling

  IDirect3DDevice9* dev = g_pd3dDevice;
  dev->SetTransform(D3DTS_WORLD, &world);
  dev->SetTexture(0, Textures[Surface.TextureIndex].Texture);
  dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  dev->SetFVF(kSurfaceFVF);
  dev->SetStreamSource(0, Surface.VB, 0, sizeof(SurfaceVertex));
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);

  if (ColorPower > 0) {
    const uint32_t cp = ColorPower;
    const uint32_t b = ((Color & 0xFF) * cp) >> 8;
    const uint32_t g = (((Color >> 8) & 0xFF) * cp) >> 8;
    const uint32_t r = (((Color >> 16) & 0xFF) * cp) >> 8;
    dev->SetRenderState(D3DRS_TEXTUREFACTOR, (r << 16) | (g << 8) | b);
    if (OutputMode == 0) {
      // TEMP reads zero, so the picture shows the tint colour with the texture's alpha.
      dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
      dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEMP);
      dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    } else if (OutputMode == 2) {
      dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
      dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
      dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    } else {
      // Any other mode modulates the texture by the tinted vertex colour, whatever the
      // previous drawing left in the stage.
      dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
      dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
      dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    }
  } else {
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  }
  if (OutputMode == 1) {
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  }
  dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);

  int32_t f = FilterMode;
  if (ForceLinearFilter) Filter = true;
  if (Filter) f = 2;
  switch (f) {
    case 0:
    case 1:
    case 2:
      dev->SetSamplerState(0, D3DSAMP_MAGFILTER, static_cast<DWORD>(f));
      dev->SetSamplerState(0, D3DSAMP_MINFILTER, static_cast<DWORD>(f));
      break;
    case 3:
      dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_ANISOTROPIC);
      dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC);
      dev->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, static_cast<DWORD>(MaxAnisotropy));
      break;
    default:
      break;
  }

  dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);

  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  D3DXMatrixIdentity(&world);
  dev->SetTransform(D3DTS_WORLD, &world);
  EndClip();
}
