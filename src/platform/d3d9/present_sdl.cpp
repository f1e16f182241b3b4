// Present into the window's own surface, backed by SDL's native framebuffer (X11 shared memory
// rather than a GL texture: the frame is already in memory, and on a machine without a GPU a GL
// round trip is a second software rasteriser). The back buffer's 0xFFRRGGBB pixels are SDL's
// ARGB8888, so a surface of the same size takes them row by row; another size is scaled
// bilinearly, as a stretched picture looked before.
#include "platform/d3d9/present_sdl.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/win32_sdl.h"

namespace platform::d3d9 {
namespace {

bool HeadlessVideo() {
  const char* driver = SDL_GetCurrentVideoDriver();
  return !driver || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0;
}

// SDL's own switch for programs that want every frame at once: "0" turns the wait for the
// display's refresh off.
bool VsyncTurnedOff() {
  const char* hint = SDL_GetHint(SDL_HINT_RENDER_VSYNC);
  return hint != nullptr && std::strcmp(hint, "0") == 0;
}

// 32-bit surfaces whose pixels read as 0x??RRGGBB take the back buffer's bytes unchanged.
bool SameLayout(const SDL_Surface* surface) {
  const Uint32 f = surface->format->format;
  return f == SDL_PIXELFORMAT_ARGB8888 || f == SDL_PIXELFORMAT_RGB888;
}

// One refresh of the window's display (60 Hz when it does not say).
uint64_t RefreshTicks(SDL_Window* w) {
  SDL_DisplayMode mode;
  const int display = SDL_GetWindowDisplayIndex(w);
  const int refresh =
      (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0) ? mode.refresh_rate : 60;
  return SDL_GetPerformanceFrequency() / static_cast<uint64_t>(refresh);
}

}  // namespace

bool ClientSize(HWND window, int* width, int* height) {
  SDL_Window* w = window ? platform::win32::SdlWindowOf(window) : nullptr;
  if (!w) return false;
  SDL_GetWindowSize(w, width, height);
  return *width > 0 && *height > 0;
}

// Every presenter, so that a change to any window first lets frames in flight finish.
std::mutex g_presenters_mutex;
std::vector<SdlPresenter*> g_presenters;

void SettleAllPresenters() {
  std::lock_guard<std::mutex> lock(g_presenters_mutex);
  for (SdlPresenter* p : g_presenters) p->Settle();
}

SdlPresenter::~SdlPresenter() {
  Drop();
  if (shower_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    shower_.join();
    std::lock_guard<std::mutex> lock(g_presenters_mutex);
    g_presenters.erase(std::find(g_presenters.begin(), g_presenters.end(), this));
  }
}

void SdlPresenter::Drop() {
  Settle();
  if (source_) SDL_FreeSurface(source_);
  source_ = nullptr;
  window_ = nullptr;
}

void SdlPresenter::Settle() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return !pending_; });
}

void SdlPresenter::ShowLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return pending_ || stop_; });
    if (!pending_) return;
    SDL_Window* w = window_;
    const uint64_t frame = refresh_ticks_;
    lock.unlock();
    if (frame != 0) {
      // Emulates the default presentation interval: at most one frame a refresh.
      const uint64_t now = SDL_GetPerformanceCounter();
      if (last_shown_ != 0 && now - last_shown_ < frame) {
        const uint64_t wait_ms = (frame - (now - last_shown_)) * 1000 / SDL_GetPerformanceFrequency();
        if (wait_ms > 0) SDL_Delay(static_cast<Uint32>(wait_ms));
      }
      last_shown_ = SDL_GetPerformanceCounter();
    }
    SDL_UpdateWindowSurface(w);
    lock.lock();
    pending_ = false;
    changed_.notify_all();
  }
}

void SdlPresenter::Present(HWND window, const uint32_t* pixels, int width, int height, const RowCopier& copyRows) {
  if (!window || HeadlessVideo()) return;
  SDL_Window* w = platform::win32::SdlWindowOf(window);
  if (!w) return;
  Settle();
  if (w != window_) {
    Drop();
    window_ = w;
    // At default priority, so that a user's own setting still wins.
    SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
  }
  // Asked for every frame: a resized window gets a new surface.
  SDL_Surface* surface = SDL_GetWindowSurface(w);
  if (!surface) {
    LogStubOnce(std::string("Present: no surface for the window: ") + SDL_GetError());
    return;
  }
  if (surface->w == width && surface->h == height && SameLayout(surface)) {
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
    copyRows(static_cast<uint8_t*>(surface->pixels), surface->pitch);
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  } else {
    if (!source_ || source_->pixels != pixels || source_->w != width || source_->h != height) {
      if (source_) SDL_FreeSurface(source_);
      source_ = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(pixels), width, height, 32, width * 4,
                                                   SDL_PIXELFORMAT_ARGB8888);
      if (!source_) return;
    }
    // Bilinear where the formats allow it; a surface of another format gets the nearest texel.
    if (source_->format->format != surface->format->format || SDL_SoftStretchLinear(source_, nullptr, surface, nullptr) != 0) {
      SDL_BlitScaled(source_, nullptr, surface, nullptr);
    }
  }
  if (!shower_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(g_presenters_mutex);
      g_presenters.push_back(this);
    }
    platform::win32::SetWindowSettler(&SettleAllPresenters);
    shower_ = std::thread([this] { ShowLoop(); });
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    refresh_ticks_ = VsyncTurnedOff() ? 0 : RefreshTicks(w);
    pending_ = true;
  }
  changed_.notify_all();
}

}  // namespace platform::d3d9
