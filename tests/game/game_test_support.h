// Shared helpers of the game host tests: a main log of their own in a scratch folder, scratch
// folders, and small file helpers.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "foundation/KeshLogEngine.h"

namespace game_test {

inline std::filesystem::path ScratchRoot() {
  static const std::filesystem::path root = [] {
    auto p = std::filesystem::temp_directory_path() / ("quorrel-game-tests-" + std::to_string(getpid()));
    std::filesystem::remove_all(p);
    std::filesystem::create_directories(p);
    return p;
  }();
  return root;
}

// A fresh empty folder under the scratch root.
inline std::filesystem::path NewFolder(const std::string& name) {
  static int counter = 0;
  auto p = ScratchRoot() / (name + "-" + std::to_string(++counter));
  std::filesystem::create_directories(p);
  return p;
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Makes a new log file in the scratch folder the main log and returns its path.
inline std::filesystem::path UseFreshLog() {
  InitializeKeshLogEngine();
  static int counter = 0;
  auto path = ScratchRoot() / ("test-" + std::to_string(++counter) + ".log");
  LogEngine->MainLog = LogEngine->AddLogFile(path.string());
  return path;
}

}  // namespace game_test
