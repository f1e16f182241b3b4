// The program block's command line and its shut-down after the message loop.
#include <gtest/gtest.h>

#include "frame/Quorrel.h"
#include "frame_test_support.h"
#include "runtime/Files.h"

namespace {

using frame_test::FrameTest;

struct CommandLineCase {
  std::vector<std::string> params;
  bool windowed;
  int32_t x, y;
  std::string launchList, launchName;
  bool haltAtOnce;
};

TEST_F(FrameTest, CommandLineCases) {
  const CommandLineCase cases[] = {
      {{}, false, 0, 0, "", "", false},
      {{"a", "b", "-w"}, true, 0, 0, "", "", false},
      {{"-W"}, false, 0, 0, "", "", false},
      {{"/w"}, false, 0, 0, "", "", false},
      {{"[1024,768]"}, false, 1024, 768, "", "", false},
      {{"[1,2]", "[640,480]"}, false, 640, 480, "", "", false},
      {{"x[1,2]"}, false, 0, 0, "", "", false},
      {{"-e", "alpha", "-w", "beta"}, true, 0, 0, "alpha;beta;", "", false},
      {{"-e", "x[1,2]", "one"}, false, 0, 0, "one;", "", false},
      {{"-e", "[800,600]", "one"}, false, 800, 600, "one;", "", false},
      {{"-e"}, false, 0, 0, "", "", false},
      {{"one", "-e", "two"}, false, 0, 0, "", "", false},
      {{"-s", "a.b.c"}, false, 0, 0, "", "a", false},
      {{"-s", "name", "-w"}, true, 0, 0, "", "name", false},
      {{"-s"}, false, 0, 0, "", "", true},
      // Malformed sizes are ignored; an earlier valid one stays.
      {{"[1024,768]", "[12,ab]"}, false, 1024, 768, "", "", false},
      {{"[1024]"}, false, 0, 0, "", "", false},
      {{"[1024,768"}, false, 0, 0, "", "", false},
      {{"[,768]"}, false, 0, 0, "", "", false},
      {{"[0,768]"}, false, 0, 0, "", "", false},
      {{"[-5,768]"}, false, 0, 0, "", "", false},
      {{"[99999999999,768]"}, false, 0, 0, "", "", false},
      {{"[]"}, false, 0, 0, "", "", false},
      {{"[1,2,3]"}, false, 0, 0, "", "", false},
      // Y ends at the first "]" after the comma; what follows it does not count.
      {{"[1024,768]junk"}, false, 1024, 768, "", "", false},
      {{"[1024,768]]"}, false, 1024, 768, "", "", false},
      {{"[640,480]x[1,2]"}, false, 640, 480, "", "", false},
      {{"[10]24,768]"}, false, 0, 0, "", "", false},
  };
  for (const CommandLineCase& c : cases) {
    std::string joined;
    for (const auto& p : c.params) joined += p + " ";
    SCOPED_TRACE(joined);
    CD3DGame game;
    game.m_MainForm->LaunchList = "before;";
    TStartParams start = ReadCommandLine(game, c.params);
    EXPECT_EQ(game.m_bWindowed, c.windowed);
    EXPECT_EQ(start.StartX, c.x);
    EXPECT_EQ(start.StartY, c.y);
    EXPECT_EQ(start.HaltAtOnce, c.haltAtOnce);
    const bool listCleared = !c.params.empty() && (c.params[0] == "-e" || c.params[0] == "-s");
    EXPECT_EQ(game.m_MainForm->LaunchList, listCleared ? c.launchList : "before;");
    EXPECT_EQ(game.m_MainForm->LaunchName, c.launchName);
    delete game.m_MainForm;
  }
}

// Runs ShutDownAfterLoop in a folder holding the given shortcut files.
std::vector<std::string> ShutDownIn(frame_test::RecordingCalls& calls, CD3DGame& app,
                                    bool link, bool survey, bool surveyOpened) {
  auto folder = frame_test::NewFolder("shutdown");
  if (link) frame_test::WriteFile(folder / "Link.url", "[InternetShortcut]\r\n");
  if (survey) frame_test::WriteFile(folder / "survey.url", "[InternetShortcut]\r\n");
  const std::string before = rtl::GetCurrentDir();
  rtl::SetCurrentDir(folder.string());
  app.m_MainForm->SurveyOpened = surveyOpened;
  ShutDownAfterLoop(app);
  rtl::SetCurrentDir(before);
  return calls.Take();
}

TEST_F(FrameTest, ShutDownOpensLinkAlwaysAndSurveyOnce) {
  using V = std::vector<std::string>;
  EXPECT_EQ(ShutDownIn(*calls, *app, true, true, false),
            (V{"SaveGameBeforeGame", "OpenUrl Link.url", "OpenUrl survey.url"}));
  EXPECT_TRUE(app->m_MainForm->SurveyOpened);
  EXPECT_EQ(ShutDownIn(*calls, *app, true, true, true),
            (V{"SaveGameBeforeGame", "OpenUrl Link.url"}));
  EXPECT_EQ(ShutDownIn(*calls, *app, false, false, false), (V{"SaveGameBeforeGame"}));
}

}  // namespace
