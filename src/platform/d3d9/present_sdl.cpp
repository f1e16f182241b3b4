// Present into the window's SDL renderer. The back buffer's 0xFFRRGGBB pixels are SDL's ARGB8888,
// so they upload as they are; the renderer scales them to the client size.
#include "platform/d3d9/present_sdl.h"

#include <cstring>

#include "platform/win32/win32_sdl.h"

namespace platform::d3d9 {
namespace {

bool HeadlessVideo() {
  const char* driver = SDL_GetCurrentVideoDriver();
  return !driver || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0;
}

}  // namespace

bool ClientSize(HWND window, int* width, int* height) {
  SDL_Window* w = window ? platform::win32::SdlWindowOf(window) : nullptr;
  if (!w) return false;
  SDL_GetWindowSize(w, width, height);
  return *width > 0 && *height > 0;
}

SdlPresenter::~SdlPresenter() { Drop(); }

void SdlPresenter::Drop() {
  if (texture_) SDL_DestroyTexture(texture_);
  if (renderer_ && own_renderer_) SDL_DestroyRenderer(renderer_);
  texture_ = nullptr;
  renderer_ = nullptr;
  window_ = nullptr;
  own_renderer_ = false;
  tex_w_ = tex_h_ = 0;
}

void SdlPresenter::Present(HWND window, const uint32_t* pixels, int width, int height) {
  if (!window || HeadlessVideo()) return;
  SDL_Window* w = platform::win32::SdlWindowOf(window);
  if (!w) return;
  if (w != window_) {
    Drop();
    window_ = w;
    renderer_ = SDL_GetRenderer(w);
    if (!renderer_) {
      SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "1");
      renderer_ = SDL_CreateRenderer(w, -1, SDL_RENDERER_PRESENTVSYNC);
      if (!renderer_) renderer_ = SDL_CreateRenderer(w, -1, SDL_RENDERER_SOFTWARE);
      own_renderer_ = renderer_ != nullptr;
    }
    if (!renderer_) {
      LogStubOnce(std::string("Present: no renderer for the window: ") + SDL_GetError());
      return;
    }
    SDL_RendererInfo info;
    vsync_ = SDL_GetRendererInfo(renderer_, &info) == 0 &&
             (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
  }
  if (!renderer_) return;
  if (!texture_ || tex_w_ != width || tex_h_ != height) {
    if (texture_) SDL_DestroyTexture(texture_);
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888,
                                 SDL_TEXTUREACCESS_STREAMING, width, height);
    tex_w_ = width;
    tex_h_ = height;
    if (!texture_) return;
  }
  SDL_UpdateTexture(texture_, nullptr, pixels, width * 4);
  SDL_RenderClear(renderer_);
  SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);  // stretched to the client area
  if (!vsync_) {
    // No vertical sync from the renderer: wait out the display's frame time ourselves.
    SDL_DisplayMode mode;
    const int display = SDL_GetWindowDisplayIndex(w);
    const int refresh = (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 &&
                         mode.refresh_rate > 0)
                            ? mode.refresh_rate
                            : 60;
    const uint64_t freq = SDL_GetPerformanceFrequency();
    const uint64_t frame = freq / static_cast<uint64_t>(refresh);
    const uint64_t now = SDL_GetPerformanceCounter();
    if (last_present_ != 0 && now - last_present_ < frame) {
      const uint64_t wait_ms = (frame - (now - last_present_)) * 1000 / freq;
      if (wait_ms > 0) SDL_Delay(static_cast<Uint32>(wait_ms));
    }
    last_present_ = SDL_GetPerformanceCounter();
  }
  SDL_RenderPresent(renderer_);
}

}  // namespace platform::d3d9
