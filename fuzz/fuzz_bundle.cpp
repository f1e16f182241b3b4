// The script bundle as the start-up reads it: the input is the file "AllLua.luac" of a data
// folder, read back with its key into script lines (TMainForm::LoadScriptBundle), then joined and
// compiled by the script host as TMyLua::Start does, without running it. Whatever the bytes, no
// precompiled chunk may get through the host's load.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <lua.hpp>

#include "fuzz_support.h"
#include "game/main.h"
#include "runtime/StringList.h"
#include "script/MyLua.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = (fuzz::SilenceLog(), true);
  (void)ready;
  static const std::filesystem::path folder = fuzz::ScratchFolder() / "data";
  static const bool made = std::filesystem::create_directories(folder);
  (void)made;
  {
    // A new file each time: truncating one in place makes some file systems flush it to disk.
    std::filesystem::remove(folder / "AllLua.luac");
    std::ofstream file(folder / "AllLua.luac", std::ios::binary);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    FUZZ_CHECK(file.good());
  }

  TMainForm form;
  form.DataFolder = folder.string() + "/";
  rtl::TStringList scriptText;
  form.LoadScriptBundle(scriptText);

  TMyLua host(false);
  const std::string text = scriptText.Text();
  const int status = host.LoadText(text.c_str());
  if (status == 0) {
    FUZZ_CHECK(lua_isfunction(host.LuaState, -1));
    FUZZ_CHECK(text[0] != LUA_SIGNATURE[0]);
  } else {
    FUZZ_CHECK(lua_isstring(host.LuaState, -1));
  }
  return 0;
}
