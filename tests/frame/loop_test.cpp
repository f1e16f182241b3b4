// The message loop, the pause count, the base message handler and the frame driver with a lost
// device (through the software device's loss seam).
#include <gtest/gtest.h>

#include "frame/DXUtil.h"
#include "frame_test_support.h"
#include "platform/bass/bass.h"
#include "platform/win32/win32_system.h"
#include "runtime/Files.h"

namespace {

using namespace platform::win32;
namespace w32t = platform::win32::testing;
using frame_test::CountOf;
using frame_test::FrameTest;
using Calls = std::vector<std::string>;

int Count(const Calls& calls, const std::string& what) {
  return static_cast<int>(std::count(calls.begin(), calls.end(), what));
}

TEST_F(FrameTest, CreateSetsTheGameObjectUpInOrder) {
  app->m_bWindowed = true;
  calls->onFormCreate = [this] {
    EXPECT_EQ(app->m_MainForm->WindowHandle, app->m_hWnd);
    EXPECT_EQ(StartFullScreen, 0);
    EXPECT_EQ(app->m_MainForm->SizeOverrideX, 0);
  };
  app->m_MainForm->MouseYOffset = 5;
  ASSERT_EQ(app->Create_(nullptr, 1024, 768), 0);
  Calls got = calls->Take();
  // Activation messages of the window's creation come first; the set-up follows in order.
  auto at = std::find(got.begin(), got.end(), "FormCreate");
  ASSERT_NE(at, got.end());
  EXPECT_EQ(Calls(at, got.end()), (Calls{"FormCreate", "CreateResources_Testing"}));
  EXPECT_EQ(app->m_MainForm->SizeOverrideX, 1024);
  EXPECT_EQ(app->m_MainForm->SizeOverrideY, 768);
  EXPECT_EQ(app->m_MainForm->MouseYOffset, 0);
  EXPECT_EQ(app->m_MainForm->Game, app.get());
  EXPECT_TRUE(app->m_bReady);
  EXPECT_TRUE(app->m_bActive);
  EXPECT_EQ(app->m_SavedWindowStyle, WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  EXPECT_EQ(w32t::WindowTitle(app->m_hWnd), u"");
  EXPECT_EQ(CountOf(Log(), "CD3DApplication.Create_ m_bReady:= True"), 1);
}

TEST_F(FrameTest, FullScreenStartSetsTheGlobalAndThePopupStyle) {
  CreateWindowed(false);
  EXPECT_EQ(StartFullScreen, 1);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLong(app->m_hWnd, GWL_STYLE)), WS_POPUP | WS_VISIBLE);
  RECT r{};
  GetWindowRect(app->m_hWnd, &r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(r.bottom, GetSystemMetrics(SM_CYSCREEN));
}

TEST_F(FrameTest, RunRendersOnIdleTurnsAndEndsAtClose) {
  CreateWindowed();
  int turns = 0;
  calls->onAppIdle = [&] {
    if (++turns == 3) PostMessage(app->m_hWnd, WM_CLOSE, 0, 0);
  };
  EXPECT_EQ(app->Run(), 0);
  EXPECT_EQ(Count(calls->Take(), "AppIdle"), 3);
  EXPECT_FALSE(IsWindow(app->m_hWnd));
  EXPECT_FALSE(app->m_bReady);
  EXPECT_FALSE(app->m_bActive);
}

TEST_F(FrameTest, MinimisedWindowRendersNothingUntilRestored) {
  CreateWindowed();
  calls->onAppIdle = [&] { PostMessage(app->m_hWnd, WM_CLOSE, 0, 0); };
  // Minimised: the loop waits for messages, so no idle turn happens before the close.
  for (UINT m : {WM_SIZE, WM_USER, WM_USER, WM_CLOSE})
    PostMessage(app->m_hWnd, m, m == WM_SIZE ? SIZE_MINIMIZED : 0, 0);
  app->Run();
  EXPECT_EQ(Count(calls->Take(), "AppIdle"), 0);
}

TEST_F(FrameTest, RestoringTheWindowResumesFrames) {
  CreateWindowed();
  calls->onAppIdle = [&] { PostMessage(app->m_hWnd, WM_CLOSE, 0, 0); };
  PostMessage(app->m_hWnd, WM_SIZE, SIZE_MAXHIDE, 0);
  PostMessage(app->m_hWnd, WM_USER, 0, 0);
  PostMessage(app->m_hWnd, WM_SIZE, SIZE_RESTORED, 0);
  app->Run();
  EXPECT_EQ(Count(calls->Take(), "AppIdle"), 1);
}

TEST_F(FrameTest, PausesNestAndNeverGoBelowZero) {
  CreateWindowed();
  SendMessage(app->m_hWnd, WM_ENTERMENULOOP, 0, 0);
  SendMessage(app->m_hWnd, WM_ENTERSIZEMOVE, 0, 0);
  EXPECT_EQ(PauseCount, 2);
  SendMessage(app->m_hWnd, WM_EXITMENULOOP, 0, 0);
  EXPECT_FALSE(app->m_bReady);
  SendMessage(app->m_hWnd, WM_EXITSIZEMOVE, 0, 0);
  EXPECT_TRUE(app->m_bReady);
  SendMessage(app->m_hWnd, WM_EXITMENULOOP, 0, 0);
  EXPECT_EQ(PauseCount, 0);
  SendMessage(app->m_hWnd, WM_ENTERMENULOOP, 0, 0);
  EXPECT_EQ(PauseCount, 1);  // the unpaired resume left no debt
  EXPECT_FALSE(app->m_bReady);
  SendMessage(app->m_hWnd, WM_EXITMENULOOP, 0, 0);
}

TEST_F(FrameTest, PauseStopsTheFrameClock) {
  int64_t ticks = 1000;
  frame_testing::SetFrameTimerSource(frame_testing::FrameTimerSource{
      [](int64_t& perSec) { perSec = 1000; return true; }, [&] { return ticks; },
      [] { return DWORD(0); }});
  FrameTimer(TimerReset);
  app->Pause(true);
  ticks += 500;
  EXPECT_FLOAT_EQ(FrameTimer(TimerGetAppTime), 0.0f);
  app->Pause(true);
  app->Pause(false);
  ticks += 500;
  EXPECT_FLOAT_EQ(FrameTimer(TimerGetAppTime), 0.0f);
  app->Pause(false);
  ticks += 250;
  EXPECT_FLOAT_EQ(FrameTimer(TimerGetAppTime), 0.25f);
  frame_testing::SetFrameTimerSource(std::nullopt);
}

TEST_F(FrameTest, MenuCommandsDriveTheFrameClock) {
  CreateWindowed();
  int64_t ticks = 1000;
  frame_testing::SetFrameTimerSource(frame_testing::FrameTimerSource{
      [](int64_t& perSec) { perSec = 1000; return true; }, [&] { return ticks; },
      [] { return DWORD(0); }});
  FrameTimer(TimerReset);
  SendMessage(app->m_hWnd, WM_COMMAND, IDM_TOGGLESTART, 0);  // stop
  EXPECT_FALSE(app->m_bFrameMoving);
  ticks += 300;
  EXPECT_FLOAT_EQ(FrameTimer(TimerGetAppTime), 0.0f);
  SendMessage(app->m_hWnd, WM_COMMAND, IDM_SINGLESTEP, 0);  // a stopped clock steps 0.1 s
  EXPECT_NEAR(FrameTimer(TimerGetAppTime), 0.1f, 1e-5);
  SendMessage(app->m_hWnd, WM_COMMAND, IDM_TOGGLESTART, 0);  // start again
  ticks += 200;
  EXPECT_NEAR(FrameTimer(TimerGetAppTime), 0.3f, 1e-5);
  for (WORD command : {IDM_CHANGEDEVICE, IDM_MODESTEP})
    SendMessage(app->m_hWnd, WM_COMMAND, command, 0);
  EXPECT_TRUE(IsWindow(app->m_hWnd));
  EXPECT_TRUE(calls->Take().empty());
  frame_testing::SetFrameTimerSource(std::nullopt);
}

TEST_F(FrameTest, FullScreenSwallowsFrameCommandsWindowedDoesNot) {
  CreateWindowed(false);
  const WPARAM swallowed[] = {SC_SIZE, SC_MOVE, SC_MAXIMIZE, SC_KEYMENU, SC_MONITORPOWER};
  for (WPARAM sc : swallowed) EXPECT_EQ(SendMessage(app->m_hWnd, WM_SYSCOMMAND, sc, 0), 1) << sc;
  EXPECT_EQ(SendMessage(app->m_hWnd, WM_NCHITTEST, 0, 0), HTCLIENT);
  EXPECT_EQ(SendMessage(app->m_hWnd, WM_SETCURSOR, 0, 0), TRUE);
  EXPECT_TRUE(IsWindow(app->m_hWnd));

  app->m_bWindowed = true;
  EXPECT_EQ(SendMessage(app->m_hWnd, WM_SYSCOMMAND, SC_KEYMENU, 0),
            DefWindowProc(app->m_hWnd, WM_SYSCOMMAND, SC_KEYMENU, 0));
  EXPECT_EQ(SendMessage(app->m_hWnd, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0), TRUE);
  MINMAXINFO info{};
  SendMessage(app->m_hWnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, 100);
  EXPECT_EQ(info.ptMinTrackSize.y, 100);
}

// Closing through the window or the exit command opens "survey.url" once per run.
TEST_F(FrameTest, CloseOpensTheSurveyOnce) {
  auto folder = frame_test::NewFolder("close");
  frame_test::WriteFile(folder / "survey.url", "[InternetShortcut]\r\n");
  const std::string before = rtl::GetCurrentDir();
  rtl::SetCurrentDir(folder.string());
  for (WPARAM command : {WPARAM(0), WPARAM(IDM_EXIT)}) {
    for (bool opened : {false, true}) {
      SCOPED_TRACE(std::to_string(command) + (opened ? " opened" : " not opened"));
      CreateWindowed();
      app->m_MainForm->SurveyOpened = opened;
      if (command)
        SendMessage(app->m_hWnd, WM_COMMAND, command, 0);
      else
        SendMessage(app->m_hWnd, WM_CLOSE, 0, 0);
      EXPECT_EQ(Count(calls->Take(), "OpenUrl survey.url"), opened ? 0 : 1);
      EXPECT_TRUE(app->m_MainForm->SurveyOpened);
      EXPECT_FALSE(IsWindow(app->m_hWnd));
      DrainQueue();
    }
  }
  rtl::SetCurrentDir(before);
}

// --- the frame driver and the engine's device

class DeviceTest : public FrameTest {
protected:
  void SetUp() override {
    FrameTest::SetUp();
    w32t::VirtualScreen screen;
    screen.width = 1024;
    screen.height = 768;
    screen.usable = RECT{0, 0, 1024, 768};
    w32t::SetVirtualScreen(screen);
    platform::bass::testing::ResetCallCounts();
    seam::SetTickSource([this] { return tick; });
  }
  void TearDown() override {
    seam::SetTickSource({});
    FrameTest::TearDown();
  }
  // A game engine with a device of the scripts' chosen size, as SetSystemResolution leaves it.
  TKeshSurfaceEngine3D& MakeEngine(bool fullScreen, int width, int height) {
    auto& e = app->m_MainForm->Engine;
    e = std::make_unique<TKeshSurfaceEngine3D>(1024, 768, fullScreen, 0, 0, width, height,
                                               "data\\");
    e->SystemWidth = width;
    e->SystemHeight = height;
    bool windowed = false;
    EXPECT_EQ(e->InitD3D(app->m_hWnd, width, height, windowed), 0);
    return *e;
  }
  DWORD tick = 100000;
};

TEST_F(DeviceTest, LostDevicePausesSoundEachTurnAndRecreatesAtTheScriptsSize) {
  CreateWindowed(false);
  TKeshSurfaceEngine3D& engine = MakeEngine(true, 800, 600);
  ASSERT_EQ(engine.BackBufferWidth, 1024);  // full screen: the back buffer is the screen
  app->Render3DEnvironment();
  EXPECT_EQ(calls->Take(), (Calls{"AppIdle"}));

  for (int turn = 0; turn < 3; ++turn) {
    platform::d3d9::SimulateDeviceLoss(engine.g_pd3dDevice);
    EXPECT_EQ(app->Render3DEnvironment(), 0);
  }
  EXPECT_EQ(LogEngine->MainLog->ErrorsCount, 3);  // one error per turn
  EXPECT_EQ(platform::bass::testing::PauseCalls(), 3);
  EXPECT_EQ(app->DeviceLost, 1);
  EXPECT_TRUE(calls->Take().empty());  // nothing drawn while lost

  // The device can be reset now: re-created at the size the scripts chose, not the screen.
  EXPECT_EQ(app->Render3DEnvironment(), 0);
  EXPECT_EQ(CountOf(Log(), "D3DERR_DEVICENOTRESET"), 1);
  // The log folds the repeated losses into one line and a count.
  EXPECT_EQ(CountOf(Log(), "ERROR !!! D3DERR_DEVICELOST"), 2);
  EXPECT_EQ(CountOf(Log(), "*2 ERROR !!! D3DERR_DEVICELOST"), 1);
  EXPECT_EQ(calls->Take(), (Calls{"Call_A_ChangeResolution"}));
  EXPECT_EQ(CountOf(Log(), "InitD3D start FullScreen=True width=800 height=600"), 2);
  EXPECT_EQ(CountOf(Log(), "InitD3D start FullScreen=True width=1024"), 0);
  EXPECT_EQ(platform::bass::testing::StartCalls(), 0);  // sound waits for a good test

  app->Render3DEnvironment();
  app->Render3DEnvironment();
  EXPECT_EQ(platform::bass::testing::StartCalls(), 1);
  EXPECT_EQ(app->DeviceLost, 0);
  EXPECT_EQ(calls->Take(), (Calls{"AppIdle", "AppIdle"}));
}

TEST_F(DeviceTest, NoDeviceYetSkipsTheTest) {
  CreateWindowed();
  app->Render3DEnvironment();  // no engine
  app->m_MainForm->Engine = std::make_unique<TKeshSurfaceEngine3D>(1024, 768, false, 0, 0, 640,
                                                                   480, "data\\");
  app->Render3DEnvironment();  // an engine without a device
  EXPECT_EQ(calls->Take(), (Calls{"AppIdle", "AppIdle"}));
  EXPECT_EQ(CountOf(Log(), "D3DERR"), 0);
}

TEST_F(DeviceTest, FailedRecreationIsRetriedAlsoWhenTheDeviceIsGone) {
  CreateWindowed(false);
  TKeshSurfaceEngine3D& engine = MakeEngine(true, 800, 600);
  // A screen without a usable mode makes every re-creation fail.
  w32t::VirtualScreen tiny;
  tiny.width = 320;
  tiny.height = 200;
  tiny.usable = RECT{0, 0, 320, 200};
  w32t::SetVirtualScreen(tiny);
  engine.FullScreenSize = TIntSize{320, 200};
  platform::d3d9::SimulateDeviceLoss(engine.g_pd3dDevice);
  app->Render3DEnvironment();  // lost
  EXPECT_EQ(app->Render3DEnvironment(), 1);  // not reset: re-creation fails
  EXPECT_TRUE(app->DeviceReinitPending);
  const int attempts = CountOf(Log(), "InitD3D start");

  // As a failed device creation leaves it: the engine has no device any more.
  platform::d3d9::SafeRelease(engine.g_pd3dDevice);
  EXPECT_EQ(app->Render3DEnvironment(), 1);  // too soon for another try
  EXPECT_EQ(CountOf(Log(), "InitD3D start"), attempts);
  tick += kDeviceRetryIntervalMs;
  EXPECT_EQ(app->Render3DEnvironment(), 1);  // tried again, still failing
  EXPECT_EQ(CountOf(Log(), "InitD3D start"), attempts + 1);
  EXPECT_TRUE(calls->Take().empty());

  // The display is usable again: the next try succeeds and the game goes on.
  w32t::VirtualScreen screen;
  screen.usable = RECT{0, 0, 1024, 768};
  w32t::SetVirtualScreen(screen);
  engine.FullScreenSize = TIntSize{1024, 768};
  tick += kDeviceRetryIntervalMs;
  EXPECT_EQ(app->Render3DEnvironment(), 0);
  EXPECT_NE(engine.g_pd3dDevice, nullptr);
  EXPECT_FALSE(app->DeviceReinitPending);
  EXPECT_EQ(calls->Take(), (Calls{"Call_A_ChangeResolution"}));
  app->Render3DEnvironment();
  EXPECT_EQ(calls->Take(), (Calls{"AppIdle"}));
  EXPECT_EQ(platform::bass::testing::StartCalls(), 1);
}

TEST_F(DeviceTest, ScriptsMayReplaceTheEngineInsideChangeResolution) {
  CreateWindowed();
  TKeshSurfaceEngine3D& engine = MakeEngine(false, 640, 480);
  calls->onChangeResolution = [this] { MakeEngine(false, 320, 240); };
  platform::d3d9::SimulateDeviceLoss(engine.g_pd3dDevice);
  app->Render3DEnvironment();
  EXPECT_EQ(app->Render3DEnvironment(), 0);
  EXPECT_EQ(CountOf(Log(), "SetDeviceParams 0 320 240"), 2);  // the new engine's own and ours
}

}  // namespace

