// The software device: state, resource creation, draws and the frame calls. Draws run the
// pipeline stages of pipeline.h; the fast paths record set-up triangles in a command list that
// Present (or anything that reads pixels) rasterises on worker threads, while the reference path
// rasterises each draw at once on this thread.
#include "platform/d3d9/device_software.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <typeinfo>

#include "platform/d3d9/d3d9_internal.h"
#include "platform/d3d9/present_sdl.h"


namespace platform::d3d9 {
namespace {

std::mutex g_devices_mutex;
std::set<SoftwareDevice*> g_devices;

// A bound on recorded commands, so a program that never presents still draws in bounded memory.
constexpr size_t kMaxPendingCommands = 200000;

D3DMATRIX IdentityMatrix() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  return m;
}

bool IsLinear(DWORD filter) { return filter == D3DTEXF_LINEAR || filter == D3DTEXF_ANISOTROPIC; }

UINT VertexCount(D3DPRIMITIVETYPE type, UINT count) {
  switch (type) {
    case D3DPT_POINTLIST: return count;
    case D3DPT_LINELIST: return 2 * count;
    case D3DPT_LINESTRIP: return count + 1;
    case D3DPT_TRIANGLELIST: return 3 * count;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return count + 2;
    default: return 0;
  }
}

// Whether two states draw alike, textures aside.
bool SameSettings(const DrawState& a, const DrawState& b) {
  return a.stage.color_op == b.stage.color_op && a.stage.color_arg1 == b.stage.color_arg1 &&
         a.stage.color_arg2 == b.stage.color_arg2 && a.stage.alpha_op == b.stage.alpha_op &&
         a.stage.alpha_arg1 == b.stage.alpha_arg1 && a.stage.alpha_arg2 == b.stage.alpha_arg2 &&
         a.tfactor == b.tfactor && a.mag_linear == b.mag_linear &&
         a.min_linear == b.min_linear && a.blend == b.blend && a.src_blend == b.src_blend &&
         a.dest_blend == b.dest_blend && a.blend_op == b.blend_op &&
         a.clip.left == b.clip.left && a.clip.top == b.clip.top &&
         a.clip.right == b.clip.right && a.clip.bottom == b.clip.bottom;
}

// dynamic_cast to one of our final classes, with the common case (it is one) decided by type.
template <typename To, typename From>
To* OwnObject(From* p) {
  if (!p) return nullptr;
  if (typeid(*p) == typeid(To)) return static_cast<To*>(p);
  return dynamic_cast<To*>(p);
}

}  // namespace

void FlushAllDevices() {
  std::lock_guard<std::mutex> lock(g_devices_mutex);
  for (SoftwareDevice* d : g_devices) d->Flush();
}

// Presents go to the device window, or to the focus window when none is given.
SoftwareDevice::SoftwareDevice(SoftwareDirect3D* d3d, HWND window,
                               const D3DPRESENT_PARAMETERS& pp)
    : d3d_(d3d), window_(pp.hDeviceWindow ? pp.hDeviceWindow : window), params_(pp) {
  d3d_->AddRef();
  AllocateBackBuffer(pp);
  ResetStates();
  std::lock_guard<std::mutex> lock(g_devices_mutex);
  g_devices.insert(this);
}

SoftwareDevice::~SoftwareDevice() {
  {
    std::lock_guard<std::mutex> lock(g_devices_mutex);
    g_devices.erase(this);
  }
  queue_.Discard();
  SafeRelease(stream_);
  for (auto& t : textures_) SafeRelease(t);
  presenter_.reset();
  d3d_->Release();
}

ULONG SoftwareDevice::AddRef() { return ++refs_; }

ULONG SoftwareDevice::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

bool SoftwareDevice::AllocateBackBuffer(const D3DPRESENT_PARAMETERS& pp) {
  int w = static_cast<int>(pp.BackBufferWidth), h = static_cast<int>(pp.BackBufferHeight);
  if (w <= 0 || h <= 0) {
    // Windowed with no size: the platform takes the window's client area.
    if (!ClientSize(pp.hDeviceWindow ? pp.hDeviceWindow : window_, &w, &h)) return false;
  }
  if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return false;
  try {
    back_buffer_.assign(static_cast<size_t>(w) * h, 0xFF000000u);
  } catch (const std::bad_alloc&) {
    return false;
  }
  width_ = w;
  height_ = h;
  params_ = pp;
  params_.BackBufferWidth = static_cast<UINT>(w);
  params_.BackBufferHeight = static_cast<UINT>(h);
  params_.BackBufferFormat = D3DFMT_X8R8G8B8;
  return true;
}

