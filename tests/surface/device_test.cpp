// Device creation over the win32 stand-in's virtual screen: the display-mode list, the three-pass
// full-screen mode search, windowed creation, re-creation with the release of every device
// object, the log lines of each step, and the fixed device parameters.
#include <algorithm>

#include "platform/d3dx9/d3dx9.h"
#include "platform/ddraw/ddraw.h"
#include "surface_fixture.h"

using namespace surface_test;
using namespace platform::d3d9;
using Mode = platform::win32::testing::VirtualScreen::Mode;
using platform::win32::E_FAIL;
using platform::win32::RECT;

namespace {

class DeviceTest : public SurfaceTest {
 protected:
  TKeshSurfaceEngine3D& MakeFullScreenEngine(int width, int height) {
    engine_ = std::make_unique<TKeshSurfaceEngine3D>(0, 0, true, 0, 0, width, height, "data\\");
    return *engine_;
  }
};

TEST_F(DeviceTest, ModeListKeepsDistinctModesOfAtLeast640x400) {
  SetScreen(800, 600, {{800, 600, 60}, {800, 600, 75}, {640, 399, 60}, {639, 480, 60},
                       {640, 400, 60}});
  auto& e = MakeEngine(64, 48);
  ASSERT_EQ(e.DisplayModes.size(), 2u);
  EXPECT_EQ(e.DisplayModes[0].Width, 800u);
  EXPECT_EQ(e.DisplayModes[0].Height, 600u);
  EXPECT_EQ(e.DisplayModes[1].Width, 640u);
  EXPECT_EQ(e.DisplayModes[1].Height, 400u);
  for (const TDisplayMode& m : e.DisplayModes) {
    EXPECT_EQ(m.RefreshRate, 0u);
    EXPECT_EQ(m.Format, e.DisplayModes[0].Format);
  }
}

// Pass 1 looks for the screen size, pass 2 for 1.25 times it, pass 3 for 1.5 times it (each
// rounded with halves to even); the last pass that matches picks the mode.
TEST_F(DeviceTest, FullScreenModeSearchRunsThreePasses) {
  struct Case {
    const char* what;
    int screenW, screenH;
    std::vector<Mode> modes;
    bool ok;
    uint32_t modeW, modeH;
  } cases[] = {
      {"screen size only", 1280, 1024, {{1280, 1024, 60}}, true, 1280, 1024},
      {"x1.25 replaces x1", 1280, 1024, {{1600, 1280, 60}, {1280, 1024, 60}, {1024, 768, 60}},
       true, 1600, 1280},
      {"x1.5 replaces x1.25", 1024, 768, {{1536, 1152, 60}, {1280, 960, 60}, {1024, 768, 60}},
       true, 1536, 1152},
      {"only x1.25 listed", 1024, 768, {{1280, 960, 60}, {800, 600, 60}}, true, 1280, 960},
      {"halves go to even", 1002, 802, {{1252, 1002, 60}}, true, 1252, 1002},
      {"no half rounded up", 1002, 802, {{1253, 1003, 60}}, false, 0, 0},
      {"nothing matches", 1000, 700, {{800, 600, 60}}, false, 0, 0},
      {"desktop below 640x400", 600, 400, {}, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetScreen(c.screenW, c.screenH, c.modes);
    auto& e = MakeFullScreenEngine(1280, 1024);
    bool windowed = true;
    const int32_t hr = e.InitD3D(Window(), 1280, 1024, windowed);
    EXPECT_FALSE(windowed);
    if (!c.ok) {
      EXPECT_EQ(hr, E_FAIL);
      EXPECT_EQ(e.g_pd3dDevice, nullptr);
      continue;
    }
    ASSERT_EQ(hr, 0);
    EXPECT_EQ(e.d3ddm.Width, c.modeW);
    EXPECT_EQ(e.d3ddm.Height, c.modeH);
    // The back buffer stays the screen's size in the desktop's format.
    EXPECT_EQ(e.FullScreenSize.width, c.screenW);
    EXPECT_EQ(e.BackBufferWidth, c.screenW);
    EXPECT_EQ(e.BackBufferHeight, c.screenH);
    EXPECT_EQ(e.PresentParams.BackBufferWidth, static_cast<UINT>(c.screenW));
    EXPECT_EQ(e.PresentParams.BackBufferHeight, static_cast<UINT>(c.screenH));
    EXPECT_EQ(e.PresentParams.Windowed, FALSE);
    EXPECT_EQ(e.PresentParams.SwapEffect, D3DSWAPEFFECT_FLIP);
    EXPECT_EQ(e.PresentParams.BackBufferFormat, e.DisplayModes[0].Format);
    EXPECT_NE(e.g_pd3dDevice, nullptr);
    EXPECT_DOUBLE_EQ(e.ScaleX, 1280.0 / c.screenW);
    EXPECT_DOUBLE_EQ(e.ScaleY, 1024.0 / c.screenH);
  }
  const std::string log = LogText();
  EXPECT_NE(log.find("InitD3D start FullScreen=True width=1280 height=1024"), std::string::npos);
  EXPECT_NE(log.find("SetDeviceParams 0 1280 1024 FullScreen=-1"), std::string::npos);
  EXPECT_NE(log.find("SetDeviceParams FullScreenSize.Width=1280 FullScreenSize.Height=1024 "
                     "FullScreen"),
            std::string::npos);
}

TEST_F(DeviceTest, WindowedUsesTheLogicalSizeWhateverIsPassed) {
  SetScreen(600, 400);  // no full-screen mode at all: windowed does not care
  auto& e = MakeEngine(48, 32, /*init=*/false);
  bool windowed = false;
  ASSERT_EQ(e.InitD3D(Window(), 800, 600, windowed), 0);
  EXPECT_TRUE(windowed);
  EXPECT_TRUE(e.DisplayModes.empty());
  EXPECT_EQ(e.InitWidth, 800);
  EXPECT_EQ(e.InitHeight, 600);
  EXPECT_EQ(e.BackBufferWidth, 48);
  EXPECT_EQ(e.BackBufferHeight, 32);
  EXPECT_EQ(e.d3ddm.Width, 48u);
  EXPECT_EQ(e.d3ddm.Height, 32u);
  EXPECT_EQ(e.PresentParams.Windowed, TRUE);
  EXPECT_EQ(e.PresentParams.SwapEffect, D3DSWAPEFFECT_DISCARD);
  EXPECT_EQ(e.PresentParams.BackBufferWidth, 48u);
  EXPECT_EQ(e.PresentParams.Flags, D3DPRESENTFLAG_LOCKABLE_BACKBUFFER);
  ASSERT_NE(e.Font, nullptr);
  BeginFrame(0x102030);
  const CapturedFrame f = EndFrame();
  EXPECT_EQ(f.width, 48);
  EXPECT_EQ(f.height, 32);
}

TEST_F(DeviceTest, LogShowsEveryStep) {
  auto& e = MakeEngine(48, 32);
  bool windowed = false;
  ASSERT_EQ(e.InitD3D(Window(), 48, 32, windowed), 0);
  const std::string log = LogText();
  const char* lines[] = {
      " TKeshSurfaceEngine3D.InitD3D VidMem=536870912",
      "InitD3D start FullScreen=False width=48 height=32",
      "Direct3DCreate9 width=48 height=32",
      "Direct3DCreate9 FullScreenSize.width=1024 FullScreenSize.height=768",
      "BuildDeviceList",
      "BuildDeviceList AdapterCount=1",
      "pAdapter^.d3ddmDesktop=X8R8G8B8",
      "d3ddm.Format=X8R8G8B8",
      "SetDeviceParams 0 48 32 FullScreen=0",
      "SetDeviceParams 48 32",
      // the second call: the device exists and is reset first
      "InitD3D start FullScreen=False width=48 height=32",
      "Reset hr=0",
      "SetDeviceParams 48 32",
  };
  size_t at = 0;
  for (const char* line : lines) {
    const size_t found = log.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing in order: " << line << "\n" << log;
    at = found + 1;
  }
}

TEST_F(DeviceTest, VideoMemoryOfMoreThan2GiBIsHeld) {
  platform::ddraw::SetLocalVideoMemory(3u << 30);
  auto& e = MakeEngine(32, 32);
  EXPECT_EQ(e.VideoMemory, 3221225472ull);
  EXPECT_NE(LogText().find(" TKeshSurfaceEngine3D.InitD3D VidMem=3221225472"),
            std::string::npos);
}

TEST_F(DeviceTest, RecreationReleasesEverythingAndDrawBringsTexturesBack) {
  PutFile("atlas.png", "data/Textures/atlas.png");
  auto& e = MakeEngine(32, 32);
  e.CreateSufaceFromTexture("a", "atlas.png", RECT{0, 0, 16, 16}, true, false, 0, false);
  BeginFrame();
  e.DrawLine(255, 0xFF0000, 0, 20, 10, 30, true);
  e.DrawLine(255, 0x00FF00, 0, 31, 31, 31, false);
  EndFrame();
  ASSERT_EQ(e.Lines.size(), 2u);

  bool windowed = false;
  ASSERT_EQ(e.InitD3D(Window(), 32, 32, windowed), 0);
  EXPECT_TRUE(e.Lines.empty());
  EXPECT_TRUE(e.Triangles.empty());
  EXPECT_FALSE(e.Textures[0].Loaded);
  EXPECT_EQ(e.Textures[0].Texture, nullptr);
  EXPECT_NE(e.Surfaces[0].VB, nullptr);  // made again for the new device
  EXPECT_NE(e.Font, nullptr);

  BeginFrame();
  DrawPicture("a", 0, 0);
  e.DrawLine(255, 0xFF0000, 20, 20, 30, 30, true);
  const CapturedFrame f = EndFrame();
  EXPECT_TRUE(e.Textures[0].Loaded);
  EXPECT_TRUE(NearColor(f, 4, 4, 0xFF0000));
  EXPECT_TRUE(NearColor(f, 12, 12, 0xFFFFFF));
  EXPECT_TRUE(NearColor(f, 25, 25, 0xFF0000));
}

// The software device cannot make a back buffer without a size and without a window, so the
// creation fails; the engine is then left without a device, and a later InitD3D succeeds.
TEST_F(DeviceTest, AFailedCreationLeavesNoDeviceAndTheNextInitSucceeds) {
  PutFile("atlas.png", "data/Textures/atlas.png");
  auto& e = MakeEngine(0, 32, /*init=*/false);
  bool windowed = false;
  EXPECT_EQ(e.InitD3D(nullptr, 32, 32, windowed), E_FAIL);
  EXPECT_EQ(e.g_pd3dDevice, nullptr);
  EXPECT_EQ(e.Font, nullptr);
  // Nothing reaches the missing device in between.
  e.CreateSufaceFromTexture("a", "atlas.png", RECT{0, 0, 16, 16}, true, false, 0, false);
  EXPECT_TRUE(e.Surfaces.empty());
  e.DrawLine(255, 0xFF0000, 0, 0, 5, 5, true);
  e.SetDeviceParams(0, 32);

  e.Width = 32;
  ASSERT_EQ(e.InitD3D(Window(), 32, 32, windowed), 0);
  ASSERT_NE(e.g_pd3dDevice, nullptr);
  e.CreateSufaceFromTexture("a", "atlas.png", RECT{0, 0, 16, 16}, true, false, 0, false);
  BeginFrame();
  DrawPicture("a", 0, 0);
  const CapturedFrame f = EndFrame();
  EXPECT_TRUE(NearColor(f, 4, 4, 0xFF0000));
}

// A failed reset keeps the old device, with its objects released until they are drawn again.
TEST_F(DeviceTest, AFailedResetKeepsTheOldDevice) {
  auto& e = MakeEngine(32, 32);
  IDirect3DDevice9* before = e.g_pd3dDevice;
  bool windowed = false;
  e.Width = 20000;  // no back buffer that large
  EXPECT_EQ(e.InitD3D(Window(), 32, 32, windowed), E_FAIL);
  EXPECT_EQ(e.g_pd3dDevice, before);
  EXPECT_EQ(e.Font, nullptr);
  EXPECT_NE(LogText().find("Reset hr=-2005530516"), std::string::npos);  // D3DERR_INVALIDCALL
}

TEST_F(DeviceTest, SetDeviceParamsWithAZeroSizeKeepsTheScaleAndStillProjects) {
  auto& e = MakeEngine(40, 20);
  IDirect3DDevice9* dev = e.g_pd3dDevice;
  D3DMATRIX expected;
  ASSERT_EQ(dev->GetTransform(D3DTS_PROJECTION, &expected), 0);

  struct Case {
    const char* what;
    int screenW, screenH, width;
  } cases[] = {{"zero screen", 0, 0, 40}, {"zero logical width", 1024, 768, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetScreen(c.screenW, c.screenH);
    e.Width = c.width;
    e.ScaleX = 0.25;
    e.ScaleY = 0.5;
    D3DMATRIX identity;
    platform::d3dx9::D3DXMatrixIdentity(&identity);
    dev->SetTransform(D3DTS_PROJECTION, &identity);
    e.SetDeviceParams(7, 9);
    EXPECT_DOUBLE_EQ(e.ScaleX, 0.25);
    EXPECT_DOUBLE_EQ(e.ScaleY, 0.5);
    D3DMATRIX got;
    dev->GetTransform(D3DTS_PROJECTION, &got);
    if (c.width != 0) {
      EXPECT_TRUE(std::equal(&got.m[0][0], &got.m[0][0] + 16, &expected.m[0][0]));
    }
    e.Width = 40;
  }
  EXPECT_NE(LogText().find("SetDeviceParams 0 7 9 FullScreen=0"), std::string::npos);
}

TEST_F(DeviceTest, FormatNames) {
  const std::pair<int32_t, const char*> cases[] = {
      {0, "UNKNOWN"}, {21, "A8R8G8B8"}, {22, "X8R8G8B8"}, {26, "A4R4G4B4"},
      {34, "G16R16"}, {70, "D3DFMT_D16_LOCKABLE"}, {80, "D3DFMT_D16"}, {32, ""}, {-1, ""}};
  for (const auto& [format, text] : cases) {
    EXPECT_EQ(TKeshSurfaceEngine3D::FormatToString(format), text) << format;
  }
}

}  // namespace
