// Shared set-up of the game object's frame, display and input tests: a scratch game folder made
// current, a log of the test's own, the tick-count seam, a virtual screen, a hidden window, a
// game object with a script host running the test's script, and the device's capture seam.
//
// Scripts record what they see with rec("text"); Calls() gives the records joined by ";" and
// clears them. The global TestFill(rgb) fills the whole back buffer with one colour straight
// through the engine, so frame tests do not depend on the drawing operations.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "game/main.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32_desktop.h"

namespace game_frame_test {

using platform::d3d9::CapturedFrame;

inline uint32_t Pixel(const CapturedFrame& f, int x, int y) {
  return f.pixels[static_cast<size_t>(y) * f.width + x] & 0xFFFFFF;
}

class GameFrameTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // A virtual screen; modes empty: just the screen size. taskbar: its height at the bottom.
  void SetScreen(int width, int height, std::vector<platform::win32::testing::VirtualScreen::Mode> modes = {},
                 int taskbar = 0, int dpi = 96);
  // A windowed engine of that logical size; with a device unless noDevice.
  TKeshSurfaceEngine3D& MakeEngine(int width, int height, bool withDevice = true);
  // The script host with the standard helpers, then Script run as one chunk.
  void StartScript(const std::string& script);
  // The test globals (rec, all, TestFill, TestRecordTexture) in the existing script host.
  void AddTestFunctions();
  // Runs Lua text in the script host; fails the test on a Lua error.
  void Run(const std::string& lua);
  // A Lua expression's value as text ("nil" for nil).
  std::string Eval(const std::string& expression);
  std::string Calls();
  std::string LogText() const;
  std::vector<CapturedFrame> Frames();

  std::filesystem::path dir_;
  TMainForm form_;
  uint32_t tick_ = 10000;

private:
  std::filesystem::path oldCwd_;
  std::filesystem::path logPath_;
};

}  // namespace game_frame_test
