// The game object's start-up: the published operations as Lua globals, FormCreate and
// CreateResources_Testing in-process, and whole game folders run end to end by the driver that
// stands in for the application frame.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <lua.hpp>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "foundation/CUnit.h"
#include "game/main.h"
#include "game_test_support.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_system.h"
#include "runtime/DateTime.h"
#include "runtime/Streams.h"

namespace fs = std::filesystem;
namespace w32 = platform::win32;
using game_test::NewFolder;
using game_test::ReadFile;
using game_test::WriteFile;

namespace {

// The operations that only the system calls: their globals must do nothing.
const std::set<std::string> kHostOnly = {
    "FormCreate", "FormDestroy", "FormActivate", "FormPaint", "GetMyDoc", "CreateResources_Testing",
    "SaveGameBeforeGame", "Draw", "AppIdle", "Pause", "RePause", "Call_Pause", "Call_RePause",
    "LowBitsInHistory", "WOptions_OK_MouseUp_fromCode", "ChangeWindowMode", "Call_A_ChangeResolution",
    "ErrorGraphicsMode", "LoadAllTextures", "GetAlphaFromSurf", "FormMouseDown", "FormMouseUp",
    "FormMouseMove", "FormMouseWheel", "FormKeyDown", "FormKeyPress", "FormKeyUp", "OpenUrlByString"};

TEST(PublishedOperationsTest, EveryOperationIsAGlobalAndTheSystemOnesDoNothing) {
  game_test::UseFreshLog();
  const auto& ops = TMainForm::Published.Operations;
  EXPECT_EQ(ops.size(), 110u);
  std::set<std::string> names;
  for (const auto& op : ops) {
    EXPECT_TRUE(names.insert(op.Name).second) << "twice: " << op.Name;
    EXPECT_EQ(op.Operation == nullptr, kHostOnly.count(op.Name) == 1) << op.Name;
  }
  EXPECT_EQ(names.size(), ops.size());

  TMainForm form;
  form.LuaHost = std::make_unique<TMyLua>(false);
  TMyLua& lua = *form.LuaHost;
  lua.RegisterFunctions(&form);
  for (const auto& op : ops) {
    lua_getglobal(lua.LuaState, op.Name);
    EXPECT_TRUE(lua_isfunction(lua.LuaState, -1)) << op.Name;
    lua_pop(lua.LuaState, 1);
  }
  for (const std::string& name : kHostOnly) {
    const std::string script = "n = select('#', " + name + "('x', 1, 2, 3, 4, 5))";
    ASSERT_EQ(lua.DoString(script.c_str()), 0) << name;
    lua_getglobal(lua.LuaState, "n");
    EXPECT_EQ(lua_tointeger(lua.LuaState, -1), 0) << name;
    lua_pop(lua.LuaState, 1);
  }
  // Nothing ran: no engine made, the script host still there, no start-up state changed.
  EXPECT_EQ(form.Engine, nullptr);
  EXPECT_NE(form.LuaHost, nullptr);
  EXPECT_EQ(form.CursorCounter, 0);
  EXPECT_TRUE(form.DataFolder.empty());
}

TEST(GameTitleTest, TakesGameTitleUnderTheFirstTopLevelElement) {
  struct Case {
    std::string label;
    std::string file;  // "" for no file
    std::u16string title;
  };
  const Case cases[] = {
      {"nested, UTF-8", "<Game><GameTitle>Caf\xC3\xA9 \xE2\x82\xAC</GameTitle></Game>", u"Caf\u00e9 \u20ac"},
      {"any outer name, declaration", "<?xml version=\"1.0\"?>\r\n<x>\r\n<Other>a</Other>\r\n<GameTitle>T</GameTitle>\r\n</x>", u"T"},
      {"at the top level itself", "<GameTitle>Top</GameTitle>", u""},
      {"under the second top-level element", "<a></a><b><GameTitle>B</GameTitle></b>", u""},
      {"nested deeper", "<a><b><GameTitle>B</GameTitle></b></a>", u""},
      {"no elements", "just text", u""},
      {"no file", "", u""},
  };
  for (const Case& c : cases) {
    const fs::path data = NewFolder("title");
    if (!c.file.empty()) WriteFile(data / "Game title.txt", c.file);
    TMainForm form;
    form.GameTitle = u"old";
    form.DataFolder = data.string() + "/";
    form.ReadGameTitle();
    EXPECT_EQ(form.GameTitle, c.title) << c.label;
  }
}

// Start-up in this process, with the tick counter under the test's control.
TEST(StartUpTest, FormCreateAndCreateResourcesTesting) {
  const fs::path log = game_test::UseFreshLog();
  const fs::path game = NewFolder("inproc");
  WriteFile(game / "data" / "AllLua.lua",
            "function A_Init(...) init = {...} n = select('#', ...) end\n"
            "function G_EndGame() ended = true end\n"
            "-- START Textures.lua\n"
            "Textures = {\n"
            "{Name=\"a.png\";Texture=\"t\";PosX=1;PosY=2;Width=3;Height=4;Rotate=false;Compress=false;},\n"
            "{Name=\"bad.png\";Texture=\"t\";PosX=1;PosY=2;Width=3;Height=4;Rotate=maybe;Compress=false;},\n"
            "{Name=\"after.png\";Texture=\"t\";PosX=1;PosY=2;Width=3;Height=4;Rotate=false;Compress=false;},\n"
            "}\n"
            "-- END Textures.lua\n");
  WriteFile(game / "data" / "Game title.txt", "<t><GameTitle>Demo</GameTitle></t>");
  const fs::path cwd = fs::current_path();

  uint32_t tick = 100000;
  w32::seam::SetTickSource([&] { return tick; });
  struct Restore {
    fs::path cwd;
    ~Restore() {
      w32::seam::SetTickSource({});
      w32::testing::SetVirtualScreen(std::nullopt);
      StartFullScreen = 0;
      fs::current_path(cwd);
    }
  } restore{cwd};
  EpochOffsetMs = 0;
  TMainForm form;
  form.ProgramFolder = game.string();
  form.LaunchList = "list";
  form.LaunchName = "name";
  StartFullScreen = 1;
  form.Paused = true;
  w32::testing::VirtualScreen screen;
  screen.width = 1024;
  screen.height = 768;
  screen.usable = {0, 0, 1024, 728};
  w32::testing::SetVirtualScreen(screen);
  const int cursorBefore = w32::testing::CursorDisplayCount();
  form.FormCreate();

  EXPECT_EQ(fs::current_path(), game);
  EXPECT_EQ(form.DataFolder, "data\\");
  EXPECT_EQ(form.FullScreenMode, 1);
  EXPECT_FALSE(form.Paused);
  EXPECT_EQ(form.CursorCounter, 0);
  EXPECT_EQ(w32::testing::CursorDisplayCount() - cursorBefore, -1) << "hidden once";
  EXPECT_EQ(CurrentGroup, -1);
  EXPECT_EQ(StartTick.load(), 100000u);
  ASSERT_NE(form.Engine, nullptr);
  EXPECT_EQ(form.Engine->g_pd3dDevice, nullptr);
  EXPECT_EQ(form.Engine->Width, 1280);
  EXPECT_EQ(form.Engine->Height, 1024);
  EXPECT_TRUE(form.Engine->FullScreen);
  EXPECT_EQ(form.Engine->DataPath, "data\\");
  EXPECT_EQ(form.Engine->ScreenWidth, 1024);
  EXPECT_EQ(form.Engine->ScreenHeight, 768);
  EXPECT_EQ(form.TaskbarRect.top, 728);
  EXPECT_EQ(form.TaskbarRect.bottom, 768);
  EXPECT_EQ(form.TaskbarRect.right, 1024);
  const uint32_t wallAtFormCreate = WallClockMs;
  EXPECT_EQ(wallAtFormCreate, EpochOffsetMs.load());

  tick += 5000;
  form.CreateResources_Testing();

  EXPECT_EQ(form.GameTitle, u"Demo");
  ASSERT_EQ(form.TexSurfaces.size(), 2u) << "rows up to the bad line stay";
  EXPECT_EQ(form.TexSurfaces[0].Name, "a.png");
  EXPECT_EQ(form.TexSurfaces[1].Name, "bad.png");
  const std::string logText = ReadFile(log);
  EXPECT_NE(logText.find("'maybe' is not a valid boolean value in line 6: {Name=\"bad.png\""), std::string::npos) << logText;

  lua_State* L = form.LuaHost->LuaState;
  lua_getglobal(L, "n");
  EXPECT_EQ(lua_tointeger(L, -1), 7);
  lua_getglobal(L, "init");
  const double expected[] = {5000, 0, 2, 1};
  for (int i = 0; i < 4; ++i) {
    lua_rawgeti(L, -1, i + 1);
    EXPECT_EQ(lua_tonumber(L, -1), expected[i]) << "argument " << i + 1;
    lua_pop(L, 1);
  }
  lua_rawgeti(L, -1, 5);
  EXPECT_STREQ(lua_tostring(L, -1), "list");
  lua_rawgeti(L, -2, 6);
  EXPECT_STREQ(lua_tostring(L, -1), "name");
  lua_rawgeti(L, -3, 7);
  EXPECT_EQ(lua_tonumber(L, -1), static_cast<double>(wallAtFormCreate)) << "not a fresh reading";
  lua_settop(L, 0);

  form.SaveGameBeforeGame();
  lua_getglobal(L, "ended");
  EXPECT_TRUE(lua_toboolean(L, -1));
  lua_settop(L, 0);

  GroupStack.push_back(tGroup{});
  form.FormDestroy();
  EXPECT_EQ(form.LuaHost, nullptr);
  EXPECT_TRUE(GroupStack.empty());
}

TEST(StartUpTest, GetMyDocGivesTheDocumentsFolder) {
  TMainForm form;
  std::string path = "old";
  form.GetMyDoc(path);
  EXPECT_EQ(path, w32::DocumentsFolder());
}

// ---- end to end: a game folder with the driver linked in as its executable

struct GameRun {
  int exitCode = -1;
  std::string log;     // Log.txt of the program folder
  std::string errors;  // standard error
};

// Runs Folder/Exe (a link to the driver) with the folder as the place it is invoked from.
GameRun RunGame(const fs::path& exeFolder, const std::vector<std::string>& args = {}) {
  const fs::path exe = exeFolder / "quorrel";
  if (!fs::exists(fs::symlink_status(exe))) fs::create_symlink(QUORREL_GAME_DRIVER, exe);
  fs::remove(exeFolder / "Log.txt");
  const fs::path errors = exeFolder.parent_path() / (exeFolder.filename().string() + ".stderr");
  const pid_t pid = fork();
  if (pid == 0) {
    const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err < 0 || dup2(err, 2) < 0) _exit(126);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (chdir("/") != 0) _exit(126);  // start-up must find its folder by itself
    std::vector<char*> argv;
    const std::string path = exe.string();
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  GameRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  run.log = ReadFile(exeFolder / "Log.txt");
  run.errors = ReadFile(errors);
  return run;
}

// A_Init writes what it received to init.txt; G_EndGame writes end.txt.
const std::string kRecorder =
    "function A_Init(...)\n"
    "  local out = {}\n"
    "  for i = 1, select('#', ...) do local v = select(i, ...) out[i] = type(v) .. ':' .. tostring(v) end\n"
    "  local f = io.open('init.txt', 'w') f:write(table.concat(out, '|'), '\\n', tostring(marker)) f:close()\n"
    "end\n"
    "function G_EndGame() local f = io.open('end.txt', 'w') f:write('end') f:close() end\n";

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == sep) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

