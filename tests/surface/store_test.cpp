// The texture and surface store: creation, sharing, deletion, kept file bytes and the reload on
// demand after a device re-creation.
#include "surface_fixture.h"

#include "platform/d3dx9/d3dx9.h"
#include "support/pictures.h"
#include "support/scratch.h"

using namespace surface_test;
using platform::win32::RECT;

namespace {

constexpr RECT kQuad{0, 0, 16, 16};       // the four colour squares of atlas.png
constexpr RECT kTurned{16, 0, 26, 20};    // the picture stored turned in atlas.png

class StoreTest : public SurfaceTest {
 protected:
  void Reinit() {
    bool windowed = false;
    ASSERT_EQ(engine_->InitD3D(Window(), engine_->Width, engine_->Height, windowed), 0);
  }
  const TTexture& Tex(const std::string& file) {
    const int32_t t = engine_->IndexOfTexture(file);
    EXPECT_GE(t, 0) << file;
    return engine_->Textures[t];
  }
};

TEST_F(StoreTest, ExistingNameReturnsAtOnce) {
  PutFile("atlas.png", "data/Textures/atlas.png");
  PutFile("quad16.png", "data/Textures/quad16.png");
  auto& e = MakeEngine(32, 32);
  e.CreateSufaceFromTexture("a", "atlas.png", kQuad, true, false, 0, false);
  e.CreateSufaceFromTexture("a", "quad16.png", RECT{0, 0, 8, 4}, true, true, 0, false);
  ASSERT_EQ(e.Surfaces.size(), 1u);
  EXPECT_EQ(e.Surfaces[0].TextureName, "atlas.png");
  EXPECT_EQ(e.Surfaces[0].Width, 16);
  EXPECT_EQ(e.Surfaces[0].Rotated, 0);
  EXPECT_EQ(e.Textures.size(), 1u);  // the second file was never even read
}

TEST_F(StoreTest, SharedTextureIsReleasedWithItsLastSurfaceButKept) {
  PutFile("atlas.png", "data/Textures/atlas.png");
  auto& e = MakeEngine(32, 32);
  e.CreateSufaceFromTexture("a", "atlas.png", kQuad, true, false, 0, false);
  e.CreateSufaceFromTexture("b", "atlas.png", kTurned, true, true, 0, false);
  e.CreateSufaceFromTexture("c", "atlas.png", RECT{0, 0, 8, 8}, true, false, 0, false);
  ASSERT_EQ(e.Textures.size(), 1u);
  EXPECT_EQ(e.Surfaces[1].TextureIndex, e.Surfaces[0].TextureIndex);

  e.DeleteSurface("a");  // "c" moves into slot 0 and its index follows
  EXPECT_EQ(e.IndexOfSurface("a"), -1);
  EXPECT_EQ(e.IndexOfSurface("c"), 0);
  EXPECT_EQ(e.Surfaces[0].Name, "c");
  EXPECT_TRUE(Tex("atlas.png").Loaded);

  e.DeleteSurface(e.Surfaces[0].Name);  // the argument may be the record's own name
  e.DeleteSurface("b");
  EXPECT_TRUE(e.Surfaces.empty());
  const TTexture& t = Tex("atlas.png");
  EXPECT_FALSE(t.Loaded);
  EXPECT_EQ(t.Texture, nullptr);
  EXPECT_NE(t.Data, nullptr);  // record, name index and bytes stay for a later surface

  e.DeleteSurface("never there");  // no effect
  e.CreateSufaceFromTexture("d", "atlas.png", kQuad, false, false, 0, false);
  BeginFrame();
  DrawPicture("d", 0, 0);
  const CapturedFrame f = EndFrame();
  EXPECT_TRUE(Tex("atlas.png").Loaded);  // reloaded on demand
  EXPECT_TRUE(NearColor(f, 4, 4, 0xFF0000));
}

TEST_F(StoreTest, SplashOnlyFileCoversItsWholeTexture) {
  PutFile("splash24x12.png", "Splash/splash24x12.png");
  auto& e = MakeEngine(32, 32);
  e.CreateSufaceFromTexture("s", "splash24x12.png", RECT{2, 3, 7, 5}, true, false, 0, false);
  ASSERT_EQ(e.Surfaces.size(), 1u);
  const TKeshSurface& s = e.Surfaces[0];
  EXPECT_EQ(s.Width, 24);
  EXPECT_EQ(s.Height, 12);
  EXPECT_EQ(s.SrcLeft, 0);
  EXPECT_EQ(s.SrcTop, 0);
  EXPECT_EQ(s.SrcRight, 24);
  EXPECT_EQ(s.SrcBottom, 12);
  EXPECT_TRUE(Tex("splash24x12.png").Loaded);
}

TEST_F(StoreTest, SurfaceSizeOfAnAbsentNameLeavesTheValuesAlone) {
  PutFile("atlas.png", "data/Textures/atlas.png");
  auto& e = MakeEngine(32, 32);
  e.CreateSufaceFromTexture("b", "atlas.png", kTurned, true, true, 0, false);
  TIntSize size{7, 9};
  e.GetSurfaceSize("absent", size);
  EXPECT_EQ(size.width, 7);
  EXPECT_EQ(size.height, 9);
  e.GetSurfaceSize("b", size);
  EXPECT_EQ(size.width, 10);
  EXPECT_EQ(size.height, 20);
}

// A texture file whose header claims 8192 x 8192 in a few bytes is refused before anything is
// allocated for it, decoded at most once, and every draw after that is refused from memory:
// the draw's warning each time (folded by the log), the decoder's reason once.
TEST_F(StoreTest, ADamagedTextureIsDecodedOnceAndItsReasonLoggedOnce) {
  auto CountOf = [](const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  const std::string atlas = test_support::ReadFile(std::string(QUORREL_TEST_DATA) + "/atlas.png");
  const std::vector<uint8_t> bomb =
      test_support::PngClaiming({atlas.begin(), atlas.end()}, 8192, 8192);
  for (const bool preload : {false, true}) {
    SCOPED_TRACE(preload ? "kept bytes" : "read from the file");
    const std::string file = preload ? "bomb-kept.png" : "bomb.png";
    PutBytes("data/Textures/" + file, std::string(bomb.begin(), bomb.end()));
    auto& e = MakeEngine(32, 32);
    e.PreLoadInMemory = preload;
    const uint64_t before = platform::d3dx9::seam::PicturesDecoded();
    e.CreateSufaceFromTexture("b", file, kQuad, true, false, preload ? 21 : 0, false);
    BeginFrame();
    for (int i = 0; i < 50; ++i) DrawPicture("b", 0, 0);
    EndFrame();
    EXPECT_LE(platform::d3dx9::seam::PicturesDecoded() - before, 1u);
    const std::string log = LogText();
    const std::string reason = "texture file data\\Textures\\" + file +
                               " cannot be read: picture of 8192x8192 claims more than its " +
                               std::to_string(bomb.size()) + " bytes can hold";
    EXPECT_EQ(CountOf(log, reason), 1) << log;
    EXPECT_EQ(CountOf(log, "TKeshSurfaceEngine3D.Draw(b,...) - Texture not load! " + file), 1) << log;
  }
}

TEST_F(StoreTest, MissingFileWarnsAndTheSurfaceNeverDraws) {
  auto& e = MakeEngine(32, 32);
  e.CreateSufaceFromTexture("m", "nofile.png", kQuad, true, false, 0, false);
  ASSERT_EQ(e.Surfaces.size(), 1u);
  BeginFrame();
  DrawPicture("m", 0, 0);
  DrawPicture("unknown", 0, 0);
  DrawPicture("", 0, 0);
  EndFrame();
  const std::string log = LogText();
  EXPECT_NE(log.find("CreateSufaceFromTexture file data\\Textures\\nofile.png not exists"),
            std::string::npos);
  EXPECT_NE(log.find("TKeshSurfaceEngine3D.Draw(m,...) - Texture not load! nofile.png"),
            std::string::npos);
  EXPECT_NE(log.find("TKeshSurfaceEngine3D.Draw(unknown,...) - Src Surface does not exists!"),
            std::string::npos);
}

TEST_F(StoreTest, WithoutADeviceNothingIsCreated) {
  PutFile("atlas.png", "data/Textures/atlas.png");
  auto& e = MakeEngine(32, 32, /*init=*/false);
  e.CreateSufaceFromTexture("a", "atlas.png", kQuad, true, false, 0, false);
  EXPECT_TRUE(e.Surfaces.empty());
  EXPECT_TRUE(e.Textures.empty());
  EXPECT_EQ(e.IndexOfSurface("a"), -1);
  EXPECT_NE(LogText().find("CreateSufaceFromTexture(a,atlas.png) - g_pd3dDevice = nil"),
            std::string::npos);
  // Drawing of any kind stays away from the missing device too.
  e.DrawLine(255, 0xFF0000, 0, 0, 10, 10, true);
  e.DrawTriangle(255, 0xFF, 0, 0, 10, 0, 0, 10, true, 255, 255, 0xFF, 0xFF, "", 0, 0, 0, 0, 0, 0,
                 0);
  e.DrawFontText("x", e.Font, 0, 0, 0xFFFFFFFF);
  EXPECT_TRUE(e.Lines.empty());
}

// Kept bytes go only once a texture was really made from them, so a failed creation can be
// tried again from memory.
TEST_F(StoreTest, FreeDataDropsTheBytesOnlyAfterASuccessfulCreation) {
  PutFile("atlas.png", "data/Textures/atlas.png");
  PutBytes("data/Textures/broken.png", "\x89PNG this is not a picture");
  auto& e = MakeEngine(32, 32);
  struct Case {
    const char* surface;
    const char* file;
    int32_t format;
    bool loaded;
    bool dataKept;
  } cases[] = {
      {"ok", "atlas.png", 0, true, false},
      {"broken", "broken.png", 0, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.surface);
    e.CreateSufaceFromTexture(c.surface, c.file, kQuad, true, false, c.format, true);
    const TTexture& t = Tex(c.file);
    EXPECT_EQ(t.Loaded != 0, c.loaded);
    EXPECT_EQ(t.Data != nullptr, c.dataKept);
  }
  EXPECT_EQ(Tex("broken.png").Data->Size(), 26u);
}

TEST_F(StoreTest, FormatIsKeptAcrossTheReloadAfterADeviceRecreation) {
  PutFile("atlas.png", "data/Textures/atlas.png");
  auto& e = MakeEngine(32, 32);
  e.CreateSufaceFromTexture("a", "atlas.png", kQuad, true, false, 26, true);
  ASSERT_TRUE(Tex("atlas.png").Loaded);
  EXPECT_EQ(Tex("atlas.png").Data, nullptr);
  Reinit();
  EXPECT_FALSE(Tex("atlas.png").Loaded);
  BeginFrame();
  DrawPicture("a", 0, 0);
  EndFrame();
  const TTexture& t = Tex("atlas.png");
  ASSERT_TRUE(t.Loaded);
  platform::d3d9::D3DSURFACE_DESC desc{};
  t.Texture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, platform::d3d9::D3DFMT_A4R4G4B4);
}

// After a device re-creation released every texture, each comes back from the file it was first
// read from, wherever that was.
TEST_F(StoreTest, ReloadReadsTheFileTheTextureCameFrom) {
  struct Case {
    const char* where;
    bool preload;  // read ahead from the program folder's Textures
  } cases[] = {{"data/Textures/", false}, {"Splash/", false}, {"Textures/", true}};
  auto& e = MakeEngine(32, 32);
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    const std::string file = "tex" + std::to_string(n) + ".png";
    const std::string name = "s" + std::to_string(n++);
    PutFile("atlas.png", std::string(c.where) + file);
    if (c.preload) e.PreloadTexture(file);
    e.CreateSufaceFromTexture(name, file, kQuad, true, false, 0, true);
    ASSERT_TRUE(Tex(file).Loaded);
    Reinit();
    ASSERT_FALSE(Tex(file).Loaded);
    BeginFrame();
    DrawPicture(name, 0, 0);
    const CapturedFrame f = EndFrame();
    EXPECT_TRUE(Tex(file).Loaded);
    EXPECT_TRUE(NearColor(f, 4, 4, 0xFF0000));
  }
  EXPECT_EQ(LogText().find("Texture not load!"), std::string::npos);
}

TEST_F(StoreTest, PreloadReadsBytesAndTheFirstDrawMakesTheTexture) {
  PutFile("quad16.png", "Textures/quad16.png");
  auto& e = MakeEngine(32, 32);
  e.PreloadTexture("quad16.png");
  const TTexture& t = Tex("quad16.png");
  EXPECT_FALSE(t.Loaded);
  ASSERT_NE(t.Data, nullptr);
  EXPECT_GT(t.Data->Size(), 0u);
  e.CreateSufaceFromTexture("q", "quad16.png", kQuad, false, false, 0, false);
  EXPECT_FALSE(Tex("quad16.png").Loaded);
  BeginFrame();
  DrawPicture("q", 0, 0);
  const CapturedFrame f = EndFrame();
  EXPECT_TRUE(Tex("quad16.png").Loaded);
  EXPECT_TRUE(NearColor(f, 12, 4, 0x00FF00));
}

}  // namespace
