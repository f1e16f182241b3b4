// Shared helpers of the game host tests: a main log of their own in a scratch folder, scratch
// folders, and small file helpers.
#pragma once

#include <filesystem>
#include <string>

#include "foundation/KeshLogEngine.h"
#include "support/scratch.h"

namespace game_test {

inline std::filesystem::path ScratchRoot() {
  static const std::filesystem::path root = test_support::MakeScratchRoot("game");
  return root;
}

// A fresh empty folder under the scratch root.
inline std::filesystem::path NewFolder(const std::string& name) {
  return test_support::NewFolder(ScratchRoot(), name);
}

using test_support::ReadFile;
using test_support::WriteFile;

// Makes a new log file in the scratch folder the main log and returns its path.
inline std::filesystem::path UseFreshLog() {
  InitializeKeshLogEngine();
  static int counter = 0;
  auto path = ScratchRoot() / ("test-" + std::to_string(++counter) + ".log");
  LogEngine->MainLog = LogEngine->AddLogFile(path.string());
  return path;
}

}  // namespace game_test
