// Scratch folders and whole-file helpers of the test programs. A program's scratch root is
// emptied when first made, so a run never sees what an earlier run with the same id left.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace test_support {

// <temp>/quorrel-<program>-tests-<process id>, empty; a program keeps its own in a static.
inline std::filesystem::path MakeScratchRoot(const std::string& program) {
  auto p = std::filesystem::temp_directory_path() /
           ("quorrel-" + program + "-tests-" + std::to_string(getpid()));
  std::filesystem::remove_all(p);
  std::filesystem::create_directories(p);
  return p;
}

// A fresh empty folder <root>/<name>-<n>.
inline std::filesystem::path NewFolder(const std::filesystem::path& root, const std::string& name) {
  static int counter = 0;
  auto p = root / (name + "-" + std::to_string(++counter));
  std::filesystem::create_directories(p);
  return p;
}

// Writes the file, making its folder first.
inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace test_support
