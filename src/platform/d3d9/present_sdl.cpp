// Present into the window's own surface, backed by SDL's native framebuffer (X11 shared memory
// rather than a GL texture: the frame is already in memory, and on a machine without a GPU a GL
// round trip is a second software rasteriser). The back buffer's 0xFFRRGGBB pixels are SDL's
// ARGB8888, so a surface of the same size takes them row by row; another size is scaled
// bilinearly, both on the device's raster workers (with AVX2 where the processor has it).
#include "platform/d3d9/present_sdl.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/win32_sdl.h"

#if QUORREL_X86_SIMD
#include <immintrin.h>
#endif

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

void BilinearScaler::Prepare(int src_w, int src_h, int dst_w, int dst_h) {
  if (src_w == src_w_ && src_h == src_h_ && dst_w == dst_w_ && dst_h == dst_h_) return;
  src_w_ = src_w;
  src_h_ = src_h;
  dst_w_ = dst_w;
  dst_h_ = dst_h;
  // Pixel centres map onto pixel centres; the edges repeat their pixel.
  const auto taps = [](int src, int dst, std::vector<Tap>& out) {
    out.resize(static_cast<size_t>(dst));
    for (int i = 0; i < dst; ++i) {
      const double s = std::clamp((i + 0.5) * src / dst - 0.5, 0.0, double(src - 1));
      const int index = std::min(static_cast<int>(s), std::max(0, src - 2));
      out[i] = {index, src > 1 ? static_cast<uint32_t>((s - index) * 256 + 0.5) : 0u};
    }
  };
  taps(src_w, dst_w, columns_);
  taps(src_h, dst_h, rows_);
}

void BilinearScaler::Rows(const uint32_t* src, uint32_t* dst, int dst_pitch_pixels, int first, int last) const {
#if QUORREL_X86_SIMD
  if (CpuHasAvx2()) return RowsAvx2(src, dst, dst_pitch_pixels, first, last);
#endif
  RowsPortable(src, dst, dst_pitch_pixels, first, last);
}

// Each target row blends its two source rows first, once per source pixel (16 bits a channel:
// top * (256 - wy) + bottom * wy, at most 255 * 256), then every target pixel mixes its two
// columns of that with one rounding at the end. Four channels a source pixel, one pixel to
// spare for the last column's right tap (the right edge repeats), and whole groups of four.
uint16_t* BilinearScaler::BlendedRow() const {
  thread_local std::vector<uint16_t> blended;
  const size_t need = (static_cast<size_t>(src_w_) + 8) * 4;
  if (blended.size() < need) blended.resize(need);
  return blended.data();
}

void BilinearScaler::BlendRowTail(const uint32_t* top, const uint32_t* bottom, uint32_t weight, int from,
                                  uint16_t* v) const {
  for (int x = from; x < src_w_; ++x)
    for (int k = 0; k < 4; ++k) {
      const uint32_t shift = 8 * k;
      v[4 * x + k] = static_cast<uint16_t>(((top[x] >> shift) & 0xFF) * (256 - weight) +
                                           ((bottom[x] >> shift) & 0xFF) * weight);
    }
  for (int k = 0; k < 4; ++k) v[4 * src_w_ + k] = v[4 * (src_w_ - 1) + k];
}

void BilinearScaler::MixColumns(const uint16_t* v, uint32_t* out, int from) const {
  for (int i = from; i < dst_w_; ++i) {
    const Tap c = columns_[i];
    uint32_t pixel = 0;
    for (int k = 0; k < 4; ++k) {
      const uint32_t sum = v[4 * c.index + k] * (256 - c.weight) + v[4 * c.index + 4 + k] * c.weight;
      pixel |= ((sum + 32768) >> 16) << (8 * k);
    }
    out[i] = pixel;
  }
}

void BilinearScaler::RowsPortable(const uint32_t* src, uint32_t* dst, int dst_pitch_pixels, int first,
                                  int last) const {
  uint16_t* v = BlendedRow();
  for (int y = first; y < last; ++y) {
    const Tap r = rows_[y];
    const uint32_t* top = src + static_cast<size_t>(r.index) * src_w_;
    BlendRowTail(top, src_h_ > 1 ? top + src_w_ : top, r.weight, 0, v);
    MixColumns(v, dst + static_cast<size_t>(y) * dst_pitch_pixels, 0);
  }
}

