// Message boxes through SDL. Without a desktop (the dummy video driver, or SDL failing to show
// the box) the text goes to standard error and the default answer is taken, so a headless run
// never waits for a click that cannot come.

#include <cstdio>
#include <cstring>

#include "platform/win32/win32_codepage.h"
#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_sdl.h"

namespace platform::win32 {
namespace {

int seamAnswer = 0;
std::vector<testing::MessageBoxRecord> shown;

int DefaultAnswer(UINT type) {
  switch (type & 0xF) {
    case MB_OKCANCEL:
    case MB_RETRYCANCEL: return IDCANCEL;
    default: return IDOK;
  }
}

bool Headless() {
  const char* driver = SDL_GetCurrentVideoDriver();
  return !driver || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0;
}

int Show(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  testing::MessageBoxRecord record{caption, text, type, 0};
  int answer = seamAnswer;
  if (!answer) {
    if (EnsureSdlVideo() && !Headless()) {
      SDL_MessageBoxButtonData buttons[2];
      int count = 0;
      const UINT kind = type & 0xF;
      if (kind == MB_RETRYCANCEL) {
        buttons[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDRETRY, "Retry"};
        buttons[count++] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDCANCEL, "Cancel"};
      } else if (kind == MB_OKCANCEL) {
        buttons[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDOK, "OK"};
        buttons[count++] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDCANCEL, "Cancel"};
      } else {
        buttons[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT |
                                SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT,
                            IDOK, "OK"};
      }
      Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
      const UINT icon = type & 0xF0;
      if (icon == MB_ICONERROR) flags = SDL_MESSAGEBOX_ERROR;
      if (icon == MB_ICONWARNING) flags = SDL_MESSAGEBOX_WARNING;
      const SDL_MessageBoxData data{flags, SdlWindowOf(owner), caption.c_str(), text.c_str(),
                                    count, buttons, nullptr};
      int pressed = -1;
      if (SDL_ShowMessageBox(&data, &pressed) == 0)
        answer = pressed < 0 ? DefaultAnswer(type) : pressed;  // closed: Cancel (OK for OK)
    }
    if (!answer) {
      std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
      answer = DefaultAnswer(type);
    }
  }
  record.answer = answer;
  shown.push_back(record);
  return answer;
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  return Show(owner, AnsiToUtf8(text ? text : ""), AnsiToUtf8(caption ? caption : "Error"), type);
}

int MessageBoxW(HWND owner, const WCHAR* text, const WCHAR* caption, UINT type) {
  return Show(owner, Utf16ToUtf8(text ? std::u16string(text) : std::u16string()),
              caption ? Utf16ToUtf8(std::u16string(caption)) : std::string("Error"), type);
}

namespace testing {

void SetMessageBoxAnswer(int answer) { seamAnswer = answer; }
std::vector<MessageBoxRecord> MessageBoxes() { return shown; }
void ClearMessageBoxes() { shown.clear(); }

}  // namespace testing

}  // namespace platform::win32
