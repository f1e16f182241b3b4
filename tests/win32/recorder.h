// A window procedure that records what reaches it, and a fixture that gives each test a fresh
// window and leaves the stand-in's global state (seams, windows, queue) clean afterwards.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "platform/win32/win32.h"
#include "platform/win32/win32_sdl.h"

namespace w32 = platform::win32;

struct Received {
  w32::HWND hwnd;
  w32::UINT msg;
  w32::WPARAM wParam;
  w32::LPARAM lParam;
};

inline std::vector<Received>& Seen() {
  static std::vector<Received> log;
  return log;
}

// What the procedure answers for WM_CREATE (-1 refuses the window).
inline w32::LRESULT& CreateAnswer() {
  static w32::LRESULT answer = 0;
  return answer;
}

inline w32::LRESULT RecordingProc(w32::HWND h, w32::UINT m, w32::WPARAM w, w32::LPARAM l) {
  Seen().push_back({h, m, w, l});
  if (m == w32::WM_CREATE) return CreateAnswer();
  if (m == w32::WM_GETMINMAXINFO) {
    reinterpret_cast<w32::MINMAXINFO*>(l)->ptMinTrackSize = {100, 100};
    return 0;
  }
  return w32::DefWindowProc(h, m, w, l);
}

// The messages of interest, in order, without the ones a test does not look at.
inline std::vector<Received> Only(std::initializer_list<w32::UINT> kinds) {
  std::vector<Received> out;
  for (const auto& r : Seen())
    for (w32::UINT k : kinds)
      if (r.msg == k) out.push_back(r);
  return out;
}

// Runs the queue dry the way the frame's loop does.
inline void Drain() {
  w32::MSG m;
  for (int i = 0; i < 1000 && w32::PeekMessage(&m, nullptr, 0, 0, w32::PM_REMOVE); ++i) {
    if (m.message == w32::WM_QUIT) continue;
    w32::TranslateMessage(&m);
    w32::DispatchMessage(&m);
  }
}

constexpr w32::DWORD kGameStyle = 0x10CA0000;  // WS_VISIBLE|WS_CAPTION|WS_SYSMENU|WS_MINIMIZEBOX

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool registered = false;
    if (!registered) {
      w32::WNDCLASSA wc{};
      wc.lpfnWndProc = RecordingProc;
      wc.hIcon = w32::LoadIconA(nullptr, "MAINICON");
      wc.hCursor = w32::LoadCursor(nullptr, w32::IDC_ARROW);
      wc.lpszClassName = "D3D Window";
      ASSERT_NE(w32::RegisterClassA(&wc), 0);
      registered = true;
    }
    w32::testing::SetVirtualScreen(w32::testing::VirtualScreen{
        1920, 1080, {0, 0, 1920, 1040}, 96, {}});
    CreateAnswer() = 0;
    Drain();
    Seen().clear();
  }

  void TearDown() override {
    for (w32::HWND h : made)
      if (w32::IsWindow(h)) w32::DestroyWindow(h);
    Drain();
    w32::MSG m;
    while (w32::PeekMessage(&m, nullptr, w32::WM_QUIT, w32::WM_QUIT, w32::PM_REMOVE)) {
    }
    w32::testing::SetVirtualScreen(std::nullopt);
    Seen().clear();
  }

  // A game window of 800 x 600 client pixels, made as the frame makes it.
  w32::HWND MakeWindow(w32::DWORD style = kGameStyle) {
    w32::RECT r{0, 0, 800, 600};
    w32::AdjustWindowRect(&r, style, w32::TRUE);
    w32::HWND h = w32::CreateWindowA("D3D Window", "", style, w32::CW_USEDEFAULT, w32::CW_USEDEFAULT,
                                     r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr,
                                     nullptr);
    if (h) made.push_back(h);
    return h;
  }

  std::vector<w32::HWND> made;
};
