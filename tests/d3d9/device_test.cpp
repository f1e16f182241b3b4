// The device objects as the system uses them: creation, modes, resources and their failures,
// reference counting, the frame calls, the lost-device seam and the capture seam.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "fixture.h"
#include "platform/d3d9/d3d9_internal.h"

namespace d3d9_test {
namespace {

class Device : public DeviceTest {
 protected:
  void SetUp() override { Open(32, 24); }
};

TEST_F(Device, AdapterReportsDesktopModesInX8R8G8B8) {
  EXPECT_EQ(d3d_->GetAdapterCount(), 1u);
  D3DDISPLAYMODE desktop{};
  ASSERT_EQ(d3d_->GetAdapterDisplayMode(0, &desktop), D3D_OK);
  EXPECT_EQ(desktop.Format, D3DFMT_X8R8G8B8);
  EXPECT_GT(desktop.Width, 0u);
  const UINT n = d3d_->GetAdapterModeCount(0, D3DFMT_X8R8G8B8);
  ASSERT_GE(n, 1u);
  D3DDISPLAYMODE m{};
  EXPECT_EQ(d3d_->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 0, &m), D3D_OK);
  EXPECT_EQ(m.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(d3d_->EnumAdapterModes(0, D3DFMT_X8R8G8B8, n, &m), D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d_->GetAdapterModeCount(0, D3DFMT_A4R4G4B4), 0u);
}

TEST_F(Device, CreateDeviceRejectsBadArguments) {
  IDirect3DDevice9* d = nullptr;
  EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x20, nullptr, &d), D3DERR_INVALIDCALL);
  D3DPRESENT_PARAMETERS pp{};  // no size and no window: nothing to take the size from
  pp.Windowed = TRUE;
  EXPECT_LT(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x20, &pp, &d), 0);
  EXPECT_EQ(d, nullptr);
}

