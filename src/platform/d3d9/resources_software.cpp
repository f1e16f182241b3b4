// Vertex buffers and textures of the software device: plain memory, reference counted.
// Textures keep level 0 only, in their own format, so LockRect shows the real texels and pitch.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/d3d9/device_software.h"

namespace platform::d3d9 {

int BytesPerTexel(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8: return 4;
    case D3DFMT_A4R4G4B4: return 2;
    default: return 0;
  }
}

void TexelStore::Rewiden() {
  if (format == D3DFMT_A4R4G4B4) {
    widened.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = bits.data() + static_cast<size_t>(y) * pitch;
      uint32_t* out = widened.data() + static_cast<size_t>(y) * width;
      for (int x = 0; x < width; ++x) {
        const uint32_t t = row[2 * x] | (row[2 * x + 1] << 8);
        // Each 4-bit channel c widens to c * 17, so 0xF is 255 and 0x8 is 136.
        out[x] = (((t >> 12) & 0xF) * 17u) << 24 | (((t >> 8) & 0xF) * 17u) << 16 |
                 (((t >> 4) & 0xF) * 17u) << 8 | ((t & 0xF) * 17u);
      }
    }
  }
  clear_tiles.clear();
  tiles_w = tiles_h = 0;
  all_opaque = opaque_format;
  if (all_opaque) return;
  // Stops at the first texel that is not opaque, so textures with alpha pay little here.
  const uint32_t* t = Argb();
  const size_t n = static_cast<size_t>(width) * height;
  size_t i = 0;
  while (i < n && (t[i] >> 24) == 0xFF) ++i;
  all_opaque = i == n;
  if (all_opaque) return;
  tiles_w = (width + 7) / 8;
  tiles_h = (height + 7) / 8;
  const size_t stride = static_cast<size_t>(tiles_w) + 1;
  clear_tiles.assign(stride * (tiles_h + 1), 0);
  for (int y = 0; y < height; ++y) {
    const uint32_t* row = t + static_cast<size_t>(y) * width;
    uint32_t* tiles = clear_tiles.data() + (y / 8 + 1) * stride + 1;
    for (int x = 0; x < width; ++x)
      if ((row[x] >> 24) != 0xFF) tiles[x / 8] = 1;
  }
  for (int ty = 1; ty <= tiles_h; ++ty)
    for (int tx = 1; tx <= tiles_w; ++tx)
      clear_tiles[ty * stride + tx] += clear_tiles[ty * stride + tx - 1] +
                                       clear_tiles[(ty - 1) * stride + tx] -
                                       clear_tiles[(ty - 1) * stride + tx - 1];
}

bool TexelStore::RegionOpaque(int64_t x_lo, int64_t x_hi, int64_t y_lo, int64_t y_hi) const {
  if (all_opaque) return true;
  if (clear_tiles.empty() || x_hi < x_lo || y_hi < y_lo || x_hi - x_lo >= width ||
      y_hi - y_lo >= height)
    return false;
  const size_t stride = static_cast<size_t>(tiles_w) + 1;
  const auto clear = [&](int x0, int x1, int y0, int y1) {  // inclusive, inside the texture
    const int tx0 = x0 / 8, tx1 = x1 / 8 + 1, ty0 = y0 / 8, ty1 = y1 / 8 + 1;
    return clear_tiles[ty1 * stride + tx1] - clear_tiles[ty0 * stride + tx1] -
           clear_tiles[ty1 * stride + tx0] + clear_tiles[ty0 * stride + tx0];
  };
  const auto wrap = [](int64_t v, int n) {
    const int64_t r = v % n;
    return static_cast<int>(r < 0 ? r + n : r);
  };
  // A wrapped range is one or two ranges of the texture.
  const int x0 = wrap(x_lo, width), y0 = wrap(y_lo, height);
  const int x1 = x0 + static_cast<int>(x_hi - x_lo), y1 = y0 + static_cast<int>(y_hi - y_lo);
  int xs[2][2] = {{x0, std::min(x1, width - 1)}, {0, x1 - width}};
  int ys[2][2] = {{y0, std::min(y1, height - 1)}, {0, y1 - height}};
  for (auto& xr : xs)
    for (auto& yr : ys)
      if (xr[1] >= xr[0] && yr[1] >= yr[0] && clear(xr[0], xr[1], yr[0], yr[1]) != 0)
        return false;
  return true;
}