std::string Scrambled(const std::string& text) {
  rtl::TMemoryStream source, dest;
  source.WriteString(text);
  ScrambleStream(source, dest, "tovbik");
  return dest.ToString();
}

TEST(GameFolderTest, PlainBundleRunsAInitAndIsWrittenBackScrambled) {
  const fs::path game = NewFolder("plain");
  const std::string script = "marker = 'plain'\n" + kRecorder;  // LF line ends
  WriteFile(game / "data" / "AllLua.lua", script);

  const uint32_t before = static_cast<uint32_t>(rtl::LocalEpochMs());
  const GameRun run = RunGame(game, {"launch list", "launch name"});
  EXPECT_EQ(run.exitCode, 0) << run.log;
  const auto lines = Split(ReadFile(game / "init.txt"), '\n');
  ASSERT_EQ(lines.size(), 2u) << run.log;
  EXPECT_EQ(lines[1], "plain");
  const auto args = Split(lines[0], '|');
  ASSERT_EQ(args.size(), 7u) << lines[0];
  EXPECT_EQ(args[0].rfind("number:", 0), 0u) << args[0];
  EXPECT_LT(std::stod(args[0].substr(7)), 60000) << "game time since FormCreate";
  EXPECT_EQ(args[1], "number:0");
  EXPECT_EQ(args[2], "number:2");
  EXPECT_EQ(args[3], "number:1");
  EXPECT_EQ(args[4], "string:launch list");
  EXPECT_EQ(args[5], "string:launch name");
  ASSERT_EQ(args[6].rfind("number:", 0), 0u) << args[6];
  const auto wall = static_cast<uint32_t>(std::stoull(args[6].substr(7)));
  EXPECT_LT(wall - before, 60000u) << "local time in ms, low 32 bits";
  EXPECT_EQ(ReadFile(game / "end.txt"), "end") << "G_EndGame after the run";

  // Scrambled with CR LF line ends; read back alone it gives the same text.
  std::string crlf;
  for (const std::string& l : Split(script.substr(0, script.size() - 1), '\n')) crlf += l + "\r\n";
  const std::string packed = ReadFile(game / "data" / "AllLua.luac");
  EXPECT_EQ(packed, Scrambled(crlf));

  fs::remove(game / "data" / "AllLua.lua");
  fs::remove(game / "init.txt");
  const GameRun second = RunGame(game);
  EXPECT_EQ(second.exitCode, 0) << second.log;
  EXPECT_EQ(Split(ReadFile(game / "init.txt"), '\n').back(), "plain");
  EXPECT_EQ(ReadFile(game / "data" / "AllLua.luac"), packed) << "left as it was";
}

