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

#include "platform/d3d9/d3d9.h"

namespace platform::d3d9 {

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
  // copyRows(target, pitch) copies the whole back buffer into a target of its size; the device
  // runs it on its workers.
  using RowCopier = std::function<void(uint8_t*, int)>;
  void Present(HWND window, const uint32_t* pixels, int width, int height, const RowCopier& copyRows);
  // Waits until the frame handed to the display last is shown.
  void Settle();

 private:
  void Drop();
  void ShowLoop();
  SDL_Window* window_ = nullptr;
  SDL_Surface* source_ = nullptr;  // the back buffer's pixels as a surface, for scaling
  std::thread shower_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool pending_ = false, stop_ = false;  // under mutex_
  uint64_t refresh_ticks_ = 0;           // a display refresh in performance-counter ticks; 0: none
  uint64_t last_shown_ = 0;
};

// The size of a window's client area; false when the handle has no window.
bool ClientSize(HWND window, int* width, int* height);

// Appends a presented picture to the captured frames while capturing is on.
void RecordCapturedFrame(const uint32_t* pixels, int width, int height);

// One warning per distinct text, for calls the device accepts but does not carry out.
void LogStubOnce(const std::string& what);

}  // namespace platform::d3d9