// ---- Vertex buffer ---------------------------------------------------------------------------

SoftwareVertexBuffer::SoftwareVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
    : data_(length, 0), usage_(usage), fvf_(fvf), pool_(pool) {}

ULONG SoftwareVertexBuffer::AddRef() { return ++refs_; }

ULONG SoftwareVertexBuffer::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT SoftwareVertexBuffer::Lock(UINT offset, UINT size, void** out, DWORD) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (offset > data_.size() || (size != 0 && size > data_.size() - offset))
    return D3DERR_INVALIDCALL;
  // Draws copy their vertices when issued, so rewriting the buffer never disturbs them.
  *out = data_.data() + offset;
  return D3D_OK;
}

HRESULT SoftwareVertexBuffer::Unlock() { return D3D_OK; }

HRESULT SoftwareVertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  *desc = {D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage_, pool_, Size(), fvf_};
  return D3D_OK;
}

// ---- Texture ---------------------------------------------------------------------------------

SoftwareTexture::SoftwareTexture(UINT width, UINT height, D3DFORMAT format, DWORD usage,
                                 D3DPOOL pool)
    : store_(std::make_shared<TexelStore>()), usage_(usage), pool_(pool) {
  TexelStore& s = *store_;
  s.width = static_cast<int>(width);
  s.height = static_cast<int>(height);
  s.format = format;
  s.pitch = s.width * BytesPerTexel(format);
  s.opaque_format = format == D3DFMT_X8R8G8B8;
  // 16-bit levels get room for 4 bytes a texel: the pixel test of the picture queries reads
  // every texture as 32-bit rows, and must not run off the end of a 16-bit one.
  const size_t bytes = static_cast<size_t>(s.width) * s.height * 4;
  s.bits.assign(bytes, 0);
  s.Rewiden();
}

ULONG SoftwareTexture::AddRef() { return ++refs_; }

ULONG SoftwareTexture::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT SoftwareTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (level != 0 || !desc) return D3DERR_INVALIDCALL;
  *desc = {store_->format, D3DRTYPE_SURFACE, usage_,
           pool_,          D3DMULTISAMPLE_NONE, 0,
           static_cast<UINT>(store_->width), static_cast<UINT>(store_->height)};
  return D3D_OK;
}

HRESULT SoftwareTexture::LockRect(UINT level, D3DLOCKED_RECT* out, const RECT* rect,
                                  DWORD flags) {
  if (level != 0 || !out || locked_) return D3DERR_INVALIDCALL;
  TexelStore& s = *store_;
  RECT r{0, 0, s.width, s.height};
  if (rect) {
    if (rect->left < 0 || rect->top < 0 || rect->right > s.width || rect->bottom > s.height ||
        rect->left >= rect->right || rect->top >= rect->bottom)
      return D3DERR_INVALIDCALL;
    r = *rect;
  }
  lock_read_only_ = (flags & D3DLOCK_READONLY) != 0;
  // Draws still waiting in a command list read this store: let them finish before it changes.
  if (!lock_read_only_ && store_.use_count() > 1) FlushAllDevices();
  locked_ = true;
  lock_rect_ = r;
  out->Pitch = s.pitch;
  out->pBits = s.bits.data() + static_cast<size_t>(r.top) * s.pitch +
               static_cast<size_t>(r.left) * BytesPerTexel(s.format);
  return D3D_OK;
}

HRESULT SoftwareTexture::UnlockRect(UINT level) {
  if (level != 0 || !locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  if (!lock_read_only_) store_->Rewiden();
  return D3D_OK;
}

}  // namespace platform::d3d9
