// The D3DX 9 utilities the system calls, over the software Direct3D 9 device (d3d9.h):
// textures from PNG and JPEG files or bytes, the text font, and the 4 x 4 matrix helpers.
// Everything lives in namespace platform::d3dx9, beside platform::d3d9 whose types it uses.
//
// Textures
//   - The picture is decoded by its signature (PNG or JPEG, whatever the file is called) and
//     kept at the file's own size: no rounding to a power of two, no scaling. Only level 0 is
//     made, because the device samples nothing else.
//   - Format D3DFMT_UNKNOWN (0) and A8R8G8B8 give A8R8G8B8 texels; pictures without alpha
//     (JPEG, PNG without alpha channel or transparency) get alpha 255, so that texel tests that
//     read alpha see them as solid. X8R8G8B8 stores 255 in the unused byte. A4R4G4B4 quantises
//     each channel with rounding, (v * 15 + 127) / 255.
//   - Damaged, truncated, unknown or oversized pictures (more than kMaxImageSide texels on a
//     side or kMaxImagePixels in all) fail with D3DXERR_INVALIDDATA and create nothing.
//   - Colour keys, scaling to another size and other formats are not offered: such requests
//     fail with E_NOTIMPL and a line on standard error naming the call.
//
// Font
//   - D3DXCreateFontW ignores the face name: every font is DejaVu Sans (Bold for weights of
//     600 and more), found in the standard font folders and drawn through FreeType with a cache
//     of rendered glyphs. A positive height is the cell height (ascent plus descent) in pixels,
//     a negative one the character height, as for Windows fonts; a nonzero width is the average
//     character width, the glyphs stretched or narrowed to it (0 keeps the face's proportions).
//     Italic, character set, precision, quality and pitch are not applied.
//   - ID3DXFont::DrawTextA draws into the device's render target in back-buffer pixels, with
//     the rectangle's left/top as the top-left of the first line (DT_LEFT | DT_TOP). Bytes are
//     Windows-1252 characters; "\n" starts a new line, other control characters and the five
//     undefined code points draw nothing. Without DT_NOCLIP the text is clipped to the
//     rectangle. No sprite is supported (the argument must be null). Other format flags are
//     ignored. The result is the height of the text drawn, 0 for no text.
//
// Matrices: row-vector convention (v' = v * M), D3DXMATRIX is the device's D3DMATRIX; the
// output may be one of the inputs.
#pragma once

#include <cstdint>
#include <string>

#include "platform/d3d9/d3d9.h"

namespace platform::d3dx9 {

using d3d9::BOOL;
using d3d9::D3DCOLOR;
using d3d9::D3DFORMAT;
using d3d9::D3DPOOL;
using d3d9::D3DRESOURCETYPE;
using d3d9::DWORD;
using d3d9::HRESULT;
using d3d9::IDirect3DDevice9;
using d3d9::IDirect3DTexture9;
using d3d9::INT;
using d3d9::RECT;
using d3d9::UINT;
using win32::WCHAR;

using D3DXMATRIX = d3d9::D3DMATRIX;

constexpr HRESULT D3DXERR_INVALIDDATA = static_cast<HRESULT>(0x88760B59u);

// Size and level arguments.
constexpr UINT D3DX_DEFAULT = 0xFFFFFFFFu;
constexpr UINT D3DX_DEFAULT_NONPOW2 = 0xFFFFFFFEu;
constexpr UINT D3DX_FROM_FILE = 0xFFFFFFFDu;

// Filter arguments (accepted and not needed: pictures are never scaled).
constexpr DWORD D3DX_FILTER_NONE = 1;
constexpr DWORD D3DX_FILTER_POINT = 2;
constexpr DWORD D3DX_FILTER_LINEAR = 3;
constexpr DWORD D3DX_FILTER_TRIANGLE = 4;
constexpr DWORD D3DX_FILTER_BOX = 5;

enum D3DXIMAGE_FILEFORMAT : uint32_t {
  D3DXIFF_BMP = 0,
  D3DXIFF_JPG = 1,
  D3DXIFF_TGA = 2,
  D3DXIFF_PNG = 3,
  D3DXIFF_DDS = 4,
};

struct D3DXIMAGE_INFO {
  UINT Width;
  UINT Height;
  UINT Depth;
  UINT MipLevels;
  D3DFORMAT Format;  // of the file: A8R8G8B8 with alpha, X8R8G8B8 without
  D3DRESOURCETYPE ResourceType;
  D3DXIMAGE_FILEFORMAT ImageFileFormat;
};

struct PALETTEENTRY;  // palettised texture formats are not offered; pass null

// srcFile is a Windows path text (mapped by the win32 file layer).
HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* device, const char* srcFile,
                                   IDirect3DTexture9** texture);
HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device, const void* srcData,
                                          UINT srcDataSize, IDirect3DTexture9** texture);
// width/height 0, D3DX_DEFAULT, D3DX_DEFAULT_NONPOW2, D3DX_FROM_FILE or the file's own size;
// format 0, A8R8G8B8, X8R8G8B8 or A4R4G4B4; colorKey 0. srcInfo, when given, receives the
// file's description.
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* srcData,
                                            UINT srcDataSize, UINT width, UINT height,
                                            UINT mipLevels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                            D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                            PALETTEENTRY* palette, IDirect3DTexture9** texture);

// Why the last texture call of this thread failed ("" after a success), for tests and logs.
std::string LastTextureError();

// Picture bytes that failed to decode are remembered (by length and digest) and refused again
// with the same reason without being decoded: a damaged texture is otherwise decoded afresh on
// every draw that tries to reload it.
namespace seam {
uint64_t PicturesDecoded();  // decoder runs so far in this process
}

// ---- Font ------------------------------------------------------------------------------------

constexpr DWORD DT_TOP = 0x000;
constexpr DWORD DT_LEFT = 0x000;
constexpr DWORD DT_CENTER = 0x001;
constexpr DWORD DT_RIGHT = 0x002;
constexpr DWORD DT_VCENTER = 0x004;
constexpr DWORD DT_BOTTOM = 0x008;
constexpr DWORD DT_WORDBREAK = 0x010;
constexpr DWORD DT_SINGLELINE = 0x020;
constexpr DWORD DT_NOCLIP = 0x100;

constexpr UINT FW_NORMAL = 400;
constexpr UINT FW_BOLD = 700;
constexpr DWORD DEFAULT_CHARSET = 1;
constexpr DWORD OUT_DEFAULT_PRECIS = 0;
constexpr DWORD DEFAULT_QUALITY = 0;
constexpr DWORD DEFAULT_PITCH = 0;

struct ID3DXSprite;  // not offered: text goes straight to the render target

// The measures of a font in pixels (the members the system reads).
struct TEXTMETRICA {
  INT tmHeight = 0;  // the cell: ascent plus descent
  INT tmAscent = 0;
  INT tmDescent = 0;
  INT tmAveCharWidth = 0;
};

class ID3DXFont : public d3d9::IUnknown {
 public:
  // count -1: up to the terminating zero. Returns the height of the text in pixels.
  virtual INT DrawTextA(ID3DXSprite* sprite, const char* text, INT count, RECT* rect, DWORD format,
                        D3DCOLOR color) = 0;
  virtual HRESULT GetTextMetricsA(TEXTMETRICA* metrics) = 0;
};

// Fails with D3DERR_NOTAVAILABLE when no DejaVu Sans file is installed.
HRESULT D3DXCreateFontW(IDirect3DDevice9* device, INT height, UINT width, UINT weight,
                        UINT mipLevels, BOOL italic, DWORD charSet, DWORD outputPrecision,
                        DWORD quality, DWORD pitchAndFamily, const WCHAR* faceName,
                        ID3DXFont** font);

// ---- Matrices --------------------------------------------------------------------------------

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out);
D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, float left, float right, float bottom,
                                       float top, float zNear, float zFar);
// angle in radians; positive turns +x towards +y.
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z);
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz);
// out = m1 * m2: m1 applies first.
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2);

}  // namespace platform::d3dx9
