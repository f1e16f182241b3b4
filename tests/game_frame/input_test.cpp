// Input forwarding: the full-screen and windowed mouse mappings with their rounding cases, what
// reaches the scripts (buttons, loading, wheel, keys), the debug keys and SetoffsetXY.
#include <lua.hpp>

#include <filesystem>
#include <functional>

#include "game_frame_fixture.h"

using namespace game_frame_test;

namespace {

const char* kInputScript =
    "function A_MouseDown(...) rec('down:' .. table.concat({...}, ',')) end\n"
    "function A_MouseUp(...) rec('up:' .. table.concat({...}, ',')) end\n"
    "function A_MouseMove(...) rec('move:' .. table.concat({...}, ',')) end\n"
    "function A_MouseWhell(d) rec('wheel:' .. d) end\n"
    "function A_KeyDown(k, c) rec('key:' .. k .. ',' .. c) end\n";

class InputTest : public GameFrameTest {
protected:
  // An engine without a device: the mapping reads only its fields.
  TKeshSurfaceEngine3D& Engine(int width, int height, int backWidth, int backHeight) {
    TKeshSurfaceEngine3D& e = MakeEngine(width, height, false);
    e.BackBufferWidth = backWidth;
    e.BackBufferHeight = backHeight;
    return e;
  }
};

TEST_F(InputTest, MapsClientCoordinatesIntoDrawingCoordinates) {
  struct Case {
    const char* what;
    int screenHeight, taskbar;
    bool fullScreen;
    double scale, yOffset;
    int width, height, backWidth, backHeight;
    int x, y;
    const char* expected;
  };
  const Case cases[] = {
      // 2.5 and 127.5 round to even.
      {"full screen 2", 768, 0, true, 1.25, 0, 1024, 768, 1280, 960, 2, 2, "down:2,2"},
      {"full screen 102", 768, 0, true, 1.25, 0, 1024, 768, 1280, 960, 102, 101, "down:128,126"},
      // The game does not fit above the taskbar: the fixed 794 x 568 client area.
      {"small window", 768, 40, false, 1, 0, 1024, 768, 1024, 768, 397, 284, "down:512,384"},
      {"fits", 1080, 40, false, 1, 0, 800, 600, 800, 600, 123, 456, "down:123,456"},
      {"back buffer twice the logical size", 1080, 40, false, 1, 0, 400, 300, 800, 600, 3, 5, "down:6,10"},
      // Windowed, the offset is added and rounded again: 4.5 -> 4, 5.5 -> 6.
      {"offset", 1080, 0, false, 1, 0.5, 800, 600, 800, 600, 1, 4, "down:1,4"},
      {"offset odd", 1080, 0, false, 1, 0.5, 800, 600, 800, 600, 1, 5, "down:1,6"},
      {"logical size 0", 1080, 0, false, 1, 0, 0, 0, 800, 600, 10, 20, "down:0,0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetScreen(1920, c.screenHeight, {}, c.taskbar);
    form_.TaskbarRect = {0, c.screenHeight - c.taskbar, 1920, c.screenHeight};
    TKeshSurfaceEngine3D& e = Engine(c.width, c.height, c.backWidth, c.backHeight);
    e.FullScreen = c.fullScreen;
    e.ScaleX = e.ScaleY = c.scale;
    form_.FullScreenMode = c.fullScreen ? 1 : 0;
    form_.MouseYOffset = c.yOffset;
    StartScript(kInputScript);
    form_.FormMouseDown(0, c.x, c.y);
    EXPECT_EQ(Calls(), c.expected);
  }
}

TEST_F(InputTest, ForwardsWhatReachesTheScripts) {
  Engine(800, 600, 800, 600);
  SetScreen(1920, 1080);
  StartScript(kInputScript);
  struct Step {
    const char* what;
    bool loading;
    std::function<void(TMainForm&)> event;
    const char* expected;
  };
  const Step steps[] = {
      {"left press", false, [](TMainForm& f) { f.FormMouseDown(0, 10, 20); }, "down:10,20"},
      {"right press", false, [](TMainForm& f) { f.FormMouseDown(1, 10, 20); }, ""},
      {"middle release", false, [](TMainForm& f) { f.FormMouseUp(2, 10, 20); }, ""},
      {"left release", false, [](TMainForm& f) { f.FormMouseUp(0, 11, 21); }, "up:11,21"},
      {"press while loading", true, [](TMainForm& f) { f.FormMouseDown(0, 10, 20); }, ""},
      {"release while loading", true, [](TMainForm& f) { f.FormMouseUp(0, 10, 20); }, ""},
      // The previous position comes first, starting at (0, 0); a move is not blocked by loading.
      {"first move", true, [](TMainForm& f) { f.FormMouseMove(5, 6); }, "move:0,0,5,6"},
      {"same place", false, [](TMainForm& f) { f.FormMouseMove(5, 6); }, "move:5,6,5,6"},
      {"wheel", false, [](TMainForm& f) { f.FormMouseWheel(120, 500); }, "wheel:120"},
      {"wheel down", true, [](TMainForm& f) { f.FormMouseWheel(-120, 500); }, "wheel:-120"},
      {"negative direction", false, [](TMainForm& f) { f.FormMouseWheel(120, -1); }, "wheel:-120"},
      {"key", true, [](TMainForm& f) { f.FormKeyDown(36, 0); }, "key:36,0"},
  };
  for (const Step& s : steps) {
    form_.Loading = s.loading;
    s.event(form_);
    EXPECT_EQ(Calls(), s.expected) << s.what;
  }
  EXPECT_EQ(form_.MouseX, 5);
  EXPECT_EQ(form_.MouseY, 6);
}

TEST_F(InputTest, NothingIsForwardedBeforeTheScriptHostExists) {
  Engine(800, 600, 800, 600);
  form_.FormMouseDown(0, 1, 1);
  form_.FormMouseMove(7, 8);
  form_.FormMouseWheel(120, 0);
  form_.FormKeyDown(0, 'a');
  EXPECT_EQ(form_.MouseX, 0) << "the position is kept only when forwarded";
}

TEST_F(InputTest, DebugKeysActOnTheCharacterAfterTheScriptSawIt) {
  Engine(800, 600, 800, 600);
  StartScript(kInputScript + std::string("function A_KeyDown(k, c) rec('key:' .. k .. ',' .. c .. ':' .. tostring(overlay())) end\n"));
  lua_State* L = form_.LuaHost->LuaState;
  lua_pushlightuserdata(L, &form_);
  lua_pushcclosure(
      L,
      [](lua_State* s) {
        auto* f = static_cast<TMainForm*>(lua_touserdata(s, lua_upvalueindex(1)));
        lua_pushboolean(s, f->DebugOverlay);
        return 1;
      },
      1);
  lua_setglobal(L, "overlay");

  struct Step {
    bool debugMode;
    uint16_t key, ch;
    bool overlayAfter;
  };
  const Step steps[] = {
      {false, 0, 'f', false}, {true, 0, 'f', true},  {true, 36, 0, true}, {true, 70, 0, true},
      {true, 0, 'F', false},  {true, 0, 'g', false}, {true, 0, 'G', false},
  };
  for (const Step& s : steps) {
    form_.DebugMode = s.debugMode;
    const bool before = form_.DebugOverlay;
    const int top = lua_gettop(L);
    form_.FormKeyDown(s.key, s.ch);
    EXPECT_EQ(Calls(), "key:" + std::to_string(s.key) + "," + std::to_string(s.ch) + ":" + (before ? "true" : "false"));
    EXPECT_EQ(form_.DebugOverlay, s.overlayAfter) << s.key << "," << s.ch;
    EXPECT_EQ(lua_gettop(L), top);
    if (s.ch == 'g' || s.ch == 'G') {
      EXPECT_TRUE(std::filesystem::exists("Surfaces.txt")) << "the report of the loaded pictures";
      std::filesystem::remove("Surfaces.txt");
    }
  }
  form_.DebugMode = false;
  form_.FormKeyDown(0, 'g');
  Calls();
  EXPECT_FALSE(std::filesystem::exists("Surfaces.txt"));
}

TEST_F(InputTest, SetoffsetXYTakesTheArgumentsGiven) {
  StartScript("");
  const struct {
    const char* call;
    int32_t x, y;
  } cases[] = {{"SetoffsetXY()", 0, 0}, {"SetoffsetXY(5)", 5, 0}, {"SetoffsetXY(7, 9)", 7, 9}, {"SetoffsetXY(1, 2, 3)", 1, 2}};
  for (const auto& c : cases) {
    form_.OffsetX = form_.OffsetY = 0;
    Run(c.call);
    EXPECT_EQ(form_.OffsetX, c.x) << c.call;
    EXPECT_EQ(form_.OffsetY, c.y) << c.call;
  }
}

}  // namespace