TEST(GameFolderTest, PlainBundleWinsOverTheScrambledOne) {
  const fs::path game = NewFolder("both");
  WriteFile(game / "data" / "AllLua.lua", "marker = 'plain'\r\n" + kRecorder);
  WriteFile(game / "data" / "AllLua.luac", Scrambled("marker = 'scrambled'\r\n" + kRecorder));
  const GameRun run = RunGame(game);
  EXPECT_EQ(run.exitCode, 0) << run.log;
  EXPECT_EQ(Split(ReadFile(game / "init.txt"), '\n').back(), "plain");
  const std::string unpacked = Scrambled(ReadFile(game / "data" / "AllLua.luac"));
  EXPECT_EQ(unpacked.rfind("marker = 'plain'\r\n", 0), 0u) << "rewritten from the plain one";
}

// Not a success: the player is told on standard error where the program looked, and the exit
// status says it failed.
TEST(GameFolderTest, WithoutABundleStartUpLogsSaysWhereItLookedAndFails) {
  const fs::path game = NewFolder("none");
  fs::create_directories(game / "data");
  const GameRun run = RunGame(game);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.log.find("data\\AllLua.lua not exist "), std::string::npos) << run.log;
  EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
  for (const std::string& part : {(game / "data").string(), std::string("AllLua.lua"),
                                  std::string("AllLua.luac")})
    EXPECT_NE(run.errors.find(part), std::string::npos) << part << " in: " << run.errors;
  EXPECT_FALSE(fs::exists(game / "init.txt"));
  EXPECT_FALSE(fs::exists(game / "end.txt"));
}

