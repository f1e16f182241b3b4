// Lines, filled rectangles, triangles and text.
//
// Lines and rectangles are cached by exact value (a hash of their coordinates, alpha, colour and
// fill), so one drawn every frame reuses its vertex buffer. The cache is emptied when it would
// pass kMaxCachedLines entries, so a line whose values change every frame cannot add a buffer per
// frame for the rest of the run; InitD3D empties it too. Triangles make and release one buffer
// per call.
//
// Every drawing here sets its own colour stage (texture modulated by the vertex colour; with no
// texture bound that is the vertex colour alone) and blends with SRCALPHA / INVSRCALPHA, so its
// colour and alpha mean the same whatever was drawn before. Groups scale lines about the group
// centre when one is given, triangles about the origin.
#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>

#include "game/GroupStack.h"
#include "surface/KeshTextureEngine3D.h"

using namespace platform::d3d9;
using namespace platform::d3dx9;
using platform::win32::E_FAIL;
using platform::win32::FAILED;
using platform::win32::SUCCEEDED;

namespace {

inline uint32_t VertexColor(uint8_t alpha, int32_t color) {
  return (static_cast<uint32_t>(alpha) << 24) | (static_cast<uint32_t>(color) & 0xFFFFFF);
}

inline void HashCombine(std::size_t& seed, std::size_t value) {
  seed ^= value + 0x9E3779B97F4A7C15ull + (seed << 6) + (seed >> 2);
}

}  // namespace

std::size_t TKeshSurfaceEngine3D::LineKeyHash::operator()(const LineKey& k) const {
  // std::hash<double> gives +0 and -0 the same value, matching their equality.
  std::hash<double> hd;
  std::size_t h = hd(k.X1);
  HashCombine(h, hd(k.Y1));
  HashCombine(h, hd(k.X2));
  HashCombine(h, hd(k.Y2));
  HashCombine(h, static_cast<uint32_t>(k.Color));
  HashCombine(h, (static_cast<std::size_t>(k.Alpha) << 1) | k.Filled);
  return h;
}

void TKeshSurfaceEngine3D::ClearLineCache() {
  for (TLine& l : Lines) SafeRelease(l.VB);
  Lines.clear();
  LineIndex.clear();
}

void TKeshSurfaceEngine3D::ClearTriangles() {
  for (TTriangle& t : Triangles) SafeRelease(t.VB);
  Triangles.clear();
}

void TKeshSurfaceEngine3D::SetDiffuseStage() {
  g_pd3dDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  g_pd3dDevice->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  g_pd3dDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  g_pd3dDevice->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
}

int32_t TKeshSurfaceEngine3D::FindLine(uint8_t Alpha, int32_t Color, double X1, double Y1,
                                       double X2, double Y2, bool Filled) const {
  const auto it =
      LineIndex.find(LineKey{X1, Y1, X2, Y2, Color, Alpha, static_cast<uint8_t>(Filled)});
  return it == LineIndex.end() ? -1 : it->second;
}

int32_t TKeshSurfaceEngine3D::AddLine(uint8_t Alpha, int32_t Color, double X1, double Y1,
                                      double X2, double Y2, bool Filled) {
  if (Lines.size() >= kMaxCachedLines) ClearLineCache();
  const uint32_t count = Filled ? 4 : 2;
  IDirect3DVertexBuffer9* vb = CreateVB(count * sizeof(SurfaceVertex));
  if (!vb) return -1;
  void* data = nullptr;
  if (FAILED(vb->Lock(0, 0, &data, 0)) || !data) {
    vb->Release();
    return -1;
  }
  const uint32_t c = VertexColor(Alpha, Color);
  auto* v = static_cast<SurfaceVertex*>(data);
  const float x1 = static_cast<float>(X1), y1 = static_cast<float>(Y1);
  const float x2 = static_cast<float>(X2), y2 = static_cast<float>(Y2);
  if (!Filled) {
    v[0] = {x1, y1, 1, c, 0, 0};
    v[1] = {x2, y2, 1, c, 0, 0};
  } else {
    v[0] = {x1, y1, 1, c, 0, 0};
    v[1] = {x2, y1, 1, c, 0, 0};
    v[2] = {x2, y2, 1, c, 0, 0};
    v[3] = {x1, y2, 1, c, 0, 0};
  }
  if (FAILED(vb->Unlock())) {
    vb->Release();
    return -1;
  }
  TLine line;
  line.X1 = X1;
  line.Y1 = Y1;
  line.X2 = X2;
  line.Y2 = Y2;
  line.Alpha = Alpha;
  line.Color = Color;
  line.VB = vb;
  line.Filled = Filled ? 1 : 0;
  Lines.push_back(std::move(line));
  const auto index = static_cast<int32_t>(Lines.size() - 1);
  LineIndex.emplace(LineKey{X1, Y1, X2, Y2, Color, Alpha, static_cast<uint8_t>(Filled)}, index);
  return index;
}

