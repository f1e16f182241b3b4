// Shared set-up of the drawing, loading and query tests: a throw-away game folder made current
// (data\Textures for the pictures), a log of the test's own, a virtual screen and a hidden
// window, a game object whose published operations are Lua globals, and on request a surface
// engine with a windowed software device whose back buffer the tests read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "game/main.h"
#include "platform/d3d9/d3d9.h"

namespace draw_test {

using platform::d3d9::CapturedFrame;

// A picture as 0xAARRGGBB texels, row by row.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint32_t> texels;
  uint32_t& at(int x, int y) { return texels[static_cast<size_t>(y) * width + x]; }
};
Picture Filled(int width, int height, uint32_t argb);
bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& argb,
              bool alpha = true);

inline uint32_t Pixel(const CapturedFrame& f, int x, int y) {
  return f.pixels[static_cast<size_t>(y) * f.width + x] & 0xFFFFFF;
}

// Compares with data/golden/<name>.png per channel within Tol; QUORREL_UPDATE_GOLDEN=1 writes the
// golden instead. On failure the actual and difference images go to test-output/game_draw/ in
// the build folder.
::testing::AssertionResult MatchesGolden(const CapturedFrame& f, const std::string& name, int tol = 8);

class DrawTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // An engine for a logical size of width x height with a windowed device of that size.
  TKeshSurfaceEngine3D& MakeEngine(int width, int height);
  // Writes a picture into the game folder's data\Textures.
  void PutTexture(const std::string& file, const Picture& picture);
  // Parses a layout block made of these picture lines.
  void Layout(const std::vector<std::string>& pictureLines);
  // A layout line in the block's format.
  static std::string Row(const std::string& name, const std::string& texture, int x, int y, int w,
                         int h, bool rotate = false, bool compress = false);

  void Run(const std::string& script);
  std::string RunError(const std::string& script);  // the script error message ("" when none)

  void BeginFrame(uint32_t rgb = 0x000000);
  CapturedFrame EndFrame();

  std::string LogText() const;
  platform::win32::HWND Window() const { return window_; }
  std::string ReadText(const std::string& relativePath) const;  // a file of the game folder

  std::string dir_;
  TMainForm form;
  std::unique_ptr<TMyLua> lua;

private:
  std::string oldCwd_, logPath_;
  platform::win32::HWND window_ = nullptr;
};

}  // namespace draw_test
