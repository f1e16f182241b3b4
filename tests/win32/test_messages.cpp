// The queue: order, filters, WM_QUIT and its code, messages Linux never makes, and the
// main-thread hand-over.

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "recorder.h"

using namespace platform::win32;

using QueueTest = WindowTest;

TEST_F(QueueTest, PostedMessagesComeInOrderAndQuitComesLast) {
  HWND h = MakeWindow();
  PostQuitMessage(7);
  PostMessage(h, WM_USER + 1, 1, 2);
  PostMessage(nullptr, WM_USER + 2, 3, 4);
  MSG m;
  ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_USER + 1u);
  ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 1u);
  EXPECT_EQ(m.hwnd, h);
  EXPECT_EQ(m.wParam, 1u);
  EXPECT_EQ(m.lParam, 2);
  // A window filter skips thread messages; a range filter skips other numbers.
  EXPECT_FALSE(PeekMessage(&m, h, WM_USER, WM_USER + 10, PM_NOREMOVE));
  ASSERT_TRUE(GetMessage(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, WM_USER + 2u);
  EXPECT_EQ(GetMessage(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 7u);
  EXPECT_FALSE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(QueueTest, MessagesLinuxNeverMakesStillReachTheProcedure) {
  HWND h = MakeWindow();
  Seen().clear();
  const UINT kinds[] = {WM_ENTERMENULOOP, WM_EXITMENULOOP, WM_ENTERSIZEMOVE, WM_EXITSIZEMOVE,
                        WM_POWERBROADCAST, WM_COMMAND, WM_SYSCOMMAND, WM_NCHITTEST};
  for (UINT k : kinds) PostMessage(h, k, 0, 0);
  Drain();
  ASSERT_EQ(Seen().size(), std::size(kinds));
  for (size_t i = 0; i < std::size(kinds); ++i) EXPECT_EQ(Seen()[i].msg, kinds[i]);
  EXPECT_EQ(DefWindowProc(h, WM_NCHITTEST, 0, 0), HTCLIENT);
  EXPECT_EQ(DefWindowProc(h, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0), TRUE);
}

TEST_F(QueueTest, AltF4AndSystemCloseEndInWmClose) {
  HWND h = MakeWindow();
  DefWindowProc(h, WM_SYSKEYDOWN, VK_F4, LPARAM(1) << 29);
  EXPECT_EQ(Only({WM_CLOSE}).size(), 1u);
  EXPECT_FALSE(IsWindow(h));
}

TEST_F(QueueTest, HandOverRunsOnTheMainThreadWhileGetMessageWaits) {
  MakeWindow();
  std::atomic<bool> ranOnMain{false};
  std::thread worker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Synchronize([&] { ranOnMain = IsMainThread(); });
    PostQuitMessage(0);  // only after the call has run
  });
  MSG m;
  while (GetMessage(&m, nullptr, 0, 0)) DispatchMessage(&m);
  worker.join();
  EXPECT_TRUE(ranOnMain);
}

TEST_F(QueueTest, HandOverWaitsForDispatchAndCarriesExceptions) {
  std::atomic<int> stage{0};
  std::thread worker([&] {
    try {
      Synchronize([] { throw std::runtime_error("from the main thread"); });
    } catch (const std::runtime_error&) {
      stage = 2;
    }
  });
  // A nested look at the queue that does not dispatch must not run the call.
  MSG m;
  for (int i = 0; i < 20 && stage == 0; ++i) {
    PeekMessage(&m, nullptr, 0, 0, PM_REMOVE);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(stage, 0);
  // Peek rather than wait: once the call has run no further message comes.
  while (stage == 0) {
    if (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
    else std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  worker.join();
  EXPECT_EQ(stage, 2);
}

TEST_F(QueueTest, HeavyHandOversRunOneInATurnWithTheQueueFoundEmptyBetween) {
  // Three heavy and two light calls wait together, in an order of their own; a turn ends when
  // the queue is found empty.
  std::atomic<int> turn{0};
  std::vector<int> heavyAt, lightAt;
  std::vector<std::thread> workers;
  for (int i = 0; i < 5; ++i) {
    const bool heavy = i < 3;
    workers.emplace_back([&, heavy] { Synchronize([&, heavy] { (heavy ? heavyAt : lightAt).push_back(turn); }, heavy); });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  MSG m;
  while (heavyAt.size() + lightAt.size() < 5 && turn < 1000) {
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
    ++turn;
  }
  for (std::thread& w : workers) w.join();
  EXPECT_EQ(heavyAt, (std::vector<int>{0, 1, 2}));
  ASSERT_EQ(lightAt.size(), 2u);
  for (int at : lightAt) EXPECT_LE(at, 2);
}

TEST_F(QueueTest, SendMessageFromAWorkerRunsOnTheMainThread) {
  HWND h = MakeWindow();
  Seen().clear();
  std::thread worker([&] { SendMessage(h, WM_USER + 5, 9, 0); });
  while (Only({WM_USER + 5}).empty()) {
    MSG m;
    if (GetMessage(&m, nullptr, 0, 0)) DispatchMessage(&m);
  }
  worker.join();
  EXPECT_EQ(Only({WM_USER + 5})[0].wParam, 9u);
}

TEST_F(QueueTest, DestroyedWindowsMessagesAreDropped) {
  HWND h = MakeWindow();
  PostMessage(h, WM_USER, 0, 0);
  DestroyWindow(h);
  Seen().clear();
  Drain();
  EXPECT_TRUE(Seen().empty());
  // GetMessage with a filter window that is gone waits for any message instead of failing.
  PostMessage(nullptr, WM_USER + 3, 0, 0);
  MSG m;
  EXPECT_EQ(GetMessage(&m, h, 0, 0), TRUE);
  EXPECT_EQ(m.message, WM_USER + 3u);
}
