// The picture targets' shared body: one decoder on arbitrary bytes, then the public texture call
// that the surface engine makes, on a small software device made once per process. A picture
// that decodes must have the size it claims within the limits, and the texture made from the
// same bytes must have that size too; one that does not decode must make no texture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/d3dx9_image.h"

namespace fuzz {

inline platform::d3d9::IDirect3DDevice9* SoftwareDevice() {
  namespace d3d9 = platform::d3d9;
  static d3d9::IDirect3DDevice9* device = [] {
    d3d9::IDirect3D9* d3d = d3d9::Direct3DCreate9(d3d9::D3D_SDK_VERSION);
    FUZZ_CHECK(d3d != nullptr);
    d3d9::D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = 16;
    params.BackBufferHeight = 16;
    params.BackBufferFormat = d3d9::D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = d3d9::D3DSWAPEFFECT_DISCARD;
    params.Windowed = d3d9::TRUE;
    d3d9::IDirect3DDevice9* made = nullptr;
    FUZZ_CHECK(d3d->CreateDevice(0, d3d9::D3DDEVTYPE_HAL, nullptr,
                                 d3d9::D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &made) == 0);
    FUZZ_CHECK(made != nullptr);
    return made;
  }();
  return device;
}

using Decoder = bool (*)(const uint8_t*, size_t, platform::d3dx9::DecodedImage&, std::string&);

inline void DrivePicture(Decoder decode, const uint8_t* data, size_t size) {
  namespace d3d9 = platform::d3d9;
  namespace d3dx9 = platform::d3dx9;
  static const bool ready = (SilenceLog(), SoftwareDevice(), true);
  (void)ready;

  d3dx9::DecodedImage image;
  std::string error;
  const bool decoded = decode(data, size, image, error);
  if (decoded) {
    FUZZ_CHECK(d3dx9::ImageSizeAllowed(image.width, image.height));
    FUZZ_CHECK(image.texels.size() == size_t{image.width} * image.height);
  } else {
    FUZZ_CHECK(!error.empty());
    FUZZ_CHECK(image.texels.empty());
  }

  // The three formats the engine asks for, chosen by the input's size so a run stays repeatable.
  static constexpr d3d9::D3DFORMAT kFormats[] = {d3d9::D3DFMT_UNKNOWN, d3d9::D3DFMT_X8R8G8B8,
                                                  d3d9::D3DFMT_A4R4G4B4};
  d3d9::IDirect3DTexture9* texture = nullptr;
  d3dx9::D3DXIMAGE_INFO info{};
  const d3d9::HRESULT hr = d3dx9::D3DXCreateTextureFromFileInMemoryEx(
      SoftwareDevice(), data, static_cast<d3d9::UINT>(size), 0, 0, 0, 0, kFormats[size % 3],
      d3d9::D3DPOOL_MANAGED, d3dx9::D3DX_DEFAULT, d3dx9::D3DX_FILTER_NONE, 0, &info, nullptr,
      &texture);
  // DecodeImage may pick the other decoder by the signature; only a picture this decoder
  // understands says anything about the texture.
  if (decoded) {
    if (hr != d3d9::D3D_OK) std::fprintf(stderr, "texture refused: %s\n", d3dx9::LastTextureError().c_str());
    FUZZ_CHECK(hr == d3d9::D3D_OK && texture != nullptr);
    d3d9::D3DSURFACE_DESC desc{};
    FUZZ_CHECK(texture->GetLevelDesc(0, &desc) == d3d9::D3D_OK);
    FUZZ_CHECK(desc.Width == image.width && desc.Height == image.height);
    FUZZ_CHECK(info.Width == image.width && info.Height == image.height);
  }
  if (hr != d3d9::D3D_OK) FUZZ_CHECK(texture == nullptr);
  if (texture != nullptr) texture->Release();
}

}  // namespace fuzz