void SoftwareDevice::ResetStates() {
  world_ = view_ = projection_ = IdentityMatrix();
  view_wide_ = projection_wide_ = Matrix4::From(view_);
  wvp_dirty_ = true;
  viewport_ = {0, 0, static_cast<DWORD>(width_), static_cast<DWORD>(height_), 0.0f, 1.0f};
  std::fill(std::begin(render_states_), std::end(render_states_), 0);
  render_states_[D3DRS_ZENABLE] = params_.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
  render_states_[D3DRS_FILLMODE] = 3;   // solid
  render_states_[D3DRS_SHADEMODE] = 2;  // Gouraud
  render_states_[D3DRS_ZWRITEENABLE] = TRUE;
  render_states_[D3DRS_LASTPIXEL] = TRUE;
  render_states_[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  render_states_[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  render_states_[D3DRS_CULLMODE] = D3DCULL_CCW;
  render_states_[D3DRS_ZFUNC] = 4;      // less-equal
  render_states_[D3DRS_ALPHAFUNC] = 8;  // always
  render_states_[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
  render_states_[D3DRS_CLIPPING] = TRUE;
  render_states_[D3DRS_LIGHTING] = TRUE;
  render_states_[D3DRS_COLORVERTEX] = TRUE;
  render_states_[D3DRS_COLORWRITEENABLE] = 0xF;
  render_states_[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
  for (int s = 0; s < kStages; ++s) {
    DWORD* st = stage_states_[s];
    std::fill(st, st + kStageStates, 0);
    st[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    st[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    st[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    st[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    st[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    st[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    st[D3DTSS_TEXCOORDINDEX] = static_cast<DWORD>(s);
    st[D3DTSS_COLORARG0] = st[D3DTSS_ALPHAARG0] = st[D3DTSS_RESULTARG] = D3DTA_CURRENT;
  }
  for (auto& sampler : sampler_states_) {
    std::fill(sampler, sampler + kSamplerStates, 0);
    sampler[D3DSAMP_ADDRESSU] = sampler[D3DSAMP_ADDRESSV] = sampler[D3DSAMP_ADDRESSW] =
        D3DTADDRESS_WRAP;
    sampler[D3DSAMP_MAGFILTER] = sampler[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    sampler[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    sampler[D3DSAMP_MAXANISOTROPY] = 1;
  }
  scissor_ = {0, 0, width_, height_};
  fvf_ = 0;
  SafeRelease(stream_);
  stream_offset_ = stream_stride_ = 0;
  for (auto& t : textures_) SafeRelease(t);
}

Target SoftwareDevice::BackBuffer() { return {back_buffer_.data(), width_, height_, width_}; }

PixelRect SoftwareDevice::ClipRect() const {
  PixelRect r{0, 0, width_, height_};
  if (render_states_[D3DRS_SCISSORTESTENABLE]) {
    const PixelRect s{scissor_.left, scissor_.top, scissor_.right, scissor_.bottom};
    r = Intersect(r, s);  // an empty or inverted rectangle leaves nothing
  }
  const PixelRect vp{static_cast<int>(viewport_.X), static_cast<int>(viewport_.Y),
                     static_cast<int>(viewport_.X + viewport_.Width),
                     static_cast<int>(viewport_.Y + viewport_.Height)};
  return Intersect(r, vp);
}

DrawState SoftwareDevice::CurrentSettings() const {
  DrawState s;
  const DWORD* st = stage_states_[0];
  s.stage = {st[D3DTSS_COLOROP],  st[D3DTSS_COLORARG1], st[D3DTSS_COLORARG2],
             st[D3DTSS_ALPHAOP],  st[D3DTSS_ALPHAARG1], st[D3DTSS_ALPHAARG2]};
  s.tfactor = render_states_[D3DRS_TEXTUREFACTOR];
  s.mag_linear = IsLinear(sampler_states_[0][D3DSAMP_MAGFILTER]);
  s.min_linear = IsLinear(sampler_states_[0][D3DSAMP_MINFILTER]);
  s.blend = render_states_[D3DRS_ALPHABLENDENABLE] != FALSE;
  s.src_blend = render_states_[D3DRS_SRCBLEND];
  s.dest_blend = render_states_[D3DRS_DESTBLEND];
  s.blend_op = render_states_[D3DRS_BLENDOP];
  s.clip = ClipRect();
  return s;
}

void SoftwareDevice::Flush() { queue_.Flush(BackBuffer()); }

CapturedFrame SoftwareDevice::Snapshot() {
  Flush();
  CapturedFrame f;
  f.width = width_;
  f.height = height_;
  f.pixels.resize(back_buffer_.size());
  for (size_t i = 0; i < back_buffer_.size(); ++i) f.pixels[i] = back_buffer_[i] | 0xFF000000u;
  return f;
}

void SoftwareDevice::SimulateLoss() { cooperative_ = Cooperative::kLostPending; }

// ---- Frame calls -----------------------------------------------------------------------------

HRESULT SoftwareDevice::TestCooperativeLevel() {
  switch (cooperative_) {
    case Cooperative::kLostPending:
      cooperative_ = Cooperative::kNotReset;
      return D3DERR_DEVICELOST;
    case Cooperative::kNotReset: return D3DERR_DEVICENOTRESET;
    default: return D3D_OK;
  }
}

UINT SoftwareDevice::GetAvailableTextureMem() { return 512u * 1024u * 1024u; }

HRESULT SoftwareDevice::EvictManagedResources() { return D3D_OK; }

HRESULT SoftwareDevice::GetDirect3D(IDirect3D9** out) {
  if (!out) return D3DERR_INVALIDCALL;
  d3d_->AddRef();
  *out = d3d_;
  return D3D_OK;
}

HRESULT SoftwareDevice::Reset(D3DPRESENT_PARAMETERS* pp) {
  if (!pp) return D3DERR_INVALIDCALL;
  queue_.Discard();
  if (!AllocateBackBuffer(*pp)) return D3DERR_INVALIDCALL;
  pp->BackBufferWidth = params_.BackBufferWidth;
  pp->BackBufferHeight = params_.BackBufferHeight;
  if (pp->BackBufferFormat == D3DFMT_UNKNOWN) pp->BackBufferFormat = D3DFMT_X8R8G8B8;
  if (pp->hDeviceWindow) window_ = pp->hDeviceWindow;
  ResetStates();
  cooperative_ = Cooperative::kNormal;
  scene_depth_ = 0;
  return D3D_OK;
}

HRESULT SoftwareDevice::Present(const RECT*, const RECT*, HWND override_window, const void*) {
  if (cooperative_ != Cooperative::kNormal) return D3DERR_DEVICELOST;
  Flush();
  RecordCapturedFrame(back_buffer_.data(), width_, height_);
  HWND target = override_window ? override_window : window_;
  if (!presenter_) presenter_ = std::make_unique<SdlPresenter>();
  // A frame is megabytes: the copy or scaling into the window goes band by band on the workers.
  presenter_->Present(target, back_buffer_.data(), width_, height_,
                      [this](int rows, const std::function<void(int, int)>& work) { queue_.ForRowBands(rows, work); });
  return D3D_OK;
}

HRESULT SoftwareDevice::BeginScene() {
  // Frames are drawn from inside script calls, so scenes may nest; every call succeeds.
  ++scene_depth_;
  return D3D_OK;
}

HRESULT SoftwareDevice::EndScene() {
  if (scene_depth_ > 0) --scene_depth_;
  return D3D_OK;
}

HRESULT SoftwareDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color,
                              float, DWORD) {
  // Depth and stencil flags are ignored: the device has no depth buffer.
  if (!(flags & D3DCLEAR_TARGET)) return D3D_OK;
  const PixelRect vp{static_cast<int>(viewport_.X), static_cast<int>(viewport_.Y),
                     static_cast<int>(viewport_.X + viewport_.Width),
                     static_cast<int>(viewport_.Y + viewport_.Height)};
  const PixelRect area = Intersect(vp, {0, 0, width_, height_});
  auto fill = [&](const PixelRect& r) {
    const PixelRect c = Intersect(r, area);
    if (c.Empty()) return;
    if (ForceReferencePath()) {
      queue_.Flush(BackBuffer());
      FillRect(color, BackBuffer(), c);
    } else {
      queue_.AddFill(c, color);
    }
  };
  if (count == 0 || !rects) {
    fill(area);
  } else {
    for (DWORD i = 0; i < count; ++i) fill({rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});
  }
  return D3D_OK;
}

// ---- Resources -------------------------------------------------------------------------------

HRESULT SoftwareDevice::CreateTexture(UINT width, UINT height, UINT, DWORD usage,
                                      D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** out,
                                      HANDLE*) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (width == 0 || height == 0 || width > 8192 || height > 8192) return D3DERR_INVALIDCALL;
  if (BytesPerTexel(format) == 0) return D3DERR_INVALIDCALL;
  try {
    *out = new SoftwareTexture(width, height, format, usage, pool);
  } catch (const std::bad_alloc&) {
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  return D3D_OK;
}

HRESULT SoftwareDevice::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                           IDirect3DVertexBuffer9** out, HANDLE*) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (length == 0 || length > (256u << 20)) return D3DERR_INVALIDCALL;
  try {
    *out = new SoftwareVertexBuffer(length, usage, fvf, pool);
  } catch (const std::bad_alloc&) {
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  return D3D_OK;
}

// ---- States ----------------------------------------------------------------------------------

HRESULT SoftwareDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) {
  if (!m) return D3DERR_INVALIDCALL;
  switch (state) {
    case D3DTS_WORLD:
      // Drawers put the world back to identity after each draw; an unchanged matrix keeps the
      // combined one.
      if (std::memcmp(&world_, m, sizeof world_) == 0) return D3D_OK;
      world_ = *m;
      break;
    case D3DTS_VIEW:
      view_ = *m;
      view_wide_ = Matrix4::From(view_);
      break;
    case D3DTS_PROJECTION:
      projection_ = *m;
      projection_wide_ = Matrix4::From(projection_);
      break;
    default: return D3D_OK;  // texture transforms: not used by the fixed stages here
  }
  wvp_dirty_ = true;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* m) {
  if (!m) return D3DERR_INVALIDCALL;
  switch (state) {
    case D3DTS_WORLD: *m = world_; break;
    case D3DTS_VIEW: *m = view_; break;
    case D3DTS_PROJECTION: *m = projection_; break;
    default: *m = IdentityMatrix(); break;
  }
  return D3D_OK;
}

HRESULT SoftwareDevice::SetViewport(const D3DVIEWPORT9* vp) {
  if (!vp || vp->Width == 0 || vp->Height == 0 || vp->X + vp->Width > static_cast<DWORD>(width_) ||
      vp->Y + vp->Height > static_cast<DWORD>(height_))
    return D3DERR_INVALIDCALL;
  viewport_ = *vp;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetViewport(D3DVIEWPORT9* vp) {
  if (!vp) return D3DERR_INVALIDCALL;
  *vp = viewport_;
  return D3D_OK;
}

HRESULT SoftwareDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (state >= kRenderStates) return D3DERR_INVALIDCALL;
  render_states_[state] = value;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  if (state >= kRenderStates || !value) return D3DERR_INVALIDCALL;
  *value = render_states_[state];
  return D3D_OK;
}

HRESULT SoftwareDevice::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
  if (stage >= kStages) return D3DERR_INVALIDCALL;
  if (texture == static_cast<IDirect3DBaseTexture9*>(textures_[stage])) return D3D_OK;
  // Only our own textures can be bound; anything else reads as no texture.
  auto* t = OwnObject<SoftwareTexture>(texture);
  if (t) t->AddRef();
  SafeRelease(textures_[stage]);
  textures_[stage] = t;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                             DWORD* value) {
  if (stage >= kStages || type >= kStageStates || !value) return D3DERR_INVALIDCALL;
  *value = stage_states_[stage][type];
  return D3D_OK;
}

HRESULT SoftwareDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                             DWORD value) {
  if (stage >= kStages || type >= kStageStates) return D3DERR_INVALIDCALL;
  stage_states_[stage][type] = value;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
  if (sampler >= kSamplers || type >= kSamplerStates || !value) return D3DERR_INVALIDCALL;
  *value = sampler_states_[sampler][type];
  return D3D_OK;
}

HRESULT SoftwareDevice::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
  if (sampler >= kSamplers || type >= kSamplerStates) return D3DERR_INVALIDCALL;
  sampler_states_[sampler][type] = value;
  return D3D_OK;
}

HRESULT SoftwareDevice::SetScissorRect(const RECT* r) {
  if (!r) return D3DERR_INVALIDCALL;
  scissor_ = *r;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetScissorRect(RECT* r) {
  if (!r) return D3DERR_INVALIDCALL;
  *r = scissor_;
  return D3D_OK;
}

HRESULT SoftwareDevice::SetFVF(DWORD fvf) {
  fvf_ = fvf;
  return D3D_OK;
}

HRESULT SoftwareDevice::GetFVF(DWORD* fvf) {
  if (!fvf) return D3DERR_INVALIDCALL;
  *fvf = fvf_;
  return D3D_OK;
}

HRESULT SoftwareDevice::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* data, UINT offset,
                                        UINT stride) {
  if (stream != 0) return stream < 16 ? D3D_OK : D3DERR_INVALIDCALL;
  auto* vb = OwnObject<SoftwareVertexBuffer>(data);
  if (vb == stream_) {  // the same buffer again: no reference to move
    stream_offset_ = offset;
    stream_stride_ = stride;
    return D3D_OK;
  }
  if (vb) vb->AddRef();
  SafeRelease(stream_);
  stream_ = vb;
  stream_offset_ = offset;
  stream_stride_ = stride;
  return D3D_OK;
}

// ---- Drawing ---------------------------------------------------------------------------------

HRESULT SoftwareDevice::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count) {
  const UINT vertices = VertexCount(type, count);
  if (count == 0) return D3D_OK;
  if (vertices == 0 || !stream_ || stream_stride_ < 12) return D3DERR_INVALIDCALL;
  if ((fvf_ & D3DFVF_POSITION_MASK) != D3DFVF_XYZ) {
    LogStubOnce("DrawPrimitive: only untransformed XYZ vertices are drawn");
    return D3DERR_INVALIDCALL;
  }
  // A stride shorter than the format would read past the last vertex.
  if (stream_stride_ < FvfSize(fvf_)) return D3DERR_INVALIDCALL;
  const uint64_t end =
      uint64_t{stream_offset_} + (uint64_t{start} + vertices) * uint64_t{stream_stride_};
  if (end > stream_->Size()) return D3DERR_INVALIDCALL;
  if (type == D3DPT_POINTLIST) {
    LogStubOnce("DrawPrimitive: point lists are not drawn");
    return D3D_OK;
  }

  // Vertex transform.
  if (wvp_dirty_) {
    wvp_ = Multiply(Multiply(Matrix4::From(world_), view_wide_), projection_wide_);
    wvp_dirty_ = false;
  }
  const bool lighting = render_states_[D3DRS_LIGHTING] != FALSE;
  const uint8_t* base = stream_->Data() + stream_offset_;
  clip_scratch_.resize(vertices);
  for (UINT i = 0; i < vertices; ++i)
    clip_scratch_[i] = TransformVertex(base, stream_stride_, fvf_, start + i, wvp_, lighting);

  DrawState state = CurrentSettings();
  if (state.clip.Empty()) return D3D_OK;
  const Viewport vp{static_cast<double>(viewport_.X), static_cast<double>(viewport_.Y),
                    static_cast<double>(viewport_.Width), static_cast<double>(viewport_.Height)};
  const SoftwareTexture* texture = textures_[0];
  const TexelStore* store = texture ? texture->StorePointer() : nullptr;
  const int tex_w = store ? store->width : 1;
  const int tex_h = store ? store->height : 1;
  const bool reference = ForceReferencePath();
  if (!reference && queue_.Pending() > kMaxPendingCommands) Flush();
  if (reference) Flush();  // keep submission order when the switch flips mid-frame
  if (reference && texture) state.texture = texture->Store();
  const Target target = BackBuffer();
  uint32_t state_index = UINT32_MAX;
  // Draws in a row with the same state share one record of it.
  auto state_ref = [&]() -> uint32_t {
    if (state_index != UINT32_MAX) return state_index;
    const DrawState* last = queue_.LastState();
    if (last && last->texture.get() == store && SameSettings(*last, state)) {
      state_index = queue_.LastStateIndex();
    } else {
      DrawState recorded = state;
      if (texture) recorded.texture = texture->Store();
      state_index = queue_.AddState(std::move(recorded));
    }
    return state_index;
  };

  screen_scratch_.clear();
  if (type == D3DPT_LINESTRIP || type == D3DPT_LINELIST) {
    // Clipping, then line set-up and rasterisation.
    for (UINT i = 0; i < count; ++i) {
      const UINT a = type == D3DPT_LINESTRIP ? i : 2 * i;
      ClipLine(clip_scratch_[a], clip_scratch_[a + 1], vp, screen_scratch_);
    }
    for (size_t i = 0; i + 1 < screen_scratch_.size(); i += 2) {
      const LineSetup l{screen_scratch_[i], screen_scratch_[i + 1], tex_w, tex_h};
      if (reference)
        RasterLine(l, state, target, state.clip);
      else
        queue_.AddLine(l, state_ref());
    }
    if (!reference) queue_.Kick(target);
    return D3D_OK;
  }

  // Triangles of strips and fans share corners: project each vertex once.
  projected_scratch_.resize(vertices);
  for (UINT i = 0; i < vertices; ++i) projected_scratch_[i] = ProjectVertex(clip_scratch_[i], vp);
  for (UINT i = 0; i < count; ++i) {
    UINT a, b, c;
    if (type == D3DPT_TRIANGLESTRIP) {
      // Odd triangles of a strip are wound the other way; swap to keep one winding.
      a = (i & 1) ? i + 1 : i;
      b = (i & 1) ? i : i + 1;
      c = i + 2;
    } else if (type == D3DPT_TRIANGLEFAN) {
      a = 0, b = i + 1, c = i + 2;
    } else {
      a = 3 * i, b = 3 * i + 1, c = 3 * i + 2;
    }
    ClipTriangle(clip_scratch_[a], clip_scratch_[b], clip_scratch_[c], projected_scratch_[a],
                 projected_scratch_[b], projected_scratch_[c], vp, screen_scratch_);
  }
  const DWORD cull = render_states_[D3DRS_CULLMODE];
  for (size_t i = 0; i + 2 < screen_scratch_.size(); i += 3) {
    const ScreenVertex& v0 = screen_scratch_[i];
    const ScreenVertex& v1 = screen_scratch_[i + 1];
    const ScreenVertex& v2 = screen_scratch_[i + 2];
    // With y growing downwards a positive area is clockwise on screen.
    const double area = (v1.x - v0.x) * (v2.y - v0.y) - (v1.y - v0.y) * (v2.x - v0.x);
    if ((cull == D3DCULL_CW && area > 0) || (cull == D3DCULL_CCW && area < 0)) continue;
    TriangleSetup t;
    if (!SetupTriangle(v0, v1, v2, tex_w, tex_h, state.clip, state.mag_linear, state.min_linear,
                       t))
      continue;
    if (reference)
      RasterTriangleReference(t, state, target, state.clip);
    else
      queue_.AddTriangle(t, state_ref());
  }
  if (!reference) queue_.Kick(target);
  return D3D_OK;
}

void SoftwareDevice::SubmitCoverage(int x, int y, int w, int h, const uint8_t* coverage,
                                    int pitch, D3DCOLOR color) {
  if (!coverage || w <= 0 || h <= 0) return;
  PixelRect clip{0, 0, width_, height_};
  if (render_states_[D3DRS_SCISSORTESTENABLE])
    clip = Intersect(clip, {scissor_.left, scissor_.top, scissor_.right, scissor_.bottom});
  if (ForceReferencePath()) {
    Flush();
    RasterCoverage(x, y, w, h, coverage, pitch, color, BackBuffer(), clip);
  } else {
    queue_.AddCoverage(x, y, w, h, coverage, pitch, color, clip);
  }
}

void BlendCoverage(IDirect3DDevice9* device, int x, int y, int w, int h, const uint8_t* coverage,
                   int pitch, D3DCOLOR color) {
  if (auto* d = dynamic_cast<SoftwareDevice*>(device))
    d->SubmitCoverage(x, y, w, h, coverage, pitch, color);
}

}  // namespace platform::d3d9
