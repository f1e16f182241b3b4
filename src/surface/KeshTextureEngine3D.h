// The surface engine: the 2-D renderer of the system on one Direct3D 9 device.
//
// A texture is one picture file loaded as a Direct3D texture; a surface is a named rectangle of a
// texture with its own four-vertex buffer, drawn by name. The engine creates, resets and
// re-creates its device itself (InitD3D), keeps the store of textures and surfaces, and draws
// textured quads (Draw), untextured lines and rectangles, triangles and text, transformed by the
// game host's group stack and clipped by its clip stack (game/GroupStack.h).
//
// The fields are public: the game host and the application frame read and write them. Every
// device object of the engine (textures, vertex buffers, font) is released by each InitD3D while a
// device exists, and textures come back on demand at their next Draw. Without a device nothing is
// created or drawn: no call ever reaches a missing device.
//
// Files: _store.cpp (records, texture and surface store), _device.cpp (device creation, reset,
// display-mode search, fixed states), _draw.cpp (surface quads), _lines.cpp (lines, triangles,
// text). Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/KeshHash.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9.h"
#include "runtime/Streams.h"

// The one vertex layout of the engine: position, diffuse colour, one texture coordinate pair.
struct SurfaceVertex {
  float x, y, z;
  uint32_t color;  // D3DCOLOR: bytes in memory blue, green, red, alpha
  float u, v;
};
static_assert(sizeof(SurfaceVertex) == 24);

constexpr uint32_t kSurfaceFVF = 0x142;  // D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1

// One named surface: a rectangle of a texture with its own vertex buffer.
struct TKeshSurface {
  std::string Name;
  uint8_t A = 255, B = 255, G = 255, R = 255;  // vertex alpha and colour as last set
  std::string TextureName;
  int32_t TextureIndex = -1;
  int32_t SrcLeft = 0, SrcTop = 0, SrcRight = 0, SrcBottom = 0;  // texels inside the texture
  int32_t Width = 0, Height = 0;  // drawn size before scaling
  platform::d3d9::IDirect3DVertexBuffer9* VB = nullptr;  // 4 vertices, managed pool
  uint8_t ColorPower = 0;  // 0 means full (255)
  int32_t Color = 0xFFFFFF;
  uint8_t VBReady = 0;
  uint8_t Rotated = 0;  // stored in the texture turned 90 degrees clockwise
  double GroupScaleX = 1, GroupScaleY = 1;
};

// One picture file. The record is never removed once added; only its Direct3D texture is.
struct TTexture {
  std::string Name;  // file name
  platform::d3d9::IDirect3DTexture9* Texture = nullptr;
  std::unique_ptr<rtl::TMemoryStream> Data;  // kept file bytes, or none
  uint8_t Loaded = 0;
  int32_t Width = 1, Height = 1;  // level-0 size; 1 x 1 without a texture
  // The path text the file was first read from ("" while it was found nowhere), so that a reload
  // after a device re-creation reads the same file again.
  std::string SourcePath;
  int32_t Format = 0;  // the D3DFORMAT it was last created with, 0 = as in the file
  std::string LoadError;  // why its picture could not be read, as last logged ("" when it could)
};

// Line cache record. VB holds 2 vertices (segment) or 4 (filled rectangle, drawn as a fan).
struct TLine {
  std::string Name;
  double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  uint8_t Alpha = 0;
  int32_t Color = 0;
  platform::d3d9::IDirect3DVertexBuffer9* VB = nullptr;
  uint8_t Filled = 0;
};

// Triangle record; the list lives for one DrawTriangle call.
struct TTriangle {
  std::string Name;
  double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0, X3 = 0, Y3 = 0;
  uint8_t Alpha1 = 0, Alpha2 = 0, Alpha3 = 0;
  int32_t Color1 = 0, Color2 = 0, Color3 = 0;
  std::string SurfaceName;
  platform::d3d9::IDirect3DVertexBuffer9* VB = nullptr;
  uint8_t Filled = 0;
};

struct TDisplayMode {
  uint32_t Width = 0, Height = 0, RefreshRate = 0;
  platform::d3d9::D3DFORMAT Format = platform::d3d9::D3DFMT_UNKNOWN;
};

struct TIntSize {
  int32_t width = 0, height = 0;
};

// Optional source sub-rectangle of Draw: left, top, right, bottom in texels, relative to the
// surface's own top-left corner.
struct TSurfaceOffsets {
  double a[4];
};