void TKeshSurfaceEngine3D::DrawLine(uint8_t Alpha, int32_t Color, double X1, double Y1,
                                    double X2, double Y2, bool Filled) {
  if (!g_pd3dDevice) return;
  if (!BeginClip()) return;
  int32_t i = FindLine(Alpha, Color, X1, Y1, X2, Y2, Filled);
  if (i == -1) i = AddLine(Alpha, Color, X1, Y1, X2, Y2, Filled);
  if (i == -1) {
    EndClip();
    return;
  }

  D3DXMATRIX world, factor;
  D3DXMatrixIdentity(&world);
  for (auto g = GroupStack.rbegin(); g != GroupStack.rend(); ++g) {
    const bool centred = !(g->CenterX == -1 && g->CenterY == -1);
    if (centred) {
      D3DXMatrixTranslation(&factor, static_cast<float>(-g->CenterX),
                            static_cast<float>(-g->CenterY), 0);
      D3DXMatrixMultiply(&world, &world, &factor);
    }
    if (g->ScaleX != 1 || g->ScaleY != 1) {
      D3DXMatrixScaling(&factor, static_cast<float>(g->ScaleX), static_cast<float>(g->ScaleY),
                        0);
      D3DXMatrixMultiply(&world, &world, &factor);
    }
    if (centred) {
      D3DXMatrixTranslation(&factor, static_cast<float>(g->CenterX),
                            static_cast<float>(g->CenterY), 0);
      D3DXMatrixMultiply(&world, &world, &factor);
    }
    if (g->X != 0 || g->Y != 0) {
      D3DXMatrixTranslation(&factor, static_cast<float>(g->X), static_cast<float>(g->Y), 0);
      D3DXMatrixMultiply(&world, &world, &factor);
    }
  }

  IDirect3DDevice9* dev = g_pd3dDevice;
  dev->SetTransform(D3DTS_WORLD, &world);
  dev->SetTexture(0, nullptr);
  dev->SetStreamSource(0, Lines[i].VB, 0, sizeof(SurfaceVertex));
  dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  dev->SetFVF(kSurfaceFVF);
  SetDiffuseStage();
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  if (Lines[i].Filled) {
    dev->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2);
  } else {
    dev->DrawPrimitive(D3DPT_LINESTRIP, 0, 1);
  }

  D3DXMatrixIdentity(&world);
  dev->SetTransform(D3DTS_WORLD, &world);
  EndClip();
}

