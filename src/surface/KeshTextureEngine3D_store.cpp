// The engine object and its store of textures and named surfaces.
//
// Textures are found by file name and never removed once added; their Direct3D textures are
// released when the last surface on them goes and by every InitD3D, and come back on demand at
// the next Draw. Each texture remembers the path text it was first read from (the data folder's
// Textures, the program folder's Textures or Splash), so a reload reads that same file, and the
// format it was created with, so a reloaded texture looks as it did. Kept file bytes are dropped
// only after a texture was really made from them.
#include "surface/KeshTextureEngine3D.h"

#include "foundation/KeshLogEngine.h"
#include "runtime/Errors.h"
#include "runtime/Files.h"

using namespace platform::d3d9;
using namespace platform::d3dx9;
using platform::win32::E_FAIL;
using platform::win32::FAILED;
using platform::win32::SUCCEEDED;

TKeshSurfaceEngine3D::TKeshSurfaceEngine3D(int32_t screenWidth, int32_t screenHeight,
                                           bool fullScreen, int32_t sizeOverrideX,
                                           int32_t sizeOverrideY, int32_t width, int32_t height,
                                           const std::string& dataPath)
    : SizeOverrideX(sizeOverrideX),
      SizeOverrideY(sizeOverrideY),
      Width(width),
      Height(height),
      ScreenWidth(screenWidth),
      ScreenHeight(screenHeight),
      FullScreen(fullScreen),
      DataPath(dataPath) {
  if (SizeOverrideX != 0 && SizeOverrideY != 0) {
    Width = SizeOverrideX;
    Height = SizeOverrideY;
  }
}

TKeshSurfaceEngine3D::~TKeshSurfaceEngine3D() {
  ReleaseDeviceResources();
  Surfaces.clear();
  Textures.clear();
  if (g_pd3dDevice) g_pd3dDevice->Release();
  g_pd3dDevice = nullptr;
  if (D3D) D3D->Release();
  D3D = nullptr;
}

int32_t TKeshSurfaceEngine3D::IndexOfSurface(const std::string& Name) const {
  if (Surfaces.empty()) return -1;
  int32_t bucket = 0, index = 0;
  if (!SurfaceIndex.Find(Name, bucket, index)) return -1;
  return SurfaceIndex.Buckets[bucket][index].Value;
}

int32_t TKeshSurfaceEngine3D::IndexOfTexture(const std::string& FileName) const {
  if (Textures.empty()) return -1;
  int32_t bucket = 0, index = 0;
  if (!TextureIndex.Find(FileName, bucket, index)) return -1;
  return TextureIndex.Buckets[bucket][index].Value;
}

void TKeshSurfaceEngine3D::GetSurfaceSize(const std::string& Name, TIntSize& Size) const {
  const int32_t i = IndexOfSurface(Name);
  if (i == -1) return;
  Size.width = Surfaces[i].Width;
  Size.height = Surfaces[i].Height;
}

void TKeshSurfaceEngine3D::LoadTextureData(TTexture& t, const std::string& path) {
  t.Data = std::make_unique<rtl::TMemoryStream>();
  try {
    t.Data->LoadFromFile(path);
  } catch (const rtl::EInOutError&) {
    // An unreadable file leaves the stream empty; creating a texture from it then fails, and
    // the draw reports the texture as not loaded.
    t.Data->Clear();
  }
  t.Data->SetPosition(0);
  if (t.SourcePath.empty()) t.SourcePath = path;
}

bool TKeshSurfaceEngine3D::CreateTextureFromData(TTexture& t, int32_t format) {
  if (!g_pd3dDevice || !t.Data) return false;
  IDirect3DTexture9* texture = nullptr;
  HRESULT hr;
  const auto size = static_cast<UINT>(t.Data->Size());
  if (format == 0) {
    hr = D3DXCreateTextureFromFileInMemory(g_pd3dDevice, t.Data->Memory(), size, &texture);
  } else {
    hr = D3DXCreateTextureFromFileInMemoryEx(
        g_pd3dDevice, t.Data->Memory(), size, 0, 0, 0, 0, static_cast<D3DFORMAT>(format),
        D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_FILTER_NONE, 0, nullptr, nullptr, &texture);
  }
  if (FAILED(hr) || !texture) {
    ReportUnreadable(t, hr, t.SourcePath.empty() ? DataPath + "Textures\\" + t.Name : t.SourcePath);
    return false;
  }
  if (t.Texture) t.Texture->Release();
  t.Texture = texture;
  t.Loaded = 1;
  t.Format = format;
  t.LoadError.clear();
  return true;
}

