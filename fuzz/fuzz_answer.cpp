// The answer handling: the bytes a request worker delivers become the text a script function
// receives (made on the worker), then the handler runs, log line and script call included, and
// the script sees exactly what the byte handling makes of the answer: no NUL byte, the "Error"
// answers as they came, every other answer the descrambled bytes between a dropped byte order
// mark and a dropped trailing NUL.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <lua.hpp>

#include "fuzz_support.h"
#include "game/main.h"
#include "net/KeshUrlConnect.h"

namespace {

TMainForm& Form() {
  static TMainForm* form = [] {
    fuzz::SilenceLog();
    auto* f = new TMainForm;
    f->LuaHost = std::make_unique<TMyLua>(false);
    FUZZ_CHECK(f->LuaHost->DoString("function OnAnswer(text) received = text end") == 0);
    return f;
  }();
  return *form;
}

std::string Received(TMainForm& form) {
  lua_State* L = form.LuaHost->LuaState;
  lua_getglobal(L, "received");
  std::size_t n = 0;
  const char* s = lua_tolstring(L, -1, &n);
  std::string text = s ? std::string(s, n) : std::string("<no text>");
  lua_pop(L, 1);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string answer(reinterpret_cast<const char*>(data), size);
  const std::string text = PostAnswerText(answer);
  FUZZ_CHECK(text.find('\0') == std::string::npos);
  if (answer.compare(0, 5, "Error") == 0) {
    FUZZ_CHECK(text == answer.substr(0, std::min(answer.size(), answer.find('\0'))));
  } else {
    std::string wire = answer;
    if (wire.compare(0, 3, "\xEF\xBB\xBF") == 0) wire.erase(0, 3);
    if (!wire.empty() && wire.back() == '\0') wire.pop_back();
    // The alphabets keep NUL, so the text ends where the server's bytes had a NUL.
    FUZZ_CHECK(text.size() == std::min(wire.size(), wire.find('\0')));
    std::string again = text;
    ScramblePostText(again);
    FUZZ_CHECK(again == wire.substr(0, text.size()));
  }

  TMainForm& form = Form();
  form.PostUrlAnswer("OnAnswer", text);
  FUZZ_CHECK(Received(form) == text);
  return 0;
}
