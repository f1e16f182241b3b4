// Cursor, clipboard, message boxes, machine identity, clocks, thread priority and the exit
// routine.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <thread>

#include "platform/win32/win32.h"

using namespace platform::win32;
namespace w32 = platform::win32;

TEST(Cursor, DisplayCounterDecidesVisibility) {
  const int start = w32::testing::CursorDisplayCount();
  ASSERT_EQ(start, 0);
  EXPECT_TRUE(w32::testing::CursorVisible());
  EXPECT_EQ(ShowCursor(FALSE), -1);
  EXPECT_FALSE(w32::testing::CursorVisible());
  EXPECT_EQ(ShowCursor(FALSE), -2);
  EXPECT_EQ(ShowCursor(TRUE), -1);
  EXPECT_FALSE(w32::testing::CursorVisible());  // one show does not undo two hides
  EXPECT_EQ(ShowCursor(TRUE), 0);
  EXPECT_TRUE(w32::testing::CursorVisible());
}

TEST(Cursor, StandardCursorsLoadAndSet) {
  for (LPCSTR id : {IDC_ARROW, IDC_HAND, IDC_APPSTARTING, IDC_UPARROW, IDC_HELP})
    EXPECT_NE(LoadCursor(nullptr, id), nullptr);
  EXPECT_EQ(LoadCursor(nullptr, MAKEINTRESOURCEA(1)), nullptr);
  EXPECT_EQ(LoadCursor(nullptr, "finger"), nullptr);
  HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_HAND));
  EXPECT_EQ(w32::testing::CurrentCursor(), IDC_HAND);
  EXPECT_EQ(SetCursor(previous), LoadCursor(nullptr, IDC_HAND));
  EXPECT_EQ(w32::testing::CurrentCursor(), IDC_ARROW);
}

TEST(Clipboard, TextComesAsAnsiWithCrLf) {
  struct Case {
    const char* utf8;
    const char* ansi;
  };
  const Case cases[] = {
      {"", ""},
      {"a\nb", "a\r\nb"},
      {"a\r\nb\r", "a\r\nb\r\n"},
      {"caf\xC3\xA9", "caf\xE9"},
      {"\xD0\x96", "?"},
  };
  for (const Case& c : cases) {
    w32::testing::SetClipboardText(c.utf8);
    EXPECT_EQ(GetClipboardText(), c.ansi) << c.utf8;
  }
  w32::testing::SetClipboardText(std::nullopt);
}

TEST(MessageBox, HeadlessBoxesTakeTheDefaultOrTheSeamsAnswer) {
  w32::testing::ClearMessageBoxes();
  EXPECT_EQ(MessageBoxA(nullptr, "The current DPI setting is not supported.", "Error message", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "x", "Error", MB_RETRYCANCEL | MB_ICONERROR), IDCANCEL);
  w32::testing::SetMessageBoxAnswer(IDRETRY);
  EXPECT_EQ(MessageBoxW(nullptr, u"\u0416", u"Error", MB_RETRYCANCEL | MB_ICONERROR), IDRETRY);
  w32::testing::SetMessageBoxAnswer(0);
  const auto boxes = w32::testing::MessageBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].caption, "Error message");
  EXPECT_EQ(boxes[2].text, "\xD0\x96");
  EXPECT_EQ(boxes[2].type, MB_RETRYCANCEL | MB_ICONERROR);
}

TEST(Identity, StableAndWindowsShaped) {
  char folder[144];
  ASSERT_EQ(GetWindowsDirectoryA(folder, sizeof folder), 10u);
  EXPECT_STREQ(folder, "C:\\WINDOWS");
  EXPECT_EQ(GetWindowsDirectoryA(folder, 4), 11u);
  DWORD a = 0, b = 0;
  ASSERT_TRUE(GetVolumeInformationA("C:\\", nullptr, 0, &a, nullptr, nullptr, nullptr, 0));
  ASSERT_TRUE(GetVolumeInformationA("C:\\", nullptr, 0, &b, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(a, b);
  char name[16];
  DWORD size = sizeof name;
  ASSERT_TRUE(GetComputerNameA(name, &size));
  EXPECT_LE(size, 15u);
  EXPECT_EQ(std::string(name).size(), size);
  for (char c : std::string(name)) EXPECT_FALSE(std::islower(static_cast<unsigned char>(c)));
  DWORD tiny = 1;
  EXPECT_FALSE(GetComputerNameA(name, &tiny));
  EXPECT_EQ(tiny, size + 1);
}

TEST(Clock, CountersAreMonotonic) {
  LARGE_INTEGER f, c1, c2;
  ASSERT_TRUE(QueryPerformanceFrequency(&f));
  EXPECT_GT(f.QuadPart, 0);
  QueryPerformanceCounter(&c1);
  const DWORD t1 = timeGetTime();
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  QueryPerformanceCounter(&c2);
  EXPECT_GE(c2.QuadPart - c1.QuadPart, f.QuadPart / 1000 * 5);
  EXPECT_GE(timeGetTime() - t1, 4u);
  SYSTEMTIME st;
  GetLocalTime(&st);
  EXPECT_GE(st.wYear, 2024);
  EXPECT_GE(st.wMonth, 1);
  EXPECT_LE(st.wMonth, 12);
}

TEST(Thread, WorkerLowersItsOwnPriority) {
  std::atomic<int> result{99};
  std::thread([&] {
    if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL))
      result = GetThreadPriority(GetCurrentThread());
  }).join();
  EXPECT_EQ(result, THREAD_PRIORITY_BELOW_NORMAL);
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
  EXPECT_FALSE(SetThreadPriority(reinterpret_cast<HANDLE>(5), THREAD_PRIORITY_LOWEST));
  EXPECT_FALSE(SetThreadPriority(GetCurrentThread(), 7));
}

TEST(ExitDeathTest, HookRunsOnceThenTheProcessEndsWhileWorkersRun) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::thread([] {
          for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }).detach();
        SetExitProcessHook([](UINT code) {
          std::fprintf(stderr, "finalisers %u\n", code);
          ExitProcess(9);  // a finaliser ending the process again does not loop
        });
        std::printf("buffered");  // flushed on the way out
        ExitProcess(3);
      },
      ::testing::ExitedWithCode(9), "finalisers 3");
}
