// Presentation into the SDL window behind a window handle, and the small shared services of the
// device (captured frames, logged stubs, the reference switch).
#pragma once

#include <SDL.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/simd.h"

namespace platform::d3d9 {

// Scales a frame bilinearly into a target of another size, one band of target rows at a time
// (rows [first, last)); pixels are 0x??RRGGBB, and the taps of every column are worked out once.
class BilinearScaler {
 public:
  void Prepare(int src_w, int src_h, int dst_w, int dst_h);
  // With the fastest kernel the processor has.
  void Rows(const uint32_t* src, uint32_t* dst, int dst_pitch_pixels, int first, int last) const;
  // Plain C++ for every processor; every kernel gives its result bit for bit.
  void RowsPortable(const uint32_t* src, uint32_t* dst, int dst_pitch_pixels, int first, int last) const;

 private:
#if QUORREL_X86_SIMD
  void RowsAvx2(const uint32_t* src, uint32_t* dst, int dst_pitch_pixels, int first, int last) const;
#endif
  uint16_t* BlendedRow() const;
  void BlendRowTail(const uint32_t* top, const uint32_t* bottom, uint32_t weight, int from, uint16_t* v) const;
  void MixColumns(const uint16_t* v, uint32_t* out, int from) const;
  struct Tap {
    int index;       // first source pixel
    uint32_t weight;  // of the second, 0..256
  };
  int src_w_ = 0, src_h_ = 0, dst_w_ = 0, dst_h_ = 0;
  std::vector<Tap> columns_, rows_;
};

// Shows back buffers in one window: written into the window's surface (scaled when the sizes
// differ), then shown. Paced to the display's refresh in a real window unless SDL_RENDER_VSYNC is
// "0"; does nothing headless (SDL's dummy video driver) or without a window.
//
// Showing a surface waits for the display server to take its pixels, so it runs on a thread of
// its own while the next frame is drawn; the next Present (or a change to the window) waits for
// it before touching the surface again.
class SdlPresenter {
 public:
  SdlPresenter() = default;
  ~SdlPresenter();
  SdlPresenter(const SdlPresenter&) = delete;
  SdlPresenter& operator=(const SdlPresenter&) = delete;
  // forRows(rows, work) runs work(first, last) over the row bands of [0, rows) and waits for all
  // of them: the device lends its raster workers to the copy or the scaling into the window.
  using RowRunner = std::function<void(int, const std::function<void(int, int)>&)>;
  void Present(HWND window, const uint32_t* pixels, int width, int height, const RowRunner& forRows);
  // Waits until the frame handed to the display last is shown.
  void Settle();

 private:
  void ShowLoop();
  SDL_Window* window_ = nullptr;
  std::thread shower_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool pending_ = false, stop_ = false;  // under mutex_
  uint64_t refresh_ticks_ = 0;           // a display refresh in performance-counter ticks; 0: none
  uint64_t last_shown_ = 0;
  BilinearScaler scaler_;
};

// The size of a window's client area; false when the handle has no window.
bool ClientSize(HWND window, int* width, int* height);

// Appends a presented picture to the captured frames while capturing is on.
void RecordCapturedFrame(const uint32_t* pixels, int width, int height);

// One warning per distinct text, for calls the device accepts but does not carry out.
void LogStubOnce(const std::string& what);

}  // namespace platform::d3d9
