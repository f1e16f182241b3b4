// The file, log, link, dialog, reload and cursor operations over real files: a scratch per-user
// folder, the scratch folder as the current folder, and the program folder beside it.
#include <gtest/gtest.h>
#include <lua.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "appdata_fixture.h"
#include "foundation/KeshLogEngine.h"
#include "game/ScriptFiles.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_window.h"

namespace game_frame_test {
namespace {

namespace fs = std::filesystem;
namespace w32 = platform::win32;

w32::HWND testWindow = nullptr;

int WindowVisible(lua_State* L) {
  lua_pushboolean(L, (w32::GetWindowLongA(testWindow, w32::GWL_STYLE) & w32::WS_VISIBLE) != 0);
  return 1;
}

class FilesTest : public AppDataTest {
protected:
  void SetUp() override {
    AppDataTest::SetUp();
    StartProject();
    DocumentsFolder = (dir_ / "Documents").string();  // never the user's own
    form_.ProgramFolder = program_.string();
    Run("function A_KeyDown(k, c) rec('key ' .. k .. ' ' .. c) end");
  }
  void TearDown() override {
    w32::testing::CaptureShellOpen(false);
    w32::testing::ClearShellOpened();
    w32::testing::SetMessageBoxAnswer(0);
    w32::testing::ClearMessageBoxes();
    AppDataTest::TearDown();
  }
  std::string Log() {
    LogEngine->AddMessage("");  // writes any pending repeat line
    return ProjectLog(project_);
  }
  bool Logged(const std::string& text) { return Log().find(text) != std::string::npos; }
  // A Lua string literal of any bytes.
  static std::string Quoted(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) out += "\\" + std::to_string(c);
    return out + "\"";
  }

};

TEST_F(FilesTest, GetCurrentLanguageTakesTheLastLineThatIsNoComment) {
  const struct {
    const char* name;
    const char* file;  // nullptr: no "lng.cfg"
    const char* language;
  } cases[] = {
      {"comment, en, empty line, de", "-- languages\r\nen\r\n\r\nde\r\n", "de"},
      {"only a comment", "--en\r\n", ""},
      {"a one-character line counts", "-- x\nd\n", "d"},
      {"lines are not trimmed; a lone CR ends a line", " en \r-\r", "-"},
      {"no file", nullptr, ""},
  };
  WriteFile(dir_ / "lng.cfg", "cur\r\n");  // the current folder's is never read
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(program_ / "lng.cfg");
    if (c.file) WriteFile(program_ / "lng.cfg", c.file);
    EXPECT_EQ(Eval("GetCurrentLanguage()"), c.language);
    EXPECT_EQ(fs::current_path(), dir_);
  }
}

TEST_F(FilesTest, DataToFileWritesTheCurrentFolderAndDataFromFileReadsThePerUserFolder) {
  EXPECT_EQ(Eval("DataToFile('d.txt', 'one\\ntwo')"), "one\ntwo");
  EXPECT_EQ(ReadFile(dir_ / "d.txt"), "one\ntwo") << "written as it stands, without a line break";
  EXPECT_FALSE(fs::exists(folder_ / "d.txt"));
  EXPECT_EQ(Eval("DataFromFile('d.txt')"), "") << "not in the per-user folder";
  EXPECT_FALSE(Logged("TMainForm.DataFromFile")) << "a missing file is no failure";
  AppDataFolder = dir_.string() + "/";
  EXPECT_EQ(Eval("DataFromFile('d.txt')"), "one\r\ntwo") << "the same folder finds it again";

  // The last argument goes back, whatever it is.
  EXPECT_EQ(Eval("all(DataToFile('e.txt', 'x', 7))"), "7");
  EXPECT_EQ(Eval("all(DataToFile('f.txt'))"), "f.txt");
  EXPECT_EQ(ReadFile(dir_ / "f.txt"), "");
  EXPECT_EQ(Eval("select('#', DataToFile())"), "1");
  EXPECT_FALSE(fs::exists(dir_ / "d.txt.tmp"));
}

