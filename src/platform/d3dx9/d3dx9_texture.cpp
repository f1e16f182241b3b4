// Textures from picture files: decode (d3dx9_image.h), convert to the requested format, and
// write level 0 of a new device texture through LockRect.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <new>
#include <vector>

#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/d3dx9_image.h"
#include "platform/win32/win32_files.h"

namespace platform::d3dx9 {
namespace {

// A picture file larger than this is refused before it is read; every picture within the
// texel limits compresses to far less.
constexpr uint64_t kMaxImageFileBytes = 512ull * 1024 * 1024;

thread_local std::string t_lastError;

std::atomic<uint64_t> g_decoded{0};

// Length and a 64-bit digest of picture bytes; taking it costs a small part of a decode.
struct BytesKey {
  uint64_t size;
  uint64_t digest;
  bool operator==(const BytesKey&) const = default;
};

BytesKey KeyOf(const uint8_t* bytes, size_t size) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ size;
  auto mix = [&h](uint64_t word) {
    h ^= word;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  };
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    mix(word);
  }
  uint64_t tail = 0;
  std::memcpy(&tail, bytes + i, size - i);
  mix(tail);
  return {size, h};
}

// The bytes that failed to decode most recently, with their reasons.
class RefusedPictures {
public:
  bool Find(const BytesKey& key, std::string& reason) {
    std::lock_guard lock(mutex_);
    for (const auto& [k, r] : entries_) {
      if (k == key) {
        reason = r;
        return true;
      }
    }
    return false;
  }
  void Add(const BytesKey& key, const std::string& reason) {
    std::lock_guard lock(mutex_);
    if (entries_.size() == kKept) entries_.pop_front();
    entries_.emplace_back(key, reason);
  }

private:
  static constexpr size_t kKept = 256;
  std::mutex mutex_;
  std::deque<std::pair<BytesKey, std::string>> entries_;
};

RefusedPictures g_refused;

bool DecodeOnce(const uint8_t* bytes, size_t size, DecodedImage& image, std::string& error) {
  const BytesKey key = KeyOf(bytes, size);
  if (g_refused.Find(key, error)) return false;
  ++g_decoded;
  if (DecodeImage(bytes, size, image, error)) return true;
  g_refused.Add(key, error);
  return false;
}

HRESULT Fail(HRESULT hr, std::string reason) {
  t_lastError = std::move(reason);
  return hr;
}

// Requests this stand-in does not carry out are programming errors of the caller, not bad
// data, so they are said out loud.
HRESULT Unsupported(const char* call, const std::string& what) {
  std::fprintf(stderr, "%s: %s is not supported\n", call, what.c_str());
  return Fail(win32::E_NOTIMPL, what + " is not supported");
}

uint16_t ToA4R4G4B4(uint32_t argb) {
  auto q = [argb](int shift) {
    return static_cast<uint16_t>((((argb >> shift) & 0xFF) * 15 + 127) / 255);
  };
  return static_cast<uint16_t>(q(24) << 12 | q(16) << 8 | q(8) << 4 | q(0));
}

void WriteTexels(const DecodedImage& image, D3DFORMAT format, const d3d9::D3DLOCKED_RECT& lock) {
  auto* base = static_cast<uint8_t*>(lock.pBits);
  for (uint32_t y = 0; y < image.height; ++y) {
    const uint32_t* source = image.texels.data() + size_t{y} * image.width;
    uint8_t* row = base + static_cast<ptrdiff_t>(y) * lock.Pitch;
    if (format == d3d9::D3DFMT_A4R4G4B4) {
      auto* out = reinterpret_cast<uint16_t*>(row);
      for (uint32_t x = 0; x < image.width; ++x) out[x] = ToA4R4G4B4(source[x]);
    } else {
      auto* out = reinterpret_cast<uint32_t*>(row);
      const uint32_t forceAlpha = format == d3d9::D3DFMT_X8R8G8B8 ? 0xFF000000u : 0;
      for (uint32_t x = 0; x < image.width; ++x) out[x] = source[x] | forceAlpha;
    }
  }
}

bool SizeMatches(UINT requested, uint32_t actual) {
  return requested == 0 || requested == D3DX_DEFAULT || requested == D3DX_DEFAULT_NONPOW2 ||
         requested == D3DX_FROM_FILE || requested == actual;
}

