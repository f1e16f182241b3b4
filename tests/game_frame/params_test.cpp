// The parameter and profile operations over real files in a scratch per-user folder, the window
// mode switch saving "Fullscreen", and what the operations do before CreateAppDataFolder.
#include <filesystem>
#include <string>

#include "appdata_fixture.h"
#include "foundation/KeshLogEngine.h"
#include "platform/win32/win32_desktop.h"

namespace game_frame_test {
namespace {

namespace fs = std::filesystem;
namespace w32 = platform::win32;

class ParamsTest : public AppDataTest {
protected:
  void SetUp() override {
    AppDataTest::SetUp();
    StartProject();
  }
  std::string Log() {
    LogEngine->AddMessage("");  // writes any pending repeat line
    return ProjectLog(project_);
  }
  // A profile file's plain text (the store scrambles it).
  std::string ProfileFile(const char* name) { return Scrambled(ReadFile(folder_ / name)); }

};

TEST_F(ParamsTest, SetParamsToCodeAppliesFourSettingsAndStoresTheList) {
  struct Case {
    const char* name;
    const char* list;
    int fullScreenBefore, fullScreenAfter;
    const char* file;  // "GameParams.txt" afterwards
  };
  const Case cases[] = {
      {"the value is compared in lower case and stored as given", "Fullscreen=TRUE;", 0, 1, "Fullscreen=TRUE\r\n"},
      {"without the item full screen stays", "a=1;", 1, 1, "a=1\r\n"},
      {"a last item without its \";\" is applied, not stored", "a=1;fullscreen=true", 0, 1, "a=1\r\n"},
      {"line breaks and tabs before items go, blanks stay", "\\r\\n\\ta=1;\\n  b = 2 ;", 0, 0, "a=1\r\n  b = 2 \r\n"},
      {"a name inside another key is read from there", "xfullscreen=false;fullscreen=true;", 1, 0,
       "xfullscreen=false\r\nfullscreen=true\r\n"},
      {"the name at the very end has no value", "a=1;fullscreen", 1, 1, "a=1\r\n"},
      {"excluded keys are kept in memory, not written", "cheatmode=true;Fullscreen=false;", 1, 0,
       "Fullscreen=false\r\n"},
      {"a key given twice keeps its first value", "a=1;a=2;b==3;", 0, 0, "a=1\r\nb==3\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    form_.FullScreenMode = c.fullScreenBefore;
    form_.DebugMode = true;
    Run(std::string("SetParamsToCode('") + c.list + "')");
    EXPECT_EQ(form_.FullScreenMode, c.fullScreenAfter);
    EXPECT_FALSE(form_.DebugMode);  // no "debugmode" item turns it off
    EXPECT_EQ(ReadFile(folder_ / "GameParams.txt"), c.file);
  }
  EXPECT_FALSE(fs::exists(folder_ / "GameParams.txt.tmp"));
  EXPECT_NE(Log().find("TMainForm.A_SetParamsToCode cheatmode=true;Fullscreen=false;"), std::string::npos);
}

TEST_F(ParamsTest, SetParamsToCodeSetsTheLogLevelWhenItIsANumber) {
  Run("SetParamsToCode('DetalizationMode=2;')");
  EXPECT_EQ(LogEngine->MainLog->DetalizationMode, 2);
  // Not a number: that setting is skipped with a warning; the rest is done and the pair kept.
  Run("SetParamsToCode('detalizationmode=high;fullscreen=true;')");
  EXPECT_EQ(LogEngine->MainLog->DetalizationMode, 2);
  EXPECT_EQ(form_.FullScreenMode, 1);
  EXPECT_EQ(ReadFile(folder_ / "GameParams.txt"), "detalizationmode=high\r\nfullscreen=true\r\n");
  EXPECT_NE(Log().find("detalizationmode=high is not a number"), std::string::npos);
}

TEST_F(ParamsTest, CustomCursorAndDebugModeReachTheCursorAndTheDebugKeys) {
  const int shown = w32::testing::CursorDisplayCount();
  form_.CustomCursor = false;
  Run("SetParamsToCode('customcursor=true;')");
  EXPECT_TRUE(form_.CustomCursor);
  EXPECT_EQ(w32::testing::CursorDisplayCount(), shown - 1);  // the game draws its own
  Run("SetParamsToCode('customcursor=false;')");
  EXPECT_EQ(w32::testing::CursorDisplayCount(), shown);
  const std::string log = Log();
  EXPECT_NE(log.find("TMainForm.A_SetParamsToCode CustomCursor=True"), std::string::npos);
  EXPECT_NE(log.find("TMainForm.A_SetParamsToCode CustomCursor_local=False"), std::string::npos);
  EXPECT_NE(log.find("TMainForm.A_SetParamsToCode 3 CustomCursor=False"), std::string::npos);

  Run("SetParamsToCode('debugmode=true;')");
  form_.FormKeyDown('F', 'F');
  EXPECT_TRUE(form_.DebugOverlay);
  Run("SetParamsToCode('debugmode=TRUE;')");  // compared in lower case
  form_.FormKeyDown('F', 'f');
  EXPECT_FALSE(form_.DebugOverlay);
  Run("SetParamsToCode('x=1;')");
  form_.FormKeyDown('F', 'F');
  EXPECT_FALSE(form_.DebugOverlay);
}

TEST_F(ParamsTest, GetParamsFromCodeGivesTheCountThenEveryPair) {
  EXPECT_EQ(Eval("select('#', GetParamsFromCode())"), "1");
  EXPECT_EQ(Eval("all(GetParamsFromCode())"), "0");
  Run("SetParamsToCode('a=1;DebugMode=true;')");
  EXPECT_EQ(Eval("all(GetParamsFromCode())"), "2,a,1,DebugMode,true");
  // More results than the script stack holds at first.
  std::string list;
  for (int i = 0; i < 300; ++i) list += "k" + std::to_string(i) + "=" + std::to_string(i) + ";";
  Run("SetParamsToCode('" + list + "')");
  EXPECT_EQ(Eval("select('#', GetParamsFromCode())"), "601");
  EXPECT_EQ(Eval("select(601, GetParamsFromCode())"), "299");
}

TEST_F(ParamsTest, AParameterFileOfMorePairsThanTheScriptStackTakesGivesTheFirstOnes) {
  const std::string project = NewProject();
  const fs::path file = appdata_ / "Dunmarrow" / project / "GameParams.txt";
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
  WriteFile(file, text);
  project_ = project;
  Run("CreateAppDataFolder('" + project + "')");
  Run("results = select('#', GetParamsFromCode())\n"
      "given = GetParamsFromCode()\n"
      "lastKey, lastValue = select(results - 1, GetParamsFromCode())");
  ASSERT_FALSE(HasFailure());
  const int given = std::stoi(Eval("given"));
  EXPECT_GT(given, 3000);
  EXPECT_LT(given, 5000);
  EXPECT_EQ(Eval("results"), std::to_string(2 * given + 1));
  EXPECT_EQ(Eval("lastKey .. '=' .. lastValue"), "k" + std::to_string(given - 1) + "=" + std::to_string(given - 1));
  const std::string log = Log();
  const std::size_t warning = log.find("Warning! TMainForm.GetParamsFromCode ");
  ASSERT_NE(warning, std::string::npos) << log;
  const std::string line = log.substr(warning, log.find('\n', warning) - warning);
  EXPECT_NE(line.find(project + "\\GameParams.txt"), std::string::npos) << line;
  EXPECT_NE(line.find(std::to_string(5000 - given) + " pairs left out"), std::string::npos) << line;
  // The script reaches the save that repairs the file.
  Run("SetParamsToCode('a=1;')");
  EXPECT_EQ(ReadFile(file), "a=1\r\n");
}

TEST_F(ParamsTest, TheProfileGoesIntoItsTwoFilesByGroup) {
  Run("SetProfileToCode('a=1;b=2;')");
  EXPECT_EQ(Eval("GetProfileFromCode()"), "a!1!b!2!");
  Run("SetProfileToCode('1x=1;4x=4;2x=2;name=n;0x=0;=e;')");
  EXPECT_EQ(ProfileFile("ZazoData.cfg"), "name=n\r\n0x=0\r\n=e\r\n");
  EXPECT_EQ(ProfileFile("Profile.txt"), "1x=1\r\n4x=4\r\n");
  EXPECT_EQ(Eval("GetProfileFromCode()"), "1x!1!4x!4!2x!2!name!n!0x!0!!e!");
  EXPECT_NE(Log().find("TMainForm.A_SetProfileToCode 1x=1;"), std::string::npos);
}

TEST_F(ParamsTest, SetProfileParamChangesTheFirstPairOrAppends) {
  Run("SetProfileToCode('a=1;b=2;')");
  fs::remove(folder_ / "ZazoData.cfg");
  Run("SetProfileParam('no pair here')");
  EXPECT_FALSE(fs::exists(folder_ / "ZazoData.cfg"));  // nothing at all, no file
  Run("SetProfileParam('a=9=x')");
  Run("SetProfileParam('c=3')");
  EXPECT_EQ(Eval("GetProfileFromCode()"), "a!9=x!b!2!c!3!");
  EXPECT_EQ(ProfileFile("ZazoData.cfg"), "a=9=x\r\nb=2\r\nc=3\r\n");
}

TEST_F(ParamsTest, ControlBytesAreSavedAsBlanksSoTheNextStartReadsTheProfile) {
  Run("SetProfileParam('name=Ann\\r\\nBob\\0!')");
  EXPECT_EQ(ProfileFile("ZazoData.cfg"), "name=Ann  Bob !\r\n");
  Run("CreateAppDataFolder('" + project_ + "')");  // the next start
  EXPECT_EQ(Eval("GetProfileFromCode()"), "name!Ann  Bob !!");
  EXPECT_NE(Log().find("name"), std::string::npos);
}

TEST_F(ParamsTest, AProfileSavedByOneStartIsReadByTheNext) {
  Run("SetProfileToCode('best=41;1level=7;')");
  Run("SetProfileParam('best=42')");
  Run("CreateAppDataFolder('" + project_ + "')");
  EXPECT_EQ(Eval("GetProfileFromCode()"), "best!42!1level!7!");
}

TEST_F(ParamsTest, AFileThatCannotBeWrittenIsLoggedAndTheGameGoesOn) {
  fs::create_directories(folder_ / "GameParams.txt");  // in the way, whoever runs the test
  fs::create_directories(folder_ / "ZazoData.cfg");
  Run("SetParamsToCode('fullscreen=true;a=1;')");  // Run fails the test on a script error
  EXPECT_EQ(form_.FullScreenMode, 1);
  Run("SetProfileParam('a=1')");
  Run("function A_ChangeResolution() end");
  MakeEngine(640, 480);
  form_.ChangeWindowMode();  // must not end the game as an unsupported mode
  const std::string log = Log();
  EXPECT_NE(log.find("TMainForm.A_SetParamsToCode"), std::string::npos);
  EXPECT_NE(log.find("TMainForm.ChangeWindowMode"), std::string::npos);
  EXPECT_NE(log.find("ZazoData.cfg"), std::string::npos);
  EXPECT_TRUE(fs::exists(folder_ / "Profile.txt"));  // the other file is still written
}

TEST_F(ParamsTest, ChangeWindowModeSavesFullscreen) {
  Run("function A_ChangeResolution() end");
  MakeEngine(640, 480);
  form_.FullScreenMode = 0;
  // Without a "Fullscreen" pair the file is written all the same, unchanged.
  Run("SetParamsToCode('a=1;')");
  fs::remove(folder_ / "GameParams.txt");
  form_.ChangeWindowMode();
  EXPECT_EQ(ReadFile(folder_ / "GameParams.txt"), "a=1\r\n");
  Run("SetParamsToCode('Fullscreen=true;a=1;')");
  form_.ChangeWindowMode();
  EXPECT_EQ(ReadFile(folder_ / "GameParams.txt"), "Fullscreen=false\r\na=1\r\n");
}

TEST_F(AppDataTest, BeforeCreateAppDataFolderTheOperationsTouchNoStore) {
  EXPECT_EQ(Eval("all(GetParamsFromCode())"), "0");
  EXPECT_EQ(Eval("GetProfileFromCode()"), "");
  form_.FullScreenMode = 0;
  Run("SetParamsToCode('fullscreen=true;')");
  EXPECT_EQ(form_.FullScreenMode, 1);  // the settings still apply
  Run("SetProfileToCode('a=1;')");
  Run("SetProfileParam('a=1')");
  EXPECT_EQ(Eval("GetProfileFromCode()"), "");
  const std::string log = LogText();
  EXPECT_NE(log.find("TMainForm.A_SetParamsToCode called before CreateAppDataFolder"), std::string::npos);
  EXPECT_NE(log.find("TMainForm.SetProfileParam called before CreateAppDataFolder"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(program_));
}

}  // namespace
}  // namespace game_frame_test
