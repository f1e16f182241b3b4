// A fresh folder under the build tree for one test, removed again at its end.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/scratch.h"

class TempDir {
public:
  TempDir() {
    std::filesystem::path root = std::filesystem::path(QUORREL_BINARY_DIR) / "test-tmp";
    std::filesystem::create_directories(root);
    std::string pattern = (root / "win32-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  void Write(const std::string& relative, const std::string& bytes) const {
    test_support::WriteFile(std::filesystem::path(path_) / relative, bytes);
  }
  std::string Read(const std::string& relative) const {
    return test_support::ReadFile(std::filesystem::path(path_) / relative);
  }

private:
  std::string path_;
};
