// The game frame fixture with a per-user folder of the test's own: "APPDATA" in the scratch
// folder, a program folder beside it (the executable's path as main records it), and a script
// host with the game object's operations. Log files are told apart by name alone, so each test
// takes fresh project names from NewProject.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/CUnit.h"
#include "game/AssArray.h"
#include "game_frame_fixture.h"
#include "platform/win32/win32_system.h"
#include "runtime/Streams.h"
#include "support/scratch.h"

namespace game_frame_test {

class AppDataTest : public GameFrameTest {
protected:
  void SetUp() override {
    GameFrameTest::SetUp();
    if (const char* old = getenv("APPDATA")) oldAppData_ = old;
    oldExecutable_ = platform::win32::ExecutablePath();
    appdata_ = dir_ / "AppData";
    program_ = dir_ / "program";
    std::filesystem::create_directories(program_);
    setenv("APPDATA", appdata_.c_str(), 1);
    SetExecutable((program_ / "quorrel").string());
    ProjectName.clear();
    AppDataFolder.clear();
    ProgramPath.clear();
    DocumentsFolder.clear();
    StartScript("");
  }
  void TearDown() override {
    SetExecutable(oldExecutable_);
    if (oldAppData_) {
      setenv("APPDATA", oldAppData_->c_str(), 1);
    } else {
      unsetenv("APPDATA");
    }
    ProjectName.clear();
    AppDataFolder.clear();
    ProgramPath.clear();
    DocumentsFolder.clear();
    GameFrameTest::TearDown();
  }

  static void SetExecutable(std::string path) {
    char* argv[] = {path.data(), nullptr};
    platform::win32::SetCommandLine(1, argv);
  }

  static std::string NewProject() {
    static int counter = 0;
    return "Project" + std::to_string(++counter);
  }

  static std::vector<std::pair<std::string, std::string>> Pairs(const tAssArray& store) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const tAssPair& p : store.Pairs) pairs.emplace_back(p.Key, p.Value);
    return pairs;
  }

  // A profile file as the store writes it: the plain text scrambled with the store's key.
  static std::string Scrambled(const std::string& plain) {
    rtl::TMemoryStream source, dest;
    source.WriteString(plain);
    ScrambleStream(source, dest, tAssArray::kScrambleKey);
    return dest.ToString();
  }

  // A fresh project made the way a game makes it: CreateAppDataFolder with its name.
  void StartProject() {
    project_ = NewProject();
    folder_ = appdata_ / "Dunmarrow" / project_;
    Run("CreateAppDataFolder('" + project_ + "')");
  }

  std::string ProjectLog(const std::string& project) const {
    return test_support::ReadFile(appdata_ / "Dunmarrow" / project / (project + ".log"));
  }

  static std::string ReadFile(const std::filesystem::path& p) { return test_support::ReadFile(p); }
  static void WriteFile(const std::filesystem::path& p, const std::string& bytes) { test_support::WriteFile(p, bytes); }

  std::filesystem::path appdata_, program_;
  std::string project_;          // set by StartProject
  std::filesystem::path folder_;  // its per-user folder

private:
  std::optional<std::string> oldAppData_;
  std::string oldExecutable_;
};

}  // namespace game_frame_test