bool TKeshSurfaceEngine3D::CreateTextureFromFile(TTexture& t, const std::string& path) {
  if (!g_pd3dDevice) return false;
  IDirect3DTexture9* texture = nullptr;
  const HRESULT hr = D3DXCreateTextureFromFileA(g_pd3dDevice, path.c_str(), &texture);
  if (FAILED(hr) || !texture) {
    ReportUnreadable(t, hr, path);
    return false;
  }
  if (t.Texture) t.Texture->Release();
  t.Texture = texture;
  t.Loaded = 1;
  t.Format = 0;
  t.LoadError.clear();
  return true;
}

void TKeshSurfaceEngine3D::ReportUnreadable(TTexture& t, HRESULT hr, const std::string& path) {
  // A missing file has its own warning, and a device failure may pass.
  if (hr != D3DXERR_INVALIDDATA) return;
  const std::string reason = LastTextureError();
  if (reason == t.LoadError) return;
  t.LoadError = reason;
  LogEngine->AddWarning("TKeshSurfaceEngine3D - texture file " + path + " cannot be read: " + reason);
}

void TKeshSurfaceEngine3D::ReadTextureSize(TTexture& t) {
  D3DSURFACE_DESC desc{};
  if (t.Texture && SUCCEEDED(t.Texture->GetLevelDesc(0, &desc))) {
    t.Width = static_cast<int32_t>(desc.Width);
    t.Height = static_cast<int32_t>(desc.Height);
  } else {
    t.Width = 1;
    t.Height = 1;
  }
}

IDirect3DVertexBuffer9* TKeshSurfaceEngine3D::CreateVB(uint32_t bytes) {
  if (!g_pd3dDevice) return nullptr;
  IDirect3DVertexBuffer9* vb = nullptr;
  const HRESULT hr =
      g_pd3dDevice->CreateVertexBuffer(bytes, 0, kSurfaceFVF, D3DPOOL_MANAGED, &vb, nullptr);
  if (FAILED(hr)) {
    if (vb) vb->Release();
    return nullptr;
  }
  return vb;
}

void TKeshSurfaceEngine3D::CreateSufaceFromTexture(const std::string& Name,
                                                   const std::string& TextureFile,
                                                   const platform::win32::RECT& Rect,
                                                   bool LoadNow, bool Rotated, int32_t Format,
                                                   bool FreeData) {
  if (IndexOfSurface(Name) != -1) return;
  if (!g_pd3dDevice) {
    LogEngine->AddWarning("TKeshSurfaceEngine3D.CreateSufaceFromTexture(" + Name + "," +
                          TextureFile + ") - g_pd3dDevice = nil, nothing created");
    return;
  }

  Surfaces.emplace_back();
  const auto si = static_cast<int32_t>(Surfaces.size() - 1);
  Surfaces[si].Name = Name;
  Surfaces[si].TextureName = TextureFile;
  Surfaces[si].Rotated = Rotated ? 1 : 0;
  SurfaceIndex.SetValue(Name, si);

  const std::string dataFile = DataPath + "Textures\\" + TextureFile;
  bool foundInSplash = false;
  int32_t t = IndexOfTexture(TextureFile);
  if (t == -1) {
    Textures.emplace_back();
    t = static_cast<int32_t>(Textures.size() - 1);
    TTexture& tex = Textures[t];
    tex.Name = TextureFile;
    TextureIndex.SetValue(TextureFile, t);
    tex.Data = std::make_unique<rtl::TMemoryStream>();
    const std::string splashFile = "Splash\\" + TextureFile;
    if (rtl::FileExists(dataFile)) {
      LoadTextureData(tex, dataFile);
    } else if (rtl::FileExists(splashFile)) {
      LoadTextureData(tex, splashFile);
      foundInSplash = true;
    } else {
      LogEngine->AddWarning("CreateSufaceFromTexture file data\\Textures\\" + TextureFile +
                            " not exists");
    }
    if (LoadNow) {
      const std::string& file = tex.SourcePath.empty() ? dataFile : tex.SourcePath;
      bool created;
      if (PreLoadInMemory && Format != 0) {
        created = CreateTextureFromData(tex, Format);
      } else {
        created = CreateTextureFromFile(tex, file);
      }
      if (PreLoadInMemory && created && FreeData) tex.Data.reset();
    }
  }

  TTexture& tex = Textures[t];
  if (LoadNow && !tex.Loaded) {
    if (PreLoadInMemory) {
      if (!tex.Data) {
        const std::string& file = tex.SourcePath.empty() ? dataFile : tex.SourcePath;
        if (rtl::FileExists(file)) LoadTextureData(tex, file);
        else tex.Data = std::make_unique<rtl::TMemoryStream>();
      }
      if (CreateTextureFromData(tex, Format) && FreeData) tex.Data.reset();
    } else {
      CreateTextureFromFile(tex, tex.SourcePath.empty() ? "Textures\\" + tex.Name
                                                        : tex.SourcePath);
    }
  }
  if (tex.Texture) ReadTextureSize(tex);

  TKeshSurface& s = Surfaces[si];
  s.TextureIndex = t;
  if (foundInSplash) {
    s.Width = tex.Width;
    s.Height = tex.Height;
    s.SrcLeft = 0;
    s.SrcTop = 0;
    s.SrcRight = tex.Width;
    s.SrcBottom = tex.Height;
  } else {
    s.Width = Rect.right - Rect.left;
    s.Height = Rect.bottom - Rect.top;
    s.SrcLeft = Rect.left;
    s.SrcTop = Rect.top;
    s.SrcRight = Rect.right;
    s.SrcBottom = Rect.bottom;
  }
  s.A = s.B = s.G = s.R = 255;
  s.ColorPower = 0;
  s.Color = 0xFFFFFF;
  s.VBReady = 0;

  s.VB = CreateVB(4 * sizeof(SurfaceVertex));
  if (!s.VB) {
    Surfaces.pop_back();
    SurfaceIndex.Remove(Name);
    return;
  }
  if (tex.Loaded) SetVBForSurfaces(s, nullptr);
}

