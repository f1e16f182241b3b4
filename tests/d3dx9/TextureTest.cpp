// Textures from PNG and JPEG files and bytes: size, format and texels as read back through
// LockRect, for every kind of picture file the game ships.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "TestSupport.h"
#include "platform/d3dx9/d3dx9.h"

namespace d3dx9_test {
namespace {

using namespace platform::d3d9;
using namespace platform::d3dx9;
using platform::win32::FAILED;

struct PngCase {
  const char* file;
  std::vector<uint32_t> texels;  // 3 x 2
};

// rgb/rgba fixtures: red, green, blue / (10,20,30), white, black, with alphas 255, 128, 0 /
// 255, 64, 200 where the file has alpha (see data/make_fixtures.sh).
const PngCase kPngCases[] = {
    {"rgb8.png", {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF0A141E, 0xFFFFFFFF, 0xFF000000}},
    {"rgba8.png", {0xFFFF0000, 0x8000FF00, 0x000000FF, 0xFF0A141E, 0x40FFFFFF, 0xC8000000}},
    {"rgba16.png", {0xFFFF0000, 0x8000FF00, 0x000000FF, 0xFF0A141E, 0x40FFFFFF, 0xC8000000}},
    {"palette.png", {0xFFFF0000, 0xFF00FF00, 0x00000000, 0xFF00FF00, 0xFFFF0000, 0x00000000}},
    {"grey8.png", {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF, 0xFF111111, 0xFF222222}},
    {"grey2.png", {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF, 0xFFAAAAAA, 0xFF555555}},
    {"greyalpha.png", {0xFF000000, 0x80555555, 0x00AAAAAA, 0xFFFFFFFF, 0x40111111, 0xC8222222}},
};

class TextureTest : public ::testing::Test {
 protected:
  TestDevice device{16, 16};
};

// The three ways the surface engine makes a texture from a file.
using Loader = std::function<HRESULT(IDirect3DDevice9*, const std::string&, IDirect3DTexture9**)>;

HRESULT FromFile(IDirect3DDevice9* device, const std::string& name, IDirect3DTexture9** texture) {
  // A Windows path text, as the engine builds it.
  std::string path = DataPath(name);
  for (char& c : path) c = c == '/' ? '\\' : c;
  return D3DXCreateTextureFromFileA(device, path.c_str(), texture);
}

HRESULT FromBytes(IDirect3DDevice9* device, const std::string& name, IDirect3DTexture9** texture) {
  const std::vector<uint8_t> bytes = ReadFixture(name);
  return D3DXCreateTextureFromFileInMemory(device, bytes.data(), static_cast<UINT>(bytes.size()),
                                           texture);
}

HRESULT FromBytesEx(IDirect3DDevice9* device, const std::string& name,
                    IDirect3DTexture9** texture) {
  const std::vector<uint8_t> bytes = ReadFixture(name);
  return D3DXCreateTextureFromFileInMemoryEx(
      device, bytes.data(), static_cast<UINT>(bytes.size()), 0, 0, 0, 0, D3DFMT_UNKNOWN,
      D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_FILTER_NONE, 0, nullptr, nullptr, texture);
}

const std::pair<const char*, Loader> kLoaders[] = {
    {"file", FromFile}, {"bytes", FromBytes}, {"bytes Ex", FromBytesEx}};

struct Loaded {
  D3DSURFACE_DESC desc{};
  std::vector<uint32_t> texels;
};

Loaded Load(IDirect3DDevice9* device, const Loader& loader, const std::string& name) {
  IDirect3DTexture9* texture = nullptr;
  Loaded loaded;
  const HRESULT hr = loader(device, name, &texture);
  EXPECT_EQ(hr, D3D_OK) << LastTextureError();
  if (texture == nullptr) return loaded;
  EXPECT_EQ(texture->GetLevelDesc(0, &loaded.desc), D3D_OK);
  loaded.texels = ReadTexels32(texture);
  texture->Release();
  return loaded;
}

TEST_F(TextureTest, PngFilesGiveTheirSizeAndTexelsAsA8R8G8B8) {
  for (const auto& [how, loader] : kLoaders) {
    for (const PngCase& c : kPngCases) {
      SCOPED_TRACE(std::string(c.file) + " from " + how);
      const Loaded loaded = Load(device.get(), loader, c.file);
      EXPECT_EQ(loaded.desc.Format, D3DFMT_A8R8G8B8);
      EXPECT_EQ(loaded.desc.Width, 3u);
      EXPECT_EQ(loaded.desc.Height, 2u);
      EXPECT_EQ(loaded.texels, c.texels);
    }
  }
}

TEST_F(TextureTest, InterlacedPngKeepsEveryTexelOfItsNineByNineSize) {
  const Loaded loaded = Load(device.get(), FromBytes, "interlaced.png");
  ASSERT_EQ(loaded.desc.Width, 9u);  // not rounded up to a power of two
  ASSERT_EQ(loaded.desc.Height, 9u);
  for (uint32_t y = 0; y < 9; ++y) {
    for (uint32_t x = 0; x < 9; ++x) {
      const uint32_t expected = 0xFF000000u | (28 * x) << 16 | (28 * y) << 8 | 14 * (x + y);
      ASSERT_EQ(loaded.texels[y * 9 + x], expected) << x << "," << y;
    }
  }
}

struct JpegCase {
  const char* file;
  uint32_t left;   // colour of the left 8 x 8 block
  uint32_t right;  // and of the right one
};

TEST_F(TextureTest, JpegFilesGiveOpaqueTexelsCloseToTheirColours) {
  const JpegCase cases[] = {
      {"colour.jpg", 0xC8283C, 0x1E5ADC},
      {"progressive.jpg", 0xC8283C, 0x1E5ADC},
      {"grey.jpg", 0x4B4B4B, 0x575757},
      {"cmyk.jpg", 0xC8283C, 0x1E5ADC},
  };
  for (const auto& [how, loader] : kLoaders) {
    for (const JpegCase& c : cases) {
      SCOPED_TRACE(std::string(c.file) + " from " + how);
      const Loaded loaded = Load(device.get(), loader, c.file);
      ASSERT_EQ(loaded.desc.Width, 16u);
      ASSERT_EQ(loaded.desc.Height, 8u);
      EXPECT_EQ(loaded.desc.Format, D3DFMT_A8R8G8B8);
      for (uint32_t i = 0; i < loaded.texels.size(); ++i) {
        const uint32_t texel = loaded.texels[i];
        const uint32_t expected = (i % 16) < 8 ? c.left : c.right;
        ASSERT_EQ(texel >> 24, 0xFFu) << "texel " << i;
        for (int shift : {0, 8, 16}) {
          const int got = (texel >> shift) & 0xFF;
          const int want = (expected >> shift) & 0xFF;
          ASSERT_LE(std::abs(got - want), 3) << "texel " << i << " channel shift " << shift;
        }
      }
    }
  }
}

TEST_F(TextureTest, A4R4G4B4QuantisesEachChannelWithRounding) {
  const std::vector<uint8_t> bytes = ReadFixture("rgba8.png");
  IDirect3DTexture9* texture = nullptr;
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device.get(), bytes.data(),
                                                static_cast<UINT>(bytes.size()), 0, 0, 0, 0,
                                                D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                D3DX_FILTER_NONE, 0, &info, nullptr, &texture),
            D3D_OK);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
  EXPECT_EQ(desc.Format, D3DFMT_A4R4G4B4);
  EXPECT_EQ(info.Width, 3u);
  EXPECT_EQ(info.Height, 2u);
  EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);
  // 128 -> 8, 10 -> 1, 20 -> 1, 30 -> 2, 64 -> 4, 200 -> 12.
  EXPECT_EQ(ReadTexels16(texture),
            (std::vector<uint16_t>{0xFF00, 0x80F0, 0x000F, 0xF112, 0x4FFF, 0xC000}));
  texture->Release();
}

