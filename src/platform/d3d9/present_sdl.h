// Presentation into the SDL window behind a window handle, and the small shared services of the
// device (captured frames, logged stubs, the reference switch).
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

#include "platform/d3d9/d3d9.h"

namespace platform::d3d9 {

// Shows back buffers in one window: a streaming texture on the window's renderer, stretched to
// the client area. Paced to the display's refresh in a real window; does nothing headless (SDL's
// dummy video driver) or without a window.
class SdlPresenter {
 public:
  SdlPresenter() = default;
  ~SdlPresenter();
  SdlPresenter(const SdlPresenter&) = delete;
  SdlPresenter& operator=(const SdlPresenter&) = delete;
  void Present(HWND window, const uint32_t* pixels, int width, int height);

 private:
  void Drop();
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  bool own_renderer_ = false;
  SDL_Texture* texture_ = nullptr;
  int tex_w_ = 0, tex_h_ = 0;
  bool vsync_ = false;
  uint64_t last_present_ = 0;
};

// The size of a window's client area; false when the handle has no window.
bool ClientSize(HWND window, int* width, int* height);

// Appends a presented picture to the captured frames while capturing is on.
void RecordCapturedFrame(const uint32_t* pixels, int width, int height);

// One warning per distinct text, for calls the device accepts but does not carry out.
void LogStubOnce(const std::string& what);

}  // namespace platform::d3d9
