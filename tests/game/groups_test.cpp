// Transform groups and clip rectangles, driven through the script operations.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "game/main.h"
#include "game_test_support.h"

namespace {

class GroupsTest : public testing::Test {
protected:
  void SetUp() override {
    game_test::UseFreshLog();
    GroupStack.clear();
    ClipStack.clear();
    CurrentGroup = -1;
    CurrentGroupValues = tGroupValues{};
    lua = std::make_unique<TMyLua>(false);
    lua->RegisterFunctions(&form);
  }
  void TearDown() override {
    GroupStack.clear();
    ClipStack.clear();
  }
  void Run(const std::string& script) { ASSERT_EQ(lua->DoString(script.c_str()), 0) << script; }

  TMainForm form;
  std::unique_ptr<TMyLua> lua;
};

std::vector<std::string> Names(const auto& stack) {
  std::vector<std::string> names;
  for (const auto& e : stack) names.push_back(e.Name);
  return names;
}

TEST_F(GroupsTest, GroupBeginAndGroupEnd) {
  struct Case {
    std::string script;
    std::vector<std::string> stack;
    int32_t current;
    tGroupValues values;
    double groupMouseX, groupMouseY;
  };
  // The mouse stands at (50, 30) in every case.
  const Case cases[] = {
      {"GroupBegin('a', 0, 0, 1, 1, 0.5) GroupBegin('b', 0, 0, 1, 1, 0.5)", {"a", "b"}, 1, {0, 0, 1, 1, 0.25, -1, -1}, 50, 30},
      {"GroupBegin('c', 1, 2, 3, 4, 0.5, 7, 8)", {"c"}, 0, {1, 2, 3, 4, 0.5, 7, 8}, 49.0 / 3, 7},
      // Re-opening keeps the place; the group mouse follows the last entry.
      {"GroupBegin('a') GroupBegin('b', 10, 10, 2, 4) GroupBegin('a', 10, 0, 2, 3)", {"a", "b"}, 0, {10, 0, 2, 3, 1, -1, -1}, 20, 5},
      // An unknown name removes nothing; the values fall back to the last entry.
      {"GroupBegin('a', 1, 1) GroupBegin('b', 5, 6, 2, 2, 0.5, 3, 4) GroupBegin('a', 1, 1) GroupEnd('zzz')", {"a", "b"}, 1, {5, 6, 2, 2, 0.5, 3, 4}, 22.5, 12},
      {"GroupBegin('a', 0, 0, 1, 1, 0.5) GroupEnd('a')", {}, -1, {0, 0, 1, 1, 1, -1, -1}, 50, 30},
      {"GroupBegin('a', 0, 0, 1, 1, 0.5) GroupBegin('b') GroupBegin('c', 9, 0, 1, 1, 0.5) GroupEnd('b')", {"a", "c"}, 1, {9, 0, 1, 1, 0.25, -1, -1}, 41, 30},
      {"GroupEnd('a')", {}, -1, {0, 0, 1, 1, 1, -1, -1}, 0, 0},
      // A zero scale leaves that axis of the group mouse at 0.
      {"GroupBegin('z', 10, 10, 0, 2)", {"z"}, 0, {10, 10, 0, 2, 1, -1, -1}, 0, 10},
      {"GroupBegin('z', 10, 10, 2, 0)", {"z"}, 0, {10, 10, 2, 0, 1, -1, -1}, 20, 0},
      // Names compare exactly.
      {"GroupBegin('a') GroupBegin('A')", {"a", "A"}, 1, {0, 0, 1, 1, 1, -1, -1}, 50, 30},
  };
  for (const Case& c : cases) {
    SetUp();
    form.MouseX = 50;
    form.MouseY = 30;
    form.GroupMouseX = form.GroupMouseY = 0;
    Run(c.script);
    EXPECT_EQ(Names(GroupStack), c.stack) << c.script;
    EXPECT_EQ(CurrentGroup, c.current) << c.script;
    const tGroupValues& v = CurrentGroupValues;
    EXPECT_DOUBLE_EQ(v.X, c.values.X) << c.script;
    EXPECT_DOUBLE_EQ(v.Y, c.values.Y) << c.script;
    EXPECT_DOUBLE_EQ(v.ScaleX, c.values.ScaleX) << c.script;
    EXPECT_DOUBLE_EQ(v.ScaleY, c.values.ScaleY) << c.script;
    EXPECT_DOUBLE_EQ(v.Alpha, c.values.Alpha) << c.script;
    EXPECT_DOUBLE_EQ(v.CenterX, c.values.CenterX) << c.script;
    EXPECT_DOUBLE_EQ(v.CenterY, c.values.CenterY) << c.script;
    EXPECT_DOUBLE_EQ(form.GroupMouseX, c.groupMouseX) << c.script;
    EXPECT_DOUBLE_EQ(form.GroupMouseY, c.groupMouseY) << c.script;
  }
}

TEST_F(GroupsTest, ReopenedGroupHoldsItsNewValues) {
  Run("GroupBegin('a') GroupBegin('b') GroupBegin('a', 10, 0, 2, 3)");
  const tGroup& a = GroupStack[0];
  EXPECT_EQ(a.X, 10);
  EXPECT_EQ(a.ScaleX, 2);
  EXPECT_EQ(a.ScaleY, 3);
  EXPECT_EQ(a.Alpha, 1);
  EXPECT_EQ(a.CenterX, -1);
}

struct ClipExpect {
  std::string name;
  double left, top, right, bottom;
  double clipLeft, clipTop, clipRight, clipBottom;
};

struct EngineSetup {
  bool fullScreen;
  int32_t width, height;              // logical size (windowed)
  int32_t initWidth, initHeight;      // full screen
  int32_t fullWidth, fullHeight;      // FullScreenSize
};

TEST_F(GroupsTest, ClipRectBeginAndEnd) {
  const EngineSetup windowed{false, 1024, 768, 0, 0, 0, 0};
  const EngineSetup full{true, 1280, 1024, 1024, 768, 1280, 1024};
  const EngineSetup fullBeforeDevice{true, 1280, 1024, 0, 0, 0, 0};
  const EngineSetup fullNoSize{true, 1280, 1024, 1024, 768, 0, 0};
  struct Case {
    EngineSetup engine;
    std::string script;
    std::vector<ClipExpect> stack;
  };
  const Case cases[] = {
      {windowed, "ClipRectBegin('c')", {{"c", 0, 0, 1024, 768, 0, 0, 1024, 768}}},
      {windowed, "GroupBegin('g', 100, 0, 2, 2) ClipRectBegin('c', 10, 10, 20, 20)", {{"c", 120, 20, 140, 40, 120, 20, 140, 40}}},
      // Groups apply from the innermost outwards: scale 2 then offset 100 of the outer group.
      {windowed, "GroupBegin('o', 100, 0) GroupBegin('i', 0, 0, 2, 2) ClipRectBegin('c', 10, 10, 20, 20)", {{"c", 120, 20, 140, 40, 120, 20, 140, 40}}},
      {full, "ClipRectBegin('c', 512, 384, 1024, 768)", {{"c", 640, 512, 1280, 1024, 640, 512, 1280, 1024}}},
      {full, "ClipRectBegin('c')", {{"c", 0, 0, 1280, 1024, 0, 0, 1280, 1024}}},
      {windowed, "ClipRectBegin('c', -50, 0, -10, 100)", {}},
      {windowed, "GroupBegin('g', 0, 0, -1, 1) ClipRectBegin('c', 10, 10, 20, 20)", {}},
      {windowed, "ClipRectBegin('c', -10, -20, 2000, 900)", {{"c", 0, 0, 1024, 768, 0, 0, 1024, 768}}},
      {windowed, "ClipRectBegin('a', 0, 0, 100, 100) ClipRectBegin('b', 50, 50, 200, 200)",
       {{"a", 0, 0, 100, 100, 0, 0, 100, 100}, {"b", 50, 50, 200, 200, 50, 50, 100, 100}}},
      {windowed, "ClipRectBegin('a', 0, 0, 100, 100) ClipRectBegin('b', 50, 50, 200, 200) ClipRectBegin('a', 10, 10, 60, 60)",
       {{"b", 50, 50, 200, 200, 50, 50, 200, 200}, {"a", 10, 10, 60, 60, 50, 50, 60, 60}}},
      // An empty intersection is stored as computed.
      {windowed, "ClipRectBegin('a', 0, 0, 10, 10) ClipRectBegin('b', 50, 50, 60, 60)",
       {{"a", 0, 0, 10, 10, 0, 0, 10, 10}, {"b", 50, 50, 60, 60, 50, 50, 10, 10}}},
      // A rectangle that comes out empty leaves an entry of the same name as it was.
      {windowed, "ClipRectBegin('a', 0, 0, 100, 100) ClipRectBegin('a', -10, -10, -5, -5)", {{"a", 0, 0, 100, 100, 0, 0, 100, 100}}},
      {windowed, "ClipRectBegin('a', 0, 0, 100, 100) ClipRectBegin('b', 50, 50, 200, 200) ClipRectEnd('zzz')",
       {{"a", 0, 0, 100, 100, 0, 0, 100, 100}, {"b", 50, 50, 200, 200, 50, 50, 100, 100}}},
      {windowed, "ClipRectBegin('a', 0, 0, 100, 100) ClipRectBegin('b', 50, 50, 200, 200) ClipRectEnd('a')",
       {{"b", 50, 50, 200, 200, 50, 50, 200, 200}}},
      {windowed, "ClipRectBegin('a') ClipRectEnd('a') ClipRectEnd('a')", {}},
      // Before the first device: no bounds, so nothing is stored and no 0/0 factor arises.
      {fullBeforeDevice, "ClipRectBegin('c', 0, 0, 100, 100)", {}},
      {fullNoSize, "ClipRectBegin('c', 0, 0, 2000, 2000)", {{"c", 0, 0, 1024, 768, 0, 0, 1024, 768}}},
      // NaN never passes the clamps.
      {windowed, "ClipRectBegin('c', 0/0, 0/0, 100, 100)", {{"c", 0, 0, 100, 100, 0, 0, 100, 100}}},
      {windowed, "ClipRectBegin('c', 0, 0, 0/0, 100)", {}},
      {windowed, "GroupBegin('g', 0/0, 0) ClipRectBegin('c', 0, 0, 100, 100)", {}},
  };
  for (const Case& c : cases) {
    SetUp();
    form.Engine = std::make_unique<TKeshSurfaceEngine3D>(1024, 768, c.engine.fullScreen, 0, 0, c.engine.width,
                                                         c.engine.height, "data\\");
    form.Engine->InitWidth = c.engine.initWidth;
    form.Engine->InitHeight = c.engine.initHeight;
    form.Engine->FullScreenSize = {c.engine.fullWidth, c.engine.fullHeight};
    Run(c.script);
    ASSERT_EQ(ClipStack.size(), c.stack.size()) << c.script;
    for (std::size_t i = 0; i < c.stack.size(); ++i) {
      const tClipRect& r = ClipStack[i];
      const ClipExpect& e = c.stack[i];
      EXPECT_EQ(r.Name, e.name) << c.script;
      // The matrices are single precision: 4/3 as a float is a little above it.
      constexpr double kFloat = 1e-3;
      EXPECT_NEAR(r.Left, e.left, kFloat) << c.script << " " << e.name;
      EXPECT_NEAR(r.Top, e.top, kFloat) << c.script << " " << e.name;
      EXPECT_NEAR(r.Right, e.right, kFloat) << c.script << " " << e.name;
      EXPECT_NEAR(r.Bottom, e.bottom, kFloat) << c.script << " " << e.name;
      EXPECT_NEAR(r.ClipLeft, e.clipLeft, kFloat) << c.script << " " << e.name;
      EXPECT_NEAR(r.ClipTop, e.clipTop, kFloat) << c.script << " " << e.name;
      EXPECT_NEAR(r.ClipRight, e.clipRight, kFloat) << c.script << " " << e.name;
      EXPECT_NEAR(r.ClipBottom, e.clipBottom, kFloat) << c.script << " " << e.name;
    }
  }
}

TEST_F(GroupsTest, ClipRectKeepsTheScriptCorners) {
  form.Engine = std::make_unique<TKeshSurfaceEngine3D>(1024, 768, false, 0, 0, 1024, 768, "data\\");
  Run("GroupBegin('g', 100, 0, 2, 2) ClipRectBegin('c', 10, 11, 20, 21) ClipRectBegin('d')");
  EXPECT_EQ(ClipStack[0].SourceLeft, 10);
  EXPECT_EQ(ClipStack[0].SourceTop, 11);
  EXPECT_EQ(ClipStack[0].SourceRight, 20);
  EXPECT_EQ(ClipStack[0].SourceBottom, 21);
  // Defaulted corners are stored untransformed too; the transformed rectangle is clamped.
  EXPECT_EQ(ClipStack[1].SourceRight, 1024);
  EXPECT_EQ(ClipStack[1].SourceBottom, 768);
  EXPECT_EQ(ClipStack[1].Left, 100);
  EXPECT_EQ(ClipStack[1].Right, 1024);
}

}  // namespace
