// The D3DX font: single-byte text laid out with a glyph cache and blended into the device's
// render target as coverage, glyph by glyph.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "platform/d3d9/d3d9_internal.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/d3dx9_glyph_cache.h"

namespace platform::d3dx9 {
namespace {

class SoftwareFont final : public ID3DXFont {
 public:
  SoftwareFont(IDirect3DDevice9* device, std::unique_ptr<GlyphCache> glyphs)
      : device_(device), glyphs_(std::move(glyphs)) {
    device_->AddRef();
  }

  d3d9::ULONG AddRef() override { return ++refs_; }
  d3d9::ULONG Release() override {
    const d3d9::ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  INT DrawTextA(ID3DXSprite* /*sprite*/, const char* text, INT count, RECT* rect, DWORD format,
                D3DCOLOR color) override {
    if (text == nullptr || rect == nullptr) return 0;
    // A count longer than the text stops at its terminating zero rather than reading past it.
    const size_t length = count < 0 ? std::strlen(text) : strnlen(text, static_cast<size_t>(count));
    if (length == 0) return 0;
    const bool clip = (format & DT_NOCLIP) == 0;
    // In 64 bits: a rectangle may stand anywhere in the int range, and the pen runs past it.
    int64_t penX = rect->left;
    int64_t baseline = int64_t{rect->top} + glyphs_->Ascent();
    int64_t lines = 1;
    for (size_t i = 0; i < length; ++i) {
      const auto byte = static_cast<uint8_t>(text[i]);
      if (byte == '\n') {
        penX = rect->left;
        baseline += glyphs_->LineHeight();
        ++lines;
        continue;
      }
      const char32_t codePoint = CodePointFromWindows1252(byte);
      if (codePoint < 0x20 || codePoint == 0x7F) continue;  // control or undefined: nothing
      const Glyph& glyph = glyphs_->Get(codePoint);
      Blend(glyph, penX + glyph.left, baseline - glyph.top, clip ? rect : nullptr, color);
      penX += glyph.advance;
    }
    return static_cast<INT>(std::min<int64_t>(lines * glyphs_->LineHeight(), INT32_MAX));
  }

  HRESULT GetTextMetricsA(TEXTMETRICA* metrics) override {
    if (metrics == nullptr) return d3d9::D3DERR_INVALIDCALL;
    metrics->tmHeight = glyphs_->LineHeight();
    metrics->tmAscent = glyphs_->Ascent();
    metrics->tmDescent = glyphs_->LineHeight() - glyphs_->Ascent();
    metrics->tmAveCharWidth = glyphs_->AverageWidth();
    return d3d9::D3D_OK;
  }

 private:
  ~SoftwareFont() override { device_->Release(); }

  // Without a clip rectangle the int range bounds the box: no render target reaches past it, and
  // the device's own clipping then works on values that do not overflow.
  void Blend(const Glyph& glyph, int64_t x, int64_t y, const RECT* clip, D3DCOLOR color) {
    const RECT bounds = clip != nullptr ? *clip : RECT{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    const int64_t left = std::max<int64_t>(x, bounds.left), top = std::max<int64_t>(y, bounds.top);
    const int64_t right = std::min<int64_t>(x + glyph.width, bounds.right);
    const int64_t bottom = std::min<int64_t>(y + glyph.height, bounds.bottom);
    if (left >= right || top >= bottom) return;
    const uint8_t* first = glyph.coverage.data() + size_t(top - y) * glyph.width + size_t(left - x);
    d3d9::BlendCoverage(device_, static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                        static_cast<int>(bottom - top), first, glyph.width, color);
  }

  d3d9::ULONG refs_ = 1;
  IDirect3DDevice9* device_;
  std::unique_ptr<GlyphCache> glyphs_;
};

}  // namespace

HRESULT D3DXCreateFontW(IDirect3DDevice9* device, INT height, UINT width, UINT weight,
                        UINT /*mipLevels*/, BOOL /*italic*/, DWORD /*charSet*/,
                        DWORD /*outputPrecision*/, DWORD /*quality*/, DWORD /*pitchAndFamily*/,
                        const WCHAR* /*faceName*/, ID3DXFont** font) {
  if (font != nullptr) *font = nullptr;
  if (device == nullptr || font == nullptr) return d3d9::D3DERR_INVALIDCALL;
  try {
    const std::string file = FindDejaVuSans(weight >= 600);
    if (file.empty()) return d3d9::D3DERR_NOTAVAILABLE;
    std::string error;
    std::unique_ptr<GlyphCache> glyphs = GlyphCache::Open(file, height, static_cast<int>(std::min<UINT>(width, INT32_MAX)), error);
    if (glyphs == nullptr) return d3d9::D3DERR_NOTAVAILABLE;
    *font = new SoftwareFont(device, std::move(glyphs));
    return d3d9::D3D_OK;
  } catch (const std::bad_alloc&) {
    return win32::E_OUTOFMEMORY;
  }
}

}  // namespace platform::d3dx9