int32_t TKeshSurfaceEngine3D::FindTriangle(uint8_t Alpha1, int32_t Color1, double X1, double Y1,
                                           double X2, double Y2, double X3, double Y3,
                                           bool Filled) const {
  for (std::size_t i = 0; i < Triangles.size(); ++i) {
    const TTriangle& t = Triangles[i];
    if (t.X1 == X1 && t.Y1 == Y1 && t.X2 == X2 && t.Y2 == Y2 && t.X3 == X3 && t.Y3 == Y3 &&
        t.Alpha1 == Alpha1 && t.Color1 == Color1 && t.Filled == (Filled ? 1 : 0)) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

int32_t TKeshSurfaceEngine3D::AddTriangle(uint8_t Alpha1, int32_t Color1, double X1, double Y1,
                                          double X2, double Y2, double X3, double Y3,
                                          bool Filled, uint8_t Alpha2, uint8_t Alpha3,
                                          int32_t Color2, int32_t Color3,
                                          const std::string& SurfaceName, double U1, double V1,
                                          double U2, double V2, double U3, double V3) {
  const int32_t si = SurfaceName.empty() ? -1 : IndexOfSurface(SurfaceName);
  double w = 1, h = 1;
  const TKeshSurface* s = si >= 0 ? &Surfaces[si] : nullptr;
  if (s) {
    TTexture& tex = Textures[s->TextureIndex];
    ReadTextureSize(tex);
    w = tex.Width;
    h = tex.Height;
  }
  auto map = [&](double U, double V, float& u, float& v) {
    if (!s) {
      u = static_cast<float>(U);
      v = static_cast<float>(V);
    } else if (!s->Rotated) {
      u = static_cast<float>((s->SrcLeft + U) / w);
      v = static_cast<float>((s->SrcTop + V) / h);
    } else {
      u = static_cast<float>((s->SrcRight - V) / w);
      v = static_cast<float>((s->SrcTop + U) / h);
    }
  };

  IDirect3DVertexBuffer9* vb = CreateVB(3 * sizeof(SurfaceVertex));
  if (!vb) return -1;
  void* data = nullptr;
  if (FAILED(vb->Lock(0, 0, &data, 0)) || !data) {
    vb->Release();
    return -1;
  }
  auto* v = static_cast<SurfaceVertex*>(data);
  const double xs[3] = {X1, X2, X3}, ys[3] = {Y1, Y2, Y3}, us[3] = {U1, U2, U3},
               vs[3] = {V1, V2, V3};
  const uint8_t alphas[3] = {Alpha1, Alpha2, Alpha3};
  const int32_t colors[3] = {Color1, Color2, Color3};
  for (int k = 0; k < 3; ++k) {
    float u, vv;
    map(us[k], vs[k], u, vv);
    v[k] = {static_cast<float>(xs[k]), static_cast<float>(ys[k]), 1,
            VertexColor(alphas[k], colors[k]), u, vv};
  }
  if (FAILED(vb->Unlock())) {
    vb->Release();
    return -1;
  }

  TTriangle t;
  t.X1 = X1, t.Y1 = Y1, t.X2 = X2, t.Y2 = Y2, t.X3 = X3, t.Y3 = Y3;
  t.Alpha1 = Alpha1, t.Alpha2 = Alpha2, t.Alpha3 = Alpha3;
  t.Color1 = Color1, t.Color2 = Color2, t.Color3 = Color3;
  t.VB = vb;
  t.Filled = Filled ? 1 : 0;
  Triangles.push_back(std::move(t));
  return static_cast<int32_t>(Triangles.size() - 1);
}

void TKeshSurfaceEngine3D::DrawTriangle(uint8_t Alpha1, int32_t Color1, double X1, double Y1,
                                        double X2, double Y2, double X3, double Y3, bool Filled,
                                        uint8_t Alpha2, uint8_t Alpha3, int32_t Color2,
                                        int32_t Color3, const std::string& SurfaceName,
                                        double U1, double V1, double U2, double V2, double U3,
                                        double V3, int32_t BlendMode) {
  if (!g_pd3dDevice) return;
  if (!BeginClip()) return;

  // A name that is not a surface draws untextured rather than with whatever was bound last.
  const int32_t si = SurfaceName.empty() ? -1 : IndexOfSurface(SurfaceName);
  IDirect3DTexture9* texture = nullptr;
  if (si >= 0) {
    TTexture& tex = Textures[Surfaces[si].TextureIndex];
    // Like a picture, a textured triangle brings its texture back after a device re-creation.
    if (!tex.Loaded) ReloadTexture(tex);
    texture = tex.Texture;
  }

  int32_t i = FindTriangle(Alpha1, Color1, X1, Y1, X2, Y2, X3, Y3, Filled);
  if (i == -1) {
    i = AddTriangle(Alpha1, Color1, X1, Y1, X2, Y2, X3, Y3, Filled, Alpha2, Alpha3, Color2,
                    Color3, si >= 0 ? SurfaceName : std::string(), U1, V1, U2, V2, U3, V3);
  }
  if (i == -1) {
    EndClip();
    return;
  }

  D3DXMATRIX world, factor;
  D3DXMatrixIdentity(&world);
  for (auto g = GroupStack.rbegin(); g != GroupStack.rend(); ++g) {
    if (g->ScaleX != 1 || g->ScaleY != 1) {
      D3DXMatrixScaling(&factor, static_cast<float>(g->ScaleX), static_cast<float>(g->ScaleY),
                        0);
      D3DXMatrixMultiply(&world, &world, &factor);
    }
    if (g->X != 0 || g->Y != 0) {
      D3DXMatrixTranslation(&factor, static_cast<float>(g->X), static_cast<float>(g->Y), 0);
      D3DXMatrixMultiply(&world, &world, &factor);
    }
  }

  IDirect3DDevice9* dev = g_pd3dDevice;
  dev->SetTransform(D3DTS_WORLD, &world);
  dev->SetTexture(0, texture);
  dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
  dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  dev->SetFVF(kSurfaceFVF);
  dev->SetStreamSource(0, Triangles[i].VB, 0, sizeof(SurfaceVertex));
  SetDiffuseStage();
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  if (Filled) {
    if (BlendMode == 1) dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    dev->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 1);
  } else {
    // Unfilled: the one segment from the first corner to the second.
    dev->DrawPrimitive(D3DPT_LINESTRIP, 0, 1);
  }
  if (si >= 0) {
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  }

  D3DXMatrixIdentity(&world);
  dev->SetTransform(D3DTS_WORLD, &world);
  ClearTriangles();
  EndClip();
}

void TKeshSurfaceEngine3D::DrawFontText(const char* Text, ID3DXFont* FontArg, int32_t X,
                                        int32_t Y, uint32_t Color) {
  if (!FontArg || !Text || !g_pd3dDevice) return;
  double fx = 1, fy = 1;
  if (TextScale(fx, fy)) {
    const auto scaled = [](int32_t v, double f) {
      return static_cast<int32_t>(std::clamp(std::nearbyint(v * f), double(INT32_MIN), double(INT32_MAX)));
    };
    X = scaled(X, fx);
    Y = scaled(Y, fy);
  }
  RECT r{X, Y, 0, 0};
  FontArg->DrawTextA(nullptr, Text, -1, &r, DT_NOCLIP, Color);
}

bool TKeshSurfaceEngine3D::TextScale(double& fx, double& fy) const {
  fx = fy = 1;
  // Before the first device every size is 0: nothing to scale.
  if (!FullScreen || InitWidth <= 0 || InitHeight <= 0 || BackBufferWidth <= 0 || BackBufferHeight <= 0)
    return false;
  fx = static_cast<double>(BackBufferWidth) / InitWidth;
  fy = static_cast<double>(BackBufferHeight) / InitHeight;
  return fx != 1 || fy != 1;
}