TEST_F(TextureTest, X8R8G8B8FillsTheUnusedByte) {
  const std::vector<uint8_t> bytes = ReadFixture("rgba8.png");
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device.get(), bytes.data(),
                                                static_cast<UINT>(bytes.size()), 3, 2, 1, 0,
                                                D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                D3DX_FILTER_NONE, 0, nullptr, nullptr, &texture),
            D3D_OK);
  EXPECT_EQ(ReadTexels32(texture), (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                                                          0xFF0A141E, 0xFFFFFFFF, 0xFF000000}));
  texture->Release();
}

TEST_F(TextureTest, RequestsThatCannotBeHonouredFailAndCreateNothing) {
  struct Case {
    const char* what;
    UINT width, height;
    D3DFORMAT format;
    D3DCOLOR colorKey;
  };
  const Case cases[] = {
      {"scaling", 4, 4, D3DFMT_UNKNOWN, 0},
      {"another format", 0, 0, D3DFMT_R5G6B5, 0},
      {"a colour key", 0, 0, D3DFMT_UNKNOWN, 0xFF000000},
  };
  const std::vector<uint8_t> bytes = ReadFixture("rgba8.png");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(&texture);
    const HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(
        device.get(), bytes.data(), static_cast<UINT>(bytes.size()), c.width, c.height, 1, 0,
        c.format, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_FILTER_NONE, c.colorKey, nullptr, nullptr,
        &texture);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(texture, nullptr);
  }
}

TEST_F(TextureTest, FileNamesAreWindowsPathsFoundIgnoringCase) {
  // Folder separators as backslashes and the name in other letter case, as game data made on
  // Windows names its files.
  std::string path = DataPath("RGBA8.PNG");
  for (char& c : path) c = c == '/' ? '\\' : c;
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileA(device.get(), path.c_str(), &texture), D3D_OK)
      << LastTextureError();
  texture->Release();

  texture = reinterpret_cast<IDirect3DTexture9*>(&texture);
  EXPECT_TRUE(
      FAILED(D3DXCreateTextureFromFileA(device.get(), (path + ".missing").c_str(), &texture)));
  EXPECT_EQ(texture, nullptr);
}

}  // namespace
}  // namespace d3dx9_test