TEST(GameFolderTest, FallsBackToBinDataBesideTheProgramFolder) {
  const fs::path root = NewFolder("bindata");
  fs::create_directories(root / "tools");
  WriteFile(root / "bin" / "data" / "AllLua.lua", "marker = 'bin'\n" + kRecorder);
  const GameRun run = RunGame(root / "tools");
  EXPECT_EQ(run.exitCode, 0) << run.log;
  EXPECT_EQ(Split(ReadFile(root / "tools" / "init.txt"), '\n').back(), "bin");
  EXPECT_TRUE(fs::exists(root / "bin" / "data" / "AllLua.luac"));
}

TEST(GameFolderTest, SoundListLinesCountAfterTheBundleInErrorReports) {
  const fs::path game = NewFolder("sounds");
  WriteFile(game / "data" / "AllLua.lua", "marker = 'x'\n" + kRecorder);  // 7 lines
  WriteFile(game / "data" / "sounds" / "soundsID.lua", "Sounds = {}\nSounds.click = nil + 1 -- line 9\nlast = 1\nmore = 2\n");
  const GameRun run = RunGame(game);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_FALSE(fs::exists(game / "init.txt")) << "the chunk failed before A_Init";
  EXPECT_NE(run.log.find("]:9:"), std::string::npos) << run.log;
  EXPECT_NE(run.log.find("[9]: Sounds.click = nil + 1 -- line 9"), std::string::npos) << run.log;
  EXPECT_NE(run.log.find("[8]: Sounds = {}"), std::string::npos) << run.log;
}

TEST(GameFolderTest, SoundListJoinsTheChunk) {
  const fs::path game = NewFolder("soundsok");
  WriteFile(game / "data" / "AllLua.lua", kRecorder);
  WriteFile(game / "data" / "sounds" / "soundsID.lua", "marker = 'from sounds'");
  const GameRun run = RunGame(game);
  EXPECT_EQ(run.exitCode, 0) << run.log;
  EXPECT_EQ(Split(ReadFile(game / "init.txt"), '\n').back(), "from sounds");
}

TEST(GameFolderTest, UnwritableScrambledBundleKeepsThePlainText) {
  // A folder in the place of "AllLua.luac" cannot be replaced, whoever runs the test.
  const fs::path game = NewFolder("readonly");
  WriteFile(game / "data" / "AllLua.lua", "marker = 'ro'\n" + kRecorder);
  fs::create_directories(game / "data" / "AllLua.luac");
  const GameRun run = RunGame(game);
  EXPECT_EQ(run.exitCode, 0) << run.log;
  EXPECT_EQ(Split(ReadFile(game / "init.txt"), '\n').back(), "ro");
  EXPECT_TRUE(fs::is_directory(game / "data" / "AllLua.luac"));
  EXPECT_NE(run.log.find("AllLua.luac not written"), std::string::npos) << run.log;
}

}  // namespace
