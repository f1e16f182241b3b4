// The engine against a device that fails on request: vertex buffers that cannot be made or
// locked, and clip rectangles whose intersection is empty. A wrapper around the software device
// counts the draws and records the scissor rectangles it is handed.
#include "surface_fixture.h"

#include "game/GroupStack.h"
#include "platform/d3d9/d3d9_forwarding.h"

using namespace surface_test;
using namespace platform::d3d9;
using platform::win32::E_FAIL;
using platform::win32::FAILED;

namespace {

struct Faults {
  bool failCreateVB = false;
  bool failLock = false;
  int draws = 0;
  std::vector<RECT> scissors;
};

class FaultyVB final : public IDirect3DVertexBuffer9 {
 public:
  FaultyVB(IDirect3DVertexBuffer9* inner, Faults& f) : inner_(inner), f_(f) {}
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG r = --refs_;
    if (r == 0) {
      inner_->Release();
      delete this;
    }
    return r;
  }
  HRESULT Lock(UINT o, UINT s, void** p, DWORD fl) override {
    if (f_.failLock) return E_FAIL;
    return inner_->Lock(o, s, p, fl);
  }
  HRESULT Unlock() override { return inner_->Unlock(); }
  HRESULT GetDesc(D3DVERTEXBUFFER_DESC* d) override { return inner_->GetDesc(d); }
  IDirect3DVertexBuffer9* inner_;

 private:
  ULONG refs_ = 1;
  Faults& f_;
};

class FaultyDevice final : public ForwardingDevice {
 public:
  FaultyDevice(IDirect3DDevice9* inner, Faults& f) : ForwardingDevice(inner), f_(f) {}
  HRESULT CreateVertexBuffer(UINT len, DWORD u, DWORD fvf, D3DPOOL p, IDirect3DVertexBuffer9** vb,
                             HANDLE* s) override {
    if (f_.failCreateVB) return D3DERR_OUTOFVIDEOMEMORY;
    IDirect3DVertexBuffer9* inner = nullptr;
    const HRESULT hr = in_->CreateVertexBuffer(len, u, fvf, p, &inner, s);
    if (FAILED(hr)) return hr;
    *vb = new FaultyVB(inner, f_);
    return hr;
  }
  HRESULT SetScissorRect(const RECT* r) override {
    f_.scissors.push_back(*r);
    return in_->SetScissorRect(r);
  }
  HRESULT SetStreamSource(UINT n, IDirect3DVertexBuffer9* vb, UINT o, UINT s) override {
    auto* w = dynamic_cast<FaultyVB*>(vb);
    return in_->SetStreamSource(n, w ? w->inner_ : vb, o, s);
  }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE t, UINT v, UINT c) override {
    ++f_.draws;
    return in_->DrawPrimitive(t, v, c);
  }

 private:
  Faults& f_;
};

class DeviceFaultsTest : public SurfaceTest {
 protected:
  void SetUp() override {
    SurfaceTest::SetUp();
    PutFile("atlas.png", "data/Textures/atlas.png");
    auto& e = MakeEngine(32, 32);
    // The wrapper takes over the engine's reference to the real device.
    e.g_pd3dDevice = new FaultyDevice(e.g_pd3dDevice, faults_);
  }
  void DrawAll() {
    DrawPicture("a", 0, 0);
    engine_->DrawLine(255, 0xFF0000, 1, 1, 9, 9, true);
    engine_->DrawLine(255, 0xFF0000, 1, 1, 9, 9, false);
    engine_->DrawTriangle(255, 0xFF, 0, 0, 9, 0, 0, 9, true, 255, 255, 0xFF, 0xFF, "", 0, 0, 0,
                          0, 0, 0, 0);
  }
  Faults faults_;
};

TEST_F(DeviceFaultsTest, AVertexBufferThatCannotBeMadeDropsTheSurface) {
  faults_.failCreateVB = true;
  engine_->CreateSufaceFromTexture("a", "atlas.png", RECT{0, 0, 16, 16}, true, false, 0, false);
  EXPECT_TRUE(engine_->Surfaces.empty());
  EXPECT_EQ(engine_->IndexOfSurface("a"), -1);
}

TEST_F(DeviceFaultsTest, FailedBuffersSkipTheirDrawAndTheNextFrameRecovers) {
  engine_->CreateSufaceFromTexture("a", "atlas.png", RECT{0, 0, 16, 16}, true, false, 0, false);
  faults_.failLock = true;
  DrawAll();
  EXPECT_EQ(faults_.draws, 0);
  EXPECT_TRUE(engine_->Lines.empty());  // nothing half-made is cached
  EXPECT_TRUE(engine_->Triangles.empty());
  EXPECT_NE(LogText().find("TKeshSurfaceEngine3D.SetVBForSurfaces FAILED Surface.VB.Locka"),
            std::string::npos);

  faults_.failLock = false;
  faults_.failCreateVB = true;
  DrawAll();
  EXPECT_EQ(faults_.draws, 1);  // the picture keeps its buffer; lines and triangle need new ones

  faults_.failCreateVB = false;
  DrawAll();
  EXPECT_EQ(faults_.draws, 5);
  EXPECT_EQ(engine_->Lines.size(), 2u);
}

TEST_F(DeviceFaultsTest, AnEmptyClipIntersectionDrawsNothing) {
  engine_->CreateSufaceFromTexture("a", "atlas.png", RECT{0, 0, 16, 16}, true, false, 0, false);
  tClipRect inverted;
  inverted.ClipLeft = 20;
  inverted.ClipTop = 0;
  inverted.ClipRight = 10;  // two clips side by side: their intersection is empty
  inverted.ClipBottom = 32;
  tClipRect flat = inverted;
  flat.ClipLeft = 0;
  flat.ClipRight = 32;
  flat.ClipTop = 5.2;
  flat.ClipBottom = 4.8;  // empty once rounded
  for (const tClipRect& c : {inverted, flat}) {
    ClipStack = {c};
    DrawAll();
  }
  EXPECT_EQ(faults_.draws, 0);
  EXPECT_TRUE(faults_.scissors.empty());

  tClipRect ok = inverted;
  ok.ClipLeft = 2.5;  // rounds to 2 (halves to even)
  ok.ClipRight = 10;
  ClipStack = {ok};
  DrawAll();
  EXPECT_EQ(faults_.draws, 4);
  ASSERT_FALSE(faults_.scissors.empty());
  EXPECT_EQ(faults_.scissors[0].left, 2);
  EXPECT_EQ(faults_.scissors[0].right, 10);
}

}  // namespace
