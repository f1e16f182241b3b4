// A device that hands every call to another device: the seam through which tests and benchmarks
// watch the calls, fail some on request or drop the drawing, by overriding only those calls.
// It takes over one reference to the inner device and releases it with its own last reference.
#pragma once

#include "platform/d3d9/d3d9.h"

namespace platform::d3d9 {

class ForwardingDevice : public IDirect3DDevice9 {
 public:
  explicit ForwardingDevice(IDirect3DDevice9* inner) : in_(inner) {}
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG r = --refs_;
    if (r == 0) {
      in_->Release();
      delete this;
    }
    return r;
  }
  HRESULT TestCooperativeLevel() override { return in_->TestCooperativeLevel(); }
  UINT GetAvailableTextureMem() override { return in_->GetAvailableTextureMem(); }
  HRESULT EvictManagedResources() override { return in_->EvictManagedResources(); }
  HRESULT GetDirect3D(IDirect3D9** p) override { return in_->GetDirect3D(p); }
  HRESULT Reset(D3DPRESENT_PARAMETERS* p) override { return in_->Reset(p); }
  HRESULT Present(const RECT* a, const RECT* b, HWND w, const void* r) override {
    return in_->Present(a, b, w, r);
  }
  HRESULT CreateTexture(UINT w, UINT h, UINT l, DWORD u, D3DFORMAT fm, D3DPOOL p,
                        IDirect3DTexture9** t, HANDLE* s) override {
    return in_->CreateTexture(w, h, l, u, fm, p, t, s);
  }
  HRESULT CreateVertexBuffer(UINT len, DWORD u, DWORD fvf, D3DPOOL p, IDirect3DVertexBuffer9** vb,
                             HANDLE* s) override {
    return in_->CreateVertexBuffer(len, u, fvf, p, vb, s);
  }
  HRESULT BeginScene() override { return in_->BeginScene(); }
  HRESULT EndScene() override { return in_->EndScene(); }
  HRESULT Clear(DWORD c, const D3DRECT* r, DWORD fl, D3DCOLOR col, float z, DWORD s) override {
    return in_->Clear(c, r, fl, col, z, s);
  }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE s, const D3DMATRIX* m) override {
    return in_->SetTransform(s, m);
  }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE s, D3DMATRIX* m) override {
    return in_->GetTransform(s, m);
  }
  HRESULT SetViewport(const D3DVIEWPORT9* v) override { return in_->SetViewport(v); }
  HRESULT GetViewport(D3DVIEWPORT9* v) override { return in_->GetViewport(v); }
  HRESULT SetRenderState(D3DRENDERSTATETYPE s, DWORD v) override {
    return in_->SetRenderState(s, v);
  }
  HRESULT GetRenderState(D3DRENDERSTATETYPE s, DWORD* v) override {
    return in_->GetRenderState(s, v);
  }
  HRESULT SetTexture(DWORD s, IDirect3DBaseTexture9* t) override { return in_->SetTexture(s, t); }
  HRESULT GetTextureStageState(DWORD s, D3DTEXTURESTAGESTATETYPE t, DWORD* v) override {
    return in_->GetTextureStageState(s, t, v);
  }
  HRESULT SetTextureStageState(DWORD s, D3DTEXTURESTAGESTATETYPE t, DWORD v) override {
    return in_->SetTextureStageState(s, t, v);
  }
  HRESULT GetSamplerState(DWORD s, D3DSAMPLERSTATETYPE t, DWORD* v) override {
    return in_->GetSamplerState(s, t, v);
  }
  HRESULT SetSamplerState(DWORD s, D3DSAMPLERSTATETYPE t, DWORD v) override {
    return in_->SetSamplerState(s, t, v);
  }
  HRESULT SetScissorRect(const RECT* r) override { return in_->SetScissorRect(r); }
  HRESULT GetScissorRect(RECT* r) override { return in_->GetScissorRect(r); }
  HRESULT SetFVF(DWORD fvf) override { return in_->SetFVF(fvf); }
  HRESULT GetFVF(DWORD* fvf) override { return in_->GetFVF(fvf); }
  HRESULT SetStreamSource(UINT n, IDirect3DVertexBuffer9* vb, UINT o, UINT s) override {
    return in_->SetStreamSource(n, vb, o, s);
  }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE t, UINT v, UINT c) override {
    return in_->DrawPrimitive(t, v, c);
  }

 protected:
  virtual ~ForwardingDevice() = default;
  IDirect3DDevice9* in_;

 private:
  ULONG refs_ = 1;
};

}  // namespace platform::d3d9
