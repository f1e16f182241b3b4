// The DirectDraw object of the software device: it only answers the video-memory query.
#include "platform/ddraw/ddraw.h"

#include <atomic>

namespace platform::ddraw {
namespace {

std::atomic<DWORD> g_localVideoMemory{kDefaultLocalVideoMemory};

class SoftwareDirectDraw final : public IDirectDraw7 {
 public:
  explicit SoftwareDirectDraw(DWORD localMemory) : localMemory_(localMemory) {}

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetAvailableVidMem(DDSCAPS2* caps, DWORD* total, DWORD* free) override {
    if (caps == nullptr) return DDERR_INVALIDPARAMS;
    // Textures of the software device live in main memory; only a request for local video
    // memory is answered with the configured amount, so that asking for AGP or system memory
    // does not count the same bytes twice.
    const bool local = (caps->dwCaps & (DDSCAPS_NONLOCALVIDMEM | DDSCAPS_SYSTEMMEMORY)) == 0;
    const DWORD amount = local ? localMemory_ : 0;
    if (total != nullptr) *total = amount;
    if (free != nullptr) *free = amount;
    return DD_OK;
  }

 private:
  ~SoftwareDirectDraw() override = default;

  ULONG refs_ = 1;
  DWORD localMemory_;
};

}  // namespace

HRESULT DirectDrawCreateEx(GUID* /*guid*/, void** directDraw, REFIID iid, IUnknown* outer) {
  if (directDraw == nullptr) return DDERR_INVALIDPARAMS;
  *directDraw = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if (!(iid == IID_IDirectDraw7)) return DDERR_INVALIDPARAMS;
  *directDraw = static_cast<IDirectDraw7*>(new SoftwareDirectDraw(g_localVideoMemory.load()));
  return DD_OK;
}

void SetLocalVideoMemory(DWORD bytes) { g_localVideoMemory.store(bytes); }

}  // namespace platform::ddraw