void TKeshSurfaceEngine3D::PreloadTexture(const std::string& FileName) {
  Textures.emplace_back();
  const auto t = static_cast<int32_t>(Textures.size() - 1);
  TTexture& tex = Textures[t];
  tex.Name = FileName;
  tex.Data = std::make_unique<rtl::TMemoryStream>();
  TextureIndex.SetValue(FileName, t);
  const std::string file = "Textures\\" + FileName;
  if (rtl::FileExists(file)) LoadTextureData(tex, file);
}

bool TKeshSurfaceEngine3D::ReloadTexture(TTexture& t) {
  if (!g_pd3dDevice) return false;
  const std::string file =
      t.SourcePath.empty() ? DataPath + "Textures\\" + t.Name : t.SourcePath;
  if (PreLoadInMemory && !t.Data && rtl::FileExists(file)) LoadTextureData(t, file);
  if (t.Data) CreateTextureFromData(t, t.Format);
  if (!PreLoadInMemory) {
    // The texture made from the bytes stays when the file cannot be read now.
    const std::string direct = t.SourcePath.empty() ? "Textures\\" + t.Name : t.SourcePath;
    CreateTextureFromFile(t, direct);
  }
  if (t.Texture) ReadTextureSize(t);
  return t.Loaded != 0;
}

void TKeshSurfaceEngine3D::DeleteSurface(const std::string& NameArg) {
  const std::string Name = NameArg;  // the argument may be the record's own name
  const int32_t i = IndexOfSurface(Name);
  if (i == -1) return;
  const int32_t t = IndexOfTexture(Surfaces[i].TextureName);

  if (Surfaces[i].VB) Surfaces[i].VB->Release();
  Surfaces[i].VB = nullptr;
  const auto last = static_cast<int32_t>(Surfaces.size() - 1);
  if (i != last) Surfaces[i] = std::move(Surfaces[last]);
  Surfaces.pop_back();
  SurfaceIndex.Remove(Name);
  if (i != last) SurfaceIndex.SetValue(Surfaces[i].Name, i);

  if (t == -1) return;
  TTexture& tex = Textures[t];
  for (const TKeshSurface& s : Surfaces) {
    if (s.TextureName == tex.Name) return;
  }
  if (tex.Texture) tex.Texture->Release();
  tex.Texture = nullptr;
  tex.Loaded = 0;
}