#if QUORREL_X86_SIMD
// The same arithmetic, four source pixels and two target pixels at a time.
__attribute__((target("avx2"))) void BilinearScaler::RowsAvx2(const uint32_t* src, uint32_t* dst,
                                                               int dst_pitch_pixels, int first, int last) const {
  uint16_t* v = BlendedRow();
  for (int y = first; y < last; ++y) {
    const Tap r = rows_[y];
    const uint32_t* top = src + static_cast<size_t>(r.index) * src_w_;
    const uint32_t* bottom = src_h_ > 1 ? top + src_w_ : top;
    const __m256i w_top = _mm256_set1_epi16(static_cast<int16_t>(256 - r.weight));
    const __m256i w_bottom = _mm256_set1_epi16(static_cast<int16_t>(r.weight));
    int x = 0;
    for (; x + 4 <= src_w_; x += 4) {
      const __m256i t = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(top + x)));
      const __m256i b = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + x)));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(v + 4 * x),
                          _mm256_add_epi16(_mm256_mullo_epi16(t, w_top), _mm256_mullo_epi16(b, w_bottom)));
    }
    BlendRowTail(top, bottom, r.weight, x, v);
    uint32_t* out = dst + static_cast<size_t>(y) * dst_pitch_pixels;
    const __m256i half = _mm256_set1_epi32(32768);
    int i = 0;
    for (; i + 2 <= dst_w_; i += 2) {
      // Two target pixels: each reads its left and right blended pixels (64 bits each) at once.
      const Tap c0 = columns_[i], c1 = columns_[i + 1];
      const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + 4 * c0.index));
      const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + 4 * c1.index));
      const __m256i left = _mm256_cvtepu16_epi32(_mm_unpacklo_epi64(p0, p1));
      const __m256i right = _mm256_cvtepu16_epi32(_mm_unpackhi_epi64(p0, p1));
      const __m256i wr = _mm256_setr_epi32(c0.weight, c0.weight, c0.weight, c0.weight, c1.weight, c1.weight,
                                           c1.weight, c1.weight);
      const __m256i wl = _mm256_sub_epi32(_mm256_set1_epi32(256), wr);
      const __m256i sum = _mm256_add_epi32(_mm256_mullo_epi32(left, wl), _mm256_mullo_epi32(right, wr));
      const __m256i px = _mm256_srli_epi32(_mm256_add_epi32(sum, half), 16);
      // 32-bit channels to bytes: b, g, r, a of pixel 0 in the low half, of pixel 1 in the high.
      const __m256i words = _mm256_packus_epi32(px, px);
      const __m256i bytes = _mm256_packus_epi16(words, words);
      const uint64_t two = static_cast<uint32_t>(_mm256_extract_epi32(bytes, 0)) |
                           (uint64_t{static_cast<uint32_t>(_mm256_extract_epi32(bytes, 4))} << 32);
      std::memcpy(out + i, &two, 8);
    }
    MixColumns(v, out, i);
  }
}
#endif

// Every presenter, so that a change to any window first lets frames in flight finish.
std::mutex g_presenters_mutex;
std::vector<SdlPresenter*> g_presenters;

void SettleAllPresenters() {
  std::lock_guard<std::mutex> lock(g_presenters_mutex);
  for (SdlPresenter* p : g_presenters) p->Settle();
}

SdlPresenter::~SdlPresenter() {
  Settle();
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

void SdlPresenter::Present(HWND window, const uint32_t* pixels, int width, int height, const RowRunner& forRows) {
  if (!window || HeadlessVideo()) return;
  SDL_Window* w = platform::win32::SdlWindowOf(window);
  if (!w) return;
  Settle();
  if (w != window_) {
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
  if (!SameLayout(surface)) {
    // Another pixel format (a 16-bit display, say): SDL converts, nearest texel when scaling.
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(pixels), width, height, 32,
                                                             width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!source) return;
    SDL_BlitScaled(source, nullptr, surface, nullptr);
    SDL_FreeSurface(source);
  } else {
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
    uint8_t* dst = static_cast<uint8_t*>(surface->pixels);
    const int pitch = surface->pitch;
    if (surface->w == width && surface->h == height) {
      forRows(height, [=](int first, int last) {
        for (int y = first; y < last; ++y)
          std::memcpy(dst + static_cast<size_t>(y) * pitch, pixels + static_cast<size_t>(y) * width,
                      static_cast<size_t>(width) * 4);
      });
    } else {
      scaler_.Prepare(width, height, surface->w, surface->h);
      forRows(surface->h, [&](int first, int last) {
        scaler_.Rows(pixels, reinterpret_cast<uint32_t*>(dst), pitch / 4, first, last);
      });
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  }
  if (!shower_.joinable()) {
    try {
      {
        std::lock_guard<std::mutex> lock(g_presenters_mutex);
        if (std::find(g_presenters.begin(), g_presenters.end(), this) == g_presenters.end()) {
          g_presenters.push_back(this);
        }
      }
      platform::win32::SetWindowSettler(&SettleAllPresenters);
      shower_ = std::thread([this] { ShowLoop(); });
    } catch (const std::exception& e) {
      // No thread to show frames while the next is drawn: this one shows them itself.
      LogStubOnce(std::string("Present: frames are shown on the drawing thread, no thread can be started: ") +
                  e.what());
      SDL_UpdateWindowSurface(w);
      return;
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    refresh_ticks_ = VsyncTurnedOff() ? 0 : RefreshTicks(w);
    pending_ = true;
  }
  changed_.notify_all();
}

}  // namespace platform::d3d9