// The world matrix of a surface draw: the pivot (Px, Py) to the origin, the rotation (degrees),
// the scale, back from the pivot, the position, then the groups of GroupStack from the innermost
// out. GroupScaled is set when a group scales. The floats are those of the same chain of D3DX
// matrix calls.
platform::d3dx9::D3DXMATRIX SurfaceWorldMatrix(double Px, double Py, double Angle, double ScaleX,
                                              double ScaleY, double X, double Y,
                                              bool& GroupScaled);

class TKeshSurfaceEngine3D {
public:
  TKeshSurfaceEngine3D(int32_t screenWidth, int32_t screenHeight, bool fullScreen,
                       int32_t sizeOverrideX, int32_t sizeOverrideY, int32_t width,
                       int32_t height, const std::string& dataPath);
  virtual ~TKeshSurfaceEngine3D();
  TKeshSurfaceEngine3D(const TKeshSurfaceEngine3D&) = delete;
  TKeshSurfaceEngine3D& operator=(const TKeshSurfaceEngine3D&) = delete;

  // --- store (KeshTextureEngine3D_store.cpp)
  // Adds surface Name cut from TextureFile (rect in texels: left, top, right, bottom). An
  // existing name returns at once. Format: 0 = as in the file, else a D3DFORMAT.
  void CreateSufaceFromTexture(const std::string& Name, const std::string& TextureFile,
                               const platform::win32::RECT& Rect, bool LoadNow, bool Rotated,
                               int32_t Format, bool FreeData);
  // Reads "Textures\" + FileName into a new texture record; no Direct3D texture is made.
  void PreloadTexture(const std::string& FileName);
  int32_t IndexOfSurface(const std::string& Name) const;
  int32_t IndexOfTexture(const std::string& FileName) const;
  // Leaves Size alone when the surface does not exist.
  void GetSurfaceSize(const std::string& Name, TIntSize& Size) const;
  void DeleteSurface(const std::string& Name);

  // --- device (KeshTextureEngine3D_device.cpp)
  // 0 on success, E_FAIL on any failure. Windowed is set true when not in full-screen mode.
  int32_t InitD3D(platform::win32::HWND hWnd, int32_t Width, int32_t Height, bool& Windowed);
  // The arguments only appear in the first log line; the sizes come from the fields.
  void SetDeviceParams(int32_t Width, int32_t Height);
  int32_t BuildDeviceList();
  static std::string FormatToString(int32_t Format);

  // --- drawing (KeshTextureEngine3D_draw.cpp)
  // Angle in degrees; Color 0xRRGGBB; OutputMode 0 tint, 1 additive, 2 modulate; TransX/TransY
  // the pivot in the picture's own pixels, (-1, -1) its centre. GroupX, GroupY, GroupCX, GroupCY
  // are not used.
  void Draw(const std::string& Name, uint8_t Alpha, double X, double Y, double Angle,
            double ScaleX, double ScaleY, int32_t Color, uint8_t ColorPower, uint8_t OutputMode,
            const TSurfaceOffsets* RectPtr, double GroupX, double GroupY, double GroupScaleX,
            double GroupScaleY, double TransX, double TransY, bool Filter, double GroupCX,
            double GroupCY);
  // Writes the four vertices; false when Lock or Unlock failed.
  bool SetVBForSurfaces(TKeshSurface& Surface, const TSurfaceOffsets* Offsets);
  void DrawSurface(TKeshSurface& Surface, int32_t Color, double X, double Y, double Angle,
                   double ScaleX, double ScaleY, uint8_t ColorPower, uint8_t OutputMode,
                   const TSurfaceOffsets* RectPtr, double TransX, double TransY, bool Filter);

  // --- lines, triangles, text (KeshTextureEngine3D_lines.cpp)
  // Not filled: the segment; filled: the axis-aligned rectangle with these opposite corners.
  void DrawLine(uint8_t Alpha, int32_t Color, double X1, double Y1, double X2, double Y2,
                bool Filled);
  // U, V in the named surface's pixels; an empty or unknown SurfaceName draws untextured.
  // BlendMode 1 is additive. Not filled: the segment from the first corner to the second.
  void DrawTriangle(uint8_t Alpha1, int32_t Color1, double X1, double Y1, double X2, double Y2,
                    double X3, double Y3, bool Filled, uint8_t Alpha2, uint8_t Alpha3,
                    int32_t Color2, int32_t Color3, const std::string& SurfaceName, double U1,
                    double V1, double U2, double V2, double U3, double V3, int32_t BlendMode);
  // X, Y in logical pixels; in full screen they follow the projection's scale (TextScale).
  void DrawFontText(const char* Text, platform::d3dx9::ID3DXFont* Font, int32_t X, int32_t Y,
                    uint32_t Color);
  // Text is drawn in back-buffer pixels, so in full screen, where the projection stretches the
  // logical size over the back buffer, its place and its glyphs take the same factors: back
  // buffer over InitWidth x InitHeight. False, with 1 and 1, where there is nothing to scale.
  bool TextScale(double& fx, double& fy) const;
  int32_t FindLine(uint8_t Alpha, int32_t Color, double X1, double Y1, double X2, double Y2,
                   bool Filled) const;
  // The new entry's index, or -1 when its vertex buffer could not be made.
  int32_t AddLine(uint8_t Alpha, int32_t Color, double X1, double Y1, double X2, double Y2,
                  bool Filled);
  int32_t FindTriangle(uint8_t Alpha1, int32_t Color1, double X1, double Y1, double X2,
                       double Y2, double X3, double Y3, bool Filled) const;
  int32_t AddTriangle(uint8_t Alpha1, int32_t Color1, double X1, double Y1, double X2, double Y2,
                      double X3, double Y3, bool Filled, uint8_t Alpha2, uint8_t Alpha3,
                      int32_t Color2, int32_t Color3, const std::string& SurfaceName, double U1,
                      double V1, double U2, double V2, double U3, double V3);

