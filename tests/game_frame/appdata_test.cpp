// The per-user folder and the project settings, over real files: "APPDATA" points into the
// test's scratch folder, the program folder is a scratch folder of its own (the executable's
// path is set as main sets it), and the current folder is the scratch folder.
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "appdata_fixture.h"
#include "foundation/KeshLogEngine.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_folders.h"

namespace game_frame_test {
namespace {

namespace fs = std::filesystem;
namespace w32 = platform::win32;

TEST_F(AppDataTest, MakesTheProjectFolderAndMovesTheMainLogThere) {
  const std::string project = NewProject();
  Run("CreateAppDataFolder('" + project + "')");
  const fs::path folder = appdata_ / "Dunmarrow" / project;
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(AppDataFolder, appdata_.string() + "\\Dunmarrow\\" + project + "\\");
  EXPECT_EQ(ProgramPath, program_.string() + "/");
  EXPECT_EQ(ProjectName, project);
  LogEngine->AddMessage("after the move");
  EXPECT_NE(ReadFile(folder / (project + ".log")).find("after the move"), std::string::npos);
  EXPECT_EQ(LogText().find("after the move"), std::string::npos);
  // The stores exist, empty, and the profile is scrambled.
  ASSERT_TRUE(form_.GameParams && form_.LocalGameParams && form_.Profile);
  EXPECT_TRUE(form_.GameParams->Plain);
  EXPECT_FALSE(form_.Profile->IsPlainMode());
  EXPECT_TRUE(form_.GameParams->SkipExcluded);
  EXPECT_EQ(form_.GameParams->ExcludedKeys.size(), 11u);
}

TEST_F(AppDataTest, NoArgumentsDoNothing) {
  Run("CreateAppDataFolder()");
  EXPECT_EQ(ProjectName, "");
  EXPECT_FALSE(form_.GameParams);
}

TEST_F(AppDataTest, TheDataFolderModeFileKeepsEverythingInTheProgramFolder) {
  struct Case {
    const char* content;
    bool dataFolder;
  };
  const Case cases[] = {
      {"2946183095", true},     {"29461 83095", true},   {"2946183095\r\n", true},
      {"294618309512", false},  {"29461830950", false},  {"2946183095\r\n\r\n", false},
      {"29461\n83095", false},  {"", false},             {"x2946183095", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    WriteFile(program_ / "certificate.txt", c.content);
    const std::string project = NewProject();
    Run("CreateAppDataFolder('" + project + "')");
    const fs::path home = c.dataFolder ? program_ : appdata_ / "Dunmarrow" / project;
    EXPECT_EQ(fs::path(w32::MapPath(AppDataFolder)), home / "");
    EXPECT_EQ(form_.Profile->IsPlainMode(), c.dataFolder);
    LogEngine->AddMessage("logged");
    EXPECT_NE(ReadFile(home / (project + ".log")).find("logged"), std::string::npos);
    form_.ModeCode1 = form_.ModeCode2 = 0;
  }
}

TEST_F(AppDataTest, WithoutAnApplicationDataFolderTheProgramFolderServes) {
  // No home folder at all: "APPDATA" is unset, and the mode file is not read.
  WriteFile(program_ / "certificate.txt", "2946183095");
  unsetenv("APPDATA");
  unsetenv("XDG_DATA_HOME");
  const std::string home = getenv("HOME") ? getenv("HOME") : "";
  unsetenv("HOME");
  w32::seam::SetAccountHome("");
  const std::string project = NewProject();
  Run("CreateAppDataFolder('" + project + "')");
  w32::seam::SetAccountHome(std::nullopt);
  if (!home.empty()) setenv("HOME", home.c_str(), 1);
  EXPECT_EQ(AppDataFolder, program_.string() + "/");
  EXPECT_EQ(form_.ModeCode1, 0);
  EXPECT_EQ(form_.ModeCode2, 0);
  EXPECT_FALSE(form_.Profile->IsPlainMode());
}

TEST_F(AppDataTest, LoadsTheParametersWithTheLocalOverridesAndTheScreenRule) {
  struct Case {
    const char* name;
    const char* stored;
    const char* local;  // nullptr: no "GameParams.txt" in the current folder
    int screenHeight;
    std::vector<std::pair<std::string, std::string>> pairs;
  };
  const Case cases[] = {
      {"without a local file the debug keys are off", "DebugMode=true\r\ncheatmode=true\r\nx=1\r\n", nullptr, 768,
       {{"DebugMode", "false"}, {"cheatmode", "false"}, {"x", "1"}}},
      {"a local file keeps them and overrides or extends", "DebugMode=true\r\nx=1\r\nx=2\r\n",
       "x=9\r\nnew=5\r\n", 768, {{"DebugMode", "true"}, {"x", "9"}, {"x", "9"}, {"new", "5"}}},
      {"a low screen forces full screen where the key is present", "Fullscreen=false\r\n", nullptr, 600,
       {{"Fullscreen", "true"}}},
      {"only where present", "a=b\r\n", nullptr, 600, {{"a", "b"}}},
      {"a taller screen keeps the value", "Fullscreen=false\r\n", nullptr, 601, {{"Fullscreen", "false"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetScreen(1024, c.screenHeight);
    const std::string project = NewProject();
    WriteFile(appdata_ / "Dunmarrow" / project / "GameParams.txt", c.stored);
    fs::remove(dir_ / "GameParams.txt");
    if (c.local) WriteFile(dir_ / "GameParams.txt", c.local);
    Run("CreateAppDataFolder('" + project + "')");
    EXPECT_EQ(Pairs(*form_.GameParams), c.pairs);
  }
}

TEST_F(AppDataTest, LoadsTheProfileFromBothFiles) {
  const std::string project = NewProject();
  const fs::path folder = appdata_ / "Dunmarrow" / project;
  WriteFile(folder / "ZazoData.cfg", Scrambled("best=12\r\n"));
  WriteFile(folder / "Profile.txt", Scrambled("1level=3\r\n"));
  Run("CreateAppDataFolder('" + project + "')");
  EXPECT_EQ(Eval("GetProfileFromCode()"), "best!12!1level!3!");
}

TEST_F(AppDataTest, TheWindowTitleIsTheGameTitleOrTheSecondArgument) {
  w32::SetWindowTextW(form_.WindowHandle, u"before");
  Run("CreateAppDataFolder('" + NewProject() + "')");
  EXPECT_EQ(w32::testing::WindowTitle(form_.WindowHandle), u"before");  // one argument: no title
  Run("CreateAppDataFolder('" + NewProject() + "', 'Caf\\233 Garden')");
  EXPECT_EQ(w32::testing::WindowTitle(form_.WindowHandle), u"Caf\u00e9 Garden");  // from Windows-1252
  form_.GameTitle = u"\u00c9toile";
  Run("CreateAppDataFolder('" + NewProject() + "', 'ignored')");
  EXPECT_EQ(w32::testing::WindowTitle(form_.WindowHandle), u"\u00c9toile");
}

TEST_F(AppDataTest, LoadLuasAppliesProjectSettings) {
  const std::string project = NewProject();
  Run("CreateAppDataFolder('" + project + "')");
  Run("LoadLuas(1, 2)");
  EXPECT_EQ(ProjectName, project);

  // The last item has no ";": it is not applied.
  const std::string renamed = NewProject();
  Run("LoadLuas(1, 2, 'ProjectName=" + renamed + ";DetalizationMode=1')");
  EXPECT_EQ(ProjectName, renamed);
  EXPECT_TRUE(fs::is_directory(appdata_ / "Dunmarrow" / renamed));
  EXPECT_EQ(LogEngine->MainLog->FileName, renamed + ".log");
  EXPECT_EQ(LogEngine->MainLog->DetalizationMode, 3);
  // The stores are not reloaded, and the log says so.
  LogEngine->AddMessage("flush");
  EXPECT_NE(ReadFile(appdata_ / "Dunmarrow" / renamed / (renamed + ".log")).find("still hold the pairs of the project " + project),
            std::string::npos);

  // The same project: the level stays with the same log; kept in 8 bits; a bad one is skipped.
  Run("LoadLuas(1, 2, 'DetalizationMode=1;ProjectName=" + renamed + ";CompanyName=c;TitleCaption=t;')");
  EXPECT_EQ(LogEngine->MainLog->DetalizationMode, 1);
  Run("LoadLuas(1, 2, 'DetalizationMode=258;')");
  EXPECT_EQ(LogEngine->MainLog->DetalizationMode, 2);
  Run("LoadLuas(1, 2, 'DetalizationMode=$3;ProjectName=" + renamed + ";')");
  EXPECT_EQ(LogEngine->MainLog->DetalizationMode, 2);
  EXPECT_EQ(ProjectName, renamed);
}

TEST_F(AppDataTest, ProjectSettingsInTheDataFolderModeKeepTheLogInTheProgramFolder) {
  WriteFile(program_ / "certificate.txt", "2946183095");
  const std::string project = NewProject();
  Run("CreateAppDataFolder('" + project + "')");
  ASSERT_EQ(fs::path(w32::MapPath(AppDataFolder)), program_ / "");
  Run("LoadLuas(1, 2, 'ProjectName=" + project + ";')");
  EXPECT_EQ(fs::path(w32::MapPath(AppDataFolder)), appdata_ / "Dunmarrow" / project / "");
  LogEngine->AddMessage("still here");
  EXPECT_NE(ReadFile(program_ / (project + ".log")).find("still here"), std::string::npos);
}

}  // namespace
}  // namespace game_frame_test