TEST_F(Device, TextureLevelDescAndLockRect) {
  IDirect3DTexture9* t = nullptr;
  ASSERT_EQ(dev_->CreateTexture(10, 6, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
            D3D_OK);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(t->GetLevelDesc(0, &desc), D3D_OK);
  EXPECT_EQ(desc.Width, 10u);
  EXPECT_EQ(desc.Height, 6u);
  EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
  EXPECT_EQ(t->GetLevelDesc(1, &desc), D3DERR_INVALIDCALL);

  D3DLOCKED_RECT whole{}, part{};
  ASSERT_EQ(t->LockRect(0, &whole, nullptr, 0), D3D_OK);
  EXPECT_EQ(whole.Pitch, 40);
  static_cast<uint32_t*>(whole.pBits)[2 * 10 + 3] = 0xAB123456u;
  EXPECT_EQ(t->LockRect(0, &part, nullptr, 0), D3DERR_INVALIDCALL);  // already locked
  ASSERT_EQ(t->UnlockRect(0), D3D_OK);
  EXPECT_EQ(t->UnlockRect(0), D3DERR_INVALIDCALL);

  const RECT r{3, 2, 5, 4};
  ASSERT_EQ(t->LockRect(0, &part, &r, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(*static_cast<uint32_t*>(part.pBits), 0xAB123456u);  // the rectangle's first texel
  t->UnlockRect(0);

  const RECT outside[] = {{8, 0, 11, 2}, {0, 5, 2, 7}, {-1, 0, 2, 2}, {4, 4, 4, 5}, {5, 3, 2, 1}};
  for (const RECT& o : outside) EXPECT_EQ(t->LockRect(0, &part, &o, 0), D3DERR_INVALIDCALL);
  t->Release();

  ASSERT_EQ(dev_->CreateTexture(4, 4, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
  ASSERT_EQ(t->LockRect(0, &whole, nullptr, 0), D3D_OK);
  EXPECT_EQ(whole.Pitch, 8);
  t->UnlockRect(0);
  t->Release();
  EXPECT_EQ(dev_->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(dev_->CreateTexture(4, 4, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &t, nullptr),
            D3DERR_INVALIDCALL);
}

TEST_F(Device, VertexBufferLockBounds) {
  IDirect3DVertexBuffer9* vb = nullptr;
  ASSERT_EQ(dev_->CreateVertexBuffer(96, 0, 0x142, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
  void* p = nullptr;
  EXPECT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
  EXPECT_NE(p, nullptr);
  vb->Unlock();
  EXPECT_EQ(vb->Lock(90, 8, &p, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(vb->Lock(0, 0, nullptr, 0), D3DERR_INVALIDCALL);
  // Drawing more vertices than the buffer holds fails without reading past it.
  dev_->SetStreamSource(0, vb, 0, 24);
  EXPECT_EQ(dev_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 3), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  dev_->SetStreamSource(0, vb, 0, 12);  // shorter than the 24-byte format
  EXPECT_EQ(dev_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
  vb->Release();
}

// Setting a bound buffer or the world matrix again changes only what the call carries: the same
// buffer at another offset draws from there, the same matrix twice draws where it did once.
TEST_F(Device, RepeatedStreamAndWorldCarryTheirValues) {
  const D3DCOLOR red = 0xFFFF0000u, green = 0xFF00FF00u;
  const std::vector<Vertex> quads = {{0, 0, 1, red, 0, 0},   {0, 4, 1, red, 0, 0},
                                     {4, 0, 1, red, 0, 0},   {4, 4, 1, red, 0, 0},
                                     {4, 0, 1, green, 0, 0}, {4, 4, 1, green, 0, 0},
                                     {8, 0, 1, green, 0, 0}, {8, 4, 1, green, 0, 0}};
  IDirect3DVertexBuffer9* vb = nullptr;
  ASSERT_EQ(dev_->CreateVertexBuffer(UINT(quads.size() * 24), 0, 0x142, D3DPOOL_MANAGED, &vb,
                                     nullptr),
            D3D_OK);
  void* p = nullptr;
  ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
  std::memcpy(p, quads.data(), quads.size() * 24);
  vb->Unlock();
  Modulate();
  dev_->SetFVF(0x142);
  D3DMATRIX down = Identity();
  down._42 = 4;
  for (const bool reference : {false, true}) {
    for (const int threads : {1, 3, 8}) {
      SCOPED_TRACE(::testing::Message() << "reference " << reference << " threads " << threads);
      SetForceReferencePath(reference);
      SetRasterThreads(threads);
      dev_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1, 0);
      const D3DMATRIX id = Identity();
      dev_->SetTransform(D3DTS_WORLD, &id);
      dev_->SetStreamSource(0, vb, 0, 24);
      EXPECT_EQ(dev_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
      dev_->SetStreamSource(0, vb, 96, 24);
      EXPECT_EQ(dev_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
      dev_->SetTransform(D3DTS_WORLD, &down);
      dev_->SetTransform(D3DTS_WORLD, &down);
      dev_->SetStreamSource(0, vb, 96, 24);
      EXPECT_EQ(dev_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
      dev_->SetStreamSource(0, vb, 0, 24);
      EXPECT_EQ(dev_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
      dev_->SetTransform(D3DTS_WORLD, &id);
      const CapturedFrame f = Frame();
      EXPECT_EQ(Pixel(f, 1, 1), red);
      EXPECT_EQ(Pixel(f, 5, 1), green);
      EXPECT_EQ(Pixel(f, 5, 5), green);
      EXPECT_EQ(Pixel(f, 1, 5), red);
      EXPECT_EQ(Pixel(f, 9, 1), 0xFF000000u);
    }
  }
  SetForceReferencePath(false);
  SetRasterThreads(0);
  dev_->SetStreamSource(0, nullptr, 0, 24);
  vb->Release();
}

// The system releases and clears textures and buffers that may still be bound.
TEST_F(Device, ReleasedWhileBoundStaysUsable) {
  IDirect3DTexture9* tex = MakeTexture(8, 8, [](int, int) { return 0xFF00FF00u; });
  textures_.clear();
  Modulate();
  dev_->SetTexture(0, tex);
  SafeRelease(tex);
  EXPECT_EQ(tex, nullptr);
  dev_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1, 0);
  Draw(D3DPT_TRIANGLESTRIP, {{0, 0, 1, 0xFFFFFFFF, 0, 0}, {0, 8, 1, 0xFFFFFFFF, 0, 1},
                             {8, 0, 1, 0xFFFFFFFF, 1, 0}, {8, 8, 1, 0xFFFFFFFF, 1, 1}},
       2);
  for (auto* b : buffers_) b->Release();
  buffers_.clear();  // the stream source is still bound, the device holds it
  EXPECT_EQ(Pixel(Frame(), 3, 3), 0xFF00FF00u);
  dev_->SetTexture(0, nullptr);
  dev_->SetStreamSource(0, nullptr, 0, 24);
}

// Device loss: lost once, then not reset until a Reset; the frame's lost path is testable.
TEST_F(Device, SimulatedLossUntilReset) {
  EXPECT_EQ(dev_->TestCooperativeLevel(), D3D_OK);
  SimulateDeviceLoss(dev_);
  EXPECT_EQ(dev_->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(dev_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(dev_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = 20;
  pp.BackBufferHeight = 10;
  pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  pp.Windowed = TRUE;
  ASSERT_EQ(dev_->Reset(&pp), D3D_OK);
  EXPECT_EQ(dev_->TestCooperativeLevel(), D3D_OK);
  const CapturedFrame f = Frame();
  EXPECT_EQ(f.width, 20);
  EXPECT_EQ(f.height, 10);
  DWORD v = 0;
  dev_->GetRenderState(D3DRS_LIGHTING, &v);
  EXPECT_EQ(v, DWORD{TRUE});  // Reset restores the default states
}

// Headless presents land in the capture seam; scenes may nest and be unbalanced, draws outside
// a scene are drawn, and the Z flag of Clear is ignored without a depth buffer.
TEST_F(Device, PresentCapturesFrames) {
  SetCaptureFrames(true);
  EXPECT_EQ(dev_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1, 0), D3D_OK);
  EXPECT_EQ(dev_->EndScene(), D3D_OK);  // unbalanced
  dev_->BeginScene();
  dev_->BeginScene();
  dev_->EndScene();
  dev_->EndScene();
  EXPECT_EQ(dev_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  dev_->SetTexture(0, nullptr);
  Draw(D3DPT_TRIANGLEFAN, {{0, 0, 1, 0xFFFF0000, 0, 0}, {4, 0, 1, 0xFFFF0000, 0, 0},
                           {4, 4, 1, 0xFFFF0000, 0, 0}, {0, 4, 1, 0xFFFF0000, 0, 0}},
       2);
  EXPECT_EQ(dev_->EvictManagedResources(), D3D_OK);
  dev_->Present(nullptr, nullptr, nullptr, nullptr);
  SetCaptureFrames(false);
  dev_->Present(nullptr, nullptr, nullptr, nullptr);
  const auto frames = TakeCapturedFrames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].width, 32);
  EXPECT_EQ(frames[0].pixels[0], 0xFF0000FFu);
  EXPECT_EQ(frames[1].pixels[0], 0xFFFF0000u);
  EXPECT_EQ(frames[1].pixels[5 * 32 + 5], 0xFF0000FFu);
  EXPECT_TRUE(TakeCapturedFrames().empty());
}

// The frame's background rectangle is twice the screen: clipped, it covers the whole target;
// vertices at z = 1 under the orthographic projection are kept.
TEST_F(Device, OversizedRectangleCoversTarget) {
  dev_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1, 0);
  dev_->SetTexture(0, nullptr);
  Modulate();
  Blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
  const D3DCOLOR black = 0xFF000000;
  Draw(D3DPT_TRIANGLEFAN, {{0, 0, 1, black, 0, 0}, {2048, 0, 1, black, 0, 0},
                           {2048, 1536, 1, black, 0, 0}, {0, 1536, 1, black, 0, 0}},
       2);
  const CapturedFrame f = Frame();
  for (uint32_t p : f.pixels) ASSERT_EQ(p, 0xFF000000u);
}

// Nonsense numbers never crash: huge, infinite and NaN positions draw nothing or clip.
TEST_F(Device, WildCoordinatesAreSafe) {
  dev_->SetTexture(0, nullptr);
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (float bad : {1e30f, -1e30f, inf, nan}) {
    Draw(D3DPT_TRIANGLESTRIP, {{bad, 0, 1, 0xFFFFFFFF, 0, 0}, {0, 8, 1, 0xFFFFFFFF, 0, 1},
                               {8, bad, 1, 0xFFFFFFFF, 1, 0}, {8, 8, 1, 0xFFFFFFFF, 1, 1}},
         2);
    Draw(D3DPT_LINESTRIP, {{bad, bad, 1, 0xFFFFFFFF, 0, 0}, {3, 3, 1, 0xFFFFFFFF, 0, 0}}, 1);
  }
  EXPECT_EQ(Frame().width, 32);
}

// Glyph coverage from the font: blended by coverage times alpha, clipped to target and scissor.
TEST_F(Device, BlendCoverageClipsToScissor) {
  dev_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1, 0);
  const uint8_t mask[2 * 3] = {255, 128, 0, 255, 255, 255};
  BlendCoverage(dev_, 30, 0, 3, 2, mask, 3, 0xFFFFFFFF);  // runs off the right edge
  dev_->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
  const RECT clip{0, 10, 32, 24};
  dev_->SetScissorRect(&clip);
  BlendCoverage(dev_, 5, 9, 3, 2, mask, 3, 0x80FF0000);
  const CapturedFrame f = Frame();
  EXPECT_EQ(Pixel(f, 30, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Pixel(f, 31, 0), 0xFF808080u);
  EXPECT_EQ(Pixel(f, 5, 9), 0xFF000000u);   // above the scissor rectangle
  EXPECT_EQ(Pixel(f, 5, 10), 0xFF800000u);  // 255 coverage x alpha 0x80
}

}  // namespace
}  // namespace d3d9_test