  // The line cache is emptied when it would pass this many entries, so values that change every
  // frame cannot grow it without bound.
  static constexpr std::size_t kMaxCachedLines = 4096;

  // --- fields (read and written by other subsystems)
  TKeshHash SurfaceIndex;
  TKeshHash TextureIndex;
  int32_t SizeOverrideX = 0, SizeOverrideY = 0;
  int32_t Width = 0, Height = 0;  // logical drawing size
  TIntSize FullScreenSize;        // 0 = the screen size at the next InitD3D
  int32_t LogicalWidth = 0, LogicalHeight = 0;
  int32_t SystemWidth = 0, SystemHeight = 0;
  int32_t InitWidth = 0, InitHeight = 0;
  std::vector<TTriangle> Triangles;
  std::vector<TLine> Lines;
  std::vector<TKeshSurface> Surfaces;
  std::vector<TTexture> Textures;
  int32_t BackBufferWidth = 0, BackBufferHeight = 0;
  int32_t ScreenWidth = 0, ScreenHeight = 0;
  platform::d3d9::IDirect3D9* D3D = nullptr;
  platform::d3d9::IDirect3DDevice9* g_pd3dDevice = nullptr;
  TDisplayMode d3ddm;
  std::vector<TDisplayMode> DisplayModes;
  platform::d3d9::D3DPRESENT_PARAMETERS PresentParams{};
  platform::win32::HWND hWnd = nullptr;
  bool FullScreen = false;
  platform::d3dx9::ID3DXFont* Font = nullptr;
  int32_t FilterMode = 0;  // 0 none, 1 point, 2 linear, 3 anisotropic
  int32_t MaxAnisotropy = 1;
  bool PreLoadInMemory = true;
  uint64_t VideoMemory = 0;  // bytes of local video memory
  bool ForceLinearFilter = false;
  double ScaleX = 1, ScaleY = 1;  // projection size / screen size
  std::string DataPath;

private:
  // Loads the texture's file bytes into a new Data stream from its source path (or, for a
  // texture whose file was found nowhere, from Path when that file exists now).
  void LoadTextureData(TTexture& t, const std::string& path);
  bool CreateTextureFromData(TTexture& t, int32_t format);
  bool CreateTextureFromFile(TTexture& t, const std::string& path);
  // A creation from path failed: when its bytes were no picture, say why (once while the
  // reason stays the same).
  void ReportUnreadable(TTexture& t, platform::win32::HRESULT hr, const std::string& path);
  void ReadTextureSize(TTexture& t);
  // Reload on demand, run by Draw; true when the texture is loaded afterwards.
  bool ReloadTexture(TTexture& t);
  platform::d3d9::IDirect3DVertexBuffer9* CreateVB(uint32_t bytes);
  void ReleaseDeviceResources();
  // The engine's 20-pixel bold font, made at the text's scale.
  void CreateFont();
  // Sets the scissor rectangle of the clip in force; false when its intersection is empty (the
  // caller then draws nothing).
  bool BeginClip();
  void EndClip();
  // The colour stage of untextured drawing: diffuse alone (no texture bound reads as white).
  void SetDiffuseStage();
  void ClearLineCache();
  void ClearTriangles();

  struct LineKey {
    double X1, Y1, X2, Y2;
    int32_t Color;
    uint8_t Alpha, Filled;
    bool operator==(const LineKey&) const = default;
  };
  struct LineKeyHash {
    std::size_t operator()(const LineKey& k) const;
  };
  std::unordered_map<LineKey, int32_t, LineKeyHash> LineIndex;
};
