// The software device's objects: the Direct3D object, the device, vertex buffers and textures.
// Internal to the d3d9 stand-in; the rest of the system sees only d3d9.h.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/pipeline.h"
#include "platform/d3d9/render_queue.h"

namespace platform::d3d9 {

class SdlPresenter;

// Finishes the pending draws of every live device (a texture about to change may be read by them).
void FlushAllDevices();

class SoftwareVertexBuffer final : public IDirect3DVertexBuffer9 {
 public:
  SoftwareVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
  HRESULT Unlock() override;
  HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;

  const uint8_t* Data() const { return data_.data(); }
  UINT Size() const { return static_cast<UINT>(data_.size()); }

 private:
  std::atomic<ULONG> refs_{1};
  std::vector<uint8_t> data_;
  DWORD usage_, fvf_;
  D3DPOOL pool_;
};

class SoftwareTexture final : public IDirect3DTexture9 {
 public:
  SoftwareTexture(UINT width, UINT height, D3DFORMAT format, DWORD usage, D3DPOOL pool);
  ULONG AddRef() override;
  ULONG Release() override;
  DWORD GetLevelCount() override { return 1; }
  HRESULT GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) override;
  HRESULT LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect,
                   DWORD Flags) override;
  HRESULT UnlockRect(UINT Level) override;

  // The texels as draws see them; pending draws keep the store they were given.
  std::shared_ptr<const TexelStore> Store() const { return store_; }
  const TexelStore* StorePointer() const { return store_.get(); }

 private:
  std::atomic<ULONG> refs_{1};
  std::shared_ptr<TexelStore> store_;
  DWORD usage_;
  D3DPOOL pool_;
  bool locked_ = false;
  bool lock_read_only_ = false;
  RECT lock_rect_{};
};

class SoftwareDirect3D;

class SoftwareDevice final : public IDirect3DDevice9 {
 public:
  SoftwareDevice(SoftwareDirect3D* d3d, HWND window, const D3DPRESENT_PARAMETERS& pp);
  ~SoftwareDevice() override;

  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT TestCooperativeLevel() override;
  UINT GetAvailableTextureMem() override;
  HRESULT EvictManagedResources() override;
  HRESULT GetDirect3D(IDirect3D9** ppD3D9) override;
  HRESULT Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) override;
  HRESULT Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                  const void* pDirtyRegion) override;
  HRESULT CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format,
                        D3DPOOL Pool, IDirect3DTexture9** ppTexture,
                        HANDLE* pSharedHandle) override;
  HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                             IDirect3DVertexBuffer9** ppVertexBuffer,
                             HANDLE* pSharedHandle) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                DWORD Stencil) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
  HRESULT SetViewport(const D3DVIEWPORT9* pViewport) override;
  HRESULT GetViewport(D3DVIEWPORT9* pViewport) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
  HRESULT SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) override;
  HRESULT GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type,
                               DWORD* pValue) override;
  HRESULT SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
  HRESULT GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) override;
  HRESULT SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override;
  HRESULT SetScissorRect(const RECT* pRect) override;
  HRESULT GetScissorRect(RECT* pRect) override;
  HRESULT SetFVF(DWORD FVF) override;
  HRESULT GetFVF(DWORD* pFVF) override;
  HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData,
                          UINT OffsetInBytes, UINT Stride) override;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex,
                        UINT PrimitiveCount) override;

  // Seam and stand-in internals.
  int Width() const { return width_; }
  int Height() const { return height_; }
  void Flush();
  CapturedFrame Snapshot();
  void SimulateLoss();
  void SubmitCoverage(int x, int y, int w, int h, const uint8_t* coverage, int pitch,
                      D3DCOLOR color);

 private:
  static constexpr int kStages = 8;
  static constexpr int kStageStates = 33;
  static constexpr int kSamplers = 16;
  static constexpr int kSamplerStates = 14;
  static constexpr int kRenderStates = 256;

  void ResetStates();
  bool AllocateBackBuffer(const D3DPRESENT_PARAMETERS& pp);
  // Every draw setting except the texture, which draws share by reference.
  DrawState CurrentSettings() const;
  Target BackBuffer();
  PixelRect ClipRect() const;

  std::atomic<ULONG> refs_{1};
  SoftwareDirect3D* d3d_;
  HWND window_;
  D3DPRESENT_PARAMETERS params_{};
  std::vector<uint32_t> back_buffer_;
  int width_ = 0, height_ = 0;

  D3DMATRIX world_{}, view_{}, projection_{};
  Matrix4 view_wide_, projection_wide_;  // view_ and projection_ in double, kept in step
  Matrix4 wvp_;
  bool wvp_dirty_ = true;
  D3DVIEWPORT9 viewport_{};
  DWORD render_states_[kRenderStates]{};
  DWORD stage_states_[kStages][kStageStates]{};
  DWORD sampler_states_[kSamplers][kSamplerStates]{};
  RECT scissor_{};
  DWORD fvf_ = 0;
  SoftwareVertexBuffer* stream_ = nullptr;
  UINT stream_offset_ = 0, stream_stride_ = 0;
  SoftwareTexture* textures_[kStages]{};

  enum class Cooperative { kNormal, kLostPending, kNotReset };
  Cooperative cooperative_ = Cooperative::kNormal;
  int scene_depth_ = 0;

  RenderQueue queue_;
  std::unique_ptr<SdlPresenter> presenter_;
  std::vector<ClipVertex> clip_scratch_;
  std::vector<ProjectedVertex> projected_scratch_;
  std::vector<ScreenVertex> screen_scratch_;
};

class SoftwareDirect3D final : public IDirect3D9 {
 public:
  ULONG AddRef() override;
  ULONG Release() override;
  UINT GetAdapterCount() override { return 1; }
  HRESULT GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) override;
  UINT GetAdapterModeCount(UINT Adapter, D3DFORMAT Format) override;
  HRESULT EnumAdapterModes(UINT Adapter, D3DFORMAT Format, UINT Mode,
                           D3DDISPLAYMODE* pMode) override;
  HRESULT CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                       DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pPresentationParameters,
                       IDirect3DDevice9** ppReturnedDeviceInterface) override;

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace platform::d3d9
