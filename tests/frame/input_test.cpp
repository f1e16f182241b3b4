// CD3DGame's translation of window messages, injected into the real window's queue and
// dispatched as the message loop does (TranslateMessage included, so Enter and Ctrl+V bring
// their WM_CHAR as on Windows).
#include <gtest/gtest.h>

#include "frame_test_support.h"

namespace {

using namespace platform::win32;
using frame_test::FrameTest;
using Calls = std::vector<std::string>;

struct Msg {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

struct InputCase {
  const char* name;
  std::optional<std::string> clipboard;  // UTF-8
  std::vector<Msg> messages;
  Calls expected;
};

WPARAM Wheel(int notches, WPARAM keyFlags = 0) {
  return static_cast<WPARAM>(static_cast<uint32_t>(notches * WHEEL_DELTA) << 16) | keyFlags;
}

class InputTest : public FrameTest {
protected:
  void SetUp() override {
    FrameTest::SetUp();
    CreateWindowed();
    Pump();
    calls->Take();
  }
  void TearDown() override {
    platform::win32::testing::SetClipboardText(std::nullopt);
    FrameTest::TearDown();
  }
  Calls Run(const std::vector<Msg>& messages) {
    for (const Msg& m : messages) PostMessage(app->m_hWnd, m.message, m.wParam, m.lParam);
    Pump();
    return calls->Take();
  }
};

TEST_F(InputTest, KeysCharactersPasteAndMouse) {
  const LPARAM at = MAKELPARAM(10, 300);
  const InputCase cases[] = {
      {"Insert alone", {}, {{WM_KEYDOWN, VK_INSERT, 0}, {WM_KEYUP, VK_INSERT, 0}}, {"Key 45 0"}},
      {"Shift+Insert pastes",
       "ab",
       {{WM_KEYDOWN, VK_SHIFT, 0}, {WM_KEYDOWN, VK_INSERT, 0}, {WM_KEYUP, VK_INSERT, 0},
        {WM_KEYUP, VK_SHIFT, 0}},
       {"Key 0 97", "Key 0 98"}},
      {"Shift+Insert with an empty clipboard", "",
       {{WM_KEYDOWN, VK_SHIFT, 0}, {WM_KEYDOWN, VK_INSERT, 0}, {WM_KEYUP, VK_SHIFT, 0}}, {}},
      {"Ctrl+V pastes through the character path",
       "a\xC3\xA9\n",  // "a", e acute, a line break (CR LF on the clipboard)
       {{WM_KEYDOWN, VK_CONTROL, 0}, {WM_KEYDOWN, 'V', 0}, {WM_KEYUP, 'V', 0},
        {WM_KEYUP, VK_CONTROL, 0}},
       {"Key 0 97", "Key 0 233", "Key 0 13", "Key 0 10"}},
      {"Enter once, its character held back", {}, {{WM_KEYDOWN, VK_RETURN, 0}}, {"Key 13 0"}},
      {"Backspace and Escape keys", {}, {{WM_KEYDOWN, VK_BACK, 0}, {WM_KEYDOWN, VK_ESCAPE, 0}},
       {"Key 8 0", "Key 27 0"}},
      {"navigation keys",
       {},
       {{WM_KEYDOWN, VK_END, 0}, {WM_KEYDOWN, VK_DOWN, 0}, {WM_KEYDOWN, VK_DELETE, 0},
        {WM_KEYDOWN, VK_F1, 0}, {WM_KEYDOWN, VK_SPACE, 0}},
       {"Key 35 0", "Key 40 0", "Key 46 0"}},
      {"letter a: the character only", {}, {{WM_KEYDOWN, 'A', 0}, {WM_CHAR, 'a', 0}, {WM_KEYUP, 'A', 0}},
       {"Key 0 97"}},
      {"held-back characters",
       {},
       {{WM_CHAR, '#', 0}, {WM_CHAR, '$', 0}, {WM_CHAR, '%', 0}, {WM_CHAR, '&', 0},
        {WM_CHAR, '\'', 0}, {WM_CHAR, '(', 0}, {WM_CHAR, '-', 0}, {WM_CHAR, '.', 0},
        {WM_CHAR, ')', 0}},
       {"Key 0 41"}},
      {"an ANSI character arrives as UTF-16", {}, {{WM_CHAR, 0x80, 0}}, {"Key 0 8364"}},
      {"Alt+Enter per key-down, Alt+A nothing",
       {},
       {{WM_SYSKEYDOWN, VK_RETURN, 0}, {WM_SYSKEYDOWN, VK_RETURN, 0}, {WM_SYSKEYDOWN, 'A', 0}},
       {"AltEnter", "AltEnter"}},
      {"wheel away, towards, with Shift",
       {},
       {{WM_MOUSEWHEEL, Wheel(1), at}, {WM_MOUSEWHEEL, Wheel(-1), at},
        {WM_MOUSEWHEEL, Wheel(1, MK_SHIFT), at}},
       {"Wheel 7864320 300", "Wheel -7864320 300", "Wheel 7864324 300"}},
      {"buttons; Ctrl reaches only the left button's last byte",
       {},
       {{WM_MOUSEMOVE, 0, MAKELPARAM(5, 6)}, {WM_LBUTTONDOWN, 0, at}, {WM_LBUTTONUP, 0, at},
        {WM_KEYDOWN, VK_CONTROL, 0}, {WM_LBUTTONDOWN, 0, at}, {WM_RBUTTONDOWN, 0, at},
        {WM_RBUTTONUP, 0, at}, {WM_MBUTTONDOWN, 0, at}, {WM_MBUTTONUP, 0, at},
        {WM_KEYUP, VK_CONTROL, 0}, {WM_LBUTTONDBLCLK, 0, at}, {WM_RBUTTONDBLCLK, 0, at}},
       {"Move 5 6", "Down 0 10 300 0", "Up 0 10 300 0", "Down 0 10 300 1", "Down 1 10 300 0",
        "Up 1 10 300 0", "Down 2 10 300 0", "Up 2 10 300 0"}},
      {"coordinates are unsigned words", {}, {{WM_MOUSEMOVE, 0, MAKELPARAM(0xFFFF, 0x8000)}},
       {"Move 65535 32768"}},
  };
  for (const InputCase& c : cases) {
    SCOPED_TRACE(c.name);
    platform::win32::testing::SetClipboardText(c.clipboard ? c.clipboard : std::optional<std::string>(""));
    EXPECT_EQ(Run(c.messages), c.expected);
    EXPECT_EQ(app->ShiftDown, 0);
    EXPECT_EQ(app->CtrlDown, 0);
  }
}

TEST_F(InputTest, MouseMessagesKeepTheLastPositionButTheWheelDoesNot) {
  Run({{WM_RBUTTONDOWN, 0, MAKELPARAM(7, 8)}, {WM_MOUSEWHEEL, Wheel(1), MAKELPARAM(400, 500)}});
  EXPECT_EQ(app->LastMouseX, 7);
  EXPECT_EQ(app->LastMouseY, 8);
}

TEST_F(InputTest, PasteForwardsAtMost4096Characters) {
  platform::win32::testing::SetClipboardText(std::string(5000, 'x'));
  Calls got = Run({{WM_CHAR, 22, 0}});
  EXPECT_EQ(got.size(), 4096u);
  EXPECT_EQ(got.front(), "Key 0 120");
}

TEST_F(InputTest, ActivationPausesAndResumes) {
  EXPECT_EQ(Run({{WM_ACTIVATE, MAKELPARAM(WA_INACTIVE, 1), 0}}), (Calls{"Pause"}));  // minimised
  EXPECT_EQ(Run({{WM_ACTIVATE, WA_INACTIVE, 0}, {WM_ACTIVATEAPP, 0, 0}}),
            (Calls{"RePause", "Pause"}));
  EXPECT_EQ(Run({{WM_ACTIVATEAPP, 1, 0}, {WM_ACTIVATE, WA_ACTIVE, 0}}),
            (Calls{"RePause", "RePause"}));
}

TEST_F(InputTest, LosingTheFocusClearsShiftAndCtrl) {
  for (UINT lose : {WM_ACTIVATE, WM_ACTIVATEAPP, WM_KILLFOCUS}) {
    SCOPED_TRACE(lose);
    platform::win32::testing::SetClipboardText("p");
    Run({{WM_KEYDOWN, VK_SHIFT, 0}, {WM_KEYDOWN, VK_CONTROL, 0}});
    ASSERT_EQ(app->ShiftDown, 1);
    ASSERT_EQ(app->CtrlDown, 1);
    Run({{lose, 0, 0}});
    EXPECT_EQ(app->ShiftDown, 0);
    EXPECT_EQ(app->CtrlDown, 0);
    // The Shift key-up went to another window: Insert is a key again, not a paste.
    EXPECT_EQ(Run({{WM_KEYDOWN, VK_INSERT, 0}}), (Calls{"Key 45 0"}));
    Run({{WM_KEYUP, VK_SHIFT, 0}, {WM_KEYUP, VK_CONTROL, 0}});
  }
}

}  // namespace
