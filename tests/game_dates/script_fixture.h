// A game object with a script host and nothing more, run in a scratch folder made current, with
// a main log of its own: enough for the operations that need no engine, window or stores.
#pragma once

#include <gtest/gtest.h>

#include <lua.hpp>

#include <filesystem>
#include <memory>
#include <string>

#include "foundation/KeshLogEngine.h"
#include "game/main.h"
#include "support/scratch.h"

namespace game_dates_test {

inline std::filesystem::path ScratchRoot() {
  static const std::filesystem::path root = test_support::MakeScratchRoot("game-dates");
  return root;
}

class ScriptTest : public testing::Test {
protected:
  void SetUp() override {
    static int logs = 0;
    InitializeKeshLogEngine();
    folder_ = test_support::NewFolder(ScratchRoot(), "case");
    log_ = ScratchRoot() / ("test-" + std::to_string(++logs) + ".log");
    LogEngine->MainLog = LogEngine->AddLogFile(log_.string());
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(folder_);
    lua_ = std::make_unique<TMyLua>(false);
    lua_->RegisterFunctions(&form_);
  }
  void TearDown() override {
    lua_.reset();
    std::filesystem::current_path(previous_);
  }

  // Runs Lua text: "" when it ran, else the error message. The stack is left as it was.
  std::string Run(const std::string& text) {
    lua_State* L = lua_->LuaState;
    const int top = lua_gettop(L);
    std::string error;
    if (lua_->DoString(text.c_str()) != 0) {
      const char* message = lua_tostring(L, -1);
      error = message != nullptr ? message : "(no message)";
    }
    lua_settop(L, top);
    return error;
  }
  // tostring of a Lua expression, every byte kept; a script error fails the test.
  std::string Eval(const std::string& expression) {
    const std::string error = Run("__eval = tostring(" + expression + ")");
    EXPECT_EQ(error, "") << expression;
    lua_State* L = lua_->LuaState;
    lua_getglobal(L, "__eval");
    std::size_t length = 0;
    const char* text = lua_tolstring(L, -1, &length);
    std::string value = text != nullptr ? std::string(text, length) : "?";
    lua_pop(L, 1);
    return value;
  }
  std::string LogText() const { return test_support::ReadFile(log_); }

  TMainForm form_;
  std::unique_ptr<TMyLua> lua_;
  std::filesystem::path folder_;

private:
  std::filesystem::path log_, previous_;
};

}  // namespace game_dates_test