TEST_F(FilesTest, DataFromFileJoinsTheLinesWithCrLf) {
  const struct {
    const char* file;
    const char* text;
  } cases[] = {
      {"a\nb\n", "a\r\nb"},
      {"a\r\n\r\nb", "a\r\n\r\nb"},
      {"a\rb\r\n", "a\r\nb"},
      {"", ""},
      {"\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Quoted(c.file));
    WriteFile(folder_ / "lines.txt", c.file);
    EXPECT_EQ(Eval("DataFromFile('lines.txt') == " + Quoted(c.text)), "true");
  }
}

TEST_F(FilesTest, AFailingDataFileIsLoggedAndTheScriptGoesOn) {
  WriteFile(dir_ / "locked.txt", "old");
  fs::permissions(dir_ / "locked.txt", fs::perms::owner_read | fs::perms::group_read);
  fs::create_directories(folder_ / "folder.txt");
  const struct {
    const char* call;
    const char* result;
    const char* logged;
  } cases[] = {
      {"DataToFile('locked.txt', 'new')", "new", "TMainForm.DataToFile Cannot write file \"locked.txt\""},
      {"DataToFile('', 'x')", "x", "TMainForm.DataToFile Cannot write file \"\""},
      {"DataToFile('no\\\\such\\\\folder.txt', 'x')", "x", "TMainForm.DataToFile Cannot write file \"no\\such\\folder.txt\""},
      {"DataFromFile('folder.txt')", "", "TMainForm.DataFromFile Cannot read file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    EXPECT_EQ(Eval(c.call), c.result);
    EXPECT_TRUE(Logged(c.logged)) << Log();
  }
  EXPECT_EQ(ReadFile(dir_ / "locked.txt"), "old");
  fs::permissions(dir_ / "locked.txt", fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(FilesTest, TheScriptLogIsTruncatedByInitLogFileAndTakesOneLineAWrite) {
  Run("WriteToLogFile('too early')");
  EXPECT_TRUE(Logged("TMainForm.WriteToLogFile called before InitLogFile: \"too early\" not written"));
  WriteFile(folder_ / "script.log", "old run\r\n");
  Run("InitLogFile('script.log') WriteToLogFile('first') WriteToLogFile('') WriteToLogFile('last')");
  EXPECT_EQ(ReadFile(folder_ / "script.log"), "first\r\n\r\nlast\r\n");
  EXPECT_EQ(form_.ScriptLog, AppDataFolder + "script.log");
  Run("InitLogFile('script.log')");
  EXPECT_EQ(ReadFile(folder_ / "script.log"), "");

  Run("InitLogFile('missing\\\\script.log') WriteToLogFile('lost')");
  EXPECT_TRUE(Logged("TMainForm.InitLogFile Cannot write file")) << Log();
  EXPECT_TRUE(Logged("TMainForm.WriteToLogFile Cannot append to file")) << Log();
}

TEST_F(FilesTest, SaveFileCopiesABonusFileIntoTheDocumentsFolder) {
  WriteFile(program_ / "data" / "BonusContent" / "wall.png", "picture");
  const fs::path docs = dir_ / "Documents" / "Dunmarrow";
  Run("SaveFile('wall.png', true)");
  EXPECT_EQ(ReadFile(docs / "QuorrelAshgrove" / "wall.png"), "picture");
  WriteFile(program_ / "data" / "BonusContent" / "wall.png", "newer");
  Run("SaveFile('wall.png', false, 'Extras')");
  Run("SaveFile('wall.png', false, 'QuorrelAshgrove')");
  EXPECT_EQ(ReadFile(docs / "Extras" / "wall.png"), "newer");
  EXPECT_EQ(ReadFile(docs / "QuorrelAshgrove" / "wall.png"), "newer") << "overwritten";
  Run("SaveFile('none.png', false, 'Other')");
  EXPECT_FALSE(fs::exists(docs / "Other")) << "no source, nothing made";

  // Before the documents folder is known: a warning, and no folder at the file system's root.
  DocumentsFolder.clear();
  Run("SaveFile('wall.png', false, 'Early')");
  EXPECT_TRUE(Logged("TMainForm.SaveFile wall.png: the documents folder is not known yet"));
  EXPECT_FALSE(fs::exists("/Dunmarrow/Early"));
}

TEST_F(FilesTest, GetDialogListNamesTheHistoryFolders) {
  EXPECT_EQ(Eval("GetDialogList()"), "") << "no History folder";
  fs::create_directories(program_ / "History" / "b");
  EXPECT_EQ(Eval("GetDialogList()"), "b;");
  fs::create_directories(program_ / "History" / "A");
  WriteFile(program_ / "History" / "c.txt", "a file");
  EXPECT_EQ(Eval("GetDialogList()"), "A;b;");
}

TEST_F(FilesTest, SetCursorPicksTheStandardCursorByExactName) {
  const struct {
    const char* name;
    w32::LPCSTR cursor;
  } cases[] = {
      {"finger", w32::IDC_HAND},        {"gears", w32::IDC_HAND},         {"hand", w32::IDC_HAND},
      {"FR", w32::IDC_UPARROW},         {"L", w32::IDC_UPARROW},          {"Up", w32::IDC_UPARROW},
      {"lupa", w32::IDC_HELP},          {"cloud", w32::IDC_HELP},         {"memoryBack", w32::IDC_APPSTARTING},
      {"memoryReturn", w32::IDC_APPSTARTING}, {"Hand", w32::IDC_ARROW}, {"up", w32::IDC_ARROW},
      {"", w32::IDC_ARROW},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Run("SetCursor('finger') SetCursor('" + std::string(c.name) + "')");
    EXPECT_EQ(w32::testing::CurrentCursor(), c.cursor);
  }
  Run("SetCursor()");
  EXPECT_EQ(w32::testing::CurrentCursor(), w32::IDC_ARROW);
}

TEST_F(FilesTest, LinksGoThroughTheSafeShellOpen) {
  w32::testing::CaptureShellOpen(true);
  WriteFile(dir_ / "survey.url", "[InternetShortcut]\r\nURL=https://example.com/survey\r\n");
  Run("OpenUrl('https://example.com/a') JumpUrl('https://example.com/b')");
  Run("OpenUrl('-x') JumpUrl('/bin/sh') OpenUrl('https://x; rm -rf ~') OpenUrl()");
  EXPECT_FALSE(form_.SurveyOpened);
  Run("WSurvey_BOk()");
  EXPECT_TRUE(form_.SurveyOpened);
  EXPECT_EQ(w32::testing::ShellOpened(),
            (std::vector<std::string>{"https://example.com/a", "https://example.com/b", "https://x; rm -rf ~",
                                      "https://example.com/survey"}))
      << "a link goes to xdg-open as its one argument, never through a shell";
  EXPECT_TRUE(Logged("TMainForm.OpenUrlByString cannot open \"-x\""));
  EXPECT_TRUE(Logged("TMainForm.JumpUrl cannot open \"/bin/sh\""));
  EXPECT_TRUE(Logged("TMainForm.OpenUrlByString cannot open \"\""));

  fs::remove(dir_ / "survey.url");
  form_.SurveyOpened = false;
  Run("WSurvey_BOk()");
  EXPECT_FALSE(form_.SurveyOpened) << "no survey.url, nothing";
}

TEST_F(FilesTest, SetFormCaptionKeepsTheTextAndLeavesTheWindowTitle) {
  const std::u16string title = w32::testing::WindowTitle(form_.WindowHandle);
  Run("SetFormCaption('Caption')");
  EXPECT_EQ(form_.FormCaption, "Caption");
  EXPECT_EQ(w32::testing::WindowTitle(form_.WindowHandle), title);
}

TEST_F(FilesTest, ShowErrorAlertShowsTheSecondTableAndRetries) {
  const struct {
    const char* name;
    const char* second;  // Lua expression of the second argument
    const char* message;
  } cases[] = {
      {"a sequence filled out of order", "(function() local t = {} t[2] = 98 t[10] = 106 t[3] = 99 "
                                          "for i = 4, 9 do t[i] = 96 + i end t[1] = 97 return t end)()",
       "abcdefghij"},
      {"other keys are ignored", "{72, 105, x = 65, [5] = 66}", "Hi"},
      {"an empty table", "{}", ""},
      {"not a table", "'Hi'", ""},
      {"code units: e acute, a surrogate pair, a lone half", "{0xE9, 0xD83D, 0xDE00, 0xD800, 0x10041}",
       "\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD" "A"},
      {"values beyond 32 bits give their low 16 bits", "{2^31 + 72, 2^40 + 105}", "Hi"},
  };
  w32::testing::SetMessageBoxAnswer(w32::IDRETRY);
  Run("function again() rec('again') end");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    w32::testing::ClearMessageBoxes();
    Run(std::string("rec(select('#', ShowErrorAlert({65}, ") + c.second + ", {66}, 'again')))");
    EXPECT_EQ(Calls(), "again;0");
    const auto boxes = w32::testing::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text, c.message);
    EXPECT_EQ(boxes[0].type, w32::MB_RETRYCANCEL | w32::MB_ICONERROR);
  }
}

TEST_F(FilesTest, ShowErrorAlertInFullScreenShowsTheWindowAgainForTheRetry) {
  testWindow = form_.WindowHandle;
  lua_register(form_.LuaHost->LuaState, "WindowVisible", &WindowVisible);
  w32::testing::SetMessageBoxAnswer(w32::IDRETRY);
  Run("function again() rec(WindowVisible()) end");
  MakeEngine(64, 64, false);
  Run("ShowErrorAlert({}, {}, {}, 'again')");
  EXPECT_EQ(Calls(), "false") << "windowed: the hidden test window stays hidden";
  form_.Engine->FullScreen = true;
  Run("ShowErrorAlert({}, {}, {}, 'again')");
  EXPECT_EQ(Calls(), "true");
  w32::ShowWindow(form_.WindowHandle, w32::SW_HIDE);
}

TEST_F(FilesTest, ShowErrorAlertCancelledQuitsTheGame) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Escape and closing the box answer Cancel too (the stand-in's default answer).
  for (int answer : {w32::IDCANCEL, 0}) {
    SCOPED_TRACE(answer);
    EXPECT_EXIT(
        {
          w32::testing::SetMessageBoxAnswer(answer);
          Run("function again() os.exit(3) end ShowErrorAlert({}, {79, 107}, {}, 'again')");
        },
        testing::ExitedWithCode(0), "");
  }
}

// --- reloading the loose script files

class ReLoadLuaTest : public FilesTest {
protected:
  // A fresh game folder, made current, with these loose files.
  void NewGameFolder(const std::vector<std::pair<std::string, std::string>>& files) {
    static int counter = 0;
    const fs::path game = dir_ / ("game" + std::to_string(++counter));
    fs::create_directories(game);
    fs::current_path(game);
    WriteScripts(files);
  }
  void WriteScripts(const std::vector<std::pair<std::string, std::string>>& files) {
    for (const auto& [name, text] : files) WriteFile(fs::current_path() / name, text);
  }
};

TEST_F(ReLoadLuaTest, JoinsTheTemplateAndTheOtherFilesOnceRunsThemAndSendsF5) {
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    const char* joined;  // "AllLua.lua" afterwards
    const char* calls;
  } cases[] = {
      {"the template and one other file",
       {{"game.lua", "rec('game ' .. tostring(tpl))\n"}, {"KeshInterfaceTemplatesEngine.lua", "tpl = 1\n"}},
       "tpl = 1\r\nrec('game ' .. tostring(tpl))\r\n", "game 1;key 116 0"},
      {"the template in another letter case is read once, first",
       {{"a.lua", "rec('a ' .. tostring(tpl))"}, {"keshinterfacetemplatesengine.LUA", "tpl = 2"}},
       "tpl = 2\r\nrec('a ' .. tostring(tpl))\r\n", "a 2;key 116 0"},
      {"the bundle's names and folders are left out",
       {{"b.lua", "rec('b')\n"}, {"c.lua", "rec('c')"}, {"AllLua.luac", "rec('luac')"}, {"d.txt", "rec('txt')"},
        {"KeshInterfaceTemplatesEngine.lua", ""}},
       "rec('b')\r\nrec('c')\r\n", "b;c;key 116 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NewGameFolder(c.files);
    fs::create_directories("folder.lua");
    WriteFile("AllLua.lua", "rec('old bundle')\r\n");
    Calls();
    Run("ReLoadLua()");
    EXPECT_EQ(Calls(), c.calls);
    EXPECT_EQ(ReadFile("AllLua.lua"), c.joined);
  }
  const std::string log = Log();
  EXPECT_NE(log.find("LoadFromFile KeshInterfaceTemplatesEngine.lua"), std::string::npos);
  EXPECT_NE(log.find("LoadFromFile b.lua"), std::string::npos);
}

TEST_F(ReLoadLuaTest, WithoutTheTemplateNothingIsReloaded) {
  Run("function A_Update() rec('old update') end");
  NewGameFolder({{"a.lua", "function A_Update() rec('new update') end\n"}});
  WriteFile("AllLua.lua", "rec('old bundle')\r\n");
  LogEngine->MainLog->DetalizationMode = 2;  // warnings, not hints
  Run("ReLoadLua() A_Update()");
  LogEngine->MainLog->DetalizationMode = 3;
  EXPECT_EQ(Calls(), "old update") << "no F5, and the game keeps its state";
  EXPECT_EQ(ReadFile("AllLua.lua"), "rec('old bundle')\r\n");
  EXPECT_TRUE(Logged("Warning! TMainForm.ReLoadLua")) << Log();
  EXPECT_TRUE(Logged("KeshInterfaceTemplatesEngine.lua")) << Log();
}

TEST_F(ReLoadLuaTest, AFailingReloadLeavesTheRunningGameAsItIs) {
  Run("function A_Update() rec('old update') end");
  form_.LuaHost->ScriptLines.SetText("line\nline\nline\n");
  // A run error part-way: what ran before it stays, the rest does not, and F5 still comes.
  NewGameFolder({{"a.lua", "function A_Update() rec('new update') end\n"}, {"b.lua", "x = nil + 1\nlater = true\n"},
                 {"KeshInterfaceTemplatesEngine.lua", ""}});
  Run("ReLoadLua() A_Update()");
  EXPECT_EQ(Calls(), "key 116 0;new update");
  EXPECT_EQ(Eval("later"), "nil");
  // A syntax error: nothing of the text runs.
  WriteScripts({{"a.lua", "function A_Update() rec('newer') end\n"}, {"b.lua", "function (\n"}});
  Run("ReLoadLua() A_Update()");
  EXPECT_EQ(Calls(), "key 116 0;new update");
  const std::string log = Log();
  EXPECT_NE(log.find("TMainForm.ReLoadLua [string"), std::string::npos) << log;
  EXPECT_EQ(log.find("]: line"), std::string::npos) << "no line listing";
  EXPECT_EQ(form_.LuaHost->ScriptLines.Count(), 3u) << "the report's lines stay the start's";
}

TEST_F(ReLoadLuaTest, AFileThatCannotBeReadStopsTheReloadBeforeAnythingRuns) {
  // A name that the listing gave but that is no readable file by the time it is read.
  NewGameFolder({{"a.lua", "rec('a')"}, {"KeshInterfaceTemplatesEngine.lua", ""}});
  fs::create_directories("gone.lua");
  rtl::TStringList text;
  EXPECT_FALSE(script_files::LoadReloadScripts({"KeshInterfaceTemplatesEngine.lua", "a.lua", "gone.lua"}, text));
  EXPECT_TRUE(Logged("TMainForm.ReLoadLua Cannot read file \"gone.lua\"")) << Log();
  EXPECT_TRUE(Logged(": nothing reloaded"));
}

}  // namespace
}  // namespace game_frame_test
