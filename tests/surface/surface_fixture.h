// Shared set-up of the surface engine tests: a throw-away game folder (data\Textures, Textures,
// Splash) made current, a log file of the test's own, a virtual screen, a hidden window, and an
// engine whose device draws into a small back buffer that the tests read back and compare with
// golden images (per channel, within a tolerance; the actual and difference images are written
// to test-output/surface in the build folder on failure).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32_desktop.h"
#include "surface/KeshTextureEngine3D.h"

namespace surface_test {

using platform::d3d9::CapturedFrame;

// 0xAARRGGBB of one pixel.
inline uint32_t Pixel(const CapturedFrame& f, int x, int y) {
  return f.pixels[static_cast<size_t>(y) * f.width + x];
}
inline int Red(uint32_t c) { return (c >> 16) & 0xFF; }
inline int Green(uint32_t c) { return (c >> 8) & 0xFF; }
inline int Blue(uint32_t c) { return c & 0xFF; }

// Expects the pixel's colour channels within tol of 0xRRGGBB.
::testing::AssertionResult NearColor(const CapturedFrame& f, int x, int y, uint32_t rgb,
                                     int tol = 2);

// Compares with data/golden/<name>.png; QUORREL_UPDATE_GOLDEN=1 writes the golden instead.
::testing::AssertionResult MatchesGolden(const CapturedFrame& f, const std::string& name,
                                         int tol = 3);

class SurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A virtual screen of this size whose display modes are the given ones (empty: just the
  // screen size). Call before MakeEngine.
  void SetScreen(int width, int height,
                 std::vector<platform::win32::testing::VirtualScreen::Mode> modes = {});
  // An engine for a logical size of width x height; with init, a windowed device of that size.
  TKeshSurfaceEngine3D& MakeEngine(int width, int height, bool init = true);
  // Copies a fixture file from the test data into the game folder ("data/Textures/x.png").
  void PutFile(const std::string& fixture, const std::string& relativePath);
  void PutBytes(const std::string& relativePath, const std::string& bytes);

  // Clears to rgb, opens the scene; EndFrame closes it and reads the back buffer.
  void BeginFrame(uint32_t rgb = 0x000000);
  CapturedFrame EndFrame();

  // Draw with the defaults of the game host's DrawPicture for everything not given.
  void DrawPicture(const std::string& name, double x, double y, double angle = 0,
                   double scaleX = 1, double scaleY = 1, uint8_t alpha = 255,
                   int32_t color = 0xFFFFFF, uint8_t colorPower = 0, uint8_t outputMode = 0,
                   const TSurfaceOffsets* rect = nullptr, double transX = -1, double transY = -1,
                   bool filter = false);

  std::string LogText() const;  // the test's log file so far

  platform::win32::HWND Window() const { return window_; }

  std::string dir_;  // the game folder (POSIX path), current while the test runs
  std::unique_ptr<TKeshSurfaceEngine3D> engine_;

 private:
  std::string oldCwd_;
  std::string logPath_;
  platform::win32::HWND window_ = nullptr;
};

}  // namespace surface_test
