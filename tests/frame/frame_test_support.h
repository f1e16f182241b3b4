// Shared helpers of the frame tests: a scratch folder and log of their own, a recording
// stand-in for the game object's calls, and an application object with a real (SDL dummy)
// window made through Create_.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/KeshLogEngine.h"
#include "frame/App.h"
#include "frame/MainFormCalls.h"
#include "game/main.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_messages.h"
#include "support/scratch.h"

namespace frame_test {

inline std::filesystem::path ScratchRoot() {
  static const std::filesystem::path root = test_support::MakeScratchRoot("frame");
  return root;
}

// A fresh empty folder under the scratch root.
inline std::filesystem::path NewFolder(const std::string& name) {
  return test_support::NewFolder(ScratchRoot(), name);
}

using test_support::ReadFile;
using test_support::WriteFile;

// A new log file of the test's own as the main log; returns its path.
inline std::filesystem::path UseFreshLog() {
  InitializeKeshLogEngine();
  static int counter = 0;
  auto path = ScratchRoot() / ("frame-" + std::to_string(++counter) + ".log");
  LogEngine->MainLog = LogEngine->AddLogFile(path.string());
  return path;
}

inline int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Records every call as one short text; hooks let a test act inside a call.
class RecordingCalls : public TMainFormCalls {
public:
  std::vector<std::string> log;
  std::function<void()> onFormCreate, onChangeWindowMode, onChangeResolution, onAppIdle;

  void FormCreate() override {
    log.push_back("FormCreate");
    if (onFormCreate) onFormCreate();
  }
  void CreateResources_Testing() override { log.push_back("CreateResources_Testing"); }
  void SaveGameBeforeGame() override { log.push_back("SaveGameBeforeGame"); }
  void OpenUrlByString(const std::string& url) override { log.push_back("OpenUrl " + url); }
  void AppIdle(bool& done) override {
    done = false;
    log.push_back("AppIdle");
    if (onAppIdle) onAppIdle();
  }
  void Pause() override { log.push_back("Pause"); }
  void RePause() override { log.push_back("RePause"); }
  void Call_A_ChangeResolution() override {
    log.push_back("Call_A_ChangeResolution");
    if (onChangeResolution) onChangeResolution();
  }
  void ChangeWindowMode() override {
    log.push_back("ChangeWindowMode");
    if (onChangeWindowMode) onChangeWindowMode();
  }
  void WOptions_OK_MouseUp_fromCode() override { log.push_back("AltEnter"); }
  void FormKeyDown(uint16_t key, uint16_t ch) override {
    log.push_back("Key " + std::to_string(key) + " " + std::to_string(ch));
  }
  void FormMouseMove(int32_t x, int32_t y) override {
    log.push_back("Move " + std::to_string(x) + " " + std::to_string(y));
  }
  void FormMouseDown(int32_t b, int32_t x, int32_t y, uint8_t extra) override {
    log.push_back("Down " + std::to_string(b) + " " + std::to_string(x) + " " +
                  std::to_string(y) + " " + std::to_string(extra));
  }
  void FormMouseUp(int32_t b, int32_t x, int32_t y, uint8_t extra) override {
    log.push_back("Up " + std::to_string(b) + " " + std::to_string(x) + " " + std::to_string(y) +
                  " " + std::to_string(extra));
  }
  void FormMouseWheel(int32_t delta, int32_t direction) override {
    log.push_back("Wheel " + std::to_string(delta) + " " + std::to_string(direction));
  }

  // The calls recorded since the last Take, and forgets them.
  std::vector<std::string> Take() {
    std::vector<std::string> out;
    out.swap(log);
    return out;
  }
};

// An application object whose game-object calls are recorded. The game object is freed with
// the fixture (the program never frees it, tests do not keep it).
class FrameTest : public ::testing::Test {
protected:
  void SetUp() override {
    logPath = UseFreshLog();
    PauseCount = 0;
    app = std::make_unique<CD3DGame>();
    auto recorder = std::make_unique<RecordingCalls>();
    calls = recorder.get();
    app->Calls = std::move(recorder);
  }

  void TearDown() override {
    if (app->m_hWnd && platform::win32::IsWindow(app->m_hWnd))
      platform::win32::DestroyWindow(app->m_hWnd);
    DrainQueue();
    TMainForm* form = app->m_MainForm;
    app.reset();
    delete form;
    platform::win32::testing::SetVirtualScreen(std::nullopt);
    PauseCount = 0;
  }

  // Create_ with the recorder: a real window, no game set-up.
  void CreateWindowed(bool windowed = true) {
    app->m_bWindowed = windowed;
    ASSERT_EQ(app->Create_(nullptr, 0, 0), 0);
    calls->Take();
  }

  // Dispatches what is queued, as the message loop does, without idle turns.
  void Pump() {
    platform::win32::MSG msg;
    while (platform::win32::PeekMessage(&msg, nullptr, 0, 0, platform::win32::PM_REMOVE)) {
      if (msg.message == platform::win32::WM_QUIT) break;
      platform::win32::TranslateMessage(&msg);
      platform::win32::DispatchMessage(&msg);
    }
  }

  // Leaves nothing (WM_QUIT included) for the next test.
  static void DrainQueue() {
    platform::win32::MSG msg;
    while (platform::win32::PeekMessage(&msg, nullptr, 0, 0, platform::win32::PM_REMOVE)) {
      if (msg.message != platform::win32::WM_QUIT) platform::win32::DispatchMessage(&msg);
    }
  }

  std::string Log() const { return ReadFile(logPath); }

  std::filesystem::path logPath;
  std::unique_ptr<CD3DGame> app;
  RecordingCalls* calls = nullptr;
};

}  // namespace frame_test