HRESULT CreateFromMemory(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                         UINT width, UINT height, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                         D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                         IDirect3DTexture9** texture, const char* call) {
  if (texture != nullptr) *texture = nullptr;
  if (device == nullptr || srcData == nullptr || srcDataSize == 0 || texture == nullptr) {
    return Fail(d3d9::D3DERR_INVALIDCALL, "missing device, data or result pointer");
  }
  if (format != d3d9::D3DFMT_UNKNOWN && format != d3d9::D3DFMT_A8R8G8B8 &&
      format != d3d9::D3DFMT_X8R8G8B8 && format != d3d9::D3DFMT_A4R4G4B4) {
    return Unsupported(call, "texture format " + std::to_string(format));
  }
  if (colorKey != 0) return Unsupported(call, "a colour key");
  if (palette != nullptr) return Unsupported(call, "a palette");

  DecodedImage image;
  std::string error;
  if (!DecodeOnce(static_cast<const uint8_t*>(srcData), srcDataSize, image, error)) {
    return Fail(D3DXERR_INVALIDDATA, error);
  }
  if (!SizeMatches(width, image.width) || !SizeMatches(height, image.height)) {
    return Unsupported(call, "scaling a " + std::to_string(image.width) + "x" +
                                 std::to_string(image.height) + " picture to " +
                                 std::to_string(width) + "x" + std::to_string(height));
  }
  if (srcInfo != nullptr) {
    *srcInfo = D3DXIMAGE_INFO{image.width,
                              image.height,
                              1,
                              1,
                              image.hasAlpha ? d3d9::D3DFMT_A8R8G8B8 : d3d9::D3DFMT_X8R8G8B8,
                              d3d9::D3DRTYPE_TEXTURE,
                              image.format == ImageFileFormat::Png ? D3DXIFF_PNG : D3DXIFF_JPG};
  }

  const D3DFORMAT textureFormat = format == d3d9::D3DFMT_UNKNOWN ? d3d9::D3DFMT_A8R8G8B8 : format;
  IDirect3DTexture9* created = nullptr;
  HRESULT hr = device->CreateTexture(image.width, image.height, 1, usage, textureFormat, pool,
                                     &created, nullptr);
  if (win32::FAILED(hr) || created == nullptr) {
    return Fail(win32::FAILED(hr) ? hr : win32::E_FAIL, "the device could not create the texture");
  }
  d3d9::D3DLOCKED_RECT lock{};
  hr = created->LockRect(0, &lock, nullptr, 0);
  if (win32::FAILED(hr) || lock.pBits == nullptr) {
    created->Release();
    return Fail(win32::FAILED(hr) ? hr : win32::E_FAIL, "the texture could not be locked");
  }
  WriteTexels(image, textureFormat, lock);
  created->UnlockRect(0);
  *texture = created;
  t_lastError.clear();
  return d3d9::D3D_OK;
}

}  // namespace

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* srcData,
                                            UINT srcDataSize, UINT width, UINT height,
                                            UINT /*mipLevels*/, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD /*filter*/, DWORD /*mipFilter*/,
                                            D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                            PALETTEENTRY* palette, IDirect3DTexture9** texture) {
  try {
    return CreateFromMemory(device, srcData, srcDataSize, width, height, usage, format, pool,
                            colorKey, srcInfo, palette, texture,
                            "D3DXCreateTextureFromFileInMemoryEx");
  } catch (const std::bad_alloc&) {
    return Fail(win32::E_OUTOFMEMORY, "out of memory");
  }
}

HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device, const void* srcData,
                                          UINT srcDataSize, IDirect3DTexture9** texture) {
  try {
    return CreateFromMemory(device, srcData, srcDataSize, 0, 0, 0, d3d9::D3DFMT_UNKNOWN,
                            d3d9::D3DPOOL_MANAGED, 0, nullptr, nullptr, texture,
                            "D3DXCreateTextureFromFileInMemory");
  } catch (const std::bad_alloc&) {
    return Fail(win32::E_OUTOFMEMORY, "out of memory");
  }
}

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* device, const char* srcFile,
                                   IDirect3DTexture9** texture) {
  if (texture != nullptr) *texture = nullptr;
  if (device == nullptr || srcFile == nullptr || texture == nullptr) {
    return Fail(d3d9::D3DERR_INVALIDCALL, "missing device, file name or result pointer");
  }
  try {
    const std::string path = win32::MapPath(srcFile);
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) return Fail(d3d9::D3DERR_NOTFOUND, "cannot open " + path);
    const std::streamoff size = file.tellg();
    if (size <= 0) return Fail(D3DXERR_INVALIDDATA, "empty or unreadable file " + path);
    if (static_cast<uint64_t>(size) > kMaxImageFileBytes) {
      return Fail(D3DXERR_INVALIDDATA, "file too large: " + path);
    }
    std::vector<char> bytes(static_cast<size_t>(size));
    file.seekg(0);
    if (!file.read(bytes.data(), size)) return Fail(D3DXERR_INVALIDDATA, "cannot read " + path);
    return CreateFromMemory(device, bytes.data(), static_cast<UINT>(bytes.size()), 0, 0, 0,
                            d3d9::D3DFMT_UNKNOWN, d3d9::D3DPOOL_MANAGED, 0, nullptr, nullptr,
                            texture, "D3DXCreateTextureFromFileA");
  } catch (const std::bad_alloc&) {
    return Fail(win32::E_OUTOFMEMORY, "out of memory");
  }
}

std::string LastTextureError() { return t_lastError; }

uint64_t seam::PicturesDecoded() { return g_decoded.load(); }

}  // namespace platform::d3dx9