namespace {

// A frame whose one-time set-up fails: the error box, the window's close, no game set-up.
class FailingApp : public CD3DGame {
public:
  platform::win32::HRESULT OneTimeSceneInit() override { return platform::win32::E_OUTOFMEMORY; }
};

TEST(FrameFailureTest, FailedOneTimeSceneInitShowsTheErrorAndClosesTheWindow) {
  frame_test::UseFreshLog();
  w32t::ClearMessageBoxes();
  w32t::SetMessageBoxAnswer(IDOK);
  FailingApp app;
  auto recorder = std::make_unique<frame_test::RecordingCalls>();
  frame_test::RecordingCalls* calls = recorder.get();
  app.Calls = std::move(recorder);
  EXPECT_EQ(app.Create_(nullptr, 0, 0), E_OUTOFMEMORY);
  auto boxes = w32t::MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("\n\nThis sample will now exit."), std::string::npos);
  EXPECT_FALSE(IsWindow(app.m_hWnd));
  EXPECT_FALSE(app.m_bReady);
  for (const std::string& call : calls->log) EXPECT_NE(call, "FormCreate");
  MSG msg;
  bool quit = false;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) quit |= msg.message == WM_QUIT;
  EXPECT_TRUE(quit);
  w32t::SetMessageBoxAnswer(0);
  delete app.m_MainForm;
}

}  // namespace
