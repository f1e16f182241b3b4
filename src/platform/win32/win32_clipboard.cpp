// The clipboard's text as Windows' CF_TEXT gives it: ANSI code page, CR LF line breaks.

#include <optional>

#include "platform/win32/win32_codepage.h"
#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_sdl.h"

namespace platform::win32 {
namespace {

std::optional<std::string> seamText;

std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

std::string GetClipboardText() {
  std::string utf8;
  if (seamText) {
    utf8 = *seamText;
  } else if (EnsureSdlVideo() && SDL_HasClipboardText()) {
    if (char* text = SDL_GetClipboardText()) {
      utf8 = text;
      SDL_free(text);
    }
  }
  return Utf8ToAnsi(WithCrLf(utf8));
}

namespace testing {

void SetClipboardText(std::optional<std::string> utf8) { seamText = std::move(utf8); }

}  // namespace testing

}  // namespace platform::win32
